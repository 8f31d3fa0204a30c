#pragma once
// The exchanges with the controller: sending frames, waiting for replies,
// the page reports, opening the selected port.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/host.h"
#include "base/progress.h"
#include "base/session.h"
#include "link/frames.h"
#include "link/hexrecord.h"

namespace qxr {

class TThreadComm;

inline constexpr std::size_t kReceiveBufferSize = 255;

// Every reply of a controller has one shape: the protocol's own control bytes
// (SOH, STX, ACK, BEL, NAK) may lead it, text (TAB, printable and code-page
// bytes) follows, NUL bytes may pad the text, and LF (after any run of CRs)
// or ETX ends it; a reply cut at its maximum length has no end yet, and may
// stop amid the CRs of one (but not in a NUL padding, which more text may
// follow). The position of the first byte out of place, or npos: any other
// control byte, a NUL followed by more text, or a control byte amid the text,
// is line noise. With `normal`, a reply in shape is also written there as the
// exchanges read it: the padding cut, a line end as CR LF.
std::size_t replyNoiseAt(std::string_view reply, bool cut, std::string* normal = nullptr);

// The frames that only the PC ever sends: look-up, store, delete, the
// parameter requests, the acknowledge line, link-on, the sequence frames and
// link-off. A controller may answer with the attention frame, the deleted
// frame, the end-of-data record or any data (a name, a line, a number).
bool isPcOnlyFrame(std::string_view frame);
// True when `reply` is the echo of one of `sent`, the frames written for the
// wait under way: equal to one that only the PC sends. Data repeated back (a
// program line, a number, a name, a parameter line) counts as an answer.
bool isEchoOf(std::string_view reply, const std::vector<std::string>& sent);

// How the last wait for a reply ended.
// kUnended: the reply filled its bound without a line end.
enum class WaitEnd { kReply, kTimedOut, kRefused, kNoise, kEcho, kUnended };
// Every operation waits for replies of at most this many bytes.
inline constexpr int kReplyLength = 75;
// The answer to the attention frame is read away up to its line end, however
// long, but never beyond this many bytes (the receive buffer).
inline constexpr int kAttentionDrainLength = 255;

class Link {
 public:
  Link(TThreadComm& port, Session& session, LinkHost& host, Clock& clock);
  ~Link();
  Link(const Link&) = delete;
  Link& operator=(const Link&) = delete;

  // Frames of the line family ("$L" CR LF ...). True when every write succeeded.
  bool TransToQXR(std::string_view frame);
  // Frames of the STX family; the trace also shows the frame as text.
  bool TransStr(std::string_view frame);
  // One reply of at most maxLength bytes, ended by LF or ETX. False on
  // time-out or refusal (report 1: the refusal is reported and the port closed).
  bool ReceiveFromQXR(int maxLength, int report);
  // As ReceiveFromQXR, but a reported refusal only adds catalogue message 122
  // on the program page; no beep, the port stays open.
  bool ReceiveQXRProgNo(int maxLength, int report);
  // One piece of a program line in a receive: as ReceiveFromQXR with
  // reporting, but a piece that fills maxLength without a line end is taken
  // (pieceCut() tells), since the controller's long lines come in pieces.
  bool ReceiveLinePiece(int maxLength);
  // The last wait took a piece cut at its maximum length.
  bool pieceCut() const { return pieceCut_; }
  // The hidden test sequences' waits and sends.
  bool ReceiveStr(int maxLength, int report);
  bool TransCSBLStr(std::string_view frame);
  bool ReceiveCSBLStr(int maxLength, int report);

  // Catalogue message n followed by text (text alone for n = 0) as one line
  // in the message box of the current page.
  void ShowPageMessage(int n, std::string_view text = {});
  // Pause without processing events.
  void DelayMs(std::uint32_t ms);

  // (Re)opens the port selected in the port list with the controller's line
  // settings; the caller checks portOpen() afterwards.
  void ConnectRS232();
  // ConnectRS232 for an operation: false when the port did not open, which
  // ConnectRS232 has reported (message 102); going on would only wait for
  // replies that cannot come.
  bool openSelectedPort();
  // The device name of port list entry `index` (0-based): "COM1" ... "COM9",
  // "\\.\COM10" and up.
  static std::string PortName(int index);
  bool portOpen() const;
  // "Close the port": when it is open, close it and report catalogue message 107.
  void closePort();
  void beep();

  // The last reply as text (up to its first NUL); empty after a failed wait.
  std::string_view reply() const;
  // The number of bytes the last wait stored.
  std::size_t replyLength() const { return received_; }
  // How the last ReceiveFromQXR / ReceiveQXRProgNo ended.
  WaitEnd lastWait() const { return lastWait_; }
  // The last wait met line noise or an echo: nothing on this line answers as
  // a controller, so going on with another program would only meet it again.
  bool lineFault() const {
    return lastWait_ == WaitEnd::kNoise || lastWait_ == WaitEnd::kEcho || lastWait_ == WaitEnd::kUnended;
  }
  // Ends a receive as a failure: reports `text`, beeps, empties the receive
  // buffer and closes the port (reporting 107).
  void failReceive(std::string_view text);

  TThreadComm& port() { return port_; }
  Session& session() { return session_; }
  LinkHost& host() { return host_; }
  Clock& clock() { return clock_; }

  // True when the operator's stop request ends the running transfer. The
  // first call after the request reports it on the page and closes the port
  // as any failure does; every frame and wait after it fails at once.
  bool stopped();
  // A new transfer begins: a stop request from now on is reported again.
  void resetStop() { stopNoted_ = false; }

  // The progress of the running transfer: units done of a total (0 when not
  // known); the bytes both ways are counted here.
  void beginProgress(ProgressUnit unit, long total);
  void setProgress(long done);
  void endProgress();
  const ProgressMeter& progress() const { return progress_; }

  // Bytes written to the port so far (a test follows the line with it).
  std::uint64_t bytesSent() const { return bytesSent_; }

  // The test time-out of ReceiveCSBLStr (1000 ms at start).
  std::uint32_t testTimeoutMs = 1000;

 private:
  enum class SendKind { Line, Stx, TestDevice };
  struct WaitRule {
    bool endsOnLf = true;
    bool endsOnAck = false;
    bool nulAsBlank = false;
    bool idleTimeout = false;  // the time-out restarts with every byte
    std::uint32_t timeoutMs = 1000;
  };
  bool sendFrame(std::string_view frame, SendKind kind);
  // Fills the receive buffer; false on time-out. `complete` tells whether a
  // terminator ended the reply (rather than its length).
  bool collectReply(int maxLength, const WaitRule& rule, bool& complete);
  enum class ReplyKind { kAnswer, kPiece };
  bool receiveLineReply(int maxLength, int report, bool programNumberVariant, ReplyKind kind = ReplyKind::kAnswer);
  // Takes a reply in shape as the exchanges read it; false (reported, port
  // closed) for noise, an echo, or a reply that did not end.
  bool acceptReplyShape(bool complete, bool drain, ReplyKind kind);
  // A pause between paced bytes that keeps the window responsive.
  void pacingPause(std::uint32_t ms);
  void countBytes(std::size_t bytes);

  TThreadComm& port_;
  Session& session_;
  LinkHost& host_;
  Clock& clock_;
  // A reply ended by a bare LF gets its CR: one byte more than came.
  char buffer_[kReceiveBufferSize + 2] = {};
  std::size_t received_ = 0;
  WaitEnd lastWait_ = WaitEnd::kReply;
  bool pieceCut_ = false;
  // What a network port met during the last wait.
  enum class InputFault { kNone, kStrayIac, kFlood };
  InputFault inputFault_ = InputFault::kNone;
  // The frames written since the last wait, for telling an echo from an answer.
  std::vector<std::string> sentSinceWait_;
  std::vector<std::string> sentBeforeWait_;  // those of the wait under way
  bool stopNoted_ = false;
  ProgressMeter progress_;
  std::uint64_t bytesSent_ = 0;
};

// Shows the progress of one transfer and ends it on every way out.
class LinkProgress {
 public:
  LinkProgress(Link& link, ProgressUnit unit, long total) : link_(link) { link_.beginProgress(unit, total); }
  ~LinkProgress() { link_.endProgress(); }
  LinkProgress(const LinkProgress&) = delete;
  LinkProgress& operator=(const LinkProgress&) = delete;

 private:
  Link& link_;
};

}  // namespace qxr
