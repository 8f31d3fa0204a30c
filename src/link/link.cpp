// Placeholder until the exchanges land.
#include "link/link.h"

#include "link/comm.h"

namespace qxr {

Link::Link(TThreadComm& port, Session& session, LinkHost& host, Clock& clock)
    : port_(port), session_(session), host_(host), clock_(clock) {}

bool Link::TransToQXR(std::string_view) { return false; }
bool Link::TransStr(std::string_view) { return false; }
bool Link::ReceiveFromQXR(int, int) { return false; }
bool Link::ReceiveQXRProgNo(int, int) { return false; }
bool Link::ReceiveStr(int, int) { return false; }
bool Link::TransCSBLStr(std::string_view) { return false; }
bool Link::ReceiveCSBLStr(int, int) { return false; }
void Link::ShowPageMessage(int n, std::string_view text) {
  std::string line = n ? session_.msg(n) : std::string();
  line += text;
  host_.appendPageLine(host_.pageIndex(), line);
}
void Link::DelayMs(std::uint32_t ms) { clock_.sleepMs(ms); }
void Link::ConnectRS232() {}
bool Link::portOpen() const { return port_.Enabled(); }
void Link::closePort() {}
void Link::beep() { host_.beep(); }
std::string_view Link::reply() const { return std::string_view(buffer_); }

}  // namespace qxr
