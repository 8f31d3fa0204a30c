// Replies at the edges of what a controller may send. Each operation runs
// against controllers that answer within the protocol in their own way
// (the attention frame answered with the acknowledge line, lines ended by
// CR CR LF or padded with NUL bytes, data repeated back as consent, program
// lines longer than one reply), and must succeed with the right result; and
// against a controller whose replies never end, where it must fail. Over a
// local port and both network transports.
#include <gtest/gtest.h>

#include <filesystem>

#include "faults/faultrig.h"
#include "link/linktexts.h"
#include "nc/multiple.h"
#include "nc/ncops.h"
#include "params/paramtransfer.h"

namespace qxr {
namespace {

using test::Lines;
using test::Rig;
using test::Transport;

// Program 7 holds a line longer than one reply: it comes in two pieces.
const std::string kLongText = "G01 X" + std::string(100, '1') + " Y2";
const std::string kHeld7 = "7\r\nPART1\r\nN1 G00 X0\r\nN2 " + kLongText + "\r\nN3 M30\r\n";
const Lines kHeld7Lines = {"G00 X0", kLongText, "M30"};
const std::string kProgram3 = "3\r\nTHREE\r\nN1 G00\r\nN2 M30\r\n";
const std::string kProgram5 = "5\r\nFIVE\r\nN1 X5\r\n";
const Lines kSendLines = {"G00 X0", "G01 X5", "M30"};
const std::string kSent7 = "7\r\nPART1\r\nN1 G00 X0\r\nN2 G01 X5\r\nN3 M30\r\n";
const std::string kParametersHeld = "12=1\r\n101=2\r\n";
const std::string kParametersSent = "12=300\r\n101=5\r\n";

struct Operation {
  const char* name;
  int page;
  // Runs the operation and checks what a success left; its result.
  std::function<bool(Rig&)> run;
};

const Operation kOperations[] = {
    {"send", kProgramPage,
     [](Rig& rig) {
       MemoryNcPage page;
       page.lines = kSendLines;
       page.number = 7;
       page.name = "PART1";
       const bool ok = NcOperations(operationParts(rig.link), page).send();
       if (ok) EXPECT_EQ(rig.emulator->storedProgram(7), kSent7);
       return ok;
     }},
    {"receive", kProgramPage,
     [](Rig& rig) {
       MemoryNcPage page;
       page.number = 7;
       const bool ok = NcOperations(operationParts(rig.link), page).receive();
       if (ok) {
         EXPECT_EQ(page.lines, kHeld7Lines);
         EXPECT_EQ(page.name, "PART1");
       }
       return ok;
     }},
    {"read many", kProgramPage,
     [](Rig& rig) {
       MemoryNcPage page;
       MultipleChoice choice;
       choice.mode = kBatchReadMany;
       choice.programs[2] = choice.programs[4] = true;
       choice.directory = rig.dir.file("out");
       std::filesystem::create_directory(choice.directory);
       const bool ok = NcOperations(operationParts(rig.link), page).readMany(choice);
       if (ok) {
         EXPECT_EQ(rig.dir.read("out/L03.NC"), kProgram3);
         EXPECT_EQ(rig.dir.read("out/L05.NC"), kProgram5);
       }
       return ok;
     }},
    {"parameter send", kParameterPage,
     [](Rig& rig) {
       MemoryParameterPage page;
       page.lines = {"Speed(12)=300", "Rapid(101)=5"};
       const bool ok = sendParameters(operationParts(rig.link), page);
       if (ok) EXPECT_EQ(rig.emulator->storedParameters(), kParametersSent);
       return ok;
     }},
    {"parameter receive", kParameterPage,
     [](Rig& rig) {
       MemoryParameterPage page;
       page.checked = {0, 1};
       const bool ok = receiveParameters(operationParts(rig.link), page, {{"Speed", 12}, {"Rapid", 101}});
       if (ok) EXPECT_EQ(page.lines, (Lines{"Speed(12)=1", "Rapid(101)=2"}));
       return ok;
     }},
};

test::EmulatorOptions controllerHolding(std::vector<std::string> behaviour) {
  test::EmulatorOptions options;
  options.programs[7] = kHeld7;
  options.programs[3] = kProgram3;
  options.programs[5] = kProgram5;
  options.parameters = kParametersHeld;
  options.extraArgs = std::move(behaviour);
  return options;
}

std::string describe(const Rig& rig) {
  std::string text;
  for (const std::string& line : rig.messages()) text += " " + Rig::printable(line);
  return text;
}

// What the protocol lets a controller answer is its answer: every operation
// succeeds with the controller's data, whatever the controller's manner.
void answerCells(Transport transport) {
  if (transport != Transport::kLocal && !test::Ser2net::installed()) GTEST_SKIP() << test::Ser2net::kMissing;
  const std::vector<std::string> behaviours[] = {
      {},                   // as the emulator answers by default (a long line in two pieces)
      {"--attention-ack"},  // the attention frame answered with the acknowledge line
      {"--crcrlf"},         // CR CR LF line ends
      {"--nul-padding"},    // NUL bytes between a line's text and its end
      {"--echo-data"},      // numbers, names, lines and values repeated as consent
  };
  for (const auto& behaviour : behaviours) {
    for (const Operation& operation : kOperations) {
      SCOPED_TRACE(std::string(operation.name) + " " + (behaviour.empty() ? "plain" : behaviour[0]) + " " +
                   test::transportName(transport));
      Rig rig(operation.page, transport);
      rig.start(controllerHolding(behaviour), {});
      if (::testing::Test::HasFatalFailure()) return;
      EXPECT_TRUE(operation.run(rig)) << describe(rig) << "\n" << rig.emulator->logText();
      EXPECT_FALSE(rig.port.Enabled());
    }
  }
}

// A reply that never ends is no answer, whatever follows it: the refusal of
// a parameter behind over-long replies is not lost as the operation runs a
// reply behind, and nothing is taken as consent.
void unendedCells(Transport transport) {
  if (transport != Transport::kLocal && !test::Ser2net::installed()) GTEST_SKIP() << test::Ser2net::kMissing;
  for (const Operation& operation : kOperations) {
    SCOPED_TRACE(std::string(operation.name) + " " + test::transportName(transport));
    Rig rig(operation.page, transport);
    rig.start(controllerHolding({"--overlong", "--refuse", "12=300"}), {});
    if (::testing::Test::HasFatalFailure()) return;
    EXPECT_FALSE(operation.run(rig)) << describe(rig);
    EXPECT_TRUE(rig.hasMessageStarting(linkText(rig.session.language(), LinkText::kUnended, {}, kReplyLength)))
        << describe(rig);
    EXPECT_EQ(rig.emulator->storedParameters(), kParametersHeld);
    EXPECT_EQ(rig.emulator->storedProgram(7), kHeld7);
    EXPECT_FALSE(rig.port.Enabled());
  }
}

TEST(ReplyEdges, AnswersAControllerMaySendLocal) { answerCells(Transport::kLocal); }
TEST(ReplyEdges, AnswersAControllerMaySendOverRfc2217) { answerCells(Transport::kRfc2217); }
TEST(ReplyEdges, AnswersAControllerMaySendOverRawTcp) { answerCells(Transport::kRawTcp); }
TEST(ReplyEdges, RepliesThatNeverEndLocal) { unendedCells(Transport::kLocal); }
TEST(ReplyEdges, RepliesThatNeverEndOverRfc2217) { unendedCells(Transport::kRfc2217); }
TEST(ReplyEdges, RepliesThatNeverEndOverRawTcp) { unendedCells(Transport::kRawTcp); }

}  // namespace
}  // namespace qxr
