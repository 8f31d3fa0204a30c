#pragma once
// Programs the tests start: one way to find the built ones, one runner for a
// command line, and a child process that is stopped when it goes out of scope.
//
//   QXR_REQUIRE_TOOL("qxrtool");                       // a missing tool: skipped, or failed under CI
//   auto run = qxr::test::runTool("qxrtool", {"--dir", dir.dir(), "nc", "convert", "part.nc"}, dir.dir());
//   EXPECT_EQ(run.code, 0) << run.output;
#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

namespace qxr::test {

// The path of a program the tests use: "qxrtool" and "qxremu" in the build
// tree ($QXR_BIN_DIR, or the tree the tests were configured in), anything
// else ("ser2net") where the system keeps it. Empty when there is none.
std::string toolPath(const std::string& name);
// Why a test cannot run the tool, or nothing when it is there.
std::optional<std::string> missingTool(const std::string& name);
// A missing tool fails a test under CI (the variable CI set) and skips it elsewhere.
bool missingToolFails();

// What a command printed (stdout and stderr together) and its exit status
// (-1 when a signal ended it).
struct ToolRun {
  int code = -1;
  std::string output;
};
// Runs the tool `name` (see toolPath) with the arguments, in `workDir` when
// given, standard input from /dev/null.
ToolRun runTool(const std::string& name, const std::vector<std::string>& args, const std::string& workDir = {});
// Runs a shell command line as it is.
ToolRun runShell(const std::string& commandLine);
// The start of a shell command line that runs the tool; with a start
// directory, in that directory and told so ("cd DIR && qxrtool --dir DIR").
std::string toolCommand(const std::string& name, const std::string& startDir = {});

// A child process. Its standard output (and error) goes to `outputFile`, or,
// when that is empty, to a pipe whose first line firstLine() reads.
class Process {
 public:
  explicit Process(const std::vector<std::string>& args, const std::string& outputFile = {});
  ~Process();
  Process(const Process&) = delete;
  Process& operator=(const Process&) = delete;

  pid_t pid() const { return pid_; }
  // The first line the process printed, without its end; nothing when it
  // ended or printed none within `timeoutMs`.
  std::optional<std::string> firstLine(int timeoutMs);
  // True while it runs.
  bool running();
  // True when every thread of it is asleep (waiting for input or a timer),
  // so it has done all it can with what it has been given.
  bool idle() const;
  void signal(int number) const;
  // Sends the signal (none: 0) and waits for the end; the wait status.
  int stop(int number);
  int status() const { return status_; }

 private:
  pid_t pid_ = -1;
  int out_ = -1;
  int status_ = -1;
};

}  // namespace qxr::test

// In a GoogleTest body: skips the test (fails it under CI) when the tool is missing.
#define QXR_REQUIRE_TOOL(name)                                                \
  do {                                                                        \
    if (const auto qxrWhy_ = ::qxr::test::missingTool(name)) {                \
      if (::qxr::test::missingToolFails()) FAIL() << *qxrWhy_;                \
      GTEST_SKIP() << *qxrWhy_;                                               \
    }                                                                         \
  } while (0)
