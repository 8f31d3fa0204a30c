#pragma once
// The Journal window: the recorded transfers, newest first, filtered by
// machine, program, result and date; a row is copied as tab-separated text.
#include <QDialog>
#include <string>
#include <vector>

#include "shop/journal.h"

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace qxr {

class TJournalForm : public QDialog {
  Q_OBJECT
 public:
  // machines: the names offered in the machine filter.
  TJournalForm(Journal& journal, const std::vector<std::string>& machines, int language, QWidget* parent = nullptr);

  QComboBox* MachineFilter = nullptr;  // editable; empty: every machine
  QSpinBox* ProgramFilter = nullptr;   // 0: every program
  QComboBox* ResultFilter = nullptr;   // 0: every result
  QCheckBox* SinceCheck = nullptr;
  QDateEdit* SinceEdit = nullptr;      // UTC day
  QTableWidget* RecordTable = nullptr;
  QPushButton* RefreshBtn = nullptr;
  QPushButton* CopyBtn = nullptr;
  QPushButton* CloseBtn = nullptr;
  QLabel* StatusLabel = nullptr;

  void Refresh();
  // The selected row as tab-separated text, also put on the clipboard.
  QString CopyBtnClick();
  JournalFilter filter() const;

 protected:
  void keyPressEvent(QKeyEvent* event) override;

 private:
  QString text(const char* english, const char* chinese) const;
  Journal& journal_;
  int language_;
};

}  // namespace qxr
