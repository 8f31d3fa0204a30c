#include <gtest/gtest.h>

#include <set>
#include <string>

#include "app/codec.h"
#include "params/paramlist.h"
#include "params/paramtransfer.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using test::TempDir;

constexpr int kChinese = 0;
constexpr int kEnglish = 1;

TEST(ParameterFileNames, FollowModelVersionAndLanguage) {
  EXPECT_EQ(descriptionFileName(0, 1, kChinese), "102ParK.txt");
  EXPECT_EQ(descriptionFileName(1, 2, kEnglish), "202ParME.txt");
  EXPECT_EQ(descriptionFileName(1, 2, kEnglish, false), "202ParE.txt");
  EXPECT_EQ(descriptionFileName(2, 0, kChinese), "302ParSD.txt");
  // The X00/X01 models have no versions.
  for (int version : {0, 1, 2}) EXPECT_EQ(descriptionFileName(4, version, kChinese), "200Par.txt");
  EXPECT_EQ(descriptionFileName(5, 1, kEnglish), "300ParE.txt");
  EXPECT_EQ(additionalFileName(0, kChinese), "Q102Add.Ini");
  EXPECT_EQ(additionalFileName(2, kEnglish), "Q302AddE.Ini");
  for (int model : {3, 4, 5}) EXPECT_EQ(additionalFileName(model, kEnglish), "XE.Ini");
  EXPECT_EQ(descriptionFileName(6, 0, kChinese), "");
  EXPECT_EQ(additionalFileName(-1, kChinese), "");
}

TEST(ParameterFileNames, ModelChoiceSwitchesTheVersion) {
  for (int current : {0, 1, 2}) {
    EXPECT_EQ(versionAfterModelChoice(0, current), 1);
    EXPECT_EQ(versionAfterModelChoice(1, current), 0);
    EXPECT_EQ(versionAfterModelChoice(2, current), 0);
    for (int model : {3, 4, 5}) EXPECT_EQ(versionAfterModelChoice(model, current), current);
  }
}

TEST(ParameterLine, NumberFollowsTheLastEquals) {
  ParameterEntry entry;
  ASSERT_TRUE(parseParameterLine("Max speed  = 12", true, entry));
  EXPECT_EQ(entry.name, "Max speed");
  EXPECT_EQ(entry.number, 12);
  ASSERT_TRUE(parseParameterLine("A=B=7", true, entry));
  EXPECT_EQ(entry.name, "A=B");
  EXPECT_EQ(entry.number, 7);
  ASSERT_TRUE(parseParameterLine("Tabbed \t\t= -3x", true, entry));
  EXPECT_EQ(entry.name, "Tabbed");
  EXPECT_EQ(entry.number, -3);
  ASSERT_TRUE(parseParameterLine("  Kept  =", false, entry));  // additional files keep the name
  EXPECT_EQ(entry.name, "  Kept  ");
  EXPECT_EQ(entry.number, 0);
  EXPECT_FALSE(parseParameterLine("no equals sign 12", true, entry));
  EXPECT_FALSE(parseParameterLine("", true, entry));
}

class ParameterCatalogueTest : public ::testing::Test {
 protected:
  TempDir dir;
  ParameterCatalogue catalogue;

  static std::string numbered(const std::string& stem, int from, int count, const char* separator = " = ") {
    std::string text;
    for (int i = from; i < from + count; ++i) text += stem + std::to_string(i) + separator + std::to_string(i) + "\r\n";
    return text;
  }
};

TEST_F(ParameterCatalogueTest, VersionedFileFirstThenTheFileWithoutVersion) {
  dir.write("202ParE.txt", "Plain = 1\r\n");
  dir.write("202ParME.txt", "Versioned = 2\r\n");
  auto list = catalogue.build(dir.dir(), 1, 2, kEnglish);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "Versioned");
  // Version K has no file of its own: the plain one stands in.
  list = catalogue.build(dir.dir(), 1, 1, kEnglish);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "Plain");
  // Neither exists in Chinese: an empty list, no complaint.
  EXPECT_TRUE(catalogue.build(dir.dir(), 1, 2, kChinese).empty());
}

TEST_F(ParameterCatalogueTest, FileNamesMatchWhateverTheirCase) {
  dir.write("102park.TXT", "Speed = 5\r\n");
  dir.write("q102add.ini", "Extra=6\r\n");
  catalogue.loadAdditionalLists(dir.dir(), kChinese);
  const auto list = catalogue.build(dir.dir(), 0, 1, kChinese);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].number, 5);
  EXPECT_EQ(list[1].number, 6);
}

TEST_F(ParameterCatalogueTest, LimitsAndTheAdditionalEntriesAfterTheDescription) {
  dir.write("300ParE.txt", "header without equals\r\n" + numbered("P", 1, 2500));
  dir.write("XE.Ini", numbered("Add ", 1, 1200, "="));
  catalogue.loadAdditionalLists(dir.dir(), kEnglish);
  EXPECT_EQ(catalogue.additionalList(3).size(), 1000u);
  EXPECT_EQ(catalogue.additionalList(4).size(), 1000u);  // X.Ini serves all three X00/X01 models
  EXPECT_TRUE(catalogue.additionalList(0).empty());

  const auto list = catalogue.build(dir.dir(), 5, 0, kEnglish);
  ASSERT_EQ(list.size(), 3000u);
  EXPECT_EQ(list[1999].name, "P2000");
  EXPECT_EQ(list[2000].name, "Add 1");
  EXPECT_EQ(list[2999].number, 1000);
}

TEST_F(ParameterCatalogueTest, AdditionalListsAreReadOnceAtStart) {
  dir.write("Q202AddE.Ini", "First=1\r\n");
  catalogue.loadAdditionalLists(dir.dir(), kEnglish);
  dir.write("Q202AddE.Ini", "Changed=2\r\n");
  const auto list = catalogue.build(dir.dir(), 1, 0, kEnglish);
  ASSERT_EQ(list.size(), 1u);
  EXPECT_EQ(list[0].name, "First");
}

TEST_F(ParameterCatalogueTest, LongNamesStayWhole) {
  const std::string longName(300, 'n');
  dir.write("101ParE.txt", longName + " = 44\r\nShort = 45\r\n");
  const auto list = catalogue.build(dir.dir(), 3, 1, kEnglish);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, longName);
  EXPECT_EQ(list[0].number, 44);
  EXPECT_EQ(list[1].name, "Short");
}

TEST_F(ParameterCatalogueTest, NamesArriveInTheOperatorsCodePage) {
  // UTF-8 as shipped becomes Big5; a file already in Big5 is taken as it is;
  // a byte-order mark does not become part of the first name.
  dir.write("102ParK.txt", "\xEF\xBB\xBF速度 = 1\r\n");
  dir.write("Q102Add.Ini", "\xB3\x74\xAB\xD7=2\r\n");
  catalogue.loadAdditionalLists(dir.dir(), kChinese);
  const auto list = catalogue.build(dir.dir(), 0, 1, kChinese);
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "\xB3\x74\xAB\xD7");  // 速度 in Big5
  EXPECT_EQ(list[1].name, "\xB3\x74\xAB\xD7");
  EXPECT_EQ(bytesToUtf8(list[0].name, kChinese), "速度");
}

// The shipped descriptions: every model, version and language gives a list
// whose lines, once read back from a controller, can be sent again.
TEST(ShippedParameterData, EveryListIsCompleteAndRoundTrips) {
  for (int language : {kChinese, kEnglish}) {
    ParameterCatalogue catalogue;
    catalogue.loadAdditionalLists(test::dataDir(), language);
    for (int model = 0; model < kModelCount; ++model) {
      EXPECT_FALSE(catalogue.additionalList(model).empty()) << model;
      for (int version : {0, 1, 2}) {
        SCOPED_TRACE(descriptionFileName(model, version, language));
        const auto list = catalogue.build(test::dataDir(), model, version, language);
        ASSERT_GT(list.size(), catalogue.additionalList(model).size() + 15);
        std::set<int> numbers;
        for (const auto& entry : list) {
          EXPECT_TRUE(numbers.insert(entry.number).second) << "number used twice: " << entry.number;
          EXPECT_GT(entry.number, 0);
          EXPECT_EQ(entry.name.find('?'), std::string::npos) << "not in the code page: " << entry.name;
          const auto sent = parameterWriteLine(receivedParameterLine(entry, "1234\r\n"));
          ASSERT_TRUE(sent);
          EXPECT_EQ(*sent, std::to_string(entry.number) + "=1234");
        }
      }
    }
  }
}

TEST(ShippedParameterData, LanguagesNumberTheirParametersAlike) {
  ParameterCatalogue chinese, english;
  chinese.loadAdditionalLists(test::dataDir(), kChinese);
  english.loadAdditionalLists(test::dataDir(), kEnglish);
  for (int model = 0; model < kModelCount; ++model) {
    for (int version : {0, 1, 2}) {
      const auto c = chinese.build(test::dataDir(), model, version, kChinese);
      const auto e = english.build(test::dataDir(), model, version, kEnglish);
      ASSERT_EQ(c.size(), e.size()) << model << " " << version;
      for (std::size_t i = 0; i < c.size(); ++i) EXPECT_EQ(c[i].number, e[i].number);
    }
  }
}

}  // namespace
}  // namespace qxr
