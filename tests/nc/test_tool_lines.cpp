// qxrtool against the controller emulator: a line the controller would
// misread refuses the whole operation before the port opens, for every
// command that sends a text; and the program name goes out by the same rule
// as from the window.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
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
  };
  const Row rows[] = {
      {"nc send %s", "7\r\nPART1\r\nN1 G00 X0\r\nN2 G01" + nul + "X5\r\nN3 M30\r\n",
       "Line 2 holds the control byte 0x00 at column 4"},
      {"nc send %s", "7\r\nPA\x1BT\r\nN1 G00 X0\r\n", "The program name holds the control byte 0x1B"},
      {"nc send %s", "7\r\nPART1\r\nN1 " + std::string(300, 'X') + "\r\n", "Line 1 is too long for the controller"},
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
    EXPECT_NE(output.find("nothing was sent"), std::string::npos) << output;
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

}  // namespace
}  // namespace qxr
