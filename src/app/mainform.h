#pragma once
// The main window: three pages (NC program, parameters, PLC program), each
// a class that owns its widgets and is the core's page of its operations.
// The window composes them, owns the session, the port and the link, is the
// link's host and the port search's target, and runs the operator's control
// (one operation at a time, Stop, unsaved work, recent files, quitting).
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/parameterpage.h"
#include "app/plcpage.h"
#include "app/programpage.h"
#include "app/windowpage.h"
#include "base/filechoice.h"
#include "base/host.h"
#include "base/session.h"
#include "link/detect.h"
#include "shop/journal.h"

class QDialog;
class QTabWidget;
class QTimer;

namespace qxr {

class Journal;
class Link;
class TComm;
class TransferBar;
struct ControlState;

class TMainForm : public QWidget, public LinkHost, public DetectTarget, public PageHost {
  Q_OBJECT
 public:
  // startDir: the start directory (the current directory when empty).
  explicit TMainForm(const std::string& startDir = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  // --- the pages and the window's own components ---
  QTabWidget* PageControl = nullptr;
  TProgramPage* program = nullptr;
  TParameterPage* parameters = nullptr;
  TPlcPage* plc = nullptr;
  std::unique_ptr<TComm> CommPort;
  QTimer* Timer1 = nullptr;
  // The page of an index (kProgramPage ...), nullptr for none.
  TWindowPage* page(int index) const;

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

  // --- PageHost ---
  Session& session() override { return session_; }
  Link& link() override { return *link_; }
  LinkHost& linkHost() override { return *this; }
  bool tryBeginOperation() override;
  void finishOperation() override;
  FileChoice& fileChoice() override { return fileChoice_; }
  bool ShowOpenFileWindow() override;
  bool ShowSaveFileWindow() override;
  // Asks about the page's unsaved edits (save / discard / cancel); false
  // for cancel (or a save that did not happen).
  bool settleUnsavedWork(int page) override;
  // The page's editor now matches a file or the controller (-1: the title only).
  void markSaved(int page) override;
  void noteRecentFile(int page, const std::string& path) override;
  void showTitleProgress(const QString& progress) override;

  // --- the pages' operations under their component names ---
  std::vector<std::string> ProgramLines() { return program->programLines(); }
  void ReadFileBtnClick() { program->ReadFileBtnClick(); }
  void WriteFileBtnClick() { program->WriteFileBtnClick(); }
  void TransBtnClick() { program->TransBtnClick(); }
  void RcvBtnClick() { program->RcvBtnClick(); }
  void DelProgBtnClick() { program->DelProgBtnClick(); }
  void MultipleBtnClick() { program->MultipleBtnClick(); }
  void SimulatorBtnClick() { program->SimulatorBtnClick(); }
  void PreviewBtnClick() { program->PreviewBtnClick(); }
  void ReadParBtnClick() { parameters->ReadParBtnClick(); }
  void WriteParBtnClick() { parameters->WriteParBtnClick(); }
  void ParTrnBtnClick() { parameters->ParTrnBtnClick(); }
  void ParRcvBtnClick() { parameters->ParRcvBtnClick(); }
  void ReadPLMBtnClick() { plc->ReadPLMBtnClick(); }
  void WritePLMBtnClick() { plc->WritePLMBtnClick(); }
  void PLMTrnBtnClick() { plc->PLMTrnBtnClick(); }
  void PLMRcvBtnClick() { plc->PLMRcvBtnClick(); }

  // --- the window's own handlers (mainform.cpp) ---
  void PageControlChange();
  void CloseBtnClick();
  void Timer1Timer();
  void VersionBtnClick();
  void SpeedButton1Click();
  void AutoDetectBtnClick();
  void PortsBtnClick();
  void runTestButton(int button);
  void Button1Click() { runTestButton(1); }
  void Button2Click() { runTestButton(2); }
  void Button3Click() { runTestButton(3); }
  void Button4Click() { runTestButton(4); }
  void Button5Click() { runTestButton(5); }
  void Button6Click() { runTestButton(6); }

  // --- the operator's control (mainform_control.cpp) ---
  // Ends the running transfer at the next frame boundary (Stop, Esc).
  void StopBtnClick();
  // The strip with the progress, Stop and the quit question of a page.
  TransferBar* transferBar(int page) const;
  // The page that started the running operation, -1 when none runs.
  int operationPage() const;
  // Whether the page's editor holds edits not yet saved or sent.
  bool hasUnsavedWork(int page) const;
  // The last files read or written on a page, newest first.
  QStringList recentFiles(int page) const;
  // SIGTERM, SIGINT or SIGHUP: the running transfer stops as Stop stops it,
  // the operation's questions get their cautious answer unseen, unsaved
  // edits are kept in files of the start directory, and the window closes
  // without asking. A second signal keeps the edits, writes the settings
  // and quits at once.
  void quitOnSignal(int signal);

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
  bool journalled(const char* operation, const std::function<bool()>& transfer) override;
  void journalEachProgram(NcOperations& batch, const char* operation) override;
  void loadRecentFiles();
  void saveRecentFiles();

 protected:
  void closeEvent(QCloseEvent* event) override;

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
  // Reads `path` on `page` as its read button does (drops, recent files).
  void readPresetFile(int page, const QString& path);
  void lockStarters();
  void closeForSignal();
  void keepUnsavedWork();
  void refreshTitle();

  std::shared_ptr<ControlState> control_;
  QPointer<QDialog> about_;
  std::string fileWindowDir_;  // where the next file window opens
  FileChoice fileChoice_;
  bool operationRunning_ = false;
  struct ShopState;
  std::shared_ptr<ShopState> shop_;
  TransferPlace transferPlace();
  std::string lastPageMessage(int page) const;
  TransferResult transferResult(bool ok) const;
  Session session_;
  std::unique_ptr<Link> link_;
};

}  // namespace qxr
