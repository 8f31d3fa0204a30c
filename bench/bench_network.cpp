// Ports on a serial device server (ser2net on 127.0.0.1): one block-mode
// exchange over RFC 2217 against the same over a pseudo-terminal, and many
// 1000-line sends at once, each by its own qxrtool through one ser2net.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "base/settings.h"
#include "link/comm.h"
#include "link/link.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "support/ser2net.h"

namespace {

using qxr::test::Ser2net;

// One attention frame and its reply in block mode; argument 0: over the
// pseudo-terminal, 1: through ser2net in RFC 2217 mode.
void BM_BlockModeExchangeVia(benchmark::State& state) {
  if (!Ser2net::installed()) return state.SkipWithError(Ser2net::kMissing);
  qxr::test::TempDir dir;
  qxr::Session session = qxr::test::makeTestSession(dir);
  session.settings.transitMode = 1;
  qxr::test::FakeHost host;
  qxr::test::Emulator emulator(dir);
  std::unique_ptr<Ser2net> server;
  if (state.range(0) == 1) {
    server = std::make_unique<Ser2net>(dir, emulator.slavePath());
    host.portIndex = 2;  // COM3, bound to the server
    std::filesystem::create_symlink(server->address(), dir.file("COM3"));
  }
  qxr::TComm port;
  port.SetPortDirectory(session.startDir);
  qxr::Link link(port, session, host, qxr::SystemClock::instance());
  link.ConnectRS232();
  if (!link.portOpen()) return state.SkipWithError("the port did not open");
  for (auto _ : state) {
    if (!link.TransToQXR("$%\r\n") || !link.ReceiveFromQXR(qxr::kReplyLength, 1))
      return state.SkipWithError("exchange failed");
  }
  link.closePort();
}
BENCHMARK(BM_BlockModeExchangeVia)->Arg(0)->Arg(1)->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// N qxrtool processes at once, each sending a 1000-line program in block
// mode to its own emulator through one ser2net. Counters: wall time of the
// whole batch, and processor time (user + system of the qxrtool processes)
// per transfer.
void BM_SimultaneousSends(benchmark::State& state) {
  if (!Ser2net::installed()) return state.SkipWithError(Ser2net::kMissing);
  const int count = static_cast<int>(state.range(0));
  qxr::test::TempDir dir;
  for (const auto& entry : std::filesystem::directory_iterator(qxr::test::dataDir()))
    if (entry.is_regular_file()) std::filesystem::copy_file(entry.path(), dir.file(entry.path().filename()));
  qxr::Settings settings;
  settings.transitMode = 1;
  dir.write("Init.ini", qxr::formatInitIni(settings));
  std::string program = "7\r\nLONG\r\n";
  for (int i = 1; i <= 1000; ++i) program += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + " Y5 F300\r\n";
  dir.write("long.nc", program);
  std::vector<std::unique_ptr<qxr::test::Emulator>> emulators;
  std::string config = "%YAML 1.1\n---\n";
  std::vector<int> ports;
  for (int i = 0; i < count; ++i) {
    qxr::test::EmulatorOptions options;
    options.portName = "ctl" + std::to_string(i);
    emulators.push_back(std::make_unique<qxr::test::Emulator>(dir, options));
    const int port = qxr::test::freeLoopbackPort() ;
    ports.push_back(port);
    config += "connection: &c" + std::to_string(i) + "\n    accepter: telnet(rfc2217),tcp,127.0.0.1," +
              std::to_string(port) + "\n    connector: serialdev," + emulators.back()->slavePath() +
              ",9600n81,local\n";
  }
  dir.write("shop.yaml", config);
  const pid_t server = ::fork();
  if (server == 0) {
    ::execl(Ser2net::binary().c_str(), "ser2net", "-n", "-u", "-c", dir.file("shop.yaml").c_str(), nullptr);
    ::_exit(127);
  }
  for (int i = 0; i < 300 && !qxr::test::loopbackListening(ports.back()); ++i) ::usleep(10000);

  const std::string tool = qxr::test::binDir() + "/tools/qxrtool/qxrtool";
  double cpuSeconds = 0;
  int failures = 0;
  for (auto _ : state) {
    rusage before{}, after{};
    ::getrusage(RUSAGE_CHILDREN, &before);
    std::vector<pid_t> pids;
    for (int i = 0; i < count; ++i) {
      const std::string address = "rfc2217://127.0.0.1:" + std::to_string(ports[i]);
      const pid_t pid = ::fork();
      if (pid == 0) {
        std::freopen("/dev/null", "w", stdout);
        ::execl(tool.c_str(), "qxrtool", "--dir", dir.dir().c_str(), "--port", address.c_str(), "--yes", "nc", "send",
                dir.file("long.nc").c_str(), nullptr);
        ::_exit(127);
      }
      pids.push_back(pid);
    }
    for (pid_t pid : pids) {
      int status = 0;
      ::waitpid(pid, &status, 0);
      if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) ++failures;
    }
    ::getrusage(RUSAGE_CHILDREN, &after);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    cpuSeconds += seconds(after.ru_utime) - seconds(before.ru_utime) + seconds(after.ru_stime) -
                  seconds(before.ru_stime);
  }
  ::kill(server, SIGKILL);
  ::waitpid(server, nullptr, 0);
  if (failures) state.SkipWithError("a send failed");
  state.counters["cpu_ms_per_transfer"] = 1000.0 * cpuSeconds / (static_cast<double>(state.iterations()) * count);
}
BENCHMARK(BM_SimultaneousSends)->Arg(1)->Arg(8)->Arg(32)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace

BENCHMARK_MAIN();
