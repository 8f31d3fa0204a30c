// The PLC compiler on arbitrary source text; whatever compiles must format
// back into text that compiles to the same instruction.
#include <cstdint>
#include <string>
#include <vector>

#include "plc/mcn.h"
#include "plc/plc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < size; ++i) {
    if (data[i] == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(static_cast<char>(data[i]));
    }
  }
  lines.push_back(line);

  qxr::PlcTables tables;
  const qxr::PlcCompilation compilation = qxr::compilePlcProgram(lines, tables);
  if (compilation.status != qxr::psOk) return 0;
  (void)qxr::mcnText(qxr::mcnBytes(tables, compilation.instructions));
  for (const qxr::PlcInstruction& instruction : compilation.instructions) {
    const qxr::FormattedInstruction formatted = qxr::FormatInstruction(instruction, tables);
    if (formatted.status != qxr::psOk) continue;  // e.g. an ATM line whose record 0 a later ATM replaced
    qxr::PlcTables copy = tables;
    const qxr::CompiledLine again = qxr::CompileLine(formatted.text, copy);
    if (again.status != qxr::psOk) __builtin_trap();
  }
  return 0;
}
