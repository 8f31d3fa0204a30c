// NC program files, read for both generations, and written back.
#include <cstdint>
#include <string_view>

#include "nc/ncfile.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (bool withName : {true, false}) {
    const qxr::ProgramFile file = qxr::parseProgramFile(bytes, withName);
    if (file.status != qxr::ProgramFileStatus::kRead) continue;
    if (!qxr::isValidProgramNumber(file.number)) __builtin_trap();
    if (withName && file.name.size() > qxr::kProgramNameLength) __builtin_trap();
    // What was read, written and read again, gives the same program except
    // for empty lines at its end.
    std::string written;
    for (const auto& line : qxr::programFileLines(file.number, file.name, withName, file.lines))
      written += line + "\r\n";
    const qxr::ProgramFile again = qxr::parseProgramFile(written, withName);
    if (again.status != qxr::ProgramFileStatus::kRead || again.number != file.number) __builtin_trap();
    auto trimmed = file.lines;
    while (!trimmed.empty() && trimmed.back().empty()) trimmed.pop_back();
    // Lines with an embedded CR or LF cannot survive a line-based file.
    bool plain = file.unfilledCount == 0;
    for (const auto& line : trimmed)
      if (line.find_first_of("\r\n") != std::string::npos) plain = false;
    // Beyond the bound of filled gaps a program does not come back whole
    // (a file holding lines after a gap filled up to the bound is written
    // with gaps that can no longer be filled); the reader then says so.
    if (plain && again.lines != trimmed &&
        (trimmed.size() <= qxr::kMaxFilledProgramLines || again.unfilledCount == 0))
      __builtin_trap();
  }
  return 0;
}
