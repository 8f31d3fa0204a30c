#pragma once
// The serial port component: one termios device, its line settings, blocking
// one-byte reads and writes for the exchanges, and an event thread that waits
// for line events and hands them to the user-interface thread.
#include <cstdint>
#include <functional>
#include <memory>
#include <chrono>
#include <mutex>
#include <set>
#include <stdexcept>
#include <string>
#include <thread>

namespace qxr {

struct NetLine;

enum TBaudRate {
  br110, br300, br600, br1200, br2400, br4800, br9600, br14400, br19200,
  br38400, br56000, br57600, br115200, br128000, br256000
};
enum TParity { paNone, paOdd, paEven, paMark, paSpace };
enum TStopBits { sb10, sb15, sb20 };
enum TDataBits { da4, da5, da6, da7, da8 };
enum TFlowControl { fcNone, fcCTS, fcDTR, fcSoftware, fcDefault };
enum TCommOption { coParityCheck, coDsrSensitivity, coIgnoreXOff, coErrorChar, coNullStrip };
enum TCommEventType { evBreak, evCts, evDsr, evError, evRing, evRlsd, evRxChar, evRxFlag, evTxEmpty };

using TCommOptions = std::set<TCommOption>;
using TCommEventTypes = std::set<TCommEventType>;

// Event mask bits as the events are numbered (EV_BREAK ... EV_TXEMPTY order).
inline constexpr std::uint32_t kAllCommEvents = 0x1FF;

// The bit of each event in an event mask (the values the masks have always had).
inline constexpr std::uint32_t kEvRxChar = 0x0001, kEvRxFlag = 0x0002, kEvTxEmpty = 0x0004,
                               kEvCts = 0x0008, kEvDsr = 0x0010, kEvRlsd = 0x0020,
                               kEvBreak = 0x0040, kEvError = 0x0080, kEvRing = 0x0100;
std::uint32_t commEventBit(TCommEventType event);

// Error flags handed to OnError (line errors since the last dispatch).
inline constexpr std::uint32_t kCeRxOver = 0x0001, kCeOverrun = 0x0002, kCeRxParity = 0x0004,
                               kCeFrame = 0x0008, kCeBreak = 0x0010;

// A one-byte read waits at most this long for a byte.
inline constexpr int kReadTimeoutMs = 1000;
// A blocking call looks at the stop check this often.
inline constexpr int kStopCheckSliceMs = 20;

// The component's errors: texts ending in "(Error: %d)".
class ECommError : public std::runtime_error {
 public:
  ECommError(const std::string& format, int code);
  int code() const { return code_; }

 private:
  int code_;
};

class TThreadComm;

// The special characters of a port; changing one re-applies the settings of
// the owning port.
class TCommEventChars {
 public:
  explicit TCommEventChars(TThreadComm* owner) : owner_(owner) {}
  char XOnChar() const { return xon_; }
  char XOffChar() const { return xoff_; }
  char ErrorChar() const { return error_; }
  char EofChar() const { return eof_; }
  char EvtChar() const { return evt_; }
  void SetXOnChar(char c);
  void SetXOffChar(char c);
  void SetErrorChar(char c);
  void SetEofChar(char c);
  void SetEvtChar(char c);
  void Assign(const TCommEventChars& other);

 private:
  void changed();
  TThreadComm* owner_;
  char xon_ = 0x11, xoff_ = 0x13, error_ = 0, eof_ = 0, evt_ = 0;
};

// Handlers run on the thread that calls DispatchPendingEvents (the UI thread).
struct TCommEvents {
  std::function<void(TThreadComm&)> OnBreak, OnCts, OnDsr, OnRing, OnRlsd, OnRxFlag, OnTxEmpty;
  std::function<void(TThreadComm&, std::uint32_t errors)> OnError;
  std::function<void(TThreadComm&, int inQueue)> OnRxChar;
  std::function<void(TThreadComm&, std::uint32_t mask, std::uint32_t status, int inQueue, int outQueue)>
      OnComStatEvent;
};

class TThreadComm {
 public:
  // Called from the event thread with each event mask; the host posts it to
  // its UI thread, which then calls DispatchEvent(mask). No Qt here. The
  // poster must not block (Close joins the thread) and must not outlive the
  // port: post with a context object that dies with it.
  using EventPoster = std::function<void(std::uint32_t mask)>;

  TThreadComm();
  virtual ~TThreadComm();
  TThreadComm(const TThreadComm&) = delete;
  TThreadComm& operator=(const TThreadComm&) = delete;

  // A port named "rfc2217://HOST:PORT" or "tcp://HOST:PORT" (or a COMn entry
  // bound to one in the port directory) is a connection to a serial device
  // server; Open gives up on it after this long.
  std::uint32_t ConnectTimeout() const { return connectTimeout_; }
  void SetConnectTimeout(std::uint32_t ms) { connectTimeout_ = ms; }
  // Why the last Open failed, in the operator's language (not found, no
  // permission, held by which program, not a serial device, or the network
  // reason); empty when it did not fail.
  std::string OpenFailureText(int language) const;
  // The local device the last failed Open tried (the port name resolved and
  // its links followed); empty for a network port or when it did not fail.
  std::string OpenFailureDevice() const;

  // Where "COMn" names are looked up before /dev/ttyS(n-1).
  void SetPortDirectory(const std::string& dir) { portDirectory_ = dir; }
  const std::string& PortDirectory() const { return portDirectory_; }

  // --- properties ---
  const std::string& DeviceName() const { return deviceName_; }
  void SetDeviceName(const std::string& name);
  std::uint32_t ReadTimeout() const { return readTimeout_; }
  void SetReadTimeout(std::uint32_t ms) { readTimeout_ = ms; }
  std::uint32_t WriteTimeout() const { return writeTimeout_; }
  void SetWriteTimeout(std::uint32_t ms) { writeTimeout_ = ms; }
  std::uint16_t ReadBufSize() const { return readBufSize_; }
  void SetReadBufSize(std::uint16_t size);
  std::uint16_t WriteBufSize() const { return writeBufSize_; }
  void SetWriteBufSize(std::uint16_t size);
  std::uint32_t SuspendTime() const { return suspendTime_; }
  void SetSuspendTime(std::uint32_t ms);
  const TCommEventTypes& MonitorEvents() const { return monitorEvents_; }
  void SetMonitorEvents(const TCommEventTypes& events);
  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate rate);
  TParity Parity() const { return parity_; }
  void SetParity(TParity parity);
  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits bits);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits bits);
  TCommEventChars& EventChars() { return eventChars_; }
  const TCommOptions& Options() const { return options_; }
  void SetOptions(const TCommOptions& options);
  TFlowControl FlowControl() const { return flowControl_; }
  void SetFlowControl(TFlowControl flow) { flowControl_ = flow; }

  TCommEvents Events;

  // --- operations ---
  void Open();
  void Close();
  bool Enabled() const;
  int Write(const void* data, int count);
  int Read(void* buffer, int count);
  int InQueCount();
  int OutQueCount();
  void PurgeIn();
  void PurgeOut();
  void SetDTRState(bool on);
  void SetRTSState(bool on);
  void SetXONState(bool on);
  void SetBREAKState(bool on);
  bool GetModemState(int kind);
  bool GetComState(int kind);
  void Lock();
  void Unlock();

  // Waits up to `ms` for input without holding the port lock, so a waiting
  // exchange can keep the window responsive between short waits. True when
  // a byte is ready (or the port is closed: Read then reports it).
  bool WaitForInput(int ms);

  // Asked in short slices while a call blocks (a write the peer does not
  // take, a network connection or its negotiation): true ends the call at
  // once, as a write that did not finish or a port that did not open.
  using StopCheck = std::function<bool()>;
  void SetStopCheck(StopCheck check);
  // True when the last blocking call ended because the stop check said so.
  bool StoppedByCheck() const { return stoppedByCheck_; }
  // Bytes Read has returned since the port was made: none means that
  // nothing on the line ever answered.
  std::uint64_t BytesRead() const { return bytesRead_; }
  // A network port took in more than it may hold without the PC reading it
  // (a peer that floods the line); a terminal's queue is the driver's own.
  bool InputOverflowed() const;
  // A network port met an IAC that starts no Telnet command among the data.
  bool InputStrayIac() const;

  // The event thread's hand-over.
  void SetEventPoster(EventPoster poster);
  void DispatchEvent(std::uint32_t mask);

  // The device path a port name resolves to (see portname.h).
  std::string ResolvedDevicePath() const;

  // Re-applies the line settings (used by TCommEventChars).
  void UpdateDataControlBlock();

 protected:
  struct Impl;
  void startEventThread();
  void openNetwork(const std::string& address);
  NetLine networkLine() const;
  int writeNetwork(const void* data, int count, std::chrono::steady_clock::time_point deadline);
  int readNetwork(void* buffer, int count, std::chrono::steady_clock::time_point deadline);
  bool waitForNetworkInput(int ms);
  void networkControl(unsigned char value);
  std::unique_ptr<Impl> impl_;
  // The stop check, asked at most every kStopCheckSliceMs.
  bool stopDue();
  StopCheck stopCheck_;
  bool stoppedByCheck_ = false;
  std::uint64_t bytesRead_ = 0;

 private:
  std::string portDirectory_;
  std::string deviceName_ = "Com2";
  std::uint32_t readTimeout_ = 1000;
  std::uint32_t connectTimeout_ = 1000;
  std::uint32_t writeTimeout_ = 1000;
  std::uint16_t readBufSize_ = 4096;
  std::uint16_t writeBufSize_ = 2048;
  std::uint32_t suspendTime_ = 5;
  TCommEventTypes monitorEvents_ = {evBreak, evCts,  evDsr,    evError,  evRing,
                                    evRlsd,  evRxChar, evRxFlag, evTxEmpty};
  TBaudRate baudRate_ = br9600;
  TParity parity_ = paNone;
  TStopBits stopBits_ = sb10;
  TDataBits dataBits_ = da8;
  TCommEventChars eventChars_{this};
  TCommOptions options_;
  TFlowControl flowControl_ = fcDefault;
};

// The name placed on forms; it adds nothing.
class TComm : public TThreadComm {};

}  // namespace qxr
