#pragma once
// The main window: three pages (NC program, parameters, PLC program). The
// components are public members under their component names, as the page
// operations (one source file per subsystem) work with them directly.
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "base/filechoice.h"
#include "base/host.h"
#include "base/linecheck.h"
#include "base/session.h"
#include "link/detect.h"
#include "plc/plc.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;
class QTimer;
class QToolButton;

namespace qxr {

class Journal;
class Link;
class TComm;
class TFSpinEdit;
class TRadioGroup;
class TransferBar;
struct ControlState;

class TMainForm : public QWidget, public LinkHost, public DetectTarget {
  Q_OBJECT
 public:
  // startDir: the start directory (the current directory when empty).
  explicit TMainForm(const std::string& startDir = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  Session& session() { return session_; }
  Link& link() { return *link_; }

  // --- LinkHost ---
  int pageIndex() const override;
  void appendPageLine(int page, std::string_view line) override;
  void beep() override;
  void processEvents() override;
  int selectedPortIndex() const override;
  void selectPortIndex(int index) override;
  bool confirm(std::string_view question) override;
  void notice(std::string_view text) override;
  bool stopRequested() const override;
  void clearStopRequest() override;
  void showTransferProgress(const ProgressSnapshot& progress) override;
  void endTransferProgress() override;

  // --- DetectTarget ---
  void setDetectedModel(int typeEntry, int modelIndex) override;
  void setDetectedVersion(int versionIndex) override;
  void refillParameterList(int modelIndex) override;

  // --- file windows for the current page ---
  // Shows the system's own open / save window; true when the operator chose
  // a file, whose path is then in fileChoice.currentFilePath.
  bool ShowOpenFileWindow();
  bool ShowSaveFileWindow();
  FileChoice fileChoice;
  // The PLC working file; reset on every entry to the PLC page. A relative
  // name lies in the start directory.
  std::string plcFilePath = "Tmp.mcn";

  // --- components ---
  QTabWidget* PageControl = nullptr;

  // Program page
  QWidget* ProgramSheet = nullptr;
  QPlainTextEdit* ProgramMemo = nullptr;
  QPlainTextEdit* Memo1 = nullptr;  // line labels N0001..N6000
  QSpinBox* ProgNoEdit = nullptr;
  QLineEdit* ProgNameEdit = nullptr;
  QLineEdit* TmpProgNameEdit = nullptr;
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
  QToolButton* PortsBtn = nullptr;     // opens the Ports window
  QLabel* PortDeviceLabel = nullptr;   // the device the selected entry opens
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
  QPushButton* Button1 = nullptr;
  QPushButton* Button2 = nullptr;
  QPushButton* Button3 = nullptr;
  QPushButton* Button4 = nullptr;
  QPushButton* Button5 = nullptr;
  QPushButton* Button6 = nullptr;

  // Parameter page
  QWidget* ParameterSheet = nullptr;
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

  // PLC page
  QWidget* PLMSheet = nullptr;
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

  // Non-visual
  std::unique_ptr<TComm> CommPort;
  QTimer* Timer1 = nullptr;

  // --- operations of the pages (each implemented in its subsystem's file) ---
  // NC programs: src/nc/mainform_nc.cpp
  void ReadFileBtnClick();
  void WriteFileBtnClick();
  void TransBtnClick();
  void RcvBtnClick();
  void DelProgBtnClick();
  void MultipleBtnClick();
  // `ProgramMemo`'s lines as bytes of the language's code page.
  std::vector<std::string> ProgramLines();
  // Parameters: src/params/mainform_params.cpp
  void LoadAdditionalParameterLists();
  void SetParameterList(int modelIndex);
  void ReadParBtnClick();
  void WriteParBtnClick();
  void ParTrnBtnClick();
  void ParRcvBtnClick();
  // PLC programs: src/plc/mainform_plc.cpp
  void ReadPLMBtnClick();
  void WritePLMBtnClick();
  void PLMTrnBtnClick();
  void PLMRcvBtnClick();
  // Simulator: src/sim/mainform_sim.cpp
  void SimulatorBtnClick();
  void PreviewBtnClick();

  // --- the window's own small handlers (mainform.cpp) ---
  void FormCreate();
  void PageControlChange();
  void CloseBtnClick();
  void ClrMsgBtnClick();
  void ClrMsgBtn2Click();
  void ClrMsgBtn3Click();
  void QXR102RadioButtonEnter();
  void QXR202RadioButtonEnter();
  void QXR302RadioButtonEnter();
  void QXR101RadioButtonEnter();
  void QXR200RadioButtonEnter();
  void QXR300RadioButtonEnter();
  void VerSDRadioBtnEnter();
  void VerKRadioBtnEnter();
  void VerMRadioBtnEnter();
  void SelAllBtnClick();
  void CancelSelBtnClick();
  void TransDelayValueChange();
  void Timer1Timer();
  void VersionBtnClick();
  void SpeedButton1Click();
  // Mouse pressed on the page background with these modifier keys held.
  void ProgramSheetMouseDown(Qt::KeyboardModifiers modifiers);
  void PLMSheetMouseDown(Qt::KeyboardModifiers modifiers);
  void AutoDetectBtnClick();
  void PortsBtnClick();
  void runTestButton(int button);
  void Button1Click();
  void Button2Click();
  void Button3Click();
  void Button4Click();
  void Button5Click();
  void Button6Click();

  // The message box of a page (0 program, 1 parameter, 2 PLC).
  QPlainTextEdit* pageMessageBox(int page) const;

  // Before editor text is saved, sent or simulated: false, with the first character the
  // code page cannot hold selected and named in the page's message box, when
  // the text would not survive the conversion to bytes ("?" in its place).
  bool editorTextFitsCodePage(QPlainTextEdit* editor, int page, Refused refused);

  // --- the operator's control: src/app/mainform_control.cpp ---
  // Ends the running transfer at the next frame boundary (Stop, Esc).
  void StopBtnClick();
  // The strip with the progress and the Stop button of a page.
  TransferBar* transferBar(int page) const;
  // The page that started the running operation, -1 when none runs.
  int operationPage() const;
  // The editor of a page, and whether it holds edits not yet saved or sent.
  QPlainTextEdit* pageEditor(int page) const;
  bool hasUnsavedWork(int page) const;
  // The page's editor now matches a file or the controller (-1: the title only).
  void markSaved(int page);
  // Asks about the page's unsaved edits (save / discard / cancel); false
  // for cancel (or a save that did not happen).
  bool settleUnsavedWork(int page);
  // The last files read or written on a page, newest first.
  QStringList recentFiles(int page) const;
  void noteRecentFile(int page, const std::string& path);

  // --- the shop: machines, the journal, recent files kept (src/app/shopcontrols.cpp) ---
  QComboBox* MachineSelect = nullptr;  // "(no machine)" and the machines of Machines.ini
  QToolButton* MachinesBtn = nullptr;
  QToolButton* JournalBtn = nullptr;
  QWidget* buildShopControls(QWidget* parent);  // the row below the port list
  // The machine's model, version, type, port, speed and folder; "" for none,
  // which puts the settings files' values back.
  void chooseMachine(const QString& name);
  std::string namedPort() const override;
  Journal* journal();
  // Runs one transfer of the window and records it in the journal.
  bool journalled(const char* operation, const std::function<bool()>& transfer);
  void loadRecentFiles();
  void saveRecentFiles();

 protected:
  void closeEvent(QCloseEvent* event) override;
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FormClose();
  void buildControl();
  void beginOperation();
  void endOperation();
  // True (and remembered for the operation's end) while an operation runs:
  // a page's entry, with its dialogs, then waits until the transfer is over.
  bool deferWhileRunning();
  bool confirmClose();
  // The file a recent entry or a drop chose instead of the open window.
  bool takePresetPath(std::string& path);
  std::shared_ptr<ControlState> control_;
  struct ShopState;
  std::shared_ptr<ShopState> shop_;
  void buildProgramSheet();
  void buildParameterSheet();
  void buildPlcSheet();
  void applyCaptions();
  void connectHandlers();
  void selectModel(int modelIndex, int versionIndex);
  void selectVersion(int versionIndex);
  QRadioButton* modelButton(int modelIndex) const;
  QRadioButton* versionButton(int versionIndex) const;
  // Key handlers; true when the key was consumed.
  bool ProgramMemoKeyPress(QPlainTextEdit* editor, QKeyEvent* key);
  bool COM_SelectKeyPress(QKeyEvent* key);
  bool TransDelayValueKeyPress(QKeyEvent* key);
  // Says at once when typed or pasted text holds a character the code page
  // cannot hold; the text stays as typed.
  void watchCodePage(QPlainTextEdit* editor, int page);

  int transDelayToggle_ = 0;     // the PLC page's hidden-control toggle
  std::string fileWindowDir_;    // where the next file window opens

  Session session_;
  std::unique_ptr<Link> link_;

  // One operation at a time. The waits for the controller keep the window
  // responsive, so a button can be pressed while an operation runs; a second
  // operation would mix its frames with the first one's on the same port and
  // share its receive buffer. It is refused with a beep instead.
  class OperationGuard {
   public:
    explicit OperationGuard(TMainForm& form);
    ~OperationGuard();
    OperationGuard(const OperationGuard&) = delete;
    OperationGuard& operator=(const OperationGuard&) = delete;
    explicit operator bool() const { return acquired_; }

   private:
    TMainForm& form_;
    bool acquired_;
  };
  bool operationRunning() const { return operationRunning_; }

  // --- page state of the subsystems (each block owned by its subsystem) ---
  bool operationRunning_ = false;

  // NC programs
  // Parameters
  struct ParameterState;  // catalogue and the list behind ParaCheckListBox
  std::shared_ptr<ParameterState> parameters_;
  ParameterState& parameterState();
  // PLC programs
  // The preset table and timing block: program-wide, they survive between
  // compilations and receives.
  PlcTables plcTables;
  // Simulator
};

}  // namespace qxr
