// qxrtool on SIGINT, SIGTERM and SIGHUP in the middle of a transfer: the link ends
// it at the next frame boundary, the port is closed as after any failure,
// no partial output file is left, and the exit status is 128 + the signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <chrono>
#include <filesystem>
#include <thread>

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
      {"send, SIGHUP", "send", SIGHUP, 129},
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
      // The part on the controller is named, counting the line written last
      // (its answer was still awaited); without a terminal nothing is asked.
      const std::string notice = "holds program 03 only in part (";
      const auto said = out.find(notice);
      ASSERT_NE(said, std::string::npos) << out;
      const long named = std::atol(out.c_str() + said + notice.size());
      // The emulator takes the bytes at line speed: the last line written may
      // still be on its way when the tool has ended.
      long held = -1;
      for (int i = 0; i < 300 && held != named; ++i) {
        const std::string stored = emulator.storedProgram(3).value_or("");
        held = std::count(stored.begin(), stored.end(), '\n') - 2;
        if (held != named) std::this_thread::sleep_for(std::chrono::milliseconds(10));
      }
      EXPECT_EQ(held, named) << out;
      EXPECT_LT(held, 400);
    }
  }
}

}  // namespace
}  // namespace qxr
