#pragma once
// A scripted peer on a pseudo-terminal, for tests of the link itself. The
// peer cuts what the PC sends into frames (ended by LF or ETX) and answers
// each with whatever the responder returns (nothing: stay silent).
//
//   qxr::test::PtyPeer peer([](const std::string& frame) -> std::string {
//     return frame == "$%\r\n" ? "$%\r\n" : "";
//   });
//   peer.linkAs(dir, "COM2");          // the PC opens it as COM2
//   ... exchanges ...
//   EXPECT_EQ(peer.frames(), (std::vector<std::string>{"$%\r\n"}));
//
// For end-to-end tests against a whole controller use emulator.h instead.
#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/tempdir.h"
#include "support/wait.h"

namespace qxr::test {

// Opens a pseudo-terminal pair in raw mode; the slave stays open as long as
// the object lives, so the PC may close and reopen its side.
class PtyPair {
 public:
  PtyPair() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
      throw std::runtime_error("no pseudo-terminal");
    char name[128];
    if (::ptsname_r(master_, name, sizeof name) != 0) throw std::runtime_error("ptsname failed");
    slavePath_ = name;
    slave_ = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (slave_ < 0) throw std::runtime_error("cannot open the slave");
    termios raw{};
    ::tcgetattr(slave_, &raw);
    ::cfmakeraw(&raw);
    ::tcsetattr(slave_, TCSANOW, &raw);
    ::fcntl(master_, F_SETFL, ::fcntl(master_, F_GETFL) | O_NONBLOCK);
  }
  ~PtyPair() {
    if (slave_ >= 0) ::close(slave_);
    if (master_ >= 0) ::close(master_);
  }
  PtyPair(const PtyPair&) = delete;
  PtyPair& operator=(const PtyPair&) = delete;

  int master() const { return master_; }
  const std::string& slavePath() const { return slavePath_; }
  // Makes `name` in the directory a symbolic link to the slave.
  void linkAs(const TempDir& dir, const std::string& name) const {
    std::filesystem::remove(dir.file(name));
    std::filesystem::create_symlink(slavePath_, dir.file(name));
  }
  // Closes the master: the PC's side hangs up.
  void hangUp() {
    if (master_ >= 0) ::close(master_);
    master_ = -1;
  }

 private:
  int master_ = -1;
  int slave_ = -1;
  std::string slavePath_;
};

class PtyPeer {
 public:
  using Responder = std::function<std::string(const std::string& frame)>;

  // `terminators`: the bytes that end a frame.
  explicit PtyPeer(Responder responder, std::string terminators = std::string("\n\x03"))
      : responder_(std::move(responder)), terminators_(std::move(terminators)) {
    thread_ = std::thread([this] { run(); });
  }
  ~PtyPeer() {
    stop_ = true;
    thread_.join();
  }
  PtyPeer(const PtyPeer&) = delete;
  PtyPeer& operator=(const PtyPeer&) = delete;

  void linkAs(const TempDir& dir, const std::string& name) const { pty_.linkAs(dir, name); }
  const std::string& slavePath() const { return pty_.slavePath(); }

  // Every frame received so far, in order (a trailing piece without its end
  // is in pending()).
  std::vector<std::string> frames() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return frames_;
  }
  std::string pending() const {
    std::lock_guard<std::mutex> guard(mutex_);
    return partial_;
  }
  // All bytes received, frames and pending piece together.
  std::string received() const {
    std::lock_guard<std::mutex> guard(mutex_);
    std::string all;
    for (const auto& f : frames_) all += f;
    return all + partial_;
  }
  // Closes the far end: the PC's side of the line hangs up.
  void hangUp() {
    hangUpRequested_ = true;
    waitUntil([this] { return hungUp_.load(); });
  }
  // Waits until at least `count` bytes have arrived (e.g. all the PC wrote:
  // Link::bytesSent()), so that a check that nothing more came is sound.
  bool waitForBytes(std::size_t count, int timeoutMs = kWaitDeadlineMs) const {
    return waitUntil([&] { return received().size() >= count; }, timeoutMs);
  }
  // Sends bytes on the peer's own initiative.
  void send(const std::string& bytes) {
    std::lock_guard<std::mutex> guard(writeMutex_);
    writeAll(bytes);
  }
  // Waits (up to timeoutMs) until at least `count` frames have arrived.
  bool waitForFrames(std::size_t count, int timeoutMs = kWaitDeadlineMs) const {
    return waitUntil([&] { return frames().size() >= count; }, timeoutMs);
  }

 private:
  void writeAll(const std::string& bytes) {
    if (hungUp_) return;
    std::size_t done = 0;
    while (done < bytes.size()) {
      const ssize_t n = ::write(pty_.master(), bytes.data() + done, bytes.size() - done);
      if (n > 0) {
        done += static_cast<std::size_t>(n);
      } else if (n < 0 && (errno == EAGAIN || errno == EINTR)) {
        pollfd pfd{pty_.master(), POLLOUT, 0};
        ::poll(&pfd, 1, 50);
      } else {
        return;
      }
    }
  }
  void run() {
    while (!stop_) {
      if (hangUpRequested_ && !hungUp_) {
        std::lock_guard<std::mutex> guard(writeMutex_);
        pty_.hangUp();
        hungUp_ = true;
      }
      if (hungUp_) {
        ::usleep(5000);
        continue;
      }
      pollfd pfd{pty_.master(), POLLIN, 0};
      if (::poll(&pfd, 1, 20) <= 0 || !(pfd.revents & POLLIN)) continue;
      char chunk[512];
      const ssize_t n = ::read(pty_.master(), chunk, sizeof chunk);
      if (n <= 0) {
        ::usleep(5000);
        continue;
      }
      for (ssize_t i = 0; i < n; ++i) {
        std::string frame;
        {
          std::lock_guard<std::mutex> guard(mutex_);
          partial_ += chunk[i];
          if (terminators_.find(chunk[i]) == std::string::npos) continue;
          frame.swap(partial_);
          frames_.push_back(frame);
        }
        const std::string reply = responder_ ? responder_(frame) : std::string();
        if (!reply.empty()) send(reply);
      }
    }
  }

  PtyPair pty_;
  Responder responder_;
  std::string terminators_;
  mutable std::mutex mutex_;
  std::mutex writeMutex_;
  std::vector<std::string> frames_;
  std::string partial_;
  std::atomic<bool> stop_{false};
  std::atomic<bool> hangUpRequested_{false};
  std::atomic<bool> hungUp_{false};
  std::thread thread_;
};

}  // namespace qxr::test
