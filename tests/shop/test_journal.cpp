// The journal: the digest it fingerprints with, what its filters find, the
// migration of an older layout, files it must never write, and many writers.
#include <gtest/gtest.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/fileio.h"
#include "shop/journal.h"
#include "shop/sha256.h"
#include "shop/statedir.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

namespace fs = std::filesystem;

TEST(Sha256, KnownVectorsWholeAndInPieces) {
  struct Vector {
    std::string input;
    const char* digest;
  };
  const std::vector<Vector> vectors = {
      {"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
      {"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
      {"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
       "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
      // Lengths around the block and the padding boundaries.
      {std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
      {std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
      {std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
      {std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
      {std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
      {std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
      {std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"},
      {std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"},
  };
  for (const Vector& v : vectors) {
    SCOPED_TRACE(v.input.size());
    EXPECT_EQ(sha256Hex(v.input), v.digest);
    for (const std::size_t piece : {1u, 7u, 64u, 1000u}) {
      Sha256 hash;
      for (std::size_t at = 0; at < v.input.size(); at += piece) hash.update(std::string_view(v.input).substr(at, piece));
      EXPECT_EQ(hash.finishHex(), v.digest);
    }
  }
}

TEST(JournalRecorder, HashesTheProgramLinesWithTheirLineEnds) {
  test::TempDir dir;
  Journal journal(dir.file("j.db"));
  {
    JournalRecorder recorder(&journal, {"ann", "pc1", "Lathe 3", "COM2", "QXR302 M"}, "nc send");
    recorder.setProgram(12, "FACE");
    recorder.setLines({"N1 G90", "M30"});
    recorder.setPath("p.nc");
    EXPECT_EQ(journal.query({}).front().result, TransferResult::kRunning);  // visible while under way
    recorder.finish(TransferResult::kFinished, "Transfer finished");
  }
  { JournalRecorder abandoned(&journal, {}, "nc receive"); }  // no finish: a failure
  const auto records = journal.query({});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].sha256, "a74a84bffeb07fc6067fed33d1e0f96af6f39e3106131f7b1e7063c89d03b6aa");
  EXPECT_EQ(records[1].bytes, 13);
  EXPECT_EQ(records[1].lines, 2);
  EXPECT_EQ(records[1].machine, "Lathe 3");
  EXPECT_EQ(records[1].path, fs::absolute("p.nc").lexically_normal().string());
  EXPECT_EQ(records[1].message, "Transfer finished");
  EXPECT_FALSE(records[1].ended.empty());
  EXPECT_EQ(records[0].result, TransferResult::kFailed);
  // JSON keeps control bytes and quotes of a message escaped.
  TransferRecord odd;
  odd.message = "a\"b\\c\r\n";
  EXPECT_NE(transferRecordJson(odd).find(R"("message":"a\"b\\c\u000d\u000a")"), std::string::npos);
}

TEST(Journal, FiltersFindTheirRecordsNewestFirst) {
  test::TempDir dir;
  Journal journal(dir.file("j.db"));
  struct Row {
    const char* started;
    const char* machine;
    int program;
    TransferResult result;
  };
  const std::vector<Row> rows = {
      {"2026-12-01T08:00:00.000Z", "Lathe 3", 12, TransferResult::kFinished},  // id 1
      {"2026-12-01T09:00:00.000Z", "Mill", 12, TransferResult::kFailed},       // id 2
      {"2026-12-02T08:00:00.000Z", "lathe 3", 7, TransferResult::kStopped},    // id 3
      {"2026-12-03T23:59:59.999Z", "Mill", 7, TransferResult::kFinished},      // id 4
      {"2026-12-04T00:00:00.000Z", "", 0, TransferResult::kFinished},          // id 5
  };
  for (const Row& row : rows) {
    TransferRecord r;
    r.started = row.started;
    r.machine = row.machine;
    r.program = row.program;
    r.result = row.result;
    ASSERT_NE(journal.add(r), 0);
  }
  struct Case {
    const char* label;
    JournalFilter filter;
    std::vector<std::int64_t> ids;
  };
  auto filter = [](std::string machine, std::optional<int> program, std::optional<TransferResult> result,
                   std::string since, std::string until, int limit = 1000) {
    return JournalFilter{machine, program, result, since, until, limit};
  };
  const std::vector<Case> cases = {
      {"all", {}, {5, 4, 3, 2, 1}},
      {"machine, case ignored", filter("LATHE 3", {}, {}, "", ""), {3, 1}},
      {"program", filter("", 12, {}, "", ""), {2, 1}},
      {"result", filter("", {}, TransferResult::kFinished, "", ""), {5, 4, 1}},
      {"since a day", filter("", {}, {}, "2026-12-03", ""), {5, 4}},
      {"since a time", filter("", {}, {}, "2026-12-01T08:30", ""), {5, 4, 3, 2}},
      {"until is exclusive", filter("", {}, {}, "", "2026-12-01T09:00:00"), {1}},
      {"a day's range", filter("", {}, {}, "2026-12-03", "2026-12-04"), {4}},
      {"all filters", filter("mill", 7, TransferResult::kFinished, "2026-12-02", "2026-12-05"), {4}},
      {"nothing matches", filter("Nobody", {}, {}, "", ""), {}},
      {"limit keeps the newest", filter("", {}, {}, "", "", 2), {5, 4}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::string error;
    std::vector<std::int64_t> ids;
    for (const TransferRecord& r : journal.query(c.filter, &error)) ids.push_back(r.id);
    EXPECT_EQ(error, "");
    EXPECT_EQ(ids, c.ids);
  }
  for (const char* date : {"2026-12-03", "2026-12-03T10:00", "2026-12-03T10:00:59"}) EXPECT_TRUE(isJournalDate(date));
  for (const char* date : {"", "2026-1-03", "2026-12-03 10:00", "2026-12-03T10", "yesterday", "2026-12-03T10:00:5x"})
    EXPECT_FALSE(isJournalDate(date)) << date;
}

// The first column of the first row of `sql`, as text.
std::string sqlValue(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  sqlite3_open_v2(path.c_str(), &db, SQLITE_OPEN_READONLY, nullptr);
  sqlite3_stmt* statement = nullptr;
  sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr);
  std::string value = "(none)";
  if (sqlite3_step(statement) == SQLITE_ROW) value = reinterpret_cast<const char*>(sqlite3_column_text(statement, 0));
  sqlite3_finalize(statement);
  sqlite3_close(db);
  return value;
}

void runSql(const std::string& path, const std::string& sql) {
  sqlite3* db = nullptr;
  ASSERT_EQ(sqlite3_open(path.c_str(), &db), SQLITE_OK);
  char* message = nullptr;
  EXPECT_EQ(sqlite3_exec(db, sql.c_str(), nullptr, nullptr, &message), SQLITE_OK) << (message ? message : "");
  sqlite3_free(message);
  sqlite3_close(db);
}

TEST(Journal, AnOlderLayoutIsMigratedWithItsRecords) {
  test::TempDir dir;
  const std::string path = dir.file("old.db");
  // The first layout: the records without the filters' indexes.
  runSql(path,
         "CREATE TABLE transfers (id INTEGER PRIMARY KEY, started TEXT NOT NULL, ended TEXT NOT NULL DEFAULT '',"
         " user TEXT NOT NULL DEFAULT '', host TEXT NOT NULL DEFAULT '', machine TEXT NOT NULL DEFAULT '',"
         " port TEXT NOT NULL DEFAULT '', model TEXT NOT NULL DEFAULT '', operation TEXT NOT NULL DEFAULT '',"
         " program INTEGER NOT NULL DEFAULT 0, program_name TEXT NOT NULL DEFAULT '', path TEXT NOT NULL DEFAULT '',"
         " sha256 TEXT NOT NULL DEFAULT '', lines INTEGER NOT NULL DEFAULT 0, bytes INTEGER NOT NULL DEFAULT 0,"
         " duration_ms INTEGER NOT NULL DEFAULT 0, result TEXT NOT NULL DEFAULT 'running',"
         " message TEXT NOT NULL DEFAULT '');"
         "INSERT INTO transfers (started, machine, program, result) VALUES ('2025-01-01T00:00:00.000Z', 'Old', 3, 'finished');"
         "PRAGMA application_id=1364742730; PRAGMA user_version=1;");
  Journal journal(path);
  TransferRecord r;
  r.started = journalNow();
  EXPECT_NE(journal.add(r), 0) << journal.problem();
  const auto old = journal.query({"Old", 3, {}, "", "", 10});
  ASSERT_EQ(old.size(), 1u);
  EXPECT_EQ(old[0].result, TransferResult::kFinished);
  EXPECT_EQ(sqlValue(path, "PRAGMA user_version"), std::to_string(Journal::kSchemaVersion));
  EXPECT_EQ(sqlValue(path, "SELECT count(*) FROM sqlite_master WHERE type='index'"), "4");
  EXPECT_EQ(journal.problem(), "");
}

// What a directory holds: names and bytes.
std::map<std::string, std::string> contents(const std::string& dir) {
  std::map<std::string, std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(dir)) {
    std::string bytes;
    if (entry.is_regular_file()) readFileChecked(entry.path().string(), 64u << 20, bytes);
    files[fs::relative(entry.path(), dir).string()] = bytes;
  }
  return files;
}

TEST(Journal, AFileThatIsNoWritableJournalIsReportedOnceAndLeftAlone) {
  struct Case {
    const char* label;
    void (*make)(const test::TempDir& dir);  // makes dir/"j.db" (or what is in its way)
    bool rootWrites;                         // the system's permissions do not stop root
  };
  const std::vector<Case> cases = {
      {"damaged bytes", [](const test::TempDir& d) { d.write("j.db", std::string("SQLite format 3\0garbage", 24) + std::string(4000, 'x')); }, false},
      {"text file", [](const test::TempDir& d) { d.write("j.db", "not a database\n"); }, false},
      {"another program's database", [](const test::TempDir& d) { runSql(d.file("j.db"), "CREATE TABLE t(x); INSERT INTO t VALUES (1);"); }, false},
      {"a newer layout", [](const test::TempDir& d) { runSql(d.file("j.db"), "CREATE TABLE transfers(id); PRAGMA application_id=1364742730; PRAGMA user_version=99;"); }, false},
      {"a directory", [](const test::TempDir& d) { fs::create_directory(d.file("j.db")); }, false},
      {"under a regular file", [](const test::TempDir& d) { d.write("parent", "x"); }, false},
      {"read-only journal", [](const test::TempDir& d) {
         { Journal made(d.file("j.db")); made.add({}); }
         ::chmod(d.file("j.db").c_str(), 0444);
         ::chmod(d.dir().c_str(), 0555); }, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    if (c.rootWrites && ::geteuid() == 0) continue;
    test::TempDir dir;
    c.make(dir);
    const auto before = contents(dir.dir());
    const std::string path = std::string(c.label) == "under a regular file" ? dir.file("parent/j.db") : dir.file("j.db");
    Journal journal(path);
    int told = 0;
    journal.setProblemHandler([&](const std::string&) { ++told; });
    for (int i = 0; i < 3; ++i) {
      JournalRecorder recorder(&journal, {}, "nc send");
      recorder.setLines({"G0"});
      recorder.finish(TransferResult::kFinished, "done");
      EXPECT_EQ(recorder.record().result, TransferResult::kFinished);  // the transfer's own result stands
    }
    EXPECT_EQ(told, 1);
    EXPECT_NE(journal.problem().find(path), std::string::npos);
    EXPECT_EQ(contents(dir.dir()), before);
    ::chmod(dir.dir().c_str(), 0755);
  }
}

TEST(Journal, ManyThreadsAndProcessesLoseNoRecord) {
  test::TempDir dir;
  const std::string path = dir.file("state/qxrtrans/journal.db");  // made on first use
  constexpr int kProcesses = 6, kThreads = 4, kEach = 40;
  std::vector<pid_t> children;
  for (int p = 0; p < kProcesses; ++p) {
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
      Journal journal(path);
      bool ok = true;
      for (int i = 0; i < kEach; ++i) {
        JournalRecorder recorder(&journal, {"u", "h", "P" + std::to_string(p), "", ""}, "nc send");
        recorder.finish(TransferResult::kFinished, std::to_string(i));
        ok = ok && journal.problem().empty();
      }
      ::_exit(ok ? 0 : 1);
    }
    children.push_back(child);
  }
  {
    // Meanwhile threads of this process share one journal.
    Journal shared(path);
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t)
      threads.emplace_back([&shared, t] {
        for (int i = 0; i < kEach; ++i) {
          JournalRecorder recorder(&shared, {"u", "h", "T" + std::to_string(t), "", ""}, "nc receive");
          recorder.finish(TransferResult::kFinished, {});
        }
      });
    for (std::thread& thread : threads) thread.join();
    EXPECT_EQ(shared.problem(), "");
  }
  for (const pid_t child : children) {
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
  }
  Journal reader(path);
  JournalFilter all;
  all.limit = 0;
  const auto records = reader.query(all);
  EXPECT_EQ(records.size(), std::size_t{(kProcesses + kThreads) * kEach});
  std::set<std::int64_t> ids;
  for (const auto& r : records) {
    ids.insert(r.id);
    EXPECT_EQ(r.result, TransferResult::kFinished);
  }
  EXPECT_EQ(ids.size(), records.size());
  EXPECT_EQ(sqlValue(path, "PRAGMA journal_mode"), "wal");
}

TEST(StateDirectory, JournalPlaceByPrecedence) {
  struct Case {
    StateEnvironment env;
    std::string shopJournal;
    std::string expected;
  };
  const std::vector<Case> cases = {
      {{"/home/ann", "", ""}, "", "/home/ann/.local/state/qxrtrans/journal.db"},
      {{"/home/ann", "/var/st", ""}, "", "/var/st/qxrtrans/journal.db"},
      {{"/home/ann", "relative", ""}, "", "/home/ann/.local/state/qxrtrans/journal.db"},
      {{"/home/ann", "/var/st", ""}, "/srv/shop.db", "/srv/shop.db"},
      {{"/home/ann", "", ""}, "shared/j.db", "/start/shared/j.db"},
      {{"/home/ann", "/var/st", "/env/j.db"}, "/srv/shop.db", "/env/j.db"},
  };
  for (const Case& c : cases) EXPECT_EQ(journalPathFor(c.env, c.shopJournal, "/start/"), c.expected);
}

}  // namespace
}  // namespace qxr
