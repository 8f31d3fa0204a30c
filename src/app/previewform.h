#pragma once
// The tool-path preview in a window of its own, opened from the program
// page: the editor's program converted leniently (what the conversion
// refuses is listed and left out) and drawn whole, beside its text.
#include <QDialog>
#include <memory>
#include <string>
#include <vector>

#include "base/session.h"
#include "sim/convert.h"
#include "sim/preview.h"

class QLabel;
class QListWidget;
class QPlainTextEdit;
class QPushButton;

namespace qxr {

class TPreviewWidget;

class TPreviewForm : public QDialog {
  Q_OBJECT
 public:
  // `programLines`: the program as bytes of the session's code page.
  TPreviewForm(const Session& session, const std::vector<std::string>& programLines, QWidget* parent = nullptr);

  TPreviewWidget* preview() const { return preview_; }
  QPlainTextEdit* programBox() const { return programBox_; }
  QListWidget* warningList() const { return warnings_; }
  const std::vector<ConversionWarning>& warnings() const { return conversionWarnings_; }

 private:
  const Session& session_;
  std::vector<ConversionWarning> conversionWarnings_;
  TPreviewWidget* preview_ = nullptr;
  QPlainTextEdit* programBox_ = nullptr;
  QListWidget* warnings_ = nullptr;
  QLabel* summary_ = nullptr;
  QPushButton* closeBtn_ = nullptr;
};

}  // namespace qxr
