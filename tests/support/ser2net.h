#pragma once
// A serial device server for tests: the system's ser2net, started on
// 127.0.0.1 on a free port with a configuration of its own, serving one
// terminal (an emulator's pseudo-terminal) in RFC 2217 or raw TCP mode.
//
//   QXR_REQUIRE_TOOL("ser2net");
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
#include <memory>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/process.h"
#include "support/tempdir.h"
#include "support/wait.h"

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
  static constexpr const char* kMissing = "ser2net is not installed (scripts/setup.sh installs it)";
  static std::string binary() { return toolPath("ser2net"); }
  static bool installed() { return !binary().empty(); }

  // Serves `device` on a new port; `rfc2217` false: raw TCP.
  Ser2net(const TempDir& dir, const std::string& device, bool rfc2217 = true) : rfc2217_(rfc2217) {
    port_ = freeLoopbackPort();
    const std::string base = dir.file("ser2net-" + std::to_string(port_));
    dir.write("ser2net-" + std::to_string(port_) + ".yaml",
              std::string("%YAML 1.1\n---\nconnection: &line\n    accepter: ") + (rfc2217 ? "telnet(rfc2217)," : "") +
                  "tcp,127.0.0.1," + std::to_string(port_) + "\n    connector: serialdev," + device +
                  ",9600n81,local\n    options:\n      kickolduser: true\n");
    // -n: stay in the foreground (a child of the test); -u: no UUCP locks.
    process_ = std::make_unique<Process>(
        std::vector<std::string>{binary(), "-n", "-u", "-c", base + ".yaml", "-P", base + ".pid"}, base + ".out");
    if (!waitUntil([this] { return loopbackListening(port_) || !process_->running(); }) || !loopbackListening(port_)) {
      stop();
      throw std::runtime_error("ser2net does not listen on 127.0.0.1:" + std::to_string(port_));
    }
  }
  ~Ser2net() { stop(); }
  Ser2net(const Ser2net&) = delete;
  Ser2net& operator=(const Ser2net&) = delete;

  // It lingers for seconds after SIGTERM; it keeps nothing we need.
  void stop() { process_->stop(SIGKILL); }
  // True when it has passed on all it was given.
  bool idle() const { return process_->idle(); }

  int port() const { return port_; }
  std::string address() const {
    return std::string(rfc2217_ ? "rfc2217://" : "tcp://") + "127.0.0.1:" + std::to_string(port_);
  }

 private:
  bool rfc2217_;
  int port_ = 0;
  std::unique_ptr<Process> process_;
};

}  // namespace qxr::test
