#include <gtest/gtest.h>

#include "base/codec.h"
#include "base/textio.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

using test::TempDir;

TEST(LeadingInt, ReadsAsTheUsualDecimalConversion) {
  EXPECT_EQ(leadingInt(" 12ab"), 12);
  EXPECT_EQ(leadingInt("-7"), -7);
  EXPECT_EQ(leadingInt("+3x"), 3);
  EXPECT_EQ(leadingInt("x3"), 0);
  EXPECT_EQ(leadingInt(""), 0);
  EXPECT_EQ(leadingInt("99999999999999"), 2147483647);
  EXPECT_EQ(leadingInt("-99999999999999"), -2147483647 - 1);
  EXPECT_EQ(valueAfterLastEquals("A=B= 7"), 7);
  EXPECT_EQ(valueAfterLastEquals("no sign"), 0);
}

TEST(LineReader, PiecesOfBoundedLengthAndBothLineEnds) {
  TempDir dir;
  dir.write("f.txt", "abcdef\r\nxy\nlast\rstill");
  LineReader reader(dir.file("f.txt"));
  std::string piece;
  ASSERT_TRUE(reader.readPiece(piece, 4));
  EXPECT_EQ(piece, "abcd");
  ASSERT_TRUE(reader.readPiece(piece, 4));
  EXPECT_EQ(piece, "ef\n");
  ASSERT_TRUE(reader.readPiece(piece, 80));
  EXPECT_EQ(piece, "xy\n");
  ASSERT_TRUE(reader.readLine(piece));
  EXPECT_EQ(piece, "last\rstill");  // a lone CR is not a line end
  EXPECT_FALSE(reader.readLine(piece));
}

TEST(AtomicWrite, ReplacesWholeOrNotAtAll) {
  TempDir dir;
  ASSERT_EQ(saveLines(dir.file("p.nc"), {"7", "N1 G00"}), FileError::kNone);
  EXPECT_EQ(dir.read("p.nc"), "7\r\nN1 G00\r\n");
  ASSERT_EQ(saveLines(dir.file("p.nc"), {"8"}), FileError::kNone);
  EXPECT_EQ(dir.read("p.nc"), "8\r\n");
  const auto lines = readAllLines(dir.file("p.nc"), kProgramFileLimit);
  ASSERT_TRUE(lines);
  EXPECT_EQ(*lines, std::vector<std::string>{"8"});
  EXPECT_FALSE(readAllLines(dir.file("absent"), kProgramFileLimit));
}

TEST(Codec, Big5RoundTripKeepsEveryByte) {
  const std::string big5 = "\xb5{\xa6\xa1 G01";  // "程式 G01" in Big5
  const std::string utf8 = bytesToUtf8(big5, 0);
  EXPECT_EQ(utf8, "\xe7\xa8\x8b\xe5\xbc\x8f G01");
  EXPECT_EQ(utf8ToBytes(utf8, 0), big5);
  // Bytes that are no Big5 survive a round trip all the same.
  const std::string stray = "A\xff\x80Z\xa4";
  EXPECT_EQ(utf8ToBytes(bytesToUtf8(stray, 0), 0), stray);
  // Latin-1 maps every byte.
  const std::string latin = "caf\xe9";
  EXPECT_EQ(utf8ToBytes(bytesToUtf8(latin, 1), 1), latin);
  // A character the code page lacks becomes "?".
  EXPECT_EQ(utf8ToBytes("\xe2\x82\xac", 1), "?");
}

TEST(Codec, DisplayKeepsUtf8AndDecodesCodePageBytes) {
  EXPECT_EQ(displayUtf8("\xe7\xa8\x8b", 0), "\xe7\xa8\x8b");
  EXPECT_EQ(displayUtf8("\xb5{", 0), "\xe7\xa8\x8b");
  // Chinese catalogue text followed by a Big5 name: each part by its own rule.
  EXPECT_EQ(displayUtf8("\xe5\x90\x8d: \xb5{\xa6\xa1", 0), "\xe5\x90\x8d: \xe7\xa8\x8b\xe5\xbc\x8f");
}

TEST(ResolveCaseInsensitive, FindsAnExistingSpelling) {
  TempDir dir;
  dir.write("MESSAGE.e", "x");
  EXPECT_EQ(resolveCaseInsensitive(dir.dir(), "Message.E"), dir.file("MESSAGE.e"));
  EXPECT_EQ(resolveCaseInsensitive(dir.dir(), "absent.txt"), dir.file("absent.txt"));
}

}  // namespace
}  // namespace qxr
