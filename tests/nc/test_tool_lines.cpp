// qxrtool against the controller emulator: a line the controller would
// misread refuses the whole operation before the port opens, for every
// command that sends a text; the program name goes out by the same rule as
// from the window; and closed descriptors, a closed output pipe and
// concurrent assigns leave the line and the start directory as they should.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <string>

#include "base/settings.h"
#include "support/emulator.h"
#include "support/process.h"
#include "support/startdir.h"

namespace qxr {
namespace {

struct Tool {
  test::StartDir dir;
  Tool() { dir.writeBlockMode(300); }
  // The exit status of qxrtool run by the shell in the start directory with
  // `redirect` after it.
  int shell(const std::string& arguments, const std::string& redirect) const {
    return test::runShell(test::toolCommand("qxrtool", dir.dir()) + " --port COM2 --yes " + arguments + " " + redirect)
        .code;
  }
  test::ToolRun run(const std::string& arguments) const {
    return test::runShell(test::toolCommand("qxrtool") + " --dir " + dir.dir() + " --port COM2 --yes " + arguments);
  }
};

TEST(ToolLines, NothingTheControllerWouldMisreadIsSent) {
  const std::string nul(1, '\0');
  struct Row {
    const char* command;  // "%s" stands for the file
    std::string file;
    std::string said;
    const char* outcome = "nothing was sent";
  };
  const Row rows[] = {
      {"nc send %s", "7\r\nPART1\r\nN1 G00 X0\r\nN2 G01" + nul + "X5\r\nN3 M30\r\n",
       "Line 2 holds the control byte 0x00 at column 4"},
      {"nc send %s", "7\r\nPA\x1BT\r\nN1 G00 X0\r\n", "The program name holds the control byte 0x1B"},
      {"nc send %s", "7\r\nPART1\r\nN1 " + std::string(300, 'X') + "\r\n", "Line 1 is too long for the controller",
       "the file was not read"},
      {"nc write-many %s", "7\r\nPART1\r\nN1 G00\r\nN5 M\x7F\r\n", "Line 5 holds the control byte 0x7F"},
      {"param send %s", "Speed(12)=300\r\nFeed(13)=3" + nul + "0\r\n", "Line 2 holds the control byte 0x00"},
      {"param send %s", "Speed(12)=300\r\nA(13)=99999999999\r\n",
       "Line 2: the value 99999999999 is outside the controller's range"},
      {"param send %s", "A(" + std::string(3000, '1') + ")=5\r\n", "Line 1 is too long for the controller"},
      {"plc send %s", "LD X1\r\nOUT\x01Y1\r\n", "Line 2 holds the control byte 0x01"},
      {"plc send %s", "0A1B\r\n" + std::string(600, 'A') + "\r\n", "Line 2 is too long for the controller"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command + (" / " + row.said));
    Tool tool;
    test::Emulator controller(tool.dir);
    tool.dir.write("input.txt", row.file);
    std::string command = row.command;
    command.replace(command.find("%s"), 2, tool.dir.file("input.txt"));
    const auto [status, output] = tool.run(command);
    EXPECT_EQ(status, 1) << output;
    EXPECT_NE(output.find(row.said), std::string::npos) << output;
    EXPECT_NE(output.find(row.outcome), std::string::npos) << output;
    EXPECT_TRUE(controller.framesIn().empty()) << controller.logText();
  }
}

TEST(ToolLines, ProgramNamesGoOutAndComeInUpperCase) {
  Tool tool;
  test::EmulatorOptions options;
  options.programs[8] = "8\r\nlower\r\nN1 M30\r\n";
  test::Emulator controller(tool.dir, options);
  tool.dir.write("part1.nc", "7\r\npart1\r\nN1 G00 X0\r\n");
  auto [sent, sendOutput] = tool.run("nc send " + tool.dir.file("part1.nc"));
  ASSERT_EQ(sent, 0) << sendOutput;
  EXPECT_EQ(controller.storedProgram(7), "7\r\nPART1\r\nN1 G00 X0\r\n");
  auto [received, receiveOutput] = tool.run("nc receive 8 -o " + tool.dir.file("back.nc"));
  ASSERT_EQ(received, 0) << receiveOutput;
  EXPECT_EQ(tool.dir.read("back.nc"), "8\r\nLOWER\r\nN1 M30\r\n");
}

// qxrtool at the edges of the process: started with standard descriptors
// closed, writing into a pipe whose reader has gone, several at once on the
// same start directory. After each command the controller holds exactly what
// was sent, and nothing else went down the line.
const std::string kProgram = "7\r\nPART1\r\nN1 G01 X10 Y10 F100\r\nN2 M30\r\n";

std::string toolBinary() { return test::binDir() + "/tools/qxrtool/qxrtool"; }

// Every frame the PC may send in these commands: the line family, program
// and parameter lines, PLC records. A progress line ("\r\e[K...") or a page
// message ("#105...", "-> OK") is none of them.
bool isFrame(const std::string& frame) {
  if (frame.find('\033') != std::string::npos || frame.find("->") != std::string::npos) return false;
  if (frame.find("Line ") != std::string::npos || frame.find('#') != std::string::npos) return false;
  return true;
}

TEST(ToolEdges, ClosedStandardDescriptorsNeverBecomeThePort) {
  if (!std::filesystem::exists(toolBinary())) FAIL() << "qxrtool not built";
  const char* redirects[] = {"2>&-", ">&- 2>/dev/null", "<&- >&- 2>&-"};
  const struct {
    const char* args;
    const char* what;  // what the controller must hold afterwards
  } commands[] = {
      {"nc send good.nc", "program"},
      {"nc write-many good.nc", "program"},
      {"param send good.par", "parameters"},
      {"plc send good.pmc", "plc"},
  };
  for (const char* redirect : redirects) {
    for (const auto& command : commands) {
      SCOPED_TRACE(std::string(command.args) + " " + redirect);
      Tool start;
      start.dir.write("good.nc", kProgram);
      start.dir.write("good.par", "Speed(12)=300\r\n");
      start.dir.write("good.pmc", "LD 0001\r\nOUT 0500\r\nEND\r\n");
      test::Emulator controller(start.dir);
      test::linkMissingPorts(start.dir, Settings{}.portCount);
      EXPECT_EQ(start.shell(command.args, redirect), 0);
      const std::string what = command.what;
      if (what == "program") EXPECT_EQ(controller.storedProgram(7), kProgram);
      if (what == "parameters") EXPECT_EQ(controller.storedParameters(), "12=300\r\n");
      if (what == "plc") EXPECT_FALSE(controller.storedPlc().empty());
      for (const std::string& frame : controller.framesIn()) EXPECT_TRUE(isFrame(frame)) << frame;
    }
  }
}

// A reader that went away (`| head`) does not cut a transfer: the program
// arrives whole and the exit status is that of the transfer.
TEST(ToolEdges, AClosedOutputPipeDoesNotCutTheTransfer) {
  if (!std::filesystem::exists(toolBinary())) FAIL() << "qxrtool not built";
  Tool start;
  std::string program = "7\r\nLONG\r\n";
  for (int i = 1; i <= 300; ++i) program += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\r\n";
  start.dir.write("long.nc", program);
  test::Emulator controller(start.dir);
  // head takes one byte and goes: every later write of the tool meets a
  // broken pipe. The tool's own exit status is kept in a file.
  const std::string command = "cd '" + start.dir.dir() + "' && (" + toolBinary() + " --dir . --port COM2 --yes " +
                              "nc send long.nc 2>&1; echo $? > status) | head -c 1 > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0);
  EXPECT_EQ(start.dir.read("status"), "0\n");
  EXPECT_EQ(controller.storedProgram(7), program);
}

// Assigns at once to one entry: each succeeds and says what it linked, and
// the entry ends as one of them.
TEST(ToolEdges, ConcurrentAssignsEachSayTheirOwnTarget) {
  if (!std::filesystem::exists(toolBinary())) FAIL() << "qxrtool not built";
  Tool start;
  constexpr int kAssigns = 8;
  std::string script = "cd '" + start.dir.dir() + "' && {";
  for (int i = 0; i < kAssigns; ++i) {
    const std::string n = std::to_string(i);
    script += " (" + toolBinary() + " --dir . ports assign COM3 /dev/null" + n + " > out" + n + " 2>&1; echo $? >> out" +
              n + ") &";
  }
  script += " wait; }";
  ASSERT_EQ(std::system(script.c_str()), 0);
  for (int i = 0; i < kAssigns; ++i) {
    const std::string said = start.dir.read("out" + std::to_string(i));
    EXPECT_EQ(said, "COM3 -> /dev/null" + std::to_string(i) + " (no such device)\n0\n");
  }
  const std::string target = std::filesystem::read_symlink(start.dir.file("COM3")).string();
  EXPECT_EQ(target.rfind("/dev/null", 0), 0u) << target;
  for (const auto& entry : std::filesystem::directory_iterator(start.dir.dir()))
    EXPECT_EQ(entry.path().filename().string().find(".link"), std::string::npos) << entry.path();
}

}  // namespace
}  // namespace qxr
