#pragma once
// The shop service for a test: a start directory with emulated controllers
// named in its Machines.ini and users in its Users.txt, and qxrd started on
// it on a free port of 127.0.0.1.
//
//   qxr::test::ServiceStartDir start;           // M1 on COM2, M2 on COM3; users admin, olga, vic
//   qxr::test::ServiceProcess qxrd(start);      // qxrd --start-dir ... --listen 127.0.0.1:0
//   httplib::Client client("127.0.0.1", qxrd.port());
//
// Passwords are the user's name followed by "-pw". The journal lies in the
// start directory (journal.db).
#include <memory>
#include <string>
#include <vector>

#include "support/emulator.h"
#include "support/process.h"
#include "support/startdir.h"

namespace qxr::test {

struct ServiceUser {
  std::string name;
  std::string role;  // viewer, operator, admin
  std::string password() const { return name + "-pw"; }
};

struct ServiceOptions {
  int machines = 2;              // M1 on COM2, M2 on COM3, ...
  EmulatorOptions emulator;      // for each of them (portName is set per machine)
  std::vector<ServiceUser> users = {{"admin", "admin"}, {"olga", "operator"}, {"vic", "viewer"}};
};

class ServiceStartDir : public StartDir {
 public:
  explicit ServiceStartDir(const ServiceOptions& options = {});
  static std::string machineName(int index) { return "M" + std::to_string(index + 1); }
  Emulator& emulator(int index) { return *emulators_.at(static_cast<std::size_t>(index)); }
  std::string journalPath() const { return file("journal.db"); }

 private:
  std::vector<std::unique_ptr<Emulator>> emulators_;
};

// qxrd on the start directory; stopped (SIGTERM) when it goes out of scope.
class ServiceProcess {
 public:
  explicit ServiceProcess(const ServiceStartDir& start, const std::vector<std::string>& extraArgs = {});
  static std::string binary();
  // 0 when qxrd did not say it listens.
  int port() const { return port_; }
  const std::string& firstLine() const { return firstLine_; }
  Process& process() { return *process_; }

 private:
  std::unique_ptr<Process> process_;
  std::string firstLine_;
  int port_ = 0;
};

}  // namespace qxr::test
