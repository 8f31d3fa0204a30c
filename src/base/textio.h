#pragma once
// Reading and writing the operator's and the program's text files.
//
// Files hold bytes (ASCII or Big5) with CR LF line ends. Reading treats CR LF
// and a bare LF alike; writing puts CR LF on disk. Reading and saving go
// through base/fileio.h: regular files only, bounded, saved whole or not at all.
#include <cstddef>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/fileio.h"

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
  // Reads the file whole (a regular file of at most `limit` bytes); a file
  // that cannot be read that way is not open, and error() says why.
  explicit LineReader(const std::string& path, std::size_t limit = kSettingsFileLimit);

  bool isOpen() const { return error_ == FileError::kNone; }
  FileError error() const { return error_; }
  // Next piece of at most `limit` characters (line feed included when it
  // fits). False at the end of the file.
  bool readPiece(std::string& piece, std::size_t limit);
  // Next whole line without its line end, however long. False at the end.
  bool readLine(std::string& line);

 private:
  int getChar();
  std::string content_;
  std::size_t position_ = 0;
  FileError error_ = FileError::kNone;
};

// All lines of a file without their line ends; nullopt when it cannot be
// read (a regular file of at most `limit` bytes), with the reason in `error`.
std::optional<std::vector<std::string>> readAllLines(const std::string& path, std::size_t limit,
                                                     FileError* error = nullptr);

// The bytes of a text file: each line ended by CR LF.
std::string textFileBytes(const std::vector<std::string>& lines);

// Saves `lines` as a text file through saveFile; the old file is untouched on failure.
FileError saveLines(const std::string& path, const std::vector<std::string>& lines);

// Finds `name` in `dir` ignoring the case of letters, as the file names the
// program uses were chosen on a system that ignores case. Returns the path of
// the existing entry, or dir + name when there is none.
std::string resolveCaseInsensitive(const std::string& dir, const std::string& name);

// Joins a directory (with or without a trailing separator) and a name.
std::string joinPath(const std::string& dir, const std::string& name);

}  // namespace qxr
