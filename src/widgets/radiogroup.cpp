#include "widgets/radiogroup.h"

#include <QButtonGroup>
#include <QRadioButton>
#include <QVBoxLayout>

namespace qxr {

TRadioGroup::TRadioGroup(const QString& caption, QWidget* parent)
    : QGroupBox(caption, parent), group_(new QButtonGroup(this)) {
  new QVBoxLayout(this);
  connect(group_, &QButtonGroup::idClicked, this, &TRadioGroup::clicked);
}

void TRadioGroup::setItems(const QStringList& items) {
  for (QRadioButton* b : buttons_) {
    group_->removeButton(b);
    delete b;
  }
  buttons_.clear();
  for (int i = 0; i < items.size(); ++i) {
    auto* b = new QRadioButton(items[i], this);
    b->setObjectName(objectName() + QString::number(i));
    group_->addButton(b, i);
    layout()->addWidget(b);
    buttons_.push_back(b);
  }
}

int TRadioGroup::itemIndex() const { return group_->checkedId(); }

void TRadioGroup::setItemIndex(int index) {
  if (index < 0 || index >= count()) {
    // An exclusive group keeps one button checked; lift that while clearing.
    group_->setExclusive(false);
    for (QRadioButton* b : buttons_) b->setChecked(false);
    group_->setExclusive(true);
    return;
  }
  buttons_[static_cast<std::size_t>(index)]->setChecked(true);
}

QRadioButton* TRadioGroup::button(int index) const {
  return (index >= 0 && index < count()) ? buttons_[static_cast<std::size_t>(index)] : nullptr;
}

}  // namespace qxr
