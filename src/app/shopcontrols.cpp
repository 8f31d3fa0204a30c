// The main window's part of the shop: the machine choice beside the port
// list, the Machines and Journal windows, the journal of the window's
// transfers, and the recent files kept across runs.
#include <QComboBox>
#include <QFileInfo>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QTextBlock>
#include <QTextDocument>
#include <QToolButton>

#include "app/journalform.h"
#include "app/machinesform.h"
#include "app/mainform.h"
#include "nc/ncops.h"
#include "base/bilingual.h"
#include "base/codec.h"
#include "shop/journal.h"
#include "shop/machines.h"
#include "shop/recentfiles.h"
#include "shop/statedir.h"
#include "widgets/radiogroup.h"

namespace qxr {

struct TMainForm::ShopState {
  std::string namedPort;  // a chosen machine's device path or address
  bool machineChosen = false;
  std::string chosen;  // its name
  bool applying = false;
  // The settings files' values that a machine's choice overrides, put back
  // when no machine is chosen (and so written back at closing unchanged).
  Settings saved;
  int savedPortIndex = 0;
  std::string savedFolder;
  std::unique_ptr<Journal> journal;
  RecentFiles recent;
  bool loadingRecent = false;
};

namespace {
QString shopText(int language, const char* english, const char* chinese) {
  return QString::fromUtf8(TextPair{english, chinese}.in(languageFromIndex(language)));
}
}  // namespace

QWidget* TMainForm::buildShopControls(QWidget* parent) {
  if (!shop_) shop_ = std::make_shared<ShopState>();
  const int language = session_.language();
  auto* row = new QWidget(parent);
  auto* layout = new QHBoxLayout(row);
  layout->setContentsMargins(0, 0, 0, 0);
  MachineSelect = new QComboBox(row);
  MachineSelect->setObjectName("MachineSelect");
  MachineSelect->setToolTip(shopText(language, "The machine: its model, version, type, port, speed and folder",
                                     "機台：其機型、版本、類型、通訊埠、速率與資料夾"));
  MachinesBtn = new QToolButton(row);
  MachinesBtn->setObjectName("MachinesBtn");
  MachinesBtn->setText(shopText(language, "Machines…", "機台…"));
  JournalBtn = new QToolButton(row);
  JournalBtn->setObjectName("JournalBtn");
  JournalBtn->setText(shopText(language, "Journal…", "記錄…"));
  layout->addWidget(MachineSelect, 1);
  layout->addWidget(MachinesBtn);
  layout->addWidget(JournalBtn);

  auto fill = [this, language] {
    const QString current = MachineSelect->currentIndex() > 0 ? MachineSelect->currentText() : QString();
    shop_->applying = true;
    MachineSelect->clear();
    MachineSelect->addItem(shopText(language, "(no machine)", "（未選機台）"));
    const MachineFile file = MachineFile::load(session_.startDir);
    for (const Machine& m : file.machines()) MachineSelect->addItem(QString::fromStdString(m.name));
    const int index = current.isEmpty() ? 0 : MachineSelect->findText(current);
    MachineSelect->setCurrentIndex(index < 0 ? 0 : index);
    shop_->applying = false;
    chooseMachine(index > 0 ? current : QString());
  };
  fill();
  connect(MachineSelect, &QComboBox::activated, this,
          [this](int index) { chooseMachine(index > 0 ? MachineSelect->itemText(index) : QString()); });
  connect(MachinesBtn, &QToolButton::clicked, this, [this, fill] {
    TMachinesForm window(session_.startDir, session_.language(), this);
    window.exec();
    fill();
  });
  connect(JournalBtn, &QToolButton::clicked, this, [this] {
    std::vector<std::string> names;
    const MachineFile file = MachineFile::load(session_.startDir);
    for (const Machine& m : file.machines()) names.push_back(m.name);
    TJournalForm window(*journal(), names, session_.language(), this);
    window.exec();
  });
  // Choosing a port by hand leaves the machine.
  connect(program->COM_Select, &QComboBox::activated, this, [this] {
    if (shop_->machineChosen) {
      const int port = program->COM_Select->currentIndex();
      chooseMachine(QString());
      program->COM_Select->setCurrentIndex(port);
    }
  });
  return row;
}

void TMainForm::chooseMachine(const QString& name) {
  if (!shop_ || shop_->applying) return;
  if (operationRunning_) {
    // Not under a running transfer: the choice shown goes back.
    beep();
    shop_->applying = true;
    const int shown = shop_->machineChosen ? MachineSelect->findText(QString::fromStdString(shop_->chosen)) : 0;
    MachineSelect->setCurrentIndex(shown < 0 ? 0 : shown);
    shop_->applying = false;
    return;
  }
  const MachineFile file = MachineFile::load(session_.startDir);
  const Machine* machine = name.isEmpty() ? nullptr : file.find(name.toStdString());
  shop_->applying = true;
  if (machine) {
    if (!shop_->machineChosen) {
      shop_->saved = session_.settings;
      shop_->savedPortIndex = program->COM_Select->currentIndex();
      shop_->savedFolder = fileWindowDir_;
    }
    shop_->machineChosen = true;
    shop_->chosen = machine->name;
    applyMachine(*machine, session_);
    program->TypeSel->setItemIndex(machine->generation());
    parameters->selectModelAndVersion(machine->modelIndex, machine->versionIndex);
    shop_->namedPort = machineNamedPort(*machine);
    if (const auto index = machinePortIndex(*machine); index && *index < program->COM_Select->count())
      program->COM_Select->setCurrentIndex(*index);
    if (!machine->folder.empty()) fileWindowDir_ = machine->folder;
    MachineSelect->setCurrentIndex(MachineSelect->findText(QString::fromStdString(machine->name)));
  } else {
    if (shop_->machineChosen) {
      Settings& s = session_.settings;
      s.baudIndex = shop_->saved.baudIndex;
      s.timeoutMs = shop_->saved.timeoutMs;
      s.transitMode = shop_->saved.transitMode;
      s.bytePacingMs = shop_->saved.bytePacingMs;
      program->COM_Select->setCurrentIndex(shop_->savedPortIndex);
      fileWindowDir_ = shop_->savedFolder;
    }
    shop_->machineChosen = false;
    shop_->namedPort.clear();
    MachineSelect->setCurrentIndex(0);
  }
  shop_->applying = false;
}

std::string TMainForm::namedPort() const { return shop_ ? shop_->namedPort : std::string(); }

Journal* TMainForm::journal() {
  if (!shop_) shop_ = std::make_shared<ShopState>();
  if (!shop_->journal) {
    const std::string path = journalPathFor(stateEnvironment(), MachineFile::load(session_.startDir).journalPath(),
                                            session_.startDir);
    shop_->journal = std::make_unique<Journal>(path);
    // Told once, on the page of the transfer that met it.
    shop_->journal->setProblemHandler([this](const std::string& problem) {
      const std::string line = session_.lang() == Language::kEnglish ? "Warning: " + problem + "; transfers are not recorded"
                                                        : "警告：" + problem + "；傳輸未被記錄";
      appendPageLine(pageIndex(), utf8ToBytes(line, session_.language()));
    });
  }
  return shop_->journal.get();
}

TransferPlace TMainForm::transferPlace() {
  TransferPlace place = localTransferPlace();
  place.machine = MachineSelect && MachineSelect->currentIndex() > 0 ? MachineSelect->currentText().toStdString() : "";
  place.port = !namedPort().empty() ? namedPort() : program->COM_Select->currentText().toStdString();
  place.model = std::string(kModelNames[session_.modelIndex]) + " " + kVersionNames[session_.versionIndex];
  return place;
}

std::string TMainForm::lastPageMessage(int page) const {
  const QPlainTextEdit* messages = this->page(page)->messageBox();
  return messages ? messages->document()->lastBlock().text().toStdString() : std::string();
}

TransferResult TMainForm::transferResult(bool ok) const {
  return stopRequested() ? TransferResult::kStopped : ok ? TransferResult::kFinished : TransferResult::kFailed;
}

bool TMainForm::journalled(const char* operation, const std::function<bool()>& transfer) {
  const int page = pageIndex();
  JournalRecorder recorder(journal(), transferPlace(), operation);
  const auto describe = [&] {
    if (fileChoice_.fileChosen && !fileChoice_.currentFilePath.empty()) recorder.setPath(fileChoice_.currentFilePath);
    if (page == kProgramPage) {
      recorder.setProgram(program->ProgNoEdit->value(), utf8ToBytes(program->ProgNameEdit->text().toStdString(), session_.language()));
      recorder.setLines(ProgramLines());
    } else {
      const QPlainTextEdit* editor = this->page(page)->editor();
      const std::string bytes = editor ? utf8ToBytes(editor->toPlainText().toStdString(), session_.language()) : "";
      recorder.setBytes(bytes, editor ? editor->blockCount() : 0);
    }
  };
  describe();  // what is sent
  const bool ok = transfer();
  describe();  // what arrived
  recorder.finish(transferResult(ok), lastPageMessage(page));
  return ok;
}

// Each program of a batch is a record of its own, with its own file, lines
// and outcome.
void TMainForm::journalEachProgram(NcOperations& batch, const char* operation) {
  auto recorder = std::make_shared<std::unique_ptr<JournalRecorder>>();
  batch.onBatchProgramBegin = [this, recorder, operation] {
    *recorder = std::make_unique<JournalRecorder>(journal(), transferPlace(), operation);
  };
  batch.onBatchProgramEnd = [this, recorder](const BatchProgramEnd& end) {
    if (!*recorder) return;
    JournalRecorder& record = **recorder;
    if (!end.path.empty()) record.setPath(end.path);
    if (end.number != 0) record.setProgram(end.number, end.name);
    if (!end.lines.empty()) record.setLines(end.lines);
    record.finish(transferResult(end.result == BatchProgramEnd::Result::kFinished), lastPageMessage(kProgramPage));
    recorder->reset();
  };
}

void TMainForm::loadRecentFiles() {
  if (!shop_) shop_ = std::make_shared<ShopState>();
  shop_->recent.load(userRecentFilesPath());
  shop_->loadingRecent = true;
  for (int page = 0; page < kRecentPageCount; ++page) {
    const std::vector<std::string> files = shop_->recent.files(page);
    for (auto it = files.rbegin(); it != files.rend(); ++it) noteRecentFile(page, *it);
  }
  shop_->loadingRecent = false;
}

void TMainForm::saveRecentFiles() {
  if (!shop_ || shop_->loadingRecent) return;
  for (int page = 0; page < kRecentPageCount; ++page) {
    const QStringList files = recentFiles(page);
    for (auto it = files.rbegin(); it != files.rend(); ++it) shop_->recent.note(page, it->toStdString());
  }
  shop_->recent.save(userRecentFilesPath());
}

}  // namespace qxr
