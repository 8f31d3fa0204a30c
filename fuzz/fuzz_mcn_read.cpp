// ".mcn" text as the PLC receive and `plc decompile` read it.
#include <cstdint>
#include <string>

#include "plc/mcn.h"
#include "plc/plc.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qxr::PlcTables tables;
  qxr::McnReader reader(std::string(reinterpret_cast<const char*>(data), size));
  if (!qxr::ReadMcnHeader(reader, tables)) return 0;
  if (!qxr::ReadMcnTimingBlock(reader, tables)) return 0;
  for (int count = 0; count < 100000; ++count) {
    const qxr::McnInstructionRead read = qxr::ReadMcnInstruction(reader, tables);
    if (read.status != qxr::psOk) break;
    // A listed instruction compiles again.
    qxr::PlcTables copy = tables;
    if (qxr::CompileLine(read.text, copy).status != qxr::psOk) __builtin_trap();
  }
  return 0;
}
