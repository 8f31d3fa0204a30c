// Sending frames, waiting for replies, page reports and opening the port.
#include "link/link.h"

#include <cstdio>
#include <cstring>

#include "base/controltexts.h"
#include "link/comm.h"
#include "link/netport.h"
#include "link/linktexts.h"

namespace qxr {

namespace {

// The trace line is built in a 296-character buffer; a longer trace (a
// frame of more than 97 bytes in byte mode) is cut at a whole entry.
constexpr std::size_t kTraceCapacity = 295;

constexpr std::uint32_t kReceiveStrTimeoutMs = 5000;
constexpr std::uint32_t kConnectPauseMs = 100;

class TraceLine {
 public:
  explicit TraceLine(std::string_view start) { addText(start); }

  // Adds a whole entry, or nothing once the line is full.
  void add(std::string_view entry) {
    if (full_) return;
    if (text_.size() + entry.size() > kTraceCapacity) {
      full_ = true;
      return;
    }
    text_ += entry;
  }
  // Adds as much of a text as fits.
  void addText(std::string_view text) {
    if (full_) return;
    const std::size_t room = kTraceCapacity - text_.size();
    if (text.size() > room) {
      text_.append(text.substr(0, room));
      full_ = true;
      return;
    }
    text_ += text;
  }
  void addByte(unsigned char byte, const char* format) {
    char entry[8];
    std::snprintf(entry, sizeof entry, format, byte);
    add(entry);
  }
  const std::string& text() const { return text_; }
  void restart() {
    text_.clear();
    full_ = false;
  }

 private:
  std::string text_;
  bool full_ = false;
};

// The control bytes that may lead a reply: the acknowledgement and refusal
// lines, STX-family records and a record's leading acknowledgement.
bool isLeadingControl(unsigned char byte) {
  return byte == frames::SOH || byte == frames::STX || byte == frames::ACK || byte == frames::BEL ||
         byte == frames::NAK;
}

// Program text, names, values and designations: TAB, printable ASCII and the
// bytes of the operator's code page.
bool isTextByte(unsigned char byte) { return byte == '\t' || (byte >= 0x20 && byte != 0x7F); }

TBaudRate baudRateForIndex(int index) {
  switch (index) {
    case 1: return br1200;
    case 2: return br2400;
    case 3: return br4800;
    case 5: return br19200;
    default: return br9600;
  }
}

}  // namespace

std::size_t replyNoiseAt(std::string_view reply, bool cut, std::string* normal) {
  std::size_t at = 0;
  while (at < reply.size() && isLeadingControl(static_cast<unsigned char>(reply[at]))) ++at;
  while (at < reply.size() && isTextByte(static_cast<unsigned char>(reply[at]))) ++at;
  const std::size_t textEnd = at;
  while (at < reply.size() && reply[at] == '\0') ++at;
  const bool padded = at > textEnd;
  const std::size_t crs = at;
  while (at < reply.size() && reply[at] == frames::CR) ++at;
  const std::string_view rest = reply.substr(at);
  std::string_view ending;
  if (rest == "\n") ending = "\r\n";
  else if (rest == std::string_view("\x03", 1) && at == crs) ending = rest;
  // Nothing after the text: a reply cut at its bound (perhaps amid the CRs
  // of its line end, but not in a padding that more text may follow).
  else if (rest.empty() && ((cut && !padded) || at == textEnd)) ending = reply.substr(crs);
  else return textEnd;
  if (normal) {
    normal->assign(reply.substr(0, textEnd));
    normal->append(ending);
  }
  return std::string_view::npos;
}

bool isPcOnlyFrame(std::string_view frame) {
  for (std::string_view own : {frames::kLookUp, frames::kDelete, frames::kStore, frames::kParamWrite,
                               frames::kParamRead, frames::kAckLine, frames::kLinkOn, frames::kLinkOff,
                               frames::kSequenceWrite, frames::kSequenceRead})
    if (frame == own) return true;
  return false;
}

bool isEchoOf(std::string_view reply, const std::vector<std::string>& sent) {
  if (!isPcOnlyFrame(reply)) return false;
  for (const std::string& frame : sent)
    if (reply == frame) return true;
  return false;
}

Link::Link(TThreadComm& port, Session& session, LinkHost& host, Clock& clock)
    : port_(port), session_(session), host_(host), clock_(clock) {
  // A write the peer does not take, a connection and its negotiation look
  // for the operator's stop while they wait, with the window's events.
  port_.SetStopCheck([this] {
    host_.processEvents();
    return host_.stopRequested();
  });
}

Link::~Link() { port_.SetStopCheck({}); }

// --- reports, pauses, port ---

void Link::ShowPageMessage(int n, std::string_view text) {
  const int page = host_.pageIndex();
  if (page < kProgramPage || page > kPlcPage) return;
  std::string line = n ? session_.msg(n) : std::string();
  line += text;
  host_.appendPageLine(page, line);
}

void Link::DelayMs(std::uint32_t ms) {
  if (ms > 0) clock_.sleepMs(ms);
}

bool Link::portOpen() const { return port_.Enabled(); }

void Link::closePort() {
  if (!port_.Enabled()) return;
  port_.Close();
  ShowPageMessage(msg::kPortClosed);
}

void Link::beep() { host_.beep(); }

void Link::failReceive(std::string_view text) {
  buffer_[0] = '\0';
  received_ = 0;
  ShowPageMessage(0, text);
  beep();
  closePort();
}

std::string_view Link::reply() const { return std::string_view(buffer_); }

std::string Link::PortName(int index) {
  std::string name = "COM" + std::to_string(index + 1);
  if (index > 8) name.insert(0, "\\\\.\\");
  return name;
}

bool Link::openSelectedPort() {
  ConnectRS232();
  return portOpen();
}

void Link::ConnectRS232() {
  if (stopped()) return;
  sentSinceWait_.clear();
  if (port_.Enabled()) port_.Close();
  if (port_.Enabled()) return;
  const std::string named = host_.namedPort();
  const std::string name = named.empty() ? PortName(host_.selectedPortIndex()) : named;
  port_.SetDeviceName(name);
  port_.SetBaudRate(baudRateForIndex(session_.settings.baudIndex));
  port_.SetDataBits(da8);
  port_.SetParity(paNone);
  port_.SetStopBits(sb10);
  // A serial device server gets as long to answer as the controller does.
  const int timeout = session_.settings.timeoutMs;
  port_.SetConnectTimeout(timeout > 0 ? static_cast<std::uint32_t>(timeout) : 0);
  port_.Open();
  if (!port_.Enabled() && port_.StoppedByCheck() && stopped()) return;
  // An entry bound to a network address shows the address with its name.
  std::string shown = name;
  if (const std::string target = port_.ResolvedDevicePath(); target != name && looksLikeNetworkAddress(target))
    shown += " (" + target + ")";
  if (port_.Enabled()) {
    ShowPageMessage(msg::kPortOpened, shown);
    try {
      port_.SetRTSState(true);
      port_.SetDTRState(true);
    } catch (const ECommError&) {
      // The device went away between opening and raising its lines (a
      // controller hanging up, an adapter pulled out): as a port that does
      // not open, not an error that ends the program's handler.
      closePort();
      ShowPageMessage(msg::kPortNotOpened, shown);
      return;
    }
    DelayMs(kConnectPauseMs);
    // Whatever the line held before this opening (the late answer of an
    // operation that was stopped or failed) belongs to no exchange of this one.
    port_.PurgeIn();
  } else {
    port_.Close();
    if (const std::string device = port_.OpenFailureDevice(); !device.empty() && device != name)
      shown += " (" + device + ")";
    if (const std::string reason = port_.OpenFailureText(session_.language()); !reason.empty())
      shown += ": " + reason;
    ShowPageMessage(msg::kPortNotOpened, shown);
  }
}

// --- sending ---

bool Link::sendFrame(std::string_view frame, SendKind kind) {
  frame = frame.substr(0, frame.find('\0'));  // frames are NUL-terminated texts
  if (stopped()) return false;
  const Settings& settings = session_.settings;
  TraceLine trace("TRN: ");
  if (kind != SendKind::Line) trace.addText(frame);

  bool written = true;
  if (settings.blockMode()) {
    if (!frame.empty() && port_.Write(frame.data(), static_cast<int>(frame.size())) == 0) written = false;
  } else {
    const std::uint32_t pacing = settings.bytePacingMs > 0 ? static_cast<std::uint32_t>(settings.bytePacingMs) : 0;
    for (char c : frame) {
      const auto byte = static_cast<unsigned char>(c);
      trace.addByte(byte, kind == SendKind::TestDevice ? "%c " : "%02x ");
      if (port_.Write(&byte, 1) == 0) {
        written = false;
        break;
      }
      if (port_.StoppedByCheck()) break;
      if (kind != SendKind::TestDevice) pacingPause(pacing);
    }
  }
  // A stop that ended a write the peer did not take ends the transfer.
  if (port_.StoppedByCheck() && stopped()) return false;
  if (!written) {
    ShowPageMessage(msg::kWriteFailed);
    // The test device's byte writes leave the port open.
    if (kind == SendKind::TestDevice && !settings.blockMode()) return false;
    closePort();
    return false;
  }
  countBytes(frame.size());
  bytesSent_ += frame.size();
  if (kind == SendKind::TestDevice || settings.sendTrace) ShowPageMessage(0, trace.text());
  sentSinceWait_.emplace_back(frame);
  return true;
}

bool Link::TransToQXR(std::string_view frame) { return sendFrame(frame, SendKind::Line); }
bool Link::TransStr(std::string_view frame) { return sendFrame(frame, SendKind::Stx); }
bool Link::TransCSBLStr(std::string_view frame) { return sendFrame(frame, SendKind::TestDevice); }

// --- waiting ---

bool Link::collectReply(int maxLength, const WaitRule& rule, bool& complete) {
  const int limit = maxLength < 0 ? 0 : (maxLength > static_cast<int>(kReceiveBufferSize)
                                             ? static_cast<int>(kReceiveBufferSize)
                                             : maxLength);
  buffer_[0] = '\0';
  received_ = 0;
  complete = false;
  sentBeforeWait_ = std::move(sentSinceWait_);
  sentSinceWait_.clear();
  std::size_t count = 0;
  std::uint32_t start = clock_.tickMs();
  std::uint32_t lastByte = start;
  bool timedOut = false;
  inputFault_ = InputFault::kNone;
  while (count < static_cast<std::size_t>(limit)) {
    // A network port that met a lone IAC or took in a flood holds no reply.
    if (port_.InputStrayIac() || port_.InputOverflowed()) {
      inputFault_ = port_.InputStrayIac() ? InputFault::kStrayIac : InputFault::kFlood;
      timedOut = true;  // no reply: the caller reports the fault
      break;
    }
    host_.processEvents();
    if (host_.stopRequested()) {
      timedOut = true;  // the wait is cut; stopped() reports it
      break;
    }
    bool got = false;
    if (port_.Enabled()) {
      unsigned char byte = 0;
      if (port_.WaitForInput(host_.waitSliceMs()) && port_.Read(&byte, 1) == 1) {
        got = true;
        const bool ends = byte == frames::ETX || (rule.endsOnLf && byte == frames::LF) ||
                          (rule.endsOnAck && byte == frames::ACK);
        if (byte == 0 && rule.nulAsBlank) byte = ' ';
        buffer_[count++] = static_cast<char>(byte);
        lastByte = clock_.tickMs();
        if (rule.idleTimeout) start = lastByte;
        if (ends) {
          complete = true;
          break;
        }
      }
    } else {
      clock_.sleepMs(host_.waitSliceMs());  // nothing can arrive on a closed port
    }
    // Unsigned differences: a wrap of the tick counter does no harm. A reply
    // whose bytes are still coming is not cut when the time-out passes: it
    // ends only once its bytes stop for as long as one read waits for a byte.
    if (!got) {
      const std::uint32_t now = clock_.tickMs();
      const bool stopped = count == 0 || rule.idleTimeout ||
                           static_cast<std::uint32_t>(now - lastByte) >= static_cast<std::uint32_t>(kReadTimeoutMs);
      if (stopped && static_cast<std::uint32_t>(now - start) >= rule.timeoutMs) {
        timedOut = true;
        break;
      }
    }
  }
  buffer_[count] = '\0';
  received_ = count;
  countBytes(count);
  return !timedOut;
}

bool Link::receiveLineReply(int maxLength, int report, bool programNumberVariant, ReplyKind kind) {
  WaitRule rule;
  const int timeout = session_.settings.timeoutMs;
  rule.timeoutMs = timeout > 0 ? static_cast<std::uint32_t>(timeout) : 0;
  pieceCut_ = false;
  // Whatever the controller answers to the attention frame is read away up
  // to its line end and not looked at; only a flood without one is a fault.
  const bool drain = kind == ReplyKind::kAnswer && !sentSinceWait_.empty() &&
                     sentSinceWait_.back() == frames::kAttention;
  if (drain && maxLength < kAttentionDrainLength) maxLength = kAttentionDrainLength;
  bool complete = false;
  const bool arrived = collectReply(maxLength, rule, complete);
  if (inputFault_ != InputFault::kNone) {
    lastWait_ = WaitEnd::kNoise;
    const int language = session_.language();
    failReceive(inputFault_ == InputFault::kFlood
                    ? linkText(language, LinkText::kInputFlood, {}, static_cast<long>(NetPort::kInputLimit))
                    : linkText(language, LinkText::kNoise, "ff", static_cast<long>(received_) + 1));
    return false;
  }
  if (!arrived) {
    lastWait_ = WaitEnd::kTimedOut;
    buffer_[0] = '\0';
    received_ = 0;
    if (stopped()) return false;
    ShowPageMessage(msg::kTimeOut);
    beep();
    closePort();
    return false;
  }

  TraceLine trace("RCV: ");
  for (std::size_t i = 0; i < received_; ++i) trace.addByte(static_cast<unsigned char>(buffer_[i]), "%02x ");
  if (session_.settings.receiveTrace) ShowPageMessage(0, trace.text());
  if (!acceptReplyShape(complete, drain, kind)) return false;

  lastWait_ = WaitEnd::kReply;
  if (reply() != frames::kRefusalLine) return true;
  lastWait_ = WaitEnd::kRefused;
  if (report != 0) {
    const int page = host_.pageIndex();
    if (programNumberVariant) {
      if (page == kProgramPage) host_.appendPageLine(kProgramPage, session_.msg(msg::kProgramRefused));
      return false;
    }
    if (page == kParameterPage) ShowPageMessage(msg::kParameterRefused);
    else if (page == kProgramPage) ShowPageMessage(msg::kProgramRefused);
    else if (page == kPlcPage) ShowPageMessage(msg::kPlcRefused);
    beep();
    closePort();
  }
  return false;
}

bool Link::acceptReplyShape(bool complete, bool drain, ReplyKind kind) {
  const std::string_view bytes(buffer_, received_);
  const int language = session_.language();
  std::string normal;
  const std::size_t noise = replyNoiseAt(bytes, !complete, &normal);
  // What no controller sends is not taken as its answer (the answer to the
  // attention frame is not looked at, once it has ended).
  if (noise != std::string_view::npos && (!drain || !complete)) {
    lastWait_ = WaitEnd::kNoise;
    char hex[4];
    std::snprintf(hex, sizeof hex, "%02x", static_cast<unsigned char>(bytes[noise]));
    failReceive(linkText(language, LinkText::kNoise, hex, static_cast<long>(noise) + 1));
    return false;
  }
  // A reply that fills its bound without a line end is no answer: its rest
  // would be read as the next reply, and the exchange would run one behind.
  // The pieces of a long program line are the one exception.
  if (!complete && kind != ReplyKind::kPiece) {
    lastWait_ = WaitEnd::kUnended;
    failReceive(linkText(language, LinkText::kUnended, {}, static_cast<long>(received_)));
    return false;
  }
  if (noise != std::string_view::npos) return true;  // the attention frame's answer, as it came
  if (!drain && isEchoOf(normal, sentBeforeWait_)) {
    lastWait_ = WaitEnd::kEcho;
    failReceive(linkText(language, LinkText::kEcho));
    return false;
  }
  // The padding cut and the line end as CR LF.
  std::memcpy(buffer_, normal.data(), normal.size());
  buffer_[normal.size()] = '\0';
  received_ = normal.size();
  pieceCut_ = !complete;
  return true;
}

bool Link::ReceiveFromQXR(int maxLength, int report) { return receiveLineReply(maxLength, report, false); }

bool Link::ReceiveQXRProgNo(int maxLength, int report) { return receiveLineReply(maxLength, report, true); }

bool Link::ReceiveLinePiece(int maxLength) {
  return receiveLineReply(maxLength, 1, false, ReplyKind::kPiece);
}

bool Link::ReceiveStr(int maxLength, int /*report: no refusal check here*/) {
  WaitRule rule;
  rule.endsOnLf = false;
  rule.nulAsBlank = true;
  rule.timeoutMs = kReceiveStrTimeoutMs;
  bool complete = false;
  const bool arrived = collectReply(maxLength, rule, complete);

  TraceLine trace("RCV: ");
  for (char c : reply()) trace.addByte(static_cast<unsigned char>(c), "%02x ");
  ShowPageMessage(0, trace.text());
  ShowPageMessage(0, reply());
  if (arrived) return true;
  buffer_[0] = '\0';
  received_ = 0;
  if (stopped()) return false;
  ShowPageMessage(msg::kTimeOut);
  beep();
  closePort();
  return false;
}

bool Link::ReceiveCSBLStr(int maxLength, int /*report: no refusal check here*/) {
  WaitRule rule;
  rule.endsOnAck = true;
  rule.nulAsBlank = true;
  rule.idleTimeout = true;
  rule.timeoutMs = testTimeoutMs;
  bool complete = false;
  const bool arrived = collectReply(maxLength, rule, complete);

  // A CAN, and the ETX of a complete reply, start a trace line of their own.
  TraceLine trace("RCV: ");
  for (std::size_t i = 0; i < received_; ++i) {
    const auto byte = static_cast<unsigned char>(buffer_[i]);
    if (byte == frames::CAN || (complete && byte == frames::ETX)) {
      ShowPageMessage(0, trace.text());
      trace.restart();
    }
    trace.addByte(byte, "%02x,");
  }
  ShowPageMessage(0, trace.text());
  ShowPageMessage(0, reply());
  return arrived;
}

// --- the operator's stop, progress ---

bool Link::stopped() {
  if (!host_.stopRequested()) {
    stopNoted_ = false;
    return false;
  }
  if (!stopNoted_) {
    stopNoted_ = true;
    ShowPageMessage(0, controlText(session_.language(), ControlText::kStopped));
    closePort();
  }
  return true;
}

// The pause is slept in slices with the window's events between them, so
// that Stop and the window stay live under a long pacing; the sum of the
// slices is the pause, so the pacing on the wire is unchanged. A stop waits
// for the end of the frame.
void Link::pacingPause(std::uint32_t ms) {
  while (ms > 0) {
    host_.processEvents();
    const auto longest = static_cast<std::uint32_t>(host_.waitSliceMs());
    const std::uint32_t slice = ms < longest ? ms : longest;
    clock_.sleepMs(slice);
    ms -= slice;
  }
}

void Link::countBytes(std::size_t bytes) {
  if (progress_.started() && bytes > 0) progress_.addBytes(bytes, clock_.tickMs());
}

void Link::beginProgress(ProgressUnit unit, long total) {
  progress_.start(unit, total, clock_.tickMs());
  host_.showTransferProgress(progress_.snapshot(clock_.tickMs()));
}

void Link::setProgress(long done) {
  if (!progress_.started()) return;
  progress_.setDone(done, clock_.tickMs());
  host_.showTransferProgress(progress_.snapshot(clock_.tickMs()));
}

void Link::endProgress() {
  if (!progress_.started()) return;
  progress_.reset();
  host_.endTransferProgress();
}

}  // namespace qxr
