// Plain NC programs, compare and verify end to end: qxrtool against the
// controller emulator. A CAM-style program goes out framed as the numbered
// lines the controller stores; what the controller holds is compared with a
// file of either kind, and a send is verified by reading it back.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "base/settings.h"
#include "link/comm.h"
#include "link/link.h"
#include "nc/ncops.h"
#include "nc/programcompare.h"
#include "support/emulator.h"
#include "support/process.h"
#include "support/startdir.h"
#include "support/fakehost.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;

struct Tool {
  test::StartDir dir;
  Tool() { dir.writeBlockMode(300); }
  // Exit status and everything printed; the journal stays in the start directory.
  test::ToolRun run(const std::string& arguments) const {
    return test::runShell("QXR_JOURNAL=" + dir.file("journal.db") + " " + test::toolCommand("qxrtool", dir.dir()) +
                          " --port COM2 --yes " + arguments);
  }
};

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

// The frames of a store after the existence query: attention, store, number,
// name, the lines.
Lines storeFrames(const Lines& frames) {
  for (std::size_t i = 0; i < frames.size(); ++i)
    if (frames[i] == "$S\r\n") return Lines(frames.begin() + long(i) + 1, frames.end());
  return {};
}

TEST(ToolPlainNc, CamProgramsGoOutAsTheControllerNumbersLines) {
  struct Row {
    const char* what;
    std::string file;
    std::string said;
  };
  const Row rows[] = {
      {"LF, N-words, tape marks", "%\nO0010 (POCKET)\nN10 G90 G54 G17\nN20 G00\tX0 Y0\nN30 G01 X10. F100\nN40 M30\n%\n",
       "Plain NC program: number 10 from O0010, name POCKET, 2 tape marks and 4 N-words dropped"},
      {"CR LF without N-words", "%\r\nO0010 (POCKET)\r\nG90 G54 G17\r\nG00\tX0 Y0\r\nG01 X10. F100\r\nM30\r\n%\r\n",
       "2 tape marks and 0 N-words dropped"},
      {"CR alone, indented", "%\rO0010 (POCKET)\r  G90 G54 G17\r\tG00\tX0 Y0\rG01 X10. F100  \rM30\r%\r",
       "number 10 from O0010, name POCKET"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Tool tool;
    test::Emulator controller(tool.dir);
    tool.dir.write("cam.nc", row.file);
    const auto [status, output] = tool.run("nc send " + tool.dir.file("cam.nc"));
    EXPECT_EQ(status, 0) << output;
    EXPECT_TRUE(contains(output, row.said)) << output;
    EXPECT_EQ(storeFrames(controller.framesIn()),
              (Lines{"10\r\n", "POCKET  \r\n", "N1 G90 G54 G17\r\n", "N2 G00\tX0 Y0\r\n", "N3 G01 X10. F100\r\n",
                     "N4 M30\r\n"}))
        << controller.logText();
    EXPECT_EQ(controller.storedProgram(10),
              std::string("10\r\nPOCKET\r\nN1 G90 G54 G17\r\nN2 G00\tX0 Y0\r\nN3 G01 X10. F100\r\nN4 M30\r\n"));
  }
}

// The simulator's commands run a plain program without its comments.
TEST(ToolPlainNc, ConvertAndPlotRunWithoutComments) {
  Tool tool;
  tool.dir.write("cam.nc", "%\nO0012 (POCKET)\n(ROUGH)\nG00 X0 Y0 (START)\nG01 X10 (CUT\nM30\n%\n");
  for (const std::string& command : {std::string("nc convert "), "nc plot -o " + tool.dir.file("out.png") + " "}) {
    const auto [status, output] = tool.run(command + tool.dir.file("cam.nc"));
    EXPECT_EQ(status, 0) << command << output;
  }
  EXPECT_FALSE(contains(tool.dir.read("Test.TXT"), "("));
}

TEST(ToolPlainNc, WithoutANumberEveryCommandAsksForOne) {
  const std::string file = "%\nO1000 (POCKET)\nG00 X0\nG01 X5\n%\n";
  struct Row {
    std::string command;  // %s: the file
    int status;
    std::string said;
  };
  const Row rows[] = {
      {"nc send %s", 1, "(O1000 is outside that range): give it a number"},
      {"nc send %s", 1, "give the program a number: --number N"},
      {"nc preview %s -o out.svg", 1, "(O1000 is outside that range)"},
      {"nc convert %s", 1, "(O1000 is outside that range)"},
      {"nc write-many %s", 1, "(O1000 is outside that range)"},
      {"nc send %s --number 100", 2, "--number takes a program number 1 to 99"},
      {"nc send %s --number 12 --name lathe", 0, "number 12 as given, name LATHE as given"},
      {"nc preview %s --number 12 -o out.svg", 0, "preview in"},
      {"nc export %s --number 12 -o out.nc", 0, "Exported program 12"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    Tool tool;
    test::Emulator controller(tool.dir);
    tool.dir.write("big.nc", file);
    std::string command = row.command;
    command.replace(command.find("%s"), 2, tool.dir.file("big.nc"));
    if (const auto out = command.find(" out."); out != std::string::npos) command.insert(out + 1, tool.dir.dir() + "/");
    const auto [status, output] = tool.run(command);
    EXPECT_EQ(status, row.status) << output;
    EXPECT_TRUE(contains(output, row.said)) << output;
    if (row.status != 0) EXPECT_TRUE(controller.framesIn().empty()) << controller.logText();
  }
  Tool tool;
  test::Emulator controller(tool.dir);
  tool.dir.write("big.nc", file);
  ASSERT_EQ(tool.run("nc send " + tool.dir.file("big.nc") + " --number 12 --name lathe").code, 0);
  EXPECT_EQ(controller.storedProgram(12), std::string("12\r\nLATHE\r\nN1 G00 X0\r\nN2 G01 X5\r\n"));
}

TEST(ToolCompare, TheControllersProgramAgainstFilesOfEitherKind) {
  const std::string held = "7\r\nPART1\r\nN1 G00 X0\r\nN2 G01 X10\r\nN3 M30\r\n";
  struct Row {
    const char* what;
    std::string file;
    std::string options;
    int status;
    std::vector<std::string> said;
  };
  const Row rows[] = {
      {"the numbered file it came from", held, "", 0, {"Program 07 on the controller is the same as the file (3 lines)"}},
      {"the same as plain text", "%\nO0007 (PART1)\nN10 G00 X0\nN20 G01 X10\nN30 M30\n%\n", "", 0, {"is the same"}},
      {"plain text without a number or name", "G00 X0\nG01 X10\nM30\n", "", 0, {"is the same"}},
      {"one character", "%\nO0007 (PART1)\nG00 X0\nG01 X11\nM30\n%\n", "", 1,
       {"Program 07 differs from line 2: controller \"G01 X10\", file \"G01 X11\""}},
      {"one character, as a diff", "%\nO0007\nG00 X0\nG01 X11\nM30\n%\n", "--diff", 1,
       {"--- controller:7", "@@ -1,3 +1,3 @@\n G00 X0\n-G01 X10\n+G01 X11\n M30\n"}},
      {"a line fewer", "7\r\nPART1\r\nN1 G00 X0\r\nN2 G01 X10\r\n", "", 1,
       {"differs from line 3: controller \"M30\", file (no line)"}},
      {"another name", "7\r\nPART2\r\nN1 G00 X0\r\nN2 G01 X10\r\nN3 M30\r\n", "", 1, {"name differs"}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Tool tool;
    test::EmulatorOptions options;
    options.programs[7] = held;
    test::Emulator controller(tool.dir, options);
    tool.dir.write("file.nc", row.file);
    const auto [status, output] = tool.run("nc compare 7 " + tool.dir.file("file.nc") + " " + row.options);
    EXPECT_EQ(status, row.status) << output;
    for (const std::string& part : row.said) EXPECT_TRUE(contains(output, part)) << output;
    // Only read: nothing stored or deleted.
    for (const std::string& frame : controller.framesIn()) {
      EXPECT_NE(frame, "$S\r\n");
      EXPECT_NE(frame, "$K\r\n");
    }
    EXPECT_EQ(controller.storedProgram(7), held);
    // Recorded in the journal with its outcome.
    const std::string journal = tool.run("journal --json").output;
    EXPECT_TRUE(contains(journal, "\"operation\":\"nc compare\"")) << journal;
    EXPECT_TRUE(contains(journal, row.status == 0 ? "\"result\":\"finished\"" : "\"result\":\"failed\"")) << journal;
  }
  Tool tool;
  test::Emulator controller(tool.dir);
  tool.dir.write("file.nc", held);
  EXPECT_EQ(tool.run("nc compare 8 " + tool.dir.file("file.nc")).code, 1);
  EXPECT_EQ(tool.run("nc compare 0 " + tool.dir.file("file.nc")).code, 2);
}

TEST(ToolCompare, VerifyAfterASendReadsTheProgramBack) {
  const std::string cam = "%\nO0010 (POCKET)\nN10 G90\nN20 G00 X0\nN30 M30\n%\n";
  struct Row {
    const char* what;
    std::string command;
    std::vector<std::string> extraArgs;
    int status;
    std::string said;
  };
  // A send of three lines is ten frames; the read-back's number is the 13th.
  const Row rows[] = {
      {"a send verified", "nc send %s --verify", {}, 0,
       "Verified: the controller holds program 10 as it was sent (3 lines)"},
      {"the read-back refused", "nc send %s --verify", {"--refuse-at", "13"}, 1,
       "Verify failed: program 10 could not be read back"},
      {"a batch verified", "nc write-many %s %n --verify", {}, 0, "Verified: the controller holds program 07"},
      {"no verification unless asked", "nc send %s", {"--refuse-at", "13"}, 0, "#"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Tool tool;
    test::EmulatorOptions options;
    options.extraArgs = row.extraArgs;
    test::Emulator controller(tool.dir, options);
    tool.dir.write("cam.nc", cam);
    tool.dir.write("part.nc", "7\r\nPART1\r\nN1 G00 X0\r\nN2 M30\r\n");
    std::string command = row.command;
    command.replace(command.find("%s"), 2, tool.dir.file("cam.nc"));
    if (const auto n = command.find("%n"); n != std::string::npos) command.replace(n, 2, tool.dir.file("part.nc"));
    const auto [status, output] = tool.run(command);
    EXPECT_EQ(status, row.status) << output << controller.logText();
    if (row.said != "#") {
      EXPECT_TRUE(contains(output, row.said)) << output;
    } else {
      EXPECT_FALSE(contains(output, "Verif")) << output;
    }
  }
}

// The verification itself catches one character: the controller holds what
// was sent, and the program it is checked against differs in one byte.
TEST(ToolCompare, VerifyCatchesOneCharacter) {
  test::TempDir dir;
  test::Emulator emulator(dir);
  Session session = test::makeTestSession(dir);
  session.settings.timeoutMs = 300;
  session.settings.language = 1;
  test::FakeHost host;
  test::FakeClock clock;
  TComm port;
  port.SetPortDirectory(session.startDir);
  Link link(port, session, host, clock);
  MemoryNcPage page;
  page.lines = {"G00 X0", "G01 X10", "M30"};
  page.number = 7;
  page.name = "PART1";
  ASSERT_TRUE(NcOperations(operationParts(link), page).send());
  const std::size_t questions = host.questions.size();

  struct Row {
    Lines lines;
    std::string name;
    bool same;
    std::string said;
  };
  const Row rows[] = {
      {{"G00 X0", "G01 X10", "M30"}, "PART1", true, "Verified"},
      {{"G00 X0", "G01 X10", "M30"}, "part1   ", true, "Verified"},  // the name rule; padding is no part of a name
      {{"G00 X0", "G01 X11", "M30"}, "PART1", false, "differs from line 2"},
      {{"G00 X0", "G01 X10", "M31"}, "PART1", false, "differs from line 3"},
      {{"G00 X0", "G01 X10", "M30"}, "PART2", false, "name differs"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.said);
    host.clearLines();
    EXPECT_EQ(verifyStoredProgram(link, kGenerationX02, 7, row.lines, row.name), row.same);
    ASSERT_FALSE(host.lines(kProgramPage).empty());
    EXPECT_TRUE(contains(host.lines(kProgramPage).back(), row.said)) << host.lines(kProgramPage).back();
  }
  // No question is asked for reading back.
  EXPECT_EQ(host.questions.size(), questions);
  EXPECT_FALSE(port.Enabled());
}

}  // namespace
}  // namespace qxr
