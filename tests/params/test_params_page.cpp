// The parameter page of the main window: its widgets behind the parameter
// catalogue, files and transfers, with the controller emulator as COM2.
#include <QListWidget>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <filesystem>

#include "base/codec.h"
#include "app/filewindows.h"
#include "app/mainform.h"
#include "app/msgdlg.h"
#include "link/portholder.h"
#include "params/paramlist.h"
#include "support/filewindows.h"
#include "support/startdir.h"
#include "support/hook.h"
#include "support/emulator.h"
#include "support/fakehost.h"

using namespace qxr;

namespace {

// A start directory with the catalogue "#n" (Chinese), the shipped parameter
// descriptions, and block mode for speed.
struct StartDir : test::StartDir {
  StartDir() : test::StartDir(-1, parameterFiles) {
    test::makeTestSession(*this);
    Settings settings;
    settings.transitMode = 1;
    writeSettings(settings);
  }
};

QStringList messages(const TMainForm& form) {
  return form.parameters->ParMsgMemo->toPlainText().split('\n');
}

struct AnswerOk : test::ScopedHook<MessageDialogHook> {
  AnswerOk() : ScopedHook(setMessageDialogHook, [](QDialog&) { return 1; }) {}
};

ParameterEntries shippedList(int model, int version) {
  ParameterCatalogue catalogue;
  catalogue.loadAdditionalLists(test::dataDir(), 0);
  return catalogue.build(test::dataDir(), model, version, 0);
}

}  // namespace

class TestParamsPage : public QObject {
  Q_OBJECT

 private slots:
  // A port that does not open says on the page where it led and why.
  void portFailureReasonOnThePage() {
    StartDir start;
    AnswerOk ok;
    std::filesystem::create_symlink("/dev/null", start.file("COM2"));
    TMainForm form(start.dir());
    form.PageControl->setCurrentIndex(kParameterPage);
    form.parameters->ParameterMemo->setPlainText("Speed(12)=300\n");
    form.parameters->ParTrnBtn->click();
    PortOpenFailure failure;
    failure.failure = PortFailure::kNotTerminal;
    QVERIFY2(messages(form).contains(
                 QString::fromStdString("#102COM2 (/dev/null): " + portFailureText(0, failure))),
             qPrintable(form.parameters->ParMsgMemo->toPlainText()));
  }

  void sendAndReceiveThroughTheWidgets() {
    StartDir start;
    AnswerOk ok;
    test::EmulatorOptions options;
    options.parameters = "1=3\r\n2=250\r\n";
    test::Emulator emulator(start, options);
    TMainForm form(start.dir());
    form.PageControl->setCurrentIndex(kParameterPage);

    form.parameters->ParameterMemo->setPlainText("/ 備註\nSpeed(12)=300\n");
    // A press of the receive button while the send waits is refused.
    bool pressed = false;
    QTimer::singleShot(0, &form, [&] {
      form.parameters->ParRcvBtn->click();
      pressed = true;
    });
    form.parameters->ParTrnBtn->click();
    QVERIFY(pressed);
    QCOMPARE(emulator.framesIn(), (std::vector<std::string>{"$%\r\n", "$R\r\n", "12=300\r\n"}));
    QVERIFY(messages(form).contains(QString::fromUtf8("/ 備註...Skip...")));
    QCOMPARE(messages(form).last(), QStringLiteral("#107"));

    // Read the first two entries back: the editor shows them by name.
    const ParameterEntries list = shippedList(0, 1);  // QXR102, version K at start
    QCOMPARE(form.parameters->ParaCheckListBox->count(), static_cast<int>(list.size()));
    for (int row : {0, 1}) form.parameters->ParaCheckListBox->item(row)->setCheckState(Qt::Checked);
    form.parameters->ParRcvBtn->click();
    QCOMPARE(form.parameters->ParameterMemo->toPlainText(),
             QString::fromStdString(bytesToUtf8(list[0].name, 0) + "(1)=3\n" + bytesToUtf8(list[1].name, 0) +
                                    "(2)=250"));
    QCOMPARE(messages(form).last(), QStringLiteral("#107"));
  }

  void fileButtonsThroughTheFileWindows() {
    StartDir start;
    TMainForm form(start.dir());
    form.PageControl->setCurrentIndex(kParameterPage);
    const std::string path = start.file("set.par");
    test::FileWindowAnswers files(start.dir(), [](bool) { return QString("set"); });
    form.parameters->ParameterMemo->setPlainText(QString::fromUtf8("速度(12)=300\n\n") + QString(120, 'x'));
    form.parameters->WriteParBtn->click();
    QCOMPARE(start.read("set.par"), "\xB3\x74\xAB\xD7(12)=300\r\n\r\n" + std::string(120, 'x') + "\r\n");
    QCOMPARE(form.parameters->ParFileNameLabel->text(), QString::fromStdString("#35" + path));

    form.parameters->ParameterMemo->clear();
    form.parameters->ReadParBtn->click();
    QCOMPARE(form.parameters->ParameterMemo->toPlainText(),
             QString::fromUtf8("速度(12)=300\n\n") + QString(120, 'x'));
    QCOMPARE(messages(form).mid(messages(form).size() - 3),
             (QStringList{"#111", "#114:3", "#115"}));
  }
};

QTEST_MAIN(TestParamsPage)
#include "test_params_page.moc"
