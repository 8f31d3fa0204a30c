#pragma once
// The parameter page's operations: parameter files, and sending and reading
// parameters over the link. The page itself (the main window, qxrtool, the
// tests) is reached through ParameterPage.
#include <climits>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/linecheck.h"
#include "link/operation.h"
#include "params/paramlist.h"

namespace qxr {

// What the operations read and write on the parameter page. Lines are bytes
// of the operator's code page; labels are UTF-8.
class ParameterPage {
 public:
  virtual ~ParameterPage() = default;
  // The lines of `ParameterMemo` (none when it is empty).
  virtual std::vector<std::string> parameterLines() const = 0;
  virtual void setParameterLines(const std::vector<std::string>& lines) = 0;
  virtual void appendParameterLine(std::string_view line) = 0;
  // Positions in the parameter list of the checked entries of
  // `ParaCheckListBox`, in list order.
  virtual std::vector<int> checkedEntries() const = 0;
  virtual void setFileLabel(std::string_view text) = 0;
  // After a file was read or parameters received: the editor gets the focus
  // and shows its last line.
  virtual void showLastParameterLine() {}
};

// The page state in memory (qxrtool, tests).
class MemoryParameterPage : public ParameterPage {
 public:
  std::vector<std::string> lines;
  std::vector<int> checked;
  std::string fileLabel;

  std::vector<std::string> parameterLines() const override { return lines; }
  void setParameterLines(const std::vector<std::string>& l) override { lines = l; }
  void appendParameterLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<int> checkedEntries() const override { return checked; }
  void setFileLabel(std::string_view text) override { fileLabel = text; }
};

// Parameter lines: "name(number)=value"; a line beginning with "/" is a comment.
bool isParameterComment(std::string_view line);

// The controller holds parameter values as signed 32-bit numbers.
inline constexpr std::int64_t kMinParameterValue = INT32_MIN;
inline constexpr std::int64_t kMaxParameterValue = INT32_MAX;

// The value a parameter line sends: the usual decimal conversion of `text`
// (leading white space, an optional sign, digits up to the first other
// character; 0 without digits). Nothing when the digits name a number
// outside the controller's range: such a value is refused, never clamped.
std::optional<std::int32_t> leadingParameterValue(std::string_view text);

// A value answer from the controller: a decimal integer (blanks around it and
// a sign allowed) within the controller's range, then the line end. Anything
// else (line noise, a reply out of step, a number beyond 32 bits) is no value.
std::optional<std::int32_t> parameterValueAnswer(std::string_view answer);

// The write line for one parameter line, without its CR LF: the text between
// the first ")" and the last "(" before it, unchanged, then "=" and the value
// after the last "=". Nothing when the line has no ")", no "(" before it or no
// "=", or when its value is out of range.
std::optional<std::string> parameterWriteLine(std::string_view line);

// What would keep the lines from reaching the controller as written: a
// control byte in any line, comments included; a line that is neither a
// comment nor of the form name(number)=value; in a line that is sent, a
// value out of range or a write line that does not fit the controller's line
// buffer. The first problem in line order: the whole text is checked before
// the port opens, so that no line goes out of a text that cannot go whole.
std::optional<LineProblem> checkParameterLines(const std::vector<std::string>& lines);

// The line a received value makes: "name(number)=" and the answer up to its
// line end.
std::string receivedParameterLine(const ParameterEntry& entry, std::string_view answer);

// Reads a parameter file into the page; false when it cannot be opened.
// Reports 111, then the line count (114) and 115, on the parameter page.
bool readParameterFile(const std::string& path, Session& session, LinkHost& host, ParameterPage& page);

// Saves the page's lines (temporary file renamed over the old one); false
// when it cannot be written, which leaves any old file untouched.
bool writeParameterFile(const std::string& path, Session& session, LinkHost& host, ParameterPage& page);

// Sends every line of the page (after the operator's confirmation). True
// when every line was sent and answered.
bool sendParameters(const OperationParts& parts, ParameterPage& page);

// Reads the checked entries of `list` from the controller into the page.
// True when every checked value arrived.
bool receiveParameters(const OperationParts& parts, ParameterPage& page, const ParameterEntries& list);

}  // namespace qxr
