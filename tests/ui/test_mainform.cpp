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
#include "support/hook.h"
#include "support/startdir.h"
#include "support/tempdir.h"
#include "widgets/fspinedit.h"
#include "widgets/radiogroup.h"

using namespace qxr;

namespace {

using test::StartDir;

// Records the dialogs shown instead of running them.
struct DialogRecorder {
  QStringList shown;
  int answer = mrOk;
  test::ScopedHook<MessageDialogHook> hook{setMessageDialogHook, [this](QDialog& d) {
    QStringList buttons;
    for (auto* b : d.findChildren<QPushButton*>()) buttons << b->objectName();
    shown << d.windowTitle() + "|" + d.findChild<QLabel*>("Message")->text() + "|" + buttons.join(",");
    return answer;
  }};
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
    start.write("Init.ini",
                    "Time Out Timer    = 1000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\n"
                    "Transit mode      = 0\r\nDefault COM       = 3\r\nPLC Transit Delay = 75\r\n"
                    "MAX COM Port      = 5\r\n");
    TMainForm form(start.dir());
    QCOMPARE(form.size(), QSize(772, 545));
    QCOMPARE(form.windowTitle(), QString("QXRX02 Software"));
    for (const char* name : {"PageControl", "ProgramSheet", "ProgramMemo", "Memo1", "ProgNoEdit", "ProgNameEdit",
                             "ReadFileBtn", "WriteFileBtn", "TransBtn", "RcvBtn",
                             "DelProgBtn", "SimulatorBtn", "MultipleBtn", "AutoDetectBtn", "COM_Select", "TypeSel",
                             "MsgMemo", "ClrMsgBtn", "CloseBtn", "SpeedButton1", "VersionBtn", "Label11",
                             "Button6", "ParameterSheet", "ParaCheckListBox", "ParameterMemo", "ParMsgMemo",
                             "QXR300RadioButton", "Panel1", "VerMRadioBtn", "SelAllBtn", "ParRcvBtn", "CloseBtn2",
                             "Label10", "ParFileNameLabel", "PLMSheet", "PLMMemo", "Memo2", "PLMMsgMemo",
                             "PLMTrnBtn", "TransDelayValue", "TmpMemo", "Progress", "CloseBtn3",
                             "PLMFileNameLabel"})
      QVERIFY2(form.findChild<QWidget*>(name), name);

    QCOMPARE(form.program->TransBtn->text(), QString::fromStdString(form.session().msg(21)));
    QCOMPARE(form.PageControl->tabText(2), QString::fromStdString(form.session().msg(51)));
    QCOMPARE(form.program->TypeSel->title(), QString::fromStdString(form.session().msg(18)));
    QCOMPARE(form.program->COM_Select->count(), 5);
    QCOMPARE(form.program->COM_Select->itemText(4), QString("COM5"));
    QCOMPARE(form.program->COM_Select->currentIndex(), 3);
    QCOMPARE(form.plc->TransDelayValue->Value(), 75.0);
    QCOMPARE(form.program->ProgNoEdit->value(), 1);
    QCOMPARE(form.program->ProgNoEdit->maximum(), 99);
    QCOMPARE(form.program->TypeSel->itemIndex(), 0);
    QVERIFY(form.parameters->QXR102RadioButton->isChecked());
    QVERIFY(form.parameters->VerKRadioBtn->isChecked());
    QCOMPARE(form.session().versionIndex, 1);
    QCOMPARE(form.pageIndex(), 0);
    for (QWidget* hidden : std::initializer_list<QWidget*>{
             form.program->MultipleBtn, form.program->AutoDetectBtn, form.plc->TransDelayValue,
             form.plc->TmpMemo, form.plc->Progress, form.program->Button1, form.program->Button6})
      QVERIFY2(hidden->isHidden(), qPrintable(hidden->objectName()));
    QCOMPARE(form.program->Memo1->document()->findBlockByNumber(5999).text(), QString("N6000"));
    QVERIFY(form.program->Memo1->document()->findBlockByNumber(6000).text().isEmpty());
    QCOMPARE(form.plc->Memo2->document()->findBlockByNumber(1023).text(), QString("N1024"));
    QCOMPARE(form.plc->Memo2->document()->firstBlock().text(), QString("N0001"));
  }

  void chineseTitleAndCaptionsWithoutCatalogue() {
    StartDir start(0, StartDir::nothing);
    TMainForm form(start.dir());
    QCOMPARE(form.windowTitle(), QString::fromUtf8("QXRX02通訊軟體"));
    // No catalogue: the layout's own captions stay rather than none at all.
    QCOMPARE(form.program->TransBtn->text(), QString::fromUtf8("傳送到控制器"));
    QCOMPARE(form.PageControl->tabText(1), QString::fromUtf8("參數設定"));
  }

  void typedLettersBecomeUpperCasePastedTextDoesNot() {
    StartDir start(1);
    TMainForm form(start.dir());
    QTest::keyClicks(form.program->ProgramMemo, "g01 x10");
    QCOMPARE(form.program->ProgramMemo->toPlainText(), QString("G01 X10"));
    form.program->ProgramMemo->insertPlainText(" (pasted)");
    QCOMPARE(form.program->ProgramMemo->toPlainText(), QString("G01 X10 (pasted)"));
    QTest::keyClicks(form.plc->PLMMemo, "ld x1");
    QCOMPARE(form.plc->PLMMemo->toPlainText(), QString("LD X1"));
    // Program names: upper case, at most 8 bytes.
    QTest::keyClicks(form.program->ProgNameEdit, "part12345");
    QCOMPARE(form.program->ProgNameEdit->text(), QString("PART1234"));
    form.program->ProgNameEdit->setText("abc");
    QCOMPARE(form.program->ProgNameEdit->text(), QString("ABC"));
  }

  void chineseProgramNameCountsBytes() {
    StartDir start(0);
    TMainForm form(start.dir());
    // Four Big5 characters fill the eight bytes of the name frame.
    for (QChar c : QString::fromUtf8("零件程式一")) {
      QKeyEvent key(QEvent::KeyPress, Qt::Key_unknown, Qt::NoModifier, QString(c));
      QApplication::sendEvent(form.program->ProgNameEdit, &key);
    }
    QCOMPARE(form.program->ProgNameEdit->text(), QString::fromUtf8("零件程式"));
  }

  // Entries bound in the start directory keep their names and show where
  // they lead, a device or a network address, at the start of their tips.
  void portListShowsBindings() {
    StartDir start(1);
    std::filesystem::create_symlink("rfc2217://127.0.0.1:7001", start.file("COM3"));
    std::filesystem::create_symlink("tcp://127.0.0.1:7002", start.file("com4"));
    std::filesystem::create_symlink("/dev/ttyUSB0", start.file("COM1"));
    TMainForm form(start.dir());
    const QStringList texts = {"COM1", "COM2", "COM3", "COM4"};
    const QStringList tips = {"/dev/ttyUSB0", "", "rfc2217://127.0.0.1:7001", "tcp://127.0.0.1:7002"};
    for (int i = 0; i < texts.size(); ++i) {
      QCOMPARE(form.program->COM_Select->itemText(i), texts[i]);
      const QString tip = form.program->COM_Select->itemData(i, Qt::ToolTipRole).toString();
      QVERIFY2(tip.startsWith(tips[i]), qPrintable(tip));
    }
  }

  void portListIgnoresTyping() {
    StartDir start(1);
    TMainForm form(start.dir());
    QCOMPARE(form.program->COM_Select->currentIndex(), 1);
    QTest::keyClicks(form.program->COM_Select, "c5");
    QCOMPARE(form.program->COM_Select->currentIndex(), 1);
    form.selectPortIndex(4);
    QCOMPARE(form.selectedPortIndex(), 4);
    form.selectPortIndex(99);
    QCOMPARE(form.selectedPortIndex(), 4);
  }

  void pageChangesAndHiddenControls() {
    StartDir start(1);
    TMainForm form(start.dir());
    DialogRecorder dialogs;
    const QString notice = "Warning|" + QString::fromStdString(form.session().msg(55)) + "|JOBtn";

    // Program page: Alt+Shift toggles the port search, Ctrl+Shift and
    // Alt+Ctrl the multiple transfer.
    clickWith(form.program, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(!form.program->AutoDetectBtn->isHidden());
    QVERIFY(form.program->MultipleBtn->isHidden());
    clickWith(form.program, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(!form.program->MultipleBtn->isHidden());
    clickWith(form.program, Qt::AltModifier | Qt::ControlModifier);
    QVERIFY(form.program->MultipleBtn->isHidden());
    clickWith(form.program, Qt::ControlModifier | Qt::ShiftModifier);
    clickWith(form.program, Qt::ShiftModifier);
    QVERIFY(!form.program->MultipleBtn->isHidden());

    form.plc->setPlcFilePath("/somewhere/else.mcn");
    form.PageControl->setCurrentIndex(kPlcPage);
    QCOMPARE(dialogs.shown, QStringList{notice});
    QCOMPARE(form.plc->plcFilePath(), std::string("Tmp.mcn"));
    QVERIFY(form.program->AutoDetectBtn->isHidden());  // hidden again by the page change
    QVERIFY(!form.program->MultipleBtn->isHidden());   // keeps its visibility
    clickWith(form.plc, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(!form.plc->TransDelayValue->isHidden());
    clickWith(form.plc, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(form.plc->TransDelayValue->isHidden());
    clickWith(form.plc, Qt::AltModifier | Qt::ShiftModifier);
    QCOMPARE(form.pageIndex(), int(kPlcPage));

    form.PageControl->setCurrentIndex(kParameterPage);
    QVERIFY(form.plc->TransDelayValue->isHidden());
    QCOMPARE(form.pageIndex(), int(kParameterPage));
    form.PageControl->setCurrentIndex(kPlcPage);
    QCOMPARE(dialogs.shown, (QStringList{notice, notice}));
    // The toggle started again: one click shows the delay.
    clickWith(form.plc, Qt::AltModifier | Qt::ShiftModifier);
    QVERIFY(!form.plc->TransDelayValue->isHidden());

    // On "QXR X00/X01" the program page's clicks do nothing.
    form.PageControl->setCurrentIndex(kProgramPage);
    form.program->TypeSel->setItemIndex(1);
    clickWith(form.program, Qt::AltModifier | Qt::ShiftModifier);
    clickWith(form.program, Qt::ControlModifier | Qt::ShiftModifier);
    QVERIFY(form.program->AutoDetectBtn->isHidden());
    QVERIFY(!form.program->MultipleBtn->isHidden());
  }

  void modelAndVersionChoices() {
    StartDir start(1);
    TMainForm form(start.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.PageControl->setCurrentIndex(kParameterPage);
    form.parameters->QXR202RadioButton->setFocus(Qt::MouseFocusReason);
    QCOMPARE(form.session().modelIndex, 1);
    QCOMPARE(form.session().versionIndex, 0);
    QVERIFY(form.parameters->VerSDRadioBtn->isChecked());
    form.parameters->VerMRadioBtn->setFocus(Qt::TabFocusReason);
    QCOMPARE(form.session().versionIndex, 2);
    QCOMPARE(form.session().modelIndex, 1);
    form.parameters->QXR101RadioButton->setFocus(Qt::MouseFocusReason);
    QCOMPARE(form.session().modelIndex, 3);
    QCOMPARE(form.session().versionIndex, 2);  // X00/X01 models leave the version
    form.parameters->QXR102RadioButton->setFocus(Qt::TabFocusReason);
    QCOMPARE(form.session().versionIndex, 1);
    QVERIFY(form.parameters->VerKRadioBtn->isChecked());

    // The port search sets the choices without the buttons' own handlers.
    form.setDetectedModel(1, 4);
    form.setDetectedVersion(0);
    QCOMPARE(form.program->TypeSel->itemIndex(), 1);
    QVERIFY(form.parameters->QXR200RadioButton->isChecked());
    QCOMPARE(form.session().modelIndex, 4);
    QCOMPARE(form.session().versionIndex, 0);
    QVERIFY(form.parameters->VerSDRadioBtn->isChecked());
    form.setDetectedModel(0, 42);  // out of range: the model stays
    QCOMPARE(form.session().modelIndex, 4);

    // Check and uncheck every parameter.
    form.parameters->ParaCheckListBox->clear();
    form.parameters->ParaCheckListBox->addItems({"A", "B", "C"});
    form.parameters->SelAllBtn->click();
    for (int i = 0; i < 3; ++i)
      QCOMPARE(form.parameters->ParaCheckListBox->item(i)->checkState(), Qt::Checked);
    form.parameters->CancelSelBtn->click();
    for (int i = 0; i < 3; ++i)
      QCOMPARE(form.parameters->ParaCheckListBox->item(i)->checkState(), Qt::Unchecked);
  }

  void pageReportsQuestionsAndClearing() {
    StartDir start(0);
    TMainForm form(start.dir());
    // Catalogue text (UTF-8) followed by bytes of the operator's code page (Big5).
    form.appendPageLine(kParameterPage, std::string("\xe6\xaa\x94: ") + "\xb9\x73");
    QCOMPARE(form.parameters->ParMsgMemo->toPlainText(), QString::fromUtf8("檔: 零"));
    // A Big5 line that starts like UTF-8 (C4 A1) is still read as Big5.
    form.appendPageLine(kProgramPage, "\xc4\xa1\xb9\x73");
    form.appendPageLine(kProgramPage, "N1 \xc4\xa1\xb9\x73");
    QCOMPARE(form.program->MsgMemo->toPlainText(), QString::fromUtf8("纂零\nN1 纂零"));
    form.program->ClrMsgBtn->click();
    form.appendPageLine(kPlcPage, "PLC");
    form.appendPageLine(7, "nowhere");
    QCOMPARE(form.plc->PLMMsgMemo->toPlainText(), QString("PLC"));
    QVERIFY(form.program->MsgMemo->toPlainText().isEmpty());
    form.parameters->ClrMsgBtn2->click();
    form.plc->ClrMsgBtn3->click();
    QVERIFY(form.parameters->ParMsgMemo->toPlainText().isEmpty() &&
            form.plc->PLMMsgMemo->toPlainText().isEmpty());

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
    TMainForm form(start.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList lines;
    for (int i = 0; i < 300; ++i) lines << QString("G01 X%1").arg(i);
    form.program->ProgramMemo->setPlainText(lines.join('\n'));
    form.program->ProgramMemo->verticalScrollBar()->setValue(120);
    QCOMPARE(form.program->Memo1->verticalScrollBar()->value(), 120);
    form.program->ProgramMemo->verticalScrollBar()->setValue(7);
    QCOMPARE(form.program->Memo1->verticalScrollBar()->value(), 7);
    form.plc->PLMMemo->setPlainText(lines.join('\n'));
    form.plc->PLMMemo->verticalScrollBar()->setValue(33);
    QCOMPARE(form.plc->Memo2->verticalScrollBar()->value(), 33);
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
    TMainForm form(start.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    const bool plc = count == 1024;
    QPlainTextEdit* editor = plc ? form.plc->PLMMemo : form.program->ProgramMemo;
    QPlainTextEdit* column = plc ? form.plc->Memo2 : form.program->Memo1;
    form.PageControl->setCurrentWidget(plc ? static_cast<QWidget*>(form.plc) : form.program);
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
    TMainForm form(start.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    QStringList lines;
    for (int i = 0; i < 400; ++i) lines << QString("G01 X%1").arg(i);
    for (auto [editor, column] : {std::pair{form.program->ProgramMemo, form.program->Memo1},
                                  std::pair{form.plc->PLMMemo, form.plc->Memo2}}) {
      form.PageControl->setCurrentIndex(editor == form.plc->PLMMemo ? kPlcPage : kProgramPage);
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
    TMainForm form(start.dir());
    form.show();
    QVERIFY(QTest::qWaitForWindowExposed(&form));
    form.program->ProgramMemo->setPlainText(QString::fromUtf8("G01 X10 (切削)\n(程式開始)\nM30\n"));
    auto height = [](QPlainTextEdit* edit, int line) {
      QTextDocument* doc = edit->document();
      return doc->documentLayout()->blockBoundingRect(doc->findBlockByNumber(line)).height();
    };
    // A fallback font for the Chinese characters would make those lines
    // taller than the labels beside them, and the labels would drift.
    for (int line = 0; line < 3; ++line)
      QCOMPARE(height(form.program->ProgramMemo, line), height(form.program->Memo1, line));
  }

  // Init.ini may hold a delay beyond the field's range: the field shows the
  // delay that is used, and the setting goes back unchanged unless set anew.
  void transferDelayFieldShowsTheDelayInUse_data() {
    QTest::addColumn<QString>("inIni");
    QTest::addColumn<QString>("shown");
    QTest::addColumn<QString>("typed");       // nothing typed when empty
    QTest::addColumn<QString>("shownAfter");  // once the field is left
    QTest::addColumn<QString>("written");
    QTest::newRow("above the range") << "100000" << "5000" << "" << "5000" << "100000";
    QTest::newRow("below the range") << "-20" << "0" << "" << "0" << "-20";
    QTest::newRow("in the range") << "75" << "75" << "" << "75" << "75";
    QTest::newRow("above the range, typed beyond it") << "100000" << "5000" << "9999" << "5000" << "5000";
    QTest::newRow("typed anew") << "75" << "75" << "120" << "120" << "120";
  }
  void transferDelayFieldShowsTheDelayInUse() {
    QFETCH(QString, inIni);
    QFETCH(QString, shown);
    QFETCH(QString, typed);
    QFETCH(QString, shownAfter);
    QFETCH(QString, written);
    StartDir start(1);
    Settings settings;
    settings.plcTransferDelayMs = inIni.toInt();
    start.write("Init.ini", formatInitIni(settings));
    {
      TMainForm form(start.dir());
      form.show();
      QCOMPARE(form.plc->TransDelayValue->text(), shown);
      if (!typed.isEmpty()) {
        form.plc->TransDelayValue->setVisible(true);
        form.plc->TransDelayValue->editor()->setFocus();
        form.plc->TransDelayValue->editor()->selectAll();
        QTest::keyClicks(form.plc->TransDelayValue->editor(), typed);
        form.program->ProgramMemo->setFocus();
        emit form.plc->TransDelayValue->editor()->editingFinished();
      }
      QCOMPARE(form.plc->TransDelayValue->text(), shownAfter);
      form.close();
    }
    const auto lines = readAllLines(initIniPath(start.dir()), kSettingsFileLimit);
    QVERIFY(lines && lines->size() == 9);
    QCOMPARE((*lines)[5], "PLC Transit Delay = " + written.toStdString());
  }

  // Text the code page cannot hold is said where it is typed and refused
  // where it would be saved or sent; the operator's text stays.
  void charactersOutsideTheCodePageAreNamedAndKept() {
    StartDir start(1);  // Latin-1
    TMainForm form(start.dir());
    form.program->ProgramMemo->setPlainText("G00 X0\n");
    form.program->ProgramMemo->moveCursor(QTextCursor::End);
    form.program->ProgramMemo->insertPlainText(QString::fromUtf8("G01 (\u4E2D) X5"));
    const QString notice = form.program->MsgMemo->toPlainText();
    QVERIFY2(notice.contains(QString::fromUtf8("Line 2: the character \"\u4E2D\" has no place")), qPrintable(notice));
    form.program->ProgramMemo->moveCursor(QTextCursor::Start);
    QVERIFY(!form.program->editorTextFitsCodePage(Refused::kSend));
    QCOMPARE(form.program->ProgramMemo->textCursor().selectedText(), QString::fromUtf8("\u4E2D"));
    QVERIFY(form.program->MsgMemo->toPlainText().endsWith("ISO-8859-1: nothing was sent"));
    QVERIFY(form.program->ProgramMemo->toPlainText().contains(QString::fromUtf8("\u4E2D")));
    // Bytes read from a file come back as they were: nothing to say.
    form.program->MsgMemo->clear();
    form.plc->PLMMemo->setPlainText(QString::fromUtf8("LD X1 (caf\u00E9)"));
    QVERIFY(form.plc->editorTextFitsCodePage(Refused::kSave));
    QVERIFY(form.plc->PLMMsgMemo->toPlainText().isEmpty());
    form.parameters->ParameterMemo->setPlainText(QString::fromUtf8("A(1)=5 \u20AC"));
    QVERIFY(!form.parameters->editorTextFitsCodePage(Refused::kSave));
    QVERIFY(form.parameters->ParMsgMemo->toPlainText().endsWith("the file was not written"));
  }

  // A paste is taken only while the program stays within the controller's
  // 6 000 lines and line buffer; beyond, it is refused whole with the reason.
  void pasteBeyondTheProgramBoundIsRefused_data() {
    QTest::addColumn<int>("held");    // lines in the editor before
    QTest::addColumn<int>("pasted");  // lines pasted at its end
    QTest::addColumn<int>("width");   // characters of each pasted line
    QTest::addColumn<bool>("taken");
    QTest::newRow("a few lines") << 1 << 10 << 10 << true;
    QTest::newRow("up to the bound") << 1 << 5999 << 10 << true;
    QTest::newRow("one line past it") << 1 << 6000 << 10 << false;
    QTest::newRow("past it with what is held") << 3000 << 3001 << 10 << false;
    QTest::newRow("a huge paste") << 1 << 400000 << 25 << false;
    QTest::newRow("a line too long") << 1 << 1 << 300 << false;
  }
  void pasteBeyondTheProgramBoundIsRefused() {
    QFETCH(int, held);
    QFETCH(int, pasted);
    QFETCH(int, width);
    QFETCH(bool, taken);
    StartDir start(1);
    TMainForm form(start.dir());
    QPlainTextEdit* editor = form.program->ProgramMemo;
    editor->setPlainText(QStringList(held, QStringLiteral("G00 X0")).join('\n'));
    editor->moveCursor(QTextCursor::End);
    editor->insertPlainText(QStringLiteral("\n"));
    QApplication::clipboard()->setText(QStringList(pasted, QString(width, 'X')).join('\n'));
    editor->paste();
    QCOMPARE(editor->document()->blockCount(), taken ? held + pasted : held + 1);
    QCOMPARE(form.program->MsgMemo->toPlainText().contains("nothing was pasted"), !taken);
  }

  // The name fields follow the core's name rule, as qxrtool does.
  void programNamesFollowTheCoreRule_data() {
    QTest::addColumn<int>("language");
    QTest::newRow("Chinese") << 0;
    QTest::newRow("English") << 1;
  }
  void programNamesFollowTheCoreRule() {
    QFETCH(int, language);
    StartDir start(language);
    TMainForm form(start.dir());
    for (const char* utf8 : {"part1", "ab\u00E9", "a\u4E39x"}) {
      const std::string bytes = utf8ToBytes(utf8, language);
      if (findUnencodable(utf8, language) != std::string::npos) continue;
      form.program->ProgNameEdit->setText(QString::fromUtf8(utf8));
      QCOMPARE(utf8ToBytes(form.program->ProgNameEdit->text().toStdString(), language),
               programNameRule(bytes, language));
    }
  }

  void closingWritesTheSelectedPortAndTransferDelay() {
    StartDir start(1);
    {
      TMainForm form(start.dir());
      form.program->COM_Select->setCurrentIndex(2);
      form.plc->TransDelayValue->SetValue(80);
      QCOMPARE(form.session().settings.plcTransferDelayMs, 80);
      // Enter in the delay box is swallowed.
      QTest::keyClick(form.plc->TransDelayValue->editor(), Qt::Key_Return);
      QTest::keyClicks(form.plc->TransDelayValue->editor(), "x");
      QCOMPARE(form.plc->TransDelayValue->Value(), 80.0);
      form.close();
    }
    const auto lines = readAllLines(start.file("Init.Ini"), kSettingsFileLimit);
    QVERIFY(lines);
    QCOMPARE(lines->size(), size_t(9));
    QCOMPARE((*lines)[4], std::string("Default COM       = 2"));
    QCOMPARE((*lines)[5], std::string("PLC Transit Delay = 80"));
    // The next start reads them back.
    TMainForm again(start.dir());
    QCOMPARE(again.program->COM_Select->currentIndex(), 2);
    QCOMPARE(again.plc->TransDelayValue->Value(), 80.0);
  }
};

QTEST_MAIN(TestMainForm)
#include "test_mainform.moc"
