// The program page's shop controls: a plain NC program read through the open
// window (its number asked for when it has none), the compare window, verify
// after send and the export, with the controller emulator as COM2.
#include <QApplication>
#include <QCheckBox>
#include <QInputDialog>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QLineEdit>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include "app/comparewindow.h"
#include "app/filewindows.h"
#include "app/mainform.h"
#include "app/msgdlg.h"
#include "app/ncshopcontrols.h"
#include "support/emulator.h"
#include "support/fakehost.h"

using namespace qxr;

namespace {

struct StartDir {
  test::TempDir dir;
  StartDir() {
    test::makeTestSession(dir);
    dir.write("Init.ini",
              "Time Out Timer    = 1000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\n"
              "Transit mode      = 1\r\nDefault COM       = 1\r\nPLC Transit Delay = 5\r\n"
              "MAX COM Port      = 8\r\n");
  }
};

QString allMessages(const TMainForm& form) { return form.program->MsgMemo->toPlainText(); }

// Runs `act` on the next modal window once it is shown.
void onNextModal(std::function<void(QWidget*)> act) {
  QTimer::singleShot(0, [act] {
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal) return onNextModal(act);
    act(modal);
  });
}

}  // namespace

class TestNcShopWindow : public QObject {
  Q_OBJECT

 private slots:
  void compareWindowMarksTheDifferencesAndSelectsTheFirst() {
    using Lines = std::vector<std::string>;
    struct Row {
      Lines controller, editor;
      int rows, differences, selected;
    };
    const Row rows[] = {
        {{"G0", "G1 X10", "M30"}, {"G0", "G1 X11", "M30"}, 3, 1, 1},
        {{"A", "B"}, {"A", "X", "B", "C"}, 4, 2, 1},
        {{"A", "B", "C"}, {"C"}, 3, 2, 0},
        {{"A"}, {"A"}, 1, 0, -1},
    };
    for (const Row& row : rows) {
      TCompareForm window(1, row.controller, row.editor, "summary");
      QCOMPARE(window.table()->rowCount(), row.rows);
      QCOMPARE(window.differenceCount(), row.differences);
      const auto selected = window.table()->selectionModel()->selectedRows();
      QCOMPARE(selected.isEmpty() ? -1 : selected.first().row(), row.selected);
    }
  }

  void plainProgramsThroughTheOpenWindow() {
    StartDir start;
    TMainForm form(start.dir.dir());
    auto previous = setFileWindowHook([&](QDialog& window) {
      auto& files = static_cast<TFileWindowBase&>(window);
      files.setDirectory(start.dir.dir());
      files.FileEdit->setText("cam.nc");
      static_cast<TOpenFileForm&>(window).OpenOKBtn->click();
    });
    // With an O-word 1 to 99 nothing is asked.
    start.dir.write("cam.nc", "%\r\nO0010 (POCKET)\r\nN10 G90\r\nN20 M30\r\n%\r\n");
    form.program->ReadFileBtn->click();
    QCOMPARE(form.program->ProgramMemo->toPlainText(), QStringLiteral("G90\nM30\n"));
    QCOMPARE(form.program->ProgNoEdit->value(), 10);
    QCOMPARE(form.program->ProgNameEdit->text(), QStringLiteral("POCKET"));
    QVERIFY(allMessages(form).contains(QString::fromUtf8("程式編號 10 取自 O0010")));

    // Without one the operator gives it; Cancel reads nothing.
    start.dir.write("cam.nc", "%\nO1000\nG00 X5\n%\n");
    for (const bool answer : {false, true}) {
      bool asked = false;
      onNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QInputDialog*>(modal);
        QVERIFY(dialog);
        asked = dialog->labelText().contains("O1000");
        dialog->setIntValue(12);
        answer ? dialog->accept() : dialog->reject();
      });
      form.program->ReadFileBtn->click();
      QVERIFY(asked);
      QCOMPARE(form.program->ProgNoEdit->value(), answer ? 12 : 10);
      QCOMPARE(form.program->ProgramMemo->toPlainText(), answer ? QStringLiteral("G00 X5\n") : QStringLiteral("G90\nM30\n"));
    }
    setFileWindowHook(previous);
  }

  void verifyCompareAndExportThroughTheWidgets() {
    StartDir start;
    auto previousDialog = setMessageDialogHook([](QDialog&) { return 1; });
    test::Emulator emulator(start.dir);
    TMainForm form(start.dir.dir());
    auto* verify = form.findChild<QCheckBox*>("VerifyCheck");
    QVERIFY(verify);
    QVERIFY(!verify->isChecked());
    verify->setChecked(true);
    form.program->ProgramMemo->setPlainText("G00 X0\nG01 X10\nM30\n");
    form.program->ProgNoEdit->setValue(7);
    form.program->ProgNameEdit->setText("PART1");
    form.program->TransBtn->click();
    QVERIFY(allMessages(form).contains(QString::fromUtf8("已驗證: 控制器上的程式 07")));

    // One character changed in the editor: the compare window opens on it.
    form.program->ProgramMemo->setPlainText("G00 X0\nG01 X11\nM30\n");
    int selected = -2;
    onNextModal([&](QWidget* modal) {
      auto* window = qobject_cast<TCompareForm*>(modal);
      QVERIFY(window);
      selected = window->table()->selectionModel()->selectedRows().first().row();
      window->accept();
    });
    form.findChild<QPushButton*>("CompareBtn")->click();
    QCOMPARE(selected, 1);
    QVERIFY(allMessages(form).contains(QString::fromUtf8("程式 07 自第 2 行起不同")));

    QVERIFY(exportPlainProgram(*form.program, start.dir.file("out.nc")));
    QCOMPARE(start.dir.read("out.nc"), std::string("%\r\nO0007 (PART1)\r\nG00 X0\r\nG01 X11\r\nM30\r\n%\r\n"));
    setMessageDialogHook(previousDialog);
  }
};

QTEST_MAIN(TestNcShopWindow)
#include "test_nc_shop_window.moc"
