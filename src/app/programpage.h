#pragma once
// The NC program page: the program editor with its line labels, number and
// name, the port choice and the controller generation, and the buttons of
// the NC operations. It is the core's NcPage of the window.
#include "app/windowpage.h"
#include "nc/ncpage.h"

class QBoxLayout;
class QComboBox;
class QLineEdit;
class QSpinBox;
class QToolButton;

namespace qxr {

class NcOperations;
class TRadioGroup;

class TProgramPage final : public TWindowPage, public NcPage {
  Q_OBJECT
 public:
  explicit TProgramPage(PageHost& host);

  QPlainTextEdit* editor() const override { return ProgramMemo; }
  QPlainTextEdit* messageBox() const override { return MsgMemo; }
  QLabel* fileLabel() const override { return FileNameLabel; }
  int tabCaption() const override { return 11; }
  void readFileClick() override { ReadFileBtnClick(); }
  void writeFileClick() override { WriteFileBtnClick(); }

  // --- NcPage ---
  std::vector<std::string> programLines() const override;
  void setProgramLines(std::vector<std::string> lines) override;
  void appendProgramLine(std::string_view line) override;
  int programNumber() const override;
  void setProgramNumber(int number) override;
  std::string programName() const override;
  void setProgramName(std::string_view name) override;
  int generation() const override;
  void setFileLabel(std::string_view label) override;
  void clearMessages() override;
  void setEditorVisible(bool visible) override;
  void focusEditor() override;
  void scrollEditorToTop() override;
  void showProgress(std::string_view progress) override;

  // --- handlers ---
  void ReadFileBtnClick();
  void WriteFileBtnClick();
  void TransBtnClick();
  void RcvBtnClick();
  void DelProgBtnClick();
  void MultipleBtnClick();
  void SimulatorBtnClick();
  void PreviewBtnClick();
  void ClrMsgBtnClick();
  void CompareBtnClick();
  void ExportBtnClick();

  PageHost& pageHost() { return host_; }
  // A row of the window's own under the port list (the machine choice).
  void addBelowPortList(QWidget* row);
  // False, with the reason on the page, when pasting `pasted` at the cursor
  // would take the program past its bound.
  bool pasteFitsProgram(const QString& pasted);
  // Mouse pressed on the page background with these modifier keys held.
  void ProgramSheetMouseDown(Qt::KeyboardModifiers modifiers);

  // --- components ---
  QPlainTextEdit* ProgramMemo = nullptr;
  QPlainTextEdit* Memo1 = nullptr;  // line labels N0001..N6000
  QSpinBox* ProgNoEdit = nullptr;
  QLineEdit* ProgNameEdit = nullptr;
  QPushButton* ReadFileBtn = nullptr;
  QPushButton* WriteFileBtn = nullptr;
  QPushButton* TransBtn = nullptr;
  QPushButton* RcvBtn = nullptr;
  QPushButton* DelProgBtn = nullptr;
  QPushButton* SimulatorBtn = nullptr;
  QPushButton* PreviewBtn = nullptr;  // the whole-path preview of the editor's program
  QPushButton* MultipleBtn = nullptr;
  QPushButton* AutoDetectBtn = nullptr;
  QComboBox* COM_Select = nullptr;
  QToolButton* PortsBtn = nullptr;    // opens the Ports window
  QLabel* PortDeviceLabel = nullptr;  // the device the selected entry opens
  TRadioGroup* TypeSel = nullptr;
  QPlainTextEdit* MsgMemo = nullptr;
  QPushButton* ClrMsgBtn = nullptr;
  QPushButton* CloseBtn = nullptr;
  QToolButton* SpeedButton1 = nullptr;
  QToolButton* VersionBtn = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* Label2 = nullptr;
  QLabel* Label3 = nullptr;
  QLabel* Label4 = nullptr;
  QLabel* FileNameLabel = nullptr;
  QLabel* Label11 = nullptr;
  // Test sequences: never shown.
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button6 = nullptr;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  QBoxLayout* portColumn_ = nullptr;
  // The core's operations on this page (one place for their arguments).
  NcOperations operations();
};

}  // namespace qxr
