#include "link/hexrecord.h"

#include <cstdio>

#include "link/frames.h"

namespace qxr {

int HexDigitValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

namespace {

bool isHexDigitEitherCase(char c) {
  return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'F') || (c >= 'a' && c <= 'f');
}

std::string hexByte(unsigned value) {
  char digits[8];
  std::snprintf(digits, sizeof digits, "%02X", value & 0xFFu);
  return digits;
}

}  // namespace

void AppendSumChecksum(std::string& text) {
  const std::string_view content(text.c_str());  // up to the first NUL
  int total = 0;
  for (char c : content) total += static_cast<signed char>(c);
  text.resize(content.size());
  text += hexByte(static_cast<unsigned>(total));
}

std::string BuildHexRecord(std::string_view data) {
  std::size_t digits = 0;
  while (digits < data.size() && isHexDigitEitherCase(data[digits])) ++digits;
  const unsigned byteCount = static_cast<unsigned>((digits + 1) / 2);

  // The sum walks pairs while the first character is an upper-case digit; a
  // pair whose second character is not one adds the first digit alone.
  unsigned sum = byteCount;
  for (std::size_t i = 0; i < data.size(); i += 2) {
    const int high = HexDigitValue(data[i]);
    if (high < 0) break;
    const int low = i + 1 < data.size() ? HexDigitValue(data[i + 1]) : -1;
    if (low < 0) {
      sum += static_cast<unsigned>(high);
      break;
    }
    sum += static_cast<unsigned>(high * 16 + low);
  }
  const unsigned checksum = (sum ^ 0xFFu) & 0xFFu;

  std::string record;
  record += frames::STX;
  char count[16];
  std::snprintf(count, sizeof count, "%02X", byteCount);
  record += count;
  record += "00";
  record.append(data.substr(0, digits));
  record += hexByte(checksum);
  record += frames::ETX;
  return record;
}

}  // namespace qxr
