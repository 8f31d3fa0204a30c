#pragma once
// A serial device server for tests: the system's ser2net, started on
// 127.0.0.1 on a free port with a configuration of its own, serving one
// terminal (an emulator's pseudo-terminal) in RFC 2217 or raw TCP mode.
//
//   if (!qxr::test::Ser2net::installed()) GTEST_SKIP() << qxr::test::Ser2net::kMissing;
//   qxr::test::Ser2net server(dir, ptyPath);      // RFC 2217
//   port.SetDeviceName(server.address());         // "rfc2217://127.0.0.1:N"
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/tempdir.h"

extern char** environ;

namespace qxr::test {

// A port on 127.0.0.1 that nobody listens on just now.
inline int freeLoopbackPort() {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) != 0)
    throw std::runtime_error("no free loopback port");
  ::close(fd);
  return ntohs(address.sin_port);
}

// True once something accepts connections on 127.0.0.1:port.
inline bool loopbackListening(int port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  address.sin_port = htons(static_cast<std::uint16_t>(port));
  const bool ok = ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0;
  ::close(fd);
  return ok;
}

class Ser2net {
 public:
  static constexpr const char* kMissing = "ser2net is not installed (scripts/setup.sh installs it); skipped";
  static std::string binary() {
    for (const char* path : {"/usr/sbin/ser2net", "/usr/bin/ser2net"})
      if (::access(path, X_OK) == 0) return path;
    return {};
  }
  static bool installed() { return !binary().empty(); }

  // Serves `device` on a new port; `rfc2217` false: raw TCP.
  Ser2net(const TempDir& dir, const std::string& device, bool rfc2217 = true) : rfc2217_(rfc2217) {
    port_ = freeLoopbackPort();
    config_ = dir.file("ser2net-" + std::to_string(port_) + ".yaml");
    std::ofstream out(config_);
    out << "%YAML 1.1\n---\n"
        << "connection: &line\n"
        << "    accepter: " << (rfc2217 ? "telnet(rfc2217)," : "") << "tcp,127.0.0.1," << port_ << "\n"
        << "    connector: serialdev," << device << ",9600n81,local\n"
        << "    options:\n"
        << "      kickolduser: true\n";
    out.close();
    const std::string program = binary();
    const std::string pidFile = dir.file("ser2net-" + std::to_string(port_) + ".pid");
    const std::string output = dir.file("ser2net-" + std::to_string(port_) + ".out");
    // -n: stay in the foreground (a child of the test); -u: no UUCP locks.
    std::vector<std::string> args = {program, "-n", "-u", "-c", config_, "-P", pidFile};
    std::vector<char*> argv;
    for (auto& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    const int status = ::posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (status != 0) throw std::runtime_error("cannot start ser2net");
    for (int i = 0; i < 200 && !loopbackListening(port_); ++i) ::usleep(10000);
    if (!loopbackListening(port_)) {
      stop();
      throw std::runtime_error("ser2net does not listen on 127.0.0.1:" + std::to_string(port_));
    }
  }
  ~Ser2net() { stop(); }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  void stop() {
    if (pid_ <= 0) return;
    ::kill(pid_, SIGKILL);  // it lingers for seconds after SIGTERM; it keeps nothing we need
    int status = 0;
    ::waitpid(pid_, &status, 0);
    pid_ = -1;
  }

  int port() const { return port_; }
  std::string address() const {
    return std::string(rfc2217_ ? "rfc2217://" : "tcp://") + "127.0.0.1:" + std::to_string(port_);
  }

 private:
  bool rfc2217_;
  int port_ = 0;
  pid_t pid_ = -1;
  std::string config_;
};

}  // namespace qxr::test
