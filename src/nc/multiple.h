#pragma once
// The choices of the multiple-program transfer window and the rules of its
// check boxes, kept apart from the widgets so that they can be checked
// without a display.
#include <array>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace qxr {

// Programs 1 to 68 can be read in a batch ("L01"-"L59", "G60"-"G68"); at most
// 68 files can be written in one.
inline constexpr int kBatchProgramCount = 68;
inline constexpr int kBatchFileLimit = 68;
inline constexpr int kFirstGProgram = 60;
inline constexpr std::size_t kBatchPrefixLength = 20;

enum BatchMode : int { kBatchNoMode = -1, kBatchReadMany = 0, kBatchWriteMany = 1 };

struct MultipleChoice {
  int mode = kBatchNoMode;
  bool chosen = false;
  std::array<bool, kBatchProgramCount> programs{};  // index i: program i + 1 (read many)
  std::string prefix;                               // read many
  std::vector<std::string> files;                   // write many, in list order
  std::string directory;                            // both modes
  bool tooManyFiles = false;                        // OK met more than 68 checked files
};

// "L01".."L59" for programs 1-59, "G60".."G68" for 60-68.
std::string batchProgramCaption(int number);
// The file a batch read stores program `number` in: "%sL%02d.NC" or "%sG%02d.NC".
std::string batchFileName(std::string_view prefix, int number);

// Whether a prefix keeps the files of a batch read in the chosen directory:
// no "/" (nor a zero byte, which would cut the name).
bool isSafeBatchPrefix(std::string_view prefix);

// The checked names of the file check list in list order; none when more
// than kBatchFileLimit are checked (nothing is transferred then).
std::vector<std::string> batchFiles(const std::vector<std::pair<std::string, bool>>& entries,
                                    bool* tooMany = nullptr);

// The 68 program check boxes and the three range switches.
class ProgramSelection {
 public:
  // Range switches: "L17-L32", "L17-L59", "G63-G68".
  enum Range { kL17to32 = 0, kL17to59 = 1, kG63to68 = 2 };
  static constexpr int kRangeCount = 3;

  ProgramSelection();

  bool enabled(int index) const { return enabled_[index]; }
  bool checked(int index) const { return checked_[index]; }
  void setChecked(int index, bool on);
  bool rangeChecked(int range) const { return ranges_[range]; }

  // The operator clicked a range switch, which is now `on`. Returns the
  // switch's resulting state: a switch that excludes the other checked one
  // is cleared again and nothing else changes.
  bool clickRange(int range, bool on);

  // Checks every box that can be checked and clears the rest.
  void selectAll();
  void clearAll();
  int checkedCount() const;
  const std::array<bool, kBatchProgramCount>& checkedBoxes() const { return checked_; }

 private:
  void setSpan(int firstNumber, int lastNumber, bool enable);
  std::array<bool, kBatchProgramCount> enabled_{};
  std::array<bool, kBatchProgramCount> checked_{};
  std::array<bool, kRangeCount> ranges_{};
};

}  // namespace qxr
