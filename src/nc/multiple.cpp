#include "nc/multiple.h"

#include <cstdio>

namespace qxr {

std::string batchProgramCaption(int number) {
  char text[8];
  std::snprintf(text, sizeof text, "%c%02d", number >= kFirstGProgram ? 'G' : 'L', number);
  return text;
}

std::string batchFileName(std::string_view prefix, int number) {
  std::string name(prefix);
  name += batchProgramCaption(number);
  name += ".NC";
  return name;
}

bool isSafeBatchPrefix(std::string_view prefix) {
  return prefix.find('/') == std::string_view::npos && prefix.find('\0') == std::string_view::npos;
}

std::vector<std::string> batchFiles(const std::vector<std::pair<std::string, bool>>& entries, bool* tooMany) {
  std::vector<std::string> files;
  if (tooMany) *tooMany = false;
  for (const auto& [name, checked] : entries) {
    if (!checked) continue;
    if (static_cast<int>(files.size()) == kBatchFileLimit) {
      if (tooMany) *tooMany = true;
      return {};
    }
    files.push_back(name);
  }
  return files;
}

ProgramSelection::ProgramSelection() {
  setSpan(1, 16, true);
  setSpan(60, 62, true);
}

void ProgramSelection::setSpan(int firstNumber, int lastNumber, bool enable) {
  for (int n = firstNumber; n <= lastNumber; ++n) {
    enabled_[n - 1] = enable;
    checked_[n - 1] = false;
  }
}

void ProgramSelection::setChecked(int index, bool on) {
  if (index < 0 || index >= kBatchProgramCount) return;
  checked_[index] = on && enabled_[index];
}

bool ProgramSelection::clickRange(int range, bool on) {
  if (range < 0 || range >= kRangeCount) return false;
  if (ranges_[range] == on) return on;
  if (on && ((range == kL17to32 && ranges_[kL17to59]) || (range == kL17to59 && ranges_[kL17to32]))) {
    return false;
  }
  ranges_[range] = on;
  switch (range) {
    case kL17to32: setSpan(17, 32, on); break;
    case kL17to59: setSpan(17, 59, on); break;
    case kG63to68: setSpan(63, 68, on); break;
  }
  return on;
}

void ProgramSelection::selectAll() {
  for (int n = 1; n <= kBatchProgramCount; ++n) {
    bool on = false;
    if ((n >= 1 && n <= 16) || (n >= 60 && n <= 62)) on = true;
    else if (n >= 17 && n <= 32) on = ranges_[kL17to32] || ranges_[kL17to59];
    else if (n >= 33 && n <= 59) on = ranges_[kL17to59];
    else on = ranges_[kG63to68];
    checked_[n - 1] = on;
  }
}

void ProgramSelection::clearAll() { checked_.fill(false); }

int ProgramSelection::checkedCount() const {
  int count = 0;
  for (bool on : checked_) count += on;
  return count;
}

}  // namespace qxr
