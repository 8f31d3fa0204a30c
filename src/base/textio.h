#pragma once
// Reading and writing the operator's and the program's text files.
//
// Files hold bytes (ASCII or Big5) with CR LF line ends. Reading treats CR LF
// and a bare LF alike; writing puts CR LF on disk. Saving goes through a
// temporary file renamed over the old one, so a failed save never leaves a
// truncated file behind.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qxr {

// The usual decimal conversion of the system's texts: leading white space,
// an optional sign, digits up to the first other character; 0 without digits.
// Values beyond the range of int are clamped.
int leadingInt(std::string_view text);

// The number after the last "=" of a line (leadingInt of the rest); 0 when the
// line has no "=".
int valueAfterLastEquals(std::string_view line);

// Cuts text at the first occurrence of ch (the whole text when absent).
std::string_view cutAt(std::string_view text, char ch);

// Removes trailing blanks and tabs.
std::string_view trimTrailingBlanks(std::string_view text);

// Reads a text file line by line in pieces of bounded length, as a C library
// line read with a fixed buffer does: a piece ends after a line feed or when
// it holds `limit` characters. CR LF reads as LF.
class LineReader {
 public:
  explicit LineReader(const std::string& path);
  ~LineReader();
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  bool isOpen() const { return file_ != nullptr; }
  // Next piece of at most `limit` characters (line feed included when it
  // fits). False at the end of the file.
  bool readPiece(std::string& piece, std::size_t limit);
  // Next whole line without its line end, however long. False at the end.
  bool readLine(std::string& line);

 private:
  int getChar();
  std::FILE* file_ = nullptr;
  int pushedBack_ = -1;
};

// All lines of a file without their line ends; nullopt when it cannot be opened.
std::optional<std::vector<std::string>> readAllLines(const std::string& path);

// Writes `lines` as a text file, each ended by CR LF, atomically (temporary
// file in the same directory, flushed, renamed over the target). False when
// any step fails; the old file is then untouched.
bool writeLinesAtomic(const std::string& path, const std::vector<std::string>& lines);

// Writes raw bytes atomically, as above.
bool writeFileAtomic(const std::string& path, std::string_view bytes);

// Finds `name` in `dir` ignoring the case of letters, as the file names the
// program uses were chosen on a system that ignores case. Returns the path of
// the existing entry, or dir + name when there is none.
std::string resolveCaseInsensitive(const std::string& dir, const std::string& name);

// Joins a directory (with or without a trailing separator) and a name.
std::string joinPath(const std::string& dir, const std::string& name);

}  // namespace qxr
