// Placeholder until the termios implementation lands: a port that never opens.
#include "link/comm.h"

namespace qxr {

struct TThreadComm::Impl {};

ECommError::ECommError(const std::string& format, int code) : std::runtime_error(format), code_(code) {}

void TCommEventChars::SetXOnChar(char c) { xon_ = c; changed(); }
void TCommEventChars::SetXOffChar(char c) { xoff_ = c; changed(); }
void TCommEventChars::SetErrorChar(char c) { error_ = c; changed(); }
void TCommEventChars::SetEofChar(char c) { eof_ = c; changed(); }
void TCommEventChars::SetEvtChar(char c) { evt_ = c; changed(); }
void TCommEventChars::Assign(const TCommEventChars& o) { xon_ = o.xon_; xoff_ = o.xoff_; error_ = o.error_; eof_ = o.eof_; evt_ = o.evt_; changed(); }
void TCommEventChars::changed() { if (owner_) owner_->UpdateDataControlBlock(); }

TThreadComm::TThreadComm() = default;
TThreadComm::~TThreadComm() = default;
void TThreadComm::SetDeviceName(const std::string& name) { deviceName_ = name; }
void TThreadComm::SetReadBufSize(std::uint16_t s) { readBufSize_ = s; }
void TThreadComm::SetWriteBufSize(std::uint16_t s) { writeBufSize_ = s; }
void TThreadComm::SetSuspendTime(std::uint32_t ms) { suspendTime_ = ms; }
void TThreadComm::SetMonitorEvents(const TCommEventTypes& e) { monitorEvents_ = e; }
void TThreadComm::SetBaudRate(TBaudRate r) { baudRate_ = r; }
void TThreadComm::SetParity(TParity p) { parity_ = p; }
void TThreadComm::SetStopBits(TStopBits b) { stopBits_ = b; }
void TThreadComm::SetDataBits(TDataBits b) { dataBits_ = b; }
void TThreadComm::SetOptions(const TCommOptions& o) { options_ = o; }
void TThreadComm::Open() {}
void TThreadComm::Close() {}
bool TThreadComm::Enabled() const { return false; }
int TThreadComm::Write(const void*, int) { return -1; }
int TThreadComm::Read(void*, int) { return -1; }
int TThreadComm::InQueCount() { return -1; }
int TThreadComm::OutQueCount() { return -1; }
void TThreadComm::PurgeIn() {}
void TThreadComm::PurgeOut() {}
void TThreadComm::SetDTRState(bool) {}
void TThreadComm::SetRTSState(bool) {}
void TThreadComm::SetXONState(bool) {}
void TThreadComm::SetBREAKState(bool) {}
bool TThreadComm::GetModemState(int) { return false; }
bool TThreadComm::GetComState(int) { return false; }
void TThreadComm::Lock() {}
void TThreadComm::Unlock() {}
bool TThreadComm::WaitForInput(int) { return true; }
void TThreadComm::SetEventPoster(EventPoster) {}
void TThreadComm::DispatchEvent(std::uint32_t) {}
std::string TThreadComm::ResolvedDevicePath() const { return deviceName_; }
void TThreadComm::UpdateDataControlBlock() {}

}  // namespace qxr
