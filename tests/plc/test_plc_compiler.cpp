// The instruction-list compiler: operand parsing, ranges, status precedence,
// stored bytes and the program-wide tables.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "plc/plc.h"

namespace qxr {
namespace {

int statusOf(const std::string& line) {
  PlcTables tables;
  return CompileLine(line, tables).status;
}

struct Case {
  const char* line;
  int status;
};

void expectStatuses(const std::vector<Case>& cases) {
  for (const Case& c : cases) EXPECT_EQ(statusOf(c.line), c.status) << c.line;
}

TEST(PlcCompiler, TablesAreSortedForBinarySearchAndAgree) {
  const auto& source = SourceTable();
  const auto& opcodes = OpcodeTable();
  for (int i = 1; i < kPlcTableRows; ++i) {
    EXPECT_LT(source[i - 1].mnemonic, source[i].mnemonic);
    EXPECT_LT(opcodes[i - 1].opcode, opcodes[i].opcode);
  }
  EXPECT_EQ(source.front().mnemonic, "@ADD");  // "@" sorts before letters
  for (const PlcTableRow& row : opcodes) {
    ASSERT_NE(findMnemonic(row.mnemonic), nullptr) << row.mnemonic;
    EXPECT_EQ(findMnemonic(row.mnemonic)->opcode, row.opcode);
    EXPECT_EQ(findOpcode(row.opcode)->mnemonic, row.mnemonic);
    // Every "@" form is its plain form plus 0x40 with the same operands.
    if (row.mnemonic[0] == '@') {
      const PlcTableRow* plain = findMnemonic(row.mnemonic.substr(1));
      ASSERT_NE(plain, nullptr);
      EXPECT_EQ(row.opcode, plain->opcode + 0x40);
      EXPECT_EQ(row.form, plain->form);
    }
  }
  EXPECT_EQ(findMnemonic("ld"), nullptr);
  EXPECT_EQ(findMnemonic("ZZZ"), nullptr);
  EXPECT_EQ(findMnemonic("!"), nullptr);
  EXPECT_EQ(findOpcode(0x11), nullptr);
  EXPECT_EQ(findOpcode(0xFF), nullptr);
}

TEST(PlcCompiler, ParseOperandPrefixesDigitsAndLimits) {
  struct P {
    const char* token;
    int status, kind, value;
  };
  const std::vector<P> cases = {
      {"0015", 0, okRelay, 15},     {"T063", 0, okTimer, 63},    {"C1", 0, okCounter, 1},
      {"TM31", 0, okTm, 31},        {"DM0499", 0, okDm, 499},    {"#65535", 0, okDecimal, 65535},
      {"$00ff", 0, okHex, 255},     {"$FFFF", 0, okHex, 65535},  {"#TM29", 0, okHashTm, 29},
      {"$A", 0, okHex, 10},         {"T", 0, okMarker, 0},       {"$", 0, okMarker, 0},
      {"#TM", 0, okMarker, 0},      {"?5", 0, okMarker, 5},      {"X001", 6, 0, 0},
      {"12A", 6, 0, 0},             {"dm1", 6, 0, 0},            {"TMX1", 6, 0, 0},
      {"#TMX", 6, 0, 0},            {"$G1", 6, 0, 0},            {"#$1", 6, 0, 0},
      {"-1", 6, 0, 0},              {"#65536", 7, 0, 0},         {"$10000", 7, 0, 0},
      {"000001", 7, 0, 0},          {"#99999", 7, 0, 0},         {"00000", 0, okRelay, 0},
  };
  for (const P& c : cases) {
    const ParsedOperand p = ParseOperand(std::string_view(c.token));
    EXPECT_EQ(p.status, c.status) << c.token;
    if (c.status == 0) {
      EXPECT_EQ(p.kind, c.kind) << c.token;
      EXPECT_EQ(p.value, c.value) << c.token;
    }
  }
  EXPECT_EQ(ParseOperand(std::nullopt).status, psMissingOperand);
}

TEST(PlcCompiler, AddressRangesAtTheirBorders) {
  expectStatuses({
      // input range: channels 00-29, 30-49, 50-59, bits 00-15
      {"LD 0015", 0}, {"LD 0016", 7}, {"LD 2915", 0}, {"LD 2916", 7}, {"LD 2999", 7}, {"LD 3000", 0},
      {"LD 4915", 0}, {"LD 4916", 7}, {"LD 5000", 0}, {"LD 5915", 0}, {"LD 5916", 7}, {"LD 6000", 7},
      {"LD T063", 0}, {"LD T064", 7}, {"LD C063", 0}, {"LD C064", 7}, {"LD DM0001", 3}, {"LD #1", 3},
      // output range
      {"OUT 0499", 7}, {"OUT 0500", 0}, {"OUT 1915", 0}, {"OUT 2008", 7}, {"OUT 2009", 0},
      {"OUT 2011", 0}, {"OUT 2012", 7}, {"OUT 4000", 0}, {"OUT 5500", 0}, {"OUT 5499", 7},
      {"OUT 0516", 7}, {"OUT T001", 3}, {"KEEP C001", 3},
      {"SET T063", 0}, {"RES C064", 7}, {"SET 2010", 0},
      // edge range
      {"DIFU 1000", 0}, {"DIFU 0915", 7}, {"DIFD 1915", 0}, {"DIFD 1916", 7}, {"DIFD 2000", 7},
      {"SFT 1000 1015", 0}, {"SFT 1000 2000", 7},
      // store range: the output range without 2009-2011
      {"STA 2009", 7}, {"STA 0500", 0}, {"STA TM29", 0}, {"STA TM30", 7}, {"STA #1", 3}, {"STA $1", 3},
      {"STA #TM29", 0}, {"@STA #TM30", 7},
      // word ranges
      {"LDA TM31", 0}, {"LDA TM32", 7}, {"LDA DM0499", 0}, {"LDA DM500", 7}, {"LDA #TM29", 0},
      {"LDA #TM30", 7}, {"LDA $00FF", 0}, {"LDA #65535", 0}, {"LDA 0001", 0}, {"LDA 2916", 7},
      {"CMP TM31", 0}, {"CMP 0001", 3}, {"ANA 0001", 0}, {"@XOA 2916", 7},
      {"INC TM29", 0}, {"INC TM30", 7}, {"DEC DM499", 0}, {"@DEC #1", 3},
      {"FOR TM29", 0}, {"FOR TM30", 7}, {"FOR #65535", 0}, {"FOR $1", 3}, {"FOR DM499", 0},
      // numbers
      {"LAB 255", 0}, {"JMP 256", 7}, {"CALL T1", 3},
      {"TMR 63 #1", 0}, {"TMR 64 #1", 7}, {"UDC 0 #65535", 0}, {"TMR 5 $1", 3}, {"TMR T5 #1", 3},
      {"CNT 63 #1 5915", 0}, {"CNT 1 #1 5916", 7}, {"CNT 1 #1 T001", 3},
      {"SLA #0", 7}, {"SLA #1", 0}, {"SLA #16", 0}, {"SLA #17", 7}, {"SLA 4", 3}, {"@RLA $4", 3},
      {"DEMB 0001 #255", 0}, {"DEMB 0001 #256", 7}, {"DEM 0001 #65535", 0}, {"@DEM DM1 #1", 3},
      // DW: constant and DM word
      {"DW $FFFF DM0499", 0}, {"DW $10000 DM0001", 7}, {"DW #65536 DM1", 7}, {"DW #1 DM500", 7},
      {"DW 1 DM1", 3}, {"DW #1 TM1", 3},
      // ATM counts and addresses
      {"ATMU 1 99 0500 0501", 0}, {"ATMU 5 5 0500 0501", 0}, {"ATMU 10 5 0500 0501", 7},
      {"ATMU 0 5 0500 0501", 7}, {"ATMD 1 100 0500 0501", 7}, {"ATM 1 2 0499 0501", 7},
      {"ATSD 1 2 0500 T001", 3},
  });
}

TEST(PlcCompiler, MnemonicsAndPrefixesAreCaseSensitive) {
  expectStatuses({{"ld 0001", 2}, {"Ld 0001", 2}, {"LD X001", 6}, {"LD 12A", 6}, {"LD T", 3},
                  {"LDA T", 7}, {"@LDA DM", 7}, {"LD dm1", 6}, {"LDA $00ff", 0}});
}

TEST(PlcCompiler, OperandCountPrecedenceByFamily) {
  expectStatuses({
      // no operand: any operand is a surplus
      {"NOP X", 4}, {"END 1", 4}, {"@CPL #1", 4}, {"NOP", 0},
      // one operand, DEM, DEMB, ATM: missing before surplus, count before content
      {"LD", 5}, {"LD 0001 0002", 4}, {"LD X01 0002", 4}, {"SLA", 5}, {"JMP 1 2", 4},
      {"DEM 0001", 5}, {"DEMB X01", 5}, {"DEM 0001 #1 #2", 4},
      {"ATMU 1 2 0500", 5}, {"ATMU X 2 0500", 5}, {"ATMU 1 2 0500 0501 0502", 4},
      // TMR, UDC, CNT, SFT, DW: surplus first, a missing one only when reached
      {"TMR 1 #1 #2", 4}, {"TMR X01", 6}, {"TMR 1", 5}, {"TMR 64", 7}, {"UDC", 5},
      {"CNT 1 #1", 5}, {"CNT 1 X1 #1", 6}, {"CNT 1 X #1", 3}, {"CNT 1 #1 0001 0002", 4},
      {"SFT 1000", 5}, {"SFT 0001", 7}, {"DW X01", 6}, {"DW #1", 5}, {"DW #1 DM1 DM2", 4},
  });
}

TEST(PlcCompiler, SeparatorsAndTokenLimit) {
  PlcTables tables;
  const CompiledLine tabs = CompileLine("\t LD\t\t0001  ", tables);
  EXPECT_EQ(tabs.status, psOk);
  EXPECT_EQ(tabs.instruction.opcode(), 0x01);
  const CompiledLine blanks = CompileLine(" \t ", tables);
  EXPECT_EQ(blanks.status, psOk);
  EXPECT_EQ(blanks.instruction, PlcInstruction{});
  // 25 tokens: only 20 are taken, the surplus still shows.
  std::string many = "NOP";
  for (int i = 0; i < 24; ++i) many += " 1";
  EXPECT_EQ(CompileLine(many, tables).status, psTooManyOperands);
}

TEST(PlcCompiler, StoredBytesPerFamily) {
  PlcTables tables;
  auto bytes = [&](const std::string& line) {
    const CompiledLine c = CompileLine(line, tables);
    EXPECT_EQ(c.status, psOk) << line;
    return std::vector<int>(c.instruction.bytes.begin(), c.instruction.bytes.end());
  };
  using V = std::vector<int>;
  EXPECT_EQ(bytes("LD 0001"), (V{0x01, 0, 0, 0, 0x01, 0, 0, 0}));
  EXPECT_EQ(bytes("@LDA $12AB"), (V{0xC0, 0, 6, 0, 0xAB, 0x12, 0, 0}));
  EXPECT_EQ(bytes("STA #TM05"), (V{0x81, 0, 7, 0, 5, 0, 0, 0}));
  EXPECT_EQ(bytes("OUT 1915"), (V{0x09, 0, 0, 0, 0x7B, 0x07, 0, 0}));
  EXPECT_EQ(bytes("TMR 5 #100"), (V{0x10, 0, 5, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytes("CNT 7 #20 0001"), (V{0x13, 0, 7, 0, 1, 0, 0, 0}));
  EXPECT_EQ(bytes("SFT 1000 1015"), (V{0x15, 0, 0xE8, 0x03, 0xF7, 0x03, 0, 0}));
  EXPECT_EQ(bytes("DW $FFFF DM0499"), (V{0x60, 0, 6, 0, 0xFF, 0xFF, 0xF3, 0x01}));
  EXPECT_EQ(bytes("DEMB 0100 #12"), (V{0xA0, 0, 0, 0, 100, 0, 12, 0}));
  EXPECT_EQ(bytes("@SLA #4"), (V{0xF1, 0, 4, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytes("JMP 12"), (V{0x71, 0, 12, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytes("ATMU 1 10 0500 0501"), (V{0x50, 0, 0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(bytes("END"), (V{0x7E, 0, 0, 0, 0, 0, 0, 0}));
}

TEST(PlcCompiler, PresetsAndTimingRecordAreWrittenOnlyWhenTheWholeLinePasses) {
  PlcTables tables;
  // A timer and a counter with the same number share one preset slot.
  ASSERT_EQ(CompileLine("TMR 5 #100", tables).status, psOk);
  EXPECT_EQ(tables.presets[5], 100);
  ASSERT_EQ(CompileLine("CNT 5 #20 0001", tables).status, psOk);
  EXPECT_EQ(tables.presets[5], 20);
  // A counter whose address fails leaves the slot alone.
  EXPECT_EQ(CompileLine("CNT 5 #30 9999", tables).status, psOutOfRange);
  EXPECT_EQ(tables.presets[5], 20);

  ASSERT_EQ(CompileLine("ATMU 1 10 0500 0501", tables).status, psOk);
  const TimingRecord& r = tables.timing[0];
  EXPECT_EQ(r.count1(), 1);
  EXPECT_EQ(r.count2(), 10);
  EXPECT_EQ(r.address1(), 500);
  EXPECT_EQ(r.address2(), 501);
  const TimingRecord before = r;
  // The fourth operand fails: record 0 keeps the previous line's values.
  EXPECT_EQ(CompileLine("ATMD 2 3 0600 0499", tables).status, psOutOfRange);
  EXPECT_EQ(tables.timing[0].bytes, before.bytes);
  EXPECT_EQ(tables.timing[1].bytes, TimingRecord{}.bytes);
  // The last ATM line of a program is what the block holds.
  ASSERT_EQ(CompileLine("ATM 3 4 2009 2011", tables).status, psOk);
  EXPECT_EQ(tables.timing[0].count1(), 3);
  EXPECT_EQ(tables.timing[0].address2(), 2011);
}

TEST(PlcCompiler, ProgramCommentsBlankLinesAndFirstFailure) {
  PlcTables tables;
  const PlcCompilation ok = compilePlcProgram(
      {"LD 0001 ; start", "; a whole comment line", "", "   ", "  ;x", "OUT 0500\n", "TMR 3 #7"}, tables);
  ASSERT_EQ(ok.status, psOk);
  ASSERT_EQ(ok.instructions.size(), 5u);
  EXPECT_EQ(ok.instructions[0].opcode(), 0x01);
  EXPECT_EQ(ok.instructions[1], PlcInstruction{});  // blanks: NOP
  EXPECT_EQ(ok.instructions[2], PlcInstruction{});  // blanks before a comment
  EXPECT_EQ(ok.instructions[3].opcode(), 0x09);

  PlcTables other;
  const PlcCompilation bad =
      compilePlcProgram({"TMR 9 #5", "LD 0001", "; note", "OUT 0500", "LD 0016", "TMR 10 #6"}, other);
  EXPECT_EQ(bad.status, psOutOfRange);
  EXPECT_TRUE(bad.instructions.empty());
  EXPECT_EQ(bad.failingLine, 5);
  EXPECT_EQ(bad.failingText, "LD 0016");
  EXPECT_EQ(other.presets[9], 5);   // side effects before the failure stay
  EXPECT_EQ(other.presets[10], 0);  // nothing after it ran
}

}  // namespace
}  // namespace qxr
