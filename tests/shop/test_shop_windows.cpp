// The shop in the window: the machine choice and what it sets, the Machines
// and Journal windows, and recent files across a restart.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QListWidget>
#include <QRadioButton>
#include <QSpinBox>
#include <QTableWidget>
#include <QtTest>
#include <filesystem>

#include "app/journalform.h"
#include "app/machinesform.h"
#include "app/mainform.h"
#include "base/settings.h"
#include "base/textio.h"
#include "shop/journal.h"
#include "shop/sha256.h"
#include "support/tempdir.h"
#include "widgets/radiogroup.h"

using namespace qxr;

namespace {

struct StartDir {
  test::TempDir dir;
  StartDir() {
    for (const char* name : {"Message.C", "Message.E"}) std::filesystem::copy_file(test::dataDir() + name, dir.file(name));
    dir.write("Customer.ini", "Language = 1\r\nBaud = 4\r\n");
    dir.write("Init.ini",
              "Time Out Timer    = 1000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\n"
              "Transit mode      = 0\r\nDefault COM       = 3\r\nPLC Transit Delay = 75\r\n"
              "COM Port Count    = 8\r\nMultiple Inquire  = 0\r\nSystem parameter2 = 0\r\n");
    dir.write("Machines.ini",
              "[Lathe 3]\nmodel = QXR302\nversion = M\nport = rfc2217://box:2003\nbaud = 19200\ntimeout = 2500\n"
              "mode = block\nfolder = /srv/lathe3\n"
              "[Old mill]\nmodel = QXR200\nport = COM5\nbaud = 2400\n"
              "[Bad]\nmodel = QXR999\nport = COM1\n");
  }
};

}  // namespace

class TestShopWindows : public QObject {
  Q_OBJECT

 private slots:
  void machineChoiceSetsTheRunAndNoneGivesTheSettingsBack() {
    StartDir start;
    {
      TMainForm form(start.dir.dir());
      QCOMPARE(form.MachineSelect->count(), 3);  // (no machine), Lathe 3, Old mill
      const Settings before = form.session().settings;
      form.chooseMachine("Lathe 3");
      QCOMPARE(form.session().modelIndex, 2);
      QCOMPARE(form.session().versionIndex, 2);
      QVERIFY(form.parameters->QXR302RadioButton->isChecked());
      QVERIFY(form.parameters->VerMRadioBtn->isChecked());
      QCOMPARE(form.program->TypeSel->itemIndex(), int(kGenerationX02));
      QCOMPARE(form.session().settings.baudRate(), 19200);
      QCOMPARE(form.session().settings.timeoutMs, 2500);
      QVERIFY(form.session().settings.blockMode());
      QCOMPARE(form.namedPort(), std::string("rfc2217://box:2003"));
      form.chooseMachine("Old mill");
      QCOMPARE(form.program->TypeSel->itemIndex(), int(kGenerationX00));
      QCOMPARE(form.program->COM_Select->currentIndex(), 4);
      QCOMPARE(form.namedPort(), std::string());
      QCOMPARE(form.MachineSelect->currentText(), QString("Old mill"));
      form.chooseMachine({});
      QCOMPARE(form.session().settings.baudIndex, before.baudIndex);
      QCOMPARE(form.session().settings.timeoutMs, before.timeoutMs);
      QCOMPARE(form.session().settings.transitMode, before.transitMode);
      QCOMPARE(form.program->COM_Select->currentIndex(), 3);
      // Closing with a machine chosen writes the settings files' own values.
      form.chooseMachine("Lathe 3");
      form.close();
    }
    const auto lines = readAllLines(initIniPath(start.dir.dir()), kSettingsFileLimit);
    QVERIFY(lines);
    QCOMPARE((*lines)[0], std::string("Time Out Timer    = 1000"));
    QCOMPARE((*lines)[3], std::string("Transit mode      = 0"));
    QCOMPARE((*lines)[4], std::string("Default COM       = 3"));
  }

  void machinesWindowAddsEditsAndRemoves() {
    StartDir start;
    TMachinesForm window(start.dir.dir(), 1);
    QCOMPARE(window.MachineList->count(), 2);
    QVERIFY(window.StatusLabel->text().contains("line 14"));  // the bad model
    struct Row {
      const char* name;
      const char* port;
      bool saved;
      const char* said;
    };
    const Row rows[] = {
        {"Grinder", "/dev/ttyUSB1", true, ""},
        {"Lathe 3", "COM7", true, ""},  // replaces in place
        {"", "COM7", false, "Not a machine name"},
        {"shop", "COM7", false, "Not a machine name"},
        {"X", "COM0", false, "Not a port"},
        {"X", "tcp://box", false, "Not a port"},
    };
    for (const Row& row : rows) {
      window.NameEdit->setText(row.name);
      window.PortEdit->setText(row.port);
      QCOMPARE(window.SaveBtnClick(), row.saved);
      QVERIFY2(window.StatusLabel->text().contains(row.said), row.name);
    }
    QCOMPARE(window.MachineList->count(), 3);
    QCOMPARE(window.file().find("Lathe 3")->port, std::string("COM7"));
    window.NameEdit->setText("grinder");
    QVERIFY(window.RemoveBtnClick());
    QCOMPARE(window.MachineList->count(), 2);
    // The entry that could not be read is still there, as written.
    QVERIFY(start.dir.read("Machines.ini").find("[Bad]\nmodel = QXR999\n") != std::string::npos);
  }

  void journalWindowFiltersAndCopies() {
    test::TempDir dir;
    Journal journal(dir.file("j.db"));
    const char* machines[] = {"Lathe 3", "Mill", "Lathe 3"};
    for (int i = 0; i < 3; ++i) {
      TransferRecord r;
      r.started = "2026-12-0" + std::to_string(i + 1) + "T08:00:00.000Z";
      r.machine = machines[i];
      r.program = 10 + i;
      r.operation = "nc send";
      r.result = i == 1 ? TransferResult::kFailed : TransferResult::kFinished;
      r.sha256 = "ab";
      journal.add(r);
    }
    TJournalForm window(journal, {"Lathe 3", "Mill"}, 1);
    QCOMPARE(window.RecordTable->rowCount(), 3);
    QCOMPARE(window.RecordTable->item(0, 4)->text(), QString("12"));  // newest first
    window.MachineFilter->setCurrentText("Lathe 3");
    QCOMPARE(window.RecordTable->rowCount(), 2);
    window.ProgramFilter->setValue(10);
    QCOMPARE(window.RecordTable->rowCount(), 1);
    window.MachineFilter->setCurrentText("");
    window.ProgramFilter->setValue(0);
    window.ResultFilter->setCurrentIndex(2);  // failed
    QCOMPARE(window.RecordTable->rowCount(), 1);
    window.RecordTable->selectRow(0);
    const QString copied = window.CopyBtnClick();
    QVERIFY(copied.startsWith("2026-12-02T08:00:00.000Z\tfailed\tMill\tnc send\t11\t"));
  }

  void transfersOfTheWindowAreJournalled() {
    StartDir start;
    const QByteArray journalPath = qgetenv("QXR_JOURNAL");
    qputenv("QXR_JOURNAL", QByteArray::fromStdString(start.dir.file("j.db")));
    {
      TMainForm form(start.dir.dir());
      form.chooseMachine("Lathe 3");
      form.program->ProgNoEdit->setValue(12);
      form.program->ProgramMemo->setPlainText("G0 X1\nM30");
      QVERIFY(form.journalled("nc send", [] { return true; }));
      QVERIFY(!form.journalled("nc receive", [] { return false; }));
    }
    Journal journal(start.dir.file("j.db"));
    const auto records = journal.query({});
    QCOMPARE(records.size(), size_t(2));
    QCOMPARE(records[1].operation, std::string("nc send"));
    QCOMPARE(records[1].result, TransferResult::kFinished);
    QCOMPARE(records[1].machine, std::string("Lathe 3"));
    QCOMPARE(records[1].port, std::string("rfc2217://box:2003"));
    QCOMPARE(records[1].model, std::string("QXR302 M"));
    QCOMPARE(records[1].program, 12);
    QCOMPARE(records[1].sha256, sha256Hex("G0 X1\r\nM30\r\n"));
    QCOMPARE(records[0].result, TransferResult::kFailed);
    qputenv("QXR_JOURNAL", journalPath);
  }

  void recentFilesSurviveARestart() {
    StartDir start;
    const QByteArray stateHome = qgetenv("XDG_STATE_HOME");
    qputenv("XDG_STATE_HOME", QByteArray::fromStdString(start.dir.file("state")));
    start.dir.write("a.nc", "1\r\nA\r\n");
    {
      TMainForm form(start.dir.dir());
      form.noteRecentFile(kProgramPage, start.dir.file("a.nc"));
      form.noteRecentFile(kPlcPage, start.dir.file("p.pmc"));
    }
    TMainForm again(start.dir.dir());
    QCOMPARE(again.recentFiles(kProgramPage).value(0), QString::fromStdString(start.dir.file("a.nc")));
    QCOMPARE(again.recentFiles(kPlcPage).value(0), QString::fromStdString(start.dir.file("p.pmc")));
    QVERIFY(again.recentFiles(kParameterPage).isEmpty());
    qputenv("XDG_STATE_HOME", stateHome);
  }
};

QTEST_MAIN(TestShopWindows)
#include "test_shop_windows.moc"
