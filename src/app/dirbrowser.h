#pragma once
// The drive and directory lists of the system's file windows (open, save,
// multiple-program transfer). "Drives" are the root, the home directory and
// the start directory; the directory list shows the path from the root down
// to the shown directory, then its subdirectories.
#include <QObject>
#include <QString>
#include <string>

class QComboBox;
class QLabel;
class QListWidget;
class QListWidgetItem;

namespace qxr {

// File names are bytes on Linux; the lists show them decoded.
QString pathText(const std::string& path);
std::string pathBytes(const QString& text);

class DirectoryBrowser : public QObject {
  Q_OBJECT
 public:
  // The widgets stay the window's (its layout and names); the browser fills
  // them and follows the operator's choices.
  DirectoryBrowser(QComboBox* drives, QListWidget* directories, QLabel* label, const std::string& startDir,
                   QObject* parent);

  // The directory shown (absolute, with a trailing separator).
  const std::string& directory() const { return dir_; }
  // Shows another directory; false (and nothing changes) when it cannot be read.
  bool setDirectory(const std::string& dir);

 signals:
  // The operator chose another drive or directory.
  void directoryChosen();

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void fillDrives(const std::string& startDir);
  void fillDirectories();
  void choose(const QString& path);

  QComboBox* drives_;
  QListWidget* directories_;
  QLabel* label_;
  std::string dir_;
};

}  // namespace qxr
