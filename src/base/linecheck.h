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

// What was refused because of a problem.
enum class Refused { kSend, kSave, kSimulate, kRead };

// The operator's message for a problem: English for language 1, Traditional
// Chinese otherwise (UTF-8).
std::string lineProblemText(int language, const LineProblem& problem, Refused refused = Refused::kSend);

// Said when a character the code page lacks was typed or pasted: the text
// stays, but it is not saved or sent until the character is changed.
std::string unencodableTypedText(int language, std::size_t line, std::string_view character);

}  // namespace qxr
