#include "app/journalform.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QDateEdit>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

namespace qxr {

namespace {
constexpr TransferResult kResults[] = {TransferResult::kFinished, TransferResult::kFailed, TransferResult::kStopped,
                                       TransferResult::kRunning, TransferResult::kInterrupted};
constexpr int kColumnCount = 12;
}  // namespace

QString TJournalForm::text(const char* english, const char* chinese) const {
  return QString::fromUtf8(language_ == 1 ? english : chinese);
}

TJournalForm::TJournalForm(Journal& journal, const std::vector<std::string>& machines, int language, QWidget* parent)
    : QDialog(parent), journal_(journal), language_(language) {
  setObjectName("JournalForm");
  setWindowTitle(text("Journal of transfers", "傳輸記錄"));
  MachineFilter = new QComboBox(this);
  MachineFilter->setObjectName("MachineFilter");
  MachineFilter->setEditable(true);
  MachineFilter->addItem(QString());
  for (const std::string& name : machines) MachineFilter->addItem(QString::fromStdString(name));
  ProgramFilter = new QSpinBox(this);
  ProgramFilter->setObjectName("ProgramFilter");
  ProgramFilter->setRange(0, 99);
  ProgramFilter->setSpecialValueText(text("all", "全部"));
  ResultFilter = new QComboBox(this);
  ResultFilter->setObjectName("ResultFilter");
  ResultFilter->addItem(text("all", "全部"));
  const char* chinese[] = {"完成", "失敗", "已停止", "進行中或中斷", "已中斷"};
  for (int i = 0; i < 5; ++i)
    ResultFilter->addItem(language_ == 1 ? QString(transferResultName(kResults[i])) : QString::fromUtf8(chinese[i]));
  SinceCheck = new QCheckBox(text("Since (UTC)", "起始日（UTC）"), this);
  SinceEdit = new QDateEdit(QDate::currentDate(), this);
  SinceEdit->setDisplayFormat("yyyy-MM-dd");
  SinceEdit->setCalendarPopup(true);
  SinceEdit->setEnabled(false);
  RefreshBtn = new QPushButton(text("Show", "顯示"), this);
  CopyBtn = new QPushButton(text("Copy row", "複製此列"), this);
  CopyBtn->setObjectName("CopyBtn");
  CloseBtn = new QPushButton(text("Close", "關閉"), this);
  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName("StatusLabel");
  RecordTable = new QTableWidget(0, kColumnCount, this);
  RecordTable->setObjectName("RecordTable");
  RecordTable->setHorizontalHeaderLabels(
      {text("Started (UTC)", "開始（UTC）"), text("Result", "結果"), text("Machine / port", "機台／通訊埠"),
       text("Operation", "操作"), text("Program", "程式"), text("Name", "名稱"), text("Lines", "行數"),
       text("Bytes", "位元組"), text("Seconds", "秒"), "SHA-256", text("File", "檔案"), text("Last message", "最後訊息")});
  RecordTable->setSelectionBehavior(QAbstractItemView::SelectRows);
  RecordTable->setSelectionMode(QAbstractItemView::SingleSelection);
  RecordTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
  RecordTable->horizontalHeader()->setStretchLastSection(true);
  RecordTable->verticalHeader()->hide();

  auto* filters = new QHBoxLayout;
  filters->addWidget(new QLabel(text("Machine", "機台"), this));
  filters->addWidget(MachineFilter, 1);
  filters->addWidget(new QLabel(text("Program", "程式"), this));
  filters->addWidget(ProgramFilter);
  filters->addWidget(new QLabel(text("Result", "結果"), this));
  filters->addWidget(ResultFilter);
  filters->addWidget(SinceCheck);
  filters->addWidget(SinceEdit);
  filters->addWidget(RefreshBtn);
  auto* buttons = new QHBoxLayout;
  buttons->addWidget(StatusLabel, 1);
  buttons->addWidget(CopyBtn);
  buttons->addWidget(CloseBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addLayout(filters);
  layout->addWidget(RecordTable, 1);
  layout->addLayout(buttons);

  connect(SinceCheck, &QCheckBox::toggled, SinceEdit, &QWidget::setEnabled);
  connect(SinceCheck, &QCheckBox::toggled, this, &TJournalForm::Refresh);
  connect(SinceEdit, &QDateEdit::dateChanged, this, &TJournalForm::Refresh);
  connect(MachineFilter, &QComboBox::currentTextChanged, this, &TJournalForm::Refresh);
  connect(ProgramFilter, &QSpinBox::valueChanged, this, &TJournalForm::Refresh);
  connect(ResultFilter, &QComboBox::currentIndexChanged, this, &TJournalForm::Refresh);
  connect(RefreshBtn, &QPushButton::clicked, this, &TJournalForm::Refresh);
  connect(CopyBtn, &QPushButton::clicked, this, [this] { CopyBtnClick(); });
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  resize(1000, 500);
  Refresh();
}

JournalFilter TJournalForm::filter() const {
  JournalFilter f;
  f.machine = MachineFilter->currentText().trimmed().toStdString();
  if (ProgramFilter->value() > 0) f.program = ProgramFilter->value();
  if (ResultFilter->currentIndex() > 0) f.result = kResults[ResultFilter->currentIndex() - 1];
  if (SinceCheck->isChecked()) f.since = SinceEdit->date().toString("yyyy-MM-dd").toStdString();
  f.limit = 1000;
  return f;
}

void TJournalForm::Refresh() {
  std::string error;
  const std::vector<TransferRecord> records = journal_.query(filter(), &error);
  RecordTable->setRowCount(static_cast<int>(records.size()));
  for (int row = 0; row < static_cast<int>(records.size()); ++row) {
    const TransferRecord& r = records[static_cast<std::size_t>(row)];
    const QString cells[kColumnCount] = {
        QString::fromStdString(r.started),
        QString(transferResultName(r.result)),
        QString::fromStdString(r.machine.empty() ? r.port : r.machine),
        QString::fromStdString(r.operation),
        r.program > 0 ? QString::number(r.program) : QString(),
        QString::fromStdString(r.programName),
        QString::number(r.lines),
        QString::number(r.bytes),
        QString::number(static_cast<double>(r.durationMs) / 1000.0, 'f', 1),
        QString::fromStdString(r.sha256),
        QString::fromStdString(r.path),
        QString::fromStdString(r.message)};
    for (int column = 0; column < kColumnCount; ++column)
      RecordTable->setItem(row, column, new QTableWidgetItem(cells[column]));
  }
  StatusLabel->setText(error.empty() ? text("%1 transfers", "%1 筆傳輸").arg(records.size())
                                     : QString::fromStdString(error));
}

QString TJournalForm::CopyBtnClick() {
  const int row = RecordTable->currentRow();
  if (row < 0) return {};
  QStringList cells;
  for (int column = 0; column < kColumnCount; ++column) {
    const QTableWidgetItem* item = RecordTable->item(row, column);
    cells << (item ? item->text() : QString());
  }
  const QString line = cells.join('\t');
  QApplication::clipboard()->setText(line);
  return line;
}

void TJournalForm::keyPressEvent(QKeyEvent* event) {
  if (event->matches(QKeySequence::Copy)) {
    CopyBtnClick();
    return;
  }
  QDialog::keyPressEvent(event);
}

}  // namespace qxr
