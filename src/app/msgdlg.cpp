#include "app/msgdlg.h"

#include <QApplication>
#include <QCloseEvent>
#include <QDialog>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QScreen>
#include <QStyle>
#include <QtDebug>
#include <array>

#include "base/catalogue.h"
#include "base/messages.h"
#include "app/dialoglayout.h"

namespace qxr {

namespace {

constexpr std::array<const char*, kDialogButtonKinds> kButtonNames = {
    "Yes", "No", "OK", "Cancel", "Abort", "Retry", "Ignore", "All", "NoToAll", "YesToAll", "Help"};
constexpr std::array<const char*, kMainVariantButtons> kMainButtonNames = {"EOBtn", "HOBtn", "JOBtn", "JLBtn"};
constexpr std::array<int, kDialogButtonKinds> kButtonResults = {mrYes,   mrNo,      mrOk,       mrCancel,
                                                                mrAbort, mrRetry,   mrIgnore,   mrAll,
                                                                mrNoToAll, mrYesToAll, mrNone};
constexpr std::array<const char*, 4> kKindCaptions = {"Warning", "Error", "Information", "Confirmation"};
constexpr std::array<QStyle::StandardPixmap, 4> kKindIcons = {
    QStyle::SP_MessageBoxWarning, QStyle::SP_MessageBoxCritical, QStyle::SP_MessageBoxInformation,
    QStyle::SP_MessageBoxQuestion};

struct CaptionState {
  const MessageCatalogue* catalogue = nullptr;
  QString applicationTitle;
  std::array<QString, kDialogButtonKinds> catalogueCaptions;
  std::array<QString, kMainVariantButtons> mainCaptions;
  MessageDialogHook hook;
};

CaptionState& state() {
  static CaptionState s;
  return s;
}

void reloadCatalogueCaptions() {
  CaptionState& s = state();
  for (int i = 0; i < kDialogButtonKinds; ++i)
    s.catalogueCaptions[static_cast<std::size_t>(i)] =
        s.catalogue ? QString::fromStdString(s.catalogue->text(msg::kYes + i)) : QString();
}

// A button without a caption cannot be told apart from its neighbours; the
// button's own name stands in when the catalogue has no text for it.
QString captionOrName(const QString& caption, int button) {
  return caption.isEmpty() ? QString::fromLatin1(kButtonNames[static_cast<std::size_t>(button)]) : caption;
}

// The message, drawn with exactly the flags it was measured with so that the
// lines break where the layout expects them.
class MessageLabel : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setFont(font());
    painter.setPen(palette().color(QPalette::WindowText));
    painter.drawText(rect(), Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap | Qt::TextExpandTabs, text());
  }
};

class MessageDialog : public QDialog {
 public:
  explicit MessageDialog(QWidget* parent) : QDialog(parent) {}
  QPushButton* cancelButton = nullptr;

 protected:
  void keyPressEvent(QKeyEvent* event) override {
    if (event->key() == Qt::Key_Escape && event->modifiers() == Qt::NoModifier) {
      // Escape presses the cancel button; without one it does nothing.
      if (cancelButton) cancelButton->click();
      event->accept();
      return;
    }
    QDialog::keyPressEvent(event);
  }
  // Closing the window without a button is the same as Cancel.
  void reject() override { done(mrCancel); }
  void showEvent(QShowEvent* event) override {
    QDialog::showEvent(event);
    // Centre the whole window, frame included, once the frame is known.
    if (QScreen* screen = this->screen()) {
      const QRect s = screen->geometry();
      const QSize frame = frameGeometry().size();
      move(s.left() + s.width() / 2 - frame.width() / 2, s.top() + s.height() / 2 - frame.height() / 2);
    }
  }
};

bool validDescription(const DialogButtons& buttons, bool secondary) {
  if (buttons.empty()) return false;
  const int n = buttons[0];
  if (n < 0 || static_cast<std::size_t>(n) + 1 > buttons.size()) return false;
  const int limit = secondary ? kDialogButtonKinds : kMainVariantButtons;
  for (int i = 1; i <= n; ++i)
    if (buttons[static_cast<std::size_t>(i)] < 0 || buttons[static_cast<std::size_t>(i)] >= limit) return false;
  return true;
}

}  // namespace

int dialogButtonResult(int button) {
  return (button >= 0 && button < kDialogButtonKinds) ? kButtonResults[static_cast<std::size_t>(button)] : mrNone;
}

void SetDialogCatalogue(const MessageCatalogue* catalogue) {
  state().catalogue = catalogue;
  reloadCatalogueCaptions();
}

void SetDialogApplicationTitle(const QString& title) { state().applicationTitle = title; }

void SetDialogButtonCaptions(int first, int count) {
  reloadCatalogueCaptions();
  CaptionState& s = state();
  for (int i = first; i < first + count; ++i)
    if (i >= 0 && i < kMainVariantButtons)
      s.mainCaptions[static_cast<std::size_t>(i)] = s.catalogueCaptions[static_cast<std::size_t>(i)];
}

QString mainVariantCaption(int button) {
  if (button < 0 || button >= kMainVariantButtons) return {};
  return state().mainCaptions[static_cast<std::size_t>(button)];
}

std::unique_ptr<QDialog> CreateMessageDialog(const QString& text, int kind, const DialogButtons& buttons,
                                             bool secondary) {
  if (!validDescription(buttons, secondary)) {
    qWarning("message dialog: refused button description");
    return nullptr;
  }
  const int n = buttons[0];
  const int focusPosition = static_cast<std::size_t>(n) + 1 < buttons.size() ? buttons[static_cast<std::size_t>(n) + 1] : -1;
  if (kind < mtWarning || kind > mtCustom) kind = mtCustom;

  auto dialog = std::make_unique<MessageDialog>(QApplication::activeWindow());
  dialog->setObjectName("MessageDialog");
  dialog->setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint |
                         Qt::WindowCloseButtonHint | Qt::CustomizeWindowHint);
  dialog->setModal(true);
  const QFont font = QApplication::font("QMessageBox");
  dialog->setFont(font);

  const QFontMetrics metrics(font);
  const QRect alphabet = metrics.boundingRect(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
  const int cx = averageCharWidth(metrics.horizontalAdvance(
      QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")));
  const int cy = std::max(alphabet.height(), metrics.height());
  const DialogUnits units = dialogUnits(cx, cy);

  QScreen* screen = QApplication::primaryScreen();
  const QRect screenRect = screen ? screen->geometry() : QRect(0, 0, 1024, 768);
  const QRect textRect = metrics.boundingRect(QRect(0, 0, screenRect.width() / 2, 0),
                                              Qt::AlignLeft | Qt::TextWordWrap | Qt::TextExpandTabs, text);
  const bool hasIcon = kind != mtCustom;
  const DialogLayout layout = layoutMessageDialog(units, textRect.width(), textRect.height(), hasIcon, n,
                                                  screenRect.width(), screenRect.height());
  dialog->setFixedSize(layout.clientWidth, layout.clientHeight);
  dialog->move(screenRect.left() + layout.windowLeft, screenRect.top() + layout.windowTop);
  dialog->setWindowTitle(kind == mtCustom ? state().applicationTitle
                                          : QString::fromLatin1(kKindCaptions[static_cast<std::size_t>(kind)]));

  if (hasIcon) {
    auto* image = new QLabel(dialog.get());
    image->setObjectName("Image");
    image->setGeometry(layout.icon.left, layout.icon.top, layout.icon.width, layout.icon.height);
    const QIcon icon = dialog->style()->standardIcon(kKindIcons[static_cast<std::size_t>(kind)], nullptr, dialog.get());
    image->setPixmap(icon.pixmap(kDialogIconSize, kDialogIconSize));
  }
  auto* message = new MessageLabel(text, dialog.get());
  message->setObjectName("Message");
  message->setWordWrap(true);
  message->setGeometry(layout.message.left, layout.message.top, layout.message.width, layout.message.height);

  // Default and cancel buttons: the first OK or Yes; the first Cancel or No,
  // or OK when there is neither. The main variant lets Escape press only a
  // real Cancel or No; with OK alone Escape does nothing there.
  int defaultPos = -1, cancelPos = -1, okPos = -1;
  for (int i = 0; i < n; ++i) {
    const int b = buttons[static_cast<std::size_t>(i) + 1];
    if (defaultPos < 0 && (b == mbOK || b == mbYes)) defaultPos = i;
    if (cancelPos < 0 && (b == mbCancel || b == mbNo)) cancelPos = i;
    if (okPos < 0 && b == mbOK) okPos = i;
  }
  if (cancelPos < 0 && secondary) cancelPos = okPos;

  QPushButton* focusButton = nullptr;
  QWidget* previous = nullptr;
  for (int i = 0; i < n; ++i) {
    const int b = buttons[static_cast<std::size_t>(i) + 1];
    const QString caption = secondary ? state().catalogueCaptions[static_cast<std::size_t>(b)]
                                      : state().mainCaptions[static_cast<std::size_t>(b)];
    auto* button = new QPushButton(captionOrName(caption, b), dialog.get());
    button->setObjectName(secondary ? kButtonNames[static_cast<std::size_t>(b)]
                                    : kMainButtonNames[static_cast<std::size_t>(b)]);
    const DialogRect& r = layout.buttons[static_cast<std::size_t>(i)];
    button->setGeometry(r.left, r.top, r.width, r.height);
    button->setAutoDefault(true);
    button->setDefault(i == defaultPos);
    const int result = dialogButtonResult(b);
    // Help has no result: the dialog stays open (there is no help file).
    if (result != mrNone) QObject::connect(button, &QPushButton::clicked, dialog.get(), [d = dialog.get(), result] { d->done(result); });
    if (i == cancelPos) dialog->cancelButton = button;
    if (!secondary && i == focusPosition) focusButton = button;
    if (previous) QWidget::setTabOrder(previous, button);
    previous = button;
  }
  if (focusButton) {
    focusButton->setFocus();
  } else if (defaultPos >= 0) {
    dialog->findChildren<QPushButton*>().at(defaultPos)->setFocus();
  }
  return dialog;
}

namespace {
int runDialog(const QString& text, int kind, const DialogButtons& buttons, bool secondary) {
  std::unique_ptr<QDialog> dialog = CreateMessageDialog(text, kind, buttons, secondary);
  if (!dialog) return mrCancel;
  if (state().hook) return state().hook(*dialog);
  return dialog->exec();
}
}  // namespace

int ShowMessageDialog(const QString& text, int kind, const DialogButtons& buttons, int) {
  return runDialog(text, kind, buttons, false);
}

int ShowSecondaryMessageDialog(const QString& text, int kind, const DialogButtons& buttons, int) {
  return runDialog(text, kind, buttons, true);
}

MessageDialogHook setMessageDialogHook(MessageDialogHook hook) {
  MessageDialogHook previous = std::move(state().hook);
  state().hook = std::move(hook);
  return previous;
}

}  // namespace qxr
