#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/codec.h"
#include "params/paramlist.h"
#include "params/paramtransfer.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using test::TempDir;

TEST(ParameterCatalogue, DescriptionFileByModelVersionAndLanguage) {
  TempDir dir;
  dir.write("202pare.TXT", "Plain = 1\r\n");  // names match whatever their case
  dir.write("202ParME.txt", "Versioned = 2\r\n");
  dir.write("200Par.txt", "Old = 3\r\n");
  ParameterCatalogue catalogue;
  EXPECT_EQ(catalogue.build(dir.dir(), 1, 2, 1)[0].name, "Versioned");
  EXPECT_EQ(catalogue.build(dir.dir(), 1, 1, 1)[0].name, "Plain");  // no K file: the one without version
  EXPECT_TRUE(catalogue.build(dir.dir(), 1, 2, 0).empty());          // none in Chinese: empty, silently
  for (int version : {0, 1, 2}) EXPECT_EQ(catalogue.build(dir.dir(), 4, version, 0)[0].name, "Old");
  // Choosing QXR102 selects version K, QXR202 and QXR302 version SD; the others keep it.
  EXPECT_EQ(versionAfterModelChoice(0, 2), 1);
  EXPECT_EQ(versionAfterModelChoice(2, 2), 0);
  EXPECT_EQ(versionAfterModelChoice(5, 2), 2);
}

TEST(ParameterCatalogue, LinesLimitsAndAdditionalEntries) {
  TempDir dir;
  std::string description = "Max speed  = 12\r\nA=B=7\r\nno equals 5\r\nTabbed\t \t= -3x\r\n" +
                            std::string(300, 'n') + " = 44\r\n";  // a long name stays whole
  for (int i = 5; i < 2500; ++i) description += "P" + std::to_string(i) + "=" + std::to_string(i) + "\r\n";
  std::string additional = "  Kept  =\r\n";  // additional names are not trimmed
  for (int i = 1; i < 1200; ++i) additional += "Add=" + std::to_string(i) + "\r\n";
  dir.write("300ParE.txt", description);
  dir.write("XE.Ini", additional);
  ParameterCatalogue catalogue;
  catalogue.loadAdditionalLists(dir.dir(), 1);
  EXPECT_EQ(catalogue.additionalList(3).size(), 1000u);
  EXPECT_EQ(catalogue.additionalList(4).size(), 1000u);  // X.Ini serves all X00/X01 models
  EXPECT_TRUE(catalogue.additionalList(0).empty());

  const auto list = catalogue.build(dir.dir(), 5, 0, 1);
  ASSERT_EQ(list.size(), 3000u);
  EXPECT_EQ(list[0].name, "Max speed");
  EXPECT_EQ(list[0].number, 12);
  EXPECT_EQ(list[1].name, "A=B");
  EXPECT_EQ(list[1].number, 7);
  EXPECT_EQ(list[2].name, "Tabbed");
  EXPECT_EQ(list[2].number, -3);
  EXPECT_EQ(list[3].name, std::string(300, 'n'));
  EXPECT_EQ(list[1999].name, "P2000");  // the 2000th entry; P2001 and on are not read
  EXPECT_EQ(list[2000].name, "  Kept  ");
  EXPECT_EQ(list[2000].number, 0);
  EXPECT_EQ(list[2999].number, 999);
}

TEST(ParameterCatalogue, NamesArriveInTheOperatorsCodePage) {
  // UTF-8 as shipped becomes Big5; a file already in Big5 is taken as it is;
  // a byte-order mark does not become part of the first name.
  TempDir dir;
  dir.write("102ParK.txt", "\xEF\xBB\xBF速度 = 1\r\n");
  dir.write("Q102Add.Ini", "\xB3\x74\xAB\xD7=2\r\n");
  ParameterCatalogue catalogue;
  catalogue.loadAdditionalLists(dir.dir(), 0);
  const auto list = catalogue.build(dir.dir(), 0, 1, 0);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "\xB3\x74\xAB\xD7");
  EXPECT_EQ(list[1].name, "\xB3\x74\xAB\xD7");
}

// Every shipped list: numbers unique and alike in both languages, names in
// the code page, and lines read back from a controller can be sent again.
TEST(ShippedParameterData, ListsAreConsistentAndRoundTrip) {
  ParameterCatalogue chinese, english;
  chinese.loadAdditionalLists(test::dataDir(), 0);
  english.loadAdditionalLists(test::dataDir(), 1);
  for (int model = 0; model < kModelCount; ++model) {
    for (int version : {0, 1, 2}) {
      SCOPED_TRACE(descriptionFileName(model, version, 1));
      const auto c = chinese.build(test::dataDir(), model, version, 0);
      const auto e = english.build(test::dataDir(), model, version, 1);
      ASSERT_GT(e.size(), english.additionalList(model).size() + 15);
      ASSERT_EQ(c.size(), e.size());
      std::set<int> numbers;
      for (std::size_t i = 0; i < e.size(); ++i) {
        EXPECT_EQ(c[i].number, e[i].number);
        EXPECT_TRUE(numbers.insert(e[i].number).second) << "number used twice: " << e[i].number;
        EXPECT_EQ(c[i].name.find('?'), std::string::npos) << bytesToUtf8(c[i].name, 0);
        for (const auto& entry : {c[i], e[i]})
          EXPECT_EQ(parameterWriteLine(receivedParameterLine(entry, "-5\r\n")), std::to_string(entry.number) + "=-5");
      }
    }
  }
}

}  // namespace
}  // namespace qxr
