#pragma once
// What the benchmark programs share: wall time, medians, the peak resident
// set, and the floor of an exchange with the measurement in alternation
// (each round times one exchange of the code under test and then one bare
// echo through a second emulator, so both see the same load of the machine;
// the medians of the rounds and their ratio are reported, and a busy moment
// moves both alike).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <string>
#include <vector>

#include "link/link.h"

namespace qxr::bench {

using Steady = std::chrono::steady_clock;

inline double secondsSince(Steady::time_point start) {
  return std::chrono::duration<double>(Steady::now() - start).count();
}

inline double median(std::vector<double> values) {
  if (values.empty()) return 0;
  const auto middle = values.begin() + static_cast<long>(values.size() / 2);
  std::nth_element(values.begin(), middle, values.end());
  return *middle;
}

// Processor time of this process, all its threads.
inline double processSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

// The largest resident set of this process so far, in MiB.
inline double peakRssMiB() {
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / 1024.0;
}

// The floor of one exchange: the attention frame written to a bare
// descriptor in raw mode (one write) and its echo read as the bytes come,
// with nothing of the port component or the link around it.
class BareEcho {
 public:
  explicit BareEcho(const std::string& terminalPath)
      : fd_(::open(terminalPath.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK)) {}
  ~BareEcho() {
    if (fd_ >= 0) ::close(fd_);
  }
  BareEcho(const BareEcho&) = delete;
  BareEcho& operator=(const BareEcho&) = delete;
  bool ok() const { return fd_ >= 0; }

  bool exchange() {
    if (::write(fd_, "$%\r\n", 4) != 4) return false;
    char last = 0;
    while (last != '\n') {
      pollfd pfd{fd_, POLLIN, 0};
      if (::poll(&pfd, 1, 1000) <= 0) return false;
      char chunk[16];
      const ssize_t n = ::read(fd_, chunk, sizeof chunk);
      if (n > 0) last = chunk[n - 1];
    }
    return true;
  }

 private:
  int fd_;
};

// Runs `exchange` and the bare echo in alternation for the benchmark's
// iterations. The iteration time is the exchange's (manual time); counters:
// exchange_us and floor_us (medians) and overhead (their ratio).
template <typename Exchange>
void alternate(benchmark::State& state, BareEcho& floor, Exchange exchange) {
  std::vector<double> exchanges, floors;
  for (auto _ : state) {
    auto start = Steady::now();
    if (!exchange()) {
      state.SkipWithError("exchange failed");
      return;
    }
    const double exchangeSeconds = secondsSince(start);
    state.SetIterationTime(exchangeSeconds);
    exchanges.push_back(exchangeSeconds);
    start = Steady::now();
    if (!floor.exchange()) {
      state.SkipWithError("bare echo failed");
      return;
    }
    floors.push_back(secondsSince(start));
  }
  const double exchangeMedian = median(exchanges), floorMedian = median(floors);
  state.counters["exchange_us"] = exchangeMedian * 1e6;
  state.counters["floor_us"] = floorMedian * 1e6;
  state.counters["overhead"] = floorMedian > 0 ? exchangeMedian / floorMedian : 0;
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}

// A 40-byte program line sent in byte mode with the default 10 ms pacing
// into an open program store (each line acknowledged), once per iteration;
// counter cpu_percent: the processor time of this process (every thread:
// the caller's, the port's event thread) as a share of the wall time.
inline void pacedSendShare(benchmark::State& state, Link& link) {
  Settings& settings = link.session().settings;
  settings.transitMode = 1;
  for (const char* frame : {"$%\r\n", "$S\r\n", "01\r\n", "BENCH   \r\n"}) {
    link.TransToQXR(frame);
    link.ReceiveFromQXR(kReplyLength, 0);
  }
  settings.transitMode = 0;
  settings.bytePacingMs = 10;
  const std::string line = "N1 G01 X123.456 Y-78.9 Z0.5 F1200 S300\r\n";
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpuStart = processSeconds();
    const auto wallStart = Steady::now();
    if (!link.TransToQXR(line) || !link.ReceiveFromQXR(kReplyLength, 1)) {
      state.SkipWithError("exchange failed");
      break;
    }
    cpu += processSeconds() - cpuStart;
    wall += secondsSince(wallStart);
  }
  state.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0.0;
}

}  // namespace qxr::bench
