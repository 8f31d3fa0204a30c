// The simulator button of the main window: converts the program and, when
// that succeeds, opens the simulator window on it.
#include "app/mainform.h"
#include "base/textio.h"
#include "sim/convert.h"
#include "app/previewform.h"
#include "app/simulatorform.h"

namespace qxr {

void TMainForm::SimulatorBtnClick() {
  // The simulator window is modal: opened during a transfer it would hold the
  // transfer's wait until it closes.
  OperationGuard guard(*this);
  if (!guard) return;
  // The conversion dump is a file: it gets no "?" for the operator's text.
  if (!editorTextFitsCodePage(ProgramMemo, kProgramPage, Refused::kSimulate)) return;
  const std::vector<std::string> lines = ProgramLines();
  NcConverter converter;
  const std::string dumpPath = joinPath(session_.startDir, "Test.TXT");
  const SimulatorConversion outcome = convertForSimulator(converter, lines, dumpPath, session_.catalogue, *this);
  // The run does not need the dump; the operator is told that it is missing.
  if (!outcome.emptyProgram && !outcome.dumpWritten)
    appendPageLine(kProgramPage, fileErrorText(session_.language(), outcome.dumpError, dumpPath));
  if (!outcome.ok()) return;
  TSimulatorForm simulator(session_, std::move(converter.table()), lines, SystemClock::instance(), this);
  simulator.exec();
}

// The whole path of the editor's program, whatever its length; words the
// conversion refuses are listed in the window and left out.
void TMainForm::PreviewBtnClick() {
  OperationGuard guard(*this);
  if (!guard) return;
  const std::vector<std::string> lines = ProgramLines();
  TPreviewForm preview(session_, lines, this);
  preview.exec();
}

}  // namespace qxr
