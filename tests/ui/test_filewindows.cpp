// The open, save and new-directory windows.
#include <QComboBox>
#include <QDialog>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>
#include <filesystem>

#include "app/filewindows.h"
#include "base/host.h"
#include "app/msgdlg.h"
#include "base/session.h"
#include "support/hook.h"
#include "support/tempdir.h"

using namespace qxr;

namespace {

QStringList items(QListWidget* list) {
  QStringList texts;
  for (int i = 0; i < list->count(); ++i) texts << list->item(i)->text().trimmed();
  return texts;
}

}  // namespace

class TestFileWindows : public QObject {
  Q_OBJECT

  test::TempDir dir_;
  Session session_;

 private slots:
  void initTestCase() {
    dir_.write("Message.E", [] {
      std::string text;
      for (int n = 1; n <= 184; ++n) text += "m " + std::to_string(n) + "\r\n";
      return text;
    }());
    dir_.write("Customer.ini", "Language = 1\r\nBaud = 4\r\n");
    dir_.write("PART.NC", "1\r\n");
    dir_.write("other.ncd", "1\r\n");
    dir_.write("notes.txt", "x");
    std::filesystem::create_directory(dir_.file("jobs"));
    session_ = startSession(dir_.dir());
    SetDialogCatalogue(&session_.catalogue);
  }

  void openWindowListsByFilterAndProducesThePath() {
    FileChoice choice;
    TOpenFileForm open(session_, kProgramPage, choice, dir_.dir());
    QCOMPARE(open.windowTitle(), QString("68"));
    QCOMPARE(open.Label1->text(), QString("35"));
    QCOMPARE(open.OpenOKBtn->text(), QString("73"));
    QCOMPARE(open.FileEdit->text(), QString("*.*"));
    QCOMPARE(open.directory(), dir_.dir());
    // Patterns ignore case, as the files come from systems that do.
    QCOMPARE(items(open.FileListBox1), QStringList{"PART.NC"});
    QVERIFY(items(open.DirectoryListBox1).contains("jobs"));
    open.FilterComboBox1->setCurrentIndex(2);
    for (const char* name : {"notes.txt", "other.ncd", "PART.NC", "Customer.ini"})
      QVERIFY2(items(open.FileListBox1).contains(name), name);

    // "NCD files" chosen and PART1 typed: PART1.ncd in the shown directory.
    open.FilterComboBox1->setCurrentIndex(1);
    open.FileEdit->setText("PART1");
    open.OpenOKBtn->click();
    QVERIFY(choice.fileChosen);
    QCOMPARE(choice.currentFilePath, dir_.dir() + "PART1.ncd");
    QCOMPARE(choice.rememberedNames[kProgramPage], std::string("PART1"));
    QCOMPARE(open.result(), int(QDialog::Accepted));
  }

  void choosingAFileCopiesItsNameAndWildcardsAreNotRemembered() {
    FileChoice choice;
    TOpenFileForm open(session_, kProgramPage, choice, dir_.dir());
    QTest::mouseClick(open.FileListBox1->viewport(), Qt::LeftButton, {},
                      open.FileListBox1->visualItemRect(open.FileListBox1->item(0)).center());
    QCOMPARE(open.FileEdit->text(), QString("PART.NC"));

    FileChoice wild;
    TOpenFileForm again(session_, kProgramPage, wild, dir_.dir());
    again.OpenOKBtn->click();  // "*.*" as it stands
    QVERIFY(wild.fileChosen);
    QCOMPARE(wild.currentFilePath, dir_.dir() + "*.*");
    QCOMPARE(wild.rememberedNames[kProgramPage], std::string("TMP"));
  }

  void typedDirectoryIsEnteredInsteadOfChosen() {
    FileChoice choice;
    TOpenFileForm open(session_, kProgramPage, choice, dir_.dir());
    open.FileEdit->setText("jobs");
    open.OpenOKBtn->click();
    QVERIFY(!choice.fileChosen);
    QCOMPARE(open.directory(), dir_.dir() + "jobs/");
    open.OpenCloseBtn->click();
    QVERIFY(!choice.fileChosen);
    QCOMPARE(open.result(), int(QDialog::Rejected));
  }

  void saveWindowProposesTheRememberedName() {
    FileChoice choice;
    choice.rememberedNames[kProgramPage] = "PART1";
    TSaveFileForm save(session_, kProgramPage, choice, dir_.dir());
    QCOMPARE(save.windowTitle(), QString("69"));
    QCOMPARE(save.NewDir->toolTip(), QString("181"));
    QCOMPARE(save.FileEdit->text(), QString("PART1"));
    // A change of directory puts the remembered name back over what was typed.
    save.FileEdit->setText("OTHER");
    save.setDirectory(dir_.dir() + "jobs");
    QCOMPARE(save.FileEdit->text(), QString("PART1"));
    save.FileEdit->setText("PART2.NC");
    save.SaveOKBtn->click();
    QVERIFY(choice.fileChosen);
    QCOMPARE(choice.currentFilePath, dir_.dir() + "jobs/PART2.NC");
    QCOMPARE(choice.rememberedNames[kProgramPage], std::string("PART2.NC"));

    // The PLC page offers no PLM files for saving; an empty name chooses nothing.
    FileChoice plc;
    TSaveFileForm plcSave(session_, kPlcPage, plc, dir_.dir());
    QCOMPARE(plcSave.FilterComboBox1->count(), 3);
    QVERIFY(!plcSave.FilterComboBox1->itemText(1).contains("plm"));
    plcSave.FileEdit->clear();
    plcSave.SaveOKBtn->click();
    QVERIFY(!plc.fileChosen);
    QCOMPARE(plcSave.result(), int(QDialog::Rejected));
  }

  void newDirectoryWindowMakesOrReports() {
    QStringList errors;
    test::ScopedHook dialogHook(setMessageDialogHook, [&errors](QDialog& d) {
      errors << d.windowTitle() + ":" + d.findChild<QLabel*>("Message")->text();
      // The error dialog has the single button OK of the secondary variant.
      if (!d.findChild<QPushButton*>("OK")) errors << "no OK";
      return int(mrOk);
    });
    std::string typed = "jobs";  // exists already
    bool stayedOpen = false;
    test::ScopedHook windowHook(setFileWindowHook, [&](QDialog& window) {
      auto& form = static_cast<TNewDirForm&>(window);
      QCOMPARE(form.NowDir->text(), QString::fromStdString(dir_.dir()));
      form.NewDirEdit->setText(QString::fromStdString(typed));
      QTest::keyClick(form.NewDirEdit, Qt::Key_Return);
      stayedOpen = form.result() == 0;
      if (typed == "jobs") {
        typed = "fresh";
        form.NewDirEdit->setText("fresh");
        form.ConfirmBtn->click();
      }
    });
    FileChoice choice;
    TSaveFileForm save(session_, kProgramPage, choice, dir_.dir());
    save.NewDirClick();
    QVERIFY(stayedOpen);
    QCOMPARE(errors, QStringList{"Error:184"});
    QVERIFY(std::filesystem::is_directory(dir_.file("fresh")));
    QCOMPARE(choice.newDirCurrent, dir_.file("fresh"));
    QCOMPARE(save.directory(), dir_.dir() + "fresh/");
  }
};

QTEST_MAIN(TestFileWindows)
#include "test_filewindows.moc"
