#pragma once
// The service's transfers: one queue per machine (one transfer at a time on
// a machine, every machine at once), each machine's transfers run on a
// thread of its own with the core's link, a session set up from the machine
// and a host that keeps the page messages and the progress. Every transfer
// is a record of the journal.
//
// A service killed in mid-transfer leaves its journal records "running": the
// ids of the records under way are kept in a file of the start directory
// (kInFlightFileName), and the next start marks those records "interrupted".
//
// Thread safety: every public member may be called from any thread.
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "base/progress.h"
#include "shop/journal.h"
#include "shop/machines.h"

namespace qxr {

inline constexpr const char* kInFlightFileName = "qxrd-running.txt";
inline constexpr const char* kLibraryDirName = "library";

enum class JobKind { kSend, kReceive, kCompare };
const char* jobKindName(JobKind kind);  // "send", "receive", "compare"

enum class JobState { kQueued, kRunning, kFinished, kFailed, kStopped };
// "queued", "running", "finished", "failed", "stopped"
const char* jobStateName(JobState state);
inline bool jobEnded(JobState state) { return state != JobState::kQueued && state != JobState::kRunning; }

struct JobRequest {
  JobKind kind = JobKind::kSend;
  std::string machine;
  int number = 0;                   // 1 to 99
  std::optional<std::string> name;  // UTF-8; send and compare, X02 machines
  std::string text;                 // send, compare: the program, plain or numbered, UTF-8
  std::string user;                 // who asked (the journal's user)
  int language = 1;                 // the page messages' language: 0 Chinese, 1 English
};

struct JobView {
  std::int64_t id = 0;
  JobKind kind = JobKind::kSend;
  JobState state = JobState::kQueued;
  std::string machine, user;
  int number = 0;
  std::string name;                   // UTF-8
  std::string created, started, ended;  // journal time text, empty until then
  std::vector<std::string> messages;  // the page messages in order, UTF-8
  std::optional<ProgressSnapshot> progress;  // while running, and the last one after
  std::int64_t journalId = 0;
  // receive, finished: the program as plain text (UTF-8) and the library file
  // it was saved as.
  std::string programText;
  std::string libraryPath;
  // compare, finished: whether the controller holds the same program.
  std::optional<bool> same;
};

enum class MachineActivity { kIdle, kBusy, kUnreachable };
const char* machineActivityName(MachineActivity activity);  // "idle", "busy", "unreachable"

struct MachineStatus {
  Machine machine;
  MachineActivity activity = MachineActivity::kIdle;
  std::optional<JobView> current;  // the running job (no program text), when busy
  std::size_t queued = 0;          // waiting behind it
  std::string problem;             // why it is unreachable (UTF-8), else empty
};

class JobBoard {
 public:
  struct Options {
    std::string startDir;       // Init.ini, the catalogue, COMn links, the in-flight file
    std::string libraryDir;     // received programs: libraryDir/<machine>/; default startDir/library
    Journal* journal = nullptr; // may be null: nothing recorded
    std::size_t keptJobs = 1000;  // ended jobs kept for GET, oldest forgotten first
    std::size_t maxQueued = 64;   // jobs that may wait on one machine; more are refused (400)
  };
  JobBoard(Options options, std::vector<Machine> machines);
  // Stops what runs, drops what waits, and joins the machines' threads.
  ~JobBoard();
  JobBoard(const JobBoard&) = delete;
  JobBoard& operator=(const JobBoard&) = delete;

  // Marks the records an earlier run left in flight as interrupted; returns
  // how many. Called once at start, before the first submit.
  int markInterruptedTransfers();

  struct Submitted {
    std::int64_t id = 0;      // 0 when refused
    int status = 202;         // 202 queued; 404 unknown machine; 400 bad request
    std::string reason;       // why it was refused (English)
  };
  // Checks the request at once (machine, number, the program text against
  // the program bound and the machine's generation, the name) and queues it.
  Submitted submit(JobRequest request);

  std::optional<JobView> job(std::int64_t id) const;
  // Newest first, without program text.
  std::vector<JobView> jobs(std::size_t limit = 200) const;

  enum class StopResult { kStopping, kUnknown, kEnded };
  // A queued job is dropped (stopped at once); a running one is stopped at
  // the link's next frame boundary.
  StopResult stop(std::int64_t id);

  std::vector<MachineStatus> machines() const;
  bool hasMachine(std::string_view name) const;
  // The machine list changed: new machines get a queue, changed ones take
  // their new settings from their next job, removed ones finish what runs
  // and drop what waits.
  void setMachines(std::vector<Machine> machines);

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace qxr
