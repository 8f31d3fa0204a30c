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
    // A listed instruction compiles again; the listing of an ATM instruction
    // does not compare its two counts, which the compiler does.
    const std::uint8_t opcode = read.instruction.opcode();
    const bool atmFamily = opcode >= 0x50 && opcode <= 0x56;
    qxr::PlcTables copy = tables;
    const qxr::PlcStatus status = qxr::CompileLine(read.text, copy).status;
    if (status != qxr::psOk && !(atmFamily && status == qxr::psOutOfRange)) __builtin_trap();
  }
  return 0;
}
