// The simulator button of the main window: converts the program and, when
// that succeeds, opens the simulator window on it.
#include "app/mainform.h"
#include "base/textio.h"
#include "sim/convert.h"
#include "sim/simulatorform.h"

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
  const SimulatorConversion outcome = convertForSimulator(
      converter, lines, joinPath(session_.startDir, "Test.TXT"), session_.catalogue, *this);
  if (!outcome.ok()) return;
  TSimulatorForm simulator(session_, std::move(converter.table()), lines, SystemClock::instance(), this);
  simulator.exec();
}

}  // namespace qxr
