#pragma once
// What may go to the controller in a line. Every line of a program, parameter
// or PLC text is checked before the port opens and before any question: one
// line the controller would misread refuses the whole operation, with a
// message naming that line, so that nothing is half sent.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qxr {

// The controller keeps one incoming line, its CR LF and a terminating zero
// in a buffer of this many bytes.
inline constexpr std::size_t kControllerLineBuffer = 256;

// The one bound of an NC program wherever it is held or goes: the editor
// (its line labels end at N6000), a paste, a program file opened or saved, a
// send, a receive and qxrtool take at most this many lines, each of which
// must fit the controller's line buffer as the frame "N<line> <text>" CR LF.
inline constexpr std::size_t kMaxProgramLines = 6000;

// A byte the controller takes for a control character rather than text: any
// byte below 0x20 other than TAB (a NUL ends its line early, CR and LF end
// it, the others are line controls), and DEL. Bytes from 0x80 on are text
// (Big5 and Latin-1).
bool isControlByte(unsigned char byte);

// Why a line cannot go to the controller, and where.
struct LineProblem {
  enum Kind {
    kControlByte,       // `byte` at `column`
    kTooLong,           // the frame takes `length` bytes of the buffer's `limit`
    kValueOutOfRange,   // a parameter value beyond 32 bits, `text` as written
    kNotInCodePage,     // `text` (UTF-8) has no place in the code page
    kTooManyLines,      // the program has `length` lines of at most `limit`
    kNoBlank,           // a numbered program-file line without the blank after its number
    kBadForm,           // a line not of the form `text` names
  };
  Kind kind = kControlByte;
  // 0-based index of the line; kNameLine for a program's name.
  std::size_t line = 0;
  std::size_t column = 0;  // 0-based byte offset in the line
  unsigned char byte = 0;
  std::size_t length = 0;
  std::size_t limit = 0;
  std::string text;

  static constexpr std::size_t kNameLine = static_cast<std::size_t>(-1);
};

// The first control byte of `text`, or npos.
std::size_t findControlByte(std::string_view text);

// The problem of line `line` when `text` holds a control byte.
std::optional<LineProblem> controlByteIn(std::size_t line, std::string_view text);

// The problem of the first line holding a control byte.
std::optional<LineProblem> firstControlByteLine(const std::vector<std::string>& lines);

// The problem of a frame that does not fit the controller's line buffer:
// `frameLength` counts the frame with its CR LF; the terminating zero is added.
std::optional<LineProblem> oversizedFrame(std::size_t line, std::size_t frameLength);

// The bound of a program's lines: its line count and each line's frame
// "N<i> <text>" CR LF, lines numbered from `firstLine` (0-based). The first
// problem: too many lines (reported at the first line beyond the bound, with
// the whole count), else the first line too long. Control bytes are not
// looked at.
std::optional<LineProblem> checkProgramBound(const std::vector<std::string>& lines);
// The same for program text as one run of bytes in the operator's code page
// (a paste, say), lines ended by LF (a CR before it is not counted), without
// splitting or copying it: cheap on megabytes. `firstLine` is the editor line
// the text begins on; `linesAfter` are editor lines that follow it.
std::optional<LineProblem> checkProgramTextBound(std::string_view text, std::size_t firstLine = 0,
                                                 std::size_t linesAfter = 0);

// What was refused because of a problem.
enum class Refused { kSend, kSave, kSimulate, kOpen, kPaste };

// The operator's message for a problem: English for language 1, Traditional
// Chinese otherwise (UTF-8).
std::string lineProblemText(int language, const LineProblem& problem, Refused refused = Refused::kSend);

// Said when a character the code page lacks was typed or pasted: the text
// stays, but it is not saved or sent until the character is changed.
std::string unencodableTypedText(int language, std::size_t line, std::string_view character);

}  // namespace qxr
