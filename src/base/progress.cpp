#include "base/progress.h"

#include <cmath>
#include <cstdio>

#include "base/language.h"

namespace qxr {

namespace {

// Below this much measured time a rate says nothing yet.
constexpr std::uint32_t kMinimumMeasureMs = 500;

bool english(int language) { return languageFromIndex(language) == Language::kEnglish; }

const char* unitName(int language, ProgressUnit unit, bool plural) {
  if (!english(language)) {
    switch (unit) {
      case ProgressUnit::kLines: return "行";
      case ProgressUnit::kParameters: return "個參數";
      case ProgressUnit::kRecords: return "筆記錄";
    }
  }
  switch (unit) {
    case ProgressUnit::kLines: return plural ? "lines" : "line";
    case ProgressUnit::kParameters: return plural ? "parameters" : "parameter";
    case ProgressUnit::kRecords: return plural ? "records" : "record";
  }
  return "";
}

std::string format(const char* pattern, double a) {
  char text[64];
  std::snprintf(text, sizeof text, pattern, a);
  return text;
}

std::string bytesText(std::uint64_t bytes) {
  if (bytes < 1000) return std::to_string(bytes) + " B";
  if (bytes < 1000000) return format("%.1f kB", static_cast<double>(bytes) / 1000.0);
  return format("%.1f MB", static_cast<double>(bytes) / 1000000.0);
}

std::string rateText(int language, double rate, ProgressUnit unit) {
  const char* pattern = rate < 10 ? "%.1f" : "%.0f";
  return format(pattern, rate) + " " + unitName(language, unit, true) + "/s";
}

}  // namespace

int ProgressSnapshot::perMille() const {
  if (total <= 0) return -1;
  if (done >= total) return 1000;
  if (done <= 0) return 0;
  return static_cast<int>(done * 1000 / total);
}

void ProgressMeter::start(ProgressUnit unit, long total, std::uint32_t nowMs) {
  reset();
  started_ = true;
  unit_ = unit;
  total_ = total > 0 ? total : 0;
  startMs_ = nowMs;
  samples_.push_back({nowMs, 0, 0});
}

void ProgressMeter::setDone(long done, std::uint32_t nowMs) {
  if (!started_) return;
  if (done > done_) done_ = done;
  addSample(nowMs);
}

void ProgressMeter::addBytes(std::uint64_t bytes, std::uint32_t nowMs) {
  if (!started_ || bytes == 0) return;
  bytes_ += bytes;
  addSample(nowMs);
}

// Keeps the samples of the last kWindowMs plus the one just before them, the
// point the rate is measured from.
void ProgressMeter::addSample(std::uint32_t nowMs) {
  samples_.push_back({nowMs, done_, bytes_});
  while (samples_.size() > 2 && static_cast<std::uint32_t>(nowMs - samples_[1].atMs) >= kWindowMs)
    samples_.pop_front();
}

ProgressSnapshot ProgressMeter::snapshot(std::uint32_t nowMs) const {
  ProgressSnapshot s;
  s.unit = unit_;
  s.done = done_;
  s.total = total_;
  s.bytes = bytes_;
  if (!started_) return s;
  s.elapsedMs = static_cast<std::uint32_t>(nowMs - startMs_);
  const Sample& from = samples_.front();
  const std::uint32_t spanMs = static_cast<std::uint32_t>(nowMs - from.atMs);
  if (spanMs >= kMinimumMeasureMs) {
    const double seconds = spanMs / 1000.0;
    s.unitsPerSecond = static_cast<double>(done_ - from.done) / seconds;
    s.bytesPerSecond = static_cast<double>(bytes_ - from.bytes) / seconds;
  }
  if (total_ > 0 && s.unitsPerSecond > 0) {
    const long left = total_ > done_ ? total_ - done_ : 0;
    s.secondsLeft = static_cast<long>(std::ceil(static_cast<double>(left) / s.unitsPerSecond));
  } else if (total_ > 0 && done_ >= total_) {
    s.secondsLeft = 0;
  }
  return s;
}

std::string durationText(int language, long seconds) {
  if (seconds < 0) seconds = 0;
  char text[64];
  const bool en = english(language);
  if (seconds >= 3600) {
    std::snprintf(text, sizeof text, en ? "%ld h %02ld min" : "%ld 小時 %02ld 分", seconds / 3600,
                  (seconds % 3600) / 60);
  } else if (seconds >= 60) {
    std::snprintf(text, sizeof text, en ? "%ld min %02ld s" : "%ld 分 %02ld 秒", seconds / 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, en ? "%ld s" : "%ld 秒", seconds);
  }
  return text;
}

std::string progressText(int language, const ProgressSnapshot& p) {
  const bool en = english(language);
  std::string text;
  const char* separator = " \xC2\xB7 ";  // a middle dot
  if (p.total > 0) {
    if (en) {
      std::string unit = unitName(language, p.unit, false);
      unit[0] = static_cast<char>(unit[0] - 'a' + 'A');
      text = unit + " " + std::to_string(p.done) + " of " + std::to_string(p.total);
    } else {
      text = "第 " + std::to_string(p.done) + " / " + std::to_string(p.total) + " " + unitName(language, p.unit, true);
    }
  } else {
    text = std::to_string(p.done) + " " + unitName(language, p.unit, p.done != 1);
    text += separator + bytesText(p.bytes);
  }
  if (p.unitsPerSecond > 0) {
    text += separator + rateText(language, p.unitsPerSecond, p.unit);
  } else if (p.total <= 0 && p.bytesPerSecond > 0) {
    text += separator + format(p.bytesPerSecond < 10 ? "%.1f" : "%.0f", p.bytesPerSecond) + " B/s";
  }
  if (p.total > 0 && p.secondsLeft >= 0 && p.done < p.total)
    text += separator + (en ? durationText(language, p.secondsLeft) + " left"
                            : "剩餘 " + durationText(language, p.secondsLeft));
  return text;
}

}  // namespace qxr
