#pragma once
// The NC program operations of the program page: reading and writing program
// files, sending, receiving and deleting a program on the controller, and the
// multiple-program transfer. They run on the link's thread (the window's UI
// thread, or qxrtool's main thread) and report on the program page through
// the link. Each returns true when it reached its normal end.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/linecheck.h"
#include "link/frames.h"
#include "nc/multiple.h"
#include "nc/ncfile.h"
#include "nc/ncpage.h"
#include "nc/programtext.h"

namespace qxr {

class Link;

// A program line goes out as "N<i> <text>" CR LF and must fit, with a
// terminating zero, in the controller's 256-byte line buffer.
inline constexpr std::size_t kProgramFrameBuffer = kControllerLineBuffer;
// The pause between closing and reopening the port before a store, which the
// controller needs to leave the look-up state.
inline constexpr std::uint32_t kStorePauseMs = 200;
// A program line longer than one reply (75 bytes) is joined from consecutive
// replies; no program line can make a reply longer than this (it went in as
// one frame with its CR LF), so a longer one is not a program line.
inline constexpr std::size_t kReceivedLineLimit = kProgramFrameBuffer - 1;
// A receive ends as a failure beyond what the editor holds: its lines are
// labelled up to N6000. The bound in bytes is that of a program file.
inline constexpr long kReceivedProgramLineLimit = 6000;

// The frames of the program exchanges.
namespace ncframe {
inline constexpr std::string_view kAttention = frames::kAttention;
inline constexpr std::string_view kLookUp = frames::kLookUp;
inline constexpr std::string_view kDelete = frames::kDelete;
inline constexpr std::string_view kStore = frames::kStore;
inline constexpr std::string_view kDeleted = frames::kDeleted;
inline constexpr std::string_view kAck = frames::kAckLine;
// "%02d" CR LF.
std::string number(int programNumber);
// The name blank-padded or cut to 8 bytes, CR LF.
std::string name(std::string_view programName);
}  // namespace ncframe

class NcOperations {
 public:
  NcOperations(Link& link, NcPage& page);

  // ReadFileBtnClick / WriteFileBtnClick after the file window produced `path`.
  bool readFile(const std::string& path);
  bool writeFile(const std::string& path);

  bool send();           // TransBtnClick
  bool receive();        // RcvBtnClick
  bool deleteProgram();  // DelProgBtnClick

  // MultipleBtnClick after the window was closed with a choice.
  bool readMany(const MultipleChoice& choice);
  bool writeMany(const MultipleChoice& choice, bool inquire);

  // A number and name for files that lack them (plain NC programs); a given
  // one replaces the file's.
  GivenProgramHeader givenHeader;

  // The first editor line (0-based) that does not fit a frame, or -1.
  static long firstOversizedLine(const std::vector<std::string>& lines);

 private:
  bool withName() const;
  std::string programName() const;
  std::string tmpProgramName() const;
  void setProgramName(std::string_view name);
  void setTmpProgramName(std::string_view name);
  std::string text(int catalogueNumber) const;
  void report(int catalogueNumber, std::string_view text = {});
  std::string question(int catalogueNumber, bool withNameLine, std::string_view shownName) const;
  bool sendIgnore(std::string_view frame);
  bool sendExpect(std::string_view frame);
  bool receiveProgramLine(std::string& reply);
  bool replyIsAttention() const;
  std::string replyUpToLineEnd() const;
  // Reports and refuses a program the controller would misread.
  bool refuseUnsendable(const std::vector<std::string>& lines, std::string_view name);
  bool deleteOnController(std::string_view nameForFrame, int number);
  bool storeProgram(const std::vector<std::string>& lines, int number, std::string_view name);
  // After a store the operator stopped: says which program the controller
  // holds only in part and offers to delete it.
  void offerPartialDelete(int number, std::string_view name, long lineCount);
  enum class ReadOutcome { kFinished, kNoReply, kFailed };
  ReadOutcome readProgramLines(bool expectName, std::size_t& replies);
  void discardStaleInput();
  void reportFileStatus(const ProgramFile& file, const std::string& path);
  bool checkProgramFile(const ProgramFile& file, const std::string& path);
  bool checkBatchFiles(const MultipleChoice& choice, std::vector<std::uint64_t>& fingerprints);
  bool checkBatchTarget(const MultipleChoice& choice);
  bool applyFile(const std::string& path, bool emptyNameForX00);
  bool takeFileHeader(const ProgramFile& file, const std::string& path, bool emptyNameForX00);
  void showFileLines(const ProgramFile& file);

  Link& link_;
  NcPage& page_;
  long storedLines_ = -1;  // lines the last store got acknowledged; -1 before its number was
};

}  // namespace qxr
