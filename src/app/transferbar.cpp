#include "app/transferbar.h"

#include <QFrame>
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

  quit_ = new QFrame(this);
  quit_->setObjectName("QuitQuestion");
  static_cast<QFrame*>(quit_)->setFrameShape(QFrame::StyledPanel);
  auto* question = new QLabel(
      QString::fromStdString(controlText(language, ControlText::kTransferRunning)).replace("\n\n", " "),
      quit_);
  question->setWordWrap(true);
  stopAndQuit_ =
      new QPushButton(QString::fromStdString(controlText(language, ControlText::kStopAndQuit)), quit_);
  stopAndQuit_->setObjectName("StopAndQuitBtn");
  keepGoing_ = new QPushButton(QString::fromStdString(controlText(language, ControlText::kKeepGoing)), quit_);
  keepGoing_->setObjectName("KeepGoingBtn");
  auto* answers = new QHBoxLayout;
  answers->addStretch();
  answers->addWidget(stopAndQuit_);
  answers->addWidget(keepGoing_);
  auto* quitColumn = new QVBoxLayout(quit_);
  quitColumn->setContentsMargins(4, 2, 4, 2);
  quitColumn->setSpacing(2);
  quitColumn->addWidget(question);
  quitColumn->addLayout(answers);
  column->addWidget(quit_);
  quit_->hide();
  connect(stopAndQuit_, &QPushButton::clicked, this, [this] {
    hideQuitQuestion();
    emit stopAndQuitClicked();
  });
  connect(keepGoing_, &QPushButton::clicked, this, &TransferBar::hideQuitQuestion);
  hide();
}

// The question takes the place of the progress text, so that the page's
// buttons keep their room.
void TransferBar::askToQuit() {
  show();
  label_->hide();
  quit_->show();
  keepGoing_->setFocus();
}

void TransferBar::hideQuitQuestion() {
  quit_->hide();
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

void TransferBar::stopping() {
  stop_->setEnabled(false);
}

}  // namespace qxr
