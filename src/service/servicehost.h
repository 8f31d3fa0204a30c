#pragma once
// One transfer of the service, run on its machine's thread: the request
// checked and its program read (at once, when it is submitted), the host that
// keeps the page messages and the progress of the job, and the run itself
// with a session, a port and a link of its own.
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/host.h"
#include "base/session.h"
#include "service/jobs.h"

namespace qxr {

// A request that passed the checks, with its program in the code page of
// the request's language.
struct PreparedJob {
  JobRequest request;              // the text is dropped once read
  int number = 0;                  // the program on the controller
  std::string name;                // bytes (X02 machines), after the name rule
  bool nameCounts = false;         // compare: the text names the program
  std::vector<std::string> lines;  // send, compare: the editor lines, bytes
  std::string summary;             // what was taken of plain text (a page message), UTF-8
};

// Checks `request` against `machine` (its generation decides whether names
// count): the number, the program text (UTF-8, within the code page, the
// program bound and the controller's line buffer) and the name. The refusal
// in English, or nullopt with `prepared` filled.
std::optional<std::string> prepareJob(JobRequest request, const Machine& machine, PreparedJob& prepared);

// The page messages of a job as they are kept: the first ones and the most
// recent ones (a send reports every line it writes), with a count of those
// left out between.
class MessageLog {
 public:
  static constexpr std::size_t kHead = 100;
  static constexpr std::size_t kTail = 300;
  void add(std::string message);
  // Page messages in order; `language` says what was left out.
  std::vector<std::string> lines(int language) const;

 private:
  std::vector<std::string> head_;
  std::deque<std::string> tail_;
  std::size_t omitted_ = 0;
};

// A job's stop: `stop` is what the link sees (a clean-up after a stop
// clears it), `asked` remembers that a stop was asked.
struct JobControl {
  std::atomic<bool> stop{false};
  std::atomic<bool> asked{false};
  void request() {
    asked.store(true);
    stop.store(true);
  }
};

// The host of a service transfer: page messages (UTF-8) and progress go to
// `report`; every question is answered OK (the request was the operator's
// consent) unless the service is quitting; a stop comes from `stop`.
class ServiceHost final : public LinkHost {
 public:
  struct Report {
    std::function<void(std::string)> message;
    std::function<void(const ProgressSnapshot&)> progress;
  };
  ServiceHost(const Session& session, Report report, std::atomic<bool>& stop, const std::atomic<bool>& quitting)
      : session_(session), report_(std::move(report)), stop_(stop), quitting_(quitting) {}

  int portIndex = 0;
  std::string portAddress;  // a device path or a network address; empty: portIndex

  int pageIndex() const override { return kProgramPage; }
  void appendPageLine(int page, std::string_view line) override;
  void beep() override {}
  void processEvents() override {}
  // No events to process: a stop is still seen within this.
  int waitSliceMs() const override { return 50; }
  int selectedPortIndex() const override { return portIndex; }
  void selectPortIndex(int index) override { portIndex = index; }
  std::string namedPort() const override { return portAddress; }
  bool confirm(std::string_view question) override;
  void notice(std::string_view text) override;
  bool stopRequested() const override { return stop_.load(); }
  // A clean-up agreed to after a stop (deleting a program stored in part)
  // may use the port; a quitting service does none.
  void clearStopRequest() override {
    if (!quitting_.load()) stop_.store(false);
  }
  void showTransferProgress(const ProgressSnapshot& progress) override;
  void endTransferProgress() override {}

 private:
  const Session& session_;
  Report report_;
  std::atomic<bool>& stop_;
  const std::atomic<bool>& quitting_;
};

// What a run needs beyond the job: the session of its language (as the
// start directory gives it), where received programs go, the journal and
// who keeps the ids of the records under way.
struct JobPlace {
  const Session* session = nullptr;
  std::string libraryDir;
  Journal* journal = nullptr;
  std::string hostName;
  std::function<void(std::int64_t)> recordBegun, recordEnded;
};

struct JobOutcome {
  JobState state = JobState::kFailed;
  std::int64_t journalId = 0;
  std::string name;  // UTF-8: a receive's name as the controller holds it
  std::string programText, libraryPath;
  std::optional<bool> same;
  // The port did not open or the controller never answered: why.
  std::optional<std::string> unreachable;
};

// Runs the job on `machine` with a session, a port and a link of its own,
// recorded in the journal.
JobOutcome runJob(const PreparedJob& job, const Machine& machine, const JobPlace& place, ServiceHost::Report report,
                  JobControl& control, const std::atomic<bool>& quitting);

// "O0012 FACE.nc" for a received program, the name made fit for a file name
// (UTF-8); "O0012.nc" without a name.
std::string libraryFileName(int number, std::string_view nameUtf8);
// `text` with what a file name may not hold replaced ("/", control bytes,
// a leading dot ...); "_" when nothing is left.
std::string safeFileName(std::string_view text);
// `dir`/`fileName`, or with " (2)", " (3)" ... before the extension: the
// first that does not exist.
std::string unusedPath(const std::string& dir, const std::string& fileName);

}  // namespace qxr
