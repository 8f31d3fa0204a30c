// The link over a pseudo-terminal: exchanges per second against the
// controller emulator beside the floor of a bare echo, and the processor
// time that byte pacing costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <atomic>
#include <ctime>
#include <thread>

#include "link/comm.h"
#include "link/link.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "support/ptypeer.h"

namespace {

double processSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double wallSeconds() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

struct LinkSetup {
  LinkSetup() : session(qxr::test::makeTestSession(dir)), emulator(dir), link(port, session, host, qxr::SystemClock::instance()) {
    port.SetPortDirectory(session.startDir);
    link.ConnectRS232();
  }
  qxr::test::TempDir dir;
  qxr::Session session;
  qxr::test::FakeHost host;
  qxr::test::Emulator emulator;
  qxr::TComm port;
  qxr::Link link;
};

// One attention frame and its reply, in block mode, against qxremu.
void BM_BlockModeExchange(benchmark::State& state) {
  LinkSetup setup;
  setup.session.settings.transitMode = 1;
  if (!setup.link.portOpen()) {
    state.SkipWithError("the emulator's port did not open");
    return;
  }
  for (auto _ : state) {
    if (!setup.link.TransToQXR("$%\r\n") || !setup.link.ReceiveFromQXR(qxr::kReplyLength, 1)) {
      state.SkipWithError("exchange failed");
      break;
    }
  }
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_BlockModeExchange)->UseRealTime()->Unit(benchmark::kMicrosecond);

// The floor: four bytes out and the same four back over a bare pair, an
// echo thread on the far side, one write and byte reads as the link does.
void BM_BareEchoFloor(benchmark::State& state) {
  qxr::test::PtyPair pty;
  const int near = ::open(pty.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  std::atomic<bool> stop{false};
  std::thread echo([&] {
    char chunk[64];
    while (!stop) {
      pollfd pfd{pty.master(), POLLIN, 0};
      if (::poll(&pfd, 1, 20) <= 0) continue;
      const ssize_t n = ::read(pty.master(), chunk, sizeof chunk);
      if (n > 0) [[maybe_unused]] auto written = ::write(pty.master(), chunk, static_cast<std::size_t>(n));
    }
  });
  for (auto _ : state) {
    [[maybe_unused]] auto written = ::write(near, "$%\r\n", 4);
    int got = 0;
    while (got < 4) {
      pollfd pfd{near, POLLIN, 0};
      ::poll(&pfd, 1, 1000);
      char byte;
      if (::read(near, &byte, 1) == 1) ++got;
    }
  }
  stop = true;
  echo.join();
  ::close(near);
  state.SetItemsProcessed(static_cast<std::int64_t>(state.iterations()));
}
BENCHMARK(BM_BareEchoFloor)->UseRealTime()->Unit(benchmark::kMicrosecond);

// A 40-byte program line in byte mode with the default 10 ms pacing: the
// processor share of this process while it sends (should be a few per cent).
void BM_ByteModeSendCpu(benchmark::State& state) {
  LinkSetup setup;
  setup.session.settings.transitMode = 0;
  setup.session.settings.bytePacingMs = 10;
  if (!setup.link.portOpen()) {
    state.SkipWithError("the emulator's port did not open");
    return;
  }
  // Open a program store, so that each line is acknowledged.
  setup.session.settings.transitMode = 1;
  for (const char* frame : {"$%\r\n", "$S\r\n", "01\r\n", "BENCH   \r\n"}) {
    setup.link.TransToQXR(frame);
    setup.link.ReceiveFromQXR(qxr::kReplyLength, 0);
  }
  setup.session.settings.transitMode = 0;
  const std::string line = "N1 G01 X123.456 Y-78.9 Z0.5 F1200 S300\r\n";
  double cpu = 0, wall = 0;
  for (auto _ : state) {
    const double cpuStart = processSeconds(), wallStart = wallSeconds();
    if (!setup.link.TransToQXR(line) || !setup.link.ReceiveFromQXR(qxr::kReplyLength, 1)) {
      state.SkipWithError("exchange failed");
      break;
    }
    cpu += processSeconds() - cpuStart;
    wall += wallSeconds() - wallStart;
  }
  state.counters["cpu_percent"] = wall > 0 ? 100.0 * cpu / wall : 0.0;
}
BENCHMARK(BM_ByteModeSendCpu)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
