#include "shop/machines.h"

#include <strings.h>

#include <algorithm>
#include <charconv>

#include "base/bilingual.h"
#include "base/textio.h"
#include "link/netport.h"

namespace qxr {

namespace {

constexpr int kRates[] = {1200, 2400, 4800, 9600, 19200};

std::string_view trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) text.remove_suffix(1);
  return text;
}

bool sameName(std::string_view a, std::string_view b) {
  return a.size() == b.size() && strncasecmp(a.data(), b.data(), a.size()) == 0;
}

std::optional<int> numberIn(std::string_view text, int low, int high) {
  int value = 0;
  if (text.empty() || text.size() > 9) return std::nullopt;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size() || value < low || value > high) return std::nullopt;
  return value;
}

bool hasControlBytes(std::string_view text) {
  return std::any_of(text.begin(), text.end(), [](char ch) {
    const auto byte = static_cast<unsigned char>(ch);
    return byte < 0x20 || byte == 0x7f;
  });
}

// Applies one key of a machine section; false when its value is bad.
bool applyKey(Machine& machine, std::string_view key, std::string_view value, bool& known) {
  known = true;
  if (sameName(key, "model")) {
    const auto model = modelIndexOfName(value);
    if (model) machine.modelIndex = *model;
    return model.has_value();
  }
  if (sameName(key, "version")) {
    const auto version = versionIndexOfName(value);
    if (version) machine.versionIndex = *version;
    return version.has_value();
  }
  if (sameName(key, "port")) {
    if (!isValidMachinePort(value)) return false;
    machine.port = std::string(value);
    return true;
  }
  if (sameName(key, "baud")) {
    const auto rate = numberIn(value, 1, 1000000);
    if (!rate || !baudIndexOfRate(*rate)) return false;
    machine.baud = *rate;
    return true;
  }
  if (sameName(key, "timeout")) {
    const auto ms = numberIn(value, 1, 600000);
    if (ms) machine.timeoutMs = *ms;
    return ms.has_value();
  }
  if (sameName(key, "pacing")) {
    const auto ms = numberIn(value, 0, 1000);
    if (ms) machine.pacingMs = *ms;
    return ms.has_value();
  }
  if (sameName(key, "mode")) {
    if (!sameName(value, "block") && !sameName(value, "byte")) return false;
    machine.blockMode = sameName(value, "block");
    return true;
  }
  if (sameName(key, "folder")) {
    if (hasControlBytes(value)) return false;
    machine.folder = std::string(value);
    return true;
  }
  known = false;
  return false;
}

}  // namespace

std::optional<int> modelIndexOfName(std::string_view name) {
  for (int i = 0; i < kModelCount; ++i)
    if (sameName(name, kModelNames[i])) return i;
  return std::nullopt;
}

std::optional<int> versionIndexOfName(std::string_view name) {
  for (int i = 0; i < 3; ++i)
    if (sameName(name, kVersionNames[i])) return i;
  return std::nullopt;
}

std::optional<int> baudIndexOfRate(int rate) {
  for (int i = 0; i < 5; ++i)
    if (kRates[i] == rate) return i + 1;
  return std::nullopt;
}

bool isValidMachineName(std::string_view name) {
  return !name.empty() && name.size() <= kMachineNameLimit && trim(name) == name && !hasControlBytes(name) &&
         name.find_first_of("[]") == std::string_view::npos && !sameName(name, "shop");
}

bool isValidMachinePort(std::string_view port) {
  if (port.empty() || hasControlBytes(port)) return false;
  if (looksLikeNetworkAddress(port)) return parseNetworkAddress(port).has_value();
  if (port.front() == '/') return true;
  return port.size() >= 4 && sameName(port.substr(0, 3), "COM") && numberIn(port.substr(3), 1, kMaxPortCount);
}

std::string machineProblemText(int language, const MachineProblem& problem) {
  TextPair pair{};
  switch (problem.kind) {
    case MachineProblemKind::kBadLine: pair = {"line %d: not a [machine], key = value or comment: %s", "第 %d 行：不是 [機台]、鍵 = 值或註解：%s"}; break;
    case MachineProblemKind::kBadName: pair = {"line %d: not a machine name: %s", "第 %d 行：不是可用的機台名稱：%s"}; break;
    case MachineProblemKind::kDuplicateName: pair = {"line %d: a second machine named %s", "第 %d 行：機台名稱 %s 重複"}; break;
    case MachineProblemKind::kUnknownKey: pair = {"line %d: unknown key %s", "第 %d 行：不明的鍵 %s"}; break;
    case MachineProblemKind::kBadValue: pair = {"line %d: bad value: %s", "第 %d 行：值不正確：%s"}; break;
    case MachineProblemKind::kMissingKey: pair = {"line %d: the machine has no %s", "第 %d 行：此機台缺少 %s"}; break;
    case MachineProblemKind::kOutsideSection: pair = {"line %d: %s before the first [machine]", "第 %d 行：%s 出現在第一個 [機台] 之前"}; break;
  }
  return fillText(language, pair, problem.detail, {problem.line});
}

MachineFile MachineFile::parse(std::string_view text) {
  MachineFile file;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string_view::npos) end = text.size();
    std::string_view line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
    file.lines_.emplace_back(line);
    start = end + 1;
  }
  file.reparse();
  return file;
}

void MachineFile::reparse() {
  machines_.clear();
  problems_.clear();
  sections_.clear();
  journalPath_.clear();
  sections_.push_back({});
  std::optional<Machine> current;
  bool currentBad = false;
  bool inShop = false;
  bool hasModel = false, hasPort = false;
  int headerLine = 0;
  auto close = [&] {
    if (current && !currentBad) {
      if (!hasModel || !hasPort) {
        problems_.push_back({headerLine, MachineProblemKind::kMissingKey, !hasModel ? "model" : "port"});
      } else {
        machines_.push_back(*current);
      }
    }
    current.reset();
  };
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const int lineNumber = static_cast<int>(i) + 1;
    const std::string_view line = trim(lines_[i]);
    if (line.empty() || line.front() == '#' || line.front() == ';') continue;
    if (line.front() == '[') {
      close();
      sections_.back().end = i;
      const std::string_view name = line.back() == ']' ? trim(line.substr(1, line.size() - 2)) : std::string_view();
      sections_.push_back({std::string(name), i, lines_.size()});
      inShop = sameName(name, "shop");
      if (inShop) continue;
      headerLine = lineNumber;
      current = Machine{};
      current->name = std::string(name);
      hasModel = hasPort = false;
      currentBad = false;
      if (line.back() != ']' || !isValidMachineName(name)) {
        problems_.push_back({lineNumber, MachineProblemKind::kBadName, std::string(line)});
        currentBad = true;
      } else if (std::any_of(machines_.begin(), machines_.end(), [&](const Machine& m) { return sameName(m.name, name); })) {
        problems_.push_back({lineNumber, MachineProblemKind::kDuplicateName, std::string(name)});
        currentBad = true;
      }
      continue;
    }
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) {
      problems_.push_back({lineNumber, MachineProblemKind::kBadLine, std::string(line)});
      currentBad = true;
      continue;
    }
    const std::string_view key = trim(line.substr(0, equals));
    const std::string_view value = trim(line.substr(equals + 1));
    if (inShop) {
      if (sameName(key, "journal") && !value.empty() && !hasControlBytes(value)) {
        journalPath_ = std::string(value);
      } else {
        problems_.push_back({lineNumber, sameName(key, "journal") ? MachineProblemKind::kBadValue
                                                                    : MachineProblemKind::kUnknownKey,
                             std::string(sameName(key, "journal") ? line : key)});
      }
      continue;
    }
    if (!current) {
      problems_.push_back({lineNumber, MachineProblemKind::kOutsideSection, std::string(line)});
      continue;
    }
    bool known = false;
    if (!applyKey(*current, key, value, known)) {
      problems_.push_back({lineNumber, known ? MachineProblemKind::kBadValue : MachineProblemKind::kUnknownKey,
                           std::string(known ? line : key)});
      currentBad = true;
      continue;
    }
    hasModel = hasModel || sameName(key, "model");
    hasPort = hasPort || sameName(key, "port");
  }
  close();
  sections_.back().end = lines_.size();
}

std::string MachineFile::pathIn(const std::string& startDir) {
  return resolveCaseInsensitive(startDir, kMachineFileName);
}

MachineFile MachineFile::load(const std::string& startDir, FileError* error) {
  std::string bytes;
  const FileError result = readFileChecked(pathIn(startDir), kSettingsFileLimit, bytes);
  if (error) *error = result == FileError::kNotFound ? FileError::kNone : result;
  return parse(bytes);
}

const Machine* MachineFile::find(std::string_view name) const {
  for (const Machine& machine : machines_)
    if (sameName(machine.name, name)) return &machine;
  return nullptr;
}

std::vector<std::string> formatMachine(const Machine& machine) {
  std::vector<std::string> lines = {
      "[" + machine.name + "]",
      std::string("model   = ") + kModelNames[machine.modelIndex],
      std::string("version = ") + kVersionNames[machine.versionIndex],
      "port    = " + machine.port,
      "baud    = " + std::to_string(machine.baud),
      "timeout = " + std::to_string(machine.timeoutMs),
      std::string("mode    = ") + (machine.blockMode ? "block" : "byte"),
      "pacing  = " + std::to_string(machine.pacingMs),
  };
  if (!machine.folder.empty()) lines.push_back("folder  = " + machine.folder);
  return lines;
}

void MachineFile::put(const Machine& machine) {
  std::vector<std::string> section = formatMachine(machine);
  for (const Section& old : sections_) {
    if (old.first == old.end || !sameName(old.name, machine.name)) continue;
    // Blank lines and comments after the old entry stay where they were.
    std::size_t end = old.end;
    while (end > old.first + 1 && trim(lines_[end - 1]).empty()) --end;
    lines_.erase(lines_.begin() + static_cast<long>(old.first), lines_.begin() + static_cast<long>(end));
    lines_.insert(lines_.begin() + static_cast<long>(old.first), section.begin(), section.end());
    reparse();
    return;
  }
  while (!lines_.empty() && trim(lines_.back()).empty()) lines_.pop_back();
  if (!lines_.empty()) lines_.emplace_back();
  lines_.insert(lines_.end(), section.begin(), section.end());
  reparse();
}

bool MachineFile::remove(std::string_view name) {
  if (!find(name)) return false;
  for (const Section& old : sections_) {
    if (old.first == old.end || !sameName(old.name, name)) continue;
    lines_.erase(lines_.begin() + static_cast<long>(old.first), lines_.begin() + static_cast<long>(old.end));
    break;
  }
  reparse();
  return true;
}

std::string MachineFile::text() const {
  std::string bytes;
  for (const std::string& line : lines_) bytes += line + "\n";
  return bytes;
}

FileError MachineFile::save(const std::string& startDir) const { return saveFile(pathIn(startDir), text()); }

void applyMachine(const Machine& machine, Session& session) {
  session.modelIndex = machine.modelIndex;
  session.versionIndex = machine.versionIndex;
  session.settings.baudIndex = baudIndexOfRate(machine.baud).value_or(4);
  session.settings.timeoutMs = machine.timeoutMs;
  session.settings.transitMode = machine.blockMode ? 1 : 0;
  session.settings.bytePacingMs = machine.pacingMs;
}

std::optional<int> machinePortIndex(const Machine& machine) {
  if (machine.port.size() < 4 || !sameName(std::string_view(machine.port).substr(0, 3), "COM")) return std::nullopt;
  const auto number = numberIn(std::string_view(machine.port).substr(3), 1, kMaxPortCount);
  if (!number) return std::nullopt;
  return *number - 1;
}

std::string machineNamedPort(const Machine& machine) {
  return machinePortIndex(machine) ? std::string() : machine.port;
}

}  // namespace qxr
