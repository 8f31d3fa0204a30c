#include "service/jobs.h"

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <set>

#include "base/bilingual.h"
#include "base/codec.h"
#include "base/fileio.h"
#include "base/session.h"
#include "base/textio.h"
#include "service/servicehost.h"

namespace qxr {

const char* jobKindName(JobKind kind) {
  switch (kind) {
    case JobKind::kSend: return "send";
    case JobKind::kReceive: return "receive";
    case JobKind::kCompare: return "compare";
  }
  return "send";
}

const char* jobStateName(JobState state) {
  switch (state) {
    case JobState::kQueued: return "queued";
    case JobState::kRunning: return "running";
    case JobState::kFinished: return "finished";
    case JobState::kFailed: return "failed";
    case JobState::kStopped: return "stopped";
  }
  return "queued";
}

const char* machineActivityName(MachineActivity activity) {
  switch (activity) {
    case MachineActivity::kIdle: return "idle";
    case MachineActivity::kBusy: return "busy";
    case MachineActivity::kUnreachable: return "unreachable";
  }
  return "idle";
}

namespace {

constexpr TextPair kInterrupted = {"Interrupted: the service ended while the transfer was under way",
                                   "已中斷: 傳輸進行中服務即已結束"};

// Machine names are told apart without regard to case, as in the machine file.
std::string nameKey(std::string_view name) {
  std::string key(name);
  for (char& ch : key)
    if (ch >= 'A' && ch <= 'Z') ch = static_cast<char>(ch - 'A' + 'a');
  return key;
}

}  // namespace

struct JobBoard::Impl {
  struct Job {
    PreparedJob prepared;
    JobControl control;
    // Under the board's mutex.
    JobView view;
    MessageLog messages;
  };
  struct Queue {
    Machine machine;
    std::deque<std::shared_ptr<Job>> waiting;
    std::shared_ptr<Job> current;
    std::condition_variable wake;
    std::thread thread;
    bool removed = false;
    bool exited = false;
    std::optional<std::string> unreachable;
  };

  Options options;
  std::string hostName;
  Session sessions[2];  // the start directory's session in Chinese and in English
  int shopLanguage = 1;  // the start directory's own
  std::atomic<bool> quitting{false};

  mutable std::mutex mutex;  // everything below; never held during a transfer
  std::int64_t nextId = 1;
  std::vector<std::shared_ptr<Queue>> queues;  // in the machine list's order, removed ones too
  std::map<std::int64_t, std::shared_ptr<Job>> jobs;
  std::size_t ended = 0;  // ended jobs among `jobs`

  std::mutex inFlightMutex;  // the in-flight file and its ids
  std::set<std::int64_t> inFlight;

  explicit Impl(Options o) : options(std::move(o)) {
    if (options.libraryDir.empty()) options.libraryDir = (std::filesystem::path(options.startDir) / kLibraryDirName).string();
    hostName = localTransferPlace().host;
    const Session base = startSession(options.startDir);
    shopLanguage = base.language() == 0 ? 0 : 1;
    for (int language = 0; language < 2; ++language) {
      sessions[language] = base;
      sessions[language].settings.language = language;
      sessions[language].catalogue.loadLanguage(base.startDir, language);
    }
  }

  std::string inFlightPath() const { return sessions[1].startDir + kInFlightFileName; }

  // Rewrites the in-flight file with `inFlight` (under inFlightMutex).
  void saveInFlight() {
    std::string text;
    for (const std::int64_t id : inFlight) text += std::to_string(id) + "\n";
    saveFile(inFlightPath(), text);
  }

  void recordBegun(std::int64_t id) {
    std::lock_guard lock(inFlightMutex);
    inFlight.insert(id);
    saveInFlight();
  }
  void recordEnded(std::int64_t id) {
    std::lock_guard lock(inFlightMutex);
    inFlight.erase(id);
    saveInFlight();
  }

  std::shared_ptr<Queue> find(std::string_view name) const {
    const std::string key = nameKey(name);
    for (const auto& queue : queues)
      if (!queue->removed && nameKey(queue->machine.name) == key) return queue;
    return nullptr;
  }

  void start(const std::shared_ptr<Queue>& queue) {
    queue->exited = false;
    queue->thread = std::thread([this, queue] { work(*queue); });
  }

  // Ends a job that never ran (under the mutex).
  void dropWaiting(Job& job) {
    job.view.state = JobState::kStopped;
    job.view.ended = journalNow();
    ++ended;
  }

  // Forgets the oldest ended jobs beyond the bound (under the mutex).
  void trim() {
    for (auto it = jobs.begin(); ended > options.keptJobs && it != jobs.end();) {
      if (jobEnded(it->second->view.state)) {
        it = jobs.erase(it);
        --ended;
      } else {
        ++it;
      }
    }
  }

  JobView viewOf(const Job& job, bool withText) const {
    JobView view = job.view;
    view.messages = job.messages.lines(job.prepared.request.language);
    if (!withText) view.programText.clear();
    return view;
  }

  void work(Queue& queue);
};

void JobBoard::Impl::work(Queue& queue) {
  std::unique_lock lock(mutex);
  for (;;) {
    queue.wake.wait(lock, [&] { return quitting.load() || queue.removed || !queue.waiting.empty(); });
    if (quitting.load() || queue.waiting.empty()) break;
    const std::shared_ptr<Job> job = queue.waiting.front();
    queue.waiting.pop_front();
    queue.current = job;
    job->view.state = JobState::kRunning;
    job->view.started = journalNow();
    const Machine machine = queue.machine;  // a changed machine counts from its next job
    lock.unlock();

    JobPlace place;
    place.session = &sessions[job->prepared.request.language == 0 ? 0 : 1];
    place.libraryDir = options.libraryDir;
    place.journal = options.journal;
    place.hostName = hostName;
    place.recordBegun = [this](std::int64_t id) { recordBegun(id); };
    place.recordEnded = [this](std::int64_t id) { recordEnded(id); };
    ServiceHost::Report report;
    report.message = [this, job](std::string text) {
      std::lock_guard guard(mutex);
      job->messages.add(std::move(text));
    };
    report.progress = [this, job](const ProgressSnapshot& progress) {
      std::lock_guard guard(mutex);
      job->view.progress = progress;
    };
    JobOutcome outcome = runJob(job->prepared, machine, place, std::move(report), job->control, quitting);

    lock.lock();
    JobView& view = job->view;
    view.state = outcome.state;
    view.ended = journalNow();
    view.journalId = outcome.journalId;
    if (job->prepared.request.kind == JobKind::kReceive) view.name = outcome.name;
    view.programText = std::move(outcome.programText);
    view.libraryPath = std::move(outcome.libraryPath);
    view.same = outcome.same;
    queue.current.reset();
    queue.unreachable = std::move(outcome.unreachable);
    ++ended;
    trim();
  }
  // Quitting, or the machine was removed: what still waits never runs.
  for (const auto& job : queue.waiting) dropWaiting(*job);
  queue.waiting.clear();
  queue.exited = true;
}

JobBoard::JobBoard(Options options, std::vector<Machine> machines) : impl_(std::make_unique<Impl>(std::move(options))) {
  setMachines(std::move(machines));
}

JobBoard::~JobBoard() {
  std::vector<std::shared_ptr<Impl::Queue>> queues;
  {
    std::lock_guard lock(impl_->mutex);
    impl_->quitting.store(true);
    for (const auto& queue : impl_->queues) {
      if (queue->current) queue->current->control.request();
      queue->wake.notify_all();
    }
    queues = impl_->queues;
  }
  for (const auto& queue : queues)
    if (queue->thread.joinable()) queue->thread.join();
}

int JobBoard::markInterruptedTransfers() {
  std::lock_guard lock(impl_->inFlightMutex);
  std::string bytes;
  if (readFileChecked(impl_->inFlightPath(), 1u << 20, bytes) != FileError::kNone) return 0;
  int marked = 0;
  const std::string message = fillText(impl_->shopLanguage, kInterrupted, {}, {});
  std::size_t at = 0;
  while (at < bytes.size()) {
    std::size_t end = bytes.find('\n', at);
    if (end == std::string::npos) end = bytes.size();
    const std::string_view line = std::string_view(bytes).substr(at, end - at);
    at = end + 1;
    if (line.empty() || line.find_first_not_of("0123456789") != std::string_view::npos || line.size() > 18) continue;
    const std::int64_t id = std::stoll(std::string(line));
    if (impl_->options.journal && !impl_->inFlight.count(id) && impl_->options.journal->markInterrupted(id, message))
      ++marked;
  }
  impl_->saveInFlight();
  return marked;
}

JobBoard::Submitted JobBoard::submit(JobRequest request) {
  Machine machine;
  {
    std::lock_guard lock(impl_->mutex);
    const auto queue = impl_->find(request.machine);
    if (!queue) return {0, 404, "no machine named " + request.machine};
    machine = queue->machine;
  }
  auto job = std::make_shared<Impl::Job>();
  // The program is read here, outside the lock: a large text takes a while.
  if (auto refusal = prepareJob(std::move(request), machine, job->prepared)) return {0, 400, *refusal};
  const PreparedJob& prepared = job->prepared;
  JobView& view = job->view;
  view.kind = prepared.request.kind;
  view.machine = machine.name;
  view.user = prepared.request.user;
  view.number = prepared.number;
  view.name = bytesToUtf8(prepared.name, prepared.request.language);
  view.created = journalNow();

  std::lock_guard lock(impl_->mutex);
  const auto queue = impl_->find(machine.name);  // removed meanwhile?
  if (!queue || impl_->quitting.load()) return {0, 404, "no machine named " + machine.name};
  if (queue->waiting.size() >= impl_->options.maxQueued)
    return {0, 400, machine.name + " has " + std::to_string(queue->waiting.size()) + " jobs waiting already"};
  view.id = impl_->nextId++;
  view.machine = queue->machine.name;
  impl_->jobs.emplace(view.id, job);
  queue->waiting.push_back(job);
  queue->wake.notify_one();
  return {view.id, 202, {}};
}

std::optional<JobView> JobBoard::job(std::int64_t id) const {
  std::lock_guard lock(impl_->mutex);
  const auto it = impl_->jobs.find(id);
  if (it == impl_->jobs.end()) return std::nullopt;
  return impl_->viewOf(*it->second, true);
}

std::vector<JobView> JobBoard::jobs(std::size_t limit) const {
  std::lock_guard lock(impl_->mutex);
  std::vector<JobView> views;
  for (auto it = impl_->jobs.rbegin(); it != impl_->jobs.rend() && views.size() < limit; ++it)
    views.push_back(impl_->viewOf(*it->second, false));
  return views;
}

JobBoard::StopResult JobBoard::stop(std::int64_t id) {
  std::lock_guard lock(impl_->mutex);
  const auto it = impl_->jobs.find(id);
  if (it == impl_->jobs.end()) return StopResult::kUnknown;
  Impl::Job& job = *it->second;
  if (jobEnded(job.view.state)) return StopResult::kEnded;
  job.control.request();
  if (job.view.state == JobState::kQueued) {
    for (const auto& queue : impl_->queues) {
      auto& waiting = queue->waiting;
      waiting.erase(std::remove(waiting.begin(), waiting.end(), it->second), waiting.end());
    }
    impl_->dropWaiting(job);
    impl_->trim();
  }
  return StopResult::kStopping;
}

std::vector<MachineStatus> JobBoard::machines() const {
  std::lock_guard lock(impl_->mutex);
  std::vector<MachineStatus> list;
  for (const auto& queue : impl_->queues) {
    if (queue->removed) continue;
    MachineStatus status;
    status.machine = queue->machine;
    status.queued = queue->waiting.size();
    if (queue->current) {
      status.activity = MachineActivity::kBusy;
      status.current = impl_->viewOf(*queue->current, false);
    } else if (queue->unreachable) {
      status.activity = MachineActivity::kUnreachable;
      status.problem = *queue->unreachable;
    }
    list.push_back(std::move(status));
  }
  return list;
}

bool JobBoard::hasMachine(std::string_view name) const {
  std::lock_guard lock(impl_->mutex);
  return impl_->find(name) != nullptr;
}

void JobBoard::setMachines(std::vector<Machine> machines) {
  std::vector<std::thread> finished;
  {
    std::lock_guard lock(impl_->mutex);
    if (impl_->quitting.load()) return;
    std::vector<std::shared_ptr<Impl::Queue>> kept;
    for (const auto& queue : impl_->queues) {
      const std::string key = nameKey(queue->machine.name);
      const bool listed = std::any_of(machines.begin(), machines.end(),
                                      [&](const Machine& m) { return nameKey(m.name) == key; });
      if (!listed && !queue->removed) {
        queue->removed = true;
        for (const auto& job : queue->waiting) impl_->dropWaiting(*job);
        queue->waiting.clear();
        queue->wake.notify_all();
      }
      // A removed machine's thread is joined once it has ended; till then it
      // keeps its place, so that the machine added again waits for it.
      if (queue->removed && queue->exited && queue->thread.joinable()) finished.push_back(std::move(queue->thread));
      if (!queue->removed || !queue->exited) kept.push_back(queue);
    }
    impl_->queues = std::move(kept);
    for (Machine& machine : machines) {
      const std::string key = nameKey(machine.name);
      auto it = std::find_if(impl_->queues.begin(), impl_->queues.end(),
                             [&](const auto& queue) { return nameKey(queue->machine.name) == key; });
      if (it == impl_->queues.end()) {
        auto queue = std::make_shared<Impl::Queue>();
        queue->machine = std::move(machine);
        impl_->queues.push_back(queue);
        impl_->start(queue);
        continue;
      }
      Impl::Queue& queue = **it;
      if (queue.machine != machine) queue.unreachable.reset();  // new settings: not known to fail
      queue.machine = std::move(machine);
      queue.removed = false;  // its thread has not ended: it goes on
    }
    impl_->trim();
  }
  for (std::thread& thread : finished) thread.join();
}

}  // namespace qxr
