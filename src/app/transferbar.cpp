#include "app/transferbar.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QVBoxLayout>

#include "base/controltexts.h"

namespace qxr {

TransferBar::TransferBar(int language, QWidget* parent) : QWidget(parent), language_(language) {
  setObjectName("TransferBar");
  bar_ = new QProgressBar(this);
  bar_->setObjectName("TransferProgress");
  bar_->setTextVisible(true);
  stop_ = new QPushButton(QString::fromStdString(controlText(language, ControlText::kStopButton)), this);
  stop_->setObjectName("StopBtn");
  stop_->setToolTip(QString::fromStdString(controlText(language, ControlText::kStopTip)));
  label_ = new QLabel(this);
  label_->setObjectName("TransferProgressText");
  label_->setWordWrap(true);
  auto* row = new QHBoxLayout;
  row->setContentsMargins(0, 0, 0, 0);
  row->addWidget(bar_, 1);
  row->addWidget(stop_);
  auto* column = new QVBoxLayout(this);
  column->setContentsMargins(0, 0, 0, 0);
  column->setSpacing(2);
  column->addLayout(row);
  column->addWidget(label_);
  connect(stop_, &QPushButton::clicked, this, &TransferBar::stopClicked);
  hide();
}

void TransferBar::start() {
  clearProgress();
  stop_->setEnabled(true);
  show();
}

void TransferBar::clearProgress() {
  bar_->setRange(0, 1);
  bar_->setValue(0);
  bar_->setFormat(QString());
  label_->clear();
}

void TransferBar::showProgress(const ProgressSnapshot& progress) {
  const int perMille = progress.perMille();
  if (perMille < 0) {
    bar_->setRange(0, 0);  // busy: the total is not known
  } else {
    bar_->setRange(0, 1000);
    bar_->setValue(perMille);
    bar_->setFormat(QStringLiteral("%1 / %2").arg(progress.done).arg(progress.total));
  }
  const QString text = QString::fromStdString(progressText(language_, progress));
  label_->setText(text);
  label_->setToolTip(text);
  if (!isVisible()) show();
}

void TransferBar::stopping() { stop_->setEnabled(false); }

}  // namespace qxr
