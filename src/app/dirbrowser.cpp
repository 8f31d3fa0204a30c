#include "app/dirbrowser.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QStyle>
#include <algorithm>

namespace qxr {

namespace {
constexpr int kPathRole = Qt::UserRole;
}  // namespace

QString pathText(const std::string& path) { return QFile::decodeName(QByteArray::fromStdString(path)); }
std::string pathBytes(const QString& text) { return QFile::encodeName(text).toStdString(); }

DirectoryBrowser::DirectoryBrowser(QComboBox* drives, QListWidget* directories, QLabel* label,
                                   const std::string& startDir, QObject* parent)
    : QObject(parent), drives_(drives), directories_(directories), label_(label) {
  fillDrives(startDir);
  connect(drives_, &QComboBox::activated, this,
          [this](int index) { choose(drives_->itemData(index, kPathRole).toString()); });
  connect(directories_, &QListWidget::itemActivated, this,
          [this](QListWidgetItem* item) { choose(item->data(kPathRole).toString()); });
  directories_->installEventFilter(this);
}

void DirectoryBrowser::fillDrives(const std::string& startDir) {
  drives_->clear();
  QStyle* style = QApplication::style();
  const QString home = QDir::homePath();
  drives_->addItem(style->standardIcon(QStyle::SP_DriveHDIcon), "/", "/");
  drives_->addItem(style->standardIcon(QStyle::SP_DirHomeIcon), home, home);
  const QString start = QDir::cleanPath(pathText(startDir));
  if (!startDir.empty() && start != QDir::cleanPath(home))
    drives_->addItem(style->standardIcon(QStyle::SP_DirIcon), start, start);
}

bool DirectoryBrowser::setDirectory(const std::string& dir) {
  if (dir.empty()) return false;
  const QString cleaned = QDir::cleanPath(QDir(pathText(dir)).absolutePath());
  const QDir shown(cleaned);
  if (!shown.exists() || !shown.isReadable()) return false;
  dir_ = pathBytes(cleaned);
  if (dir_.back() != '/') dir_ += '/';
  label_->setText(label_->wordWrap() ? cleaned
                                     : label_->fontMetrics().elidedText(cleaned, Qt::ElideLeft,
                                                                        std::max(label_->width(), 200)));
  label_->setToolTip(cleaned);
  // The drive entry is the longest one the directory lies under.
  int drive = 0;
  for (int i = 0; i < drives_->count(); ++i) {
    const QString root = QDir::cleanPath(drives_->itemData(i, kPathRole).toString());
    if (cleaned == root || cleaned.startsWith(root == "/" ? root : root + "/")) drive = i;
  }
  drives_->setCurrentIndex(drive);
  fillDirectories();
  return true;
}

void DirectoryBrowser::fillDirectories() {
  directories_->clear();
  const QString current = QDir::cleanPath(pathText(dir_));
  QStyle* style = QApplication::style();
  const QIcon open = style->standardIcon(QStyle::SP_DirOpenIcon);
  const QIcon closed = style->standardIcon(QStyle::SP_DirClosedIcon);
  QString path = "/";
  auto* root = new QListWidgetItem(open, "/", directories_);
  root->setData(kPathRole, path);
  QListWidgetItem* currentItem = root;
  int depth = 0;
  for (const QString& part : current.split('/', Qt::SkipEmptyParts)) {
    path = QDir::cleanPath(path + "/" + part);
    ++depth;
    auto* item = new QListWidgetItem(open, QString(depth * 2, ' ') + part, directories_);
    item->setData(kPathRole, path);
    currentItem = item;
  }
  const QStringList children =
      QDir(current).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name | QDir::IgnoreCase);
  for (const QString& child : children) {
    // Links to devices (a port linked as COM2) are not directories to enter.
    if (!QFileInfo(current + "/" + child).isDir()) continue;
    auto* item = new QListWidgetItem(closed, QString((depth + 1) * 2, ' ') + child, directories_);
    item->setData(kPathRole, QDir::cleanPath(current + "/" + child));
  }
  directories_->setCurrentItem(currentItem);
}

void DirectoryBrowser::choose(const QString& path) {
  if (setDirectory(pathBytes(path))) emit directoryChosen();
}

bool DirectoryBrowser::eventFilter(QObject* watched, QEvent* event) {
  // Enter in the directory list enters the directory instead of pressing the
  // window's default button.
  if (watched == directories_ && event->type() == QEvent::KeyPress) {
    const int key = static_cast<QKeyEvent*>(event)->key();
    if ((key == Qt::Key_Return || key == Qt::Key_Enter) && directories_->currentItem()) {
      choose(directories_->currentItem()->data(kPathRole).toString());
      return true;
    }
  }
  return QObject::eventFilter(watched, event);
}

}  // namespace qxr
