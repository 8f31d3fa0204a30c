#pragma once
// The NC program operations of the program page: reading and writing program
// files, sending, receiving and deleting a program on the controller, and the
// multiple-program transfer. They run on the link's thread (the window's UI
// thread, or qxrtool's main thread) and report on the program page through
// the link. Each returns true when it reached its normal end.
//
// An operation reads what it works on from the page once, at its start (the
// number, the name, the lines, the generation): the waits let the window's
// events through, and an edit made while it waits must not change what goes
// to the controller or into a file.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/linecheck.h"
#include "link/frames.h"
#include "link/operation.h"
#include "nc/multiple.h"
#include "nc/ncfile.h"
#include "nc/ncpage.h"
#include "nc/programtext.h"

namespace qxr {

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
// A receive ends as a failure beyond what a program holds. The bound in
// bytes is that of a program file.
inline constexpr long kReceivedProgramLineLimit = static_cast<long>(kMaxProgramLines);

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

// One program of a batch (read many, write many) as it ended, for whoever
// keeps a record of each.
struct BatchProgramEnd {
  enum class Result { kFinished, kAbsent, kFailed };
  int number = 0;  // 0: the batch ended before the program's number was known
  std::string name;
  std::string path;                // its file
  std::vector<std::string> lines;  // what was sent or received
  Result result = Result::kFailed;
};

class NcOperations {
 public:
  // Told as each program of a batch begins and ends (also when the batch
  // ends with it); programs never begun are not told.
  std::function<void()> onBatchProgramBegin;
  std::function<void(const BatchProgramEnd&)> onBatchProgramEnd;

  NcOperations(const OperationParts& parts, NcPage& page);

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

  // The name the controller reported for the last program number looked up
  // (what the controller holds under it); empty before a look-up and when
  // the controller named none.
  const std::string& controllerName() const { return controllerName_; }

 private:
  // The program page as an operation found it, put back when a receive
  // ends without the whole program.
  struct PageState {
    std::vector<std::string> lines;
    int number = 1;
    std::string name;
  };
  PageState pageState() const;
  void restorePage(const PageState& state);

  void begin();
  bool withName() const { return named_; }
  std::string nameRule(std::string_view name) const;
  std::string programName() const;
  void setProgramName(std::string_view name);
  std::string text(int catalogueNumber) const;
  void report(int catalogueNumber, std::string_view text = {});
  std::string question(int catalogueNumber, int number, bool withNameLine, std::string_view shownName) const;
  bool sendIgnore(std::string_view frame);
  bool sendExpect(std::string_view frame);
  bool receiveProgramLine(std::string& reply);
  bool replyIsAttention() const;
  std::string replyUpToLineEnd() const;
  // Takes the name the controller answers to the acknowledgement of a
  // look-up; none when it answered the attention frame.
  void takeControllerName();
  // Reports and refuses a program the controller would misread.
  bool refuseUnsendable(const std::vector<std::string>& lines, std::string_view name);
  bool deleteOnController(std::string_view nameForFrame, int number);
  bool storeProgram(const std::vector<std::string>& lines, int number, std::string_view name);
  // After a store that ended before its end (stopped, or failed: a time-out,
  // a refusal, a hang-up): says which program the controller holds only in
  // part and offers to delete it.
  void offerPartialDelete(int number, std::string_view name, long lineCount);
  enum class ReadOutcome { kFinished, kNoReply, kFailed };
  // Reads a program into received_ (and shows it on the page as it comes).
  ReadOutcome readProgramLines(bool expectName, std::size_t& replies);
  void discardStaleInput();
  void reportFileStatus(const ProgramFile& file, const std::string& path);
  bool checkProgramFile(const ProgramFile& file, const std::string& path);
  bool checkBatchFiles(const MultipleChoice& choice, std::vector<std::uint64_t>& fingerprints);
  bool checkBatchTarget(const MultipleChoice& choice);
  bool applyFile(const std::string& path, bool emptyNameForX00);
  bool takeFileHeader(const ProgramFile& file, const std::string& path, bool emptyNameForX00);
  void showFileLines(const ProgramFile& file);

  Session& session_;
  LinkHost& host_;
  Link& link_;
  TThreadComm& port_;
  NcPage& page_;
  bool named_ = true;      // "QXR X02": the generation as the operation began
  long storedLines_ = -1;  // program lines the last store wrote whole; -1 before its number was taken
  std::string controllerName_;
  // The program a receive is reading: the name (X02) and the lines.
  struct Received {
    std::string name;
    std::vector<std::string> lines;
  } received_;
};

}  // namespace qxr
