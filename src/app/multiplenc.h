#pragma once
// The multiple-program transfer window: the mode, the programs to read
// (68 check boxes with three range switches) or the files to write, and the
// directory. The batch itself runs in the core after the window has closed.
#include <QDialog>
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "base/filechoice.h"
#include "nc/multiple.h"

class QCheckBox;
class QComboBox;
class QFrame;
class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;

namespace qxr {

class DirectoryBrowser;
struct Session;
class TRadioGroup;

class TMultipleNCForm : public QDialog {
  Q_OBJECT
 public:
  // startDir: the directory shown first.
  TMultipleNCForm(Session& session, FileChoice& fileChoice, const std::string& startDir,
                  QWidget* parent = nullptr);

  // The choices as OK left them (chosen false after Cancel or closing).
  const MultipleChoice& choice() const { return choice_; }
  const ProgramSelection& selection() const { return selection_; }
  // The directory shown (absolute, with a trailing separator).
  const std::string& directory() const;
  void setDirectory(const std::string& dir);

  TRadioGroup* ModeSelect = nullptr;
  QLabel* Label1 = nullptr;
  QLabel* DirLabel = nullptr;
  QComboBox* DriveComboBox1 = nullptr;
  QListWidget* DirectoryListBox1 = nullptr;
  QComboBox* FilterComboBox1 = nullptr;
  QPushButton* NewDir = nullptr;
  // Read many.
  QFrame* Panel1 = nullptr;
  std::array<QCheckBox*, kBatchProgramCount> CheckBoxes{};  // CheckBox1 .. CheckBox68
  QPushButton* SelAllBtn = nullptr;
  QPushButton* CancelSelBtn = nullptr;
  QCheckBox* MoreChkBox0 = nullptr;
  QCheckBox* MoreChkBox1 = nullptr;
  QCheckBox* MoreChkBox2 = nullptr;
  QLabel* PrefixLabel = nullptr;
  QLineEdit* FirstFilenameEdit = nullptr;
  // Write many.
  QListWidget* FileCheckListBox = nullptr;
  QPushButton* SelAllBtn2 = nullptr;
  QPushButton* CancelSelBtn2 = nullptr;
  QCheckBox* InquireChk = nullptr;
  QPushButton* OKBtn = nullptr;
  QPushButton* CancelBtn = nullptr;

  void ModeSelectClick();
  void FileListOnChange();
  void SelAllBtnClick();
  void CancelSelBtnClick();
  void SelAllBtn2Click();
  void CancelSelBtn2Click();
  void MoreChkBoxClick(int range);
  void NewDirClick();
  void InquireChkClick();
  void OKBtnClick();
  void CancelBtnClick();

 private:
  void buildProgramPanel();
  void syncCheckBoxes();
  QCheckBox* rangeSwitch(int range) const;

  Session& session_;
  FileChoice& fileChoice_;
  MultipleChoice choice_;
  ProgramSelection selection_;
  DirectoryBrowser* browser_ = nullptr;
};

// Shows the window modally. Tests may set a hook that receives the built
// window instead of the modal loop (it can click and press OK); the previous
// hook is returned.
using MultipleFormHook = std::function<void(TMultipleNCForm& window)>;
MultipleFormHook setMultipleFormHook(MultipleFormHook hook);
void runMultipleForm(TMultipleNCForm& window);

// Whether `lines`, the program editor's text after a batch, is what one of
// the batch's files holds. A batch that stopped short, or met programs the
// controller does not hold, then leaves no unsaved mark for a program it
// saved or sent from its file.
bool editorHoldsBatchFile(const MultipleChoice& choice, bool withName, const std::vector<std::string>& lines);

}  // namespace qxr
