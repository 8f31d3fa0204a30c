// The service's machine queues against the controller emulator: transfers
// reach the controller and the journal, bad requests are refused before they
// wait, a stop ends a job wherever it is, one silent machine never holds up
// another, and records a killed service left running are marked interrupted.
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "service/jobs.h"
#include "service/servicehost.h"
#include "support/emulator.h"
#include "support/startdir.h"
#include "support/wait.h"

namespace qxr {
namespace {

namespace fs = std::filesystem;

bool contains(const std::string& text, const std::string& part) { return text.find(part) != std::string::npos; }

std::string joined(const std::vector<std::string>& lines) {
  std::string out;
  for (const std::string& line : lines) out += line + "\n";
  return out;
}

Machine machineOn(const std::string& name, const std::string& port, int timeoutMs = 300) {
  Machine machine;
  machine.name = name;
  machine.modelIndex = 0;  // QXR102: programs carry names
  machine.port = port;
  machine.blockMode = true;
  machine.timeoutMs = timeoutMs;
  return machine;
}

// A start directory with a journal, a board on its machines, and helpers.
struct Shop {
  test::StartDir dir;
  Journal journal{dir.file("journal.db")};
  std::unique_ptr<JobBoard> board;

  void open(std::vector<Machine> machines, std::size_t maxQueued = 64) {
    test::linkMissingPorts(dir, 8);
    JobBoard::Options options;
    options.maxQueued = maxQueued;
    options.startDir = dir.dir();
    options.journal = &journal;
    board = std::make_unique<JobBoard>(options, std::move(machines));
  }
  JobBoard::Submitted submit(JobKind kind, const std::string& machine, int number, const std::string& text = {},
                             std::optional<std::string> name = std::nullopt) {
    JobRequest request;
    request.kind = kind;
    request.machine = machine;
    request.number = number;
    request.text = text;
    request.name = std::move(name);
    request.user = "anna";
    return board->submit(std::move(request));
  }
  JobView waitFor(std::int64_t id, const std::function<bool(const JobView&)>& condition) {
    EXPECT_TRUE(test::waitUntil([&] { return condition(*board->job(id)); })) << joined(board->job(id)->messages);
    return *board->job(id);
  }
  JobView waitEnded(std::int64_t id) {
    return waitFor(id, [](const JobView& view) { return jobEnded(view.state); });
  }
  MachineStatus status(const std::string& name) {
    for (const MachineStatus& status : board->machines())
      if (status.machine.name == name) return status;
    return {};
  }
};

const std::string kStored7 = "7\r\nPART1\r\nN1 G01 X10 Y10 F100\r\nN2 M30\r\n";

TEST(ServiceJobs, TransfersReachTheControllerTheLibraryAndTheJournal) {
  Shop shop;
  test::EmulatorOptions options;
  options.programs[7] = kStored7;
  test::Emulator emulator(shop.dir, options);
  shop.open({machineOn("Mill", "COM2")});
  std::string longProgram = "%\nO0014\n";
  for (int i = 0; i < 450; ++i) longProgram += "G01 X" + std::to_string(i) + "\n";
  struct Row {
    const char* what;
    JobKind kind;
    int number;
    std::string text;
    std::optional<std::string> name;
    JobState state;
    TransferResult journalled;
  };
  const Row rows[] = {
      {"plain text, number and name from it", JobKind::kSend, 0, "%\nO0012 (FACE)\nN10 G00 X0\nN20 M30\n%\n", {},
       JobState::kFinished, TransferResult::kFinished},
      {"numbered text, number and name given", JobKind::kSend, 13, "5\nOLD\nN1 G00 X1\nN2 M30\n", "Rough",
       JobState::kFinished, TransferResult::kFinished},
      {"receive", JobKind::kReceive, 7, {}, {}, JobState::kFinished, TransferResult::kFinished},
      {"receive again: a new library file", JobKind::kReceive, 7, {}, {}, JobState::kFinished,
       TransferResult::kFinished},
      {"receive of a program the controller lacks", JobKind::kReceive, 50, {}, {}, JobState::kFailed,
       TransferResult::kFailed},
      {"compare, the same", JobKind::kCompare, 7, "%\nO0007 (PART1)\nG01 X10 Y10 F100\nM30\n%\n", {},
       JobState::kFinished, TransferResult::kFinished},
      {"compare, a line differs", JobKind::kCompare, 7, "%\nO0007\nG01 X10 Y11 F100\nM30\n%\n", {},
       JobState::kFinished, TransferResult::kFailed},
      {"a long send", JobKind::kSend, 0, longProgram, {}, JobState::kFinished, TransferResult::kFinished},
  };
  std::vector<JobView> views;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto submitted = shop.submit(row.kind, "mill", row.number, row.text, row.name);  // case ignored
    ASSERT_EQ(submitted.status, 202) << submitted.reason;
    views.push_back(shop.waitEnded(submitted.id));
    EXPECT_EQ(views.back().state, row.state) << joined(views.back().messages);
    EXPECT_EQ(views.back().machine, "Mill");
  }
  EXPECT_EQ(*emulator.storedProgram(12), "12\r\nFACE\r\nN1 G00 X0\r\nN2 M30\r\n");
  EXPECT_EQ(*emulator.storedProgram(13), "13\r\nROUGH\r\nN1 G00 X1\r\nN2 M30\r\n");
  EXPECT_TRUE(contains(views[0].messages.front(), "Plain NC program: number 12 from O0012, name FACE"));

  const std::string library = shop.dir.file("library/Mill/");
  EXPECT_EQ(views[2].libraryPath, library + "O0007 PART1.nc");
  EXPECT_EQ(views[3].libraryPath, library + "O0007 PART1 (2).nc");
  EXPECT_EQ(views[2].programText, "%\r\nO0007 (PART1)\r\nG01 X10 Y10 F100\r\nM30\r\n%\r\n");
  EXPECT_EQ(shop.dir.read("library/Mill/O0007 PART1 (2).nc"), views[2].programText);
  EXPECT_EQ(views[2].name, "PART1");
  EXPECT_TRUE(views[4].libraryPath.empty());
  EXPECT_EQ(views[5].same, true);
  EXPECT_EQ(views[6].same, false);
  EXPECT_TRUE(contains(views[6].messages.back(), "differs from line 1")) << joined(views[6].messages);
  // A message per line sent: the middle ones are left out of what is kept.
  EXPECT_EQ(views[7].messages.size(), MessageLog::kHead + 1 + MessageLog::kTail);
  EXPECT_TRUE(contains(views[7].messages[MessageLog::kHead], "messages left out"));
  EXPECT_EQ(views[7].messages.back(), "Port closed ");
  // The controller answered the failed receive: the machine is not unreachable.
  EXPECT_EQ(shop.status("Mill").activity, MachineActivity::kIdle);

  // One record per job, newest first, with the requester and the machine.
  const std::vector<TransferRecord> records = shop.journal.query({});
  ASSERT_EQ(records.size(), std::size(rows));
  for (std::size_t i = 0; i < records.size(); ++i) {
    const TransferRecord& record = records[records.size() - 1 - i];
    SCOPED_TRACE(rows[i].what);
    EXPECT_EQ(record.id, views[i].journalId);
    EXPECT_EQ(record.operation, std::string("nc ") + jobKindName(rows[i].kind));
    EXPECT_EQ(record.result, rows[i].journalled);
    EXPECT_EQ(record.user, "anna");
    EXPECT_EQ(record.machine, "Mill");
    EXPECT_EQ(record.port, "COM2");
    EXPECT_EQ(record.model, "QXR102 K");
  }
  const TransferRecord& secondReceive = records[records.size() - 1 - 3];
  EXPECT_EQ(secondReceive.path, views[3].libraryPath);
  EXPECT_EQ(secondReceive.lines, 2);
  EXPECT_EQ(shop.dir.read(kInFlightFileName), "");
}

TEST(ServiceJobs, BadRequestsAreRefusedBeforeTheyWait) {
  Shop shop;
  shop.open({machineOn("Mill", "COM2"), [] {
               Machine lathe = machineOn("Lathe", "COM3");
               lathe.modelIndex = 3;  // QXR101: no program names
               return lathe;
             }()});
  std::string overBound;
  for (int i = 0; i < 6001; ++i) overBound += "G01 X1\n";
  const std::string plain = "%\nO0012\nG00 X0\n%\n";
  struct Row {
    const char* what;
    JobKind kind;
    const char* machine;
    int number;
    std::string text;
    std::optional<std::string> name;
    int status;
    const char* reason;
  };
  const Row rows[] = {
      {"unknown machine", JobKind::kReceive, "Drill", 7, {}, {}, 404, "no machine named Drill"},
      {"receive without a number", JobKind::kReceive, "Mill", 0, {}, {}, 400, "1 to 99, not 0"},
      {"number beyond 99", JobKind::kSend, "Mill", 100, plain, {}, 400, "1 to 99, not 100"},
      {"negative number", JobKind::kCompare, "Mill", -3, plain, {}, 400, "1 to 99, not -3"},
      {"plain text without a number", JobKind::kSend, "Mill", 0, "G00 X0\nM30\n", {}, 400, "give it a number"},
      {"O-word beyond 99", JobKind::kSend, "Mill", 0, "%\nO1000\nG00 X0\n%\n", {}, 400, "O1000 is outside"},
      {"more lines than a program holds", JobKind::kSend, "Mill", 5, overBound, {}, 400, "6001 lines"},
      {"a line beyond the controller's buffer", JobKind::kSend, "Mill", 5, "G01 X" + std::string(260, '1'), {}, 400,
       "Text line 1 is too long for the controller (270 bytes, at most 255)"},
      {"a control byte", JobKind::kSend, "Mill", 5, "G00 X0\nG01\x07 X1\n", {}, 400, "Text line 2"},
      {"a character the code page lacks", JobKind::kSend, "Mill", 5, "G00 X0\n(\xE5\xAD\x97)\n", {}, 400,
       "text line 2 holds"},
      {"not UTF-8", JobKind::kSend, "Mill", 5, "G00 X0\n\xFF\n", {}, 400, "not UTF-8"},
      {"empty text", JobKind::kSend, "Mill", 5, "", {}, 400, "empty"},
      {"name too long for the name frame", JobKind::kSend, "Mill", 5, plain, "LONGNAME9", 400, "holds 8"},
      {"control byte in the name", JobKind::kSend, "Mill", 5, plain, "A\x01B", 400, "name holds a control"},
      {"a name a machine without names ignores", JobKind::kSend, "Lathe", 5, plain, "LONGNAME9", 202, ""},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    const auto submitted = shop.submit(row.kind, row.machine, row.number, row.text, row.name);
    EXPECT_EQ(submitted.status, row.status) << submitted.reason;
    EXPECT_TRUE(contains(submitted.reason, row.reason)) << submitted.reason;
    EXPECT_EQ(submitted.id == 0, row.status != 202);
  }
  EXPECT_EQ(shop.board->jobs().size(), 1u);
}

TEST(ServiceJobs, AStopEndsAQueuedJobAtOnceAndARunningOneAtItsNextFrame) {
  Shop shop;
  test::EmulatorOptions options;
  options.extraArgs = {"--trickle", "2"};
  test::Emulator emulator(shop.dir, options);
  shop.open({machineOn("Mill", "COM2", 1000)}, 1);
  std::string program = "%\nO0020 (LONG)\n";
  for (int i = 0; i < 400; ++i) program += "G01 X" + std::to_string(i) + "\n";
  const auto running = shop.submit(JobKind::kSend, "Mill", 0, program);
  ASSERT_EQ(running.status, 202);
  shop.waitFor(running.id, [](const JobView& view) { return view.progress && view.progress->done >= 5; });
  const auto queued = shop.submit(JobKind::kReceive, "Mill", 7);
  const auto refused = shop.submit(JobKind::kReceive, "Mill", 8);
  EXPECT_EQ(refused.status, 400);
  EXPECT_EQ(refused.reason, "Mill has 1 jobs waiting already");
  EXPECT_EQ(shop.status("Mill").activity, MachineActivity::kBusy);
  EXPECT_EQ(shop.status("Mill").queued, 1u);
  EXPECT_EQ(shop.status("Mill").current->id, running.id);

  EXPECT_EQ(shop.board->stop(queued.id), JobBoard::StopResult::kStopping);
  EXPECT_EQ(shop.board->job(queued.id)->state, JobState::kStopped);
  EXPECT_EQ(shop.board->stop(queued.id), JobBoard::StopResult::kEnded);
  EXPECT_EQ(shop.board->stop(9999), JobBoard::StopResult::kUnknown);
  EXPECT_EQ(shop.board->stop(running.id), JobBoard::StopResult::kStopping);
  const JobView stopped = shop.waitEnded(running.id);
  EXPECT_EQ(stopped.state, JobState::kStopped) << joined(stopped.messages);
  // The program stored in part was deleted again: the request was consent.
  EXPECT_FALSE(emulator.storedProgram(20)) << joined(stopped.messages);

  // A board that ends mid-transfer stops it; the queued job never runs.
  const auto cut = shop.submit(JobKind::kSend, "Mill", 0, program);
  shop.submit(JobKind::kReceive, "Mill", 7);
  shop.waitFor(cut.id, [](const JobView& view) { return view.progress && view.progress->done >= 5; });
  shop.board.reset();
  const std::vector<TransferRecord> records = shop.journal.query({});
  ASSERT_EQ(records.size(), 2u);  // queued jobs never began a record
  EXPECT_EQ(records[0].result, TransferResult::kStopped);
  EXPECT_EQ(records[1].result, TransferResult::kStopped);
  EXPECT_EQ(shop.dir.read(kInFlightFileName), "");
}

TEST(ServiceJobs, ASilentMachineNeverHoldsUpAnother) {
  Shop shop;
  test::EmulatorOptions silent;
  silent.silentAfter = 0;
  test::Emulator quiet(shop.dir, silent);
  test::EmulatorOptions answering;
  answering.portName = "COM3";
  test::Emulator emulator(shop.dir, answering);
  shop.open({machineOn("Quiet", "COM2", 3000), machineOn("Mill", "COM3"), machineOn("Gone", "COM4")});
  const auto hung = shop.submit(JobKind::kReceive, "Quiet", 7);
  const auto missing = shop.submit(JobKind::kReceive, "Gone", 7);
  shop.waitFor(hung.id, [](const JobView& view) { return view.state == JobState::kRunning; });
  const auto sent = shop.submit(JobKind::kSend, "Mill", 5, "G00 X0\nM30\n");
  EXPECT_EQ(shop.waitEnded(sent.id).state, JobState::kFinished);
  // Two waits of 3 s each lie ahead of the silent machine's job.
  EXPECT_EQ(shop.board->job(hung.id)->state, JobState::kRunning);
  EXPECT_EQ(shop.status("Quiet").activity, MachineActivity::kBusy);
  EXPECT_EQ(shop.status("Mill").activity, MachineActivity::kIdle);

  EXPECT_EQ(shop.waitEnded(hung.id).state, JobState::kFailed);
  EXPECT_EQ(shop.waitEnded(missing.id).state, JobState::kFailed);
  const MachineStatus quietStatus = shop.status("Quiet");
  EXPECT_EQ(quietStatus.activity, MachineActivity::kUnreachable);
  EXPECT_TRUE(contains(quietStatus.problem, "ime")) << quietStatus.problem;  // the time-out
  const MachineStatus goneStatus = shop.status("Gone");
  EXPECT_EQ(goneStatus.activity, MachineActivity::kUnreachable);
  EXPECT_TRUE(contains(goneStatus.problem, "COM4")) << goneStatus.problem;
  // New settings are not known to fail; a removed machine takes no jobs.
  Machine quietAgain = machineOn("Quiet", "COM2", 500);
  shop.board->setMachines({quietAgain, machineOn("Mill", "COM3")});
  EXPECT_EQ(shop.status("Quiet").activity, MachineActivity::kIdle);
  EXPECT_FALSE(shop.board->hasMachine("Gone"));
  EXPECT_EQ(shop.submit(JobKind::kReceive, "Gone", 7).status, 404);
}

// The fault matrix's main cells through the service: whatever a controller
// does wrong part-way through a send, its job fails with a journal record that
// says so, and the machine beside it finishes the same send meanwhile.
TEST(ServiceJobs, AFaultyControllerFailsItsJobAndNoOther) {
  struct Row {
    const char* what;
    std::function<void(test::EmulatorOptions&)> fault;
    MachineActivity after;  // the faulty machine's state afterwards
  };
  const Row rows[] = {
      {"silent from the start", [](test::EmulatorOptions& o) { o.silentAfter = 0; }, MachineActivity::kUnreachable},
      {"silent mid-send", [](test::EmulatorOptions& o) { o.silentAfter = 5; }, MachineActivity::kIdle},
      {"hangs up mid-send", [](test::EmulatorOptions& o) { o.hangupAfter = 5; }, MachineActivity::kIdle},
      {"refuses a line", [](test::EmulatorOptions& o) { o.extraArgs = {"--refuse-at", "6"}; }, MachineActivity::kIdle},
      {"answers garbage", [](test::EmulatorOptions& o) { o.garbage = true; }, MachineActivity::kIdle},
      {"floods without line ends", [](test::EmulatorOptions& o) { o.overlong = true; }, MachineActivity::kIdle},
  };
  const std::string program = "N1 G00 X0\nN2 G01 X5 F100\nN3 G01 Y5\nN4 M30\n";
  for (const Row& row : rows) {
    SCOPED_TRACE(row.what);
    Shop shop;
    test::EmulatorOptions faulty;
    row.fault(faulty);
    test::Emulator bad(shop.dir, faulty);
    test::EmulatorOptions good;
    good.portName = "COM3";
    test::Emulator emulator(shop.dir, good);
    shop.open({machineOn("Bad", "COM2"), machineOn("Good", "COM3")});
    const auto failing = shop.submit(JobKind::kSend, "Bad", 9, program, "PART");
    const auto sent = shop.submit(JobKind::kSend, "Good", 9, program, "PART");
    EXPECT_EQ(shop.waitEnded(sent.id).state, JobState::kFinished);
    EXPECT_EQ(*emulator.storedProgram(9), "9\r\nPART\r\nN1 G00 X0\r\nN2 G01 X5 F100\r\nN3 G01 Y5\r\nN4 M30\r\n");
    const JobView view = shop.waitEnded(failing.id);
    EXPECT_EQ(view.state, JobState::kFailed) << joined(view.messages);
    EXPECT_EQ(shop.status("Bad").activity, row.after);
    JournalFilter onBad;
    onBad.machine = "Bad";
    const std::vector<TransferRecord> records = shop.journal.query(onBad);
    ASSERT_EQ(records.size(), 1u);
    EXPECT_EQ(records[0].result, TransferResult::kFailed);
    EXPECT_EQ(records[0].id, view.journalId);
  }
}

TEST(ServiceJobs, RecordsLeftRunningByAKilledServiceAreMarkedInterrupted) {
  Shop shop;
  TransferRecord record;
  record.started = journalNow();
  record.operation = "nc send";
  const std::int64_t running = shop.journal.begin(record);
  record.result = TransferResult::kFinished;
  const std::int64_t finished = shop.journal.begin(record);
  shop.dir.write(kInFlightFileName, std::to_string(running) + "\n" + std::to_string(finished) + "\nnonsense\n\n");
  shop.open({});
  EXPECT_EQ(shop.board->markInterruptedTransfers(), 1);
  const std::vector<TransferRecord> records = shop.journal.query({});
  ASSERT_EQ(records.size(), 2u);
  EXPECT_EQ(records[1].result, TransferResult::kInterrupted);
  EXPECT_TRUE(contains(records[1].message, "Interrupted")) << records[1].message;
  EXPECT_EQ(records[0].result, TransferResult::kFinished);
  EXPECT_EQ(shop.dir.read(kInFlightFileName), "");
  EXPECT_EQ(shop.board->markInterruptedTransfers(), 0);
  EXPECT_FALSE(shop.journal.markInterrupted(running, "again"));  // only a running record
  EXPECT_EQ(transferResultOfName("interrupted"), TransferResult::kInterrupted);
}

TEST(ServiceJobs, LibraryFileNamesAreSafeAndNeverReplaceAFile) {
  const std::pair<std::string, std::string> names[] = {
      {"FACE", "O0012 FACE.nc"}, {"", "O0012.nc"},          {"AB  ", "O0012 AB.nc"},  {"A/B", "O0012 A_B.nc"},
      {"../X", "O0012 _X.nc"},   {"..", "O0012 _.nc"},      {"A\tB", "O0012 A_B.nc"}, {"零件", "O0012 零件.nc"},
  };
  for (const auto& [name, file] : names) EXPECT_EQ(libraryFileName(12, name), file) << name;
  test::TempDir dir;
  dir.write("O0012.nc", "");
  dir.write("O0012 (2).nc", "");
  EXPECT_EQ(unusedPath(dir.dir(), "O0012.nc"), dir.file("O0012 (3).nc"));
  EXPECT_EQ(unusedPath(dir.dir(), "O0013.nc"), dir.file("O0013.nc"));
}

}  // namespace
}  // namespace qxr
