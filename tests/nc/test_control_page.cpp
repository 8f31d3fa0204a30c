// The operator's control of the window against the controller emulator:
// Stop in the middle of a send, a receive and a batch; the questions about
// unsaved work; Exit while a transfer runs; a page's dialog that waits for
// the end of a transfer.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <QUrl>
#include <csignal>
#include <filesystem>
#include <functional>

#include "app/filewindows.h"
#include "app/mainform.h"
#include "app/msgdlg.h"
#include "app/multiplenc.h"
#include "app/questions.h"
#include "app/signalquit.h"
#include "app/transferbar.h"
#include "base/controltexts.h"
#include "link/comm.h"
#include "app/multiplenc.h"
#include "support/startdir.h"
#include "support/filewindows.h"
#include "support/hook.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "widgets/radiogroup.h"

using namespace qxr;

namespace {

using StartDir = test::NumberedStartDir;

QStringList messages(const QPlainTextEdit* box) { return box->toPlainText().split('\n'); }

QString stoppedLine(TMainForm& form) {
  return QString::fromStdString(controlText(form.session().language(), ControlText::kStopped));
}

std::string programFile(int number, const std::string& name, int lines) {
  std::string text = std::to_string(number) + "\r\n" + name + "\r\n";
  for (int i = 1; i <= lines; ++i) text += "N" + std::to_string(i) + " G01 X" + std::to_string(i) + "\r\n";
  return text;
}

QString editorText(int lines) {
  QString text;
  for (int i = 1; i <= lines; ++i) text += QStringLiteral("G01 X%1\n").arg(i);
  return text;
}

// Answers the message dialogs (the main window's own) and counts them.
struct Dialogs {
  // The answers in turn; the last one stays.
  explicit Dialogs(std::vector<int> answers = {mrOk})
      : hook(setMessageDialogHook, [this, answers](QDialog&) {
          return answers[std::min<std::size_t>(static_cast<std::size_t>(shown++), answers.size() - 1)];
        }) {}
  int shown = 0;
  test::ScopedHook<MessageDialogHook> hook;
};

// Answers the control questions (unsaved work, quitting) and records them.
struct Questions {
  explicit Questions(std::vector<int> answers)
      : answers_(std::move(answers)), hook(setQuestionHook, [this](QMessageBox& box) {
          asked << box.objectName();
          if (answers_.empty()) return int(QMessageBox::Cancel);
          const int answer = answers_.front();
          answers_.erase(answers_.begin());
          return answer;
        }) {}
  QStringList asked;

 private:
  std::vector<int> answers_;
  test::ScopedHook<QuestionHook> hook;
};

// Calls `act` once, from inside a transfer's wait, when `ready` holds.
struct WhileWaiting {
  WhileWaiting(QObject* context, std::function<bool()> ready, std::function<void()> act) {
    timer.setInterval(0);
    QObject::connect(&timer, &QTimer::timeout, context, [this, ready, act] {
      if (done || !ready()) return;
      done = true;
      timer.stop();
      act();
    });
    timer.start();
  }
  QTimer timer;
  bool done = false;
};

}  // namespace

class TestControlPage : public QObject {
  Q_OBJECT

 private slots:
  // A send stopped in its lines leaves the controller a program in part;
  // the page says so and offers to delete it.
  void stopInTheMiddleOfASend_data() {
    QTest::addColumn<int>("answer");  // to the offer to delete the part
    QTest::addColumn<bool>("partLeft");
    QTest::newRow("part deleted") << int(mrOk) << false;
    QTest::newRow("part kept") << int(mrCancel) << true;
  }
  void stopInTheMiddleOfASend() {
    QFETCH(int, answer);
    QFETCH(bool, partLeft);
    StartDir start;
    test::Emulator emulator(start);
    TMainForm form(start.dir());
    Dialogs dialogs({mrOk, answer});
    form.program->ProgramMemo->setPlainText(editorText(300));
    form.program->ProgNoEdit->setValue(7);
    form.program->ProgNameEdit->setText("PART");
    bool barShown = false, othersLocked = false;
    int lineAtStop = 0;
    WhileWaiting stop(
        &form, [&] { return form.link().progress().done() >= 20; },
        [&] {
          barShown = !form.transferBar(kProgramPage)->isHidden();
          othersLocked = !form.program->RcvBtn->isEnabled() && !form.parameters->ParRcvBtn->isEnabled() && !form.plc->ReadPLMBtn->isEnabled();
          lineAtStop = static_cast<int>(form.link().progress().done());
          form.transferBar(kProgramPage)->stopButton()->click();
        });
    form.program->TransBtn->click();
    QVERIFY(stop.done);
    QVERIFY(barShown);
    QVERIFY(othersLocked);
    const QStringList shown = messages(form.program->MsgMemo);
    QVERIFY(shown.contains(stoppedLine(form)));
    QVERIFY(!shown.contains("#106"));  // never "finished"
    QVERIFY(shown.contains(QString::fromStdString(
        controlText(form.session().language(), ControlText::kPartialProgram, "07", lineAtStop + 1, 300))) ||
            shown.contains(QString::fromStdString(
                controlText(form.session().language(), ControlText::kPartialProgram, "07", lineAtStop, 300))));
    QVERIFY(!form.CommPort->Enabled());
    QCOMPARE(emulator.storedProgram(7).has_value(), partLeft);
    if (partLeft) QVERIFY(emulator.storedProgram(7)->size() < programFile(7, "PART", 300).size());
    // The window is as before the transfer.
    QVERIFY(form.transferBar(kProgramPage)->isHidden());
    QVERIFY(form.program->RcvBtn->isEnabled() && form.parameters->ParRcvBtn->isEnabled() && form.program->TransBtn->isEnabled());
    QVERIFY(!form.stopRequested());
  }

  // A receive stopped part-way (by Esc) writes nothing and gives the editor back.
  void stopInTheMiddleOfAReceive() {
    StartDir start;
    test::EmulatorOptions options;
    options.programs[5] = programFile(5, "FIVE", 200);
    test::Emulator emulator(start, options);
    TMainForm form(start.dir());
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    Dialogs dialogs;
    form.program->ProgramMemo->setPlainText("KEEP ME\n");
    form.program->ProgNameEdit->setText("MINE");
    form.program->ProgNoEdit->setValue(5);
    QString progressText;
    WhileWaiting stop(
        &form, [&] { return form.link().progress().done() >= 10; },
        [&] {
          progressText = form.transferBar(kProgramPage)->label()->text();
          QTest::keyClick(&form, Qt::Key_Escape);  // as the Stop button
        });
    form.program->RcvBtn->click();
    QVERIFY(stop.done);
    QVERIFY2(progressText.startsWith("10 "), qPrintable(progressText));
    QCOMPARE(form.program->ProgramMemo->toPlainText(), QStringLiteral("KEEP ME\n"));
    QCOMPARE(form.program->ProgNameEdit->text(), QStringLiteral("MINE"));
    const QStringList shown = messages(form.program->MsgMemo);
    QVERIFY(shown.contains(stoppedLine(form)));
    QVERIFY(!shown.contains("#109"));
    QCOMPARE(shown.last(), QStringLiteral("#107"));
    QVERIFY(!form.CommPort->Enabled());
  }

  // A batch read stopped in its second program: the first file is whole,
  // the stopped program's file and those after it are as they were.
  void stopInTheMiddleOfABatch() {
    StartDir start;
    test::EmulatorOptions options;
    for (int n = 1; n <= 3; ++n) options.programs[n] = programFile(n, "P" + std::to_string(n), 120);
    test::Emulator emulator(start, options);
    for (int n = 1; n <= 3; ++n) start.write("L0" + std::to_string(n) + ".NC", "old\r\n");
    TMainForm form(start.dir());
    Dialogs dialogs;
    form.program->MultipleBtn->show();
    test::ScopedHook hook(setMultipleFormHook, [&](TMultipleNCForm& window) {
      window.ModeSelect->setItemIndex(kBatchReadMany);
      window.ModeSelectClick();
      for (int i = 0; i < 3; ++i) window.CheckBoxes[i]->click();
      window.OKBtn->click();
    });
    WhileWaiting stop(
        &form, [&] { return form.program->ProgNoEdit->value() == 2 && form.link().progress().done() >= 30; },
        [&] { form.StopBtnClick(); });
    form.MultipleBtnClick();
    QVERIFY(stop.done);
    QCOMPARE(start.read("L01.NC"), programFile(1, "P1", 120));
    QCOMPARE(start.read("L02.NC"), std::string("old\r\n"));
    QCOMPARE(start.read("L03.NC"), std::string("old\r\n"));
    QVERIFY(messages(form.program->MsgMemo).contains(stoppedLine(form)));
    QVERIFY(!form.CommPort->Enabled());
  }

  // Open, Receive and Exit ask about the editor's unsaved edits first.
  void unsavedWorkIsAskedAbout_data() {
    QTest::addColumn<QString>("action");  // read, receive or exit
    QTest::addColumn<int>("answer");
    QTest::addColumn<bool>("goesOn");  // the action happened
    QTest::newRow("read, cancel") << "read" << int(QMessageBox::Cancel) << false;
    QTest::newRow("read, discard") << "read" << int(QMessageBox::Discard) << true;
    QTest::newRow("read, save") << "read" << int(QMessageBox::Save) << true;
    QTest::newRow("receive, cancel") << "receive" << int(QMessageBox::Cancel) << false;
    QTest::newRow("exit, cancel") << "exit" << int(QMessageBox::Cancel) << false;
    QTest::newRow("exit, discard") << "exit" << int(QMessageBox::Discard) << true;
  }
  void unsavedWorkIsAskedAbout() {
    QFETCH(QString, action);
    QFETCH(int, answer);
    QFETCH(bool, goesOn);
    StartDir start;
    start.write("in.nc", "3\r\nIN\r\nN1 G00\r\n");
    TMainForm form(start.dir());
    form.show();
    const QString title = form.windowTitle();
    Dialogs dialogs({mrCancel});  // the receive's own question: no
    test::FileWindowAnswers files(start.dir(), [](bool save) { return QString(save ? "saved" : "in"); });
    const QStringList& windows = files.shown;
    form.program->ProgramMemo->setFocus();
    QTest::keyClicks(form.program->ProgramMemo, "g01 x5");
    QVERIFY(form.hasUnsavedWork(kProgramPage));
    QCOMPARE(form.windowTitle(), QStringLiteral("* ") + title);
    Questions questions({answer});
    if (action == "read") form.program->ReadFileBtn->click();
    if (action == "receive") form.program->RcvBtn->click();
    if (action == "exit") form.close();
    QCOMPARE(questions.asked, QStringList{"UnsavedQuestion"});
    const bool acted = windows.contains("open") || dialogs.shown > 0 || !form.isVisible();
    QCOMPARE(acted, goesOn);
    if (answer == QMessageBox::Save) {
      QVERIFY(start.read("saved.nc").find("G01 X5") != std::string::npos);
      QCOMPARE(windows, (QStringList{"save", "open"}));
    }
    if (answer == QMessageBox::Cancel) QVERIFY(form.program->ProgramMemo->toPlainText().contains("G01 X5"));
    if (windows.contains("open")) QCOMPARE(form.windowTitle(), title);  // read: nothing unsaved
  }

  // Exit while a transfer runs asks in the page's strip, not in a dialog:
  // the transfer goes on while the question shows. "Stop and quit" stops it
  // at the next frame and closes the window after it, "keep going" lets it
  // finish.
  void exitDuringATransfer() {
    const struct {
      const char* answer;
      bool finished;
    } cases[] = {{"StopAndQuitBtn", false}, {"KeepGoingBtn", true}};
    for (const auto& c : cases) {
      StartDir start;
      test::Emulator emulator(start);
      TMainForm form(start.dir());
      form.show();
      Dialogs dialogs({mrOk, mrCancel});  // send; keep the part, do not delete it
      form.program->ProgramMemo->setPlainText(editorText(80));
      form.program->ProgramMemo->document()->setModified(false);
      form.program->ProgNoEdit->setValue(9);
      Questions questions({});
      TransferBar* bar = form.transferBar(kProgramPage);
      std::size_t lineAsked = 0;
      WhileWaiting exit(
          &form, [&] { return form.link().progress().done() >= 5; },
          [&] {
            form.program->CloseBtn->click();
            lineAsked = form.link().progress().done();
          });
      // Lines go on while the question shows; then it is answered.
      WhileWaiting answer(
          &form, [&] { return exit.done && form.link().progress().done() >= lineAsked + 5; },
          [&] {
            QVERIFY(bar->quitQuestion()->isVisible());
            bar->findChild<QPushButton*>(c.answer)->click();
          });
      form.program->TransBtn->click();
      QApplication::processEvents();  // the window closes after the transfer
      QVERIFY(answer.done);
      QVERIFY(questions.asked.isEmpty());
      QCOMPARE(messages(form.program->MsgMemo).contains("#106"), c.finished);
      QCOMPARE(messages(form.program->MsgMemo).contains(stoppedLine(form)), !c.finished);
      QCOMPARE(form.isVisible(), c.finished);
      QVERIFY(bar->quitQuestion()->isHidden());
      QVERIFY(!form.CommPort->Enabled());
      if (c.finished) QVERIFY(emulator.storedProgram(9)->find("N80 G01 X80\r\n") != std::string::npos);
    }
  }

  // While a transfer runs, every control that opens a modal window or
  // changes where the transfer goes is disabled, a file dragged onto an
  // editor is refused, and the about box opens beside the transfer;
  // afterwards each control is as it was.
  void nothingOpensDuringATransfer() {
    StartDir start;
    test::Emulator emulator(start);
    start.write("drop.nc", "4\r\nDROP\r\nN1 G01 X4\r\n");
    TMainForm form(start.dir());
    form.show();
    Dialogs dialogs({mrOk});
    form.program->ProgramMemo->setPlainText(editorText(40));
    TProgramPage& p = *form.program;
    QWidget* const locked[] = {p.PortsBtn,
                               p.PreviewBtn,
                               p.SimulatorBtn,
                               p.SpeedButton1,
                               p.COM_Select,
                               p.TypeSel,
                               p.ReadFileBtn,
                               p.RcvBtn,
                               form.parameters->ReadParBtn,
                               form.parameters->QXR202RadioButton,
                               form.plc->ReadPLMBtn,
                               form.MachineSelect,
                               form.MachinesBtn,
                               form.JournalBtn,
                               p.findChild<QWidget*>("CompareBtn")};
    QStringList enabledDuring;
    bool dropTaken = true;
    bool aboutBeside = false;
    WhileWaiting check(
        &form, [&] { return form.link().progress().done() >= 5; },
        [&] {
          for (QWidget* w : locked)
            if (w->isEnabled()) enabledDuring << w->objectName();
          QMimeData data;
          data.setUrls({QUrl::fromLocalFile(QString::fromStdString(start.file("drop.nc")))});
          QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
          QApplication::sendEvent(p.ProgramMemo->viewport(), &enter);
          dropTaken = enter.isAccepted();
          p.VersionBtn->click();
          auto* about = form.findChild<QDialog*>("SplashForm");
          aboutBeside = about && about->isVisible() && !QApplication::activeModalWidget();
        });
    p.TransBtn->click();
    QVERIFY(check.done);
    QVERIFY2(enabledDuring.isEmpty(), qPrintable(enabledDuring.join(",")));
    QVERIFY(!dropTaken);
    QVERIFY(aboutBeside);
    for (QWidget* w : locked) QVERIFY2(w->isEnabled(), qPrintable(w->objectName()));
    QVERIFY(messages(p.MsgMemo).contains("#106"));
  }

  // SIGTERM, SIGINT and SIGHUP stop a transfer as Stop does, answer its
  // questions cautiously unseen (the partial program stays), keep unsaved
  // edits in a file, and close the window without asking.
  void signalsStopAndQuitWithoutAsking() {
    const struct {
      int signal;
      bool transfer;
    } cases[] = {{SIGTERM, true}, {SIGINT, true}, {SIGHUP, true}, {SIGTERM, false}};
    for (const auto& c : cases) {
      StartDir start;
      test::Emulator emulator(start);
      TMainForm form(start.dir());
      quitOnTerminationSignals(form);
      form.show();
      Dialogs dialogs({mrOk});  // the send's confirmation
      Questions questions({});
      form.program->ProgramMemo->setPlainText(editorText(200));
      form.program->ProgramMemo->document()->setModified(true);  // not saved
      form.program->ProgNoEdit->setValue(6);
      if (c.transfer) {
        WhileWaiting signal(
            &form, [&] { return form.link().progress().done() >= 10; }, [&] { std::raise(c.signal); });
        form.program->TransBtn->click();
        QVERIFY(signal.done);
      } else {
        std::raise(c.signal);
      }
      QTRY_VERIFY(!form.isVisible());
      QVERIFY(questions.asked.isEmpty());
      QCOMPARE(dialogs.shown, c.transfer ? 1 : 0);
      QVERIFY(!form.CommPort->Enabled());
      QVERIFY(start.read("Unsaved program.txt").find("G01 X200") != std::string::npos);
      if (!c.transfer) continue;
      QVERIFY(messages(form.program->MsgMemo).contains(stoppedLine(form)));
      QVERIFY(!messages(form.program->MsgMemo).contains("#106"));
      QVERIFY(emulator.storedProgram(6).has_value());  // the part is kept
    }
  }

  // The parameter page: its receive shows parameters done of those asked
  // for, and stops as the program page's transfers do.
  void stopOnTheParameterPage() {
    StartDir start;
    start.copyShipped(StartDir::parameterFiles);
    test::Emulator emulator(start);
    TMainForm form(start.dir());
    Dialogs dialogs;
    form.PageControl->setCurrentIndex(kParameterPage);
    form.parameters->SelAllBtn->click();
    const int total = form.parameters->ParaCheckListBox->count();
    QVERIFY(total > 20);
    QString shown;
    WhileWaiting stop(
        &form, [&] { return form.link().progress().done() >= 10; },
        [&] {
          shown = form.transferBar(kParameterPage)->bar()->text();
          form.StopBtnClick();
        });
    form.parameters->ParRcvBtn->click();
    QVERIFY(stop.done);
    QCOMPARE(shown, QStringLiteral("10 / %1").arg(total));
    const QStringList lines = messages(form.parameters->ParMsgMemo);
    QVERIFY(lines.contains(stoppedLine(form)));
    QVERIFY(!lines.contains("#148"));
    QVERIFY(!form.CommPort->Enabled());
    QVERIFY(form.program->MsgMemo->toPlainText().isEmpty());  // nothing on the other pages
  }

  // Entering the PLC page during a receive opens its notice only after the
  // transfer, and the receive's messages stay on the program page.
  void pageDialogWaitsForTheTransfer() {
    StartDir start;
    test::EmulatorOptions options;
    options.programs[4] = programFile(4, "FOUR", 60);
    test::Emulator emulator(start, options);
    TMainForm form(start.dir());
    Dialogs dialogs;
    form.program->ProgNoEdit->setValue(4);
    int dialogsDuringWait = -1;
    WhileWaiting change(
        &form, [&] { return form.link().progress().done() >= 3; },
        [&] {
          const int before = dialogs.shown;
          form.PageControl->setCurrentIndex(kPlcPage);
          dialogsDuringWait = dialogs.shown - before;
        });
    form.program->RcvBtn->click();
    QVERIFY(change.done);
    QCOMPARE(dialogsDuringWait, 0);
    QVERIFY(messages(form.program->MsgMemo).contains("#109"));
    QVERIFY(form.plc->PLMMsgMemo->toPlainText().isEmpty());
    const int afterTransfer = dialogs.shown;
    QTRY_COMPARE(dialogs.shown, afterTransfer + 1);  // the PLC page's notice, now
    QCOMPARE(*emulator.storedProgram(4), programFile(4, "FOUR", 60));
  }

  // The usual keys and a dropped file read and write the current page's
  // file; what was read or written lands in the page's recent list.
  void keysDropsAndRecentFiles() {
    StartDir start;
    start.write("in.nc", "3\r\nIN\r\nN1 G00 X1\r\n");
    start.write("in.par", "Speed(12)=300\r\n");
    start.write("drop.nc", "4\r\nDROP\r\nN1 G01 X4\r\n");
    TMainForm form(start.dir());
    form.show();
    QApplication::setActiveWindow(&form);
    QVERIFY(QTest::qWaitForWindowActive(&form));
    test::FileWindowAnswers files(start.dir(), [&](bool save) {
      return QString(save ? "out" : form.PageControl->currentIndex() == kParameterPage ? "in.par" : "in");
    });
    QStringList& windows = files.shown;
    const struct {
      const char* what;
      int page;
      std::function<void()> act;
      const char* window;      // the file window shown, "" for none
      const char* recentFile;  // the newest recent file of the page afterwards
    } cases[] = {
        {"Ctrl+O, program", kProgramPage, [&] { QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier); }, "open",
         "in.nc"},
        {"Ctrl+S, program", kProgramPage, [&] { QTest::keyClick(&form, Qt::Key_S, Qt::ControlModifier); }, "save",
         "out.nc"},
        {"Ctrl+O, parameters", kParameterPage,
         [&] { QTest::keyClick(&form, Qt::Key_O, Qt::ControlModifier); }, "open", "in.par"},
        // A file dragged onto the editor is read without the file window.
        {"drop on the program editor", kProgramPage,
         [&] {
           QMimeData data;
           data.setUrls({QUrl::fromLocalFile(QString::fromStdString(start.file("drop.nc")))});
           QDragEnterEvent enter(QPoint(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
           QApplication::sendEvent(form.program->ProgramMemo->viewport(), &enter);
           QVERIFY(enter.isAccepted());
           QDropEvent drop(QPointF(10, 10), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
           QApplication::sendEvent(form.program->ProgramMemo->viewport(), &drop);
           QApplication::processEvents();
         },
         "", "drop.nc"},
    };
    for (const auto& c : cases) {
      form.PageControl->setCurrentIndex(c.page);
      windows.clear();
      c.act();
      QApplication::processEvents();
      QCOMPARE(windows.join(","), QString(c.window));
      const QStringList recent = form.recentFiles(c.page);
      QVERIFY2(!recent.isEmpty() && recent.front().endsWith(QString("/") + c.recentFile), c.what);
    }
    QCOMPARE(form.program->ProgramMemo->toPlainText(),
             QStringLiteral("G01 X4\n"));  // not the file's name as text
    QCOMPARE(form.recentFiles(kProgramPage).size(), 3);
  }

  // In Chinese the toolkit's own buttons are Chinese too.
  void toolkitButtonsFollowTheLanguage() {
    if (!QFile::exists(QLibraryInfo::path(QLibraryInfo::TranslationsPath) + "/qtbase_zh_TW.qm"))
      QSKIP("the toolkit's translations are not installed");
    StartDir start;  // no Customer.ini: Chinese
    TMainForm form(start.dir());
    QCOMPARE(form.session().language() == 1, false);
    QMessageBox box(QMessageBox::Warning, "", "", QMessageBox::Save | QMessageBox::Cancel);
    const QString save = box.button(QMessageBox::Save)->text();
    QVERIFY2(!save.contains("Save"), qPrintable(save));
  }
};

QTEST_MAIN(TestControlPage)
#include "test_control_page.moc"
