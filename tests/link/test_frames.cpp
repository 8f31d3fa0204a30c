// Hex records, checksums and port names.
#include <gtest/gtest.h>

#include "link/hexrecord.h"
#include "link/link.h"
#include "link/portname.h"
#include "support/tempdir.h"

#include <filesystem>

namespace qxr {
namespace {

TEST(HexRecord, WorkedExampleAndEmptyRecord) {
  EXPECT_EQ(BuildHexRecord("0A1B"), "\x02" "02000A1BD8\x03");
  EXPECT_EQ(BuildHexRecord(""), std::string("\x02" "0000FF\x03"));
  // Only the leading hexadecimal digits are data: a line end is not sent.
  EXPECT_EQ(BuildHexRecord("0A1B\r\n"), "\x02" "02000A1BD8\x03");
}

TEST(HexRecord, OddDigitCountAndLowerCaseDigits) {
  // Three digits: two bytes counted; the lone last digit adds its value.
  // sum = 02 + 0A + 1 = 0D, checksum F2.
  EXPECT_EQ(BuildHexRecord("0A1"), "\x02" "02000A1F2\x03");
  // Lower-case digits count and are copied, but stop the sum (they are not
  // upper-case digits): sum = 01, checksum FE.
  EXPECT_EQ(BuildHexRecord("ab"), "\x02" "0100abFE\x03");
  // A 16-byte line of a compiled file.
  const std::string line = "000102030405060708090A0B0C0D0E0F";
  unsigned sum = 16;
  for (unsigned i = 0; i < 16; ++i) sum += i;
  char checksum[3];
  std::snprintf(checksum, sizeof checksum, "%02X", (sum ^ 0xFF) & 0xFF);
  EXPECT_EQ(BuildHexRecord(line), "\x02" "1000" + line + checksum + "\x03");
}

TEST(HexRecord, DigitValuesAndAdditiveChecksum) {
  EXPECT_EQ(HexDigitValue('0'), 0);
  EXPECT_EQ(HexDigitValue('9'), 9);
  EXPECT_EQ(HexDigitValue('A'), 10);
  EXPECT_EQ(HexDigitValue('F'), 15);
  EXPECT_EQ(HexDigitValue('a'), -1);
  EXPECT_EQ(HexDigitValue('G'), -1);

  std::string text = "abc";
  AppendSumChecksum(text);
  EXPECT_EQ(text, "abc26");
  // Bytes above 7F count as negative values.
  std::string high = "\x80\x01";
  AppendSumChecksum(high);
  EXPECT_EQ(high, "\x80\x01" "81");
  std::string request = "0125C02\x03";
  AppendSumChecksum(request);
  EXPECT_EQ(request, "0125C02\x03" "70");
}

TEST(PortName, ListNamesAndResolution) {
  EXPECT_EQ(Link::PortName(0), "COM1");
  EXPECT_EQ(Link::PortName(8), "COM9");
  EXPECT_EQ(Link::PortName(9), "\\\\.\\COM10");

  test::TempDir dir;
  std::filesystem::create_symlink("/dev/null", dir.file("COM3"));
  std::filesystem::create_symlink("/nonexistent/tty", dir.file("COM10"));
  EXPECT_EQ(resolvePortDevice("COM3", dir.dir()), dir.file("COM3"));
  EXPECT_EQ(resolvePortDevice("Com3", dir.dir()), dir.file("COM3"));  // the component's default spelling
  EXPECT_EQ(resolvePortDevice("\\\\.\\COM10", dir.dir()), dir.file("COM10"));  // a dangling link still wins
  EXPECT_EQ(resolvePortDevice("COM4", dir.dir()), "/dev/ttyS3");
  EXPECT_EQ(resolvePortDevice("\\\\.\\COM12", ""), "/dev/ttyS11");
  EXPECT_EQ(resolvePortDevice("/dev/ttyUSB0", dir.dir()), "/dev/ttyUSB0");
  EXPECT_EQ(resolvePortDevice("COMX", ""), "COMX");
}

}  // namespace
}  // namespace qxr
