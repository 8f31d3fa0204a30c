// The program page of the main window: its widgets behind the NC operations,
// with the controller emulator on a pseudo-terminal linked as COM2.
#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>
#include <QTimer>

#include "app/filewindows.h"
#include "app/mainform.h"
#include "app/msgdlg.h"
#include "app/multiplenc.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "widgets/radiogroup.h"

using namespace qxr;

namespace {

struct StartDir {
  test::TempDir dir;
  StartDir() {
    test::makeTestSession(dir);  // writes the catalogue "#n"
    dir.write("Init.ini",
              "Time Out Timer    = 1000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\n"
              "Transit mode      = 1\r\nDefault COM       = 1\r\nPLC Transit Delay = 5\r\n"
              "MAX COM Port      = 8\r\n");
  }
};

QStringList messages(const TMainForm& form) { return form.MsgMemo->toPlainText().split('\n'); }

// Answers every question of the message dialog with OK.
struct AnswerOk {
  AnswerOk() { previous = setMessageDialogHook([](QDialog&) { return 1; }); }
  ~AnswerOk() { setMessageDialogHook(previous); }
  MessageDialogHook previous;
};

}  // namespace

class TestNcPage : public QObject {
  Q_OBJECT

 private slots:
  void editorLinesAsTheOperationsSeeThem() {
    StartDir start;
    TMainForm form(start.dir.dir());
    const std::pair<QString, std::vector<std::string>> cases[] = {
        {"", {}},
        {"\n", {""}},
        {"G00", {"G00"}},
        {"G00\nM30\n", {"G00", "M30"}},
        {"G00\n\n", {"G00", ""}},
        {"\nG01 X5\nM30", {"", "G01 X5", "M30"}},
    };
    for (const auto& [text, lines] : cases) {
      form.ProgramMemo->setPlainText(text);
      QCOMPARE(form.ProgramLines(), lines);
    }
  }

  void sendAndReceiveThroughTheWidgets() {
    StartDir start;
    AnswerOk ok;
    test::Emulator emulator(start.dir);
    TMainForm form(start.dir.dir());
    const QString title = form.windowTitle();
    form.ProgramMemo->setPlainText("G00 X0\n\nM30\n");
    form.ProgNoEdit->setValue(7);
    form.ProgNameEdit->setText("PART1");
    // A press of another button that uses the port while the send waits is
    // refused, on this page and on the others.
    bool pressed = false;
    QTimer::singleShot(0, &form, [&] {
      form.RcvBtn->click();
      form.ParRcvBtn->click();
      form.PLMRcvBtn->click();
      pressed = true;
    });
    form.TransBtn->click();
    QVERIFY(pressed);
    QCOMPARE(emulator.framesIn().size(), std::size_t{10});
    QCOMPARE(*emulator.storedProgram(7), std::string("7\r\nPART1\r\nN1 G00 X0\r\nN2 \r\nN3 M30\r\n"));
    QVERIFY(messages(form).contains("#106"));
    QCOMPARE(messages(form).last(), QStringLiteral("#107"));
    QCOMPARE(form.windowTitle(), title);  // the progress is gone again

    form.ProgramMemo->clear();
    form.ProgNameEdit->clear();
    form.RcvBtn->click();
    QCOMPARE(form.ProgramMemo->toPlainText(), QStringLiteral("G00 X0\n\nM30\n"));
    QCOMPARE(form.ProgNameEdit->text(), QStringLiteral("PART1"));
    QCOMPARE(messages(form).last(), QStringLiteral("#107"));
  }

  void fileButtonsThroughTheFileWindows() {
    StartDir start;
    TMainForm form(start.dir.dir());
    const std::string path = start.dir.file("prog.nc");
    auto previous = setFileWindowHook([&](QDialog& window) {
      auto& files = static_cast<TFileWindowBase&>(window);
      files.setDirectory(start.dir.dir());
      files.FileEdit->setText("prog");
      if (auto* save = qobject_cast<TSaveFileForm*>(&window)) save->SaveOKBtn->click();
      else static_cast<TOpenFileForm&>(window).OpenOKBtn->click();
    });
    form.ProgramMemo->setPlainText("G00 X0\n\nM30\n");
    form.ProgNoEdit->setValue(12);
    form.ProgNameEdit->setText("AB");
    form.WriteFileBtn->click();
    QCOMPARE(start.dir.read("prog.nc"), std::string("12\r\nAB\r\nN1 G00 X0\r\nN3 M30\r\n"));
    QCOMPARE(form.FileNameLabel->text(), QString::fromStdString("#35" + path));

    form.ProgramMemo->clear();
    form.ProgNoEdit->setValue(1);
    form.ReadFileBtn->click();
    QCOMPARE(form.ProgramMemo->toPlainText(), QStringLiteral("G00 X0\n\nM30\n"));
    QCOMPARE(form.ProgNoEdit->value(), 12);
    QVERIFY(form.ProgramMemo->updatesEnabled());
    QCOMPARE(messages(form).last(), QStringLiteral("#115"));
    setFileWindowHook(previous);
  }

  void multipleButtonRunsTheBatch() {
    StartDir start;
    test::EmulatorOptions options;
    options.programs[2] = "2\r\nP2\r\nN1 X2\r\n";
    test::Emulator emulator(start.dir, options);
    TMainForm form(start.dir.dir());
    form.MultipleBtn->show();
    auto previous = setMultipleFormHook([&](TMultipleNCForm& window) {
      QCOMPARE(window.directory(), start.dir.dir());
      window.ModeSelect->setItemIndex(kBatchReadMany);
      window.ModeSelectClick();
      window.CheckBoxes[1]->click();
      window.OKBtn->click();
    });
    form.MultipleBtnClick();
    setMultipleFormHook(previous);
    QVERIFY(form.MultipleBtn->isHidden());
    QCOMPARE(start.dir.read("L02.NC"), std::string("2\r\nP2\r\nN1 X2\r\n"));
    QCOMPARE(form.ProgNoEdit->value(), 2);
    QCOMPARE(messages(form).last(), QStringLiteral("#107"));
  }

  // A batch read whose programs were all saved, those that arrived, leaves
  // no unsaved mark, whichever of them the controller does not hold.
  void batchOfSavedProgramsLeavesNoUnsavedMark_data() {
    QTest::addColumn<QList<int>>("numbers");
    QTest::newRow("all held") << QList<int>{2};
    QTest::newRow("first absent") << QList<int>{1, 2};
    QTest::newRow("last absent") << QList<int>{2, 3};
  }
  void batchOfSavedProgramsLeavesNoUnsavedMark() {
    QFETCH(QList<int>, numbers);
    StartDir start;
    test::EmulatorOptions options;
    options.programs[2] = "2\r\nP2\r\nN1 X2\r\n";
    test::Emulator emulator(start.dir, options);
    TMainForm form(start.dir.dir());
    auto previous = setMultipleFormHook([&](TMultipleNCForm& window) {
      window.ModeSelect->setItemIndex(kBatchReadMany);
      window.ModeSelectClick();
      for (int n : numbers) window.CheckBoxes[n - 1]->click();
      window.OKBtn->click();
    });
    form.MultipleBtnClick();
    setMultipleFormHook(previous);
    QCOMPARE(start.dir.read("L02.NC"), std::string("2\r\nP2\r\nN1 X2\r\n"));
    QVERIFY2(!form.windowTitle().startsWith("* "), qPrintable(form.windowTitle() + "|" + form.ProgramMemo->toPlainText() + "|" + QString::number(form.ProgNoEdit->value()) + "|" + form.MsgMemo->toPlainText()));
  }
};

QTEST_MAIN(TestNcPage)
#include "test_nc_page.moc"
