// qxrtool at the edges of the process: started with standard descriptors
// closed, writing into a pipe whose reader has gone, and several at once on
// the same start directory. After each command the controller (the
// emulator's store) holds exactly what was sent, and nothing else went down
// the line.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "base/settings.h"
#include "support/emulator.h"

extern char** environ;

namespace qxr {
namespace {

const std::string kProgram = "7\r\nPART1\r\nN1 G01 X10 Y10 F100\r\nN2 M30\r\n";

std::string toolBinary() { return test::binDir() + "/tools/qxrtool/qxrtool"; }

struct Start {
  test::TempDir dir;
  Start() {
    std::filesystem::copy_file(test::dataDir() + "Message.E", dir.file("Message.E"));
    dir.write("Customer.ini", "Language = 1\r\nBaud = 4\r\n");
    Settings settings;
    settings.transitMode = 1;
    settings.timeoutMs = 300;
    dir.write("Init.ini", formatInitIni(settings));
    dir.write("good.nc", kProgram);
    dir.write("good.par", "Speed(12)=300\r\n");
    dir.write("good.pmc", "LD 0001\r\nOUT 0500\r\nEND\r\n");
  }
  // The exit status of qxrtool run by the shell with `redirect` after it.
  int shell(const std::string& args, const std::string& redirect) const {
    const std::string command = "cd '" + dir.dir() + "' && " + toolBinary() + " --dir " + dir.dir() +
                                " --port COM2 --yes " + args + " " + redirect;
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
};

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
      Start start;
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
  Start start;
  std::string program = "7\r\nLONG\r\n";
  for (int i = 1; i <= 300; ++i) program += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\r\n";
  start.dir.write("long.nc", program);
  test::Emulator controller(start.dir);
  int out[2];
  ASSERT_EQ(::pipe(out), 0);
  std::vector<std::string> args = {toolBinary(), "--dir", start.dir.dir(), "--port", "COM2", "--yes",
                                   "nc", "send", start.dir.file("long.nc")};
  std::vector<char*> argv;
  for (auto& arg : args) argv.push_back(arg.data());
  argv.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
  posix_spawn_file_actions_adddup2(&actions, out[1], STDERR_FILENO);
  posix_spawn_file_actions_addclose(&actions, out[0]);
  pid_t pid = 0;
  ASSERT_EQ(::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ), 0);
  posix_spawn_file_actions_destroy(&actions);
  ::close(out[1]);
  ::close(out[0]);  // nobody reads: every write of the tool meets a broken pipe
  int status = 0;
  ASSERT_EQ(::waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
  EXPECT_EQ(WEXITSTATUS(status), 0);
  EXPECT_EQ(controller.storedProgram(7), program);
}

// Assigns at once to one entry: each succeeds and says what it linked, and
// the entry ends as one of them.
TEST(ToolEdges, ConcurrentAssignsEachSayTheirOwnTarget) {
  if (!std::filesystem::exists(toolBinary())) FAIL() << "qxrtool not built";
  Start start;
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
