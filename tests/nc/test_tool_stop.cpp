// qxrtool on SIGINT and SIGTERM in the middle of a transfer: the link ends
// it at the next frame boundary, the port is closed as after any failure,
// no partial output file is left, and the exit status is 128 + the signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include "base/controltexts.h"
#include "base/settings.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "support/process.h"


namespace qxr {
namespace {

std::string programFile(int number, int lines) {
  std::string text = std::to_string(number) + "\r\nLONG\r\n";
  for (int i = 1; i <= lines; ++i) text += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\r\n";
  return text;
}

TEST(ToolStop, SignalInTheMiddleOfATransfer) {
  QXR_REQUIRE_TOOL("qxrtool");
  const struct {
    const char* what;
    const char* command;
    int signal;
    int status;
  } cases[] = {
      {"receive, SIGINT", "receive", SIGINT, 130},
      {"receive, SIGTERM", "receive", SIGTERM, 143},
      {"send, SIGINT", "send", SIGINT, 130},
      {"read-many, SIGTERM", "read-many", SIGTERM, 143},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    test::TempDir dir;
    test::makeTestSession(dir);
    dir.write("Customer.ini", "Language=1\r\n");
    dir.write("Message.E", dir.read("Message.C"));  // message n reads "#n" in English too
    Settings settings;
    settings.transitMode = 1;  // block mode
    dir.write("Init.ini", formatInitIni(settings));
    test::EmulatorOptions options;
    options.programs[3] = programFile(3, 400);
    options.baud = 9600;  // the replies take line time: the transfer lasts
    test::Emulator emulator(dir, options);
    test::linkMissingPorts(dir, settings.portCount);
    dir.write("send.nc", programFile(3, 400));
    dir.write("old.nc", "kept\r\n");
    dir.write("L03.NC", "kept\r\n");

    std::vector<std::string> args = {test::toolPath("qxrtool"), "--dir", dir.dir(), "--port", "COM2", "--yes", "nc", c.command};
    if (std::string(c.command) == "receive") args.insert(args.end(), {"3", "-o", dir.file("old.nc")});
    if (std::string(c.command) == "send") args.push_back(dir.file("send.nc"));
    if (std::string(c.command) == "read-many") args.insert(args.end(), {"3", "--out", dir.dir()});
    test::Process tool(args, dir.file("out.txt"));

    // Signalled once the program's lines are on the way.
    ASSERT_GE(emulator.framesInAfter(12).size(), 12u) << emulator.logText();
    const int status = tool.stop(c.signal);
    const std::string out = dir.read("out.txt");
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), c.status) << out;
    // Reported as stopped, the port closed after it, nothing finished.
    const std::string stopped = controlText(1, ControlText::kStopped);
    const auto at = out.find(stopped);
    ASSERT_NE(at, std::string::npos) << out;
    EXPECT_NE(out.find("#107", at), std::string::npos) << out;
    EXPECT_EQ(out.find("#106"), std::string::npos) << out;
    EXPECT_EQ(out.find("#109"), std::string::npos) << out;
    // No partial file: the files are as they were.
    EXPECT_EQ(dir.read("old.nc"), "kept\r\n");
    EXPECT_EQ(dir.read("L03.NC"), "kept\r\n");
    if (std::string(c.command) == "send") {
      // The part on the controller is named; without a terminal nothing is asked.
      EXPECT_NE(out.find("holds program 03 only in part"), std::string::npos) << out;
      ASSERT_TRUE(emulator.storedProgram(3));
      EXPECT_LT(emulator.storedProgram(3)->size(), programFile(3, 400).size());
    }
  }
}

}  // namespace
}  // namespace qxr
