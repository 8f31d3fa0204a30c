#include "shop/journal.h"

#include <pwd.h>
#include <sqlite3.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <limits>

#include "shop/sha256.h"
#include "shop/statedir.h"

namespace qxr {

namespace {

// "QXRJ": tells the program's journals from other SQLite files.
constexpr int kApplicationId = 0x5158524a;
constexpr int kBusyTimeoutMs = 10000;

// Each step brings the layout from version i to i + 1 and runs in the
// transaction that sets the new version. Version 1 held the records alone;
// version 2 adds the indexes the filters use.
constexpr const char* kMigrations[Journal::kSchemaVersion] = {
    "CREATE TABLE transfers ("
    " id INTEGER PRIMARY KEY,"
    " started TEXT NOT NULL, ended TEXT NOT NULL DEFAULT '',"
    " user TEXT NOT NULL DEFAULT '', host TEXT NOT NULL DEFAULT '',"
    " machine TEXT NOT NULL DEFAULT '', port TEXT NOT NULL DEFAULT '', model TEXT NOT NULL DEFAULT '',"
    " operation TEXT NOT NULL DEFAULT '', program INTEGER NOT NULL DEFAULT 0,"
    " program_name TEXT NOT NULL DEFAULT '', path TEXT NOT NULL DEFAULT '', sha256 TEXT NOT NULL DEFAULT '',"
    " lines INTEGER NOT NULL DEFAULT 0, bytes INTEGER NOT NULL DEFAULT 0, duration_ms INTEGER NOT NULL DEFAULT 0,"
    " result TEXT NOT NULL DEFAULT 'running', message TEXT NOT NULL DEFAULT '');",
    "CREATE INDEX transfers_started ON transfers(started);"
    "CREATE INDEX transfers_machine ON transfers(machine COLLATE NOCASE, started);"
    "CREATE INDEX transfers_machine_program ON transfers(machine COLLATE NOCASE, program, started);"
    "CREATE INDEX transfers_program ON transfers(program, started);",
};

constexpr const char* kColumns =
    "id, started, ended, user, host, machine, port, model, operation, program, program_name, path, sha256,"
    " lines, bytes, duration_ms, result, message";

// A prepared statement, finalised on every way out.
class Statement {
 public:
  Statement(sqlite3* db, const std::string& sql) { rc_ = sqlite3_prepare_v2(db, sql.c_str(), -1, &stmt_, nullptr); }
  ~Statement() { sqlite3_finalize(stmt_); }
  bool ok() const { return rc_ == SQLITE_OK; }
  void text(int index, const std::string& value) {
    sqlite3_bind_text(stmt_, index, value.c_str(), static_cast<int>(value.size()), SQLITE_TRANSIENT);
  }
  void integer(int index, std::int64_t value) { sqlite3_bind_int64(stmt_, index, value); }
  int step() { return sqlite3_step(stmt_); }
  std::string columnText(int index) const {
    const auto* text = sqlite3_column_text(stmt_, index);
    return text ? std::string(reinterpret_cast<const char*>(text), static_cast<std::size_t>(sqlite3_column_bytes(stmt_, index))) : std::string();
  }
  std::int64_t columnInt(int index) const { return sqlite3_column_int64(stmt_, index); }

 private:
  sqlite3_stmt* stmt_ = nullptr;
  int rc_ = SQLITE_ERROR;
};

int pragmaInt(sqlite3* db, const char* pragma, int& rc) {
  Statement statement(db, std::string("PRAGMA ") + pragma);
  if (!statement.ok()) {
    rc = sqlite3_errcode(db);
    return 0;
  }
  rc = statement.step();
  const int value = rc == SQLITE_ROW ? static_cast<int>(statement.columnInt(0)) : 0;
  if (rc == SQLITE_ROW) rc = SQLITE_OK;
  return value;
}

std::string errorText(sqlite3* db) { return db ? sqlite3_errmsg(db) : "out of memory"; }

// Binds the record's columns 2.. (all but id) in kColumns order.
void bindRecord(Statement& statement, const TransferRecord& r) {
  statement.text(1, r.started);
  statement.text(2, r.ended);
  statement.text(3, r.user);
  statement.text(4, r.host);
  statement.text(5, r.machine);
  statement.text(6, r.port);
  statement.text(7, r.model);
  statement.text(8, r.operation);
  statement.integer(9, r.program);
  statement.text(10, r.programName);
  statement.text(11, r.path);
  statement.text(12, r.sha256);
  statement.integer(13, r.lines);
  statement.integer(14, r.bytes);
  statement.integer(15, r.durationMs);
  statement.text(16, transferResultName(r.result));
  statement.text(17, r.message);
}

std::int64_t steadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

std::string parentOf(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos || slash == 0 ? std::string() : path.substr(0, slash);
}

}  // namespace

const char* transferResultName(TransferResult result) {
  switch (result) {
    case TransferResult::kRunning: return "running";
    case TransferResult::kFinished: return "finished";
    case TransferResult::kFailed: return "failed";
    case TransferResult::kStopped: return "stopped";
    case TransferResult::kInterrupted: return "interrupted";
  }
  return "running";
}

std::optional<TransferResult> transferResultOfName(std::string_view name) {
  for (const TransferResult result :
       {TransferResult::kRunning, TransferResult::kFinished, TransferResult::kFailed, TransferResult::kStopped,
        TransferResult::kInterrupted})
    if (name == transferResultName(result)) return result;
  return std::nullopt;
}

std::string journalNow() {
  const auto now = std::chrono::system_clock::now();
  const std::time_t seconds = std::chrono::system_clock::to_time_t(now);
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now.time_since_epoch()).count() % 1000;
  std::tm utc{};
  gmtime_r(&seconds, &utc);
  char text[64];
  std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900, utc.tm_mon + 1,
                utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, static_cast<int>(ms));
  return text;
}

bool isJournalDate(std::string_view text) {
  // Digits where the pattern has 9, the pattern's own character elsewhere.
  static constexpr std::string_view kPattern = "9999-99-99T99:99:99";
  if (text.size() != 10 && text.size() != 16 && text.size() != 19) return false;
  for (std::size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (kPattern[i] == '9' ? !digit : text[i] != kPattern[i]) return false;
  }
  return true;
}

namespace {

// A positive decimal number, 0 when the text is none; one longer than an int
// holds is taken as the largest.
int filterNumber(std::string_view text) {
  if (text.empty() || text.find_first_not_of("0123456789") != std::string_view::npos) return 0;
  text.remove_prefix(std::min(text.find_first_not_of('0'), text.size()));
  if (text.size() > 9) return std::numeric_limits<int>::max();
  int value = 0;
  for (const char c : text) value = value * 10 + (c - '0');
  return value;
}

}  // namespace

bool isJournalFilter(std::string_view key) {
  for (const std::string_view name : {"machine", "program", "result", "since", "until", "limit"})
    if (key == name) return true;
  return false;
}

std::string setJournalFilter(JournalFilter& filter, std::string_view key, std::string_view value) {
  if (key == "machine") {
    filter.machine = std::string(value);
  } else if (key == "program") {
    const int number = filterNumber(value);
    if (number < 1 || number > 99) return "takes 1 to 99";
    filter.program = number;
  } else if (key == "result") {
    filter.result = transferResultOfName(value);
    if (!filter.result) return "takes finished, failed, stopped, running or interrupted";
  } else if (key == "since" || key == "until") {
    if (!isJournalDate(value)) return "takes YYYY-MM-DD[THH:MM[:SS]] (UTC)";
    (key == "since" ? filter.since : filter.until) = std::string(value);
  } else if (key == "limit") {
    filter.limit = filterNumber(value);
    if (filter.limit < 1) return "takes a positive number";
  } else {
    return "is no filter";
  }
  return {};
}

Journal::Journal(std::string path) : path_(std::move(path)) {}

Journal::~Journal() {
  if (db_) sqlite3_close_v2(db_);
}

void Journal::setProblemHandler(std::function<void(const std::string&)> handler) {
  std::lock_guard lock(mutex_);
  handler_ = std::move(handler);
}

std::string Journal::problem() const {
  std::lock_guard lock(mutex_);
  return problem_;
}

void Journal::fail(const std::string& reason) {
  if (problem_.empty()) problem_ = "journal " + path_ + ": " + reason;
  if (told_) return;
  told_ = true;
  if (handler_) handler_(problem_);
}

// Opens the file once. A file that is ours (or empty) is brought to the
// current layout; anything else is left as it is and opened for nothing.
bool Journal::open(bool forWriting) {
  if (!opened_) {
    opened_ = true;
    if (const std::string dir = parentOf(path_); !dir.empty()) makeDirectories(dir);
    int rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_FULLMUTEX,
                             nullptr);
    if (rc != SQLITE_OK) {
      sqlite3_close_v2(db_);
      db_ = nullptr;
      // A file that may be read but not written still answers queries.
      rc = sqlite3_open_v2(path_.c_str(), &db_, SQLITE_OPEN_READONLY | SQLITE_OPEN_FULLMUTEX, nullptr);
      if (rc != SQLITE_OK) {
        openProblem_ = errorText(db_);
        sqlite3_close_v2(db_);
        db_ = nullptr;
        fail(openProblem_);
        return false;
      }
      openProblem_ = "cannot be written";
    }
    sqlite3_busy_timeout(db_, kBusyTimeoutMs);
    sqlite3_extended_result_codes(db_, 1);
    // One snapshot for the three: another process may lay out a fresh file
    // between two separate reads, which would look like a foreign database.
    rc = sqlite3_exec(db_, "BEGIN", nullptr, nullptr, nullptr);
    const int version = rc == SQLITE_OK ? pragmaInt(db_, "user_version", rc) : 0;
    const int application = rc == SQLITE_OK ? pragmaInt(db_, "application_id", rc) : 0;
    int objects = 0;
    if (rc == SQLITE_OK) {
      Statement count(db_, "SELECT count(*) FROM sqlite_master");
      rc = count.ok() && count.step() == SQLITE_ROW ? SQLITE_OK : sqlite3_errcode(db_);
      if (rc == SQLITE_OK) objects = static_cast<int>(count.columnInt(0));
    }
    sqlite3_exec(db_, "COMMIT", nullptr, nullptr, nullptr);
    if (rc != SQLITE_OK) {
      openProblem_ = std::string("not a journal (") + errorText(db_) + ")";
      sqlite3_close_v2(db_);
      db_ = nullptr;
    } else if (version == 0 ? objects > 0 : application != kApplicationId) {
      openProblem_ = "another program's database";
    } else if (version > kSchemaVersion) {
      openProblem_ = "written by a newer version of the program (layout " + std::to_string(version) + ")";
      readable_ = true;
    } else if (!openProblem_.empty()) {
      readable_ = true;  // ours, but read-only
    } else {
      // Several processes may meet a fresh file at once: the immediate
      // transaction lets one migrate and the others see its result.
      char* message = nullptr;
      std::string sql = "PRAGMA journal_mode=WAL;";
      rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
      if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "BEGIN IMMEDIATE", nullptr, nullptr, &message);
      if (rc == SQLITE_OK) {
        const int current = pragmaInt(db_, "user_version", rc);
        for (int step = current; rc == SQLITE_OK && step < kSchemaVersion; ++step) {
          sqlite3_free(message);
          message = nullptr;
          rc = sqlite3_exec(db_, kMigrations[step], nullptr, nullptr, &message);
        }
        if (rc == SQLITE_OK && current < kSchemaVersion) {
          sql = "PRAGMA application_id=" + std::to_string(kApplicationId) +
                "; PRAGMA user_version=" + std::to_string(kSchemaVersion) + ";";
          rc = sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &message);
        }
        if (rc == SQLITE_OK) rc = sqlite3_exec(db_, "COMMIT", nullptr, nullptr, &message);
        if (rc != SQLITE_OK) sqlite3_exec(db_, "ROLLBACK", nullptr, nullptr, nullptr);
      }
      if (rc == SQLITE_OK) {
        sqlite3_exec(db_, "PRAGMA synchronous=NORMAL", nullptr, nullptr, nullptr);
        writable_ = readable_ = true;
      } else {
        openProblem_ = message ? message : errorText(db_);
      }
      sqlite3_free(message);
    }
  }
  if (forWriting && !writable_) {
    fail(openProblem_.empty() ? "cannot be written" : openProblem_);
    return false;
  }
  if (!db_) {
    fail(openProblem_);
    return false;
  }
  return true;
}

std::int64_t Journal::insert(const TransferRecord& record) {
  Statement statement(db_,
                      "INSERT INTO transfers (started, ended, user, host, machine, port, model, operation, program,"
                      " program_name, path, sha256, lines, bytes, duration_ms, result, message)"
                      " VALUES (?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?,?)");
  if (statement.ok()) bindRecord(statement, record);
  if (!statement.ok() || statement.step() != SQLITE_DONE) {
    fail(errorText(db_));
    return 0;
  }
  return sqlite3_last_insert_rowid(db_);
}

std::int64_t Journal::begin(const TransferRecord& record) {
  std::lock_guard lock(mutex_);
  if (!open(true)) return 0;
  return insert(record);
}

std::int64_t Journal::add(const TransferRecord& record) { return begin(record); }

bool Journal::finish(const TransferRecord& record) {
  std::lock_guard lock(mutex_);
  if (!open(true)) return false;
  if (record.id == 0) return insert(record) != 0;
  Statement statement(db_,
                      "UPDATE transfers SET started=?, ended=?, user=?, host=?, machine=?, port=?, model=?,"
                      " operation=?, program=?, program_name=?, path=?, sha256=?, lines=?, bytes=?, duration_ms=?,"
                      " result=?, message=? WHERE id=?");
  if (statement.ok()) {
    bindRecord(statement, record);
    statement.integer(18, record.id);
  }
  if (!statement.ok() || statement.step() != SQLITE_DONE) {
    fail(errorText(db_));
    return false;
  }
  if (sqlite3_changes(db_) == 1) return true;
  return insert(record) != 0;  // the begun record is gone: write it anew
}

bool Journal::remove(std::int64_t id) {
  std::lock_guard lock(mutex_);
  if (!open(true)) return false;
  Statement statement(db_, "DELETE FROM transfers WHERE id=?");
  if (statement.ok()) statement.integer(1, id);
  return statement.ok() && statement.step() == SQLITE_DONE;
}

bool Journal::markInterrupted(std::int64_t id, std::string_view message) {
  std::lock_guard lock(mutex_);
  if (!open(true)) return false;
  Statement statement(db_, "UPDATE transfers SET result=?, message=? WHERE id=? AND result=?");
  if (statement.ok()) {
    statement.text(1, transferResultName(TransferResult::kInterrupted));
    statement.text(2, std::string(message));
    statement.integer(3, id);
    statement.text(4, transferResultName(TransferResult::kRunning));
  }
  if (!statement.ok() || statement.step() != SQLITE_DONE) {
    fail(errorText(db_));
    return false;
  }
  return sqlite3_changes(db_) == 1;
}

std::vector<TransferRecord> Journal::query(const JournalFilter& filter, std::string* error) {
  std::lock_guard lock(mutex_);
  std::vector<TransferRecord> records;
  if (!open(false) || !readable_) {
    if (error) *error = problem_.empty() ? openProblem_ : problem_;
    return records;
  }
  std::string sql = std::string("SELECT ") + kColumns + " FROM transfers WHERE 1";
  if (!filter.machine.empty()) sql += " AND machine = ?1 COLLATE NOCASE";
  if (filter.program) sql += " AND program = ?2";
  if (filter.result) sql += " AND result = ?3";
  if (!filter.since.empty()) sql += " AND started >= ?4";
  if (!filter.until.empty()) sql += " AND started < ?5";
  sql += " ORDER BY started DESC, id DESC LIMIT ?6";
  Statement statement(db_, sql);
  if (!statement.ok()) {
    if (error) *error = "journal " + path_ + ": " + errorText(db_);
    return records;
  }
  if (!filter.machine.empty()) statement.text(1, filter.machine);
  if (filter.program) statement.integer(2, *filter.program);
  if (filter.result) statement.text(3, transferResultName(*filter.result));
  if (!filter.since.empty()) statement.text(4, filter.since);
  if (!filter.until.empty()) statement.text(5, filter.until);
  statement.integer(6, filter.limit > 0 ? filter.limit : -1);
  int rc = SQLITE_ROW;
  while ((rc = statement.step()) == SQLITE_ROW) {
    TransferRecord r;
    r.id = statement.columnInt(0);
    r.started = statement.columnText(1);
    r.ended = statement.columnText(2);
    r.user = statement.columnText(3);
    r.host = statement.columnText(4);
    r.machine = statement.columnText(5);
    r.port = statement.columnText(6);
    r.model = statement.columnText(7);
    r.operation = statement.columnText(8);
    r.program = static_cast<int>(statement.columnInt(9));
    r.programName = statement.columnText(10);
    r.path = statement.columnText(11);
    r.sha256 = statement.columnText(12);
    r.lines = static_cast<long>(statement.columnInt(13));
    r.bytes = statement.columnInt(14);
    r.durationMs = statement.columnInt(15);
    r.result = transferResultOfName(statement.columnText(16)).value_or(TransferResult::kRunning);
    r.message = statement.columnText(17);
    records.push_back(std::move(r));
  }
  if (rc != SQLITE_DONE && error) *error = "journal " + path_ + ": " + errorText(db_);
  return records;
}

TransferPlace localTransferPlace() {
  TransferPlace place;
  if (const passwd* entry = ::getpwuid(::getuid()); entry && entry->pw_name) place.user = entry->pw_name;
  char host[256] = {};
  if (::gethostname(host, sizeof host - 1) == 0) place.host = host;
  return place;
}

JournalRecorder::JournalRecorder(Journal* journal, const TransferPlace& place, std::string operation)
    : journal_(journal), startedMs_(steadyMs()) {
  record_.started = journalNow();
  record_.user = place.user;
  record_.host = place.host;
  record_.machine = place.machine;
  record_.port = place.port;
  record_.model = place.model;
  record_.operation = std::move(operation);
  if (journal_) record_.id = journal_->begin(record_);
}

JournalRecorder::~JournalRecorder() {
  if (!finished_) finish(TransferResult::kFailed, record_.message);
}

void JournalRecorder::setProgram(int number, std::string_view name) {
  record_.program = number;
  record_.programName = std::string(name);
}

void JournalRecorder::setPath(const std::string& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  record_.path = error || path.empty() ? path : full.lexically_normal().string();
}

void JournalRecorder::setLines(const std::vector<std::string>& lines) {
  Sha256 hash;
  std::int64_t bytes = 0;
  for (const std::string& line : lines) {
    hash.update(line);
    hash.update("\r\n");
    bytes += static_cast<std::int64_t>(line.size()) + 2;
  }
  record_.sha256 = hash.finishHex();
  record_.lines = static_cast<long>(lines.size());
  record_.bytes = bytes;
}

void JournalRecorder::setBytes(std::string_view bytes, long lines) {
  record_.sha256 = sha256Hex(bytes);
  record_.bytes = static_cast<std::int64_t>(bytes.size());
  record_.lines = lines;
}

void JournalRecorder::finish(TransferResult result, std::string_view lastMessage) {
  if (finished_) return;
  finished_ = true;
  record_.result = result;
  record_.message = std::string(lastMessage);
  record_.ended = journalNow();
  record_.durationMs = steadyMs() - startedMs_;
  if (journal_) journal_->finish(record_);
}

void JournalRecorder::discard() {
  if (finished_) return;
  finished_ = true;
  if (journal_ && record_.id != 0) journal_->remove(record_.id);
}

namespace {

void appendJsonString(std::string& out, std::string_view text) {
  out += '"';
  for (const char ch : text) {
    const auto byte = static_cast<unsigned char>(ch);
    if (ch == '"' || ch == '\\') {
      out += '\\';
      out += ch;
    } else if (byte < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", byte);
      out += escaped;
    } else {
      out += ch;
    }
  }
  out += '"';
}

}  // namespace

std::string transferRecordJson(const TransferRecord& r) {
  std::string out = "{\"id\":" + std::to_string(r.id);
  const std::pair<const char*, const std::string*> texts[] = {
      {"started", &r.started}, {"ended", &r.ended},         {"user", &r.user},     {"host", &r.host},
      {"machine", &r.machine}, {"port", &r.port},           {"model", &r.model},   {"operation", &r.operation},
      {"name", &r.programName}, {"path", &r.path},          {"sha256", &r.sha256}, {"message", &r.message}};
  for (const auto& [key, value] : texts) {
    out += ",\"";
    out += key;
    out += "\":";
    appendJsonString(out, *value);
  }
  out += ",\"program\":" + std::to_string(r.program) + ",\"lines\":" + std::to_string(r.lines) +
         ",\"bytes\":" + std::to_string(r.bytes) + ",\"duration_ms\":" + std::to_string(r.durationMs) +
         ",\"result\":\"" + transferResultName(r.result) + "\"}";
  return out;
}

}  // namespace qxr
