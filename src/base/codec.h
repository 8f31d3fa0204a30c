#pragma once
// Bytes of the operator's files and of the serial line are ASCII or Big5
// (Chinese) / Latin-1 (English); the windows show Unicode. Shipped data is
// UTF-8. These conversions are reversible: a byte that is not valid in the
// code page is carried through as a private-use character and written back
// as the same byte, so reading a file and saving it again keeps every byte.
#include <string>
#include <string_view>

namespace qxr {

// The code page of a language: 0 Big5, 1 Latin-1.
const char* codePageName(int language);

// Bytes in the language's code page to UTF-8.
std::string bytesToUtf8(std::string_view bytes, int language);

// UTF-8 to bytes in the language's code page; characters the code page lacks
// become "?". With `firstLost`, the byte offset in `utf8` of the first such
// character (or of invalid UTF-8) is stored there, npos when none was lost.
std::string utf8ToBytes(std::string_view utf8, int language, std::size_t* firstLost = nullptr);

// The byte offset in `utf8` of the first character that the language's code
// page cannot hold (so that utf8ToBytes would turn it into "?"), npos when
// every character has its place. Stray bytes carried by bytesToUtf8 have one.
std::size_t findUnencodable(std::string_view utf8, int language);

// The length of the UTF-8 character at `offset` (1 for an invalid byte).
std::size_t utf8CharLength(std::string_view utf8, std::size_t offset);

// A line for a message box, which may be catalogue text (UTF-8) followed by
// bytes of the operator's code page: valid UTF-8 is shown as it is; otherwise
// the UTF-8 start is kept and the rest decoded through the code page.
std::string displayUtf8(std::string_view text, int language);

bool isValidUtf8(std::string_view text);

}  // namespace qxr
