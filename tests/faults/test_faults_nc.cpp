// The fault matrix of the program operations: send, receive, delete, read
// many and write many, each with every fault of faultrig.h.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/settings.h"
#include "faults/faultrig.h"
#include "nc/ncops.h"

namespace qxr {
namespace {

using test::Fault;
using test::FaultKind;
using test::Lines;
using test::Rig;
using NcRow = test::Row<MemoryNcPage>;

const std::string kOld7 = "7\r\nOLD\r\nN1 OLD\r\n";
const std::string kNew7 = "7\r\nPART1\r\nN1 G00 X0\r\nN2 G01 X5\r\nN3 M30\r\n";
const Lines kNew7Lines = {"G00 X0", "G01 X5", "M30"};

bool startsWith(const Lines& lines, const Lines& prefix) {
  return lines.size() <= prefix.size() && std::equal(lines.begin(), lines.end(), prefix.begin());
}

// What the controller holds under a number, in words for the table.
std::string held(Rig& rig, int number, const std::string& before, const std::string& after) {
  const auto now = rig.emulator->storedProgram(number);
  if (!now) return "controller: absent";
  if (*now == before) return "controller: old";
  if (*now == after) return "controller: new";
  return "controller: part of new (" + std::to_string(std::count(now->begin(), now->end(), '\n') - 2) + " lines)";
}

// Send program 7 over an existing program 7 (deleted first).
NcRow sendRow() {
  NcRow row;
  row.operation = "send";
  row.refusal = "#122";
  row.options.programs[7] = kOld7;
  row.setUp = [](Rig&, MemoryNcPage& page) {
    page.lines = kNew7Lines;
    page.number = 7;
    page.name = "PART1";
  };
  row.run = [](Rig& rig, MemoryNcPage& page) { return NcOperations(operationParts(rig.link), page).send(); };
  row.check = [](Rig& rig, MemoryNcPage& page, bool result) {
    EXPECT_EQ(page.lines, kNew7Lines);
    EXPECT_EQ(page.name, "PART1");
    if (result) {
      EXPECT_EQ(rig.emulator->storedProgram(7), kNew7) << "success reported for a program not stored";
      EXPECT_TRUE(rig.hasMessage("#106"));
    }
    return held(rig, 7, kOld7, kNew7);
  };
  return row;
}

// Receive program 7 into an editor that holds something else.
NcRow receiveRow() {
  NcRow row;
  row.operation = "receive";
  row.refusal = "#122";
  row.options.programs[7] = kNew7;
  row.setUp = [](Rig&, MemoryNcPage& page) {
    page.lines = {"mine"};
    page.number = 7;
    page.name = "MINE";
  };
  row.run = [](Rig& rig, MemoryNcPage& page) { return NcOperations(operationParts(rig.link), page).receive(); };
  row.check = [](Rig& rig, MemoryNcPage& page, bool result) {
    const bool junk = rig.fault.kind == FaultKind::kGarbage || rig.fault.kind == FaultKind::kOverlong;
    if (result) {
      EXPECT_EQ(page.lines, kNew7Lines);
      EXPECT_EQ(page.name, "PART1");
      EXPECT_TRUE(rig.hasMessage("#109"));
    } else if (!junk) {
      // What it had, or what arrived.
      EXPECT_TRUE(page.lines == Lines{"mine"} || startsWith(page.lines, kNew7Lines));
      EXPECT_TRUE(page.name == "MINE" || page.name == "PART1");
    }
    if (page.lines == Lines{"mine"}) return std::string("editor: kept");
    if (page.lines == kNew7Lines) return std::string("editor: program");
    if (!junk && startsWith(page.lines, kNew7Lines))
      return "editor: " + std::to_string(page.lines.size()) + " lines received";
    std::string shown = "editor: " + std::to_string(page.lines.size()) + " lines";
    if (!page.lines.empty()) shown += ", first " + Rig::printable(page.lines.front().substr(0, 12));
    return shown;
  };
  return row;
}

// Delete program 5, after the name query.
NcRow deleteRow() {
  NcRow row;
  row.operation = "delete";
  row.refusal = "#122";
  row.options.programs[5] = "5\r\nPROG5\r\nN1 X\r\n";
  row.setUp = [](Rig&, MemoryNcPage& page) {
    page.lines = {"mine"};
    page.number = 5;
    page.name = "TYPED";
  };
  row.run = [](Rig& rig, MemoryNcPage& page) { return NcOperations(operationParts(rig.link), page).deleteProgram(); };
  row.check = [](Rig& rig, MemoryNcPage& page, bool result) {
    EXPECT_EQ(page.lines, Lines{"mine"});
    const bool gone = !rig.emulator->storedProgram(5);
    // Reported as deleted exactly when it is gone.
    EXPECT_EQ(result, gone);
    EXPECT_EQ(rig.hasMessage("#128"), gone);
    return std::string(gone ? "controller: deleted" : "controller: kept");
  };
  return row;
}

// Files and programs of the batches.
const std::string kProgram3 = "3\r\nTHREE\r\nN1 G00\r\nN2 M30\r\n";
const std::string kProgram5 = "5\r\nFIVE\r\nN1 X5\r\n";

struct BatchPage : MemoryNcPage {
  MultipleChoice choice;
};
using BatchRow = test::Row<BatchPage>;

// Programs 3 and 5 read into files that exist already (L04.NC must never change).
BatchRow readManyRow() {
  BatchRow row;
  row.operation = "read many";
  row.refusal = "#122";
  row.options.programs[3] = kProgram3;
  row.options.programs[5] = kProgram5;
  row.setUp = [](Rig& rig, BatchPage& page) {
    page.choice.programs[2] = page.choice.programs[4] = true;
    page.choice.directory = rig.dir.file("out");
    std::filesystem::create_directory(page.choice.directory);
    for (const char* name : {"L03.NC", "L04.NC", "L05.NC"}) rig.dir.write(std::string("out/") + name, "old\r\n");
  };
  row.run = [](Rig& rig, BatchPage& page) { return NcOperations(operationParts(rig.link), page).readMany(page.choice); };
  row.check = [](Rig& rig, BatchPage&, bool result) {
    std::string state = "files:";
    const struct {
      const char* name;
      const std::string* complete;
    } files[] = {{"L03.NC", &kProgram3}, {"L04.NC", nullptr}, {"L05.NC", &kProgram5}};
    for (const auto& file : files) {
      const std::string now = rig.dir.read(std::string("out/") + file.name);
      const bool old = now == "old\r\n";
      const bool complete = file.complete && now == *file.complete;
      EXPECT_TRUE(old || complete) << file.name << " damaged: " << now;
      if (result && file.complete) {
        EXPECT_TRUE(complete) << file.name << " not written on success";
      }
      state += std::string(" ") + file.name + (old ? " old" : complete ? " new" : " DAMAGED");
    }
    return state;
  };
  return row;
}

// Two files: program 3 replaces the controller's program 3, program 5 is new.
BatchRow writeManyRow() {
  BatchRow row;
  row.operation = "write many";
  row.refusal = "#122";
  row.options.programs[3] = "3\r\nOLD3\r\nN1 OLD\r\n";
  row.setUp = [](Rig& rig, BatchPage& page) {
    page.choice.directory = rig.dir.file("in");
    std::filesystem::create_directory(page.choice.directory);
    rig.dir.write("in/A.NC", kProgram3);
    rig.dir.write("in/B.NC", kProgram5);
    page.choice.files = {"A.NC", "B.NC"};
  };
  row.run = [](Rig& rig, BatchPage& page) { return NcOperations(operationParts(rig.link), page).writeMany(page.choice, false); };
  row.check = [](Rig& rig, BatchPage&, bool result) {
    EXPECT_EQ(rig.dir.read("in/A.NC"), kProgram3);
    EXPECT_EQ(rig.dir.read("in/B.NC"), kProgram5);
    if (result) {
      EXPECT_EQ(rig.emulator->storedProgram(3), kProgram3);
      EXPECT_EQ(rig.emulator->storedProgram(5), kProgram5);
    }
    return held(rig, 3, "3\r\nOLD3\r\nN1 OLD\r\n", kProgram3).substr(12) + " 3, " +
           held(rig, 5, "", kProgram5).substr(12) + " 5";
  };
  return row;
}

// One ctest case per row and fault family, so that ctest -j spreads them.
#define FAULT_ROW(Name, makeRow)                                                                  \
  TEST(Name, SilenceAndRefusalAtEveryStep) { makeRow().runAlong({FaultKind::kSilent, FaultKind::kRefuse}); } \
  TEST(Name, HangUpAndUnplugAtEveryStep) { makeRow().runAlong({FaultKind::kHangup, FaultKind::kUnplug}); }    \
  TEST(Name, GarbageOverlongAndAHeldPort) { makeRow().runCells(test::lineFaults()); }

FAULT_ROW(NcSendFaults, sendRow)
FAULT_ROW(NcReceiveFaults, receiveRow)
FAULT_ROW(NcDeleteFaults, deleteRow)
FAULT_ROW(NcReadManyFaults, readManyRow)
FAULT_ROW(NcWriteManyFaults, writeManyRow)

// The main cells again with the controller behind a serial device server:
// silence, refusal and hang-up at the first, a middle and the last step of a
// send and a receive, and a server that is not there, over RFC 2217 and raw
// TCP.
void networkCells(test::Transport transport) {
  QXR_REQUIRE_TOOL("ser2net");
  for (NcRow row : {sendRow(), receiveRow()}) {
    row.transport = transport;
    const long frames = row.cleanFrames();
    // The first step, one in the middle and the last of each kind.
    std::vector<Fault> faults;
    for (const Fault& fault : test::only(test::faultsAlong(frames), {FaultKind::kSilent, FaultKind::kRefuse,
                                                                      FaultKind::kHangup}))
      if (fault.at <= 1 || fault.at == frames / 2 || fault.at >= frames - 1) faults.push_back(fault);
    faults.push_back({FaultKind::kServerDown, 0});
    row.runCells(faults);
  }
}
TEST(NcNetworkFaults, OverRfc2217) { networkCells(test::Transport::kRfc2217); }
TEST(NcNetworkFaults, OverRawTcp) { networkCells(test::Transport::kRawTcp); }
// What comes back: noise before the name and amid the lines, a NUL in a line,
// noise all the time and a loopback. For read many the second burst falls in
// the second program, after the first was written.
TEST(NcReceiveFaults, NoiseNulAndEcho) { receiveRow().runCells(test::replyFaults({4, 6}, 5)); }
TEST(NcReadManyFaults, NoiseNulAndEcho) { readManyRow().runCells(test::replyFaults({5, 12}, 11)); }
// A program that does not answer in time does not end a batch: the batch
// goes on with the next program on the port opened again. Read many: program
// 3's number (frame 3) or its first line request (4) missed; the file of
// program 5 is written. Write many: the query's number (3) missed, program 3
// is taken as absent and stored.
TEST(NcReadManyFaults, GoesOnAfterAProgramThatDidNotAnswer) {
  for (long frame : {3L, 4L}) {
    BatchRow row = readManyRow();
    const auto check = row.check;
    row.check = [check](Rig& rig, BatchPage& page, bool result) {
      EXPECT_FALSE(result);
      EXPECT_TRUE(rig.hasMessage("In program No 03"));
      EXPECT_EQ(rig.dir.read("out/L03.NC"), "old\r\n");
      EXPECT_EQ(rig.dir.read("out/L05.NC"), kProgram5);
      return check(rig, page, result);
    };
    row.runCells({{FaultKind::kDrop, frame}});
  }
}
TEST(NcWriteManyFaults, GoesOnAfterAProgramThatDidNotAnswer) {
  BatchRow row = writeManyRow();
  const auto check = row.check;
  row.check = [check](Rig& rig, BatchPage& page, bool result) {
    EXPECT_TRUE(result);
    return check(rig, page, result);
  };
  row.runCells({{FaultKind::kDrop, 3}});
}

// The sends and the delete over a loopback plug, and over noise.
TEST(NcSendFaults, EchoAndNoise) {
  for (const auto& makeRow : {sendRow, deleteRow})
    makeRow().runCells({{FaultKind::kEcho, 0}, {FaultKind::kNoise, 0}});
  writeManyRow().runCells({{FaultKind::kEcho, 0}, {FaultKind::kNoise, 0}});
}

// qxrtool nc receive -o FILE over an existing FILE.
const test::ToolCell kToolReceive = {
    "qxrtool nc receive", kProgramPage, "out.nc", "7\r\nOLD\r\nN1 OLD\r\n", kNew7, [] {
      test::EmulatorOptions options;
      options.programs[7] = kNew7;
      return options;
    }(),
    {"nc", "receive", "7", "-o", "FILE"}};

TEST(NcFileFaults, QxrtoolReceiveAfterNoiseNulAndEcho) {
  QXR_REQUIRE_TOOL("qxrtool");
  kToolReceive.run({});
  for (const Fault& fault : test::replyFaults({4, 6}, 5)) kToolReceive.run(fault);
}

}  // namespace
}  // namespace qxr
