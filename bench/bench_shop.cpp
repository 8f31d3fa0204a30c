// The journal: one transfer recorded, filtered queries over a million
// records, and eight qxrtool processes recording at once.
#include <benchmark/benchmark.h>
#include <sqlite3.h>
#include <sys/wait.h>

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "measure.h"
#include "shop/journal.h"
#include "support/tempdir.h"

namespace {

using namespace qxr;

std::vector<std::string> programLines(int count) {
  std::vector<std::string> lines;
  for (int i = 0; i < count; ++i) lines.push_back("G01 X" + std::to_string(i) + ".000 Y-12.500 F300");
  return lines;
}

// A transfer as qxrtool records it: begun, described, finished (two writes).
void BM_RecordOneTransfer(benchmark::State& state) {
  test::TempDir dir;
  Journal journal(dir.file("journal.db"));
  const TransferPlace place{"ann", "pc1", "Lathe 3", "COM2", "QXR302 M"};
  const std::vector<std::string> lines = programLines(static_cast<int>(state.range(0)));
  for (auto _ : state) {
    JournalRecorder recorder(&journal, place, "nc send");
    recorder.setProgram(12, "FACE");
    recorder.setPath("/srv/programs/face.nc");
    recorder.setLines(lines);
    recorder.finish(TransferResult::kFinished, "Transfer finished");
  }
  state.counters["lost"] = journal.problem().empty() ? 0 : 1;
}
BENCHMARK(BM_RecordOneTransfer)->Arg(100)->Arg(6000)->Unit(benchmark::kMicrosecond);

constexpr int kRecords = 1000000;
constexpr int kMachines = 20;

// A journal of a million records over a year (made once, then reused).
const std::string& bigJournal() {
  static test::TempDir dir;
  static const std::string path = [] {
    const std::string file = dir.file("big.db");
    { Journal made(file); made.add({}); }
    sqlite3* db = nullptr;
    sqlite3_open(file.c_str(), &db);
    sqlite3_exec(db, "DELETE FROM transfers; BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* insert = nullptr;
    sqlite3_prepare_v2(db,
                       "INSERT INTO transfers (started, ended, user, host, machine, port, model, operation, program,"
                       " program_name, path, sha256, lines, bytes, duration_ms, result, message)"
                       " VALUES (?1, ?1, 'ann', 'pc1', ?2, 'COM2', 'QXR302 M', 'nc send', ?3, 'FACE',"
                       " '/srv/programs/face.nc', 'a74a84bffeb07fc6067fed33d1e0f96af6f39e3106131f7b1e7063c89d03b6aa',"
                       " 400, 9000, 30000, ?4, 'Transfer finished')",
                       -1, &insert, nullptr);
    static const char* results[] = {"finished", "finished", "finished", "finished", "failed", "stopped"};
    for (int i = 0; i < kRecords; ++i) {
      // 31.5 s apart: a million records make a year.
      const long seconds = 1735689600L + static_cast<long>(i) * 63 / 2;
      const std::time_t t = seconds;
      std::tm utc{};
      gmtime_r(&t, &utc);
      char started[64];
      std::snprintf(started, sizeof started, "%04d-%02d-%02dT%02d:%02d:%02d.000Z", utc.tm_year + 1900,
                    utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec);
      const std::string machine = "Machine " + std::to_string(i % kMachines);
      sqlite3_bind_text(insert, 1, started, -1, SQLITE_TRANSIENT);
      sqlite3_bind_text(insert, 2, machine.c_str(), -1, SQLITE_TRANSIENT);
      sqlite3_bind_int(insert, 3, 1 + (i * 7) % 99);
      sqlite3_bind_text(insert, 4, results[i % 6], -1, SQLITE_STATIC);
      sqlite3_step(insert);
      sqlite3_reset(insert);
    }
    sqlite3_finalize(insert);
    sqlite3_exec(db, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE); ANALYZE", nullptr, nullptr, nullptr);
    sqlite3_close(db);
    return file;
  }();
  return path;
}

// The filters of the Journal window and of qxrtool journal, at their limit
// of 1000 records (the window's), on a journal of a million.
void BM_FilteredQuery(benchmark::State& state) {
  Journal journal(bigJournal());
  JournalFilter filter;
  switch (state.range(0)) {
    case 0: break;                                          // newest 1000
    case 1: filter.machine = "Machine 7"; break;           // one machine
    case 2: filter.machine = "Machine 7"; filter.program = 43; break;  // a machine's program, all year
    case 3: filter.program = 43; filter.since = "2025-06-01"; break;
    case 4: filter.result = TransferResult::kFailed; filter.since = "2025-12-01"; filter.until = "2025-12-02"; break;
    case 5: filter.machine = "Machine 3"; filter.result = TransferResult::kStopped; break;
    default: break;
  }
  std::size_t found = 0;
  for (auto _ : state) {
    const auto records = journal.query(filter);
    found = records.size();
    benchmark::DoNotOptimize(records.data());
  }
  state.counters["records"] = static_cast<double>(found);
}
BENCHMARK(BM_FilteredQuery)->DenseRange(0, 5)->Unit(benchmark::kMillisecond);

// Eight qxrtool processes, each recording 25 transfers (sends refused before
// a port opens, so the line plays no part), all at once; "lost" counts
// records missing afterwards.
void BM_EightToolProcesses(benchmark::State& state) {
  const std::string tool = test::binDir() + "/tools/qxrtool/qxrtool";
  if (!std::filesystem::exists(tool)) {
    state.SkipWithError("qxrtool not built");
    return;
  }
  double lost = 0;
  for (auto _ : state) {
    test::TempDir dir;
    const std::string journal = dir.file("shared.db");
    const std::string command = "cd '" + dir.dir() + "' && for p in 1 2 3 4 5 6 7 8; do (i=0; while [ $i -lt 25 ]; do QXR_JOURNAL='" +
                                journal + "' " + tool + " --dir '" + dir.dir() +
                                "' --port COM9 nc send missing.nc >/dev/null 2>&1; i=$((i+1)); done) & done; wait";
    if (std::system(command.c_str()) != 0) state.SkipWithError("the processes did not run");
    Journal reader(journal);
    JournalFilter all;
    all.limit = 0;
    lost += 200.0 - static_cast<double>(reader.query(all).size());
  }
  state.counters["lost"] = lost;
}
BENCHMARK(BM_EightToolProcesses)->Iterations(1)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
