#pragma once
// The Machines window: the machines of the start directory's Machines.ini,
// added, edited and removed; the lines the file could not take are shown
// with their line numbers. Saving changes only the machine concerned.
#include <QDialog>
#include <string>

#include "shop/machines.h"

class QComboBox;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QSpinBox;

namespace qxr {

class TMachinesForm : public QDialog {
  Q_OBJECT
 public:
  TMachinesForm(const std::string& startDir, int language, QWidget* parent = nullptr);

  QListWidget* MachineList = nullptr;
  QLineEdit* NameEdit = nullptr;
  QComboBox* ModelSelect = nullptr;
  QComboBox* VersionSelect = nullptr;
  QLineEdit* PortEdit = nullptr;
  QComboBox* BaudSelect = nullptr;
  QSpinBox* TimeoutEdit = nullptr;
  QComboBox* ModeSelect = nullptr;
  QSpinBox* PacingEdit = nullptr;
  QLineEdit* FolderEdit = nullptr;
  QPushButton* SaveBtn = nullptr;
  QPushButton* RemoveBtn = nullptr;
  QPushButton* NewBtn = nullptr;
  QPushButton* CloseBtn = nullptr;
  QLabel* StatusLabel = nullptr;  // the file's bad lines, or what the last action did

  // The machine in the fields is added, or replaces the one of its name.
  bool SaveBtnClick();
  bool RemoveBtnClick();
  void NewBtnClick();
  const MachineFile& file() const { return file_; }

 private:
  QString text(const char* english, const char* chinese) const;
  void reload(const QString& select = {});
  void showMachine(const Machine& machine);
  bool write(const MachineFile& file);
  std::string startDir_;
  int language_;
  MachineFile file_;
};

}  // namespace qxr
