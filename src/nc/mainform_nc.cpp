// The NC program page's operations of the main window.
#include "app/mainform.h"

namespace qxr {

void TMainForm::ReadFileBtnClick() {}
void TMainForm::WriteFileBtnClick() {}
void TMainForm::TransBtnClick() {}
void TMainForm::RcvBtnClick() {}
void TMainForm::DelProgBtnClick() {}
void TMainForm::MultipleBtnClick() {}

}  // namespace qxr
