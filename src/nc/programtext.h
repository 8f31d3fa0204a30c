#pragma once
// Program files of either kind: the system's own numbered format (read by
// ncfile.h exactly as it always was) or plain NC text as CAM post-processors
// write it: any of LF, CR LF or CR line ends, "%" tape marks, an O-word line
// such as "O1000 (POCKET)", comments in parentheses, blocks with or without
// leading N sequence numbers, tabs.
//
// A file is in the numbered format when its first line begins, after blanks,
// with a digit (or a sign and a digit), and when it is empty; every other file
// is plain NC text. From plain text the reader takes the program number from
// the first O-word line (O and digits, then nothing but comments) when it is
// 1 to 99, and the name from the first comment of that line, or of the comment
// lines before the first block, that the name rule keeps whole. It drops the
// tape marks (and what follows the closing one), the O-word line, the leading
// N-word of every block (the controller's own numbering replaces it), the
// blanks and tabs around a block, and empty lines before the program and at
// its end. Every line it keeps is checked as it will go to the controller
// (control bytes, frame length, at most 6 000 lines), and a problem names the
// file's own line; bytes are taken as they are, like those of a numbered file
// (a byte that is no Big5 pair goes back out as it came).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/linecheck.h"
#include "nc/ncfile.h"

namespace qxr {

class Link;

// The editor labels its lines N0001 to N6000; a program file with more
// program lines is no program for it.
inline constexpr std::size_t kProgramLineLimit = 6000;

enum class ProgramTextKind { kNumbered, kPlain };

// Which kind of program file `bytes` hold.
ProgramTextKind recogniseProgramText(std::string_view bytes);

// What the operator (or the command line) gives for a file: a number
// (0: none) and a name. A given number or name replaces the file's.
struct GivenProgramHeader {
  int number = 0;
  std::optional<std::string> name;
};

// Why a plain file cannot be taken.
enum class PlainRefusal {
  kNone,
  kNoNumber,      // no O-word 1 to 99 and no number given
  kLine,          // `problem` names the file line
  kTooManyLines,  // more than kProgramLineLimit program lines
};

struct ProgramText {
  ProgramTextKind kind = ProgramTextKind::kNumbered;
  // What the page takes. The numbered format: exactly what readProgramFile
  // gives. Plain text: status kRead with number, name and lines, unless
  // refused (status kBadNumber then, and the page is not touched).
  ProgramFile file;

  // Plain text only.
  PlainRefusal refusal = PlainRefusal::kNone;
  std::optional<LineProblem> problem;  // kLine: `line` is the 0-based file line
  std::string oWord;                   // the O-word as written ("O1000"), empty when none
  bool numberGiven = false;            // the number came from GivenProgramHeader
  bool nameFromComment = false;
  bool nameGiven = false;
  std::size_t tapeMarks = 0;
  std::size_t nWords = 0;
  std::size_t linesAfterEnd = 0;       // non-empty lines after the closing tape mark
  std::vector<std::size_t> fileLines;  // the 1-based file line of each editor line

  bool plain() const { return kind == ProgramTextKind::kPlain; }
  bool refused() const { return refusal != PlainRefusal::kNone; }
};

// Reads program file bytes of either kind. withName: the numbered format has
// a name line ("QXR X02"); it also decides whether a plain file's name is
// taken. language: the code page the lines are checked against.
ProgramText parseProgramText(std::string_view bytes, bool withName, int language,
                             const GivenProgramHeader& given = {});
// The same from a file (a regular file of at most kProgramFileLimit bytes);
// file.status is kCannotOpen with file.error when it cannot be read.
// A block without its comments in parentheses (an unclosed one runs to the
// end of the line) and without the blanks they leave at its ends: what the
// simulator runs of a plain program, whose blocks it knows without comments.
std::string withoutComments(std::string_view block);

ProgramText readProgramText(const std::string& path, bool withName, int language,
                            const GivenProgramHeader& given = {});

// The page's line for a plain file that was read: what was taken and what
// was dropped. Empty for the numbered format.
std::string programTextSummary(int language, const ProgramText& text);
// Why a plain file was refused (empty when it was not).
std::string programTextRefusal(int language, const ProgramText& text);

// Reports on the page what a file gave (plain text: the summary) or why it
// was refused (reported with a beep when `beep`); false when refused.
bool announceProgramText(Link& link, const ProgramText& text, bool beep = true);

// The program as plain NC text: "%", the O-word line ("O0010" and the name in
// parentheses when there is one), the editor lines as they are, "%"; CR LF
// line ends. Read back, it gives the same number, name and lines (empty
// lines at the start and the end aside).
std::string plainProgramText(int number, std::string_view name, const std::vector<std::string>& lines);
// Writes it atomically; on failure `error` (when given) says why.
bool writePlainProgramFile(const std::string& path, int number, std::string_view name,
                           const std::vector<std::string>& lines, FileError* error = nullptr);

}  // namespace qxr
