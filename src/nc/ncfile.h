#pragma once
// NC program files (".nc", ".ncd"): the program number line, the name line
// (only for the "QXR X02" generation), then one "N<line> <text>" line per
// non-empty editor line. Lines are bytes (ASCII or Big5) and are written as
// the editor holds them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <optional>
#include <vector>

#include "base/fileio.h"
#include "base/linecheck.h"

namespace qxr {

inline constexpr int kMinProgramNumber = 1;
inline constexpr int kMaxProgramNumber = 99;
inline constexpr std::size_t kProgramNameLength = 8;

// A gap in the line numbers of a file is filled with empty editor lines so
// that each text lands on the line its number names; a gap that would grow
// the program beyond what a program may hold is not filled (a stray huge
// number must not exhaust memory), and the text follows the previous line
// instead.
inline constexpr std::size_t kMaxFilledProgramLines = kMaxProgramLines;

inline bool isValidProgramNumber(int number) {
  return number >= kMinProgramNumber && number <= kMaxProgramNumber;
}

// "N<index + 1> <text>": an editor line as it is numbered on the way out
// (files and the controller).
std::string numberedProgramLine(std::size_t index, std::string_view text);

// The one rule for program names, whichever front end took them and wherever
// they came from (typed, a file, the controller): letters a to z become upper
// case (never the second byte of a Big5 pair, which may look like one), and
// the name is at most 8 bytes, cut before a Big5 pair that would not fit whole.
std::string programNameRule(std::string_view name, int language);

// What would keep a program from reaching the controller intact: a control
// byte in a line or in the name (withName), or a line whose frame
// "N<i> <text>" CR LF does not fit the controller's line buffer. The first
// problem in line order, the name first.
std::optional<LineProblem> checkProgramForController(const std::vector<std::string>& lines, std::string_view name,
                                                     bool withName);

// The lines of a program file: number, name (when withName), then the
// numbered non-empty editor lines.
std::vector<std::string> programFileLines(int number, std::string_view name, bool withName,
                                          const std::vector<std::string>& editorLines);

// Writes a program file atomically (temporary file renamed over the old one);
// on failure `error` (when given) says why.
bool writeProgramFile(const std::string& path, int number, std::string_view name, bool withName,
                      const std::vector<std::string>& editorLines, FileError* error = nullptr);

// Turns the numbered lines of a file back into editor lines: text after the
// first blank, gaps in the numbering filled with empty lines, lines without
// a blank skipped.
class ProgramLineCollector {
 public:
  void add(std::string_view fileLine, std::size_t fileLineNumber = 0);

  std::vector<std::string>& lines() { return lines_; }
  // Editor lines added, empty fill lines included.
  std::size_t addedCount() const { return lines_.size(); }
  // File lines whose gap was too large to fill (1-based line numbers in the
  // file, as passed to add), and the first of them.
  std::size_t unfilledCount() const { return unfilled_; }
  std::size_t firstUnfilledFileLine() const { return firstUnfilled_; }

 private:
  std::vector<std::string> lines_;
  long long previous_ = 0;
  std::size_t unfilled_ = 0;
  std::size_t firstUnfilled_ = 0;
};

enum class ProgramFileStatus {
  kRead,          // everything read
  kCannotOpen,    // the file could not be opened
  kNoNumberLine,  // the file is empty
  kBadNumber,     // number outside 1 to 99
  kNoNameLine,    // "QXR X02" file ended after the number line
  kNameTooLong,   // name line longer than 8 characters
  kRefused,       // the program lines break a rule: `problem` says which
};

struct ProgramFile {
  ProgramFileStatus status = ProgramFileStatus::kCannotOpen;
  // The number line's value; valid (1 to 99) from kNoNameLine on, and the
  // leading value of the line for kBadNumber.
  int number = 0;
  std::string name;                 // kRead with a name line only
  std::vector<std::string> lines;   // kRead only
  std::size_t unfilledCount = 0;    // see ProgramLineCollector
  std::size_t firstUnfilledFileLine = 0;
  FileError error = FileError::kNone;  // why kCannotOpen
  std::uint64_t fingerprint = 0;       // of the file's bytes, to tell a later change
  // kRefused: a numbered line without its blank (kNoBlank, at its line of the
  // file), more lines than a program holds, or a line too long for the
  // controller (checkProgramBound, at its editor line).
  std::optional<LineProblem> problem;
};

// Whether a file line without any blank may be passed over: an empty line, a
// lone "%" (the tape mark), or, read without a name, the name line of a file
// written for "QXR X02" (the line after the number, up to 8 characters).
// Any other line without the blank after its number would lose its text (and
// leave an empty line in its place), so the file is refused.
bool isSkippedFileLine(std::string_view line, bool firstAfterNumber, bool withName);

// Reads a program file (a regular file of at most kProgramFileLimit bytes).
// A file beyond the bound of a program (checkProgramBound) or with a
// numbered line that has no blank is kRefused, with the problem.
// withName: the file was written for "QXR X02" and has a name line. Lines are
// read whole however long they are, CR LF or LF ends.
ProgramFile readProgramFile(const std::string& path, bool withName);
// The same from bytes already in memory.
ProgramFile parseProgramFile(std::string_view bytes, bool withName);

}  // namespace qxr
