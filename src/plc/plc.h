#pragma once
// The PLC instruction-list language: operands, the instruction tables, the
// compiled 8-byte instruction and the program-wide preset and timing tables.
#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"

namespace qxr {

// Status of compiling or formatting one instruction; the operator sees
// catalogue message 200 + status.
enum PlcStatus : int {
  psOk = 0,
  psUnknownMnemonic = 2,
  psWrongKind = 3,
  psTooManyOperands = 4,
  psMissingOperand = 5,
  psMalformedOperand = 6,
  psOutOfRange = 7,
  psBadInstruction = 8,  // formatting: unknown opcode or stored operand out of range
  psNoMemory = 30,
  psTruncated = 31,  // reading: the data ends inside an instruction
  psEnd = 32,        // reading: normal end of the data
};

inline constexpr int kPlcMessageBase = msg::kPlcErrorBase;

// The operand prefix; the value is the kind stored in compiled instructions.
enum OperandKind : std::uint8_t {
  okRelay = 0,    // no prefix: bit address or plain number
  okTimer = 1,    // "T"
  okCounter = 2,  // "C"
  okTm = 3,       // "TM"
  okDm = 4,       // "DM"
  okDecimal = 5,  // "#"
  okHex = 6,      // "$"
  okHashTm = 7,   // "#TM"
  okMarker = 8,   // "?": a prefix without a number, never valid
};
inline constexpr int kOperandKindCount = 9;

// Prefix text and printed width of each kind.
std::string_view operandPrefix(int kind);
int operandWidth(int kind);

// One compiled instruction. Byte 0 opcode, 1 zero, 2 kind / number / count,
// 3 zero or the CNT address kind, 4-5 and 6-7 little-endian values.
struct PlcInstruction {
  std::array<std::uint8_t, 8> bytes{};

  std::uint8_t opcode() const { return bytes[0]; }
  std::uint16_t word(int at) const {
    return static_cast<std::uint16_t>(bytes[at] | (bytes[at + 1] << 8));
  }
  void setWord(int at, std::uint16_t value) {
    bytes[at] = static_cast<std::uint8_t>(value & 0xFF);
    bytes[at + 1] = static_cast<std::uint8_t>(value >> 8);
  }
  bool operator==(const PlcInstruction&) const = default;
};

inline constexpr int kPresetCount = 64;
using PresetTable = std::array<std::uint16_t, kPresetCount>;

// 16 bytes: count1, count2, kind1, 0, address1 (LE), kind2, 0, address2 (LE), 6 zeros.
struct TimingRecord {
  std::array<std::uint8_t, 16> bytes{};

  std::uint8_t count1() const { return bytes[0]; }
  std::uint8_t count2() const { return bytes[1]; }
  std::uint8_t kind1() const { return bytes[2]; }
  std::uint16_t address1() const { return static_cast<std::uint16_t>(bytes[4] | (bytes[5] << 8)); }
  std::uint8_t kind2() const { return bytes[6]; }
  std::uint16_t address2() const { return static_cast<std::uint16_t>(bytes[8] | (bytes[9] << 8)); }
};
inline constexpr int kTimingBlockBytes = 32;
using TimingBlock = std::array<TimingRecord, 2>;

// The program-wide state the compiler writes and the reader loads. It
// survives between compilations: a compilation overwrites only the preset
// slots its TMR/UDC/CNT lines name, and ATM lines only record 0.
struct PlcTables {
  PresetTable presets{};
  TimingBlock timing{};
};

// The instruction families; each decides the operand count, the status
// precedence, the range checks, the stored bytes and the text form.
enum PlcForm : std::uint8_t {
  pfNone,       // no operand
  pfContact,    // LD, LDB, AND, ANB, OR, ORB
  pfCoil,       // OUT, OUB, KEEP
  pfSetReset,   // SET, RES
  pfEdge,       // DIFU, DIFD
  pfTimer,      // TMR, UDC
  pfCounter,    // CNT
  pfShiftReg,   // SFT
  pfAtm,        // ATMU ... ATM
  pfDataWrite,  // DW
  pfLabel,      // LAB, JMP, CALL
  pfFor,        // FOR
  pfLoad,       // LDA
  pfStore,      // STA
  pfArith,      // CMP, ADD, SUB
  pfLogic,      // ANA, ORA, XOA
  pfDemb,       // DEMB
  pfDem,        // DEM
  pfShift,      // SRA, SLA, RRA, RLA
  pfIncDec,     // INC, DEC
};

struct PlcTableRow {
  std::string_view mnemonic;
  std::uint8_t opcode;
  PlcForm form;
};

inline constexpr int kPlcTableRows = 78;
// Sorted by mnemonic in byte order (compiling) and by opcode (formatting).
const std::array<PlcTableRow, kPlcTableRows>& SourceTable();
const std::array<PlcTableRow, kPlcTableRows>& OpcodeTable();
const PlcTableRow* findMnemonic(std::string_view mnemonic);
const PlcTableRow* findOpcode(std::uint8_t opcode);

struct ParsedOperand {
  PlcStatus status = psOk;  // 0, 5, 6 or 7
  std::uint8_t kind = okRelay;
  std::uint16_t value = 0;
};
// Parses one operand token; nullopt is a missing operand.
ParsedOperand ParseOperand(std::optional<std::string_view> token);

struct CompiledLine {
  PlcStatus status = psOk;
  PlcInstruction instruction;
};
// Compiles one line whose comment is already cut off. TMR/UDC/CNT write
// their preset and ATM lines timing record 0, only once every operand passed.
CompiledLine CompileLine(std::string_view line, PlcTables& tables);

// A source line as the program compiler sees it: cut at its first ";" and at
// a line feed.
std::string_view stripPlcComment(std::string_view line);

struct PlcCompilation {
  PlcStatus status = psOk;
  std::vector<PlcInstruction> instructions;  // empty unless status is psOk
  // The first failing line (1-based) and its text, for the operator.
  int failingLine = 0;
  std::string failingText;
};
// Compiles a program in source order. Empty lines (also once the comment is
// cut) produce nothing; a line of blanks and tabs produces NOP.
PlcCompilation compilePlcProgram(const std::vector<std::string>& lines, PlcTables& tables);

// Formats a compiled instruction as source text. Stored operands go through
// the compiler's range checks again; one that would not compile gives 8.
struct FormattedInstruction {
  PlcStatus status = psOk;
  std::string text;
};
FormattedInstruction FormatInstruction(const PlcInstruction& instruction, const PlcTables& tables);

}  // namespace qxr
