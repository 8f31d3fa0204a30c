// qxrtool on SIGINT, SIGTERM and SIGHUP in the middle of a transfer: the link ends
// it at the next frame boundary, the port is closed as after any failure,
// no partial output file is left, and the exit status is 128 + the signal.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
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

extern char** environ;

namespace qxr {
namespace {

std::string programFile(int number, int lines) {
  std::string text = std::to_string(number) + "\r\nLONG\r\n";
  for (int i = 1; i <= lines; ++i) text += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\r\n";
  return text;
}

struct Run {
  int status = -1;  // exit status, -1 when killed by the signal itself
  std::string out;
};

TEST(ToolStop, SignalInTheMiddleOfATransfer) {
  const std::string bin = std::filesystem::path(test::Emulator::binary()).parent_path().parent_path().string();
  const std::string tool = bin + "/qxrtool/qxrtool";
  if (!std::filesystem::exists(tool)) GTEST_SKIP() << "no qxrtool in " << bin;
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

    std::vector<std::string> args = {tool, "--dir", dir.dir(), "--port", "COM2", "--yes", "nc", c.command};
    if (std::string(c.command) == "receive") args.insert(args.end(), {"3", "-o", dir.file("old.nc")});
    if (std::string(c.command) == "send") args.push_back(dir.file("send.nc"));
    if (std::string(c.command) == "read-many") args.insert(args.end(), {"3", "--out", dir.dir()});
    std::vector<char*> argv;
    for (auto& a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, dir.file("out.txt").c_str(), O_WRONLY | O_CREAT, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    pid_t pid = 0;
    ASSERT_EQ(posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ), 0);
    posix_spawn_file_actions_destroy(&actions);

    // Signalled once the program's lines are on the way.
    bool under = false;
    for (int i = 0; i < 3000 && !under; ++i) {
      under = emulator.framesIn().size() >= 12;
      if (!under) std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    ASSERT_TRUE(under) << emulator.logText();
    ::kill(pid, c.signal);
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
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
