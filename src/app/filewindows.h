#pragma once
// The system's own file windows: open (`TOpenFileForm`), save
// (`TSaveFileForm`) and new directory (`TNewDirForm`). Filters and default
// extensions follow the page the window serves; the chosen path goes to the
// shared FileChoice.
#include <QDialog>
#include <functional>
#include <string>

#include "base/filechoice.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class QToolButton;

namespace qxr {

class DirectoryBrowser;
struct Session;

// The drive, directory and file lists, the filter list and the name field
// that both file windows share.
class TFileWindowBase : public QDialog {
  Q_OBJECT
 public:
  // The directory shown (absolute, with a trailing separator).
  const std::string& directory() const;
  // Shows another directory; ignored when it cannot be read.
  void setDirectory(const std::string& dir);
  int page() const { return page_; }

  QComboBox* DriveComboBox1 = nullptr;
  QListWidget* DirectoryListBox1 = nullptr;
  QListWidget* FileListBox1 = nullptr;
  QComboBox* FilterComboBox1 = nullptr;
  QLineEdit* FileEdit = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* DirLabel = nullptr;  // the shown directory

 protected:
  TFileWindowBase(const Session& session, int page, bool save, FileChoice& choice, const std::string& startDir,
                  QWidget* parent);
  // Refreshes the lists after a change of drive, directory or filter.
  virtual void directoryChanged() {}
  // When the typed name is an existing directory, shows it and returns true.
  bool enterTypedDirectory();
  bool eventFilter(QObject* watched, QEvent* event) override;
  void showEvent(QShowEvent* event) override;
  std::string typedName() const;

  const Session& session_;
  FileChoice& choice_;
  int page_;
  bool save_;
  QWidget* buttonColumn_ = nullptr;

 private:
  void fillFiles();
  DirectoryBrowser* browser_ = nullptr;
};

class TOpenFileForm : public TFileWindowBase {
  Q_OBJECT
 public:
  TOpenFileForm(const Session& session, int page, FileChoice& choice, const std::string& startDir,
                QWidget* parent = nullptr);

  QPushButton* OpenOKBtn = nullptr;
  QPushButton* OpenCloseBtn = nullptr;

  void OpenOKBtnClick();
  void OpenCloseBtnClick();
};

class TSaveFileForm : public TFileWindowBase {
  Q_OBJECT
 public:
  TSaveFileForm(const Session& session, int page, FileChoice& choice, const std::string& startDir,
                QWidget* parent = nullptr);

  QPushButton* SaveOKBtn = nullptr;
  QPushButton* SaveCloseBtn = nullptr;
  QToolButton* NewDir = nullptr;

  void SaveOKBtnClick();
  void SaveCloseBtnClick();
  void NewDirClick();
  void DirectoryListBox1Change();

 protected:
  void directoryChanged() override { DirectoryListBox1Change(); }
};

class TNewDirForm : public QDialog {
  Q_OBJECT
 public:
  // Makes a directory inside choice.newDirCurrent; on success that becomes
  // the new directory's path.
  TNewDirForm(const Session& session, FileChoice& choice, QWidget* parent = nullptr);

  QLabel* Label1 = nullptr;
  QLabel* NowDir = nullptr;
  QLabel* Label2 = nullptr;
  QLineEdit* NewDirEdit = nullptr;
  QPushButton* ConfirmBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

  void ConfirmBtnClick();
  void CancelBtnClick();

 protected:
  void showEvent(QShowEvent* event) override;

 private:
  const Session& session_;
  FileChoice& choice_;
};

// `NewDirClick` of a window that shows `dir`: runs the new-directory window
// and returns the directory to show afterwards (the new one when made).
std::string runNewDirWindow(const Session& session, FileChoice& choice, const std::string& dir, QWidget* parent);

// Runs a file window modally. Tests may set a hook that receives the built
// window instead (it can fill FileEdit and press a button); the previous
// hook is returned.
using FileWindowHook = std::function<void(QDialog& window)>;
FileWindowHook setFileWindowHook(FileWindowHook hook);
void runFileWindow(QDialog& window);

}  // namespace qxr
