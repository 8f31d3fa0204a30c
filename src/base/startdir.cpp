#include "base/startdir.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "base/catalogue.h"
#include "base/fileio.h"
#include "base/settings.h"
#include "base/textio.h"

namespace qxr {

namespace {

// The manual is the largest shipped file; nothing shipped comes near this.
constexpr std::size_t kShippedFileLimit = 64u << 20;

std::string withSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

bool endsWithIgnoringCase(const std::string& name, const char* suffix) {
  const std::size_t n = std::char_traits<char>::length(suffix);
  return name.size() > n && ::strcasecmp(name.c_str() + name.size() - n, suffix) == 0;
}

bool equalIgnoringCase(const std::string& a, const char* b) { return ::strcasecmp(a.c_str(), b) == 0; }

// The kinds of file that come with the program: the catalogues, the
// parameter descriptions ("102ParK.txt"), the additional-parameter lists and
// "Customer.ini" (".ini"), and the manual. A run directory also holds the
// operator's files; these are never taken for shipped ones.
bool isShippedFileName(const std::string& name) {
  if (name.empty() || name[0] == '.') return false;
  if (equalIgnoringCase(name, MessageCatalogue::fileName(0)) || equalIgnoringCase(name, MessageCatalogue::fileName(1)))
    return true;
  if (equalIgnoringCase(name, kInitIniName)) return false;
  if (endsWithIgnoringCase(name, ".ini") || endsWithIgnoringCase(name, ".pdf")) return true;
  return endsWithIgnoringCase(name, ".txt") && name.find("Par") != std::string::npos;
}

bool isDirectory(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool makeDirectories(const std::string& dir) {
  std::string partial;
  for (std::size_t pos = 0; pos != std::string::npos;) {
    const std::size_t next = dir.find('/', pos + 1);
    partial = dir.substr(0, next);
    if (!partial.empty() && !isDirectory(partial) && ::mkdir(partial.c_str(), 0755) != 0 && errno != EEXIST)
      return false;
    pos = next;
  }
  return isDirectory(dir);
}

std::string executableDirectory() {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  buffer.resize(static_cast<std::size_t>(n));
  const std::size_t slash = buffer.rfind('/');
  return slash == std::string::npos ? std::string() : buffer.substr(0, slash + 1);
}

std::string canonical(const std::string& path) {
  char* resolved = ::realpath(path.c_str(), nullptr);
  if (!resolved) return {};
  std::string result(resolved);
  std::free(resolved);
  return result;
}

}  // namespace

bool isStartDirectory(const std::string& dir) {
  if (dir.empty()) return false;
  for (int language : {0, 1}) {
    struct stat info {};
    const std::string path = resolveCaseInsensitive(withSlash(dir), MessageCatalogue::fileName(language));
    if (::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) return true;
  }
  return false;
}

bool isOperatorSettingsFile(const std::string& name) {
  return equalIgnoringCase(name, kInitIniName) || equalIgnoringCase(name, kCustomerIniName);
}

std::string absoluteDirectory(const std::string& dir) {
  if (dir.empty()) return currentStartDirectory();
  if (dir[0] == '/') return withSlash(dir);
  std::string relative = dir;
  while (relative.rfind("./", 0) == 0) relative.erase(0, 2);
  if (relative == ".") relative.clear();
  return withSlash(currentStartDirectory() + relative);
}

StartDirEnvironment startDirEnvironment() {
  StartDirEnvironment env;
  env.currentDir = currentStartDirectory();
  if (const char* home = std::getenv("HOME"); home && *home) {
    env.home = home;
  } else if (const passwd* user = ::getpwuid(::getuid()); user && user->pw_dir) {
    env.home = user->pw_dir;  // started without a HOME (a service, env -i)
  }
  if (const char* data = std::getenv("XDG_DATA_HOME")) env.xdgDataHome = data;
  const std::string exeDir = executableDirectory();
  std::vector<std::string> candidates;
  if (!exeDir.empty()) {
    // build/src/qxrtrans and build/tools/qxrtool/qxrtool: the run directory of the build tree.
    candidates.push_back(exeDir + "../run");
    candidates.push_back(exeDir + "../../run");
    candidates.push_back(exeDir + "../share/qxrtrans");
  }
  candidates.push_back("/usr/share/qxrtrans");
  for (const std::string& candidate : candidates) {
    const std::string real = canonical(candidate);
    if (real.empty()) continue;
    if (std::find(env.shippedDirs.begin(), env.shippedDirs.end(), withSlash(real)) == env.shippedDirs.end())
      env.shippedDirs.push_back(withSlash(real));
  }
  return env;
}

std::string userStartDirectory(const StartDirEnvironment& env) {
  if (!env.xdgDataHome.empty() && env.xdgDataHome[0] == '/') return withSlash(withSlash(env.xdgDataHome) + "qxrtrans");
  std::string home = env.home.empty() ? std::string("/") : env.home;
  return withSlash(withSlash(home) + ".local/share/qxrtrans");
}

ShippedCopyResult installShippedFiles(const std::string& shippedDir, const std::string& startDir) {
  ShippedCopyResult result;
  DIR* listing = ::opendir(shippedDir.c_str());
  if (!listing) return result;
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(listing)) names.emplace_back(entry->d_name);
  ::closedir(listing);
  std::sort(names.begin(), names.end());

  for (const std::string& name : names) {
    if (!isShippedFileName(name)) continue;
    const std::string from = withSlash(shippedDir) + name;
    struct stat source {};
    if (::stat(from.c_str(), &source) != 0 || !S_ISREG(source.st_mode)) continue;

    const std::string to = resolveCaseInsensitive(withSlash(startDir), name);
    struct stat target {};
    if (::lstat(to.c_str(), &target) == 0) {
      if (isOperatorSettingsFile(name)) continue;  // the operator's settings stay as they are
      if (!S_ISREG(target.st_mode)) continue;      // a link or directory put there on purpose
      if (source.st_mtim.tv_sec <= target.st_mtim.tv_sec) continue;
    }

    std::string bytes;
    if (readFileChecked(from, kShippedFileLimit, bytes) != FileError::kNone ||
        saveFile(to, bytes) != FileError::kNone) {
      result.failed.push_back(name);
      continue;
    }
    const timespec times[2] = {source.st_atim, source.st_mtim};
    ::utimensat(AT_FDCWD, to.c_str(), times, 0);
    result.copied.push_back(name);
  }
  return result;
}

StartDirChoice chooseStartDirectory(const std::string& explicitDir, const StartDirEnvironment& env) {
  StartDirChoice choice;
  if (!explicitDir.empty()) {
    choice.dir = absoluteDirectory(explicitDir);
    if (!isDirectory(choice.dir))
      choice.problem = "no such directory: " + choice.dir;
    else if (!isStartDirectory(choice.dir))
      choice.problem = "no message catalogue in " + choice.dir;
    return choice;
  }
  if (isStartDirectory(env.currentDir)) {
    choice.dir = withSlash(env.currentDir);
    return choice;
  }

  std::string shipped;
  for (const std::string& dir : env.shippedDirs) {
    if (isStartDirectory(dir)) {
      shipped = withSlash(dir);
      break;
    }
  }
  choice.dir = userStartDirectory(env);
  const bool existed = isDirectory(choice.dir);
  if (!existed && !makeDirectories(choice.dir.substr(0, choice.dir.size() - 1))) {
    if (!shipped.empty()) {
      choice.problem = "cannot create " + choice.dir + "; using " + shipped;
      choice.dir = shipped;
    } else {
      choice.problem = "cannot create " + choice.dir;
    }
    return choice;
  }
  choice.created = !existed;
  if (!shipped.empty()) {
    choice.shippedFrom = shipped;
    ShippedCopyResult copy = installShippedFiles(shipped, choice.dir);
    choice.copied = std::move(copy.copied);
    if (!copy.failed.empty()) {
      choice.problem = "could not copy into " + choice.dir + ":";
      for (const std::string& name : copy.failed) choice.problem += " " + name;
    }
  }
  if (choice.problem.empty() && !isStartDirectory(choice.dir))
    choice.problem = "no message catalogue in " + choice.dir + " (the shipped data was not found)";
  return choice;
}

}  // namespace qxr
