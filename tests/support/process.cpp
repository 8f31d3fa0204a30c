#include "support/process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>

#include "support/tempdir.h"

extern char** environ;

namespace qxr::test {

std::string toolPath(const std::string& name) {
  if (name == "qxrtool" || name == "qxremu" || name == "qxrd") {
    const std::string path = binDir() + "/tools/" + name + "/" + name;
    return ::access(path.c_str(), X_OK) == 0 ? path : std::string();
  }
  for (const char* dir : {"/usr/sbin/", "/usr/bin/", "/sbin/", "/bin/"})
    if (::access((dir + name).c_str(), X_OK) == 0) return dir + name;
  return {};
}

std::optional<std::string> missingTool(const std::string& name) {
  if (!toolPath(name).empty()) return std::nullopt;
  if (name == "qxrtool" || name == "qxremu" || name == "qxrd") return name + " is not built in " + binDir();
  return name + " is not installed (scripts/setup.sh installs it)";
}

bool missingToolFails() {
  const char* ci = std::getenv("CI");
  return ci && *ci;
}

namespace {

std::string quoted(const std::string& arg) {
  std::string out = "'";
  for (char c : arg) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

}  // namespace

ToolRun runShell(const std::string& commandLine) {
  ToolRun run;
  FILE* out = ::popen(("exec 2>&1 </dev/null; " + commandLine).c_str(), "r");
  if (!out) return run;
  char chunk[4096];
  while (std::size_t n = std::fread(chunk, 1, sizeof chunk, out)) run.output.append(chunk, n);
  const int status = ::pclose(out);
  run.code = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return run;
}

std::string toolCommand(const std::string& name, const std::string& startDir) {
  if (startDir.empty()) return quoted(toolPath(name));
  return "cd " + quoted(startDir) + " && " + quoted(toolPath(name)) + " --dir " + quoted(startDir);
}

ToolRun runTool(const std::string& name, const std::vector<std::string>& args, const std::string& workDir) {
  if (const auto why = missingTool(name)) return {127, *why};
  std::string command = workDir.empty() ? "" : "cd " + quoted(workDir) + " && ";
  command += quoted(toolPath(name));
  for (const std::string& arg : args) command += " " + quoted(arg);
  return runShell(command);
}

Process::Process(const std::vector<std::string>& args, const std::string& outputFile) {
  int pipeEnds[2] = {-1, -1};
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  if (outputFile.empty()) {
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], STDOUT_FILENO);
  } else {
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, outputFile.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
  }
  std::vector<char*> argv;
  for (const auto& arg : args) argv.push_back(const_cast<char*>(arg.c_str()));
  argv.push_back(nullptr);
  const int error = ::posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (pipeEnds[1] >= 0) ::close(pipeEnds[1]);
  out_ = pipeEnds[0];
  if (error != 0) {
    pid_ = -1;
    throw std::runtime_error("cannot start " + args[0]);
  }
}

Process::~Process() {
  stop(SIGTERM);
  if (out_ >= 0) ::close(out_);
}

std::optional<std::string> Process::firstLine(int timeoutMs) {
  std::string line;
  while (out_ >= 0 && line.find('\n') == std::string::npos) {
    pollfd pfd{out_, POLLIN, 0};
    if (::poll(&pfd, 1, timeoutMs) <= 0) break;
    char chunk[256];
    const ssize_t n = ::read(out_, chunk, sizeof chunk);
    if (n <= 0) break;
    line.append(chunk, static_cast<std::size_t>(n));
  }
  if (out_ >= 0) ::close(out_);
  out_ = -1;
  if (line.find('\n') == std::string::npos) return std::nullopt;
  return line.substr(0, line.find('\n'));
}

bool Process::running() {
  if (pid_ <= 0) return false;
  if (::waitpid(pid_, &status_, WNOHANG) == pid_) {
    pid_ = -1;
    return false;
  }
  return true;
}

bool Process::idle() const {
  if (pid_ <= 0) return true;
  std::error_code error;
  const std::string tasks = "/proc/" + std::to_string(pid_) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, error)) {
    std::ifstream in(task.path() / "stat");
    std::string stat;
    std::getline(in, stat);
    // "pid (name) S ...": the state follows the name's closing parenthesis.
    const auto close = stat.rfind(')');
    if (close == std::string::npos || close + 2 >= stat.size()) return false;
    if (stat[close + 2] != 'S') return false;
  }
  return !error;
}

void Process::signal(int number) const {
  if (pid_ > 0) ::kill(pid_, number);
}

int Process::stop(int number) {
  if (pid_ <= 0) return status_;
  if (number) ::kill(pid_, number);
  ::waitpid(pid_, &status_, 0);
  pid_ = -1;
  return status_;
}

}  // namespace qxr::test
