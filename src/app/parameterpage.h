#pragma once
// The parameter page: the parameter list of the chosen model and version,
// the parameter editor, and the buttons of the parameter operations. It is
// the core's ParameterPage of the window.
#include "app/windowpage.h"
#include "params/paramlist.h"
#include "params/paramtransfer.h"

class QFrame;
class QListWidget;
class QRadioButton;

namespace qxr {

class TParameterPage final : public TWindowPage, public ParameterPage {
  Q_OBJECT
 public:
  explicit TParameterPage(PageHost& host);

  QPlainTextEdit* editor() const override { return ParameterMemo; }
  QPlainTextEdit* messageBox() const override { return ParMsgMemo; }
  QLabel* fileLabel() const override { return ParFileNameLabel; }
  int tabCaption() const override { return 31; }
  void readFileClick() override { ReadParBtnClick(); }
  void writeFileClick() override { WriteParBtnClick(); }

  // --- ParameterPage ---
  std::vector<std::string> parameterLines() const override;
  void setParameterLines(const std::vector<std::string>& lines) override;
  void appendParameterLine(std::string_view line) override;
  std::vector<int> checkedEntries() const override;
  void setFileLabel(std::string_view text) override;
  void showLastParameterLine() override;

  // The additional-parameter lists, read once at start.
  void LoadAdditionalParameterLists();
  // The list of `modelIndex` in the chosen version; the model becomes the session's.
  void SetParameterList(int modelIndex);
  // Checks the buttons of a model or version without their handlers.
  void checkModel(int modelIndex);
  void selectVersion(int versionIndex);
  // A machine's model and version, as the radio buttons would choose them.
  void selectModelAndVersion(int modelIndex, int versionIndex);

  // --- handlers ---
  void ReadParBtnClick();
  void WriteParBtnClick();
  void ParTrnBtnClick();
  void ParRcvBtnClick();
  void SelAllBtnClick();
  void CancelSelBtnClick();
  void ClrMsgBtn2Click();
  // A model or version button entered (focus moved to it within the window).
  void modelEntered(int modelIndex);
  void versionEntered(int versionIndex);

  // --- components ---
  QListWidget* ParaCheckListBox = nullptr;
  QPlainTextEdit* ParameterMemo = nullptr;
  QPlainTextEdit* ParMsgMemo = nullptr;
  QRadioButton* QXR102RadioButton = nullptr;
  QRadioButton* QXR202RadioButton = nullptr;
  QRadioButton* QXR302RadioButton = nullptr;
  QRadioButton* QXR101RadioButton = nullptr;
  QRadioButton* QXR200RadioButton = nullptr;
  QRadioButton* QXR300RadioButton = nullptr;
  QFrame* Panel1 = nullptr;
  QRadioButton* VerSDRadioBtn = nullptr;
  QRadioButton* VerKRadioBtn = nullptr;
  QRadioButton* VerMRadioBtn = nullptr;
  QPushButton* SelAllBtn = nullptr;
  QPushButton* CancelSelBtn = nullptr;
  QPushButton* ReadParBtn = nullptr;
  QPushButton* WriteParBtn = nullptr;
  QPushButton* ParTrnBtn = nullptr;
  QPushButton* ParRcvBtn = nullptr;
  QPushButton* ClrMsgBtn2 = nullptr;
  QPushButton* CloseBtn2 = nullptr;
  QLabel* Label5 = nullptr;
  QLabel* Label6 = nullptr;
  QLabel* Label7 = nullptr;
  QLabel* Label10 = nullptr;
  QLabel* ParFileNameLabel = nullptr;

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  QRadioButton* modelButton(int modelIndex) const;
  QRadioButton* versionButton(int versionIndex) const;
  void checkAll(Qt::CheckState state);

  ParameterCatalogue catalogue_;
  ParameterEntries list_;  // position i is item i of ParaCheckListBox
};

}  // namespace qxr
