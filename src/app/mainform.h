#pragma once
// The main window: three pages (NC program, parameters, PLC program).
#include <QWidget>

#include "app/session.h"

class QTabWidget;
class QWidget;

namespace qxr {

class TMainForm : public QWidget {
  Q_OBJECT
 public:
  // startDir: the start directory (the current directory when empty).
  explicit TMainForm(const std::string& startDir = {}, QWidget* parent = nullptr);
  ~TMainForm() override;

  Session& session() { return session_; }

  QTabWidget* PageControl = nullptr;
  QWidget* ProgramSheet = nullptr;
  QWidget* ParameterSheet = nullptr;
  QWidget* PLMSheet = nullptr;

 protected:
  void closeEvent(QCloseEvent* event) override;

 private:
  void FormClose();
  Session session_;
};

}  // namespace qxr
