// The parameter page's operations of the main window.
#include "app/mainform.h"

namespace qxr {

void TMainForm::LoadAdditionalParameterLists() {}
void TMainForm::SetParameterList(int modelIndex) { session_.modelIndex = modelIndex; }
void TMainForm::ReadParBtnClick() {}
void TMainForm::WriteParBtnClick() {}
void TMainForm::ParTrnBtnClick() {}
void TMainForm::ParRcvBtnClick() {}

}  // namespace qxr
