#include "app/comparewindow.h"

#include <QBrush>
#include <QColor>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QTableWidget>
#include <QVBoxLayout>

#include "base/codec.h"

namespace qxr {

namespace {

QString shown(const std::string& bytes, int language) { return QString::fromStdString(bytesToUtf8(bytes, language)); }

}  // namespace

TCompareForm::TCompareForm(int language, const std::vector<std::string>& controllerLines,
                           const std::vector<std::string>& editorLines, const std::string& summary, QWidget* parent)
    : QDialog(parent) {
  const bool english = language == 1;
  setObjectName(QStringLiteral("CompareForm"));
  setWindowTitle(english ? QStringLiteral("Compare with controller") : QString::fromUtf8("與控制器比對"));
  summary_ = new QLabel(QString::fromStdString(summary), this);
  summary_->setWordWrap(true);
  table_ = new QTableWidget(this);
  table_->setObjectName(QStringLiteral("CompareTable"));
  table_->setColumnCount(4);
  table_->setHorizontalHeaderLabels(
      english ? QStringList{QStringLiteral("N"), QStringLiteral("Controller"), QStringLiteral("N"),
                            QStringLiteral("Editor")}
              : QStringList{QStringLiteral("N"), QString::fromUtf8("控制器"), QStringLiteral("N"),
                            QString::fromUtf8("編輯區")});
  table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
  table_->setSelectionBehavior(QAbstractItemView::SelectRows);
  table_->setSelectionMode(QAbstractItemView::SingleSelection);
  table_->verticalHeader()->hide();
  table_->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
  table_->horizontalHeader()->setSectionResizeMode(3, QHeaderView::Stretch);

  // A run of lines only the controller has, then one of lines only the
  // editor has, are laid side by side as changed lines.
  const std::vector<AlignedRow> aligned = alignLines(controllerLines, editorLines);
  std::vector<AlignedRow> rows;
  for (std::size_t k = 0; k < aligned.size();) {
    if (aligned[k].equal()) {
      rows.push_back(aligned[k++]);
      continue;
    }
    std::size_t removedEnd = k;
    while (removedEnd < aligned.size() && aligned[removedEnd].second < 0) ++removedEnd;
    std::size_t addedEnd = removedEnd;
    while (addedEnd < aligned.size() && aligned[addedEnd].first < 0) ++addedEnd;
    const std::size_t removed = removedEnd - k, added = addedEnd - removedEnd;
    for (std::size_t i = 0; i < std::max(removed, added); ++i)
      rows.push_back({i < removed ? aligned[k + i].first : -1, i < added ? aligned[removedEnd + i].second : -1});
    k = addedEnd;
  }

  table_->setRowCount(static_cast<int>(rows.size()));
  const QBrush marked(QColor(255, 226, 180));
  int firstDifference = -1;
  for (std::size_t r = 0; r < rows.size(); ++r) {
    const AlignedRow& row = rows[r];
    const bool same = row.first >= 0 && row.second >= 0 &&
                      controllerLines[std::size_t(row.first)] == editorLines[std::size_t(row.second)];
    const auto put = [&](int column, const QString& text) {
      auto* item = new QTableWidgetItem(text);
      if (!same) item->setBackground(marked);
      table_->setItem(static_cast<int>(r), column, item);
    };
    put(0, row.first >= 0 ? QString::number(row.first + 1) : QString());
    put(1, row.first >= 0 ? shown(controllerLines[std::size_t(row.first)], language) : QString());
    put(2, row.second >= 0 ? QString::number(row.second + 1) : QString());
    put(3, row.second >= 0 ? shown(editorLines[std::size_t(row.second)], language) : QString());
    if (!same) {
      ++differences_;
      if (firstDifference < 0) firstDifference = static_cast<int>(r);
    }
  }
  table_->resizeColumnToContents(0);
  table_->resizeColumnToContents(2);
  if (firstDifference >= 0) {
    table_->selectRow(firstDifference);
    table_->scrollToItem(table_->item(firstDifference, 1), QAbstractItemView::PositionAtCenter);
  }

  auto* close = new QPushButton(english ? QStringLiteral("Close") : QString::fromUtf8("關閉"), this);
  close->setObjectName(QStringLiteral("CompareCloseBtn"));
  connect(close, &QPushButton::clicked, this, &QDialog::accept);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(summary_);
  layout->addWidget(table_, 1);
  layout->addWidget(close, 0, Qt::AlignRight);
  resize(760, 520);
}

}  // namespace qxr
