// The message dialog: results by key and by closing, button names and
// captions, refused descriptions, and the wrapped message's geometry.
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>

#include "base/catalogue.h"
#include "app/msgdlg.h"
#include "support/hook.h"
#include "support/tempdir.h"

using namespace qxr;

namespace {

// Runs `action` on the modal dialog once it is up, then shows the dialog.
int showAnd(std::function<void(QWidget*)> action, const QString& text, int kind, const DialogButtons& buttons,
            bool secondary = false) {
  QTimer::singleShot(0, [action] {
    QWidget* dialog = QApplication::activeModalWidget();
    QVERIFY(dialog);
    action(dialog);
  });
  return secondary ? ShowSecondaryMessageDialog(text, kind, buttons)
                   : ShowMessageDialog(text, kind, buttons);
}

void press(QWidget* dialog, Qt::Key key) { QTest::keyClick(dialog->focusWidget() ? dialog->focusWidget() : dialog, key); }

}  // namespace

class TestMessageDialog : public QObject {
  Q_OBJECT

  MessageCatalogue catalogue_;

 private slots:
  void initTestCase() {
    test::TempDir dir;
    std::string text;
    for (int n = 1; n <= 81; ++n) text += "m" + std::to_string(n) + " " + (n >= 71 ? "B" + std::to_string(n) : "x") + "\r\n";
    dir.write("Message.E", text);
    QVERIFY(catalogue_.load(dir.file("Message.E")));
    SetDialogCatalogue(&catalogue_);
    SetDialogApplicationTitle("App title");
  }

  void okCancelResultsByKeyAndClosing() {
    SetDialogButtonCaptions(mbOK, 2);
    const DialogButtons okCancel = {2, mbOK, mbCancel, 0};
    QCOMPARE(showAnd([](QWidget* d) { press(d, Qt::Key_Return); }, "Send?", mtConfirmation, okCancel), int(mrOk));
    QCOMPARE(showAnd([](QWidget* d) { press(d, Qt::Key_Escape); }, "Send?", mtConfirmation, okCancel),
             int(mrCancel));
    QCOMPARE(showAnd([](QWidget* d) { d->close(); }, "Send?", mtConfirmation, okCancel), int(mrCancel));
    // Focus given to Cancel: Enter presses the focused button.
    QCOMPARE(showAnd([](QWidget* d) { press(d, Qt::Key_Return); }, "Send?", mtConfirmation,
                     {2, mbOK, mbCancel, 1}),
             int(mrCancel));
  }

  void okAloneEscapeDiffersBetweenVariants() {
    SetDialogButtonCaptions(mbOK, 1);
    const DialogButtons ok = {1, mbOK, 0};
    // Main variant: Escape does nothing, the dialog stays until Enter.
    QCOMPARE(showAnd(
                 [](QWidget* d) {
                   press(d, Qt::Key_Escape);
                   QVERIFY(d->isVisible());
                   press(d, Qt::Key_Return);
                 },
                 "Notice", mtWarning, ok),
             int(mrOk));
    QCOMPARE(showAnd([](QWidget* d) { press(d, Qt::Key_Escape); }, "Notice", mtError, ok, true), int(mrOk));
    QCOMPARE(showAnd([](QWidget* d) { d->close(); }, "Notice", mtError, ok, true), int(mrCancel));
  }

  void buttonNamesCaptionsAndKinds() {
    SetDialogButtonCaptions(mbOK, 2);
    auto dialog = CreateMessageDialog("Question", mtConfirmation, {2, mbOK, mbCancel, 0}, false);
    QVERIFY(dialog);
    QCOMPARE(dialog->windowTitle(), QString("Confirmation"));
    QCOMPARE(dialog->findChild<QPushButton*>("JOBtn")->text(), QString("B73"));
    QCOMPARE(dialog->findChild<QPushButton*>("JLBtn")->text(), QString("B74"));
    QVERIFY(dialog->findChild<QPushButton*>("JOBtn")->isDefault());
    QVERIFY(dialog->findChild<QLabel*>("Image"));
    QCOMPARE(dialog->findChild<QLabel*>("Message")->text(), QString("Question"));

    // Captions not copied by the set-up stay as they were (empty here), and
    // an empty caption shows the button's name rather than nothing.
    auto yesNo = CreateMessageDialog("?", mtWarning, {2, mbYes, mbNo, 0}, false);
    QCOMPARE(yesNo->findChild<QPushButton*>("EOBtn")->text(), QString("Yes"));
    SetDialogButtonCaptions(mbYes, 2);
    yesNo = CreateMessageDialog("?", mtWarning, {2, mbYes, mbNo, 0}, false);
    QCOMPARE(yesNo->findChild<QPushButton*>("HOBtn")->text(), QString("B72"));
    QCOMPARE(mainVariantCaption(mbYes), QString("B71"));

    auto custom = CreateMessageDialog("Plain", mtCustom, {1, mbOK, 0}, false);
    QCOMPARE(custom->windowTitle(), QString("App title"));
    QVERIFY(!custom->findChild<QLabel*>("Image"));
    // Without an icon the message starts at the margin where the icon would be.
    QCOMPARE(custom->findChild<QLabel*>("Message")->x(), dialog->findChild<QLabel*>("Image")->x());
    auto* ok = custom->findChild<QPushButton*>("JOBtn");
    QCOMPARE(ok->x(), (custom->width() - ok->width()) / 2);

    auto secondary = CreateMessageDialog("Err", mtError, {3, mbAbort, mbRetry, mbIgnore, 0}, true);
    QVERIFY(secondary);
    QCOMPARE(secondary->windowTitle(), QString("Error"));
    QCOMPARE(secondary->findChild<QPushButton*>("Retry")->text(), QString("B76"));
  }

  void refusedDescriptionsShowNothing() {
    bool shown = false;
    test::ScopedHook hook(setMessageDialogHook, [&shown](QDialog&) {
      shown = true;
      return int(mrOk);
    });
    // The main variant knows only Yes, No, OK and Cancel.
    QVERIFY(!CreateMessageDialog("x", mtWarning, {1, mbAbort, 0}, false));
    QCOMPARE(ShowMessageDialog("x", mtWarning, {1, mbHelp, 0}), int(mrCancel));
    QCOMPARE(ShowMessageDialog("x", mtWarning, {3, mbOK}), int(mrCancel));  // shorter than it says
    QCOMPARE(ShowMessageDialog("x", mtWarning, {}), int(mrCancel));
    QCOMPARE(ShowMessageDialog("x", mtWarning, {1, -1, 0}), int(mrCancel));
    QVERIFY(!shown);
    QCOMPARE(ShowSecondaryMessageDialog("x", mtWarning, {1, mbAbort, 0}), int(mrOk));
    QVERIFY(shown);
  }

  void helpButtonDoesNotClose() {
    QCOMPARE(showAnd(
                 [](QWidget* d) {
                   d->findChild<QPushButton*>("Help")->click();
                   QVERIFY(d->isVisible());
                   d->findChild<QPushButton*>("Abort")->click();
                 },
                 "x", mtInformation, {2, mbHelp, mbAbort, 0}, true),
             int(mrAbort));
  }

  void longMessageWrapsAtHalfTheScreen() {
    SetDialogButtonCaptions(mbOK, 1);
    QString text;
    for (int i = 0; i < 60; ++i) text += "wrapping words ";
    auto dialog = CreateMessageDialog(text, mtInformation, {1, mbOK, 0}, false);
    auto* message = dialog->findChild<QLabel*>("Message");
    const int half = QApplication::primaryScreen()->geometry().width() / 2;
    QVERIFY(message->width() <= half);
    QVERIFY(message->height() >= 3 * message->fontMetrics().height());
    auto* ok = dialog->findChild<QPushButton*>("JOBtn");
    QVERIFY(ok->y() > message->y() + message->height());
    QVERIFY(dialog->height() > ok->y() + ok->height());
    // A one-line message: the icon keeps the block 32 high.
    auto small = CreateMessageDialog("x", mtInformation, {1, mbOK, 0}, false);
    auto* smallOk = small->findChild<QPushButton*>("JOBtn");
    QVERIFY(smallOk->y() >= small->findChild<QLabel*>("Image")->y() + 32);
  }
};

QTEST_MAIN(TestMessageDialog)
#include "test_msgdlg.moc"
