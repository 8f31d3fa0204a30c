// The serial port component on a Linux terminal device.
//
// The device is opened non-blocking and exclusive (TIOCEXCL for other
// programs, flock for everyone, root included). Reads and writes are bounded
// with poll(); the event thread waits for input, line errors and modem-line
// changes and hands each event mask to the host's poster, never touching the
// data itself.
#include "link/comm.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/eventfd.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <linux/serial.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <optional>

#include "link/netport.h"
#include "link/portholder.h"
#include "link/portname.h"

namespace qxr {

namespace detail {
int setCustomSpeed(int fd, unsigned bitsPerSecond);
}

namespace {

constexpr const char* kAlreadyOpen = "Port already assigned (open) (Error: %d)";
constexpr const char* kNotOpen = "Port not open (Error: %d)";
constexpr const char* kTimeoutsFailed = "Error updating CommTimeouts (Error: %d)";
constexpr const char* kDataControlBlockFailed = "Error updating DataControlBlock (Error: %d)";
constexpr const char* kEscapeFailed = "EscapeCommFunction failure (Error: %d)";

// While unread input or a pending write needs watching, the event thread
// looks again this often instead of sleeping until the next byte.
constexpr int kEventPollMs = 20;

std::string formatError(const std::string& format, int code) {
  std::string text = format;
  if (const auto at = text.find("%d"); at != std::string::npos) text.replace(at, 2, std::to_string(code));
  return text;
}

using SteadyClock = std::chrono::steady_clock;

int msUntil(SteadyClock::time_point deadline) {
  const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

void sleepMs(int ms) {
  if (ms > 0) ::poll(nullptr, 0, ms);
}

unsigned bitsPerSecond(TBaudRate rate) {
  static constexpr unsigned kRates[] = {110,   300,   600,   1200,   2400,   4800,   9600,  14400,
                                        19200, 38400, 56000, 57600, 115200, 128000, 256000};
  return kRates[rate];
}

// The termios constant of a rate, 0 when termios has none.
speed_t speedConstant(TBaudRate rate) {
  switch (rate) {
    case br110: return B110;
    case br300: return B300;
    case br600: return B600;
    case br1200: return B1200;
    case br2400: return B2400;
    case br4800: return B4800;
    case br9600: return B9600;
    case br19200: return B19200;
    case br38400: return B38400;
    case br57600: return B57600;
    case br115200: return B115200;
    default: return 0;
  }
}

// A terminal without modem control (a pseudo-terminal, some adapters)
// answers the modem ioctls with one of these.
bool noModemControl(int error) { return error == ENOTTY || error == EINVAL; }

}  // namespace

std::uint32_t commEventBit(TCommEventType event) {
  switch (event) {
    case evBreak: return kEvBreak;
    case evCts: return kEvCts;
    case evDsr: return kEvDsr;
    case evError: return kEvError;
    case evRing: return kEvRing;
    case evRlsd: return kEvRlsd;
    case evRxChar: return kEvRxChar;
    case evRxFlag: return kEvRxFlag;
    case evTxEmpty: return kEvTxEmpty;
  }
  return 0;
}

ECommError::ECommError(const std::string& format, int code)
    : std::runtime_error(formatError(format, code)), code_(code) {}

void TCommEventChars::SetXOnChar(char c) { xon_ = c; changed(); }
void TCommEventChars::SetXOffChar(char c) { xoff_ = c; changed(); }
void TCommEventChars::SetErrorChar(char c) { error_ = c; changed(); }
void TCommEventChars::SetEofChar(char c) { eof_ = c; changed(); }
void TCommEventChars::SetEvtChar(char c) { evt_ = c; changed(); }
void TCommEventChars::Assign(const TCommEventChars& o) {
  xon_ = o.xon_;
  xoff_ = o.xoff_;
  error_ = o.error_;
  eof_ = o.eof_;
  evt_ = o.evt_;
  changed();
}
void TCommEventChars::changed() {
  if (owner_) owner_->UpdateDataControlBlock();
}

struct TThreadComm::Impl {
  int fd = -1;
  // A port on a serial device server; fd is then its socket.
  std::unique_ptr<NetPort> net;
  NetFailure openFailure = NetFailure::kNone;
  int openFailureError = 0;
  NetLine askedLine, confirmedLine;  // for a line the server set otherwise
  PortOpenFailure localFailure;
  std::atomic<bool> enabled{false};
  bool modemLines = false;  // TIOCMGET works: a real serial line
  std::recursive_mutex lock;

  // Event thread.
  std::thread thread;
  int wakeFd = -1;
  std::atomic<bool> stop{false};
  std::atomic<bool> txPending{false};
  std::atomic<std::uint32_t> errorFlags{0};
  std::mutex posterMutex;
  EventPoster poster;
  bool posting = false;  // the thread's handler: set while the port is open

  void post(std::uint32_t mask) {
    EventPoster copy;
    {
      std::lock_guard<std::mutex> guard(posterMutex);
      if (posting) copy = poster;
    }
    if (copy) copy(mask);
  }
  void wake() {
    if (wakeFd >= 0) {
      const std::uint64_t one = 1;
      [[maybe_unused]] const auto written = ::write(wakeFd, &one, sizeof one);
    }
  }
  void runEvents(std::uint32_t watched);
};

// Waits for line events until stopped. Input is reported when the count of
// unread bytes grows; while bytes sit unread the thread looks every
// kEventPollMs instead of spinning on a readable descriptor.
void TThreadComm::Impl::runEvents(std::uint32_t watched) {
  int lastIn = 0;  // input that came before the thread ran is reported too
  int lastModem = 0;
  const bool watchModem = modemLines && (watched & (kEvCts | kEvDsr | kEvRing | kEvRlsd));
  if (watchModem) ::ioctl(fd, TIOCMGET, &lastModem);
  serial_icounter_struct lastCounts{};
  const bool haveCounts = ::ioctl(fd, TIOCGICOUNT, &lastCounts) == 0;
  bool hungUp = false;

  while (!stop.load()) {
    const bool periodic = watchModem || haveCounts || lastIn > 0 || txPending.load();
    pollfd fds[2] = {{wakeFd, POLLIN, 0}, {fd, 0, 0}};
    if (!hungUp && lastIn == 0 && (watched & kEvRxChar)) fds[1].events = POLLIN | POLLRDHUP;
    const int ready = ::poll(fds, fds[1].events ? 2 : 1, periodic ? kEventPollMs : -1);
    if (ready < 0 && errno != EINTR) break;
    if (fds[0].revents & POLLIN) {
      std::uint64_t count = 0;
      [[maybe_unused]] const auto got = ::read(wakeFd, &count, sizeof count);
    }
    if (stop.load()) break;
    if (fds[1].revents & (POLLHUP | POLLERR | POLLNVAL | POLLRDHUP)) hungUp = true;

    std::uint32_t mask = 0;
    int inQueue = 0;
    if (::ioctl(fd, FIONREAD, &inQueue) == 0) {
      if (inQueue > lastIn) mask |= kEvRxChar;
      lastIn = inQueue;
    }
    if (watchModem) {
      int modem = 0;
      if (::ioctl(fd, TIOCMGET, &modem) == 0) {
        const int changed = modem ^ lastModem;
        if (changed & TIOCM_CTS) mask |= kEvCts;
        if (changed & TIOCM_DSR) mask |= kEvDsr;
        if (changed & TIOCM_CD) mask |= kEvRlsd;
        if ((changed & TIOCM_RI) && (modem & TIOCM_RI)) mask |= kEvRing;
        lastModem = modem;
      }
    }
    if (haveCounts) {
      serial_icounter_struct counts{};
      if (::ioctl(fd, TIOCGICOUNT, &counts) == 0) {
        std::uint32_t errors = 0;
        if (counts.brk != lastCounts.brk) {
          mask |= kEvBreak;
          errors |= kCeBreak;
        }
        if (counts.frame != lastCounts.frame) errors |= kCeFrame;
        if (counts.overrun != lastCounts.overrun) errors |= kCeOverrun;
        if (counts.parity != lastCounts.parity) errors |= kCeRxParity;
        if (counts.buf_overrun != lastCounts.buf_overrun) errors |= kCeRxOver;
        if (errors & ~kCeBreak) mask |= kEvError;
        if (errors) errorFlags.fetch_or(errors);
        lastCounts = counts;
      }
    }
    if (txPending.load()) {
      int outQueue = 0;
      if (::ioctl(fd, TIOCOUTQ, &outQueue) != 0 || outQueue == 0) {
        txPending.store(false);
        mask |= kEvTxEmpty;
      }
    }
    mask &= watched;
    if (mask) post(mask);
  }
}

TThreadComm::TThreadComm() : impl_(std::make_unique<Impl>()) {}

TThreadComm::~TThreadComm() {
  try {
    Close();
  } catch (...) {
  }
}

// --- properties that only change while closed ---
void TThreadComm::SetDeviceName(const std::string& name) {
  if (!Enabled()) deviceName_ = name;
}
void TThreadComm::SetReadBufSize(std::uint16_t size) {
  if (!Enabled()) readBufSize_ = size;
}
void TThreadComm::SetWriteBufSize(std::uint16_t size) {
  if (!Enabled()) writeBufSize_ = size;
}
void TThreadComm::SetSuspendTime(std::uint32_t ms) {
  if (!Enabled()) suspendTime_ = ms;
}
void TThreadComm::SetMonitorEvents(const TCommEventTypes& events) {
  if (!Enabled()) monitorEvents_ = events;
}

// --- line settings, applied at once when open ---
// A setting the device refuses is taken back, so the properties keep
// describing the line.
namespace {
template <typename Revert>
void applyOrRevert(TThreadComm& port, Revert revert) {
  try {
    port.UpdateDataControlBlock();
  } catch (...) {
    revert();
    try {
      port.UpdateDataControlBlock();
    } catch (...) {
    }
    throw;
  }
}
}  // namespace

void TThreadComm::SetBaudRate(TBaudRate rate) {
  if (rate == baudRate_) return;
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  const auto previous = baudRate_;
  baudRate_ = rate;
  applyOrRevert(*this, [&] { baudRate_ = previous; });
}
void TThreadComm::SetParity(TParity parity) {
  if (parity == parity_) return;
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  const auto previous = parity_;
  parity_ = parity;
  applyOrRevert(*this, [&] { parity_ = previous; });
}
void TThreadComm::SetStopBits(TStopBits bits) {
  if (bits == stopBits_) return;
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  const auto previous = stopBits_;
  stopBits_ = bits;
  applyOrRevert(*this, [&] { stopBits_ = previous; });
}
void TThreadComm::SetDataBits(TDataBits bits) {
  if (bits == dataBits_) return;
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  const auto previous = dataBits_;
  dataBits_ = bits;
  applyOrRevert(*this, [&] { dataBits_ = previous; });
}
void TThreadComm::SetOptions(const TCommOptions& options) {
  if (options == options_) return;
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  const auto previous = options_;
  options_ = options;
  applyOrRevert(*this, [&] { options_ = previous; });
}

std::string TThreadComm::ResolvedDevicePath() const { return resolvePortDevice(deviceName_, portDirectory_); }

bool TThreadComm::Enabled() const { return impl_->enabled.load(); }

void TThreadComm::UpdateDataControlBlock() {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!Enabled()) return;
  if (impl_->net) {
    if (dataBits_ == da4) throw ECommError(kDataControlBlockFailed, EINVAL);
    if (!impl_->net->setLine(networkLine()) && !impl_->net->gone()) throw ECommError(kDataControlBlockFailed, EIO);
    return;
  }
  const int fd = impl_->fd;
  termios settings {};
  if (::tcgetattr(fd, &settings) != 0) throw ECommError(kDataControlBlockFailed, errno);

  // Raw bytes both ways: no echo, no line editing, no translation, no
  // software flow control (the protocol is binary); hardware flow control
  // stays as the device reports it.
  settings.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IXON | IXOFF | IXANY |
                        INPCK | IGNPAR | IUCLC | IMAXBEL);
  settings.c_oflag &= ~OPOST;
  settings.c_lflag &= ~(ECHO | ECHOE | ECHOK | ECHONL | ICANON | ISIG | IEXTEN);
  settings.c_cflag |= CREAD | CLOCAL;

  settings.c_cflag &= ~CSIZE;
  switch (dataBits_) {
    case da4: throw ECommError(kDataControlBlockFailed, EINVAL);  // no 4-bit characters on Linux
    case da5: settings.c_cflag |= CS5; break;
    case da6: settings.c_cflag |= CS6; break;
    case da7: settings.c_cflag |= CS7; break;
    case da8: settings.c_cflag |= CS8; break;
  }
  settings.c_cflag &= ~(PARENB | PARODD | CMSPAR);
  switch (parity_) {
    case paNone: break;
    case paOdd: settings.c_cflag |= PARENB | PARODD; break;
    case paEven: settings.c_cflag |= PARENB; break;
    case paMark: settings.c_cflag |= PARENB | PARODD | CMSPAR; break;
    case paSpace: settings.c_cflag |= PARENB | CMSPAR; break;
  }
  // CSTOPB means 1.5 stop bits with 5-bit characters, 2 otherwise.
  if (stopBits_ == sb10) settings.c_cflag &= ~CSTOPB;
  else settings.c_cflag |= CSTOPB;
  if (options_.count(coParityCheck)) settings.c_iflag |= INPCK;

  settings.c_cc[VSTART] = static_cast<cc_t>(eventChars_.XOnChar());
  settings.c_cc[VSTOP] = static_cast<cc_t>(eventChars_.XOffChar());
  settings.c_cc[VMIN] = 0;
  settings.c_cc[VTIME] = 0;

  const speed_t speed = speedConstant(baudRate_);
  if (speed != 0) {
    ::cfsetispeed(&settings, speed);
    ::cfsetospeed(&settings, speed);
  }
  if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
    const int error = errno;
    // A pseudo-terminal always carries 8 data bits without parity and the C
    // library reports the mismatch as EINVAL; everything else was applied.
    settings.c_cflag = (settings.c_cflag & ~(CSIZE | PARENB | PARODD | CMSPAR)) | CS8;
    if (impl_->modemLines || error != EINVAL || ::tcsetattr(fd, TCSANOW, &settings) != 0)
      throw ECommError(kDataControlBlockFailed, error);
  }
  if (speed == 0) {
    if (const int error = detail::setCustomSpeed(fd, bitsPerSecond(baudRate_)); error != 0)
      throw ECommError(kDataControlBlockFailed, error);
  }
}

void TThreadComm::Open() {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (Enabled()) throw ECommError(kAlreadyOpen, -1);

  impl_->openFailure = NetFailure::kNone;
  impl_->openFailureError = 0;
  impl_->localFailure = {};
  stoppedByCheck_ = false;
  const std::string path = ResolvedDevicePath();
  if (path.empty()) return;
  if (looksLikeNetworkAddress(path)) {
    openNetwork(path);
    return;
  }
  // A port that does not open stays closed, without an error; the reason is
  // kept for OpenFailureText.
  const auto fail = [&](PortFailure failure, int error) {
    impl_->localFailure = describePortFailure(path, failure, error);
  };
  const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    const int error = errno;
    return fail(portFailureForError(error), error);
  }
  struct stat info {};
  // Only a terminal is a port.
  if (::fstat(fd, &info) != 0 || !S_ISCHR(info.st_mode) || !::isatty(fd)) {
    ::close(fd);
    return fail(S_ISREG(info.st_mode)   ? PortFailure::kRegularFile
                : S_ISCHR(info.st_mode) ? PortFailure::kNotTerminal
                                        : PortFailure::kNotDevice,
                0);
  }
  if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
    const int error = errno;
    ::close(fd);  // before looking for the holder, so as not to find ourselves
    return fail(error == EWOULDBLOCK ? PortFailure::kHeld : PortFailure::kOther, error);
  }
  ::ioctl(fd, TIOCEXCL);
  int modem = 0;
  impl_->fd = fd;
  impl_->modemLines = ::ioctl(fd, TIOCMGET, &modem) == 0;
  impl_->errorFlags.store(0);
  impl_->txPending.store(false);
  impl_->enabled.store(true);

  try {
    UpdateDataControlBlock();
  } catch (...) {
    Close();
    throw;
  }
  // The input and output queues are the driver's own; ReadBufSize and
  // WriteBufSize are kept as properties only.
  startEventThread();
}

void TThreadComm::openNetwork(const std::string& address) {
  const auto parsed = parseNetworkAddress(address);
  if (!parsed) {
    impl_->openFailure = NetFailure::kBadAddress;
    return;
  }
  if (dataBits_ == da4) throw ECommError(kDataControlBlockFailed, EINVAL);
  auto net = std::make_unique<NetPort>();
  stoppedByCheck_ = false;
  net->setInterrupt(stopCheck_);
  if (!net->open(*parsed, static_cast<int>(connectTimeout_), networkLine())) {
    impl_->openFailure = net->failure();
    impl_->openFailureError = net->failureError();
    impl_->askedLine = net->askedLine();
    impl_->confirmedLine = net->confirmedLine();
    stoppedByCheck_ = net->failure() == NetFailure::kStopped;
    return;
  }
  impl_->fd = net->fd();
  impl_->net = std::move(net);
  impl_->modemLines = false;
  impl_->errorFlags.store(0);
  impl_->txPending.store(false);
  impl_->enabled.store(true);
  startEventThread();
}

NetLine TThreadComm::networkLine() const {
  static constexpr unsigned char kParities[] = {telnet::kParityNone, telnet::kParityOdd, telnet::kParityEven,
                                                telnet::kParityMark, telnet::kParitySpace};
  static constexpr unsigned char kStops[] = {telnet::kStopOne, telnet::kStopOneAndHalf, telnet::kStopTwo};
  NetLine line;
  line.bitsPerSecond = bitsPerSecond(baudRate_);
  line.dataSize = static_cast<unsigned char>(4 + static_cast<int>(dataBits_));
  line.parity = kParities[parity_];
  line.stopSize = kStops[stopBits_];
  return line;
}

std::string TThreadComm::OpenFailureText(int language) const {
  if (impl_->localFailure.failure != PortFailure::kNone) return portFailureText(language, impl_->localFailure);
  if (impl_->openFailure == NetFailure::kNone) return {};
  return netFailureText(language, impl_->openFailure, impl_->openFailureError, static_cast<int>(connectTimeout_),
                        &impl_->askedLine, &impl_->confirmedLine);
}

std::string TThreadComm::OpenFailureDevice() const {
  return impl_->localFailure.failure == PortFailure::kNone ? std::string() : impl_->localFailure.device;
}

void TThreadComm::startEventThread() {
  std::uint32_t watched = 0;
  for (TCommEventType event : monitorEvents_) watched |= commEventBit(event);
  impl_->stop.store(false);
  impl_->wakeFd = ::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK);
  if (impl_->wakeFd < 0) {
    Close();
    return;
  }
  {
    std::lock_guard<std::mutex> posterGuard(impl_->posterMutex);
    impl_->posting = true;
  }
  try {
    impl_->thread = std::thread([impl = impl_.get(), watched] { impl->runEvents(watched); });
  } catch (...) {
    Close();
  }
}

void TThreadComm::Close() {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!Enabled() && impl_->fd < 0) return;
  {
    std::lock_guard<std::mutex> posterGuard(impl_->posterMutex);
    impl_->posting = false;
  }
  if (impl_->thread.joinable()) {
    impl_->stop.store(true);
    impl_->wake();
    impl_->thread.join();
  }
  if (impl_->wakeFd >= 0) {
    ::close(impl_->wakeFd);
    impl_->wakeFd = -1;
  }
  const int fd = impl_->fd;
  if (impl_->net) {
    impl_->net.reset();  // closes the connection; what was sent is delivered
    impl_->fd = -1;
    impl_->enabled.store(false);
    return;
  }
  // Unread input goes; output already written is left to drain, so the last
  // frame before a close is not lost.
  ::tcflush(fd, TCIFLUSH);
  ::ioctl(fd, TIOCNXCL);
  ::flock(fd, LOCK_UN);
  ::close(fd);
  impl_->fd = -1;
  impl_->enabled.store(false);
}

void TThreadComm::SetStopCheck(StopCheck check) {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  stopCheck_ = std::move(check);
  if (impl_->net) impl_->net->setInterrupt(stopCheck_);
}

bool TThreadComm::stopDue() {
  if (stopCheck_ && stopCheck_()) stoppedByCheck_ = true;
  return stoppedByCheck_;
}

bool TThreadComm::InputOverflowed() const { return impl_->net && impl_->net->overflowed(); }
bool TThreadComm::InputStrayIac() const { return impl_->net && impl_->net->strayIac(); }

int TThreadComm::Write(const void* data, int count) {
  if (!Enabled()) return -1;
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!Enabled()) return -1;
  if (count <= 0) return 0;
  stoppedByCheck_ = false;
  const int fd = impl_->fd;
  // The write time-out: 19200 / (position of BaudRate) ms per byte.
  const int position = static_cast<int>(baudRate_) > 0 ? static_cast<int>(baudRate_) : 1;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(static_cast<long long>(19200 / position) * count);
  if (impl_->net) return writeNetwork(data, count, deadline);

  // A peer that does not read can hold a write for its whole time-out: it
  // waits in slices, so that a stop ends it at once.
  const auto* bytes = static_cast<const unsigned char*>(data);
  int written = 0;
  while (written < count) {
    const ssize_t n = ::write(fd, bytes + written, static_cast<std::size_t>(count - written));
    if (n > 0) {
      written += static_cast<int>(n);
      continue;
    }
    if (n < 0 && errno == EINTR) {
      if (stopDue()) break;
      continue;
    }
    if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK)) {
      const int left = msUntil(deadline);
      if (left <= 0 || stopDue()) break;
      pollfd pfd{fd, POLLOUT, 0};
      if (::poll(&pfd, 1, std::min(left, kStopCheckSliceMs)) < 0 && errno != EINTR) break;
      if (pfd.revents & (POLLHUP | POLLERR | POLLNVAL)) break;
      continue;
    }
    break;  // a failed line: the bytes so far are all that went out
  }
  // A write completes when the bytes have left the driver, as the callers
  // pace and time their frames by it.
  int outQueue = 0;
  auto nextCheck = SteadyClock::now() + std::chrono::milliseconds(kStopCheckSliceMs);
  while (written > 0 && ::ioctl(fd, TIOCOUTQ, &outQueue) == 0 && outQueue > 0) {
    bool giveUp = msUntil(deadline) <= 0;
    if (!giveUp && SteadyClock::now() >= nextCheck) {
      giveUp = stopDue();
      nextCheck = SteadyClock::now() + std::chrono::milliseconds(kStopCheckSliceMs);
    }
    if (giveUp) {
      written = written > outQueue ? written - outQueue : 0;
      break;
    }
    sleepMs(1);
  }
  if (written > 0 && monitorEvents_.count(evTxEmpty)) {
    impl_->txPending.store(true);
    impl_->wake();
  }
  return written;
}

int TThreadComm::Read(void* buffer, int count) {
  if (!Enabled()) return -1;
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!Enabled()) return -1;
  if (count <= 0) return 0;
  const int fd = impl_->fd;
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(kReadTimeoutMs);
  if (impl_->net) {
    const int n = readNetwork(buffer, count, deadline);
    if (n > 0) bytesRead_ += static_cast<std::uint64_t>(n);
    return n;
  }
  for (;;) {
    const ssize_t n = ::read(fd, buffer, static_cast<std::size_t>(count));
    if (n > 0) {
      bytesRead_ += static_cast<std::uint64_t>(n);
      return static_cast<int>(n);
    }
    if (n < 0 && errno == EINTR) continue;
    const bool wouldBlock = n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK);
    const int left = msUntil(deadline);
    if (left <= 0) return 0;
    if (!wouldBlock) {
      // A line that is gone (hung up, unplugged) stays silent for the whole
      // time-out rather than making the caller spin.
      sleepMs(left);
      return 0;
    }
    pollfd pfd{fd, POLLIN, 0};
    if (::poll(&pfd, 1, left) < 0 && errno != EINTR) return 0;
    if (!(pfd.revents & POLLIN) && (pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) {
      sleepMs(msUntil(deadline));
      return 0;
    }
  }
}

bool TThreadComm::WaitForInput(int ms) {
  if (!Enabled()) return true;
  if (impl_->net) return waitForNetworkInput(ms);
  pollfd pfd{impl_->fd, POLLIN, 0};
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
  for (;;) {
    const int ready = ::poll(&pfd, 1, msUntil(deadline));
    if (ready < 0 && errno == EINTR) continue;
    if (ready <= 0) return false;
    if (!(pfd.revents & (POLLHUP | POLLERR | POLLNVAL))) return (pfd.revents & POLLIN) != 0;
    int waiting = 0;  // a hung-up line may still hold input
    if (::ioctl(impl_->fd, FIONREAD, &waiting) == 0 && waiting > 0) return true;
    sleepMs(msUntil(deadline));  // no input will come
    return false;
  }
}

int TThreadComm::InQueCount() {
  if (!Enabled()) return -1;
  if (impl_->net) {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    if (impl_->net) impl_->net->pump();
    return impl_->net ? impl_->net->available() : -1;
  }
  int count = 0;
  return ::ioctl(impl_->fd, FIONREAD, &count) == 0 ? count : 0;
}

int TThreadComm::OutQueCount() {
  if (!Enabled()) return -1;
  int count = 0;
  return ::ioctl(impl_->fd, TIOCOUTQ, &count) == 0 ? count : 0;
}

void TThreadComm::PurgeIn() {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (impl_->net) impl_->net->dropInput();
  else if (Enabled()) ::tcflush(impl_->fd, TCIFLUSH);
}

void TThreadComm::PurgeOut() {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (Enabled() && !impl_->net) ::tcflush(impl_->fd, TCOFLUSH);  // a socket's output is already on its way
}

namespace {

// One modem-line escape; a line without modem control takes it as done.
void modemEscape(int fd, bool modemLines, unsigned long request, int bits) {
  if (::ioctl(fd, request, &bits) == 0) return;
  const int error = errno;
  if (!modemLines && noModemControl(error)) return;
  throw ECommError(kEscapeFailed, error);
}

}  // namespace

void TThreadComm::SetDTRState(bool on) {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!Enabled()) throw ECommError(kNotOpen, -1);
  if (impl_->net) return networkControl(on ? telnet::kDtrOn : telnet::kDtrOff);
  modemEscape(impl_->fd, impl_->modemLines, on ? TIOCMBIS : TIOCMBIC, TIOCM_DTR);
}

void TThreadComm::SetRTSState(bool on) {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!Enabled()) throw ECommError(kNotOpen, -1);
  if (impl_->net) return networkControl(on ? telnet::kRtsOn : telnet::kRtsOff);
  modemEscape(impl_->fd, impl_->modemLines, on ? TIOCMBIS : TIOCMBIC, TIOCM_RTS);
}

void TThreadComm::SetXONState(bool on) {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!Enabled()) throw ECommError(kNotOpen, -1);
  if (impl_->net) return;  // the server's own flow control; the protocol uses none
  if (::tcflow(impl_->fd, on ? TCOON : TCOOFF) != 0) throw ECommError(kEscapeFailed, errno);
}

void TThreadComm::SetBREAKState(bool on) {
  std::lock_guard<std::recursive_mutex> guard(impl_->lock);
  if (!Enabled()) throw ECommError(kNotOpen, -1);
  if (impl_->net) {
    networkControl(on ? telnet::kBreakOn : telnet::kBreakOff);
    impl_->net->dropInput();
    return;
  }
  if (::ioctl(impl_->fd, on ? TIOCSBRK : TIOCCBRK) != 0) {
    const int error = errno;
    if (impl_->modemLines || !noModemControl(error)) throw ECommError(kEscapeFailed, error);
  }
  ::tcflush(impl_->fd, TCIOFLUSH);
}

bool TThreadComm::GetModemState(int kind) {
  if (!Enabled() || !impl_->modemLines) return false;
  int modem = 0;
  if (::ioctl(impl_->fd, TIOCMGET, &modem) != 0) return false;
  switch (kind) {
    case 1: return modem & TIOCM_CTS;
    case 2: return modem & TIOCM_DSR;
    case 3: return modem & TIOCM_RI;
    case 4: return modem & TIOCM_CD;
    default: return false;
  }
}

bool TThreadComm::GetComState(int kind) {
  if (!Enabled()) return false;
  switch (kind) {
    case 2:  // waiting for DSR: DSR sensitivity has no termios counterpart
    case 3:  // waiting for RLSD: the line is opened with CLOCAL
    case 4:  // waiting because XOFF was received: software flow control is off
    case 5:  // waiting because XOFF was sent
      return false;
    default: {  // waiting for CTS
      if (impl_->net) return false;
      termios settings {};
      if (::tcgetattr(impl_->fd, &settings) != 0 || !(settings.c_cflag & CRTSCTS)) return false;
      return !GetModemState(1) && impl_->modemLines;
    }
  }
}

// --- a port on a serial device server ---

int TThreadComm::writeNetwork(const void* data, int count, std::chrono::steady_clock::time_point deadline) {
  const int written = impl_->net->send(data, count, deadline);
  stoppedByCheck_ = impl_->net->interruptedLast();
  if (written > 0 && monitorEvents_.count(evTxEmpty)) {
    impl_->txPending.store(true);
    impl_->wake();
  }
  return written;
}

// As on a terminal: data that came is returned at once, a silent line gives 0
// after the read time-out, and so does a connection that is gone.
int TThreadComm::readNetwork(void* buffer, int count, std::chrono::steady_clock::time_point deadline) {
  NetPort& net = *impl_->net;
  if (net.waitForData(deadline)) return net.take(buffer, count);
  sleepMs(msUntil(deadline));
  return 0;
}

bool TThreadComm::waitForNetworkInput(int ms) {
  const auto deadline = SteadyClock::now() + std::chrono::milliseconds(ms < 0 ? 0 : ms);
  // What the server sent so far, taken in: true with data buffered (or no
  // network port), false once the connection is gone, nothing otherwise.
  auto lookAtInput = [&]() -> std::optional<bool> {
    std::lock_guard<std::recursive_mutex> guard(impl_->lock);
    if (!impl_->net) return true;
    NetPort& net = *impl_->net;
    net.pump();
    if (net.available() > 0) return true;
    if (net.gone()) return false;
    return std::nullopt;
  };
  // The socket may hold Telnet commands only, so look again until data is
  // buffered; the wait itself runs without the lock.
  for (std::optional<bool> seen = lookAtInput(); ; seen = lookAtInput()) {
    if (seen) {
      if (!*seen) sleepMs(msUntil(deadline));  // no input will come
      return *seen;
    }
    pollfd pfd{impl_->fd, POLLIN | POLLRDHUP, 0};
    int ready;
    do ready = ::poll(&pfd, 1, msUntil(deadline));
    while (ready < 0 && errno == EINTR);
    if (ready <= 0) return false;
  }
}

// A connection that is gone takes no control; that shows as a hang-up at
// the next write or wait, as on a terminal whose line dropped.
void TThreadComm::networkControl(unsigned char value) {
  if (!impl_->net->control(value) && !impl_->net->gone()) throw ECommError(kEscapeFailed, EIO);
}

void TThreadComm::Lock() { impl_->lock.lock(); }
void TThreadComm::Unlock() { impl_->lock.unlock(); }

void TThreadComm::SetEventPoster(EventPoster poster) {
  std::lock_guard<std::mutex> guard(impl_->posterMutex);
  impl_->poster = std::move(poster);
}

void TThreadComm::DispatchEvent(std::uint32_t mask) {
  if (!Enabled()) return;  // posted before the port closed
  const std::uint32_t errors = impl_->errorFlags.exchange(0);
  const int inQueue = InQueCount();
  const int outQueue = OutQueCount();
  std::uint32_t status = 0;
  if (GetComState(1)) status |= 0x01;  // CTS hold
  if (mask & kEvBreak && Events.OnBreak) Events.OnBreak(*this);
  if (mask & kEvCts && Events.OnCts) Events.OnCts(*this);
  if (mask & kEvDsr && Events.OnDsr) Events.OnDsr(*this);
  if (mask & kEvError && Events.OnError) Events.OnError(*this, errors);
  if (mask & kEvRing && Events.OnRing) Events.OnRing(*this);
  if (mask & kEvRlsd && Events.OnRlsd) Events.OnRlsd(*this);
  if (mask & kEvRxChar && inQueue > 0 && Events.OnRxChar) Events.OnRxChar(*this, inQueue);
  if (mask & kEvRxFlag && Events.OnRxFlag) Events.OnRxFlag(*this);
  if (mask & kEvTxEmpty && Events.OnTxEmpty) Events.OnTxEmpty(*this);
  if (Events.OnComStatEvent) Events.OnComStatEvent(*this, mask, status, inQueue, outQueue);
}

}  // namespace qxr
