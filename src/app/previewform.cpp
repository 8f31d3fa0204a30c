#include "app/previewform.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSplitter>
#include <QTextBlock>
#include <QVBoxLayout>

#include "base/codec.h"
#include "sim/previewtexts.h"
#include "app/previewwidget.h"

namespace qxr {

TPreviewForm::TPreviewForm(const Session& session, const std::vector<std::string>& programLines, QWidget* parent)
    : QDialog(parent), session_(session) {
  const int language = session_.language();
  setObjectName("PreviewForm");
  setWindowTitle(QString::fromStdString(previewText(language, PreviewText::kWindowTitle)));
  setSizeGripEnabled(true);
  resize(1000, 660);

  LenientConversion conversion = convertLeniently(programLines);
  conversionWarnings_ = std::move(conversion.warnings);
  auto path = std::make_shared<PreviewPath>(buildPreviewPath(conversion.table));
  conversion.table.clear();

  preview_ = new TPreviewWidget(language, this);
  preview_->setMinimumSize(320, 240);

  QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
  fixed.setPixelSize(14);
  programBox_ = new QPlainTextEdit(this);
  programBox_->setObjectName("PreviewProgramMemo");
  programBox_->setFont(fixed);
  programBox_->setReadOnly(true);
  programBox_->setLineWrapMode(QPlainTextEdit::NoWrap);
  programBox_->setCenterOnScroll(true);
  QString text;
  for (std::size_t i = 0; i < programLines.size(); ++i) {
    if (i > 0) text += QLatin1Char('\n');
    text += QString::asprintf("N%04d  ", static_cast<int>(i + 1));
    text += QString::fromStdString(bytesToUtf8(programLines[i], language));
  }
  programBox_->setPlainText(text);

  warnings_ = new QListWidget(this);
  warnings_->setObjectName("PreviewWarnings");
  for (const ConversionWarning& warning : conversionWarnings_) {
    auto* item = new QListWidgetItem(QString::fromStdString(
        previewText(language, PreviewText::kSkipped, bytesToUtf8(warning.word, language), warning.line + 1)));
    item->setData(Qt::UserRole, warning.line);
    warnings_->addItem(item);
  }
  warnings_->setVisible(!conversionWarnings_.empty());

  summary_ = new QLabel(this);
  summary_->setObjectName("PreviewSummary");
  QString summary = QString::fromStdString(previewText(language, PreviewText::kMoves, {}, long(path->moves.size())));
  if (path->cutOff)
    summary += "  " + QString::fromStdString(previewText(language, PreviewText::kCutOff, {}, long(path->moves.size())));
  summary_->setText(summary);
  closeBtn_ = new QPushButton(QString::fromStdString(previewText(language, PreviewText::kClose)), this);
  closeBtn_->setObjectName("PreviewCloseBtn");
  closeBtn_->setAutoDefault(false);

  auto* side = new QSplitter(Qt::Vertical, this);
  side->addWidget(programBox_);
  side->addWidget(warnings_);
  side->setStretchFactor(0, 3);
  side->setStretchFactor(1, 1);
  auto* split = new QSplitter(Qt::Horizontal, this);
  split->addWidget(preview_);
  split->addWidget(side);
  split->setStretchFactor(0, 3);
  split->setStretchFactor(1, 1);
  split->setSizes({700, 300});
  auto* bottom = new QHBoxLayout;
  bottom->addWidget(summary_, 1);
  bottom->addWidget(closeBtn_);
  auto* layout = new QVBoxLayout(this);
  layout->addWidget(split, 1);
  layout->addLayout(bottom);

  preview_->setPath(std::move(path));

  connect(closeBtn_, &QPushButton::clicked, this, &QDialog::accept);
  connect(preview_, &TPreviewWidget::lineClicked, this, [this](int line) { selectProgramLine(programBox_, line); });
  connect(programBox_, &QPlainTextEdit::cursorPositionChanged, this,
          [this] { preview_->setSelectedLine(programBox_->textCursor().blockNumber()); });
  connect(warnings_, &QListWidget::currentItemChanged, this, [this](QListWidgetItem* item) {
    if (item != nullptr) selectProgramLine(programBox_, item->data(Qt::UserRole).toInt());
  });
}

}  // namespace qxr
