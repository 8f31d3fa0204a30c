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
#include "nc/nctexts.h"
#include "support/filewindows.h"
#include "support/startdir.h"
#include "support/hook.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "widgets/radiogroup.h"

using namespace qxr;

namespace {

using StartDir = test::NumberedStartDir;

QStringList messages(const TMainForm& form) {
  return form.program->MsgMemo->toPlainText().split('\n');
}

// Answers every question of the message dialog with OK.
struct AnswerOk : test::ScopedHook<MessageDialogHook> {
  AnswerOk() : ScopedHook(setMessageDialogHook, [](QDialog&) { return 1; }) {}
};

}  // namespace

class TestNcPage : public QObject {
  Q_OBJECT

 private slots:
  void editorLinesAsTheOperationsSeeThem() {
    StartDir start;
    TMainForm form(start.dir());
    const std::pair<QString, std::vector<std::string>> cases[] = {
        {"", {}},
        {"\n", {""}},
        {"G00", {"G00"}},
        {"G00\nM30\n", {"G00", "M30"}},
        {"G00\n\n", {"G00", ""}},
        {"\nG01 X5\nM30", {"", "G01 X5", "M30"}},
    };
    for (const auto& [text, lines] : cases) {
      form.program->ProgramMemo->setPlainText(text);
      QCOMPARE(form.ProgramLines(), lines);
    }
  }

  void sendAndReceiveThroughTheWidgets() {
    StartDir start;
    AnswerOk ok;
    test::Emulator emulator(start);
    TMainForm form(start.dir());
    const QString title = form.windowTitle();
    form.program->ProgramMemo->setPlainText("G00 X0\n\nM30\n");
    form.program->ProgNoEdit->setValue(7);
    form.program->ProgNameEdit->setText("PART1");
    // A press of another button that uses the port while the send waits is
    // refused, on this page and on the others.
    bool pressed = false;
    QTimer::singleShot(0, &form, [&] {
      form.program->RcvBtn->click();
      form.parameters->ParRcvBtn->click();
      form.plc->PLMRcvBtn->click();
      pressed = true;
    });
    form.program->TransBtn->click();
    QVERIFY(pressed);
    QCOMPARE(emulator.framesIn().size(), std::size_t{10});
    QCOMPARE(*emulator.storedProgram(7), std::string("7\r\nPART1\r\nN1 G00 X0\r\nN2 \r\nN3 M30\r\n"));
    QVERIFY(messages(form).contains("#106"));
    QCOMPARE(messages(form).last(), QStringLiteral("#107"));
    QCOMPARE(form.windowTitle(), title);  // the progress is gone again

    form.program->ProgramMemo->clear();
    form.program->ProgNameEdit->clear();
    form.program->RcvBtn->click();
    QCOMPARE(form.program->ProgramMemo->toPlainText(), QStringLiteral("G00 X0\n\nM30\n"));
    QCOMPARE(form.program->ProgNameEdit->text(), QStringLiteral("PART1"));
    QCOMPARE(messages(form).last(), QStringLiteral("#107"));
  }

  void fileButtonsThroughTheFileWindows() {
    StartDir start;
    TMainForm form(start.dir());
    const std::string path = start.file("prog.nc");
    test::FileWindowAnswers files(start.dir(), [](bool) { return QString("prog"); });
    form.program->ProgramMemo->setPlainText("G00 X0\n\nM30\n");
    form.program->ProgNoEdit->setValue(12);
    form.program->ProgNameEdit->setText("AB");
    form.program->WriteFileBtn->click();
    QCOMPARE(start.read("prog.nc"), std::string("12\r\nAB\r\nN1 G00 X0\r\nN3 M30\r\n"));
    QCOMPARE(form.program->FileNameLabel->text(), QString::fromStdString("#35" + path));

    form.program->ProgramMemo->clear();
    form.program->ProgNoEdit->setValue(1);
    form.program->ReadFileBtn->click();
    QCOMPARE(form.program->ProgramMemo->toPlainText(), QStringLiteral("G00 X0\n\nM30\n"));
    QCOMPARE(form.program->ProgNoEdit->value(), 12);
    QVERIFY(form.program->ProgramMemo->updatesEnabled());
    QCOMPARE(messages(form).last(), QStringLiteral("#115"));
  }

  void multipleButtonRunsTheBatch() {
    StartDir start;
    test::EmulatorOptions options;
    options.programs[2] = "2\r\nP2\r\nN1 X2\r\n";
    test::Emulator emulator(start, options);
    TMainForm form(start.dir());
    form.program->MultipleBtn->show();
    test::ScopedHook hook(setMultipleFormHook, [&](TMultipleNCForm& window) {
      QCOMPARE(window.directory(), start.dir());
      window.ModeSelect->setItemIndex(kBatchReadMany);
      window.ModeSelectClick();
      window.CheckBoxes[1]->click();
      window.OKBtn->click();
    });
    form.MultipleBtnClick();
    QVERIFY(form.program->MultipleBtn->isHidden());
    QCOMPARE(start.read("L02.NC"), std::string("2\r\nP2\r\nN1 X2\r\n"));
    QCOMPARE(form.program->ProgNoEdit->value(), 2);
    // The port closed, then the batch's count.
    QCOMPARE(messages(form).at(messages(form).size() - 2), QStringLiteral("#107"));
    QCOMPARE(messages(form).last().toStdString(), ncText(0, NcText::kReadManySummary, {}, 1, 0, 0));
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
    test::Emulator emulator(start, options);
    TMainForm form(start.dir());
    auto previous = setMultipleFormHook([&](TMultipleNCForm& window) {
      window.ModeSelect->setItemIndex(kBatchReadMany);
      window.ModeSelectClick();
      for (int n : numbers) window.CheckBoxes[n - 1]->click();
      window.OKBtn->click();
    });
    form.MultipleBtnClick();
    setMultipleFormHook(previous);
    QCOMPARE(start.read("L02.NC"), std::string("2\r\nP2\r\nN1 X2\r\n"));
    QVERIFY2(!form.windowTitle().startsWith("* "), qPrintable(form.windowTitle() + "|" + form.program->ProgramMemo->toPlainText() + "|" + QString::number(form.program->ProgNoEdit->value()) + "|" + form.program->MsgMemo->toPlainText()));
  }
};

QTEST_MAIN(TestNcPage)
#include "test_nc_page.moc"
