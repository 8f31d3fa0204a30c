#pragma once
// The PLC page: the PLC source editor with its line labels, the hidden
// transfer delay, and the buttons of the PLC operations. It is the core's
// PlcPage of the window.
#include "app/windowpage.h"
#include "plc/plc.h"
#include "plc/plcpage.h"

namespace qxr {

class PlcOperations;
class TFSpinEdit;

class TPlcPage final : public TWindowPage, public PlcPage {
  Q_OBJECT
 public:
  explicit TPlcPage(PageHost& host);

  QPlainTextEdit* editor() const override { return PLMMemo; }
  QPlainTextEdit* messageBox() const override { return PLMMsgMemo; }
  QLabel* fileLabel() const override { return PLMFileNameLabel; }
  int tabCaption() const override { return 51; }
  void readFileClick() override { ReadPLMBtnClick(); }
  void writeFileClick() override { WritePLMBtnClick(); }

  // --- PlcPage ---
  std::vector<std::string> editorLines() const override;
  void setEditorLines(std::vector<std::string> lines) override;
  void focusEditor() override;
  void scrollEditorToEnd() override;
  void setReceivedLines(std::vector<std::string> lines) override;
  void setFileLabel(std::string_view text) override;
  void showProgress(std::string_view text, bool alignRight) override;
  void hideProgress() override;
  int transferDelayMs() const override;
  // The PLC working file; a relative name lies in the start directory.
  std::string plcFilePath() const override { return plcFilePath_; }
  void setPlcFilePath(std::string path) override { plcFilePath_ = std::move(path); }

  // Entering the page: the working file is "Tmp.mcn" again and the delay hidden.
  void entered();

  // --- handlers ---
  void ReadPLMBtnClick();
  void WritePLMBtnClick();
  void PLMTrnBtnClick();
  void PLMRcvBtnClick();
  void ClrMsgBtn3Click();
  void TransDelayValueChange();
  // Mouse pressed on the page background with these modifier keys held.
  void PLMSheetMouseDown(Qt::KeyboardModifiers modifiers);

  // --- components ---
  QPlainTextEdit* PLMMemo = nullptr;
  QPlainTextEdit* Memo2 = nullptr;  // line labels N0001..N1024
  QPlainTextEdit* PLMMsgMemo = nullptr;
  QPushButton* PLMTrnBtn = nullptr;
  QPushButton* PLMRcvBtn = nullptr;
  QPushButton* ReadPLMBtn = nullptr;
  QPushButton* WritePLMBtn = nullptr;
  TFSpinEdit* TransDelayValue = nullptr;
  QPlainTextEdit* TmpMemo = nullptr;
  QLabel* Progress = nullptr;
  QPushButton* ClrMsgBtn3 = nullptr;
  QPushButton* CloseBtn3 = nullptr;
  QLabel* Label8 = nullptr;
  QLabel* Label9 = nullptr;
  QLabel* PLMFileNameLabel = nullptr;

 protected:
  void mousePressEvent(QMouseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void build();
  PlcOperations operations();

  std::string plcFilePath_ = "Tmp.mcn";
  int transDelayToggle_ = 0;  // the hidden delay's toggle
  // The preset table and timing block: program-wide, they survive between
  // compilations and receives.
  PlcTables tables_;
};

}  // namespace qxr
