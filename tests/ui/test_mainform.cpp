// The main window: start-up state, captions, the small handlers, the hidden
// controls, the LinkHost and DetectTarget sides, and closing.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollBar>
#include <QSpinBox>
#include <QTabWidget>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QAbstractTextDocumentLayout>
#include <QKeyEvent>
#include <filesystem>
#include <memory>

#include "app/mainform.h"
#include "app/msgdlg.h"
#include "base/codec.h"
#include "base/textio.h"
#include "base/settings.h"
#include "nc/ncfile.h"
#include "support/tempdir.h"
#include "widgets/fspinedit.h"
#include "widgets/radiogroup.h"

using namespace qxr;

namespace {

// A start directory with the shipped catalogues and a Customer.ini.
struct StartDir {
  test::TempDir dir;
  explicit StartDir(int language, bool catalogues = true) {
    if (catalogues) {
      for (const char* name : {"Message.C", "Message.E"})
        std::filesystem::copy_file(test::dataDir() + name, dir.file(name));
    }
    dir.write("Customer.ini", "Language = " + std::to_string(language) + "\r\nBaud = 4\r\n");
  }
};

// Records the dialogs shown instead of running them.
struct DialogRecorder {
  QStringList shown;
  int answer = mrOk;
  MessageDialogHook previous;
  DialogRecorder() {
    previous = setMessageDialogHook([this](QDialog& d) {
      QStringList buttons;
      for (auto* b : d.findChildren<QPushButton*>()) buttons << b->objectName();
      shown << d.windowTitle() + "|" + d.findChild<QLabel*>("Message")->text() + "|" + buttons.join(",");
      return answer;
    });
  }
  ~DialogRecorder() { setMessageDialogHook(previous); }
};

void clickWith(QWidget* page, Qt::KeyboardModifiers modifiers) {
  QTest::mouseClick(page, Qt::LeftButton, modifiers, QPoint(2, page->height() - 2));
}

}  // namespace

class TestMainForm : public QObject {
  Q_OBJECT

 private slots:
  void startUpStateAndCaptions() {
    StartDir start(1);
    start.dir.write("Init.ini",
                    "Time Out Timer    = 1000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\n"
                    "Transit mode      = 0\r\nDefault COM       = 3\r\nPLC Transit Delay = 75\r\n"
                    "MAX COM Port      = 5\r\n");
    TMainForm form(start.dir.dir());
    QCOMPARE(form.size(), QSize(772, 545));
    QCOMPARE(form.windowTitle(), QString("QXRX02 Software"));
    for (const char* name : {"PageControl", "ProgramSheet", "ProgramMemo", "Memo1", "ProgNoEdit", "ProgNameEdit",
                             "TmpProgNameEdit", "ReadFileBtn", "WriteFileBtn", "TransBtn", "RcvBtn",
                             "DelProgBtn", "SimulatorBtn", "MultipleBtn", "AutoDetectBtn", "COM_Select", "TypeSel",
                             "MsgMemo", "ClrMsgBtn", "CloseBtn", "SpeedButton1", "VersionBtn", "Label11",
                             "Button6", "ParameterSheet", "ParaCheckListBox", "ParameterMemo", "ParMsgMemo",
                             "QXR300RadioButton", "Panel1", "VerMRadioBtn", "SelAllBtn", "ParRcvBtn", "CloseBtn2",
                             "Label10", "ParFileNameLabel", "PLMSheet", "PLMMemo", "Memo2", "PLMMsgMemo",
                             "PLMTrnBtn", "TransDelayValue", "TmpMemo", "Progress", "CloseBtn3",
                             "PLMFileNameLabel"})
      QVERIFY2(form.findChild<QWidget*>(name), name);

    QCOMPARE(form.TransBtn->text(), QString::fromStdString(form.session().msg(21)));
    QCOMPARE(form.PageControl->tabText(2), QString::fromStdString(form.session().msg(51)));
    QCOMPARE(form.TypeSel->title(), QString::fromStdString(form.session().msg(18)));
    QCOMPARE(form.COM_Select->count(), 5);
    QCOMPARE(form.COM_Select->itemText(4), QString("COM5"));
    QCOMPARE(form.COM_Select->currentIndex(), 3);
    QCOMPARE(form.TransDelayValue->Value(), 75.0);
    QCOMPARE(form.ProgNoEdit->value(), 1);
    QCOMPARE(form.ProgNoEdit->maximum(), 99);
    QCOMPARE(form.TypeSel->itemIndex(), 0);
    QVERIFY(form.QXR102RadioButton->isChecked());
    QVERIFY(form.VerKRadioBtn->isChecked());
    QCOMPARE(form.session().versionIndex, 1);
    QCOMPARE(form.pageIndex(), 0);
    for (QWidget* hidden : std::initializer_list<QWidget*>{form.MultipleBtn, form.AutoDetectBtn,
                                                           form.TransDelayValue, form.TmpMemo, form.Progress,
                                                           form.Button1, form.Button6})
      QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QCOMPARE(form.Memo1->document()->findBlockByNumber(5999).text(), QString("N6000"));
    QVERIFY(form.Memo1->document()->findBlockByNumber(6000).text().isEmpty());
    QCOMPARE(form.Memo2->document()->findBlockByNumber(1023).text(), QString("N1024"));
    QCOMPARE(form.Memo2->document()->firstBlock().text(), QString("N0001"));
  }

  void chineseTitleAndCaptionsWithoutCatalogue() {
    StartDir start(0, false);
    TMainForm form(start.dir.dir());
    QCOMPARE(form.windowTitle(), QString::fromUtf8("QXRX02通訊軟體"));
    // No catalogue: the layout's own captions stay rather than none at all.
    QCOMPARE(form.TransBtn->text(), QString::fromUtf8("傳送到控制器"));
    QCOMPARE(form.PageControl->tabText(1), QString::fromUtf8("參數設定"));
  }

  void typedLettersBecomeUpperCasePastedTextDoesNot() {
    StartDir start(1);
    TMainForm form(start.dir.dir());
    QTest::keyClicks(form.ProgramMemo, "g01 x10");
    QCOMPARE(form.ProgramMemo->toPlainText(), QString("G01 X10"));
    form.ProgramMemo->insertPlainText(" (pasted)");
    QCOMPARE(form.ProgramMemo->toPlainText(), QString("G01 X10 (pasted)"));
    QTest::keyClicks(form.PLMMemo, "ld x1");
    QCOMPARE(form.PLMMemo->toPlainText(), QString("LD X1"));
    // Program names: upper case, at most 8 bytes.
    QTest::keyClicks(form.ProgNameEdit, "part12345");
    QCOMPARE(form.ProgNameEdit->text(), QString("PART1234"));
    form.ProgNameEdit->setText("abc");
    QCOMPARE(form.ProgNameEdit->text(), QString("ABC"));
  }

  void chineseProgramNameCountsBytes() {
    StartDir start(0);
    TMainForm form(start.dir.dir());
    // Four Big5 characters fill the eight bytes of the name frame.
    for (QChar c : QString::fromUtf8("零件程式一")) {
      QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(form.ProgNameEdit, &key);
    }
    QCOMPARE(form.ProgNameEdit->text(), QString::fromUtf8("零件程式"));
  }

  // Entries bound in the start directory keep their names and show where
  // they lead, a device or a network address, at the start of their tips.
  void portListShowsBindings() {
    StartDir start(1);
    std::filesystem::create_symlink("rfc2217://127.0.0.1:7001", start.dir.file("COM3"));
    std::filesystem::create_symlink("tcp://127.0.0.1:7002", start.dir.file("com4"));
    std::filesystem::create_symlink("/dev/ttyUSB0", start.dir.file("COM1"));
    TMainForm form(start.dir.dir());
    const QStringList texts = {"COM1", "COM2", "COM3", "COM4"};
    const QStringList tips = {"/dev/ttyUSB0", "", "rfc2217://127.0.0.1:7001", "tcp://127.0.0.1:7002"};
    for (int i = 0; i < texts.size(); ++i) {
      QCOMPARE(form.COM_Select->itemText(i), texts[i]);
      const QString tip = form.COM_Select->itemData(i, Qt::ToolTipRole).toString();
      QVERIFY2(tip.startsWith(tips[i]), qPrintable(tip));
    }
  }

  void portListIgnoresTyping() {
    StartDir start(1);
    TMainForm form(start.dir.dir());
    QCOMPARE(form.COM_Select->currentIndex(), 1);
    QTest::keyClicks(form.COM_Select, "c5");
    QCOMPARE(form.COM_Select->currentIndex(), 1);
    form.selectPortIndex(4);
    QCOMPARE(form.selectedPortIndex(), 4);
    form.selectPortIndex(99);
    QCOMPARE(form.selectedPortIndex(), 4);
  }

  void pageChangesAndHiddenControls() {
    StartDir start(1);
    TMainForm form(start.dir.dir());
    DialogRecorder dialogs;
    const QString notice = "Warning|" + QString::fromStdString(form.session().msg(55)) + "|JOBtn";

    // Program page: Alt+Shift toggles the port search, Ctrl+Shift and
    // Alt+Ctrl the multiple transfer.
    clickWith(form.ProgramSheet, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(!form.AutoDetectBtn->isHidden());
    QVERIFY(form.MultipleBtn->isHidden());
    clickWith(form.ProgramSheet, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!form.MultipleBtn->isHidden());
    clickWith(form.ProgramSheet, Qt::AltModifier | Qt::ControlModifier);
    QVERIFY(form.MultipleBtn->isHidden());
    clickWith(form.ProgramSheet, Qt::ControlModifier | Qt::ShiftModifier);
    clickWith(form.ProgramSheet, Qt::ShiftModifier);
    QVERIFY(!form.MultipleBtn->isHidden());

    form.plcFilePath = "/somewhere/else.mcn";
    form.PageControl->setCurrentIndex(kPlcPage);
    QCOMPARE(dialogs.shown, QStringList{notice});
    QCOMPARE(form.plcFilePath, std::string("Tmp.mcn"));
    QVERIFY(form.AutoDetectBtn->isHidden());      // hidden again by the page change
    QVERIFY(!form.MultipleBtn->isHidden());       // keeps its visibility
    clickWith(form.PLMSheet, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(!form.TransDelayValue->isHidden());
    clickWith(form.PLMSheet, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(form.TransDelayValue->isHidden());
    clickWith(form.PLMSheet, Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(form.pageIndex(), int(kPlcPage));

    form.PageControl->setCurrentIndex(kParameterPage);
    QVERIFY(form.TransDelayValue->isHidden());
    QCOMPARE(form.pageIndex(), int(kParameterPage));
    form.PageControl->setCurrentIndex(kPlcPage);
    QCOMPARE(dialogs.shown, (QStringList{notice, notice}));
    // The toggle started again: one click shows the delay.
    clickWith(form.PLMSheet, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(!form.TransDelayValue->isHidden());

    // On "QXR X00/X01" the program page's clicks do nothing.
    form.PageControl->setCurrentIndex(kProgramPage);
    form.TypeSel->setItemIndex(1);
    clickWith(form.ProgramSheet, Qt::AltModifier | Qt::ShiftModifier);
    clickWith(form.ProgramSheet, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(form.AutoDetectBtn->isHidden());
    QVERIFY(!form.MultipleBtn->isHidden());
  }

  void modelAndVersionChoices() {
    StartDir start(1);
    TMainForm form(start.dir.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.PageControl->setCurrentIndex(kParameterPage);
    form.QXR202RadioButton->setFocus(Qt::MouseFocusReason);
    QCOMPARE(form.session().modelIndex, 1);
    QCOMPARE(form.session().versionIndex, 0);
    QVERIFY(form.VerSDRadioBtn->isChecked());
    form.VerMRadioBtn->setFocus(Qt::TabFocusReason);
    QCOMPARE(form.session().versionIndex, 2);
    QCOMPARE(form.session().modelIndex, 1);
    form.QXR101RadioButton->setFocus(Qt::MouseFocusReason);
    QCOMPARE(form.session().modelIndex, 3);
    QCOMPARE(form.session().versionIndex, 2);  // X00/X01 models leave the version
    form.QXR102RadioButton->setFocus(Qt::TabFocusReason);
    QCOMPARE(form.session().versionIndex, 1);
    QVERIFY(form.VerKRadioBtn->isChecked());

    // The port search sets the choices without the buttons' own handlers.
    form.setDetectedModel(1, 4);
    form.setDetectedVersion(0);
    QCOMPARE(form.TypeSel->itemIndex(), 1);
    QVERIFY(form.QXR200RadioButton->isChecked());
    QCOMPARE(form.session().modelIndex, 4);
    QCOMPARE(form.session().versionIndex, 0);
    QVERIFY(form.VerSDRadioBtn->isChecked());
    form.setDetectedModel(0, 42);  // out of range: the model stays
    QCOMPARE(form.session().modelIndex, 4);

    // Check and uncheck every parameter.
    form.ParaCheckListBox->clear();
    form.ParaCheckListBox->addItems({"A", "B", "C"});
    form.SelAllBtn->click();
    for (int i = 0; i < 3; ++i) QCOMPARE(form.ParaCheckListBox->item(i)->checkState(), Qt::Checked);
    form.CancelSelBtn->click();
    for (int i = 0; i < 3; ++i) QCOMPARE(form.ParaCheckListBox->item(i)->checkState(), Qt::Unchecked);
  }

  void pageReportsQuestionsAndClearing() {
    StartDir start(0);
    TMainForm form(start.dir.dir());
    // Catalogue text (UTF-8) followed by bytes of the operator's code page (Big5).
    form.appendPageLine(kParameterPage, std::string("\xe6\xaa\x94: ") + "\xb9\x73");
    QCOMPARE(form.ParMsgMemo->toPlainText(), QString::fromUtf8("檔: 零"));
    // A Big5 line that starts like UTF-8 (C4 A1) is still read as Big5.
    form.appendPageLine(kProgramPage, "\xc4\xa1\xb9\x73");
    form.appendPageLine(kProgramPage, "N1 \xc4\xa1\xb9\x73");
    QCOMPARE(form.MsgMemo->toPlainText(), QString::fromUtf8("纂零\nN1 纂零"));
    form.ClrMsgBtn->click();
    form.appendPageLine(kPlcPage, "PLC");
    form.appendPageLine(7, "nowhere");
    QCOMPARE(form.PLMMsgMemo->toPlainText(), QString("PLC"));
    QVERIFY(form.MsgMemo->toPlainText().isEmpty());
    form.ClrMsgBtn2->click();
    form.ClrMsgBtn3->click();
    QVERIFY(form.ParMsgMemo->toPlainText().isEmpty() && form.PLMMsgMemo->toPlainText().isEmpty());

    DialogRecorder dialogs;
    dialogs.answer = mrCancel;
    QVERIFY(!form.confirm("Send?"));
    dialogs.answer = mrOk;
    QVERIFY(form.confirm("Send?\n\xe5\x90\x8d:\xb9\x73"));
    form.notice("Done");
    QCOMPARE(dialogs.shown, (QStringList{"Confirmation|Send?|JOBtn,JLBtn",
                                         QString::fromUtf8("Confirmation|Send?\n名:零|JOBtn,JLBtn"),
                                         "Warning|Done|JOBtn"}));
    // The main variant's captions come from the catalogue (OK 73, Cancel 74).
    QCOMPARE(mainVariantCaption(mbCancel), QString::fromStdString(form.session().msg(74)));
  }

  void lineLabelsFollowTheEditor() {
    StartDir start(1);
    TMainForm form(start.dir.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList lines;
    for (int i = 0; i < 300; ++i) lines << QString("G01 X%1").arg(i);
    form.ProgramMemo->setPlainText(lines.join('\n'));
    form.ProgramMemo->verticalScrollBar()->setValue(120);
    QCOMPARE(form.Memo1->verticalScrollBar()->value(), 120);
    form.ProgramMemo->verticalScrollBar()->setValue(7);
    QCOMPARE(form.Memo1->verticalScrollBar()->value(), 7);
    form.PLMMemo->setPlainText(lines.join('\n'));
    form.PLMMemo->verticalScrollBar()->setValue(33);
    QCOMPARE(form.Memo2->verticalScrollBar()->value(), 33);
  }

  // At the editor's last line, full or with a line end after it, and with
  // or without a horizontal scroll bar, each label stays beside its line.
  void lineLabelsStayRightAtTheLastLine_data() {
    QTest::addColumn<int>("count");
    QTest::addColumn<bool>("lineEnd");
    QTest::addColumn<bool>("wide");
    for (int count : {6000, 1024})
      for (bool lineEnd : {false, true})
        for (bool wide : {false, true})
          QTest::newRow(qPrintable(QString("%1%2%3").arg(count).arg(lineEnd ? " +LF" : "").arg(wide ? " wide" : "")))
              << count << lineEnd << wide;
  }
  void lineLabelsStayRightAtTheLastLine() {
    QFETCH(int, count);
    QFETCH(bool, lineEnd);
    QFETCH(bool, wide);
    StartDir start(1);
    DialogRecorder dialogs;
    TMainForm form(start.dir.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const bool plc = count == 1024;
    QPlainTextEdit* editor = plc ? form.PLMMemo : form.ProgramMemo;
    QPlainTextEdit* column = plc ? form.Memo2 : form.Memo1;
    form.PageControl->setCurrentWidget(plc ? form.PLMSheet : form.ProgramSheet);
    QStringList lines;
    for (int i = 0; i < count; ++i) lines << QString("G01 X%1").arg(i);
    if (wide) lines[0] += QString(300, 'X');
    editor->setPlainText(lines.join('\n') + (lineEnd ? "\n" : ""));
    editor->setFocus();
    QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);
    QCoreApplication::processEvents();
    QVERIFY(editor->verticalScrollBar()->value() > 0);
    QCOMPARE(column->verticalScrollBar()->value(), editor->verticalScrollBar()->value());
  }

  // Whatever scrolls the editor, the labels follow its first visible line.
  void lineLabelsFollowKeyboardPasteAndLoading() {
    StartDir start(1);
    DialogRecorder dialogs;  // the PLC page's notice
    TMainForm form(start.dir.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList lines;
    for (int i = 0; i < 400; ++i) lines << QString("G01 X%1").arg(i);
    for (auto [editor, column] : {std::pair{form.ProgramMemo, form.Memo1}, std::pair{form.PLMMemo, form.Memo2}}) {
      form.PageControl->setCurrentWidget(editor == form.PLMMemo ? form.PLMSheet : form.ProgramSheet);
      editor->setFocus();
      auto level = [&] {
        QCoreApplication::processEvents();
        return column->verticalScrollBar()->value() == editor->verticalScrollBar()->value();
      };
      editor->setPlainText(lines.join('\n'));
      QTest::keyClick(editor, Qt::Key_End, Qt::ControlModifier);  // keyboard
      QVERIFY(editor->verticalScrollBar()->value() > 300);
      QVERIFY(level());
      QTest::keyClick(editor, Qt::Key_PageUp);
      QVERIFY(level());
      editor->setPlainText(lines.join('\n'));  // a file loaded: back to the top
      QCOMPARE(editor->verticalScrollBar()->value(), 0);
      QVERIFY(level());
      editor->moveCursor(QTextCursor::End);
      editor->insertPlainText(lines.mid(0, 100).join('\n'));  // a paste at the end
      QVERIFY2(editor->verticalScrollBar()->value() > 300,
               qPrintable(QString::number(editor->verticalScrollBar()->value())));
      QVERIFY(level());
    }
  }

  void lineLabelsKeepTheirHeightBesideChineseText() {
    StartDir start(0);
    TMainForm form(start.dir.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.ProgramMemo->setPlainText(QString::fromUtf8("G01 X10 (切削)\n(程式開始)\nM30\n"));
    auto height = [](QPlainTextEdit* edit, int line) {
      QTextDocument* doc = edit->document();
      return doc->documentLayout()->blockBoundingRect(doc->findBlockByNumber(line)).height();
    };
    // A fallback font for the Chinese characters would make those lines
    // taller than the labels beside them, and the labels would drift.
    for (int line = 0; line < 3; ++line) QCOMPARE(height(form.ProgramMemo, line), height(form.Memo1, line));
  }

  // Init.ini may hold a delay beyond the field's range: the field shows the
  // delay that is used, and the setting goes back unchanged unless set anew.
  void transferDelayFieldShowsTheDelayInUse() {
    struct Row {
      const char* inIni;
      const char* shown;
      const char* typed;       // nothing typed when empty
      const char* shownAfter;  // once the field is left
      const char* written;
    };
    const Row rows[] = {
        {"100000", "5000", "", "5000", "100000"},
        {"-20", "0", "", "0", "-20"},
        {"75", "75", "", "75", "75"},
        {"100000", "5000", "9999", "5000", "5000"},
        {"75", "75", "120", "120", "120"},
    };
    for (const Row& row : rows) {
      StartDir start(1);
      Settings settings;
      settings.plcTransferDelayMs = std::stoi(row.inIni);
      start.dir.write("Init.ini", formatInitIni(settings));
      {
        TMainForm form(start.dir.dir());
        form.show();
        QCOMPARE(form.TransDelayValue->text(), QString(row.shown));
        if (*row.typed) {
          form.TransDelayValue->setVisible(true);
          form.TransDelayValue->editor()->setFocus();
          form.TransDelayValue->editor()->selectAll();
          QTest::keyClicks(form.TransDelayValue->editor(), row.typed);
          form.ProgramMemo->setFocus();
          emit form.TransDelayValue->editor()->editingFinished();
        }
        QCOMPARE(form.TransDelayValue->text(), QString(row.shownAfter));
        form.close();
      }
      const auto lines = readAllLines(initIniPath(start.dir.dir()), kSettingsFileLimit);
      QVERIFY(lines && lines->size() == 9);
      QCOMPARE((*lines)[5], std::string("PLC Transit Delay = ") + row.written);
    }
  }

  // Text the code page cannot hold is said where it is typed and refused
  // where it would be saved or sent; the operator's text stays.
  void charactersOutsideTheCodePageAreNamedAndKept() {
    StartDir start(1);  // Latin-1
    TMainForm form(start.dir.dir());
    form.ProgramMemo->setPlainText("G00 X0\n");
    form.ProgramMemo->moveCursor(QTextCursor::End);
    form.ProgramMemo->insertPlainText(QString::fromUtf8("G01 (\u4E2D) X5"));
    const QString notice = form.MsgMemo->toPlainText();
    QVERIFY2(notice.contains(QString::fromUtf8("Line 2: the character \"\u4E2D\" has no place")), qPrintable(notice));
    form.ProgramMemo->moveCursor(QTextCursor::Start);
    QVERIFY(!form.editorTextFitsCodePage(form.ProgramMemo, kProgramPage, Refused::kSend));
    QCOMPARE(form.ProgramMemo->textCursor().selectedText(), QString::fromUtf8("\u4E2D"));
    QVERIFY(form.MsgMemo->toPlainText().endsWith("ISO-8859-1: nothing was sent"));
    QVERIFY(form.ProgramMemo->toPlainText().contains(QString::fromUtf8("\u4E2D")));
    // Bytes read from a file come back as they were: nothing to say.
    form.MsgMemo->clear();
    form.PLMMemo->setPlainText(QString::fromUtf8("LD X1 (caf\u00E9)"));
    QVERIFY(form.editorTextFitsCodePage(form.PLMMemo, kPlcPage, Refused::kSave));
    QVERIFY(form.PLMMsgMemo->toPlainText().isEmpty());
    form.ParameterMemo->setPlainText(QString::fromUtf8("A(1)=5 \u20AC"));
    QVERIFY(!form.editorTextFitsCodePage(form.ParameterMemo, kParameterPage, Refused::kSave));
    QVERIFY(form.ParMsgMemo->toPlainText().endsWith("the file was not written"));
  }

  // The name fields follow the core's name rule, as qxrtool does.
  void programNamesFollowTheCoreRule() {
    for (int language : {0, 1}) {
      StartDir start(language);
      TMainForm form(start.dir.dir());
      for (const char* utf8 : {"part1", "ab\u00E9", "a\u4E39x"}) {
        const std::string bytes = utf8ToBytes(utf8, language);
        if (findUnencodable(utf8, language) != std::string::npos) continue;
        form.TmpProgNameEdit->setText(QString::fromUtf8(utf8));
        QCOMPARE(utf8ToBytes(form.TmpProgNameEdit->text().toStdString(), language),
                 programNameRule(bytes, language));
      }
    }
  }

  void closingWritesTheSelectedPortAndTransferDelay() {
    StartDir start(1);
    {
      TMainForm form(start.dir.dir());
      form.COM_Select->setCurrentIndex(2);
      form.TransDelayValue->SetValue(80);
      QCOMPARE(form.session().settings.plcTransferDelayMs, 80);
      // Enter in the delay box is swallowed.
      QTest::keyClick(form.TransDelayValue->editor(), Qt::Key_Return);
      QTest::keyClicks(form.TransDelayValue->editor(), "x");
      QCOMPARE(form.TransDelayValue->Value(), 80.0);
      form.close();
    }
    const auto lines = readAllLines(start.dir.file("Init.Ini"), kSettingsFileLimit);
    QVERIFY(lines);
    QCOMPARE(lines->size(), size_t(9));
    QCOMPARE((*lines)[4], std::string("Default COM       = 2"));
    QCOMPARE((*lines)[5], std::string("PLC Transit Delay = 80"));
    // The next start reads them back.
    TMainForm again(start.dir.dir());
    QCOMPARE(again.COM_Select->currentIndex(), 2);
    QCOMPARE(again.TransDelayValue->Value(), 80.0);
  }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
