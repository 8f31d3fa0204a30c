#pragma once
// Texts about the operator's control of the program: stopping a transfer,
// unsaved work, quitting while a transfer runs, the manual. The message
// catalogue has no lines for them. English for language 1, Traditional
// Chinese otherwise; UTF-8 like the catalogue.
#include <string>
#include <string_view>

namespace qxr {

enum class ControlText {
  kStopButton,            // the button's caption
  kStopTip,               // its tooltip
  kStopped,               // the page line after a stop
  kPartialProgram,        // %s program number, %d lines stored, %d lines
  kDeletePartialQuestion, // %s program number
  kNothingWritten,        // a stopped receive
  kTransferRunning,       // Exit while a transfer runs
  kStopAndQuit,
  kKeepGoing,
  kUnsavedQuestion,       // %s what holds the edits
  kProgramEditor,
  kParameterEditor,
  kPlcEditor,
  kSave,
  kDiscard,
  kCancel,
  kNoPdfViewer,           // %s path of the manual
  kRecentFiles,
  kInterrupted,           // %s signal name (qxrtool)
};

// The text for a language with its slots filled; `s` fills %s, `a` and `b`
// the %d slots in order.
std::string controlText(int language, ControlText text, std::string_view s = {}, long a = 0, long b = 0);

}  // namespace qxr
