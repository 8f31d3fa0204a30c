#pragma once
// A spin edit for decimal values: an edit box with up and down buttons.
// Typing is limited to the characters of a number; setting a value outside
// MinValue-MaxValue keeps the previous one.
#include <QWidget>

class QLineEdit;
class QToolButton;

namespace qxr {

class TFSpinEdit : public QWidget {
  Q_OBJECT
 public:
  explicit TFSpinEdit(QWidget* parent = nullptr);

  // The text read as a decimal number (0 when it holds none).
  double Value() const;
  // Ignored (the old value stays) when outside MinValue-MaxValue.
  void SetValue(double value);

  double MinValue() const { return min_; }
  void SetMinValue(double value) { min_ = value; }
  double MaxValue() const { return max_; }
  void SetMaxValue(double value) { max_ = value; }
  double Increment() const { return increment_; }
  void SetIncrement(double value) { increment_ = value; }
  // False: the text cannot be typed into; the buttons still step.
  bool EditorEnabled() const { return editorEnabled_; }
  void SetEditorEnabled(bool enabled);
  // True: neither typing nor the buttons change the value; the buttons beep.
  bool ReadOnly() const { return readOnly_; }
  void SetReadOnly(bool readOnly);
  void SetMaxLength(int length);

  QString text() const;
  void setText(const QString& text);

  QLineEdit* editor() const { return edit_; }
  QToolButton* upButton() const { return up_; }
  QToolButton* downButton() const { return down_; }

  // The buttons' actions.
  void UpClick();
  void DownClick();

  // Whether a typed character is accepted: digits, "-", ".", backspace, Enter.
  static bool isAcceptedKey(int key, const QString& text);

 signals:
  // The text, and so Value(), changed (by typing, the buttons or SetValue).
  void valueChanged(double value);

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void step(double delta);
  static QString format(double value);

  QLineEdit* edit_;
  QToolButton* up_;
  QToolButton* down_;
  double min_ = 0;
  double max_ = 100;
  double increment_ = 1;
  bool editorEnabled_ = true;
  bool readOnly_ = false;
};

}  // namespace qxr
