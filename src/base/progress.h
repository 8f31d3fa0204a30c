#pragma once
// How far a transfer has come: the count of units (program lines,
// parameters, PLC records) and bytes so far, the rate measured over the last
// seconds, and the time left at that rate. No clock of its own: every call
// passes the millisecond tick, so it is tested with made-up times.
#include <cstdint>
#include <deque>
#include <string>

namespace qxr {

enum class ProgressUnit { kLines, kParameters, kRecords };

struct ProgressSnapshot {
  ProgressUnit unit = ProgressUnit::kLines;
  long done = 0;
  long total = 0;                 // 0: not known (a receive)
  std::uint64_t bytes = 0;        // both directions
  double unitsPerSecond = 0;      // 0 until measured
  double bytesPerSecond = 0;
  long secondsLeft = -1;          // -1: not known
  std::uint32_t elapsedMs = 0;
  // The share done in per mille, -1 when the total is not known.
  int perMille() const;
};

class ProgressMeter {
 public:
  // The rate is measured over this much of the most recent time.
  static constexpr std::uint32_t kWindowMs = 10000;

  // Starts a new count.
  void start(ProgressUnit unit, long total, std::uint32_t nowMs);
  bool started() const { return started_; }
  ProgressUnit unit() const { return unit_; }
  long total() const { return total_; }
  long done() const { return done_; }
  // Units done so far (never goes back) and bytes moved since the last call.
  void setDone(long done, std::uint32_t nowMs);
  void addBytes(std::uint64_t bytes, std::uint32_t nowMs);
  ProgressSnapshot snapshot(std::uint32_t nowMs) const;
  void reset() { *this = ProgressMeter(); }

 private:
  struct Sample {
    std::uint32_t atMs;
    long done;
    std::uint64_t bytes;
  };
  void addSample(std::uint32_t nowMs);

  bool started_ = false;
  ProgressUnit unit_ = ProgressUnit::kLines;
  long total_ = 0;
  long done_ = 0;
  std::uint64_t bytes_ = 0;
  std::uint32_t startMs_ = 0;
  std::deque<Sample> samples_;
};

// "Line 12 of 401 · 3.4 lines/s · 1 min 55 s left", or for an unknown
// total "38 lines · 1.2 kB · 3.4 lines/s"; English for language 1,
// Traditional Chinese otherwise (UTF-8).
std::string progressText(int language, const ProgressSnapshot& progress);
// "1 h 02 min", "3 min 05 s", "42 s".
std::string durationText(int language, long seconds);

}  // namespace qxr
