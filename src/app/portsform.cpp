#include "app/portsform.h"

#include <grp.h>
#include <sys/stat.h>

#include <algorithm>

#include <QComboBox>
#include <QDir>
#include <QFileSystemWatcher>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QVBoxLayout>

#include "base/bilingual.h"
#include "link/netport.h"
#include "link/portscan.h"

namespace qxr {

namespace {

constexpr int kDeviceRole = Qt::UserRole + 1;

QString fromUtf8(const std::string& text) { return QString::fromStdString(text); }

QString bilingual(Language language, const char* english, const char* chinese) {
  return QString::fromUtf8(TextPair{english, chinese}.in(language));
}

// "no access (group dialout)": which group opens the device, as a hint.
QString accessText(Language language, bool accessible, const std::string& path) {
  if (accessible) return bilingual(language, "yes", "可");
  QString hint = bilingual(language, "no", "否");
  struct stat info {};
  if (::stat(path.c_str(), &info) == 0) {
    if (const group* owner = ::getgrgid(info.st_gid); owner && info.st_gid != 0)
      hint += bilingual(language, " (join group %1)", "（請加入群組 %1）").arg(QString::fromUtf8(owner->gr_name));
  }
  return hint;
}

QString entryState(Language language, const PortEntry& entry) {
  if (!entry.present) return bilingual(language, "no device", "無此裝置");
  return entry.accessible ? bilingual(language, "ready", "可用") : accessText(language, false, entry.device);
}

// The scan's descriptions are English; the one it makes up itself is said in
// the operator's language (the others are the adapters' own names).
QString descriptionText(Language language, const std::string& description) {
  if (description == "built-in serial port") return bilingual(language, "built-in serial port", "內建序列埠");
  return fromUtf8(description);
}

// Why `device` cannot be what a port entry opens, in the operator's
// language; empty when it may. A device that does not exist yet (an adapter
// not plugged in) and a network address may be assigned.
QString deviceRefusal(Language language, const std::string& device) {
  for (const unsigned char c : device) {
    if (c < 0x20 || c == 0x7F)
      return bilingual(language, "The device name holds a control character.", "裝置名稱含有控制字元。");
  }
  if (looksLikeNetworkAddress(device)) return {};
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) return {};
  if (S_ISREG(info.st_mode))
    return bilingual(language, "%1 is a regular file, not a serial device.", "%1 是一般檔案，不是序列埠裝置。")
        .arg(fromUtf8(device));
  if (S_ISDIR(info.st_mode))
    return bilingual(language, "%1 is a directory, not a serial device.", "%1 是目錄，不是序列埠裝置。")
        .arg(fromUtf8(device));
  return {};
}

// An entry of that number in the start directory that is not a link (any
// case of "COMn"): assigning or removing would have to destroy it.
QString entryRefusal(Language language, const std::string& startDir, int number) {
  const QDir dir(QString::fromStdString(startDir));
  const QString name = QStringLiteral("COM%1").arg(number);
  for (const QString& existing : dir.entryList(QDir::AllEntries | QDir::System | QDir::Hidden | QDir::NoDotAndDotDot)) {
    if (existing.compare(name, Qt::CaseInsensitive) != 0) continue;
    struct stat info {};
    if (::lstat(dir.filePath(existing).toStdString().c_str(), &info) == 0 && !S_ISLNK(info.st_mode))
      return bilingual(language, "%1 in the start directory is not a link; it was left alone.",
                       "起始目錄中的 %1 不是連結，未予變更。")
          .arg(existing);
  }
  return {};
}

// The drop-down of the port list: "COM2    /dev/pts/3".
class PortItemDelegate : public QStyledItemDelegate {
 public:
  using QStyledItemDelegate::QStyledItemDelegate;

 protected:
  void initStyleOption(QStyleOptionViewItem* option, const QModelIndex& index) const override {
    QStyledItemDelegate::initStyleOption(option, index);
    const QString device = index.data(kDeviceRole).toString();
    if (!device.isEmpty()) option->text += QStringLiteral("   ") + device;
  }
};

QTableWidget* makeTable(QWidget* parent, const char* name, const QStringList& headers) {
  auto* table = new QTableWidget(0, headers.size(), parent);
  table->setObjectName(name);
  table->setHorizontalHeaderLabels(headers);
  table->setSelectionBehavior(QAbstractItemView::SelectRows);
  table->setSelectionMode(QAbstractItemView::SingleSelection);
  table->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table->verticalHeader()->hide();
  table->horizontalHeader()->setStretchLastSection(true);
  return table;
}

}  // namespace

TPortsForm::TPortsForm(const std::string& startDir, int portCount, int selectedIndex, int language,
                       const std::string& root, QWidget* parent)
    : QDialog(parent), startDir_(startDir), root_(root), portCount_(portCount), language_(languageFromIndex(language)) {
  setObjectName("PortsForm");
  setWindowTitle(text("Ports", "通訊埠"));
  setModal(true);
  resize(720, 520);

  auto* portLabel = new QLabel(text("Port list", "通訊埠列表"), this);
  PortTable = makeTable(this, "PortTable",
                        {text("Entry", "項目"), text("Device", "裝置"), text("State", "狀態")});
  auto* deviceLabel = new QLabel(text("Serial devices found", "找到的序列埠裝置"), this);
  DeviceTable = makeTable(this, "DeviceTable",
                          {text("Device", "裝置"), text("Description", "說明"), text("May open", "可開啟")});

  EntrySelect = new QComboBox(this);
  EntrySelect->setObjectName("EntrySelect");
  for (int n = 1; n <= portCount; ++n) EntrySelect->addItem(QStringLiteral("COM%1").arg(n));
  if (selectedIndex >= 0 && selectedIndex < portCount) EntrySelect->setCurrentIndex(selectedIndex);
  DeviceEdit = new QLineEdit(this);
  DeviceEdit->setObjectName("DeviceEdit");
  DeviceEdit->setPlaceholderText(text("device, e.g. /dev/ttyUSB0", "裝置，例如 /dev/ttyUSB0"));
  AssignBtn = new QPushButton(text("Assign", "指定"), this);
  AssignBtn->setObjectName("AssignBtn");
  ClearBtn = new QPushButton(text("Remove link", "取消指定"), this);
  ClearBtn->setObjectName("ClearBtn");
  RefreshBtn = new QPushButton(text("Refresh", "重新整理"), this);
  RefreshBtn->setObjectName("RefreshBtn");
  CloseBtn = new QPushButton(text("Close", "關閉"), this);
  CloseBtn->setObjectName("CloseBtn");
  StatusLabel = new QLabel(this);
  StatusLabel->setObjectName("StatusLabel");
  StatusLabel->setWordWrap(true);

  auto* assignRow = new QHBoxLayout;
  assignRow->addWidget(EntrySelect);
  assignRow->addWidget(new QLabel(QStringLiteral("→"), this));
  assignRow->addWidget(DeviceEdit, 1);
  assignRow->addWidget(AssignBtn);
  assignRow->addWidget(ClearBtn);
  auto* closeRow = new QHBoxLayout;
  closeRow->addWidget(StatusLabel, 1);
  closeRow->addWidget(RefreshBtn);
  closeRow->addWidget(CloseBtn);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(portLabel);
  layout->addWidget(PortTable, 3);
  layout->addWidget(deviceLabel);
  layout->addWidget(DeviceTable, 2);
  layout->addLayout(assignRow);
  layout->addLayout(closeRow);

  connect(DeviceTable, &QTableWidget::itemSelectionChanged, this, [this] {
    const int row = DeviceTable->currentRow();
    if (row >= 0 && DeviceTable->item(row, 0)) DeviceEdit->setText(DeviceTable->item(row, 0)->text());
  });
  connect(PortTable, &QTableWidget::itemSelectionChanged, this, [this] {
    if (PortTable->currentRow() >= 0) EntrySelect->setCurrentIndex(PortTable->currentRow());
  });
  connect(AssignBtn, &QPushButton::clicked, this, &TPortsForm::AssignBtnClick);
  connect(ClearBtn, &QPushButton::clicked, this, &TPortsForm::ClearBtnClick);
  connect(RefreshBtn, &QPushButton::clicked, this, &TPortsForm::Refresh);
  connect(CloseBtn, &QPushButton::clicked, this, &QDialog::accept);
  Refresh();
}

QString TPortsForm::text(const char* english, const char* chinese) const { return bilingual(language_, english, chinese); }

void TPortsForm::Refresh() {
  PortTable->setRowCount(portCount_);
  for (int n = 1; n <= portCount_; ++n) {
    const PortEntry entry = describePort(startDir_, n, root_);
    PortTable->setItem(n - 1, 0, new QTableWidgetItem(fromUtf8(entry.name)));
    PortTable->setItem(n - 1, 1, new QTableWidgetItem(fromUtf8(entry.device)));
    PortTable->setItem(n - 1, 2, new QTableWidgetItem(entryState(language_, entry)));
  }
  const std::vector<SerialDevice> devices = findSerialDevices(root_);
  DeviceTable->setRowCount(static_cast<int>(devices.size()));
  for (int row = 0; row < static_cast<int>(devices.size()); ++row) {
    const SerialDevice& device = devices[static_cast<std::size_t>(row)];
    auto* pathItem = new QTableWidgetItem(fromUtf8(device.path));
    if (device.path != device.device) pathItem->setToolTip(fromUtf8(device.device));
    DeviceTable->setItem(row, 0, pathItem);
    DeviceTable->setItem(row, 1, new QTableWidgetItem(descriptionText(language_, device.description)));
    DeviceTable->setItem(row, 2, new QTableWidgetItem(accessText(language_, device.accessible, device.device)));
  }
  PortTable->resizeColumnToContents(0);
  PortTable->setColumnWidth(1, 420);
  DeviceTable->setColumnWidth(0, 360);
  DeviceTable->resizeColumnToContents(1);
  DeviceTable->setColumnWidth(1, std::max(DeviceTable->columnWidth(1), 220));
  if (devices.empty()) StatusLabel->setText(text("No serial device found.", "找不到序列埠裝置。"));
}

void TPortsForm::AssignBtnClick() {
  const std::string device = DeviceEdit->text().trimmed().toStdString();
  const int number = EntrySelect->currentIndex() + 1;
  if (device.empty()) {
    StatusLabel->setText(text("Choose a device first.", "請先選擇裝置。"));
    return;
  }
  QString refusal = deviceRefusal(language_, device);
  if (refusal.isEmpty()) refusal = entryRefusal(language_, startDir_, number);
  if (!refusal.isEmpty()) {
    StatusLabel->setText(refusal);
    return;
  }
  const std::string problem = assignPort(startDir_, number, device);
  StatusLabel->setText(problem.empty() ? text("COM%1 now opens %2", "COM%1 現在開啟 %2").arg(number).arg(fromUtf8(device))
                                       : failureText(number, problem));
  Refresh();
}

void TPortsForm::ClearBtnClick() {
  const int number = EntrySelect->currentIndex() + 1;
  if (const QString refusal = entryRefusal(language_, startDir_, number); !refusal.isEmpty()) {
    StatusLabel->setText(refusal);
    return;
  }
  const std::string problem = clearPort(startDir_, number);
  StatusLabel->setText(problem.empty() ? text("COM%1 has no link now", "COM%1 已取消指定").arg(number)
                                       : failureText(number, problem));
  Refresh();
}

// What is left after the window's own checks is the system's refusal of the
// link itself; its reason is the system's own words.
QString TPortsForm::failureText(int number, const std::string& problem) const {
  return text("The link COM%1 could not be changed: %2", "無法變更連結 COM%1：%2").arg(number).arg(fromUtf8(problem));
}

void showPortDevices(QComboBox* portList, QLabel* deviceLabel, const std::string& startDir, int languageNumber,
                     const std::string& root) {
  const Language language = languageFromIndex(languageNumber);
  if (!dynamic_cast<PortItemDelegate*>(portList->itemDelegate())) {
    portList->setItemDelegate(new PortItemDelegate(portList));
    // A COMn link made or changed outside the program (qxrtool, a shell)
    // shows at once: the links live in the start directory.
    auto* watcher = new QFileSystemWatcher(portList);
    watcher->addPath(QString::fromStdString(startDir));
    QObject::connect(watcher, &QFileSystemWatcher::directoryChanged, portList,
                     [portList, deviceLabel, startDir, languageNumber, root] {
                       showPortDevices(portList, deviceLabel, startDir, languageNumber, root);
                     });
    if (deviceLabel) {
      QObject::connect(portList, &QComboBox::currentIndexChanged, deviceLabel, [portList, deviceLabel] {
        deviceLabel->setText(portList->currentData(kDeviceRole).toString());
        deviceLabel->setToolTip(portList->currentData(Qt::ToolTipRole).toString());
      });
    }
  }
  for (int i = 0; i < portList->count(); ++i) {
    const PortEntry entry = describePort(startDir, i + 1, root);
    const QString device = entry.present ? fromUtf8(entry.device) : bilingual(language, "(no device)", "（無裝置）");
    portList->setItemData(i, device, kDeviceRole);
    portList->setItemData(i, fromUtf8(entry.device) + " — " + entryState(language, entry), Qt::ToolTipRole);
  }
  // The open list shows devices and addresses whole, however narrow the box.
  portList->view()->setMinimumWidth(portList->view()->sizeHintForColumn(0) + 8);
  if (deviceLabel) {
    deviceLabel->setText(portList->currentData(kDeviceRole).toString());
    deviceLabel->setToolTip(portList->currentData(Qt::ToolTipRole).toString());
  }
}

}  // namespace qxr
