#pragma once
// The ".mcn" file: a compiled PLC program as hexadecimal text. 128 bytes of
// preset table, 32 bytes of timing block, then 6 bytes per instruction; two
// upper-case digits per byte, 16 bytes to a line.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/fileio.h"
#include "plc/plc.h"

namespace qxr {

inline constexpr int kMcnHeaderBytes = 2 * kPresetCount + kTimingBlockBytes;  // 160
inline constexpr int kMcnInstructionBytes = 6;
inline constexpr int kMcnBytesPerLine = 16;

// The ".mcn" path for the current PLC file: the part of the file name from
// its last "." replaced by ".mcn" (appended when there is no "."). A dot in a
// directory name is not an extension. A relative path lives in `startDir`.
std::string mcnPathFor(const std::string& plcFilePath, const std::string& startDir);

// The bytes of a compiled program: presets (low byte first), timing block,
// 6 bytes per instruction laid out by opcode class.
std::vector<std::uint8_t> mcnBytes(const PlcTables& tables, const std::vector<PlcInstruction>& instructions);
// The 6 bytes of one instruction.
std::array<std::uint8_t, kMcnInstructionBytes> mcnInstructionBytes(const PlcInstruction& instruction);

// The file text: "%.2X" per byte, CR LF after every 16th byte; the last line
// is ended only when it is full.
std::string mcnText(const std::vector<std::uint8_t>& bytes);

// Writes the ".mcn" file for `instructions` with the tables as they stand,
// atomically. False (and nothing written) when it cannot be created;
// `error` (when given) says why.
bool WriteMcnFile(const std::string& mcnPath, const PlcTables& tables,
                  const std::vector<PlcInstruction>& instructions, FileError* error = nullptr);

// Reads ".mcn" text byte by byte: pairs of hexadecimal digits (either case);
// line feeds, and a carriage return before a line feed, are skipped.
class McnReader {
 public:
  explicit McnReader(std::string text) : text_(std::move(text)) {}
  // The next byte; false at the end of the text or on a character that is
  // not a hexadecimal digit (both characters of the pair are consumed).
  bool readByte(std::uint8_t& byte);
  bool atEnd();

 private:
  int nextChar();
  std::string text_;
  std::size_t pos_ = 0;
};

// Loads the 64 preset entries; entries read before a failure stay replaced.
bool ReadMcnHeader(McnReader& reader, PlcTables& tables);
// Loads the two timing records byte for byte; bytes before a failure stay.
bool ReadMcnTimingBlock(McnReader& reader, PlcTables& tables);

struct McnInstructionRead {
  PlcStatus status = psOk;  // 0, 8, 31 or 32
  PlcInstruction instruction;
  std::string text;
};
// Reads the next instruction and formats it.
McnInstructionRead ReadMcnInstruction(McnReader& reader, const PlcTables& tables);

// A whole ".mcn" text turned back into source lines.
struct McnListing {
  enum Outcome { loEnd, loHeaderDamaged, loTimingDamaged, loBadInstruction };
  Outcome outcome = loEnd;
  std::vector<std::string> lines;
  PlcStatus status = psEnd;  // the status that ended the listing (loBadInstruction: 8 or 31)
  int commandNumber = 0;     // position of the failing instruction, from 1
};
McnListing listMcnText(std::string text, PlcTables& tables);

}  // namespace qxr
