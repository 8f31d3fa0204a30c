// The PLC page's operations of the main window.
#include "app/mainform.h"

namespace qxr {

void TMainForm::ReadPLMBtnClick() {}
void TMainForm::WritePLMBtnClick() {}
void TMainForm::PLMTrnBtnClick() {}
void TMainForm::PLMRcvBtnClick() {}

}  // namespace qxr
