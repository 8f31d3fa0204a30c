#pragma once
// The journal of every transfer: one record per send, receive, delete,
// program of a batch, parameter or PLC transfer, in an SQLite database that
// several processes (qxrtool runs, the window, a service) write at once
// (write-ahead log, a busy time-out).
//
// A journal that cannot be opened or written never stops or fails a
// transfer: the reason is told once through the problem handler and the
// transfer goes on unrecorded. A file that is not a journal of this program
// (damaged, another database, a newer schema) is never written, changed or
// deleted.
//
// Thread safety: one Journal may be shared by many threads (its one
// connection is used under a mutex), and several Journal objects on one file,
// in one process or many, may write at the same time.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

namespace qxr {

enum class TransferResult { kRunning, kFinished, kFailed, kStopped, kInterrupted };
// "running" (under way, or ended without a word: a killed process),
// "finished", "failed", "stopped", "interrupted" (found running after its
// process ended without a word, by a service that keeps the ids of its
// transfers under way).
const char* transferResultName(TransferResult result);
std::optional<TransferResult> transferResultOfName(std::string_view name);

struct TransferRecord {
  std::int64_t id = 0;
  std::string started;  // UTC, "2026-12-08T17:03:09.123Z"
  std::string ended;    // empty while running
  std::string user, host;
  std::string machine;  // empty when no machine was chosen
  std::string port;     // "COM2", a device path or a network address
  std::string model;    // "QXR302 M"
  std::string operation;  // "nc send", "nc receive", "param send", ...
  int program = 0;      // 0: no program number (parameters, PLC)
  std::string programName;
  std::string path;     // the file sent or written, empty when none
  std::string sha256;   // of the bytes sent or received, empty when none
  long lines = 0;
  std::int64_t bytes = 0;
  std::int64_t durationMs = 0;
  TransferResult result = TransferResult::kRunning;
  std::string message;  // the last page message
};

struct JournalFilter {
  std::string machine;             // exact (case ignored)
  std::optional<int> program;
  std::optional<TransferResult> result;
  std::string since;               // UTC text: "2026-12-08" or "2026-12-08T10:00"; inclusive
  std::string until;               // exclusive
  int limit = 1000;                // newest first
};

// The current UTC time as the journal writes it.
std::string journalNow();
// Whether `text` is a date the filters take: YYYY-MM-DD, optionally followed
// by THH:MM or THH:MM:SS.
bool isJournalDate(std::string_view text);
// Whether `key` names one of the filters below.
bool isJournalFilter(std::string_view key);
// Sets the filter named `key` ("machine", "program", "result", "since",
// "until" or "limit") from its text, as qxrtool's options and the service's
// query give it. Empty when taken, else what the key takes ("takes 1 to 99").
std::string setJournalFilter(JournalFilter& filter, std::string_view key, std::string_view value);

class Journal {
 public:
  // The version of the records' layout this program writes (PRAGMA user_version).
  static constexpr int kSchemaVersion = 2;
  // The file is opened on first use, its directory made when missing.
  explicit Journal(std::string path);
  ~Journal();
  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  const std::string& path() const { return path_; }
  // Called once, with the reason, the first time the journal cannot be opened
  // or written (from the thread that met it).
  void setProblemHandler(std::function<void(const std::string&)> handler);
  // The first problem met, empty while there is none.
  std::string problem() const;

  // Writes a new record (result kRunning while under way); its id, 0 when it
  // could not be written.
  std::int64_t begin(const TransferRecord& record);
  // Completes the record `record.id` (or writes it whole when its begin was
  // not written); false when it could not be written.
  bool finish(const TransferRecord& record);
  // Removes a begun record that turned out to be no transfer.
  bool remove(std::int64_t id);
  // Marks record `id` interrupted, with `message`, when it is still running;
  // false when there is no such record (or it ended) or it could not be written.
  bool markInterrupted(std::int64_t id, std::string_view message);
  // Writes a whole record at once; its id, 0 on failure.
  std::int64_t add(const TransferRecord& record);
  // Records matching `filter`, newest first; empty with `error` set when the
  // journal cannot be read.
  std::vector<TransferRecord> query(const JournalFilter& filter, std::string* error = nullptr);

 private:
  bool open(bool forWriting);
  void fail(const std::string& reason);
  std::int64_t insert(const TransferRecord& record);

  std::string path_;
  mutable std::mutex mutex_;
  sqlite3* db_ = nullptr;
  bool opened_ = false;
  bool writable_ = false;
  bool readable_ = false;  // a journal of this program
  std::string openProblem_;
  std::string problem_;
  bool told_ = false;
  std::function<void(const std::string&)> handler_;
};

// Where a front end's transfers happen, filled once per run or per choice.
struct TransferPlace {
  std::string user, host, machine, port, model;
};
// The user and host of this process.
TransferPlace localTransferPlace();

// Records one transfer: made when it begins, finish() when it ends. A
// recorder destroyed without finish() records a failure. Null journal: does
// nothing. Not shared between threads.
class JournalRecorder {
 public:
  JournalRecorder(Journal* journal, const TransferPlace& place, std::string operation);
  ~JournalRecorder();
  JournalRecorder(const JournalRecorder&) = delete;
  JournalRecorder& operator=(const JournalRecorder&) = delete;

  void setProgram(int number, std::string_view name);
  // Kept as an absolute path.
  void setPath(const std::string& path);
  // The program's lines as the controller holds them: each line followed by
  // CR LF is what is counted and hashed.
  void setLines(const std::vector<std::string>& lines);
  // The bytes of a parameter or PLC file and its line count.
  void setBytes(std::string_view bytes, long lines);
  void finish(TransferResult result, std::string_view lastMessage);
  // Forgets the transfer: it was refused before it began (bad usage).
  void discard();
  bool finished() const { return finished_; }
  const TransferRecord& record() const { return record_; }

 private:
  Journal* journal_;
  TransferRecord record_;
  std::int64_t startedMs_ = 0;
  bool finished_ = false;
};

// One record as a JSON object on one line.
std::string transferRecordJson(const TransferRecord& record);

}  // namespace qxr
