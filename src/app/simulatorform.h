#pragma once
// The simulator window: the converted program beside the plot of its tool
// path, with the controls that run, pause, stop and single-step it. The run
// itself is the core's SimInterpreter; the plot is the core's PathPlot.
#include <QDialog>
#include <array>
#include <string>
#include <vector>

#include "base/session.h"
#include "sim/convert.h"
#include "sim/interpreter.h"
#include "sim/plot.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QPlainTextEdit;
class QPushButton;
class QTimer;

namespace qxr {

class Clock;
class TFSpinEdit;
class TPreviewWidget;
class TRadioGroup;

class TSimulatorForm : public QDialog, public SimulatorView {
  Q_OBJECT
 public:
  // `programLines`: the program as bytes of the session's code page, one per
  // editor line; `table`: its conversion.
  TSimulatorForm(const Session& session, CommandTable table, const std::vector<std::string>& programLines,
                 Clock& clock, QWidget* parent = nullptr);
  ~TSimulatorForm() override;

  SimInterpreter& interpreter() { return interpreter_; }
  PathPlot& plot() { return plot_; }

  // --- SimulatorView ---
  void PutPixel(double y, double x) override;
  void DisplayCommandLine(int line) override;
  void setLamp(int lamp, bool on) override;
  void setStartEnabled(bool enabled) override;
  void setStopEnabled(bool enabled) override;
  void setPauseEnabled(bool enabled) override;
  void setInputButtonVisible(bool visible) override;
  void startRunTimer() override;
  void stopRunTimer() override;
  int stepSelection() const override;
  int unitSelection() const override;
  int resolutionSelection() const override;
  bool inputWaitsHonoured() const override;
  bool outputsDriven() const override;
  double displayZValue() const override;
  void showExtents(const std::string& text) override;

  // --- operations ---
  void ShowXYCoord();

  // --- handlers ---
  void StartBtnClick();
  void StopBtnClick();
  void PauseBtnClick();
  void S_InBtnClick();
  void CloseBtnClick();
  void ClsBtnClick();
  void SetUnitClick();
  void XDIRCheckClick();
  void YDIRCheckClick();
  void OutCheckClick();
  // Shows the whole-path preview in place of the animated plot, or the plot again.
  void PreviewBtnClick();
  void InCheckClick() {}
  void Button2Click() {}
  // True when the key is swallowed (Enter).
  bool FSpinEdit1KeyPress(int key);
  void FormClose();
  void Timer1Timer();
  void RunTimerTimer();

  // --- components ---
  QFrame* Panel1 = nullptr;
  QWidget* PathImage = nullptr;
  TPreviewWidget* Preview = nullptr;  // the second view of Panel1
  QPushButton* PreviewBtn = nullptr;
  QLabel* Panel2 = nullptr;
  QLabel* Panel3 = nullptr;
  QPlainTextEdit* Memo1 = nullptr;
  QPlainTextEdit* ProgramMemo = nullptr;
  QFrame* OutPanel = nullptr;
  std::array<QLabel*, SimInterpreter::kLampCount> OutputLamps{};  // "O01".."O32"
  QPushButton* S_InBtn = nullptr;
  QCheckBox* OutCheck = nullptr;
  QCheckBox* InCheck = nullptr;
  TRadioGroup* StepSel = nullptr;
  TRadioGroup* SetUnit = nullptr;
  QCheckBox* XDIRCheck = nullptr;
  QCheckBox* YDIRCheck = nullptr;
  QFrame* Panel4 = nullptr;
  QComboBox* ResolutionSel = nullptr;
  QPushButton* ClsBtn = nullptr;
  QPushButton* StartBtn = nullptr;
  QPushButton* StopBtn = nullptr;
  QPushButton* PauseBtn = nullptr;
  QLabel* Label1 = nullptr;
  TFSpinEdit* FSpinEdit1 = nullptr;
  QPushButton* CloseBtn = nullptr;
  QPushButton* Button2 = nullptr;
  QTimer* Timer1 = nullptr;
  QTimer* RunTimer = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;
  // Every way out of the modal loop (Escape included) stops the run.
  void done(int result) override;

 private:
  QString message(int n) const;
  void fillResolutionSel();

  const Session& session_;
  CommandTable table_;
  PathPlot plot_;
  SimInterpreter interpreter_;
};

}  // namespace qxr
