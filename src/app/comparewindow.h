#pragma once
// The program on the controller beside the editor's, opened by "Compare with
// controller" on the program page: every line of both laid side by side,
// the lines that differ marked, and the first difference selected.
#include <QDialog>
#include <string>
#include <vector>

#include "nc/programcompare.h"

class QLabel;
class QTableWidget;

namespace qxr {

class TCompareForm : public QDialog {
  Q_OBJECT
 public:
  // Lines are bytes of the language's code page; `summary` is the page's
  // line about the comparison (UTF-8).
  TCompareForm(int language, const std::vector<std::string>& controllerLines,
               const std::vector<std::string>& editorLines, const std::string& summary, QWidget* parent = nullptr);

  QTableWidget* table() const { return table_; }
  // Rows that differ (a line only one side has, or a changed line).
  int differenceCount() const { return differences_; }

 private:
  QTableWidget* table_ = nullptr;
  QLabel* summary_ = nullptr;
  int differences_ = 0;
};

}  // namespace qxr
