#pragma once
// A port on a serial device server: a TCP connection that carries the
// controller's bytes, either as they are (tcp://HOST:PORT) or inside Telnet
// with COM-port control (rfc2217://HOST:PORT), where the PC sets the far
// port's line speed and format. The port component uses it in place of a
// terminal device; it keeps Telnet out of the data in both directions.
#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "link/telnet.h"

struct pollfd;

namespace qxr {

struct NetworkAddress {
  enum class Kind { Rfc2217, RawTcp };
  Kind kind = Kind::Rfc2217;
  std::string host;  // a name or a literal; IPv6 literals without brackets
  std::string service;
};

// True for a name with one of the network schemes (any case), valid or not:
// such a name is never a device path.
bool looksLikeNetworkAddress(std::string_view name);
// "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (HOST may be "[v6-literal]",
// PORT 1..65535); nothing for anything else.
std::optional<NetworkAddress> parseNetworkAddress(std::string_view name);

// Why a network port did not open.
enum class NetFailure { kNone, kBadAddress, kNameNotFound, kRefused, kUnreachable, kTimedOut,
                        kNoComPort, kLineNotSet, kLineDiffers, kClosedByServer, kStopped, kOther };

// The far port's line: speed and format as RFC 2217 numbers them.
struct NetLine {
  std::uint32_t bitsPerSecond = 9600;
  unsigned char dataSize = 8;
  unsigned char parity = telnet::kParityNone;
  unsigned char stopSize = telnet::kStopOne;
};

// "9600 8N1": the line as the operator reads it.
std::string describeLine(const NetLine& line);

class NetPort {
 public:
  using Clock = std::chrono::steady_clock;
  // The data a port holds that the PC has not read, at most: a few KB
  // beyond the longest reply. A peer that sends more without waiting floods
  // the line; the rest stays in the socket and the exchange fails.
  static constexpr std::size_t kInputLimit = 4096 + 255;

  NetPort() = default;
  ~NetPort() { close(); }
  NetPort(const NetPort&) = delete;
  NetPort& operator=(const NetPort&) = delete;

  // Connects within `timeoutMs` (name look-up, connection, and for RFC 2217
  // the server's agreement and its confirmation of the line settings). On
  // failure the port stays closed and failure() tells why.
  bool open(const NetworkAddress& address, int timeoutMs, const NetLine& line);
  void close();
  bool isOpen() const { return fd_ >= 0; }
  int fd() const { return fd_; }
  bool rfc2217() const { return rfc2217_; }
  NetFailure failure() const { return failure_; }
  int failureError() const { return failureError_; }
  // For kLineDiffers: what was asked for and what the server confirmed.
  const NetLine& askedLine() const { return asked_; }
  const NetLine& confirmedLine() const { return confirmed_; }

  // Asked in slices while a connection, its negotiation or a send waits;
  // true ends the wait (open fails with kStopped, send returns what went).
  void setInterrupt(std::function<bool()> interrupt) { interrupt_ = std::move(interrupt); }
  bool interruptedLast() const { return interrupted_; }
  // More came than kInputLimit without the PC reading it, or a lone IAC
  // came among the data: the input is not the controller's.
  bool overflowed() const { return overflowed_; }
  bool strayIac() const { return decoder_.strayIac(); }

  // Moves whatever the socket holds into the data buffer (answering the
  // server's negotiation on the way) without blocking. False once the
  // connection is gone.
  bool pump();
  // Waits up to the deadline until data bytes are buffered; false when none
  // came or the connection is gone.
  bool waitForData(Clock::time_point deadline);
  int available() const { return static_cast<int>(data_.size() - consumed_); }
  int take(void* buffer, int count);
  bool gone() const { return gone_; }
  void dropInput();

  // Sends `count` data bytes (IAC doubled for RFC 2217) and waits until the
  // peer has taken them, both by the deadline. Returns the data bytes sent.
  int send(const void* data, int count, Clock::time_point deadline);
  // Bytes sent but not yet acknowledged by the peer.
  int outQueue() const;

  // RFC 2217 only (nothing on a raw connection): the line settings and the
  // modem-line and break controls; no wait for the server's answer.
  bool setLine(const NetLine& line);
  bool control(unsigned char value);

 private:
  bool sendRaw(std::string_view bytes, Clock::time_point deadline, std::size_t* sent = nullptr);
  bool connectTo(const NetworkAddress& address, Clock::time_point deadline);
  bool waitUntil(Clock::time_point deadline, bool (NetPort::*done)() const);
  // poll() on the socket until the deadline, in slices that ask the
  // interrupt: >0 ready, 0 time-out or interrupted, <0 error.
  int pollUntil(pollfd& pfd, Clock::time_point deadline);
  bool comPortSettled() const;
  bool lineConfirmed() const;
  void fail(NetFailure failure, int error);

  int fd_ = -1;
  bool rfc2217_ = false;
  bool gone_ = false;
  NetFailure failure_ = NetFailure::kNone;
  int failureError_ = 0;
  telnet::Decoder decoder_;
  std::function<bool()> interrupt_;
  bool interrupted_ = false;
  bool overflowed_ = false;
  NetLine asked_, confirmed_;
  std::string data_;
  std::size_t consumed_ = 0;
};

// The reason in the operator's language (English for language 1,
// Traditional Chinese otherwise).
// `asked` and `confirmed` name both lines for kLineDiffers.
std::string netFailureText(int language, NetFailure failure, int error, int timeoutMs,
                           const NetLine* asked = nullptr, const NetLine* confirmed = nullptr);

}  // namespace qxr
