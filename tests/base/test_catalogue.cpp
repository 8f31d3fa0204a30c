#include <gtest/gtest.h>

#include <set>
#include <string>

#include "base/catalogue.h"
#include "base/codec.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using test::TempDir;

TEST(Catalogue, TextIsWhatFollowsTheFirstBlank) {
  TempDir dir;
  std::string content;
  for (int n = 1; n <= 100; ++n) content += std::to_string(n) + " text " + std::to_string(n) + "\r\n";
  content += "101 opened port \r\n";  // trailing blank kept
  content += "noblank\r\n";           // 102: no text
  content += "\r\n";                  // 103: empty line, no text
  content += "104 \r\n";              // 104: empty text
  dir.write("Message.E", content);
  MessageCatalogue catalogue;
  ASSERT_TRUE(catalogue.load(dir.file("Message.E")));
  EXPECT_EQ(catalogue.count(), 104);
  EXPECT_EQ(catalogue.text(7), "text 7");
  EXPECT_EQ(catalogue.text(101), "opened port ");
  EXPECT_FALSE(catalogue.lookup(102));
  EXPECT_FALSE(catalogue.lookup(103));
  ASSERT_TRUE(catalogue.lookup(104));
  EXPECT_EQ(*catalogue.lookup(104), "");
  EXPECT_FALSE(catalogue.lookup(0));
  EXPECT_FALSE(catalogue.lookup(105));
}

TEST(Catalogue, AtMostThreeHundredLines) {
  TempDir dir;
  std::string content;
  for (int n = 1; n <= 310; ++n) content += "m " + std::to_string(n) + "\n";
  dir.write("Message.C", content);
  MessageCatalogue catalogue;
  ASSERT_TRUE(catalogue.loadLanguage(dir.dir(), 0));
  EXPECT_EQ(catalogue.count(), 300);
  EXPECT_EQ(catalogue.text(300), "300");
  EXPECT_FALSE(catalogue.lookup(301));
}

TEST(Catalogue, LongLinesArriveInPiecesAndALastLineLosesItsLastCharacter) {
  TempDir dir;
  const std::string longText(300, 'x');
  dir.write("Message.E", "1 " + longText + "\nlast line");
  MessageCatalogue catalogue;
  ASSERT_TRUE(catalogue.load(dir.file("Message.E")));
  // 302 characters with the line end: 253 + 49; each piece loses its last.
  ASSERT_EQ(catalogue.count(), 3);
  EXPECT_EQ(catalogue.text(1), std::string(250, 'x'));
  EXPECT_FALSE(catalogue.lookup(2));  // the rest of the x's has no blank
  EXPECT_EQ(catalogue.text(3), "lin");
}

TEST(Catalogue, MissingFileGivesEmptyTexts) {
  TempDir dir;
  MessageCatalogue catalogue;
  EXPECT_FALSE(catalogue.loadLanguage(dir.dir(), 1));
  EXPECT_EQ(catalogue.count(), 0);
  EXPECT_EQ(catalogue.text(101), "");
}

// Every number the program uses has a text in both shipped catalogues.
TEST(ShippedCatalogues, HaveATextAtEveryUsedNumber) {
  std::set<int> used;
  auto range = [&](int from, int to) {
    for (int n = from; n <= to; ++n) used.insert(n);
  };
  range(11, 18), range(21, 36), range(41, 47), range(50, 55), range(61, 65), range(68, 81);
  range(96, 98), range(100, 109), range(111, 117), range(121, 135), range(141, 148);
  range(161, 176), range(181, 184), range(186, 198), range(202, 208), range(230, 232);
  range(234, 234), range(247, 249);
  for (int language : {0, 1}) {
    MessageCatalogue catalogue;
    ASSERT_TRUE(catalogue.loadLanguage(test::dataDir(), language)) << language;
    for (int n : used) {
      const auto text = catalogue.lookup(n);
      ASSERT_TRUE(text) << "language " << language << " message " << n;
      EXPECT_FALSE(text->empty()) << "language " << language << " message " << n;
      EXPECT_TRUE(isValidUtf8(*text)) << "language " << language << " message " << n;
    }
  }
}

}  // namespace
}  // namespace qxr
