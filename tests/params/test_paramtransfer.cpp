// Sending and reading parameters against the controller emulator, checked
// frame by frame on the wire.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "base/settings.h"
#include "link/comm.h"
#include "link/link.h"
#include "params/paramlist.h"
#include "params/paramtransfer.h"
#include "support/emulator.h"
#include "support/linkrig.h"
#include "support/process.h"
#include "support/fakehost.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;
using test::Emulator;
using test::EmulatorOptions;

const std::string kAck = "\x06\x07\x01\r\n";

class ParameterTransferTest : public ::testing::Test, public test::LinkRig {
 protected:
  ParameterTransferTest() {
    session.settings.transitMode = 1;  // block mode: no pacing
    host.page = kParameterPage;
  }

  Emulator& start(const EmulatorOptions& options = {}) {
    emulator.reset();  // one controller on COM2 at a time
    emulator = std::make_unique<Emulator>(dir, options);
    return *emulator;
  }
  const Lines& messages() const { return lines(kParameterPage); }

  MemoryParameterPage page;
  std::unique_ptr<Emulator> emulator;
};

// A port that does not open ends both operations after its report, without
// waiting for replies that cannot come.
TEST_F(ParameterTransferTest, PortThatDoesNotOpenEndsTheOperationAtOnce) {
  std::filesystem::create_symlink(dir.file("unplugged"), dir.file("COM2"));
  page.lines = {"Speed(12)=300"};
  EXPECT_FALSE(sendParameters(operationParts(link), page));
  EXPECT_FALSE(receiveParameters(operationParts(link), page, {}));
  const std::string line = test::unopenedPortLine(dir, "COM2", "unplugged");
  EXPECT_EQ(messages(), (Lines{line, line}));
  EXPECT_EQ(page.lines, Lines{"Speed(12)=300"});
}

TEST_F(ParameterTransferTest, SendWritesEachLineAndStopsAtAMalformedOneOrARefusal) {
  EmulatorOptions options;
  options.refuse = {"13=*"};
  Emulator& controller = start(options);
  page.lines = {"/ spindle set-up", "Speed(12)=300", "A(14)=3=4", "B(15)=x", "C(1 6)=5"};
  EXPECT_TRUE(sendParameters(operationParts(link), page));
  EXPECT_EQ(controller.framesIn(), (Lines{"$%\r\n", "$R\r\n", "12=300\r\n", "14=4\r\n", "15=0\r\n", "1 6=5\r\n"}));
  EXPECT_EQ(controller.storedParameters(), "12=300\r\n14=4\r\n15=0\r\n1 6=5\r\n");
  EXPECT_EQ(messages(), (Lines{"#101COM2", "#144", "/ spindle set-up...Skip...", "Speed(12)=300", "A(14)=3=4",
                               "B(15)=x", "C(1 6)=5", "#146", "#107"}));
  EXPECT_EQ(host.questions, Lines{"#143"});
  EXPECT_EQ(host.beeps, 1);
  EXPECT_FALSE(port.Enabled());

  host.clearLines();
  // A line of no form refuses the whole text before the port opens, named.
  page.lines = {"A(11)=1", "", "B(12)=2"};
  EXPECT_FALSE(sendParameters(operationParts(link), page));
  EXPECT_EQ(controller.framesIn().back(), "1 6=5\r\n");
  ASSERT_EQ(messages().size(), 1u);
  EXPECT_EQ(messages()[0].rfind("第 2 行", 0), 0u) << messages()[0];

  host.clearLines();
  page.lines = {"B(13)=2", "C(14)=3"};  // the controller refuses parameter 13
  EXPECT_FALSE(sendParameters(operationParts(link), page));
  EXPECT_EQ(controller.framesIn().back(), "13=2\r\n");
  EXPECT_EQ(messages(), (Lines{"#101COM2", "#144", "B(13)=2", "#142", "#107", "#146"}));
}

TEST_F(ParameterTransferTest, NothingIsSentWithoutLinesOrConsent) {
  Emulator& controller = start();
  EXPECT_FALSE(sendParameters(operationParts(link), page));
  host.defaultAnswer = false;
  page.lines = {"A(1)=1"};
  EXPECT_FALSE(sendParameters(operationParts(link), page));
  EXPECT_EQ(messages(), Lines{"#141"});
  EXPECT_EQ(host.questions, Lines{"#143"});
  EXPECT_TRUE(controller.framesIn().empty());
}

TEST_F(ParameterTransferTest, ReceiveReadsTheCheckedEntriesInListOrder) {
  EmulatorOptions options;
  options.parameters = "12=300\r\n101=5000\r\n7=-2\r\n";
  Emulator& controller = start(options);
  const ParameterEntries list = {{"Speed", 12}, {"Rapid", 101}, {"Unset", 9}, {"Offset", 7}};
  page.lines = {"old line"};
  page.checked = {0, 2, 3};
  EXPECT_TRUE(receiveParameters(operationParts(link), page, list));
  EXPECT_EQ(controller.framesIn(), (Lines{"$%\r\n", "$P\r\n", "12\r\n", kAck, "9\r\n", kAck, "7\r\n", kAck}));
  EXPECT_EQ(page.lines, (Lines{"Speed(12)=300", "Unset(9)=0", "Offset(7)=-2"}));
  EXPECT_EQ(messages(), (Lines{"#101COM2", "#147", "#148", "#107"}));

  page.checked.clear();  // nothing checked: the request alone
  EXPECT_TRUE(receiveParameters(operationParts(link), page, list));
  EXPECT_EQ(controller.framesIn().size(), 10u);
  EXPECT_TRUE(page.lines.empty());
}

// A value beyond the controller's 32 bits is not obtained: listed with
// "XXXXXX", kept out of the editor, and the read goes on with the next one.
TEST_F(ParameterTransferTest, ValuesBeyond32BitsAreNotObtained) {
  EmulatorOptions options;
  options.parameters = "12=300\r\n13=99999999999\r\n14=-2147483649\r\n15=-2147483648\r\n";
  start(options);
  const ParameterEntries list = {{"Speed", 12}, {"Feed", 13}, {"Low", 14}, {"Lowest", 15}};
  page.checked = {0, 1, 2, 3};
  EXPECT_FALSE(receiveParameters(operationParts(link), page, list));
  EXPECT_EQ(page.lines, (Lines{"Speed(12)=300", "Lowest(15)=-2147483648"}));
  EXPECT_EQ(messages(), (Lines{"#101COM2", "#147", "Feed(13)=XXXXXX", "Low(14)=XXXXXX", "#148", "#107"}));
}

TEST_F(ParameterTransferTest, AFailedValueEndsTheRead) {
  // Refused: parameter 101. Then silent after the request and one parameter
  // (the one case here that waits for the time-out).
  const ParameterEntries list = {{"Speed", 12}, {"Rapid", 101}, {"Unset", 9}};
  page.checked = {0, 1, 2};
  for (const bool silent : {false, true}) {
    EmulatorOptions options;
    options.parameters = "12=300\r\n";
    if (silent) options.silentAfter = 5;
    else options.refuse = {"101"};
    Emulator& controller = start(options);
    host.clearLines();
    EXPECT_FALSE(receiveParameters(operationParts(link), page, list));
    EXPECT_EQ(page.lines, Lines{"Speed(12)=300"});
    // One failure only: the remaining entries are not asked for.
    EXPECT_EQ(controller.framesIn().size(), silent ? 6u : 5u);
    EXPECT_EQ(messages(), (Lines{"#101COM2", "#147", silent ? "#103" : "#142", "#107", "Rapid(101)=XXXXXX", "#148"}));
    EXPECT_FALSE(port.Enabled());
  }
}

// The command line: a full read into a file, sent back frame for frame.
TEST_F(ParameterTransferTest, ToolReceivesAllAndSendsTheFileBack) {
  QXR_REQUIRE_TOOL("qxrtool");
  for (const char* name : {"102ParSDE.txt", "202ParSDE.txt", "Q202AddE.Ini"}) {
    std::ifstream in(test::dataDir() + name, std::ios::binary);
    dir.write(name, std::string(std::istreambuf_iterator<char>(in), {}));
  }
  dir.write("Customer.ini", "Language=1\r\nBaud=4\r\n");
  Settings fast;
  fast.transitMode = 1;  // block mode: no pause after every byte
  dir.write("Init.ini", formatInitIni(fast));
  ParameterCatalogue catalogue;
  catalogue.loadAdditionalLists(dir.dir(), 1);
  std::string held;
  for (const auto& entry : catalogue.build(dir.dir(), 1, 0, 1))
    held += std::to_string(entry.number) + "=" + std::to_string(entry.number + 7) + "\r\n";
  EmulatorOptions options;
  options.model = 202;
  options.parameters = held;
  Emulator& controller = start(options);

  const std::string tool = test::toolCommand("qxrtool") + " --dir " + dir.dir() + " --port COM2 --yes ";
  const auto run = test::runShell;
  auto [received, receiveOutput] = run(tool + "param receive -o " + dir.file("all.par") + " --model QXR202 --all");
  ASSERT_EQ(received, 0) << receiveOutput;
  const std::size_t before = controller.framesIn().size();
  auto [sent, sendOutput] = run(tool + "param send " + dir.file("all.par"));
  ASSERT_EQ(sent, 0) << sendOutput;
  const Lines frames = controller.framesIn();
  std::string sentBack;
  for (auto frame = frames.begin() + static_cast<long>(before) + 2; frame != frames.end(); ++frame) sentBack += *frame;
  EXPECT_EQ(sentBack, held);

  EXPECT_EQ(run(tool + "param receive -o x.par --all NAME").code, 2);
  EXPECT_EQ(run(tool + "param receive -o x.par --model QXR999 --all").code, 2);
  EXPECT_EQ(run(tool + "param send " + dir.file("missing.par")).code, 1);
}

}  // namespace
}  // namespace qxr
