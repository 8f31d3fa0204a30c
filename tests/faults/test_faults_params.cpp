// The fault matrix of the parameter transfers: send and receive on the page,
// and a receive by qxrtool into a parameter file that exists already.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <filesystem>

#include "base/settings.h"
#include "faults/faultrig.h"
#include "params/paramtransfer.h"

namespace qxr {
namespace {

using test::Fault;
using test::FaultKind;
using test::Lines;
using test::Rig;

const Lines kSendLines = {"Speed(12)=300", "/ spindle", "Rapid(101)=5", "Feed(7)=40"};
const std::string kHeld = "12=1\r\n101=2\r\n7=3\r\n";
const std::string kSent = "12=300\r\n101=5\r\n7=40\r\n";

using SendRow = test::Row<MemoryParameterPage>;

SendRow sendRow() {
  SendRow row;
  row.operation = "parameter send";
  row.page = kParameterPage;
  row.refusal = "#142";
  row.options.parameters = kHeld;
  row.setUp = [](Rig&, MemoryParameterPage& page) { page.lines = kSendLines; };
  row.run = [](Rig& rig, MemoryParameterPage& page) { return sendParameters(operationParts(rig.link), page); };
  row.check = [](Rig& rig, MemoryParameterPage& page, bool result) {
    EXPECT_EQ(page.lines, kSendLines);
    const std::string held = rig.emulator->storedParameters();
    if (result) {
      EXPECT_EQ(held, kSent) << "success reported for parameters not written";
      EXPECT_EQ(rig.messages().back(), "#107");
    }
    // Once the lines were being sent, the end of the send is reported.
    if (rig.hasMessage("Speed(12)=300")) {
      EXPECT_TRUE(rig.hasMessage("#146"));
    }
    int written = 0;
    for (const char* line : {"12=300\r\n", "101=5\r\n", "7=40\r\n"}) written += held.find(line) != std::string::npos;
    return "controller: " + std::to_string(written) + " of 3 written";
  };
  return row;
}

struct ReceivePage : MemoryParameterPage {
  ParameterEntries list = {{"Speed", 12}, {"Rapid", 101}, {"Feed", 7}};
};
using ReceiveRow = test::Row<ReceivePage>;
const Lines kReceived = {"Speed(12)=300", "Rapid(101)=5", "Feed(7)=40"};

ReceiveRow receiveRow() {
  ReceiveRow row;
  row.operation = "parameter receive";
  row.page = kParameterPage;
  row.refusal = "#142";
  row.options.parameters = kSent;
  row.setUp = [](Rig&, ReceivePage& page) {
    page.lines = {"Old(1)=1"};
    page.checked = {0, 1, 2};
  };
  row.run = [](Rig& rig, ReceivePage& page) { return receiveParameters(operationParts(rig.link), page, page.list); };
  row.check = [](Rig& rig, ReceivePage& page, bool result) {
    if (result) {
      EXPECT_EQ(page.lines, kReceived);
      EXPECT_TRUE(rig.hasMessage("#148"));
    }
    // What it had, or only values that arrived as the controller holds them.
    const bool kept = page.lines == Lines{"Old(1)=1"};
    std::size_t good = 0;
    for (const std::string& line : page.lines)
      good += std::find(kReceived.begin(), kReceived.end(), line) != kReceived.end();
    if (rig.fault.kind != FaultKind::kGarbage && rig.fault.kind != FaultKind::kOverlong) {
      EXPECT_TRUE(kept || good == page.lines.size()) << "a value that is not the controller's";
    }
    // A value asked for and not obtained is named.
    if (!result && !kept && page.lines.size() < 3) {
      EXPECT_TRUE(rig.hasMessage(kReceived[page.lines.size()].substr(0, kReceived[page.lines.size()].find('=') + 1) +
                                 "XXXXXX"));
    }
    if (kept) return std::string("memo: kept");
    std::string shown = "memo: " + std::to_string(page.lines.size()) + " values";
    if (good != page.lines.size()) shown += ", " + std::to_string(page.lines.size() - good) + " not the controller's";
    return shown;
  };
  return row;
}

TEST(ParameterSendFaults, SilenceAndRefusalAtEveryStep) { sendRow().runAlong({FaultKind::kSilent, FaultKind::kRefuse}); }
TEST(ParameterSendFaults, HangUpUnplugGarbageOverlongAndAHeldPort) {
  const auto row = sendRow();
  row.runAlong({FaultKind::kHangup, FaultKind::kUnplug});
  row.runCells(test::lineFaults());
}
TEST(ParameterReceiveFaults, SilenceAndRefusalAtEveryStep) { receiveRow().runAlong({FaultKind::kSilent, FaultKind::kRefuse}); }
TEST(ParameterReceiveFaults, HangUpUnplugGarbageOverlongAndAHeldPort) {
  const auto row = receiveRow();
  row.runAlong({FaultKind::kHangup, FaultKind::kUnplug});
  row.runCells(test::lineFaults());
}

TEST(ParameterReceiveFaults, NoiseNulAndEcho) { receiveRow().runCells(test::replyFaults({4, 6}, 4)); }
TEST(ParameterSendFaults, EchoAndNoise) { sendRow().runCells({{FaultKind::kEcho, 0}, {FaultKind::kNoise, 0}}); }

// qxrtool param receive -o FILE.par over an existing FILE.par.
const test::ToolCell kToolReceive = {
    "qxrtool param receive", kParameterPage, "values.par", "Serial baud rate [1: 1200 ... 5: 19200](1)=9\r\n",
    "Serial baud rate [1: 1200 ... 5: 19200](1)=4\r\nSerial time-out [ms](2)=1000\r\n",
    [] {
      test::EmulatorOptions options;
      options.parameters = "1=4\r\n2=1000\r\n";
      return options;
    }(),
    {"param", "receive", "-o", "FILE", "--model", "QXR102", "--version", "SD", "1", "2"}};
long toolCell(const Fault& fault) { return kToolReceive.run(fault); }

TEST(ParameterFileFaults, QxrtoolAfterSilenceAndUnplugging) {
  QXR_REQUIRE_TOOL("qxrtool");
  for (const Fault& fault : test::only(test::faultsAlong(toolCell({})), {FaultKind::kSilent, FaultKind::kUnplug}))
    toolCell(fault);
}
TEST(ParameterFileFaults, QxrtoolAfterRefusalHangUpGarbageOverlongAndAHeldPort) {
  QXR_REQUIRE_TOOL("qxrtool");
  for (const Fault& fault : test::only(test::faultsAlong(toolCell({})), {FaultKind::kRefuse, FaultKind::kHangup}))
    toolCell(fault);
  for (const Fault& fault : test::lineFaults()) toolCell(fault);
}
TEST(ParameterFileFaults, QxrtoolAfterNoiseNulAndEcho) {
  QXR_REQUIRE_TOOL("qxrtool");
  for (const Fault& fault : test::replyFaults({4}, 6)) toolCell(fault);
}

}  // namespace
}  // namespace qxr
