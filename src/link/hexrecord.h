#pragma once
// Checksums and the PLC data record.
#include <string>
#include <string_view>

namespace qxr {

// 0-9 for "0"-"9", 10-15 for "A"-"F", -1 for anything else (lower case too).
int HexDigitValue(char c);

// Adds the bytes of `text` (up to a NUL, as signed 8-bit values) and appends
// the low 8 bits of the total as two upper-case hexadecimal digits.
void AppendSumChecksum(std::string& text);

// The PLC data record for one line of hexadecimal text:
// STX, byte count "%02X", "00", the leading hexadecimal digits of `data`,
// the ones' complement checksum "%02X", ETX.
std::string BuildHexRecord(std::string_view data);

}  // namespace qxr
