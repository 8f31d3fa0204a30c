// The progress model of a transfer: count, rate over the recent window, time
// left; and the texts that show them.
#include <gtest/gtest.h>

#include "base/controltexts.h"
#include "base/progress.h"

namespace qxr {
namespace {

struct Step {
  std::uint32_t atMs;
  long done;
  std::uint64_t bytes;
};

struct RateCase {
  const char* what;
  long total;
  std::vector<Step> steps;
  std::uint32_t nowMs;
  double unitsPerSecond;
  long secondsLeft;
  int perMille;
};

TEST(ProgressMeter, RateAndTimeLeft) {
  const std::uint32_t wrap = 0xFFFFF000u;  // the tick wraps during the run
  const RateCase cases[] = {
      {"nothing measured yet", 100, {}, 100, 0, -1, 0},
      {"too short to measure", 100, {{200, 2, 40}}, 300, 0, -1, 20},
      {"steady 4 lines/s", 100, {{1000, 4, 0}, {2000, 8, 0}, {2500, 10, 0}}, 2500, 4, 23, 100},
      {"stalled: the rate falls", 100, {{1000, 10, 0}}, 4000, 2.5, 36, 100},
      {"finished", 10, {{1000, 10, 0}}, 1000, 10, 0, 1000},
      {"a count never goes back", 10, {{1000, 6, 0}, {1500, 3, 0}}, 2000, 3, 2, 600},
      {"unknown total", 0, {{1000, 5, 500}, {2000, 10, 1000}}, 2000, 5, -1, -1},
      // The rate is measured over the last 10 s only: 20 lines in the
      // first second, then 1 line/s.
      {"old samples leave the window",
       1000,
       {{1000, 20, 0}, {5000, 24, 0}, {11000, 30, 0}, {15000, 34, 0}, {21000, 40, 0}},
       21000,
       1.0,
       960,
       40},
  };
  for (const auto& c : cases) {
    for (std::uint32_t base : {0u, wrap}) {
      ProgressMeter meter;
      meter.start(ProgressUnit::kLines, c.total, base);
      for (const Step& s : c.steps) {
        meter.addBytes(s.bytes - (meter.snapshot(base + s.atMs).bytes), base + s.atMs);
        meter.setDone(s.done, base + s.atMs);
      }
      const ProgressSnapshot p = meter.snapshot(base + c.nowMs);
      EXPECT_NEAR(p.unitsPerSecond, c.unitsPerSecond, 0.01) << c.what << " base " << base;
      EXPECT_EQ(p.secondsLeft, c.secondsLeft) << c.what << " base " << base;
      EXPECT_EQ(p.perMille(), c.perMille) << c.what << " base " << base;
      EXPECT_EQ(p.elapsedMs, c.nowMs) << c.what;
    }
  }
}

TEST(ProgressMeter, BytesBothWaysAndRestart) {
  ProgressMeter meter;
  meter.addBytes(10, 0);  // before a start: nothing counted
  EXPECT_FALSE(meter.started());
  meter.start(ProgressUnit::kRecords, 0, 0);
  meter.addBytes(30, 500);
  meter.addBytes(70, 1000);
  ProgressSnapshot p = meter.snapshot(1000);
  EXPECT_EQ(p.bytes, 100u);
  EXPECT_NEAR(p.bytesPerSecond, 100.0, 0.01);
  meter.start(ProgressUnit::kParameters, 5, 2000);
  p = meter.snapshot(2000);
  EXPECT_EQ(p.bytes, 0u);
  EXPECT_EQ(p.done, 0);
  EXPECT_EQ(p.unit, ProgressUnit::kParameters);
}

TEST(ProgressText, ShowsCountRateAndTimeLeft) {
  auto snapshot = [](ProgressUnit unit, long done, long total, std::uint64_t bytes, double rate, long left) {
    ProgressSnapshot p;
    p.unit = unit;
    p.done = done;
    p.total = total;
    p.bytes = bytes;
    p.unitsPerSecond = rate;
    p.bytesPerSecond = rate * 20;
    p.secondsLeft = left;
    return p;
  };
  const struct {
    int language;
    ProgressSnapshot progress;
    const char* text;
  } cases[] = {
      {1, snapshot(ProgressUnit::kLines, 12, 401, 0, 3.44, 114), "Line 12 of 401 · 3.4 lines/s · 1 min 54 s left"},
      {1, snapshot(ProgressUnit::kLines, 0, 401, 0, 0, -1), "Line 0 of 401"},
      {1, snapshot(ProgressUnit::kParameters, 40, 40, 0, 12, 0), "Parameter 40 of 40 · 12 parameters/s"},
      {1, snapshot(ProgressUnit::kRecords, 1, 0, 640, 0, -1), "1 record · 640 B"},
      {1, snapshot(ProgressUnit::kLines, 38, 0, 1234, 3.4, -1), "38 lines · 1.2 kB · 3.4 lines/s"},
      {1, snapshot(ProgressUnit::kLines, 5, 9000, 0, 1, 8995), "Line 5 of 9000 · 1.0 lines/s · 2 h 29 min left"},
      {0, snapshot(ProgressUnit::kLines, 12, 401, 0, 3.44, 114), "第 12 / 401 行 · 3.4 行/s · 剩餘 1 分 54 秒"},
      {0, snapshot(ProgressUnit::kRecords, 3, 0, 2500000, 0, -1), "3 筆記錄 · 2.5 MB"},
  };
  for (const auto& c : cases) EXPECT_EQ(progressText(c.language, c.progress), c.text);
}

TEST(ControlText, FillsSlotsInBothLanguages) {
  EXPECT_EQ(controlText(1, ControlText::kPartialProgram, "05", 12, 401),
            "The controller now holds program 05 only in part (12 of 401 lines).");
  EXPECT_EQ(controlText(2, ControlText::kPartialProgram, "05", 12, 401), "控制器上的程式 05 只有部分內容（12 / 401 行）。");
  EXPECT_EQ(controlText(1, ControlText::kNoPdfViewer, "/a/b.pdf"),
            "No PDF viewer was found to open the manual. The manual is here:\n/a/b.pdf");
  // A path with a slot-like text is taken as it is.
  EXPECT_EQ(controlText(1, ControlText::kNoPdfViewer, "/a/%d%s.pdf").substr(64), "/a/%d%s.pdf");
}

}  // namespace
}  // namespace qxr
