#pragma once
// Texts of the tool-path preview, which the message catalogue has no lines
// for. English for language 1, Traditional Chinese otherwise; UTF-8.
#include <string>
#include <string_view>

namespace qxr {

enum class PreviewText {
  kPreview,     // the view, the button and the window
  kAnimation,   // the simulator's animated plot
  kFit,
  kGrid,        // %s spacing
  kSkipped,     // %d line, %s word
  kCutOff,      // %d moves
  kMoves,       // %d moves
  kNoMoves,
  kWindowTitle,
  kPlaneTip,
  kFitTip,
  kHelp,
  kClose,
  kRunCutOff,   // %d steps, %s the image not written
};

// The text for a language with %s filled by `s` and %d by `n`.
std::string previewText(int language, PreviewText text, std::string_view s = {}, long n = 0);

}  // namespace qxr
