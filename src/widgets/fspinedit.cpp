#include "widgets/fspinedit.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace qxr {

TFSpinEdit::TFSpinEdit(QWidget* parent)
    : QWidget(parent), edit_(new QLineEdit(this)), up_(new QToolButton(this)), down_(new QToolButton(this)) {
  auto* row = new QHBoxLayout(this);
  row->setContentsMargins(0, 0, 0, 0);
  row->setSpacing(0);
  row->addWidget(edit_, 1);
  auto* arrows = new QVBoxLayout;
  arrows->setContentsMargins(0, 0, 0, 0);
  arrows->setSpacing(0);
  for (QToolButton* b : {up_, down_}) {
    b->setFocusPolicy(Qt::NoFocus);
    b->setAutoRepeat(true);
    b->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    b->setFixedWidth(16);
    arrows->addWidget(b);
  }
  up_->setArrowType(Qt::UpArrow);
  down_->setArrowType(Qt::DownArrow);
  up_->setObjectName("Up");
  down_->setObjectName("Down");
  row->addLayout(arrows);
  setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
  setFixedHeight(edit_->sizeHint().height());
  setFocusProxy(edit_);
  edit_->installEventFilter(this);
  edit_->setText("0");
  connect(up_, &QToolButton::clicked, this, &TFSpinEdit::UpClick);
  connect(down_, &QToolButton::clicked, this, &TFSpinEdit::DownClick);
  connect(edit_, &QLineEdit::textChanged, this, [this] { emit valueChanged(Value()); });
}

double TFSpinEdit::Value() const {
  // Reads the leading number as the usual decimal conversion does: "12x" is
  // 12, "-" or "" is 0.
  const QString t = edit_->text().trimmed();
  int end = 0;
  if (end < t.size() && (t[end] == '-' || t[end] == '+')) ++end;
  bool dot = false;
  while (end < t.size() && (t[end].isDigit() || (t[end] == '.' && !dot))) {
    if (t[end] == '.') dot = true;
    ++end;
  }
  bool ok = false;
  const double v = t.left(end).toDouble(&ok);
  return ok ? v : 0.0;
}

QString TFSpinEdit::format(double value) {
  if (value == std::floor(value) && std::fabs(value) < 1e15) return QString::number(static_cast<long long>(value));
  return QString::number(value, 'g', 12);
}

void TFSpinEdit::SetValue(double value) {
  if (std::isnan(value) || value < min_ || value > max_) return;
  setText(format(value));
}

QString TFSpinEdit::text() const { return edit_->text(); }
void TFSpinEdit::setText(const QString& text) { edit_->setText(text); }

void TFSpinEdit::SetEditorEnabled(bool enabled) {
  editorEnabled_ = enabled;
  edit_->setReadOnly(readOnly_ || !editorEnabled_);
}

void TFSpinEdit::SetReadOnly(bool readOnly) {
  readOnly_ = readOnly;
  edit_->setReadOnly(readOnly_ || !editorEnabled_);
}

void TFSpinEdit::SetMaxLength(int length) { edit_->setMaxLength(length); }

void TFSpinEdit::step(double delta) {
  if (readOnly_) {
    QApplication::beep();
    return;
  }
  if (edit_->text().isEmpty()) setText(format(min_));
  SetValue(Value() + delta);
}

void TFSpinEdit::UpClick() { step(increment_); }
void TFSpinEdit::DownClick() { step(-increment_); }

bool TFSpinEdit::isAcceptedKey(int key, const QString& text) {
  if (key == Qt::Key_Backspace || key == Qt::Key_Return || key == Qt::Key_Enter) return true;
  if (text.size() != 1) return false;
  const QChar c = text[0];
  return (c >= '0' && c <= '9') || c == '-' || c == '.';
}

bool TFSpinEdit::eventFilter(QObject* watched, QEvent* event) {
  if (watched == edit_ && event->type() == QEvent::KeyPress) {
    auto* key = static_cast<QKeyEvent*>(event);
    // Navigation and editing shortcuts carry no text; only characters are
    // filtered, as typing is what may put a non-number into the box.
    const bool typesText = !key->text().isEmpty() && key->text()[0].isPrint() &&
                           !(key->modifiers() & (Qt::ControlModifier | Qt::AltModifier));
    const bool special = key->key() == Qt::Key_Backspace || key->key() == Qt::Key_Return ||
                         key->key() == Qt::Key_Enter;
    if ((typesText || special) && !isAcceptedKey(key->key(), key->text())) {
      QApplication::beep();
      return true;
    }
    if (key->key() == Qt::Key_Up) {
      UpClick();
      return true;
    }
    if (key->key() == Qt::Key_Down) {
      DownClick();
      return true;
    }
  }
  return QWidget::eventFilter(watched, event);
}

}  // namespace qxr
