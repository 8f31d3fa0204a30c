#include "shop/statedir.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

#include "base/textio.h"

namespace qxr {

StateEnvironment stateEnvironment() {
  StateEnvironment env;
  if (const char* home = std::getenv("HOME")) env.home = home;
  if (const char* state = std::getenv("XDG_STATE_HOME")) env.xdgStateHome = state;
  if (const char* journal = std::getenv(kJournalEnvironment)) env.journalPath = journal;
  return env;
}

std::string userStateDirectory(const StateEnvironment& env) {
  if (!env.xdgStateHome.empty() && env.xdgStateHome.front() == '/') return joinPath(env.xdgStateHome, "qxrtrans/");
  return joinPath(env.home.empty() ? "/tmp" : env.home, ".local/state/qxrtrans/");
}

std::string journalPathFor(const StateEnvironment& env, const std::string& shopJournal, const std::string& startDir) {
  if (!env.journalPath.empty()) return env.journalPath;
  if (!shopJournal.empty()) return shopJournal.front() == '/' ? shopJournal : joinPath(startDir, shopJournal);
  return userStateDirectory(env) + "journal.db";
}

bool makeDirectories(const std::string& dir) {
  std::string path;
  std::size_t position = 0;
  while (position != std::string::npos) {
    position = dir.find('/', position + 1);
    path = dir.substr(0, position);
    if (path.empty()) continue;
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat info {};
  return ::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace qxr
