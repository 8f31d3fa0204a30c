#include "link/netport.h"

#include "base/language.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <strings.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <linux/sockios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace qxr {

namespace {

constexpr std::string_view kRfc2217Scheme = "rfc2217://";
constexpr std::string_view kTcpScheme = "tcp://";
// A wait that may be interrupted asks the interrupt this often.
constexpr int kSliceMs = 20;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && ::strncasecmp(text.data(), prefix.data(), prefix.size()) == 0;
}

int msUntil(NetPort::Clock::time_point deadline) {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(deadline - NetPort::Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

// The data bytes whose escaped form fits in the first `sent` bytes.
int dataBytesWithin(const unsigned char* data, int count, std::size_t sent) {
  std::size_t used = 0;
  for (int i = 0; i < count; ++i) {
    used += data[i] == telnet::IAC ? 2 : 1;
    if (used > sent) return i;
  }
  return count;
}

}  // namespace

bool looksLikeNetworkAddress(std::string_view name) {
  return startsWithNoCase(name, kRfc2217Scheme) || startsWithNoCase(name, kTcpScheme);
}

std::optional<NetworkAddress> parseNetworkAddress(std::string_view name) {
  NetworkAddress address;
  if (startsWithNoCase(name, kRfc2217Scheme)) {
    address.kind = NetworkAddress::Kind::Rfc2217;
    name.remove_prefix(kRfc2217Scheme.size());
  } else if (startsWithNoCase(name, kTcpScheme)) {
    address.kind = NetworkAddress::Kind::RawTcp;
    name.remove_prefix(kTcpScheme.size());
  } else {
    return std::nullopt;
  }
  std::string_view port;
  if (!name.empty() && name.front() == '[') {
    const auto close = name.find(']');
    if (close == std::string_view::npos || close + 1 >= name.size() || name[close + 1] != ':') return std::nullopt;
    address.host = std::string(name.substr(1, close - 1));
    port = name.substr(close + 2);
  } else {
    const auto colon = name.rfind(':');
    if (colon == std::string_view::npos) return std::nullopt;
    address.host = std::string(name.substr(0, colon));
    port = name.substr(colon + 1);
    if (address.host.find(':') != std::string::npos) return std::nullopt;  // a v6 literal needs brackets
  }
  if (address.host.empty() || port.empty() || port.size() > 5) return std::nullopt;
  for (char c : address.host) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= ' ' || byte >= 0x7F || c == '/' || c == '@' || c == '[' || c == ']') return std::nullopt;
  }
  long number = 0;
  for (char c : port) {
    if (c < '0' || c > '9') return std::nullopt;
    number = number * 10 + (c - '0');
  }
  if (number < 1 || number > 65535) return std::nullopt;
  address.service = std::to_string(number);
  return address;
}

void NetPort::fail(NetFailure failure, int error) {
  failure_ = failure;
  failureError_ = error;
  close();
}

void NetPort::close() {
  if (fd_ >= 0) {
    // Unread input left in the socket would make the close a reset, which
    // may cost the server the last frame; read it away and end our side
    // first.
    char discard[4096];
    while (::recv(fd_, discard, sizeof discard, MSG_DONTWAIT) > 0) {
    }
    ::shutdown(fd_, SHUT_WR);
    ::close(fd_);
  }
  fd_ = -1;
  data_.clear();
  consumed_ = 0;
}

bool NetPort::connectTo(const NetworkAddress& address, Clock::time_point deadline) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV;
  addrinfo* found = nullptr;
  if (const int status = ::getaddrinfo(address.host.c_str(), address.service.c_str(), &hints, &found);
      status != 0) {
    fail(NetFailure::kNameNotFound, status == EAI_SYSTEM ? errno : 0);
    return false;
  }
  int lastError = ECONNREFUSED;
  bool timedOut = false;
  for (addrinfo* entry = found; entry && !timedOut; entry = entry->ai_next) {
    const int fd = ::socket(entry->ai_family, entry->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, entry->ai_protocol);
    if (fd < 0) {
      lastError = errno;
      continue;
    }
    int error = 0;
    if (::connect(fd, entry->ai_addr, entry->ai_addrlen) != 0) {
      error = errno;
      if (error == EINPROGRESS || error == EINTR) {
        pollfd pfd{fd, POLLOUT, 0};
        const int ready = pollUntil(pfd, deadline);
        if (ready == 0) {
          timedOut = true;
          error = interrupted_ ? EINTR : ETIMEDOUT;
        } else {
          socklen_t size = sizeof error;
          if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0) error = errno;
        }
      }
    }
    if (error == 0) {
      fd_ = fd;
      break;
    }
    ::close(fd);
    lastError = error;
  }
  ::freeaddrinfo(found);
  if (fd_ >= 0) return true;
  if (interrupted_) {
    fail(NetFailure::kStopped, 0);
    return false;
  }
  switch (lastError) {
    case ETIMEDOUT: fail(NetFailure::kTimedOut, lastError); break;
    case ECONNREFUSED: fail(NetFailure::kRefused, lastError); break;
    case EHOSTUNREACH:
    case ENETUNREACH:
    case EHOSTDOWN:
    case ENETDOWN:
    case EADDRNOTAVAIL: fail(NetFailure::kUnreachable, lastError); break;
    default: fail(NetFailure::kOther, lastError); break;
  }
  return false;
}

bool NetPort::comPortSettled() const { return decoder_.comPortAgreed() || decoder_.comPortRefused(); }

bool NetPort::lineConfirmed() const {
  constexpr std::uint32_t kLineAnswers = (1u << telnet::kSetBaudRate) | (1u << telnet::kSetDataSize) |
                                         (1u << telnet::kSetParity) | (1u << telnet::kSetStopSize);
  return (decoder_.comPortAnswers() & kLineAnswers) == kLineAnswers;
}

bool NetPort::waitUntil(Clock::time_point deadline, bool (NetPort::*done)() const) {
  for (;;) {
    if (!pump()) return false;
    if ((this->*done)()) return true;
    if (msUntil(deadline) <= 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    const int ready = pollUntil(pfd, deadline);
    if (ready < 0 || interrupted_) return false;
  }
}

int NetPort::pollUntil(pollfd& pfd, Clock::time_point deadline) {
  for (;;) {
    const int left = msUntil(deadline);
    const int slice = interrupt_ ? std::min(left, kSliceMs) : left;
    int ready = ::poll(&pfd, 1, slice);
    if (ready < 0 && errno != EINTR) return ready;
    if (ready > 0) return ready;
    if (interrupt_ && interrupt_()) {
      interrupted_ = true;
      return 0;
    }
    if (msUntil(deadline) <= 0) return 0;
  }
}

bool NetPort::open(const NetworkAddress& address, int timeoutMs, const NetLine& line) {
  close();
  failure_ = NetFailure::kNone;
  failureError_ = 0;
  gone_ = false;
  interrupted_ = false;
  overflowed_ = false;
  asked_ = line;
  decoder_ = telnet::Decoder();
  rfc2217_ = address.kind == NetworkAddress::Kind::Rfc2217;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs > 0 ? timeoutMs : 0);
  if (!connectTo(address, deadline)) return false;

  // Byte mode sends one byte at a time and paces them: each goes at once,
  // in a segment of its own.
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  ::setsockopt(fd_, SOL_SOCKET, SO_KEEPALIVE, &on, sizeof on);
  if (!rfc2217_) return true;

  // The line must be set before the first frame: a controller at another
  // speed would read garbage. So wait for the server's agreement and for its
  // confirmation of every setting.
  if (!sendRaw(telnet::clientGreeting(), deadline)) {
    fail(interrupted_ ? NetFailure::kStopped : NetFailure::kClosedByServer, 0);
    return false;
  }
  decoder_.noteGreetingSent();
  if (!waitUntil(deadline, &NetPort::comPortSettled)) {
    fail(interrupted_ ? NetFailure::kStopped : gone_ ? NetFailure::kClosedByServer : NetFailure::kNoComPort,
         gone_ || interrupted_ ? 0 : ETIMEDOUT);
    return false;
  }
  if (decoder_.comPortRefused()) {
    fail(NetFailure::kNoComPort, 0);
    return false;
  }
  if (!setLine(line) || !waitUntil(deadline, &NetPort::lineConfirmed)) {
    fail(interrupted_ ? NetFailure::kStopped : gone_ ? NetFailure::kClosedByServer : NetFailure::kLineNotSet, 0);
    return false;
  }
  // The server confirms what it set, which need not be what was asked: a
  // line at another speed or format would carry garbage both ways.
  confirmed_.bitsPerSecond = decoder_.reportedBaudRate();
  confirmed_.dataSize = decoder_.reportedValue(telnet::kSetDataSize);
  confirmed_.parity = decoder_.reportedValue(telnet::kSetParity);
  confirmed_.stopSize = decoder_.reportedValue(telnet::kSetStopSize);
  if (confirmed_.bitsPerSecond != line.bitsPerSecond || confirmed_.dataSize != line.dataSize ||
      confirmed_.parity != line.parity || confirmed_.stopSize != line.stopSize) {
    fail(NetFailure::kLineDiffers, 0);
    return false;
  }
  return true;
}

bool NetPort::pump() {
  if (fd_ < 0 || gone_) return false;
  unsigned char piece[4096];
  for (;;) {
    // Never more than the limit unread: the rest waits in the socket, and
    // the peer's sending is held there.
    const std::size_t unread = data_.size() - consumed_;
    if (unread >= kInputLimit) {
      overflowed_ = true;
      return true;
    }
    const std::size_t room = std::min(sizeof piece, kInputLimit - unread);
    const ssize_t n = ::recv(fd_, piece, room, MSG_DONTWAIT);
    if (n > 0) {
      if (consumed_ > 0 && consumed_ == data_.size()) {
        data_.clear();
        consumed_ = 0;
      }
      if (!rfc2217_) {
        data_.append(reinterpret_cast<const char*>(piece), static_cast<std::size_t>(n));
        continue;
      }
      std::string answer;
      decoder_.feed(piece, static_cast<std::size_t>(n), data_, answer);
      if (!answer.empty()) ::send(fd_, answer.data(), answer.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) return true;
    gone_ = true;  // the server closed the connection, or it broke
    return false;
  }
}

bool NetPort::waitForData(Clock::time_point deadline) {
  for (;;) {
    pump();
    if (available() > 0) return true;
    if (gone_ || fd_ < 0) return false;
    const int left = msUntil(deadline);
    if (left <= 0) return false;
    pollfd pfd{fd_, POLLIN, 0};
    if (::poll(&pfd, 1, left) < 0 && errno != EINTR) return false;
  }
}

int NetPort::take(void* buffer, int count) {
  const int n = std::min(count, available());
  if (n <= 0) return 0;
  std::memcpy(buffer, data_.data() + consumed_, static_cast<std::size_t>(n));
  consumed_ += static_cast<std::size_t>(n);
  if (consumed_ == data_.size()) {
    data_.clear();
    consumed_ = 0;
  }
  return n;
}

void NetPort::dropInput() {
  pump();
  data_.clear();
  consumed_ = 0;
  overflowed_ = false;
  decoder_.clearStrayIac();
}

bool NetPort::sendRaw(std::string_view bytes, Clock::time_point deadline, std::size_t* sent) {
  std::size_t done = 0;
  bool ok = true;
  while (done < bytes.size()) {
    const ssize_t n = ::send(fd_, bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      done += static_cast<std::size_t>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      pollfd pfd{fd_, POLLOUT, 0};
      if (msUntil(deadline) <= 0 || pollUntil(pfd, deadline) <= 0 || (pfd.revents & (POLLHUP | POLLERR))) {
        ok = false;
        break;
      }
      continue;
    }
    gone_ = n < 0 && (errno == EPIPE || errno == ECONNRESET);
    ok = false;
    break;
  }
  if (sent) *sent = done;
  return ok;
}

int NetPort::send(const void* data, int count, Clock::time_point deadline) {
  if (fd_ < 0 || count <= 0) return 0;
  // A server that has closed its side is a line that hung up: nothing more
  // goes out (what it sent before stays readable).
  if (!pump() && gone_) return 0;
  const auto* bytes = static_cast<const unsigned char*>(data);
  const std::string_view plain(reinterpret_cast<const char*>(bytes), static_cast<std::size_t>(count));
  const std::string escaped = rfc2217_ ? telnet::escape(plain) : std::string(plain);
  std::size_t sent = 0;
  interrupted_ = false;
  sendRaw(escaped, deadline, &sent);
  // As on a serial line, a write is done when the bytes have left: here when
  // the server has acknowledged them.
  int unacknowledged = 0;
  auto nextCheck = Clock::now() + std::chrono::milliseconds(kSliceMs);
  while (sent > 0 && (unacknowledged = outQueue()) > 0) {
    if (!interrupted_ && interrupt_ && Clock::now() >= nextCheck) {
      interrupted_ = interrupt_();
      nextCheck = Clock::now() + std::chrono::milliseconds(kSliceMs);
    }
    if (msUntil(deadline) <= 0 || interrupted_) {
      sent = sent > static_cast<std::size_t>(unacknowledged) ? sent - unacknowledged : 0;
      break;
    }
    pollfd pfd{fd_, POLLRDHUP, 0};
    ::poll(&pfd, 1, 1);
    if (pfd.revents & (POLLERR | POLLHUP | POLLRDHUP)) {
      pump();
      if (gone_ || (pfd.revents & (POLLERR | POLLHUP))) {
        sent = 0;  // reset or closed: the bytes never reached the line
        break;
      }
    }
  }
  if (!rfc2217_) return static_cast<int>(sent);
  return dataBytesWithin(bytes, count, sent);
}

int NetPort::outQueue() const {
  int count = 0;
  return fd_ >= 0 && ::ioctl(fd_, SIOCOUTQ, &count) == 0 ? count : 0;
}

bool NetPort::setLine(const NetLine& line) {
  if (fd_ < 0) return false;
  if (!rfc2217_) return true;
  const std::string frames = telnet::setBaudRate(line.bitsPerSecond) +
                             telnet::setByteOption(telnet::kSetDataSize, line.dataSize) +
                             telnet::setByteOption(telnet::kSetParity, line.parity) +
                             telnet::setByteOption(telnet::kSetStopSize, line.stopSize);
  return sendRaw(frames, Clock::now() + std::chrono::milliseconds(1000));
}

bool NetPort::control(unsigned char value) {
  if (fd_ < 0) return false;
  if (!rfc2217_) return true;
  return sendRaw(telnet::setByteOption(telnet::kSetControl, value), Clock::now() + std::chrono::milliseconds(1000));
}

std::string describeLine(const NetLine& line) {
  static constexpr char kParity[] = "?NOEMS";
  std::string text = std::to_string(line.bitsPerSecond) + " " + std::to_string(line.dataSize);
  text += line.parity < sizeof kParity - 1 ? kParity[line.parity] : '?';
  text += line.stopSize == telnet::kStopOne   ? "1"
          : line.stopSize == telnet::kStopTwo ? "2"
          : line.stopSize == telnet::kStopOneAndHalf ? "1.5"
                                              : "?";
  return text;
}

std::string netFailureText(int language, NetFailure failure, int error, int timeoutMs, const NetLine* asked,
                           const NetLine* confirmed) {
  const bool english = languageFromIndex(language) == Language::kEnglish;
  const std::string ms = std::to_string(timeoutMs);
  switch (failure) {
    case NetFailure::kNone: return {};
    case NetFailure::kBadAddress:
      return english ? "not a network port address (rfc2217://HOST:PORT or tcp://HOST:PORT)"
                     : "不是網路埠位址 (rfc2217://主機:埠 或 tcp://主機:埠)";
    case NetFailure::kNameNotFound: return english ? "host name not found" : "找不到主機名稱";
    case NetFailure::kRefused: return english ? "connection refused" : "連線被拒絕";
    case NetFailure::kUnreachable: return english ? "host unreachable" : "無法連到主機";
    case NetFailure::kTimedOut:
      return english ? "no connection within " + ms + " ms" : ms + " 毫秒內無法連線";
    case NetFailure::kNoComPort:
      return english ? "the server does not set the serial line (no RFC 2217)"
                     : "伺服器不能設定串列埠 (不支援 RFC 2217)";
    case NetFailure::kLineNotSet:
      return english ? "the server did not confirm the line settings within " + ms + " ms"
                     : "伺服器在 " + ms + " 毫秒內未確認傳輸設定";
    case NetFailure::kClosedByServer: return english ? "the server closed the connection" : "伺服器關閉了連線";
    case NetFailure::kStopped: return english ? "stopped by the operator" : "已由操作者停止";
    case NetFailure::kLineDiffers: {
      const std::string want = asked ? describeLine(*asked) : "?";
      const std::string got = confirmed ? describeLine(*confirmed) : "?";
      return english ? "the server set the line to " + got + ", not the " + want + " asked for"
                     : "伺服器將線路設為 " + got + ", 而非要求的 " + want;
    }
    case NetFailure::kOther: break;
  }
  return std::strerror(error);
}

}  // namespace qxr
