// The ".mcn" format: writing, reading back, formatting, and the round trip
// from source text through the file to source text.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "base/textio.h"
#include "plc/mcn.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

const std::string kZeroHeader = [] {
  PlcTables zero;
  return mcnText(mcnBytes(zero, {}));
}();

// A header of zeros followed by instruction bytes given as hex text.
McnReader readerAfterHeader(const std::string& instructionHex, PlcTables& tables) {
  McnReader reader(kZeroHeader + instructionHex);
  EXPECT_TRUE(ReadMcnHeader(reader, tables));
  EXPECT_TRUE(ReadMcnTimingBlock(reader, tables));
  return reader;
}

std::vector<PlcInstruction> compileOk(const std::vector<std::string>& lines, PlcTables& tables) {
  const PlcCompilation c = compilePlcProgram(lines, tables);
  EXPECT_EQ(c.status, psOk) << c.failingText;
  return c.instructions;
}

TEST(McnFile, LayoutOfTheWrittenFile) {
  test::TempDir dir;
  PlcTables tables;
  const auto program = compileOk({"TMR 5 #100", "CNT 5 #20 0001", "ATMU 1 10 0500 0501", "LD 0001", "SFT 1000 1015",
                                  "DW $FFFF DM0499", "LDA $00FF", "@ADD #TM05", "SLA #4", "END"},
                                 tables);
  ASSERT_EQ(program.size(), 10u);
  const std::string path = dir.file("prog.mcn");
  ASSERT_TRUE(WriteMcnFile(path, tables, program));
  const std::string text = dir.read("prog.mcn");
  // 160 + 60 bytes: 13 full lines and a last one of 12 bytes, not ended.
  const std::vector<std::string> lines = *readAllLines(path, kPlcFileLimit);
  ASSERT_EQ(lines.size(), 14u);
  for (std::size_t i = 0; i + 1 < lines.size(); ++i) EXPECT_EQ(lines[i].size(), 32u) << i;
  EXPECT_EQ(lines.back().size(), 24u);
  EXPECT_NE(text.substr(text.size() - 2), "\r\n");
  EXPECT_EQ(text.find('\n'), 33u);  // CR LF after the first 16 bytes
  // Preset 5 (shared by TMR 5 and CNT 5) holds the counter's 20, low byte first.
  EXPECT_EQ(lines[0].substr(20, 4), "1400");
  // Timing record 0 starts line 9; record 1 (line 10) stays zero.
  EXPECT_EQ(lines[8], "010A0000F4010000F501000000000000");
  EXPECT_EQ(lines[9], std::string(32, '0'));
  std::string body;
  for (std::size_t i = 10; i < lines.size(); ++i) body += lines[i];
  EXPECT_EQ(body,
            "100500000000"    // TMR: number only
            "130500010000"    // CNT: number, address kind, address
            "500000000000"    // ATMU: opcode only
            "010001000000"    // LD: kind, value
            "15E803F70300"    // SFT: start, end
            "6006FFFFF301"    // DW: kind, constant, DM word
            "8006FF000000"    // LDA $00FF
            "C30705000000"    // @ADD #TM05
            "B10400000000"    // SLA #4
            "7E0000000000");  // END

  // A full last line is ended.
  PlcTables empty;
  EXPECT_EQ(mcnText(mcnBytes(empty, {})).size(), 10u * 34u);
  std::string sixteen;
  for (int i = 0; i < 16; ++i) sixteen += "AB";
  EXPECT_EQ(mcnText(std::vector<std::uint8_t>(16, 0xAB)), sixteen + "\r\n");
  EXPECT_EQ(mcnText(std::vector<std::uint8_t>(17, 0xAB)), sixteen + "\r\nAB");
}

TEST(McnFile, NameFollowsTheCurrentPlcFile) {
  EXPECT_EQ(mcnPathFor("/home/op/prog.pmc", "/start/"), "/home/op/prog.mcn");
  EXPECT_EQ(mcnPathFor("/home/op/prog.v2.plm", "/start/"), "/home/op/prog.v2.mcn");
  EXPECT_EQ(mcnPathFor("/home/op/prog", "/start/"), "/home/op/prog.mcn");
  EXPECT_EQ(mcnPathFor("/home/op.d/prog", "/start/"), "/home/op.d/prog.mcn");
  EXPECT_EQ(mcnPathFor("Tmp.mcn", "/start/"), "/start/Tmp.mcn");
  EXPECT_EQ(mcnPathFor("sub/a.pmc", "/start"), "/start/sub/a.mcn");
}

TEST(McnFile, WriteFailsWithoutTouchingAnything) {
  test::TempDir dir;
  PlcTables tables;
  EXPECT_FALSE(WriteMcnFile(dir.file("missing/x.mcn"), tables, {}));
  EXPECT_FALSE(dir.exists("missing"));
}

TEST(McnReading, HeaderTimingAndEnd) {
  PlcTables tables;
  tables.presets[3] = 0x1234;
  tables.timing[1].bytes[15] = 0x77;
  const std::string text = mcnText(mcnBytes(tables, {}));

  PlcTables loaded;
  McnReader reader(text);
  ASSERT_TRUE(ReadMcnHeader(reader, loaded));
  ASSERT_TRUE(ReadMcnTimingBlock(reader, loaded));
  EXPECT_EQ(loaded.presets, tables.presets);
  EXPECT_EQ(loaded.timing[1].bytes, tables.timing[1].bytes);
  EXPECT_EQ(ReadMcnInstruction(reader, loaded).status, psEnd);  // header only: end at once

  // Lower-case digits and line breaks anywhere, even inside a pair.
  std::string scattered;
  for (char c : text)
    if (c != '\r' && c != '\n') scattered += c;
  scattered[6] = 'f';  // preset 1 high-byte digit in lower case
  for (std::size_t i = 3; i < scattered.size(); i += 7) scattered.insert(i, i % 2 ? "\n" : "\r\n");
  PlcTables again;
  McnReader lenient(scattered);
  ASSERT_TRUE(ReadMcnHeader(lenient, again));
  EXPECT_EQ(again.presets[1], 0xF000);
  EXPECT_EQ(again.presets[3], 0x1234);
}

TEST(McnReading, DamagedHeaderOrTimingBlock) {
  PlcTables tables;
  tables.presets.fill(9);
  // Damage at entry 2: entries 0 and 1 are replaced, the rest stay.
  std::string text = kZeroHeader;
  text[9] = 'G';
  McnReader reader(text);
  EXPECT_FALSE(ReadMcnHeader(reader, tables));
  EXPECT_EQ(tables.presets[1], 0);
  EXPECT_EQ(tables.presets[2], 9);
  EXPECT_EQ(tables.presets[63], 9);

  // Ends inside the timing block.
  McnListing cut = listMcnText(kZeroHeader.substr(0, 9 * 34 + 10), tables);
  EXPECT_EQ(cut.outcome, McnListing::loTimingDamaged);
  McnListing noHeader = listMcnText("0102", tables);
  EXPECT_EQ(noHeader.outcome, McnListing::loHeaderDamaged);
}

TEST(McnReading, InstructionsFormatAndFail) {
  PlcTables tables;
  McnReader ld = readerAfterHeader("010001000000", tables);
  EXPECT_EQ(ReadMcnInstruction(ld, tables).text, "LD 0001");

  PlcTables timer;
  timer.presets[5] = 100;
  McnReader tmr(mcnText(mcnBytes(timer, {})) + "100500000000");
  ASSERT_TRUE(ReadMcnHeader(tmr, timer));
  ASSERT_TRUE(ReadMcnTimingBlock(tmr, timer));
  EXPECT_EQ(ReadMcnInstruction(tmr, timer).text, "TMR 005 #00100");

  auto statusOf = [](const std::string& hex) {
    PlcTables t;
    McnReader r = readerAfterHeader(hex, t);
    return ReadMcnInstruction(r, t).status;
  };
  EXPECT_EQ(statusOf("110000000000"), psBadInstruction);  // not in the table
  EXPECT_EQ(statusOf("0100"), psTruncated);               // ends after opcode and kind
  EXPECT_EQ(statusOf("01"), psTruncated);
  EXPECT_EQ(statusOf("7E"), psOk);                        // padding is read without check
  EXPECT_EQ(statusOf("7EZZ00000000"), psOk);
  EXPECT_EQ(statusOf("0100Z1000000"), psTruncated);       // a data byte must be readable
  EXPECT_EQ(statusOf("010010000000"), psBadInstruction);  // LD 0016
  EXPECT_EQ(statusOf("010401000000"), psBadInstruction);  // LD DM0001
  EXPECT_EQ(statusOf("010900000000"), psBadInstruction);  // kind beyond the table
  EXPECT_EQ(statusOf("800800000000"), psBadInstruction);  // LDA of a marker
  EXPECT_EQ(statusOf("B10000000000"), psBadInstruction);  // SLA #0
  EXPECT_EQ(statusOf("500000000000"), psBadInstruction);  // ATMU with zero counts
  EXPECT_EQ(statusOf("ZZ0000000000"), psTruncated);       // damage where an opcode is due
  EXPECT_EQ(statusOf("7"), psTruncated);

  // ATM formatting reads timing record 0; count2 is not compared with count1.
  PlcTables atm;
  atm.timing[0].bytes = {9, 3, 0, 0, 0xF4, 0x01, 0, 0, 0xDB, 0x07};
  McnReader ar(mcnText(mcnBytes(atm, {})) + "560000000000");
  ASSERT_TRUE(ReadMcnHeader(ar, atm));
  ASSERT_TRUE(ReadMcnTimingBlock(ar, atm));
  const McnInstructionRead read = ReadMcnInstruction(ar, atm);
  EXPECT_EQ(read.status, psOk);
  EXPECT_EQ(read.text, "ATM 09 03 0500 2011");
}

TEST(McnReading, ListingStopsAtTheFirstBadInstruction) {
  PlcTables tables;
  const McnListing listing = listMcnText(kZeroHeader + "010001000000" "7E0000000000" "110000000000" "7E0000000000", tables);
  EXPECT_EQ(listing.outcome, McnListing::loBadInstruction);
  EXPECT_EQ(listing.status, psBadInstruction);
  EXPECT_EQ(listing.commandNumber, 3);
  EXPECT_EQ(listing.lines, (std::vector<std::string>{"LD 0001", "END"}));
}

TEST(McnReading, CanonicalTextOfEveryClass) {
  PlcTables tables;
  const std::vector<std::string> source = {
      "LD 1",         "LD T5",        "LDA DM10",      "LDA $ff",     "STA #TM5",      "TMR 5 #100",
      "CNT 5 #20 1",  "SFT 1000 1015", "DW #100 DM10", "DW $1a DM1",  "DEMB 100 #12",  "@DEM 0 #65535",
      "SLA #4",       "JMP 12",       "FOR #7",        "INC TM3",     "@CMP $0",       "ORB C63",
      "ATMU 1 10 500 501"};
  const auto program = compileOk(source, tables);
  const McnListing listing = listMcnText(mcnText(mcnBytes(tables, program)), tables);
  EXPECT_EQ(listing.outcome, McnListing::loEnd);
  EXPECT_EQ(listing.lines,
            (std::vector<std::string>{"LD 0001", "LD T005", "LDA DM0010", "LDA $00FF", "STA #TM05",
                                      "TMR 005 #00020", "CNT 005 #00020 0001", "SFT 1000 1015",
                                      "DW #00100 DM0010", "DW $001A DM0001", "DEMB 0100 #00012",
                                      "@DEM 0000 #65535", "SLA #04", "JMP 012", "FOR #00007", "INC TM03",
                                      "@CMP $0000", "ORB C063", "ATMU 01 10 0500 0501"}));
}

// --- round trip: generated source -> compile -> file -> text -> compile ---

class OperandGenerator {
 public:
  explicit OperandGenerator(unsigned seed) : rng_(seed) {}

  int pick(int low, int high) { return std::uniform_int_distribution<int>(low, high)(rng_); }

  // A decimal number with a random count of leading zeros, at most 5 digits.
  std::string decimal(unsigned value) {
    std::string digits = std::to_string(value);
    while (digits.size() < 5 && pick(0, 2) == 0) digits.insert(0, "0");
    return digits;
  }
  std::string hex(unsigned value) {
    static const char* kUpper = "0123456789ABCDEF";
    static const char* kLower = "0123456789abcdef";
    std::string digits;
    do {
      digits.insert(digits.begin(), (pick(0, 1) ? kUpper : kLower)[value % 16]);
      value /= 16;
    } while (value);
    while (digits.size() < 4 && pick(0, 1)) digits.insert(0, "0");
    return digits;
  }
  std::string address(std::initializer_list<std::pair<int, int>> channelRanges) {
    std::vector<std::pair<int, int>> ranges(channelRanges);
    const auto& [low, high] = ranges[pick(0, static_cast<int>(ranges.size()) - 1)];
    return decimal(static_cast<unsigned>(pick(low, high) * 100 + pick(0, 15)));
  }
  std::string input() { return address({{0, 29}, {30, 49}, {50, 59}}); }
  std::string output() {
    if (pick(0, 4) == 0) return decimal(static_cast<unsigned>(pick(2009, 2011)));
    return address({{5, 19}, {40, 49}, {55, 59}});
  }
  std::string store() { return address({{5, 19}, {40, 49}, {55, 59}}); }
  std::string edge() { return address({{10, 19}}); }
  std::string timerOrCounter() { return (pick(0, 1) ? "T" : "C") + decimal(pick(0, 63)); }
  std::string constant() { return pick(0, 1) ? "#" + decimal(pick(0, 65535)) : "$" + hex(pick(0, 65535)); }
  std::string word(int tmLimit) {
    switch (pick(0, 2)) {
      case 0: return "TM" + decimal(pick(0, tmLimit - 1));
      case 1: return "DM" + decimal(pick(0, 499));
      default: return "#TM" + decimal(pick(0, 29));
    }
  }

  std::string operands(PlcForm form) {
    switch (form) {
      case pfNone: return "";
      case pfContact: return pick(0, 1) ? input() : timerOrCounter();
      case pfCoil: return output();
      case pfSetReset: return pick(0, 1) ? output() : timerOrCounter();
      case pfEdge: return edge();
      case pfTimer: return decimal(pick(0, 63)) + " #" + decimal(pick(0, 65535));
      case pfCounter: return decimal(pick(0, 63)) + " #" + decimal(pick(0, 65535)) + " " + input();
      case pfShiftReg: return edge() + " " + edge();
      case pfAtm: {
        const int first = pick(1, 99);
        return decimal(first) + " " + decimal(pick(first, 99)) + " " + output() + " " + output();
      }
      case pfDataWrite: return constant() + " DM" + decimal(pick(0, 499));
      case pfLabel: return decimal(pick(0, 255));
      case pfFor: return pick(0, 1) ? "#" + decimal(pick(0, 65535)) : (pick(0, 1) ? "TM" + decimal(pick(0, 29)) : "DM" + decimal(pick(0, 499)));
      case pfLoad:
        switch (pick(0, 3)) {
          case 0: return input();
          case 1: return timerOrCounter();
          case 2: return constant();
          default: return word(32);
        }
      case pfStore:
        switch (pick(0, 2)) {
          case 0: return store();
          case 1: return timerOrCounter();
          default: return word(30);
        }
      case pfArith: return pick(0, 1) ? constant() : word(32);
      case pfLogic: return pick(0, 2) == 0 ? input() : (pick(0, 1) ? constant() : word(32));
      case pfDemb: return input() + " #" + decimal(pick(0, 255));
      case pfDem: return input() + " #" + decimal(pick(0, 65535));
      case pfShift: return "#" + decimal(pick(1, 16));
      case pfIncDec: return pick(0, 1) ? "TM" + decimal(pick(0, 29)) : "DM" + decimal(pick(0, 499));
    }
    return "";
  }

 private:
  std::mt19937 rng_;
};

TEST(McnRoundTrip, EveryMnemonicThroughTheFileAndBack) {
  test::TempDir dir;
  OperandGenerator generate(20240601);
  int checked = 0;
  for (const PlcTableRow& row : OpcodeTable()) {
    for (int sample = 0; sample < 40; ++sample) {
      std::string line(row.mnemonic);
      const std::string operands = generate.operands(row.form);
      if (!operands.empty()) line += (generate.pick(0, 1) ? " " : " \t ") + operands;

      PlcTables first;
      const PlcCompilation compiled = compilePlcProgram({line}, first);
      ASSERT_EQ(compiled.status, psOk) << line;
      // The first sample of each mnemonic goes through a file on disk.
      std::string text = mcnText(mcnBytes(first, compiled.instructions));
      if (sample == 0) {
        ASSERT_TRUE(WriteMcnFile(dir.file("rt.mcn"), first, compiled.instructions));
        text = dir.read("rt.mcn");
      }

      PlcTables read;
      const McnListing listing = listMcnText(text, read);
      ASSERT_EQ(listing.outcome, McnListing::loEnd) << line;
      ASSERT_EQ(listing.lines.size(), 1u) << line;

      PlcTables second;
      const PlcCompilation again = compilePlcProgram(listing.lines, second);
      ASSERT_EQ(again.status, psOk) << line << " -> " << listing.lines[0];
      EXPECT_EQ(mcnBytes(second, again.instructions), mcnBytes(first, compiled.instructions))
          << line << " -> " << listing.lines[0];
      // The canonical text is a fixed point.
      EXPECT_EQ(listMcnText(mcnText(mcnBytes(second, again.instructions)), read).lines, listing.lines);
      ++checked;
    }
  }
  EXPECT_EQ(checked, kPlcTableRows * 40);
}

}  // namespace
}  // namespace qxr
