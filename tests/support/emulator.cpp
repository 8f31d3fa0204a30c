#include "support/emulator.h"

#include <signal.h>

#include <cstdio>
#include <filesystem>
#include <sstream>
#include <stdexcept>

#include "support/wait.h"

namespace qxr::test {

namespace {

std::optional<std::string> readBytes(const std::string& path) {
  if (!std::filesystem::exists(path)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  std::ostringstream content;
  content << in.rdbuf();
  return content.str();
}

}  // namespace

std::string Emulator::binary() { return toolPath("qxremu"); }

Emulator::Emulator(const TempDir& dir, const EmulatorOptions& options) {
  work_ = dir.file("emulator-" + options.portName);
  link_ = dir.file(options.portName);
  std::filesystem::create_directories(work_ + "/input");
  auto input = [&](const std::string& name, const std::string& bytes) {
    const std::string path = work_ + "/input/" + name;
    std::ofstream(path, std::ios::binary) << bytes;
    return path;
  };
  std::vector<std::string> args = {binary(),
                                   "--link", dir.file(options.portName),
                                   "--model", std::to_string(options.model),
                                   "--version", options.version,
                                   "--store", storeDir(),
                                   "--log", logPath()};
  if (options.designation) args.insert(args.end(), {"--designation", *options.designation});
  if (options.versionText) args.insert(args.end(), {"--version-text", *options.versionText});
  for (const auto& [number, bytes] : options.programs)
    args.insert(args.end(), {"--program", std::to_string(number) + ":" +
                                              input("program" + std::to_string(number) + ".nc", bytes)});
  if (!options.parameters.empty()) args.insert(args.end(), {"--params", input("parameters.txt", options.parameters)});
  if (!options.plc.empty()) args.insert(args.end(), {"--plc", input("plc.mcn", options.plc)});
  if (options.baud) args.insert(args.end(), {"--baud", std::to_string(options.baud)});
  if (options.silentAfter >= 0) args.insert(args.end(), {"--silent-after", std::to_string(options.silentAfter)});
  if (options.hangupAfter >= 0) args.insert(args.end(), {"--hangup-after", std::to_string(options.hangupAfter)});
  for (const auto& frame : options.refuse) args.insert(args.end(), {"--refuse", frame});
  if (options.garbage) args.push_back("--garbage");
  if (options.overlong) args.push_back("--overlong");
  args.insert(args.end(), options.extraArgs.begin(), options.extraArgs.end());
  if (args[0].empty()) throw std::runtime_error(*missingTool("qxremu"));
  process_ = std::make_unique<Process>(args);
  // The first line on its stdout is the terminal's path; by then the link exists.
  const auto line = process_->firstLine(kWaitDeadlineMs);
  if (!line) {
    process_.reset();
    throw std::runtime_error("the emulator did not start: " + args[0]);
  }
  slavePath_ = *line;
}

Emulator::~Emulator() = default;

void Emulator::stop() {
  if (process_) process_->stop(SIGTERM);
}

void Emulator::unplug() {
  if (!process_) return;
  process_->stop(SIGKILL);
  // A test running beside this one may get a new terminal of the same name
  // at once: a link left at that name would take the port to the other
  // test's emulator. It is moved to a path that never exists instead.
  std::error_code error;
  if (std::filesystem::read_symlink(link_, error) != slavePath_ || error) return;
  const std::string moved = link_ + ".unplugged";
  std::filesystem::remove(moved, error);
  std::filesystem::create_symlink(work_ + "/unplugged-device", moved, error);
  if (!error) std::filesystem::rename(moved, link_, error);
}

bool Emulator::running() { return process_ && process_->running(); }

bool Emulator::idle() const { return process_ && process_->pid() > 0 && process_->idle(); }

std::string Emulator::logText() const { return readBytes(logPath()).value_or(""); }

std::vector<std::pair<bool, std::string>> Emulator::traffic() const {
  std::vector<std::pair<bool, std::string>> entries;
  std::istringstream lines(logText());
  std::string line;
  while (std::getline(lines, line)) {
    const bool in = line.rfind("in", 0) == 0;
    if (!in && line.rfind("out", 0) != 0) continue;
    std::istringstream hex(line.substr(in ? 2 : 3));
    std::string bytes, digits;
    while (hex >> digits) bytes += static_cast<char>(std::stoi(digits, nullptr, 16));
    entries.emplace_back(in, bytes);
  }
  return entries;
}

std::vector<std::string> Emulator::direction(bool in) const {
  std::vector<std::string> out;
  for (auto& [fromPc, bytes] : traffic())
    if (fromPc == in) out.push_back(bytes);
  return out;
}

std::vector<std::string> Emulator::framesInAfter(std::size_t count) {
  waitUntil([&] { return framesIn().size() >= count || !running(); });
  return framesIn();
}

std::optional<std::string> Emulator::storedProgram(int number) const {
  char name[16];
  std::snprintf(name, sizeof name, "P%02d.nc", number);
  return readBytes(storeDir() + "/" + name);
}

std::string Emulator::storedParameters() const { return readBytes(storeDir() + "/parameters.txt").value_or(""); }

std::string Emulator::storedPlc() const { return readBytes(storeDir() + "/plc.mcn").value_or(""); }

}  // namespace qxr::test
