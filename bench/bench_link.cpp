// The link over a pseudo-terminal: exchanges per second against the
// controller emulator beside the floor of a bare echo, and the processor
// time that byte pacing costs.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <ctime>

#include "link/comm.h"
#include "link/link.h"
#include "support/emulator.h"
#include "support/fakehost.h"

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

// The floor: the same attention frame and its echo through the same
// emulator, with a bare descriptor in raw mode (one write, reads as bytes
// come) and none of the component or the link around it.
void BM_BareEchoFloor(benchmark::State& state) {
  qxr::test::TempDir dir;
  qxr::test::Emulator emulator(dir);
  const int fd = ::open(emulator.slavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  if (fd < 0) {
    state.SkipWithError("cannot open the emulator's terminal");
    return;
  }
  for (auto _ : state) {
    [[maybe_unused]] auto written = ::write(fd, "$%\r\n", 4);
    char last = 0;
    while (last != '\n') {
      pollfd pfd{fd, POLLIN, 0};
      ::poll(&pfd, 1, 1000);
      char chunk[16];
      const ssize_t n = ::read(fd, chunk, sizeof chunk);
      if (n > 0) last = chunk[n - 1];
    }
  }
  ::close(fd);
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
