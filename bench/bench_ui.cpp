// The main window, offscreen: the start to the window shown (without the
// splash's fixed second of waiting), a 6000-line program read into the program editor
// through ReadFileBtnClick, block exchanges through the window's own link
// with its event processing, and the peak memory of each stage.
//
// The first start and the first read are measured once, before the repeated
// benchmarks, as a fresh process meets them; they are then reported as
// single-iteration benchmarks beside the warm figures.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QToolButton>
#include <QWindow>
#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <sstream>
#include <string>

#include "app/filewindows.h"
#include "app/mainform.h"
#include "app/msgdlg.h"
#include "app/splash.h"
#include "app/transferbar.h"
#include "link/link.h"
#include "measure.h"
#include "support/emulator.h"
#include "support/tempdir.h"

namespace {

using qxr::TMainForm;
using qxr::bench::peakRssMiB;
using qxr::bench::secondsSince;
using qxr::bench::Steady;

constexpr int kProgramLines = 6000;

// A start directory as `make run` prepares it: the shipped data, the
// settings with the emulator's port (COM2) and block mode, and the program.
// language: 1 English (as shipped), 0 Chinese (Big5 text, the CJK font).
struct StartDirectory {
  qxr::test::TempDir dir;
  explicit StartDirectory(int language) {
    for (const auto& entry : std::filesystem::directory_iterator(qxr::test::dataDir()))
      if (entry.is_regular_file())
        std::filesystem::copy_file(entry.path(), dir.file(entry.path().filename()));
    dir.write("Customer.ini", "Language  = " + std::to_string(language) + "\r\nBaud rate = 4\r\n");
    dir.write("Init.ini",
              "Time Out Timer    = 1000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\n"
              "Transit mode      = 1\r\nDefault COM       = 1\r\nPLC Transit Delay = 5\r\n"
              "MAX COM Port      = 8\r\n");
    std::string program = "7\r\nPART1\r\n";
    for (int i = 1; i <= kProgramLines; ++i) {
      if (i % 50 == 25) continue;  // a few empty editor lines, filled on reading
      program += 'N';
      program.append(std::to_string(i)).append(" G01 X").append(std::to_string(i * 3 % 997));
      program.append(".125 Y-").append(std::to_string(i % 313)).append(".5 Z2.0 F1200\r\n");
    }
    dir.write("big.nc", program);
  }
};

StartDirectory* starts[2] = {nullptr, nullptr};  // by language
StartDirectory* start = nullptr;                 // English, as shipped

// Shows the window and returns once it is exposed and painted.
void showAndSettle(QWidget& window) {
  window.show();
  const auto deadline = Steady::now() + std::chrono::seconds(5);
  while (!(window.windowHandle() && window.windowHandle()->isExposed()) && Steady::now() < deadline)
    QApplication::processEvents();
  QApplication::processEvents();
}

// The open-file window answers with big.nc from the start directory.
struct ChooseBigProgram {
  explicit ChooseBigProgram(const StartDirectory& from) {
    previous = qxr::setFileWindowHook([dir = from.dir.dir()](QDialog& window) {
      auto& files = static_cast<qxr::TFileWindowBase&>(window);
      files.setDirectory(dir);
      files.FileEdit->setText("big.nc");
      static_cast<qxr::TOpenFileForm&>(window).OpenOKBtn->click();
    });
  }
  ~ChooseBigProgram() { qxr::setFileWindowHook(previous); }
  qxr::FileWindowHook previous;
};

// ReadFileBtnClick as the button runs it, and the events it leaves behind
// (layout and the first paint of the filled editor).
bool readBigProgram(TMainForm& form) {
  form.ReadFileBtnClick();
  QApplication::processEvents();
  return form.program->ProgramMemo->document()->blockCount() > kProgramLines - 1;
}

// The time since the process was started, to the kernel's clock tick
// (10 ms): what loading the program and its libraries took before main().
double secondsSinceProcessStart() {
  std::ifstream stat("/proc/self/stat");
  std::string text((std::istreambuf_iterator<char>(stat)), std::istreambuf_iterator<char>());
  const auto afterName = text.rfind(')');
  if (afterName == std::string::npos) return 0;
  std::istringstream fields(text.substr(afterName + 2));
  std::string field;
  for (int i = 3; i < 22 && fields >> field; ++i) {
  }
  unsigned long long startTicks = 0;
  if (!(fields >> startTicks)) return 0;
  timespec now{};
  ::clock_gettime(CLOCK_BOOTTIME, &now);
  const double nowSeconds = static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
  return nowSeconds - static_cast<double>(startTicks) / static_cast<double>(::sysconf(_SC_CLK_TCK));
}

struct FirstRun {
  double beforeMainSeconds = 0;
  double startSeconds = 0, startPeakMiB = 0;
  double readSeconds = 0, readPeakMiB = 0;
  bool readOk = false;
} first;

void BM_StartToWindowShown(benchmark::State& state) {
  for (auto _ : state) state.SetIterationTime(first.startSeconds);
  state.counters["peak_rss_MiB"] = first.startPeakMiB;
  state.counters["before_main_ms"] = first.beforeMainSeconds * 1e3;
}
BENCHMARK(BM_StartToWindowShown)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_FirstReadIntoEditor(benchmark::State& state) {
  if (!first.readOk) state.SkipWithError("the program did not reach the editor");
  for (auto _ : state) state.SetIterationTime(first.readSeconds);
  state.counters["peak_rss_MiB"] = first.readPeakMiB;
}
BENCHMARK(BM_FirstReadIntoEditor)->UseManualTime()->Iterations(1)->Unit(benchmark::kMillisecond);

// Another main window in the same process: construction to shown.
void BM_MainFormShown(benchmark::State& state) {
  for (auto _ : state) {
    auto started = Steady::now();
    auto form = std::make_unique<TMainForm>(start->dir.dir());
    showAndSettle(*form);
    state.SetIterationTime(secondsSince(started));
    form.reset();
    QApplication::processEvents();
  }
}
BENCHMARK(BM_MainFormShown)->UseManualTime()->Unit(benchmark::kMillisecond);

// The program read again and again. Arguments: the language (1 English,
// 0 Chinese), then 0 into an emptied editor or 1 over the 6000 lines of the
// previous read.
void BM_ReadIntoEditor(benchmark::State& state) {
  const StartDirectory& from = *starts[state.range(0)];
  TMainForm form(from.dir.dir());
  showAndSettle(form);
  ChooseBigProgram choose(from);
  readBigProgram(form);
  for (auto _ : state) {
    if (state.range(1) == 0) {
      form.program->ProgramMemo->clear();
      QApplication::processEvents();
    }
    auto started = Steady::now();
    if (!readBigProgram(form)) {
      state.SkipWithError("the program did not reach the editor");
      return;
    }
    state.SetIterationTime(secondsSince(started));
  }
  state.counters["peak_rss_MiB"] = peakRssMiB();
}
BENCHMARK(BM_ReadIntoEditor)
    ->Args({1, 0})
    ->Args({1, 1})
    ->Args({0, 0})
    ->Args({0, 1})
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

// The attention exchange through the window's link: every wait processes
// the window's events as it does while an operation runs.
void BM_WindowBlockExchange(benchmark::State& state) {
  qxr::test::Emulator emulator(start->dir);
  qxr::test::TempDir floorDir;
  qxr::test::Emulator floorEmulator(floorDir);
  qxr::bench::BareEcho floor(floorEmulator.slavePath());
  TMainForm form(start->dir.dir());
  showAndSettle(form);
  qxr::Link& link = form.link();
  link.ConnectRS232();
  if (!link.portOpen() || !floor.ok()) {
    state.SkipWithError("the emulator's port did not open");
    return;
  }
  qxr::bench::alternate(
      state, floor, [&] { return link.TransToQXR("$%\r\n") && link.ReceiveFromQXR(qxr::kReplyLength, 1); });
  link.closePort();
}
BENCHMARK(BM_WindowBlockExchange)->UseManualTime()->Unit(benchmark::kMicrosecond)->MinTime(2.0);

// The paced byte-mode send through the window's link.
void BM_WindowByteModeSendCpu(benchmark::State& state) {
  qxr::test::Emulator emulator(start->dir);
  TMainForm form(start->dir.dir());
  showAndSettle(form);
  qxr::Link& link = form.link();
  link.ConnectRS232();
  if (!link.portOpen()) {
    state.SkipWithError("the emulator's port did not open");
    return;
  }
  qxr::bench::pacedSendShare(state, link);
  link.closePort();
}
BENCHMARK(BM_WindowByteModeSendCpu)->UseRealTime()->Unit(benchmark::kMillisecond)->Iterations(5);

// A block-mode send of 300 lines at 9600 bit/s against `qxremu --baud
// 9600`, its lines in blocks of 20 that take turns: nothing open, the about
// box open, the close question shown in the page's strip. Taking turns
// spreads the shared machine's changing load over the three alike. The
// line rate of each as bytes on the wire per second (both ways), the last
// two against the first, and how soon the window's event loop answers over
// the whole send: the lateness of a 10 ms timer, 99th percentile and worst.
void BM_SendWithWindowsOpen(benchmark::State& state) {
  constexpr int kLines = 300;
  constexpr std::size_t kFirst = 20, kBlock = 20, kLast = 280;
  enum Shown { kNothing, kAbout, kQuestion };
  qxr::test::EmulatorOptions options;
  options.baud = 9600;
  const auto previousHook = qxr::setMessageDialogHook([](QDialog&) { return int(qxr::mrOk); });
  for (auto _ : state) {
    qxr::test::Emulator emulator(start->dir, options);
    TMainForm form(start->dir.dir());
    showAndSettle(form);
    QString text;
    for (int n = 1; n <= kLines; ++n)
      text += QStringLiteral("G01 X%1.250 Y-%2.500 F1200\n").arg(n % 400).arg(n % 250);
    form.program->ProgramMemo->setPlainText(text);
    form.program->ProgNoEdit->setValue(7);
    qxr::TransferBar* bar = form.transferBar(qxr::kProgramPage);

    std::vector<double> lateMs;
    double seconds[3] = {}, lines[3] = {};
    bool seen[3] = {true, false, false};
    int shown = -1;
    std::size_t blockStart = 0;
    const auto began = Steady::now();
    auto last = began, blockBegan = began;
    auto show = [&](int what) {
      if (auto* about = form.findChild<QDialog*>("SplashForm"); about && what != kAbout) about->close();
      if (what != kQuestion && bar->quitQuestion()->isVisible()) bar->keepGoingButton()->click();
      if (what == kAbout) form.program->VersionBtn->click();
      if (what == kQuestion) form.close();  // the question shows in the page's strip
      shown = what;
    };
    QTimer tick;
    tick.setTimerType(Qt::PreciseTimer);
    tick.setInterval(10);
    QObject::connect(&tick, &QTimer::timeout, &form, [&] {
      const auto now = Steady::now();
      lateMs.push_back(std::chrono::duration<double, std::milli>(now - last).count() - 10.0);
      last = now;
      const std::size_t done = form.link().progress().done();
      if (shown == kAbout) seen[kAbout] = seen[kAbout] || form.findChild<QDialog*>("SplashForm")->isVisible();
      if (shown == kQuestion) seen[kQuestion] = seen[kQuestion] || bar->quitQuestion()->isVisible();
      if (shown == -2 || done < kFirst || (shown >= 0 && done < blockStart + kBlock)) return;
      if (shown >= 0) {
        seconds[shown] += std::chrono::duration<double>(now - blockBegan).count();
        lines[shown] += static_cast<double>(done - blockStart);
      }
      if (done >= kLast) {
        show(kNothing);
        shown = -2;  // measured to the end of the last block
        return;
      }
      show(shown < 0 ? kNothing : (shown + 1) % 3);
      blockStart = done;
      blockBegan = now;
    });
    tick.start();
    form.program->TransBtn->click();
    tick.stop();
    double bytes = 0;
    for (const auto& f : emulator.framesIn()) bytes += static_cast<double>(f.size());
    for (const auto& r : emulator.repliesOut()) bytes += static_cast<double>(r.size());
    // The bytes of one program line's exchange, on average over the send.
    const double bytesPerLine = bytes / (kLines + 4.0);
    double rate[3] = {};
    for (int s = 0; s < 3; ++s) rate[s] = seconds[s] > 0 ? lines[s] * bytesPerLine / seconds[s] : 0;
    if (rate[0] <= 0 || !seen[kAbout] || !seen[kQuestion]) {
      state.SkipWithError("the about box or the close question did not show, or the send did not run");
      break;
    }
    std::sort(lateMs.begin(), lateMs.end());
    state.SetIterationTime(secondsSince(began));
    state.counters["bytes_per_s_plain"] = rate[kNothing];
    state.counters["bytes_per_s_about"] = rate[kAbout];
    state.counters["bytes_per_s_question"] = rate[kQuestion];
    state.counters["about_vs_plain_pct"] = 100.0 * (rate[kAbout] / rate[kNothing] - 1.0);
    state.counters["question_vs_plain_pct"] = 100.0 * (rate[kQuestion] / rate[kNothing] - 1.0);
    state.counters["loop_p99_ms"] = std::max(0.0, lateMs[lateMs.size() * 99 / 100]);
    state.counters["loop_max_ms"] = std::max(0.0, lateMs.back());
  }
  qxr::setMessageDialogHook(previousHook);
}
BENCHMARK(BM_SendWithWindowsOpen)->UseManualTime()->Iterations(1)->Unit(benchmark::kSecond);

}  // namespace

int main(int argc, char** argv) {
  const double beforeMain = secondsSinceProcessStart();
  ::setenv("QT_QPA_PLATFORM", "offscreen", 0);
  StartDirectory english(1), chinese(0);
  start = starts[1] = &english;
  starts[0] = &chinese;

  // What main() of the program does, less the splash's second of waiting:
  // the application, the splash shown and painted, the main window built
  // and shown, the splash gone.
  auto started = Steady::now();
  QApplication app(argc, argv);
  app.setApplicationName("qxrtrans");
  {
    auto* splash = new qxr::TSplashForm(false, QString(), qxr::splashLanguage(english.dir.dir()));
    splash->show();
    splash->repaint();
    QApplication::processEvents();
    TMainForm form(english.dir.dir());
    delete splash;
    showAndSettle(form);
    first.startSeconds = secondsSince(started);
    first.beforeMainSeconds = beforeMain;
    first.startPeakMiB = peakRssMiB();

    ChooseBigProgram choose(english);
    started = Steady::now();
    first.readOk = readBigProgram(form);
    first.readSeconds = secondsSince(started);
    first.readPeakMiB = peakRssMiB();
  }
  QApplication::processEvents();

  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
