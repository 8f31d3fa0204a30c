// The fixed test sequences behind the hidden buttons.
#include "link/testsequences.h"

#include <cstdio>
#include <string>

#include "link/comm.h"

namespace qxr {

namespace {

constexpr int kTestReplyLength = 75;
constexpr int kTestDeviceReplyLength = 180;
constexpr std::uint32_t kTestDevicePauseMs = 250;
constexpr int kAcknowledgeRounds = 109;

std::string stx(std::string_view text) {
  std::string frame(1, frames::STX);
  frame += text;
  frame += frames::ETX;
  return frame;
}

void programPageLine(Link& link, std::string_view line) { link.host().appendPageLine(kProgramPage, line); }

// Identification and the device requests, each answered within 5 s.
void identificationSequence(Link& link) {
  link.ConnectRS232();
  if (!link.portOpen()) return;  // reported (102); every wait would only run out
  for (const char* request : {"LON", "QXR", "VER", "APR", "MRD", "BLW", "N3", "BLR"}) {
    link.TransStr(stx(request));
    programPageLine(link, link.session().msg(msg::kCommunicating));
    link.ReceiveStr(kTestReplyLength, 1);
  }
  link.TransStr(frames::kLinkOff);
  link.ReceiveStr(kTestReplyLength, 1);
  link.closePort();
}

// The line-oriented test device: read, write, read back.
void testDeviceSequence(Link& link) {
  link.ConnectRS232();
  if (!link.portOpen()) return;  // reported (102); every wait would only run out
  link.TransCSBLStr("RI\r\n");
  link.DelayMs(kTestDevicePauseMs);
  link.ReceiveCSBLStr(kTestReplyLength, 1);
  link.TransCSBLStr("WT01123456789ABCDEF123456789\r\n");
  link.DelayMs(kTestDevicePauseMs);
  link.TransCSBLStr("RD\r\n");
  link.DelayMs(kTestDevicePauseMs);
  link.ReceiveCSBLStr(kTestReplyLength, 1);
  link.closePort();
}

// The 7E1 device: acknowledge rounds, an enquiry and a checksummed request.
void acknowledgeSequence(Link& link) {
  TThreadComm& port = link.port();
  if (port.Enabled()) port.Close();
  if (!port.Enabled()) {
    const std::string name = Link::PortName(link.host().selectedPortIndex());
    port.SetDeviceName(name);
    port.SetBaudRate(br9600);
    port.SetDataBits(da7);
    port.SetParity(paEven);
    port.SetStopBits(sb10);
    port.Open();
    if (port.Enabled()) {
      link.ShowPageMessage(msg::kPortOpened, name);
      port.SetRTSState(true);
      port.SetDTRState(true);
    } else {
      port.Close();
      link.ShowPageMessage(msg::kPortNotOpened, name);
    }
  }
  if (!port.Enabled()) return;
  link.testTimeoutMs = 5000;
  const std::string ack(1, frames::ACK);
  for (int round = 0; round < kAcknowledgeRounds; ++round) {
    link.TransCSBLStr(ack);
    link.ReceiveCSBLStr(kTestDeviceReplyLength, 1);
  }
  link.testTimeoutMs = 300;
  link.TransCSBLStr(std::string(1, frames::ENQ));
  link.ReceiveCSBLStr(kTestDeviceReplyLength, 1);
  std::string request = "0125C02";
  request += frames::ETX;
  AppendSumChecksum(request);
  request.insert(request.begin(), frames::STX);
  link.TransCSBLStr(request);
  link.ReceiveCSBLStr(kTestDeviceReplyLength, 1);
  link.closePort();
}

// Link-on with every byte of the reply listed.
void linkOnListing(Link& link) {
  link.ConnectRS232();
  if (!link.portOpen()) return;  // reported (102); every wait would only run out
  link.TransStr(frames::kLinkOn);
  link.ReceiveStr(kTestReplyLength, 1);
  const std::string reply(link.reply());
  for (std::size_t i = 0; i < reply.size(); ++i) {
    const auto byte = static_cast<unsigned char>(reply[i]);
    char line[32];
    std::snprintf(line, sizeof line, "(I%d)%c=%d", static_cast<int>(i + 1), byte, byte);
    programPageLine(link, line);
  }
  link.TransStr(frames::kLinkOff);
  if (link.ReceiveFromQXR(kTestReplyLength, 1) && link.portOpen()) link.closePort();
}

// Listens, then sends STX "0" ETX in bursts.
void zeroFrameSequence(Link& link) {
  link.ConnectRS232();
  if (!link.portOpen()) return;  // reported (102); every wait would only run out
  const std::string zero = stx("0");
  link.ReceiveStr(kTestReplyLength, 0);
  programPageLine(link, link.reply());
  for (int i = 0; i < 4; ++i) link.TransStr(zero);
  link.ReceiveStr(kTestReplyLength, 0);
  programPageLine(link, link.reply());
  link.TransStr(zero);
  link.ReceiveStr(kTestReplyLength, 0);
  programPageLine(link, link.reply());
  link.TransStr(zero);
  link.closePort();
}

}  // namespace

void RunTestButton(Link& link, int button) {
  switch (button) {
    case 2: identificationSequence(link); break;
    case 3: testDeviceSequence(link); break;
    case 4: acknowledgeSequence(link); break;
    case 5: linkOnListing(link); break;
    case 6: zeroFrameSequence(link); break;
    default: break;  // Button1 does nothing
  }
}

}  // namespace qxr
