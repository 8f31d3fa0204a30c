// The link against peers no controller is: RFC 2217 servers that confirm
// another line or put a lone IAC among the data, peers that flood or trickle
// text without a line end, calls that block on a peer and must end soon
// after the operator's stop, and input left on the line before a port opens.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <thread>

#include "base/controltexts.h"
#include "link/comm.h"
#include "link/link.h"
#include "link/linktexts.h"
#include "link/netport.h"
#include "link/telnet.h"
#include "support/fakehost.h"
#include "support/ptypeer.h"

namespace qxr {
namespace {

using namespace std::chrono_literals;
using SteadyClock = std::chrono::steady_clock;
namespace tn = telnet;

// A TCP server on 127.0.0.1 that hands each connection to `serve`, on a
// thread of its own; `serve` returns when stopping() turns true.
class TcpServer {
 public:
  using Serve = std::function<void(TcpServer&, int fd)>;
  explicit TcpServer(Serve serve, bool accepting = true) {
    listener_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (listener_ < 0 || ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener_, 0) != 0 || ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size) != 0)
      throw std::runtime_error("no loopback listener");
    port_ = ntohs(address.sin_port);
    if (!accepting) return;
    thread_ = std::thread([this, serve = std::move(serve)] {
      while (!stopping()) {
        pollfd pfd{listener_, POLLIN, 0};
        if (::poll(&pfd, 1, 20) <= 0) continue;
        const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd < 0) continue;
        serve(*this, fd);
        ::close(fd);
      }
    });
  }
  ~TcpServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (int fd : fillers_) ::close(fd);
    ::close(listener_);
  }
  bool stopping() const { return stop_; }
  std::string address(const char* scheme) const { return std::string(scheme) + "127.0.0.1:" + std::to_string(port_); }
  // A listener that accepts nobody: fills its queue, so that the next
  // connection waits for an answer that never comes.
  void fillQueue() {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port_));
    for (int i = 0; i < 4; ++i) {
      const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
      ::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
      fillers_.push_back(fd);
    }
    std::this_thread::sleep_for(50ms);
  }

 private:
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread thread_;
  std::vector<int> fillers_;
};

void writeAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
    if (n <= 0) return;
    done += static_cast<std::size_t>(n);
  }
}

// An RFC 2217 server: agrees to every option, confirms each line setting
// with the value asked for unless `confirm` names another, and answers each
// data frame (ended by LF) with `answer`'s bytes as they stand (no IAC is
// doubled, so a lone one can be sent).
TcpServer::Serve rfc2217Server(std::map<unsigned char, std::string> confirm,
                               std::function<std::string(const std::string&)> answer = nullptr) {
  return [confirm = std::move(confirm), answer = std::move(answer)](TcpServer& server, int fd) {
    enum { kData, kIac, kVerb, kSub, kSubIac } state = kData;
    unsigned char verb = 0;
    std::string sub, frame;
    while (!server.stopping()) {
      pollfd pfd{fd, POLLIN, 0};
      if (::poll(&pfd, 1, 20) <= 0) continue;
      unsigned char bytes[512];
      const ssize_t n = ::recv(fd, bytes, sizeof bytes, 0);
      if (n <= 0) return;
      for (ssize_t i = 0; i < n; ++i) {
        const unsigned char b = bytes[i];
        switch (state) {
          case kData:
            if (b == tn::IAC) {
              state = kIac;
              break;
            }
            frame += static_cast<char>(b);
            if (b == '\n') {
              if (answer) writeAll(fd, answer(frame));
              frame.clear();
            }
            break;
          case kIac:
            if (b == tn::SB) state = kSub, sub.clear();
            else if (b >= tn::WILL && b <= tn::DONT) state = kVerb, verb = b;
            else state = kData;
            break;
          case kVerb: {
            const unsigned char reply = verb == tn::WILL ? tn::DO : verb == tn::DO ? tn::WILL : 0;
            if (reply) writeAll(fd, std::string{static_cast<char>(tn::IAC), static_cast<char>(reply), static_cast<char>(b)});
            state = kData;
            break;
          }
          case kSub:
            if (b == tn::IAC) state = kSubIac;
            else sub += static_cast<char>(b);
            break;
          case kSubIac:
            if (b == tn::SE) {
              if (sub.size() >= 2 && static_cast<unsigned char>(sub[0]) == tn::kOptComPort) {
                const auto command = static_cast<unsigned char>(sub[1]);
                const auto given = confirm.find(command);
                const std::string value = given != confirm.end() ? given->second : sub.substr(2);
                writeAll(fd, tn::comPortCommand(static_cast<unsigned char>(command + tn::kServerReply), value));
              }
              state = kData;
            } else {
              sub += static_cast<char>(b);
              state = kSub;
            }
            break;
        }
      }
    }
  };
}

// Writes `chunk` again and again until the peer stops reading or the test ends.
TcpServer::Serve streamingServer(std::string chunk, std::chrono::milliseconds gap) {
  return [chunk = std::move(chunk), gap](TcpServer& server, int fd) {
    while (!server.stopping()) {
      pollfd pfd{fd, POLLOUT, 0};
      if (::poll(&pfd, 1, 20) <= 0) continue;
      if (::send(fd, chunk.data(), chunk.size(), MSG_NOSIGNAL | MSG_DONTWAIT) < 0 && errno != EAGAIN) return;
      if (gap.count() > 0) std::this_thread::sleep_for(gap);
    }
  };
}

// Accepts and then neither reads nor answers.
TcpServer::Serve deafServer() {
  return [](TcpServer& server, int) {
    while (!server.stopping()) std::this_thread::sleep_for(10ms);
  };
}

// The operator's stop, at a moment of real time, seen from the window's
// events as the window sees it.
class EdgeHost : public test::FakeHost {
 public:
  std::string port;
  bool stop = false;
  SteadyClock::time_point stopAt = SteadyClock::time_point::max();
  EdgeHost() {
    onProcessEvents = [this] {
      if (SteadyClock::now() >= stopAt) stop = true;
    };
  }
  std::string namedPort() const override { return port; }
  bool stopRequested() const override { return stop; }
  void clearStopRequest() override { stop = false; }
};

class EdgeTest : public ::testing::Test {
 protected:
  EdgeTest() : session(test::makeTestSession(dir)), link(port, session, host, clock) {
    port.SetPortDirectory(session.startDir);
    session.settings.transitMode = 1;
  }
  std::string text(LinkText which, std::string_view s = {}, long a = 0) const {
    return linkText(session.language(), which, s, a);
  }
  const std::vector<std::string>& lines() const { return host.lines(kProgramPage); }
  bool shown(const std::string& line) const { return host.hasLine(kProgramPage, line); }

  test::TempDir dir;
  Session session;
  EdgeHost host;
  test::FakeClock clock;
  TComm port;
  Link link;
};

std::string bigEndian(std::uint32_t value) {
  return {static_cast<char>(value >> 24), static_cast<char>(value >> 16), static_cast<char>(value >> 8),
          static_cast<char>(value)};
}

// The server's confirmation of the line is compared with what was asked.
TEST_F(EdgeTest, AServerThatSetsAnotherLineIsAPortThatDidNotOpen) {
  const struct {
    const char* what;
    std::map<unsigned char, std::string> confirm;
    const char* confirmed;  // empty: the port opens
  } cases[] = {
      {"as asked", {}, ""},
      {"speed", {{tn::kSetBaudRate, bigEndian(4800)}}, "4800 8N1"},
      {"parity", {{tn::kSetParity, std::string(1, static_cast<char>(tn::kParityEven))}}, "9600 8E1"},
      {"data bits", {{tn::kSetDataSize, "\x07"}}, "9600 7N1"},
      {"stop bits", {{tn::kSetStopSize, std::string(1, static_cast<char>(tn::kStopTwo))}}, "9600 8N2"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TcpServer server(rfc2217Server(c.confirm));
    host.port = server.address("rfc2217://");
    host.clearLines();
    link.ConnectRS232();
    const std::string wanted = c.confirmed;
    EXPECT_EQ(link.portOpen(), wanted.empty());
    if (wanted.empty()) {
      link.closePort();
      continue;
    }
    ASSERT_EQ(lines().size(), 1u);
    EXPECT_NE(lines()[0].find("#102"), std::string::npos);
    const std::string reason = port.OpenFailureText(1);
    EXPECT_NE(reason.find(wanted), std::string::npos) << reason;
    EXPECT_NE(reason.find("9600 8N1"), std::string::npos) << reason;
  }
}

// What comes from a network peer and is no reply fails the wait: a lone IAC
// (once dropped together with the digit after it), text without a line end
// whether it floods or trickles, and more than the port holds unread.
TEST_F(EdgeTest, InputNoControllerSendsOverTheNetwork) {
  const std::string lone = std::string("X") + static_cast<char>(tn::IAC) + "10\r\n";
  const std::string escaped = std::string("X") + static_cast<char>(tn::IAC) + static_cast<char>(tn::IAC) + "10\r\n";
  const struct {
    const char* what;
    TcpServer::Serve serve;
    const char* scheme;
    std::string failure;  // empty: the reply is taken
    std::string reply;
  } cases[] = {
      {"escaped 0xFF is data", rfc2217Server({}, [&](const std::string&) { return escaped; }), "rfc2217://", "",
       "X\xff" "10\r\n"},
      {"lone IAC", rfc2217Server({}, [&](const std::string&) { return lone; }), "rfc2217://",
       text(LinkText::kNoise, "ff", 2), ""},
      {"text trickling without a line end", streamingServer("A", 2ms), "tcp://",
       text(LinkText::kUnended, {}, kReplyLength), ""},
      {"a flood of short lines", streamingServer([] { std::string lines; for (int i = 0; i < 1000; ++i) lines += "A\r\n"; return lines; }(), 0ms), "tcp://",
       text(LinkText::kInputFlood, {}, static_cast<long>(NetPort::kInputLimit)), ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TcpServer server(c.serve);
    host.port = server.address(c.scheme);
    link.ConnectRS232();
    ASSERT_TRUE(link.portOpen());
    host.clearLines();
    bool taken = true;
    // A flood of lines is taken line by line until the port is full.
    for (int i = 0; i < 20000 && taken; ++i) {
      ASSERT_TRUE(link.TransToQXR("$L\r\n"));
      taken = link.ReceiveFromQXR(kReplyLength, 1);
      if (c.failure.empty()) break;
    }
    if (c.failure.empty()) {
      EXPECT_TRUE(taken);
      EXPECT_EQ(link.reply(), c.reply);
      link.closePort();
      continue;
    }
    EXPECT_FALSE(taken);
    EXPECT_TRUE(shown(c.failure)) << testing::PrintToString(lines());
    EXPECT_TRUE(link.lineFault());
    EXPECT_FALSE(link.portOpen());
  }
}

// A call that blocks on its peer ends soon after the stop, where it would
// otherwise wait out its whole time-out (30 s here; a write to a peer that
// does not read would wait seconds per byte).
TEST_F(EdgeTest, BlockingCallsEndSoonAfterAStop) {
  session.settings.timeoutMs = 30000;
  test::PtyPair deafTerminal;
  deafTerminal.linkAs(dir, "DEAF");
  const std::string big(4 << 20, 'N');
  const struct {
    const char* what;
    std::function<std::unique_ptr<TcpServer>()> server;  // none: the pseudo-terminal
    const char* scheme;
    bool writes;  // the stop lands in a write, not in the opening
  } cases[] = {
      {"connection never accepted", [] { auto s = std::make_unique<TcpServer>(nullptr, false); s->fillQueue(); return s; },
       "tcp://", false},
      {"Telnet negotiation never answered", [] { return std::make_unique<TcpServer>(deafServer()); }, "rfc2217://",
       false},
      {"write to a TCP peer that does not read", [] { return std::make_unique<TcpServer>(deafServer()); }, "tcp://",
       true},
      {"write to a terminal nobody reads", [] { return std::unique_ptr<TcpServer>(); }, "", true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const auto server = c.server();
    host.port = server ? server->address(c.scheme) : dir.file("DEAF");
    host.clearLines();
    host.stop = false;
    host.stopAt = c.writes ? SteadyClock::time_point::max() : SteadyClock::now() + 200ms;
    const auto start = SteadyClock::now();
    link.ConnectRS232();
    if (c.writes) {
      ASSERT_TRUE(link.portOpen());
      host.stopAt = SteadyClock::now() + 200ms;
      EXPECT_FALSE(link.TransToQXR(big));
    }
    const auto took = SteadyClock::now() - start;
    EXPECT_LT(took, 10s) << "the call waited for its time-out";
    EXPECT_TRUE(shown(controlText(session.language(), ControlText::kStopped))) << testing::PrintToString(lines());
    EXPECT_FALSE(shown("#104"));
    EXPECT_FALSE(link.portOpen());
  }
}

// Bytes that sat on the line before the port opened (the late answer of an
// operation that was stopped) are no reply of the next operation.
TEST_F(EdgeTest, InputLeftOnTheLineIsDroppedWhenThePortOpens) {
  test::PtyPeer peer([](const std::string& frame) -> std::string {
    return frame == "$L\r\n" ? "\x06\x07\x01\r\n" : "";
  });
  peer.linkAs(dir, "COM2");
  peer.send("N5 LATE\r\n$%\r\n");
  std::this_thread::sleep_for(50ms);
  link.ConnectRS232();
  ASSERT_TRUE(link.portOpen());
  ASSERT_TRUE(link.TransToQXR("$L\r\n"));
  ASSERT_TRUE(link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "\x06\x07\x01\r\n");
}

}  // namespace
}  // namespace qxr
