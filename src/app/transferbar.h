#pragma once
// The strip a page shows while one of its transfers runs: a progress bar,
// the count, rate and time left, the Stop button, and the question whether
// to quit, asked in the strip so that the transfer goes on while it shows.
#include <QWidget>

#include "base/progress.h"

class QLabel;
class QProgressBar;
class QPushButton;

namespace qxr {

class TransferBar : public QWidget {
  Q_OBJECT
 public:
  TransferBar(int language, QWidget* parent);

  // Shows the strip with the Stop button and no count yet.
  void start();
  void showProgress(const ProgressSnapshot& progress);
  // The count is gone; the strip stays while the operation runs.
  void clearProgress();
  void stopping();
  // The quit question: "Stop and quit" or "Keep going".
  void askToQuit();
  void hideQuitQuestion();

  QWidget* quitQuestion() const { return quit_; }
  QPushButton* stopAndQuitButton() const { return stopAndQuit_; }
  QPushButton* keepGoingButton() const { return keepGoing_; }

  QProgressBar* bar() const { return bar_; }
  QLabel* label() const { return label_; }
  QPushButton* stopButton() const { return stop_; }

 signals:
  void stopClicked();
  void stopAndQuitClicked();

 private:
  int language_;
  QProgressBar* bar_;
  QLabel* label_;
  QPushButton* stop_;
  QWidget* quit_;
  QPushButton* stopAndQuit_;
  QPushButton* keepGoing_;
};

}  // namespace qxr
