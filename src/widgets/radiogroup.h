#pragma once
// A captioned group of radio buttons with an item index, as the windows'
// radio groups (`TypeSel`, `StepSel`, `SetUnit`, `ModeSelect`) are used.
#include <QGroupBox>
#include <QStringList>
#include <vector>

class QButtonGroup;
class QRadioButton;

namespace qxr {

class TRadioGroup : public QGroupBox {
  Q_OBJECT
 public:
  explicit TRadioGroup(const QString& caption, QWidget* parent = nullptr);

  void setItems(const QStringList& items);
  int count() const { return static_cast<int>(buttons_.size()); }
  // -1 when no item is selected.
  int itemIndex() const;
  // Selects an item without emitting clicked(); -1 clears the selection.
  void setItemIndex(int index);
  QRadioButton* button(int index) const;

 signals:
  // The operator chose an item.
  void clicked(int index);

 private:
  QButtonGroup* group_;
  std::vector<QRadioButton*> buttons_;
};

}  // namespace qxr
