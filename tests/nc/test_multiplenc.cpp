// The multiple-program transfer window without a display.
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

#include "app/multiplenc.h"
#include "support/fakehost.h"
#include "widgets/radiogroup.h"

using namespace qxr;

class TestMultipleNCForm : public QObject {
  Q_OBJECT

 private:
  static void chooseMode(TMultipleNCForm& form, int mode) {
    click(form.ModeSelect->button(mode));
  }
  // Near the left edge: radio buttons and check boxes take clicks on their
  // indicator and text only.
  static void click(QAbstractButton* button) {
    QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
  }

 private slots:
  void opensWithOnlyTheModeChoice() {
    test::TempDir dir;
    Session session = test::makeTestSession(dir);
    FileChoice files;
    TMultipleNCForm form(session, files, dir.dir());
    form.show();
    QCOMPARE(form.windowTitle(), QString::fromUtf8("同時寫入或讀出多組QXR程式"));
    QCOMPARE(form.ModeSelect->button(0)->text(), QStringLiteral("#131"));
    QCOMPARE(form.ModeSelect->itemIndex(), -1);
    QVERIFY(!form.OKBtn->isVisible());
    QVERIFY(!form.OKBtn->isEnabled());
    QVERIFY(!form.Panel1->isVisible());
    QVERIFY(!form.FileCheckListBox->isVisible());
    QCOMPARE(form.directory(), dir.dir());

    chooseMode(form, kBatchReadMany);
    QVERIFY(form.OKBtn->isVisible() && form.OKBtn->isEnabled());
    QVERIFY(form.Panel1->isVisible() && form.MoreChkBox1->isVisible() && form.NewDir->isVisible());
    QVERIFY(form.FirstFilenameEdit->isVisible() && form.DirectoryListBox1->isVisible());
    QVERIFY(!form.FileCheckListBox->isVisible() && !form.InquireChk->isVisible());

    chooseMode(form, kBatchWriteMany);
    QVERIFY(!form.Panel1->isVisible() && !form.NewDir->isVisible() && !form.MoreChkBox0->isVisible());
    QVERIFY(form.FileCheckListBox->isVisible() && form.InquireChk->isVisible() && form.SelAllBtn2->isVisible());

    session.settings.language = 1;
    TMultipleNCForm english(session, files, dir.dir());
    QCOMPARE(english.windowTitle(), QStringLiteral("Read or write multiple programs"));
  }

  void rangeSwitchesAndReadManyChoice() {
    test::TempDir dir;
    Session session = test::makeTestSession(dir);
    FileChoice files;
    TMultipleNCForm form(session, files, dir.dir());
    form.show();
    chooseMode(form, kBatchReadMany);
    QVERIFY(!form.CheckBoxes[16]->isEnabled());  // L17 greyed at first
    QCOMPARE(form.CheckBoxes[59]->text(), QStringLiteral("G60"));

    click(form.MoreChkBox0);
    QVERIFY(form.CheckBoxes[16]->isEnabled() && form.CheckBoxes[31]->isEnabled());
    QVERIFY(!form.CheckBoxes[32]->isEnabled());
    click(form.CheckBoxes[16]);
    QVERIFY(form.CheckBoxes[16]->isChecked());
    // L17-L59 while L17-L32 is checked: clicked switch cleared, rest as it was.
    click(form.MoreChkBox1);
    QVERIFY(!form.MoreChkBox1->isChecked());
    QVERIFY(form.MoreChkBox0->isChecked());
    QVERIFY(form.CheckBoxes[16]->isChecked() && !form.CheckBoxes[32]->isEnabled());

    click(form.SelAllBtn);
    int checked = 0;
    for (QCheckBox* box : form.CheckBoxes) checked += box->isChecked();
    QCOMPARE(checked, 35);
    click(form.CancelSelBtn);
    click(form.MoreChkBox0);  // cleared: L17-L32 greyed
    QVERIFY(!form.CheckBoxes[16]->isEnabled());

    click(form.CheckBoxes[2]);   // L03
    click(form.CheckBoxes[60]);  // G61
    QTest::keyClicks(form.FirstFilenameEdit, "AB");
    click(form.OKBtn);
    const MultipleChoice& choice = form.choice();
    QVERIFY(choice.chosen);
    QCOMPARE(choice.mode, static_cast<int>(kBatchReadMany));
    QCOMPARE(choice.prefix, std::string("AB"));
    QCOMPARE(choice.directory, dir.dir());
    int chosen = 0;
    for (bool on : choice.programs) chosen += on;
    QCOMPARE(chosen, 2);
    QVERIFY(choice.programs[2] && choice.programs[60]);
  }

  void nothingCheckedOrCancelChoosesNothing() {
    test::TempDir dir;
    Session session = test::makeTestSession(dir);
    FileChoice files;
    TMultipleNCForm form(session, files, dir.dir());
    form.show();
    chooseMode(form, kBatchReadMany);
    click(form.OKBtn);
    QVERIFY(!form.choice().chosen);

    TMultipleNCForm cancelled(session, files, dir.dir());
    cancelled.show();
    chooseMode(cancelled, kBatchReadMany);
    click(cancelled.SelAllBtn);
    click(cancelled.CancelBtn);
    QVERIFY(!cancelled.choice().chosen);
  }

  void fileListFilterAndSixtyNinthFile() {
    test::TempDir dir;
    Session session = test::makeTestSession(dir);
    for (int i = 1; i <= 69; ++i) dir.write("P" + std::to_string(100 + i) + ".NC", "1\r\n\r\n");
    dir.write("other.txt", "x");
    std::filesystem::create_directory(dir.file("empty"));
    FileChoice files;
    TMultipleNCForm form(session, files, dir.dir());
    form.show();
    chooseMode(form, kBatchWriteMany);
    // *.nc matches upper-case names too, as the batch reads write them.
    QCOMPARE(form.FileCheckListBox->count(), 69);
    QCOMPARE(form.FileCheckListBox->item(0)->text(), QStringLiteral("P101.NC"));

    // A directory without a matching file keeps the earlier names.
    form.setDirectory(dir.file("empty"));
    QCOMPARE(form.directory(), dir.file("empty") + "/");
    QCOMPARE(form.FileCheckListBox->count(), 69);
    form.setDirectory(dir.dir());

    click(form.SelAllBtn2);
    click(form.OKBtn);
    QVERIFY(!form.choice().chosen);  // 69 checked: nothing is transferred
    QVERIFY(form.choice().tooManyFiles);

    TMultipleNCForm second(session, files, dir.dir());
    second.show();
    chooseMode(second, kBatchWriteMany);
    click(second.SelAllBtn2);
    second.FileCheckListBox->item(68)->setCheckState(Qt::Unchecked);
    click(second.CancelSelBtn2);
    for (int i = 0; i < 68; ++i) second.FileCheckListBox->item(i)->setCheckState(Qt::Checked);
    click(second.OKBtn);
    QVERIFY(second.choice().chosen);
    QCOMPARE(second.choice().files.size(), std::size_t{68});
    QCOMPARE(second.choice().files.front(), std::string("P101.NC"));
  }

  void inquireBoxIsTheSetting() {
    test::TempDir dir;
    Session session = test::makeTestSession(dir);
    session.settings.multipleInquire = true;
    FileChoice files;
    TMultipleNCForm form(session, files, dir.dir());
    form.show();
    chooseMode(form, kBatchWriteMany);
    QVERIFY(form.InquireChk->isChecked());
    click(form.InquireChk);
    QVERIFY(!session.settings.multipleInquire);
  }
};

QTEST_MAIN(TestMultipleNCForm)
#include "test_multiplenc.moc"
