// NC block conversion: records produced per line, statuses and the dump.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "base/catalogue.h"
#include "base/host.h"
#include "sim/convert.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

struct Converted {
  NcConverter converter;
  NcConverter::Result result;
  const CommandTable& table() const { return converter.table(); }
  int count() const { return table().CommandCount(); }
  const CommandRecord& operator[](int i) const { return table()[i]; }
};

Converted convert(const std::vector<std::string>& lines) {
  Converted c;
  c.result = c.converter.ConvertProgram(lines);
  return c;
}

std::uint8_t enoOf(const std::string& line) { return convert({line}).result.ENO; }

TEST(ConvertMotion, WordGroupsBecomeSeparateRecordsWithTheirWords) {
  auto c = convert({"G01 X10 Y20 F100 M03"});
  ASSERT_TRUE(c.result.ok());
  ASSERT_EQ(c.count(), 2);
  EXPECT_EQ(c[0].C, 0x01);
  EXPECT_EQ(c[0].MX, 0x03);
  EXPECT_DOUBLE_EQ(c[0].X, 10);
  EXPECT_DOUBLE_EQ(c[0].Y, 20);
  EXPECT_DOUBLE_EQ(c[0].F, 100);
  EXPECT_EQ(c[1].C, 0x33);
  // The feed of a G01 list stays in its record.
  EXPECT_DOUBLE_EQ(c.converter.ModalFeed, 1.0);

  // F is no G00 word: it ends the list and makes a record of its own.
  auto rapid = convert({"G00 X5 F200"});
  ASSERT_EQ(rapid.count(), 2);
  EXPECT_EQ(rapid[0].C, 0x00);
  EXPECT_EQ(rapid[0].MX, kMaskX);
  EXPECT_EQ(rapid[1].C, 0x80);
  EXPECT_DOUBLE_EQ(rapid[1].F, 200);
  EXPECT_DOUBLE_EQ(rapid.converter.ModalFeed, 200);

  // Lower case, signs and blanks inside a word.
  auto loose = convert({"g01x-1.5 y +2"});
  ASSERT_EQ(loose.count(), 1);
  EXPECT_DOUBLE_EQ(loose[0].X, -1.5);
  EXPECT_DOUBLE_EQ(loose[0].Y, 2);
}

TEST(ConvertMotion, AxisBlocksFollowTheModalMotion) {
  auto arc = convert({"G02 X1 Y1 I1 J0", "X7 Y8", "K3", "G00 X1", "Y2", "R4"});
  ASSERT_TRUE(arc.result.ok());
  ASSERT_EQ(arc.count(), 5);  // R under G00 is dropped
  EXPECT_EQ(arc[0].C, 0x02);
  EXPECT_EQ(arc[0].MX, kMaskX | kMaskY | kMaskI | kMaskJ);
  EXPECT_EQ(arc[1].C, 0x02);
  EXPECT_DOUBLE_EQ(arc[1].X, 7);
  EXPECT_EQ(arc[2].C, 0x02);
  EXPECT_DOUBLE_EQ(arc[2].K, 3);
  EXPECT_EQ(arc[3].C, 0x00);
  EXPECT_EQ(arc[4].C, 0x00);
  EXPECT_EQ(arc[4].N, 4);

  auto radius = convert({"G02 X10 Y0 R5"});
  ASSERT_EQ(radius.count(), 1);
  EXPECT_EQ(radius[0].C, 0x82);
  EXPECT_EQ(radius[0].MX, 0x83);
  EXPECT_DOUBLE_EQ(radius[0].I, 5);
  EXPECT_EQ(convert({"G03 X1 R-2", "Y3 R2"})[1].C, 0x83);

  // G28 takes no words: the axes after it form a block of the modal motion.
  auto home = convert({"G28 X0 Y0"});
  ASSERT_EQ(home.count(), 2);
  EXPECT_EQ(home[0].C, 0x28);
  EXPECT_EQ(home[1].C, 0x01);
  EXPECT_EQ(home[1].MX, 0x03);

  auto setting = convert({"G92 X1 Z2", "G17 G18 G19 G90 G91 G20 G21 G07 G08 G26 G27 G50"});
  ASSERT_EQ(setting.count(), 13);
  EXPECT_EQ(setting[0].C, 0x92);
  EXPECT_EQ(setting[0].MX, kMaskX | kMaskZ);
  EXPECT_EQ(setting[1].C, 0x17);
  EXPECT_EQ(setting[5].C, 0x91);
  EXPECT_EQ(setting[12].C, 0x50);
}

TEST(ConvertMotion, VariableReferencesAndMisplacedSingleCharacters) {
  auto c = convert({"X=A5"});
  ASSERT_TRUE(c.result.ok());
  ASSERT_EQ(c.count(), 1);
  EXPECT_DOUBLE_EQ(c[0].X, 5);
  EXPECT_EQ(c[0].MX, 0x01);
  EXPECT_EQ(c[0].AS, 0x01);
  auto r = convert({"G02 X1 R=A7"});
  EXPECT_EQ(r[0].C, 0x82);
  EXPECT_EQ(r[0].AS, kMaskR);

  // A one-character word inside a list is read as a variable reference.
  EXPECT_EQ(enoOf("G01 X1 (comment)"), kEnoMalformed);
  EXPECT_EQ(enoOf("G01 X1 ' comment"), kEnoMalformed);
  EXPECT_EQ(enoOf("G01 X1 / Y2"), kEnoMalformed);
  EXPECT_EQ(enoOf("G01 X=B5"), kEnoMalformed);
  EXPECT_EQ(enoOf("G01 X"), kEnoMalformed);
  // A letter that is no word letter joins the word and fails its number.
  EXPECT_EQ(enoOf("G01 X10 T5"), kEnoMalformed);
  EXPECT_EQ(enoOf("G01 X1H"), kEnoMalformed);
}

TEST(ConvertCodes, UnknownCodesAndRefusedWords) {
  EXPECT_EQ(enoOf("G05"), kEnoUnknown);
  EXPECT_EQ(enoOf("G68"), kEnoUnknown);
  EXPECT_EQ(enoOf("M05"), kEnoUnknown);
  EXPECT_EQ(enoOf("M3T"), kEnoUnknown);
  EXPECT_EQ(enoOf("G0X"), kEnoMalformed);  // a bare X reads as a variable reference
  EXPECT_EQ(enoOf("O1234"), kEnoUnknown);  // O starts an I/O keyword
  EXPECT_EQ(enoOf("N10 G01 X1"), kEnoMalformed);

  auto m = convert({"M00 M02 M04 M30 M95 M99 END"});
  ASSERT_EQ(m.count(), 7);
  const std::uint8_t codes[] = {0x30, 0x32, 0x34, 0x3A, 0x95, 0x99, 0x32};
  for (int i = 0; i < 7; ++i) EXPECT_EQ(m[i].C, codes[i]) << i;

  auto dwell = convert({"G04 X1.5", "G04", "G04 /2"});
  ASSERT_TRUE(dwell.result.ok());
  EXPECT_DOUBLE_EQ(dwell[0].X, 1.5);
  EXPECT_DOUBLE_EQ(dwell[1].X, 0);
  EXPECT_DOUBLE_EQ(dwell[2].X, 2);
  EXPECT_EQ(enoOf("G04 P2"), kEnoMalformed);

  auto parameter = convert({"G61 P5 Q2.5 M03"});
  ASSERT_EQ(parameter.count(), 2);
  EXPECT_EQ(parameter[0].C, 0x61);
  EXPECT_DOUBLE_EQ(parameter[0].X, 2.5);
  EXPECT_EQ(parameter[0].AS, 'Q');

  auto lword = convert({"L5 P3", "S1200"});
  EXPECT_EQ(lword[0].C, 0x84);
  EXPECT_DOUBLE_EQ(lword[0].X, 5);
  EXPECT_DOUBLE_EQ(lword[0].Z, 3);
  EXPECT_EQ(lword[1].C, 0x8F);
  EXPECT_DOUBLE_EQ(lword[1].X, 1200);
  EXPECT_EQ(enoOf("L5"), kEnoMalformed);
  EXPECT_EQ(enoOf("F1T"), kEnoMalformed);
}

TEST(ConvertFlow, JumpLoopAndCallForms) {
  auto c = convert({"M98 N40 L3", "CALL N40 REP3", "LOOP N12", "JMP N5", "M97 N2 REP 4", "M96 N7", "call n9"});
  ASSERT_TRUE(c.result.ok());
  ASSERT_EQ(c.count(), 7);
  for (int i : {0, 1}) {
    EXPECT_EQ(c[i].C, 0x98);
    EXPECT_DOUBLE_EQ(c[i].X, 40);
    EXPECT_DOUBLE_EQ(c[i].Y, 3);
    EXPECT_DOUBLE_EQ(c[i].Z, 3);
  }
  EXPECT_EQ(c[2].C, 0x97);
  EXPECT_DOUBLE_EQ(c[2].X, 12);
  EXPECT_DOUBLE_EQ(c[2].Y, 1);
  EXPECT_DOUBLE_EQ(c[2].Z, 1);
  EXPECT_EQ(c[3].C, 0x96);
  EXPECT_DOUBLE_EQ(c[3].X, 5);
  EXPECT_DOUBLE_EQ(c[3].Y, 0);  // a JMP keeps no count
  EXPECT_DOUBLE_EQ(c[4].Z, 4);
  EXPECT_EQ(c[5].C, 0x96);
  EXPECT_EQ(c[6].C, 0x98);
  EXPECT_DOUBLE_EQ(c[6].Y, 1);

  EXPECT_EQ(enoOf("CALL N4 R3"), kEnoMalformed);
  EXPECT_EQ(enoOf("LOOP N1T"), kEnoMalformed);
  // The flow words end at another letter, which converts on its own.
  auto next = convert({"JMP N3 G00 X1"});
  ASSERT_EQ(next.count(), 2);
  EXPECT_EQ(next[1].C, 0x00);
}

TEST(ConvertIo, KeywordsNumbersAndBounds) {
  auto c = convert({"ON5", "INL32", "DIH1 DOL2", "OFF7", "ON"});
  ASSERT_TRUE(c.result.ok());
  ASSERT_EQ(c.count(), 6);
  EXPECT_EQ(c[0].C, 0x8B);
  EXPECT_DOUBLE_EQ(c[0].X, 5);
  EXPECT_DOUBLE_EQ(c[0].Y, 1);
  EXPECT_EQ(c[1].C, 0x8A);
  EXPECT_DOUBLE_EQ(c[1].X, 32);
  EXPECT_DOUBLE_EQ(c[1].Y, 0);
  EXPECT_EQ(c[2].C, 0x8A);
  EXPECT_DOUBLE_EQ(c[2].Y, 1);
  EXPECT_EQ(c[3].C, 0x8B);
  EXPECT_DOUBLE_EQ(c[3].Y, 0);
  EXPECT_DOUBLE_EQ(c[5].X, 0);

  EXPECT_EQ(enoOf("ON33"), kEnoMalformed);
  EXPECT_EQ(enoOf("ON5X"), kEnoMalformed);
  EXPECT_EQ(enoOf("DOX3"), kEnoUnknown);
  EXPECT_EQ(enoOf("D"), kEnoUnknown);
  EXPECT_EQ(enoOf("DOOOOOOOOOOOOOOOOOOOOOOH3"), kEnoMalformed);  // keyword over 18 characters
}

TEST(ConvertText, HeaderCommentsBlockDeleteAndExtras) {
  auto header = convert({"%MPF 12", "G01 X1", "%spf7"});
  ASSERT_TRUE(header.result.ok());
  ASSERT_EQ(header.count(), 3);
  EXPECT_EQ(header[0].C, 0x2A);
  EXPECT_DOUBLE_EQ(header[0].X, 12);
  EXPECT_EQ(header[2].C, 0x2B);
  EXPECT_DOUBLE_EQ(header[2].X, 7);
  EXPECT_EQ(enoOf("%"), kEnoUnknown);

  EXPECT_EQ(convert({"' comment", "(comment)", ""}).count(), 0);
  auto comment = convert({"(comment) G01 X1", "G00 X2 ' cut"});
  ASSERT_EQ(comment.count(), 1);
  EXPECT_EQ(comment.result.ENO, kEnoMalformed);  // the bare "'" inside the G00 list
  EXPECT_EQ(comment.result.EL, 2);
  EXPECT_EQ(enoOf("(not closed G01 X1"), kEnoUnknown);
  // Comment text of any length, Big5 bytes included, is no word.
  std::string big5;
  for (int i = 0; i < 100; ++i) big5 += "\xb5\xf9";
  EXPECT_EQ(convert({"' " + big5, "(" + big5 + ") G01 X1"}).count(), 1);

  auto skip = convert({"M03 / G01 X2 M04", "G01 X3"});
  ASSERT_EQ(skip.count(), 4);
  EXPECT_EQ(skip[0].Skip, 0);
  EXPECT_EQ(skip[1].Skip, 1);
  EXPECT_EQ(skip[2].Skip, 1);
  EXPECT_EQ(skip[3].Skip, 0);  // the state ends with its line

  auto at = convert({"@3 A1 A2 A3 A4.5", "A5=10", "A6 = -2"});
  ASSERT_TRUE(at.result.ok());
  EXPECT_EQ(at[0].C, 0x40);
  EXPECT_DOUBLE_EQ(at[0].X, 3);
  EXPECT_DOUBLE_EQ(at[0].I, 3);
  EXPECT_DOUBLE_EQ(at[0].J, 4.5);
  EXPECT_EQ(at[1].C, 0xAA);
  EXPECT_DOUBLE_EQ(at[1].X, 5);
  EXPECT_DOUBLE_EQ(at[1].Y, 10);
  EXPECT_DOUBLE_EQ(at[2].Y, -2);
  EXPECT_EQ(enoOf("A5"), kEnoMalformed);

  // Lines of any length convert whole.
  auto wide = convert({"G01 X1" + std::string(300, ' ') + "Y2"});
  ASSERT_EQ(wide.count(), 1);
  EXPECT_DOUBLE_EQ(wide[0].Y, 2);
  EXPECT_EQ(enoOf("G01 X" + std::string(126, '1')), kEnoMalformed);  // a word of 127 characters
  EXPECT_EQ(enoOf("G01 X" + std::string(125, '1')), kEnoOk);
}

TEST(ConvertTable, HoldsAtMost5998Records) {
  std::vector<std::string> lines(CommandTable::kMaxRecords, "M03");
  auto full = convert(lines);
  EXPECT_TRUE(full.result.ok());
  EXPECT_EQ(full.count(), 5998);

  lines.back() = "M03 M04";
  auto over = convert(lines);
  EXPECT_EQ(over.result.ENO, kEnoTableFull);
  EXPECT_EQ(over.result.EL, 5998);
  lines.back() = "END";
  lines.push_back("END");
  EXPECT_EQ(convert(lines).result.ENO, kEnoTableFull);

  // Each conversion starts afresh.
  NcConverter converter;
  converter.ConvertProgram({"G02 X1 I1", "F5"});
  EXPECT_EQ(converter.ModalMotion, 2);
  converter.ConvertProgram({"X1"});
  EXPECT_EQ(converter.table().CommandCount(), 1);
  EXPECT_EQ(converter.table()[0].C, 0x01);
  EXPECT_DOUBLE_EQ(converter.ModalFeed, 1.0);
}

TEST(ConvertDump, FormatsAndFailureLine) {
  auto c = convert({"G02 X-1.5 Y2 I0.25 J-3 F120.5", "M03 M04 G05"});
  EXPECT_EQ(c.result.ENO, kEnoUnknown);
  EXPECT_EQ(c.result.EL, 2);
  EXPECT_EQ(formatConversionDump(c.table(), c.result),
            "ENO=fd   EL=   2\r\n"
            "N0001 C= 2 AS= 0 MX=33 X=    -1.500 Y=     2.000 Z=     0.000 I=     0.250 J=    -3.000 "
            "F=   120.500 B0001\r\n"
            "N0002 C=33 AS= 0 MX= 0 X=     0.000 Y=     0.000 Z=     0.000 I=     0.000 J=     0.000 "
            "F=     0.000 B0002\r\n"
            "N0002 C=34 AS= 0 MX= 0 X=     0.000 Y=     0.000 Z=     0.000 I=     0.000 J=     0.000 "
            "F=     0.000 B0002\r\n");
}

class RecordingHost final : public LinkHost {
 public:
  std::vector<std::string> lines;
  int beeps = 0;
  int pageIndex() const override { return kProgramPage; }
  void appendPageLine(int, std::string_view line) override { lines.emplace_back(line); }
  void beep() override { ++beeps; }
  void processEvents() override {}
  int selectedPortIndex() const override { return 0; }
  void selectPortIndex(int) override {}
  bool confirm(std::string_view) override { return true; }
  void notice(std::string_view) override {}
};

TEST(ConvertDriver, ReportsFailuresWritesTheDumpAndRefusesAnEmptyProgram) {
  test::TempDir dir;
  std::string catalogueText;
  for (int n = 1; n <= 260; ++n) catalogueText += "M" + std::to_string(n) + " text" + std::to_string(n) + "\r\n";
  dir.write("Message.E", catalogueText);
  MessageCatalogue catalogue;
  ASSERT_TRUE(catalogue.load(dir.file("Message.E")));
  const std::string dump = dir.file("Test.TXT");
  NcConverter converter;

  RecordingHost host;
  EXPECT_FALSE(convertForSimulator(converter, {}, dump, catalogue, host).ok());
  EXPECT_EQ(host.lines, std::vector<std::string>{"text198"});
  EXPECT_EQ(host.beeps, 1);
  EXPECT_FALSE(dir.exists("Test.TXT"));

  const auto failed = convertForSimulator(converter, {"G01 X1", "G01 X2", "N5"}, dump, catalogue, host);
  EXPECT_FALSE(failed.ok());
  EXPECT_EQ(host.lines.back(), "text249  On Line:N0003");
  EXPECT_EQ(host.beeps, 2);
  EXPECT_EQ(dir.read("Test.TXT").substr(0, 18), "ENO=fe   EL=   3\r\n");

  const auto good = convertForSimulator(converter, {"G01 X1"}, dump, catalogue, host);
  EXPECT_TRUE(good.ok());
  EXPECT_TRUE(good.dumpWritten);
  EXPECT_EQ(host.lines.size(), 2u);
  EXPECT_EQ(dir.read("Test.TXT").substr(0, 6), "N0001 ");
}

}  // namespace
}  // namespace qxr
