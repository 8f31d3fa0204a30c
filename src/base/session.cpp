#include "base/session.h"

namespace qxr {

Session startSession(const std::string& startDir) {
  Session session;
  session.startDir = startDir;
  if (!session.startDir.empty() && session.startDir.back() != '/') session.startDir += '/';
  session.settings = loadSettings(session.startDir);
  session.initIniPath = initIniPath(session.startDir);
  session.catalogue.loadLanguage(session.startDir, session.settings.language);
  return session;
}

bool saveSession(const Session& session) { return writeInitIni(session.initIniPath, session.settings); }

}  // namespace qxr
