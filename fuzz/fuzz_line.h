#pragma once
// A controller on a pseudo-terminal that answers from a fuzz input, for the
// targets that run whole operations through the link and the real port.
//
// Each time the PC waits for a reply with nothing queued on its line, the
// controller writes the next reply of the input: its bytes up to and
// including the next LF or ETX (or all that is left). What the PC sends is
// read and counted. Once the input is used up, a wait can only time out: the
// clock jumps past the time-out and the port is closed, as the time-out
// closes it.
//
//   qxr::fuzz::ScriptedLine line(data, size);
//   qxr::Link link(line.port(), line.session(), line, line);
//   qxr::receiveParameters(operationParts(link), page, entries);
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include "base/host.h"
#include "base/session.h"
#include "link/comm.h"

namespace qxr::fuzz {

// One pseudo-terminal and one start directory for the whole process: the
// directory holds the catalogue and "COM2", a link to the terminal's slave.
class LineEnvironment {
 public:
  static LineEnvironment& instance() {
    static LineEnvironment environment;
    return environment;
  }
  bool ready() const { return master_ >= 0 && slave_ >= 0 && !dir_.empty(); }
  int master() const { return master_; }
  int slave() const { return slave_; }
  // With a trailing separator.
  const std::string& dir() const { return dir_; }

 private:
  LineEnvironment() {
    char pattern[] = "/tmp/qxr-fuzz-line-XXXXXX";
    if (!::mkdtemp(pattern)) return;
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    char name[128];
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0)
      return;
    // The slave stays open here, so the PC may close and reopen its side.
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
    if (slave_ < 0) return;
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
    const std::string dir = std::string(pattern) + "/";
    if (::symlink(name, (dir + "COM2").c_str()) != 0) return;
    // Message n reads "#n", as in the tests.
    std::ofstream catalogue(dir + "Message.C", std::ios::binary);
    for (int n = 1; n <= 300; ++n) catalogue << "m #" << n << "\r\n";
    catalogue.close();
    dir_ = dir;
  }
  ~LineEnvironment() {
    std::error_code error;
    if (!dir_.empty()) std::filesystem::remove_all(dir_, error);
  }

  int master_ = -1;
  int slave_ = -1;
  std::string dir_;
};

class ScriptedLine final : public LinkHost, public Clock {
 public:
  ScriptedLine(const std::uint8_t* data, std::size_t size, int page = kProgramPage)
      : input_(reinterpret_cast<const char*>(data), size), page_(page), env_(LineEnvironment::instance()) {
    if (!env_.ready()) return;
    // Nothing of the previous run stays on the line.
    ::tcflush(env_.slave(), TCIOFLUSH);
    drain();
    sent_ = 0;
    session_.startDir = env_.dir();
    session_.catalogue.load(env_.dir() + "Message.C");
    session_.settings.timeoutMs = 1000;
    port_.SetPortDirectory(env_.dir());
  }

  bool ready() const { return env_.ready(); }
  TComm& port() { return port_; }
  Session& session() { return session_; }
  // Bytes the PC wrote, replies the controller gave, page lines reported.
  std::size_t bytesSent() const { return sent_; }
  std::size_t repliesGiven() const { return replies_; }
  std::size_t pageLines() const { return lines_; }
  std::size_t inputSize() const { return input_.size(); }

  // LinkHost.
  int pageIndex() const override { return page_; }
  void appendPageLine(int, std::string_view) override { ++lines_; }
  void beep() override {}
  void processEvents() override { feed(); }
  int selectedPortIndex() const override { return 1; }  // COM2
  void selectPortIndex(int) override {}
  bool confirm(std::string_view) override { return true; }
  void notice(std::string_view) override {}

  // Clock: pauses take no time; time passes only as the link asks for it.
  std::uint32_t tickMs() override { return now_ += 1; }
  void sleepMs(std::uint32_t ms) override { now_ += ms; }

 private:
  static constexpr std::size_t kLongestReply = 1024;

  int queued() const {
    int count = 0;
    return ::ioctl(env_.slave(), FIONREAD, &count) == 0 ? count : 0;
  }
  void drain() {
    char buffer[4096];
    for (;;) {
      const ssize_t n = ::read(env_.master(), buffer, sizeof buffer);
      if (n <= 0) break;
      sent_ += static_cast<std::size_t>(n);
    }
  }
  // Writes all of `reply` and waits until the PC's side can read it, so that
  // what the PC sees does not depend on the terminal driver's timing.
  void give(std::string_view reply) {
    std::size_t done = 0;
    for (int round = 0; done < reply.size() && round < 1000; ++round) {
      const ssize_t n = ::write(env_.master(), reply.data() + done, reply.size() - done);
      if (n > 0) done += static_cast<std::size_t>(n);
      else ::usleep(100);
    }
    for (int round = 0; queued() < static_cast<int>(done) && round < 10000; ++round) ::usleep(50);
    ++replies_;
  }
  void feed() {
    if (!env_.ready()) return;
    drain();
    if (queued() > 0) return;
    if (next_ >= input_.size()) {
      // Nothing more will come: the wait times out. The port is closed here,
      // as the time-out would close it, so that the wait does not sit out a
      // slice of the port's poll first (the link only sleeps on a closed
      // port, on this clock).
      now_ += 3600 * 1000;
      port_.Close();
      return;
    }
    std::size_t end = input_.find_first_of(std::string_view("\n\x03", 2), next_);
    end = end == std::string_view::npos ? input_.size() : end + 1;
    if (end - next_ > kLongestReply) end = next_ + kLongestReply;
    give(input_.substr(next_, end - next_));
    next_ = end;
  }

  std::string_view input_;
  int page_;
  LineEnvironment& env_;
  Session session_;
  TComm port_;
  std::size_t next_ = 0;
  std::uint32_t now_ = 0;
  std::size_t sent_ = 0;
  std::size_t replies_ = 0;
  std::size_t lines_ = 0;
};

}  // namespace qxr::fuzz
