#include "plc/plc.h"

#include <algorithm>
#include <cstdio>
#include <new>

namespace qxr {

namespace {

constexpr std::string_view kPrefixes[kOperandKindCount] = {"", "T", "C", "TM", "DM", "#", "$", "#TM", "?"};
constexpr int kWidths[kOperandKindCount] = {4, 3, 3, 2, 4, 5, 4, 2, 0};

// A line holds the mnemonic and at most 19 operand tokens.
constexpr std::size_t kMaxTokens = 20;
// Digits an operand may have (leading zeros count).
constexpr std::size_t kMaxDecimalDigits = 5;
constexpr std::size_t kMaxHexDigits = 4;

constexpr std::array<PlcTableRow, kPlcTableRows> kOpcodeRows = {{
    {"NOP", 0x00, pfNone},      {"LD", 0x01, pfContact},     {"LDB", 0x02, pfContact},
    {"AND", 0x03, pfContact},   {"ANB", 0x04, pfContact},    {"OR", 0x05, pfContact},
    {"ORB", 0x06, pfContact},   {"ANL", 0x07, pfNone},       {"ORL", 0x08, pfNone},
    {"OUT", 0x09, pfCoil},      {"OUB", 0x0A, pfCoil},       {"SET", 0x0B, pfSetReset},
    {"RES", 0x0C, pfSetReset},  {"KEEP", 0x0D, pfCoil},      {"DIFU", 0x0E, pfEdge},
    {"DIFD", 0x0F, pfEdge},     {"TMR", 0x10, pfTimer},      {"CNT", 0x13, pfCounter},
    {"UDC", 0x14, pfTimer},     {"SFT", 0x15, pfShiftReg},   {"SPS", 0x1D, pfNone},
    {"SRD", 0x1E, pfNone},      {"SPP", 0x1F, pfNone},       {"ATMU", 0x50, pfAtm},
    {"ATMD", 0x51, pfAtm},      {"ATEU", 0x52, pfAtm},       {"ATED", 0x53, pfAtm},
    {"ATSU", 0x54, pfAtm},      {"ATSD", 0x55, pfAtm},       {"ATM", 0x56, pfAtm},
    {"DW", 0x60, pfDataWrite},  {"LAB", 0x70, pfLabel},      {"JMP", 0x71, pfLabel},
    {"CALL", 0x72, pfLabel},    {"RET", 0x74, pfNone},       {"FOR", 0x75, pfFor},
    {"NEXT", 0x76, pfNone},     {"ENDH", 0x7D, pfNone},      {"END", 0x7E, pfNone},
    {"ENDP", 0x7F, pfNone},     {"LDA", 0x80, pfLoad},       {"STA", 0x81, pfStore},
    {"CMP", 0x82, pfArith},     {"ADD", 0x83, pfArith},      {"SUB", 0x84, pfArith},
    {"ANA", 0x87, pfLogic},     {"ORA", 0x88, pfLogic},      {"XOA", 0x89, pfLogic},
    {"DEMB", 0xA0, pfDemb},     {"DEM", 0xA1, pfDem},        {"SRA", 0xB0, pfShift},
    {"SLA", 0xB1, pfShift},     {"RRA", 0xB2, pfShift},      {"RLA", 0xB3, pfShift},
    {"CPL", 0xB4, pfNone},      {"INC", 0xB5, pfIncDec},     {"DEC", 0xB6, pfIncDec},
    {"TBCD", 0xB7, pfNone},     {"TBIN", 0xB8, pfNone},      {"@LDA", 0xC0, pfLoad},
    {"@STA", 0xC1, pfStore},    {"@CMP", 0xC2, pfArith},     {"@ADD", 0xC3, pfArith},
    {"@SUB", 0xC4, pfArith},    {"@ANA", 0xC7, pfLogic},     {"@ORA", 0xC8, pfLogic},
    {"@XOA", 0xC9, pfLogic},    {"@DEMB", 0xE0, pfDemb},     {"@DEM", 0xE1, pfDem},
    {"@SRA", 0xF0, pfShift},    {"@SLA", 0xF1, pfShift},     {"@RRA", 0xF2, pfShift},
    {"@RLA", 0xF3, pfShift},    {"@CPL", 0xF4, pfNone},      {"@INC", 0xF5, pfIncDec},
    {"@DEC", 0xF6, pfIncDec},   {"@TBCD", 0xF7, pfNone},     {"@TBIN", 0xF8, pfNone},
}};

constexpr std::array<PlcTableRow, kPlcTableRows> sortedByMnemonic() {
  auto rows = kOpcodeRows;
  std::sort(rows.begin(), rows.end(),
            [](const PlcTableRow& a, const PlcTableRow& b) { return a.mnemonic < b.mnemonic; });
  return rows;
}
constexpr std::array<PlcTableRow, kPlcTableRows> kSourceRows = sortedByMnemonic();

static_assert(std::is_sorted(kOpcodeRows.begin(), kOpcodeRows.end(),
                             [](const PlcTableRow& a, const PlcTableRow& b) { return a.opcode < b.opcode; }));

// --- range checks -----------------------------------------------------------

enum RangeCheck : std::uint8_t {
  rcNotTaken,  // the instruction does not take this kind: status 3
  rcAny,       // any 16-bit value
  rcBelow,     // value < limit
  rcBetween,   // low <= value <= limit
  rcInput,
  rcOutput,
  rcStore,
  rcEdge,
  rcNever,  // taken, but never in range: status 7
};

struct KindRule {
  RangeCheck check = rcNotTaken;
  std::uint16_t limit = 0;
  std::uint16_t low = 0;
};
using OperandRule = std::array<KindRule, kOperandKindCount>;

bool isBitAddress(unsigned value) { return value % 100 <= 15; }
bool inRanges(unsigned value, std::initializer_list<std::pair<unsigned, unsigned>> ranges) {
  if (!isBitAddress(value)) return false;
  for (const auto& [low, high] : ranges)
    if (value >= low && value <= high) return true;
  return false;
}
bool inInputRange(unsigned v) { return inRanges(v, {{0, 2915}, {3000, 4915}, {5000, 5915}}); }
bool inOutputRange(unsigned v) { return inRanges(v, {{500, 1915}, {2009, 2011}, {4000, 4915}, {5500, 5915}}); }
bool inStoreRange(unsigned v) { return inRanges(v, {{500, 1915}, {4000, 4915}, {5500, 5915}}); }
bool inEdgeRange(unsigned v) { return inRanges(v, {{1000, 1915}}); }

PlcStatus checkOperand(const OperandRule& rule, unsigned kind, unsigned value) {
  if (kind >= kOperandKindCount) return psWrongKind;
  const KindRule& r = rule[kind];
  bool ok = false;
  switch (r.check) {
    case rcNotTaken: return psWrongKind;
    case rcAny: ok = true; break;
    case rcBelow: ok = value < r.limit; break;
    case rcBetween: ok = value >= r.low && value <= r.limit; break;
    case rcInput: ok = inInputRange(value); break;
    case rcOutput: ok = inOutputRange(value); break;
    case rcStore: ok = inStoreRange(value); break;
    case rcEdge: ok = inEdgeRange(value); break;
    case rcNever: ok = false; break;
  }
  return ok ? psOk : psOutOfRange;
}

constexpr KindRule below(std::uint16_t limit) { return {rcBelow, limit, 0}; }
constexpr KindRule between(std::uint16_t low, std::uint16_t high) { return {rcBetween, high, low}; }
constexpr KindRule take(RangeCheck check) { return {check, 0, 0}; }

OperandRule rule(std::initializer_list<std::pair<int, KindRule>> entries) {
  OperandRule r{};
  for (const auto& [kind, kindRule] : entries) r[kind] = kindRule;
  return r;
}

const OperandRule kContact = rule({{okRelay, take(rcInput)}, {okTimer, below(64)}, {okCounter, below(64)}});
const OperandRule kCoil = rule({{okRelay, take(rcOutput)}});
const OperandRule kSetReset = rule({{okRelay, take(rcOutput)}, {okTimer, below(64)}, {okCounter, below(64)}});
const OperandRule kEdge = rule({{okRelay, take(rcEdge)}});
const OperandRule kNumber64 = rule({{okRelay, below(64)}});
const OperandRule kAnyDecimal = rule({{okDecimal, take(rcAny)}});
const OperandRule kDecimalByte = rule({{okDecimal, below(256)}});
const OperandRule kInput = rule({{okRelay, take(rcInput)}});
const OperandRule kAtmCount = rule({{okRelay, between(1, 99)}});
const OperandRule kConstant = rule({{okDecimal, take(rcAny)}, {okHex, take(rcAny)}});
const OperandRule kDmWord = rule({{okDm, below(500)}});
const OperandRule kLabel = rule({{okRelay, below(256)}});
const OperandRule kForCount = rule({{okDm, below(500)}, {okTm, below(30)}, {okDecimal, take(rcAny)}});
const OperandRule kLoad = rule({{okRelay, take(rcInput)},
                                {okTimer, below(64)},
                                {okCounter, below(64)},
                                {okTm, below(32)},
                                {okDm, below(500)},
                                {okDecimal, take(rcAny)},
                                {okHex, take(rcAny)},
                                {okHashTm, below(30)},
                                {okMarker, take(rcNever)}});
const OperandRule kStore = rule({{okRelay, take(rcStore)},
                                 {okTimer, below(64)},
                                 {okCounter, below(64)},
                                 {okTm, below(30)},
                                 {okDm, below(500)},
                                 {okHashTm, below(30)}});
const OperandRule kArith = rule(
    {{okTm, below(32)}, {okDm, below(500)}, {okDecimal, take(rcAny)}, {okHex, take(rcAny)}, {okHashTm, below(30)}});
const OperandRule kLogic = rule({{okRelay, take(rcInput)},
                                 {okTm, below(32)},
                                 {okDm, below(500)},
                                 {okDecimal, take(rcAny)},
                                 {okHex, take(rcAny)},
                                 {okHashTm, below(30)}});
const OperandRule kShiftCount = rule({{okDecimal, between(1, 16)}});
const OperandRule kIncDec = rule({{okTm, below(30)}, {okDm, below(500)}});

// How a family counts its operands: the one-operand instructions, DEM, DEMB
// and the ATM family report a missing operand before a surplus one; TMR,
// UDC, CNT, SFT and DW report a surplus one first and find a missing one
// only when they reach it.
enum CountOrder : std::uint8_t { coMissingFirst, coSurplusFirst };

struct FormRules {
  CountOrder order;
  std::vector<const OperandRule*> operands;
};

const FormRules& formRules(PlcForm form) {
  static const FormRules kRules[] = {
      /* pfNone      */ {coMissingFirst, {}},
      /* pfContact   */ {coMissingFirst, {&kContact}},
      /* pfCoil      */ {coMissingFirst, {&kCoil}},
      /* pfSetReset  */ {coMissingFirst, {&kSetReset}},
      /* pfEdge      */ {coMissingFirst, {&kEdge}},
      /* pfTimer     */ {coSurplusFirst, {&kNumber64, &kAnyDecimal}},
      /* pfCounter   */ {coSurplusFirst, {&kNumber64, &kAnyDecimal, &kInput}},
      /* pfShiftReg  */ {coSurplusFirst, {&kEdge, &kEdge}},
      /* pfAtm       */ {coMissingFirst, {&kAtmCount, &kAtmCount, &kCoil, &kCoil}},
      /* pfDataWrite */ {coSurplusFirst, {&kConstant, &kDmWord}},
      /* pfLabel     */ {coMissingFirst, {&kLabel}},
      /* pfFor       */ {coMissingFirst, {&kForCount}},
      /* pfLoad      */ {coMissingFirst, {&kLoad}},
      /* pfStore     */ {coMissingFirst, {&kStore}},
      /* pfArith     */ {coMissingFirst, {&kArith}},
      /* pfLogic     */ {coMissingFirst, {&kLogic}},
      /* pfDemb      */ {coMissingFirst, {&kInput, &kDecimalByte}},
      /* pfDem       */ {coMissingFirst, {&kInput, &kAnyDecimal}},
      /* pfShift     */ {coMissingFirst, {&kShiftCount}},
      /* pfIncDec    */ {coMissingFirst, {&kIncDec}},
  };
  return kRules[form];
}

bool isDecimalDigit(char c) { return c >= '0' && c <= '9'; }
int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

std::vector<std::string_view> splitTokens(std::string_view line) {
  std::vector<std::string_view> tokens;
  std::size_t i = 0;
  while (i < line.size() && tokens.size() < kMaxTokens) {
    while (i < line.size() && (line[i] == ' ' || line[i] == '\t')) ++i;
    const std::size_t start = i;
    while (i < line.size() && line[i] != ' ' && line[i] != '\t') ++i;
    if (i > start) tokens.push_back(line.substr(start, i - start));
  }
  return tokens;
}

// --- formatting -------------------------------------------------------------

std::string padded(unsigned value, int width, bool hex = false) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, hex ? "%0*X" : "%0*u", width, value);
  return buffer;
}

std::string operandText(unsigned kind, unsigned value) {
  return " " + std::string(kPrefixes[kind]) + padded(value, kWidths[kind], kind == okHex);
}

}  // namespace

std::string_view operandPrefix(int kind) {
  return kind >= 0 && kind < kOperandKindCount ? kPrefixes[kind] : std::string_view();
}
int operandWidth(int kind) { return kind >= 0 && kind < kOperandKindCount ? kWidths[kind] : 0; }

const std::array<PlcTableRow, kPlcTableRows>& SourceTable() { return kSourceRows; }
const std::array<PlcTableRow, kPlcTableRows>& OpcodeTable() { return kOpcodeRows; }

const PlcTableRow* findMnemonic(std::string_view mnemonic) {
  int low = 0, high = kPlcTableRows - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    const int order = mnemonic.compare(kSourceRows[middle].mnemonic);
    if (order == 0) return &kSourceRows[middle];
    if (order < 0)
      high = middle - 1;
    else
      low = middle + 1;
  }
  return nullptr;
}

const PlcTableRow* findOpcode(std::uint8_t opcode) {
  int low = 0, high = kPlcTableRows - 1;
  while (low <= high) {
    const int middle = (low + high) / 2;
    if (kOpcodeRows[middle].opcode == opcode) return &kOpcodeRows[middle];
    if (opcode < kOpcodeRows[middle].opcode)
      high = middle - 1;
    else
      low = middle + 1;
  }
  return nullptr;
}

ParsedOperand ParseOperand(std::optional<std::string_view> token) {
  ParsedOperand result;
  if (!token || token->empty()) {
    result.status = psMissingOperand;
    return result;
  }
  const std::string_view t = *token;
  // The prefix runs up to the first decimal digit, at most three characters;
  // a "$" ends it.
  std::size_t i = 0;
  while (i < t.size() && i < 3 && !isDecimalDigit(t[i])) {
    if (t[i++] == '$') break;
  }
  if (i == t.size()) {
    result.kind = okMarker;  // a prefix without a number
    return result;
  }
  const std::string_view prefix = t.substr(0, i);
  int kind = -1;
  for (int k = 0; k < kOperandKindCount; ++k)
    if (prefix == kPrefixes[k]) kind = k;
  if (kind < 0) {
    result.status = psMalformedOperand;
    return result;
  }
  const std::string_view digits = t.substr(i);
  const bool hex = kind == okHex;
  for (char c : digits) {
    if (hex ? hexValue(c) < 0 : !isDecimalDigit(c)) {
      result.status = psMalformedOperand;
      return result;
    }
  }
  if (digits.size() > (hex ? kMaxHexDigits : kMaxDecimalDigits)) {
    result.status = psOutOfRange;
    return result;
  }
  unsigned long value = 0;
  for (char c : digits) value = value * (hex ? 16 : 10) + static_cast<unsigned>(hexValue(c));
  if (value > 0xFFFF) {
    result.status = psOutOfRange;
    return result;
  }
  result.kind = static_cast<std::uint8_t>(kind);
  result.value = static_cast<std::uint16_t>(value);
  return result;
}

CompiledLine CompileLine(std::string_view line, PlcTables& tables) {
  CompiledLine result;
  const std::vector<std::string_view> tokens = splitTokens(line);
  if (tokens.empty()) return result;  // blanks and tabs: NOP

  const PlcTableRow* row = findMnemonic(tokens[0]);
  if (!row) {
    result.status = psUnknownMnemonic;
    return result;
  }
  result.instruction.bytes[0] = row->opcode;

  const FormRules& rules = formRules(row->form);
  const std::size_t wanted = rules.operands.size();
  const std::size_t given = tokens.size() - 1;
  if (rules.order == coMissingFirst && given < wanted) {
    result.status = psMissingOperand;
    return result;
  }
  if (given > wanted) {
    result.status = psTooManyOperands;
    return result;
  }

  std::array<ParsedOperand, 4> operands{};
  for (std::size_t i = 0; i < wanted; ++i) {
    const std::optional<std::string_view> token =
        i + 1 < tokens.size() ? std::optional<std::string_view>(tokens[i + 1]) : std::nullopt;
    operands[i] = ParseOperand(token);
    PlcStatus status = operands[i].status;
    if (status == psOk) status = checkOperand(*rules.operands[i], operands[i].kind, operands[i].value);
    if (status == psOk && row->form == pfAtm && i == 1 && operands[1].value < operands[0].value)
      status = psOutOfRange;
    if (status != psOk) {
      result.status = status;
      return result;
    }
  }

  PlcInstruction& out = result.instruction;
  const ParsedOperand& first = operands[0];
  switch (row->form) {
    case pfNone:
      break;
    case pfTimer:
      out.bytes[2] = static_cast<std::uint8_t>(first.value);
      tables.presets[first.value] = operands[1].value;
      break;
    case pfCounter:
      out.bytes[2] = static_cast<std::uint8_t>(first.value);
      out.bytes[3] = operands[2].kind;
      out.setWord(4, operands[2].value);
      tables.presets[first.value] = operands[1].value;
      break;
    case pfShiftReg:
      out.setWord(2, first.value);
      out.setWord(4, operands[1].value);
      break;
    case pfAtm: {
      TimingRecord record;
      record.bytes[0] = static_cast<std::uint8_t>(first.value);
      record.bytes[1] = static_cast<std::uint8_t>(operands[1].value);
      record.bytes[2] = operands[2].kind;
      record.bytes[4] = static_cast<std::uint8_t>(operands[2].value & 0xFF);
      record.bytes[5] = static_cast<std::uint8_t>(operands[2].value >> 8);
      record.bytes[6] = operands[3].kind;
      record.bytes[8] = static_cast<std::uint8_t>(operands[3].value & 0xFF);
      record.bytes[9] = static_cast<std::uint8_t>(operands[3].value >> 8);
      tables.timing[0] = record;
      break;
    }
    case pfDataWrite:
    case pfDemb:
    case pfDem:
      out.bytes[2] = first.kind;
      out.setWord(4, first.value);
      out.setWord(6, operands[1].value);
      break;
    case pfShift:
    case pfLabel:
      out.bytes[2] = static_cast<std::uint8_t>(first.value);
      break;
    default:  // one operand: kind and value
      out.bytes[2] = first.kind;
      out.setWord(4, first.value);
      break;
  }
  return result;
}

std::string_view stripPlcComment(std::string_view line) {
  const std::size_t end = line.find_first_of(";\n");
  return end == std::string_view::npos ? line : line.substr(0, end);
}

PlcCompilation compilePlcProgram(const std::vector<std::string>& lines, PlcTables& tables) {
  PlcCompilation result;
  try {
    int lineNumber = 0;
    for (const std::string& line : lines) {
      ++lineNumber;
      const std::string_view source = stripPlcComment(line);
      if (source.empty()) continue;
      const CompiledLine compiled = CompileLine(source, tables);
      if (compiled.status != psOk) {
        result.status = compiled.status;
        result.failingLine = lineNumber;
        result.failingText = line;
        result.instructions.clear();
        return result;
      }
      result.instructions.push_back(compiled.instruction);
    }
  } catch (const std::bad_alloc&) {
    result = PlcCompilation{};
    result.status = psNoMemory;
  }
  return result;
}

FormattedInstruction FormatInstruction(const PlcInstruction& in, const PlcTables& tables) {
  FormattedInstruction result;
  const PlcTableRow* row = findOpcode(in.opcode());
  if (!row) {
    result.status = psBadInstruction;
    return result;
  }
  auto fails = [](const OperandRule& rule, unsigned kind, unsigned value) {
    return checkOperand(rule, kind, value) != psOk;
  };
  std::string text(row->mnemonic);
  const unsigned kind = in.bytes[2];
  const unsigned value = in.word(4);
  bool bad = false;
  switch (row->form) {
    case pfNone:
      break;
    case pfTimer:
      bad = fails(kNumber64, okRelay, kind);
      if (!bad) text += " " + padded(kind, 3) + " #" + padded(tables.presets[kind], 5);
      break;
    case pfCounter:
      bad = fails(kNumber64, okRelay, kind) || fails(kInput, in.bytes[3], value);
      if (!bad) text += " " + padded(kind, 3) + " #" + padded(tables.presets[kind], 5) + operandText(in.bytes[3], value);
      break;
    case pfShiftReg:
      bad = fails(kEdge, okRelay, in.word(2)) || fails(kEdge, okRelay, value);
      if (!bad) text += operandText(okRelay, in.word(2)) + operandText(okRelay, value);
      break;
    case pfAtm: {
      const TimingRecord& r = tables.timing[0];
      bad = fails(kAtmCount, okRelay, r.count1()) || fails(kAtmCount, okRelay, r.count2()) ||
            fails(kCoil, r.kind1(), r.address1()) || fails(kCoil, r.kind2(), r.address2());
      if (!bad)
        text += " " + padded(r.count1(), 2) + " " + padded(r.count2(), 2) + operandText(okRelay, r.address1()) +
                operandText(okRelay, r.address2());
      break;
    }
    case pfDataWrite:
      bad = fails(kConstant, kind, value) || fails(kDmWord, okDm, in.word(6));
      if (!bad) text += operandText(kind, value) + operandText(okDm, in.word(6));
      break;
    case pfDemb:
    case pfDem:
      bad = fails(kInput, kind, value) ||
            fails(row->form == pfDemb ? kDecimalByte : kAnyDecimal, okDecimal, in.word(6));
      if (!bad) text += operandText(kind, value) + " #" + padded(in.word(6), 5);
      break;
    case pfShift:
      bad = fails(kShiftCount, okDecimal, kind);
      if (!bad) text += " #" + padded(kind, 2);
      break;
    case pfLabel:
      bad = fails(kLabel, okRelay, kind);
      if (!bad) text += " " + padded(kind, 3);
      break;
    default:
      bad = fails(*formRules(row->form).operands[0], kind, value);
      if (!bad) text += operandText(kind, value);
      break;
  }
  if (bad) {
    result.status = psBadInstruction;
    return result;
  }
  result.text = std::move(text);
  return result;
}

}  // namespace qxr
