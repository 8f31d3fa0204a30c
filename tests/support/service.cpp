#include "support/service.h"

#include "service/users.h"
#include "support/wait.h"

namespace qxr::test {

ServiceStartDir::ServiceStartDir(const ServiceOptions& options) {
  write("Init.ini", kBlockModeInitIni);
  std::string machines = "[shop]\njournal = " + journalPath() + "\n";
  for (int i = 0; i < options.machines; ++i) {
    EmulatorOptions emulator = options.emulator;
    emulator.portName = "COM" + std::to_string(i + 2);
    emulators_.push_back(std::make_unique<Emulator>(*this, emulator));
    machines += "\n[" + machineName(i) + "]\nmodel = QXR" + std::to_string(emulator.model) + "\nversion = " +
                emulator.version + "\nport = " + emulator.portName + "\nmode = block\ntimeout = 1000\n";
  }
  write("Machines.ini", machines);
  UserStore users(UserStore::pathIn(dir()));
  users.load();
  for (const ServiceUser& user : options.users)
    users.put(user.name, roleOfName(user.role).value_or(Role::kViewer), user.password(), "en");
}

std::string ServiceProcess::binary() { return toolPath("qxrd"); }

ServiceProcess::ServiceProcess(const ServiceStartDir& start, const std::vector<std::string>& extraArgs) {
  std::vector<std::string> args = {binary(), "--start-dir", start.dir(), "--listen", "127.0.0.1:0"};
  args.insert(args.end(), extraArgs.begin(), extraArgs.end());
  process_ = std::make_unique<Process>(args);
  firstLine_ = process_->firstLine(kWaitDeadlineMs).value_or("");
  // "qxrd: listening on http://127.0.0.1:PORT" (https under TLS)
  const auto colon = firstLine_.rfind(':');
  if (firstLine_.rfind("qxrd: listening on http", 0) == 0 && colon != std::string::npos)
    port_ = std::atoi(firstLine_.c_str() + colon + 1);
}

}  // namespace qxr::test
