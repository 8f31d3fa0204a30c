// The simulator window: controls at their places, the run's state machine
// through the buttons, the plot controls, and the main window's simulator
// button.
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "base/host.h"
#include "app/mainform.h"
#include "app/simulatorform.h"
#include "support/wait.h"
#include "support/startdir.h"
#include "support/tempdir.h"
#include "widgets/fspinedit.h"
#include "widgets/radiogroup.h"

using namespace qxr;

namespace {

// An English start directory.
using test::StartDir;

struct Window {
  StartDir start;
  Session session = startSession(start.dir());
  std::unique_ptr<TSimulatorForm> form;

  explicit Window(const std::vector<std::string>& lines) {
    NcConverter converter;
    const auto result = converter.ConvertProgram(lines);
    if (!result.ok()) qFatal("program does not convert");
    form = std::make_unique<TSimulatorForm>(session, std::move(converter.table()), lines,
                                            SystemClock::instance());
  }
  TSimulatorForm* operator->() { return form.get(); }
  void click(QPushButton* button) { QTest::mouseClick(button, Qt::LeftButton); }
  // Waits for the run timer to stop (the run ended or waits).
  bool waitForTimerStop() {
    return QTest::qWaitFor([this] { return !form->RunTimer->isActive(); }, test::kWaitDeadlineMs);
  }
};

}  // namespace

class TestSimulatorForm : public QObject {
  Q_OBJECT

 private slots:
  void controlsAtTheirPlaces() {
    Window w({"G01 X10 Y5", "M30"});
    QCOMPARE(w->size(), QSize(630, 484));
    QCOMPARE(w->windowTitle(), QString("Tool path simulation"));
    for (const char* name : {"Panel1", "PathImage", "Panel2", "Panel3", "Memo1", "ProgramMemo", "OutPanel",
                             "S_InBtn", "OutCheck", "InCheck", "StepSel", "SetUnit", "XDIRCheck", "YDIRCheck",
                             "Panel4", "ResolutionSel", "ClsBtn", "StartBtn", "StopBtn", "PauseBtn", "Label1",
                             "FSpinEdit1", "CloseBtn", "Button2", "Timer1", "RunTimer"})
      QVERIFY2(w->findChild<QObject*>(name), name);
    QCOMPARE(w->FSpinEdit1->geometry(), QRect(528, 400, 57, 30));
    QCOMPARE(w->PathImage->size(), QSize(413, 357));
    auto* lamp = w->findChild<QLabel*>("O10");
    QVERIFY(lamp);
    QCOMPARE(lamp->text(), QString("10"));
    QCOMPARE(lamp->geometry(), QRect(32, 32, 17, 17));
    QCOMPARE(lamp->palette().color(QPalette::Window), QColor(0, 255, 0));

    QVERIFY(w->OutPanel->isHidden());
    QVERIFY(w->S_InBtn->isHidden());
    QVERIFY(w->Button2->isHidden());
    QVERIFY(!w->StopBtn->isEnabled());
    QVERIFY(!w->PauseBtn->isEnabled());
    QCOMPARE(w->StepSel->itemIndex(), 1);
    QCOMPARE(w->SetUnit->itemIndex(), 0);
    QCOMPARE(w->ResolutionSel->currentIndex(), -1);
    QCOMPARE(w->ResolutionSel->itemText(4), QString("10000"));
    QVERIFY(w->Timer1->isActive());
    QVERIFY(!w->RunTimer->isActive());
    QCOMPARE(w->RunTimer->interval(), 10);
    QCOMPARE(w->Memo1->toPlainText(), QString("N0001\nN0002"));
    QCOMPARE(w->ProgramMemo->toPlainText(), QString("G01 X10 Y5\nM30"));
    QCOMPARE(w->plot().image().pixel(30, 352), kBlue);  // axes drawn at creation
  }

  void runEndsAndStartsAfresh() {
    Window w({"G01 X300 Y100", "G01 X0"});
    w.click(w->StartBtn);
    QVERIFY(!w->StartBtn->isEnabled());
    QVERIFY(w->StopBtn->isEnabled());
    QVERIFY(w->PauseBtn->isEnabled());
    QVERIFY(w->RunTimer->isActive());
    QCOMPARE(w->Panel3->text(), QString("(X0.000,Y0.000) , (X300.000,Y100.000)"));
    QVERIFY(w.waitForTimerStop());
    QCOMPARE(w->interpreter().RunState, int(RunIdle));
    QVERIFY(w->StartBtn->isEnabled());
    QVERIFY(!w->StopBtn->isEnabled());
    QCOMPARE(w->Panel2->text(), QString("X0.000 Y100.000 Z0.000"));
    // The trail: the point (300, 100) lies at the plot's right edge less 2.
    QCOMPARE(w->plot().image().pixel(411, 234), kRed);
    w.click(w->StartBtn);
    QVERIFY(w->RunTimer->isActive());
    w.click(w->StopBtn);
    QVERIFY(!w->RunTimer->isActive());
    QVERIFY(w->StartBtn->isEnabled());
  }

  void singleStepAndPause() {
    Window w({"G01 X300", "G01 Y300", "G01 X0"});
    w->StepSel->setItemIndex(0);
    w->SetUnit->setItemIndex(1);
    w->SetUnitClick();
    w->ResolutionSel->setCurrentIndex(4);  // 10 units a tick
    w.click(w->StartBtn);
    QVERIFY(w.waitForTimerStop());
    QCOMPARE(w->interpreter().RunState, int(RunStepWait));
    QVERIFY(w->StartBtn->isEnabled());
    QCOMPARE(w->interpreter().Pos.X, 300.0);
    QCOMPARE(w->ProgramMemo->textCursor().selectedText(), QString("G01 X300"));

    w.click(w->StartBtn);
    QVERIFY(w->RunTimer->isActive());
    w.click(w->PauseBtn);
    QCOMPARE(w->interpreter().RunState, int(RunPaused));
    QVERIFY(!w->PauseBtn->isEnabled());
    QVERIFY(w->StartBtn->isEnabled());
    const double held = w->interpreter().Pos.Y;
    QTest::qWait(50);
    QCOMPARE(w->interpreter().Pos.Y, held);
    w.click(w->StartBtn);
    QVERIFY(w.waitForTimerStop());
    QCOMPARE(w->interpreter().Pos.Y, 300.0);
    w.click(w->StartBtn);
    QVERIFY(w.waitForTimerStop());
    // The last line is selected up to the end of the text.
    QCOMPARE(w->ProgramMemo->textCursor().selectedText(), QString("G01 X0"));
    w.click(w->StartBtn);
    QCOMPARE(w->interpreter().RunState, int(RunIdle));
  }

  void unitMirrorsClsAndTheSpinBox() {
    Window w({"G01 X1"});
    w->ResolutionSel->setCurrentIndex(2);
    QRadioButton* seconds = w->SetUnit->button(1);  // "s": a click on its indicator
    QTest::mouseClick(seconds, Qt::LeftButton, {}, QPoint(6, seconds->height() / 2));
    QCOMPARE(w->ResolutionSel->currentIndex(), -1);
    QCOMPARE(w->ResolutionSel->itemText(0), QString("0.5"));
    QCOMPARE(w->ResolutionSel->placeholderText(), QString("Step:"));
    w.click(w->StartBtn);
    QCOMPARE(w->interpreter().LineStep, 0.5);
    w.click(w->StopBtn);

    QTest::mouseClick(w->XDIRCheck, Qt::LeftButton, {}, QPoint(5, 8));
    QCOMPARE(w->plot().OriginX, 408.0);
    QCOMPARE(w->plot().image().pixel(380, 352), kBlue);
    QTest::mouseClick(w->YDIRCheck, Qt::LeftButton, {}, QPoint(5, 8));
    QCOMPARE(w->plot().OriginY, 5.0);

    w->plot().image().setPixel(200, 200, kRed);
    w.click(w->ClsBtn);
    QCOMPARE(w->plot().image().pixel(200, 200), kWhite);

    QTest::mouseClick(w->OutCheck, Qt::LeftButton, {}, QPoint(5, 8));
    QVERIFY(w->OutPanel->isVisible() || !w->isVisible());
    QVERIFY(!w->OutPanel->isHidden());

    // Enter in the spin box neither closes the window nor changes the value.
    w->show();
    QVERIFY(QTest::qWaitForWindowExposed(w.form.get()));
    w->FSpinEdit1->setText("2.5");
    QTest::keyClick(w->FSpinEdit1->editor(), Qt::Key_Return);
    QVERIFY(w->isVisible());
    QCOMPARE(w->FSpinEdit1->Value(), 2.5);
    w.click(w->StartBtn);
    QCOMPARE(w->interpreter().DisplayZ, 2.5);
    w.click(w->CloseBtn);
    QVERIFY(!w->isVisible());
    QVERIFY(!w->RunTimer->isActive());
    QCOMPARE(w->interpreter().RunState, int(RunIdle));
  }

  void lampsAndInputWait() {
    Window w({"ON5", "INH2", "G01 X1"});
    QTest::mouseClick(w->OutCheck, Qt::LeftButton, {}, QPoint(5, 8));
    QTest::mouseClick(w->InCheck, Qt::LeftButton, {}, QPoint(5, 6));
    w.click(w->StartBtn);
    QVERIFY(w.waitForTimerStop());
    QCOMPARE(w->findChild<QLabel*>("O05")->palette().color(QPalette::Window), QColor(255, 0, 0));
    QVERIFY(!w->S_InBtn->isHidden());
    w.click(w->S_InBtn);
    QVERIFY(w->S_InBtn->isHidden());
    QVERIFY(w.waitForTimerStop());
    QCOMPARE(w->interpreter().RunState, int(RunIdle));
    QCOMPARE(w->interpreter().Pos.X, 1.0);
  }

  void simulatorButtonOfTheMainWindow() {
    StartDir start;
    TMainForm form(start.dir());
    form.program->ProgramMemo->setPlainText("");
    form.SimulatorBtnClick();
    QCOMPARE(form.program->MsgMemo->toPlainText(), QString("The program editor is empty: nothing to simulate"));
    QVERIFY(!start.exists("Test.TXT"));

    form.program->MsgMemo->clear();
    form.program->ProgramMemo->setPlainText("G01 X1\nG05\n");
    form.SimulatorBtnClick();
    QCOMPARE(form.program->MsgMemo->toPlainText(), QString("Unrecognised code or keyword  On Line:N0002"));
    QVERIFY(start.read("Test.TXT").starts_with("ENO=fd   EL=   2\r\n"));

    // A program that converts opens the window modally.
    form.program->MsgMemo->clear();
    form.program->ProgramMemo->setPlainText("G01 X1\nG00 Y2\n");
    QString shownProgram;
    QTimer::singleShot(0, [&] {
      auto* simulator = qobject_cast<TSimulatorForm*>(QApplication::activeModalWidget());
      if (!simulator) return;
      shownProgram = simulator->ProgramMemo->toPlainText();
      simulator->close();
    });
    form.SimulatorBtnClick();
    QCOMPARE(shownProgram, QString("G01 X1\nG00 Y2"));
    QVERIFY(form.program->MsgMemo->toPlainText().isEmpty());
    QVERIFY(start.read("Test.TXT").starts_with("N0001 C= 1"));
  }
};

QTEST_MAIN(TestSimulatorForm)
#include "test_simulatorform.moc"
