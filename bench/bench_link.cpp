// The link over a pseudo-terminal: exchanges per second against the
// controller emulator beside the floor of a bare echo, and the processor
// time that byte pacing costs.
#include <benchmark/benchmark.h>

#include "link/comm.h"
#include "link/link.h"
#include "measure.h"
#include "support/emulator.h"
#include "support/fakehost.h"

namespace {

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

// One attention frame and its reply, in block mode, against qxremu, timed in
// alternation with the floor: the same frame and its echo through a second
// emulator over a bare descriptor. The overhead counter is the software's
// share: exchange time / floor time (medians).
void BM_BlockModeExchange(benchmark::State& state) {
  LinkSetup setup;
  setup.session.settings.transitMode = 1;
  qxr::test::TempDir floorDir;
  qxr::test::Emulator floorEmulator(floorDir);
  qxr::bench::BareEcho floor(floorEmulator.slavePath());
  if (!setup.link.portOpen() || !floor.ok()) {
    state.SkipWithError("the emulator's port did not open");
    return;
  }
  qxr::bench::alternate(state, floor, [&] {
    return setup.link.TransToQXR("$%\r\n") && setup.link.ReceiveFromQXR(qxr::kReplyLength, 1);
  });
}
BENCHMARK(BM_BlockModeExchange)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// A 40-byte program line in byte mode with the default 10 ms pacing: the
// processor share of this process while it sends (should be a few per cent).
void BM_ByteModeSendCpu(benchmark::State& state) {
  LinkSetup setup;
  if (!setup.link.portOpen()) {
    state.SkipWithError("the emulator's port did not open");
    return;
  }
  qxr::bench::pacedSendShare(state, setup.link);
}
BENCHMARK(BM_ByteModeSendCpu)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

}  // namespace

BENCHMARK_MAIN();
