#pragma once
// What the controller holds compared with a program: the program is read
// into memory with the receive sequence (nothing is written, no question is
// asked) and compared line by line as the controller stores it, that is,
// the text of each "N<i> <text>" line. Used by `qxrtool nc compare`, by the
// verification after a send and by the window's compare.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qxr {

class Link;

// One row of two programs laid side by side: a line of both (equal), a line
// only the first has, or one only the second has. Indices are 0-based, -1
// where a side has no line.
struct AlignedRow {
  long first = -1;
  long second = -1;
  bool equal() const { return first >= 0 && second >= 0; }
};

// The rows of a shortest edit from `first` to `second`: common lines are
// paired, the others stand alone (a run of removed lines before the added
// ones that replace them). Beyond a few million line pairs in the part that
// differs, that part is taken as replaced whole.
std::vector<AlignedRow> alignLines(const std::vector<std::string>& first, const std::vector<std::string>& second);

// The first line (0-based) where the two differ, counting a missing line as
// different; nullopt when they are equal.
std::optional<std::size_t> firstDifferentLine(const std::vector<std::string>& first,
                                              const std::vector<std::string>& second);

// A unified diff (three lines of context) from `first` to `second`; empty
// when they are equal. Lines are bytes as the programs hold them.
std::string unifiedDiff(const std::vector<std::string>& first, const std::vector<std::string>& second,
                        std::string_view firstLabel, std::string_view secondLabel);

struct ControllerComparison {
  bool received = false;  // false: the receive failed, as the page says
  std::vector<std::string> controllerLines;
  std::string controllerName;
  std::optional<std::size_t> firstDifference;  // 0-based line
  bool nameDiffers = false;                    // only when a name was given to compare
  bool same() const { return received && !firstDifference && !nameDiffers; }
};

// Reads program `number` from the controller (the receive sequence, into
// memory) and compares it with `lines` and, when `name` is given, the name.
// generation: kGenerationX02 or kGenerationX00 (whether a name comes first).
ControllerComparison compareWithController(Link& link, int generation, int number,
                                           const std::vector<std::string>& lines,
                                           std::optional<std::string_view> name);

// The page's line for a comparison: the same, or the first difference with
// both texts ("Line 5 differs: controller "G01 X10", file "G01 X11"").
std::string comparisonText(int language, int number, const ControllerComparison& comparison,
                           const std::vector<std::string>& lines, std::string_view name);

// After a send: reads the program back, reports the comparison on the page
// ("verified" or the first difference, with a beep) and tells whether the
// controller holds exactly what was sent.
bool verifyStoredProgram(Link& link, int generation, int number, const std::vector<std::string>& lines,
                         std::string_view name);

struct MultipleChoice;

// After a batch write: every file of the batch read back and verified in
// turn (numbers and names as the batch took them); false at the first that
// differs or cannot be read.
bool verifyBatch(Link& link, int generation, const MultipleChoice& choice);

}  // namespace qxr
