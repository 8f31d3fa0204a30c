// The simulator button of the main window.
#include "app/mainform.h"

namespace qxr {

void TMainForm::SimulatorBtnClick() {}

}  // namespace qxr
