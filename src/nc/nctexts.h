#pragma once
// Texts of the NC program operations that the message catalogue has no line
// for: failures it leaves unreported and the progress of long transfers.
// English for language 1, Traditional Chinese otherwise; UTF-8 like the
// catalogue.
#include <string>
#include <string_view>

namespace qxr {

enum class NcText {
  kCannotOpenFile,    // %s path
  kCannotWriteFile,   // %s path
  kNoNumberLine,
  kNoNameLine,
  kGapNotFilled,      // %d file line
  kSendProgress,      // %d line, %d count
  kReceiveProgress,   // %d lines
  kBatchProgress,     // %d program, %d count
  kTooManyFiles,      // %d limit
  kBadPrefix,         // %s prefix
  kBatchFileRefused,  // %s path
  kBatchFileChanged,  // %s path
  kReadManySummary,   // %d read, %d absent, %d failed or not reached
  kWriteManySummary,  // %d sent, %d failed or not reached
};

// The text for a language with its slots filled; `s` fills %s, `a` to `c` the
// %d slots in order.
std::string ncText(int language, NcText text, std::string_view s = {}, long a = 0, long b = 0, long c = 0);

}  // namespace qxr
