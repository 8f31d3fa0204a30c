// The Ports window on a made-up machine whose adapter is a pseudo-terminal:
// what it lists, assigning and removing, and the port list of the main
// window showing each entry's device.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
#include <algorithm>
#include <filesystem>

#include "app/mainform.h"
#include "app/portsform.h"
#include "support/startdir.h"
#include "support/ptypeer.h"
#include "support/tempdir.h"

using namespace qxr;
namespace fs = std::filesystem;

class TestPortsForm : public QObject {
  Q_OBJECT

 private slots:
  void listsAssignsAndClears() {
    test::TempDir root, start;
    test::PtyPair adapter;
    fs::create_directories(root.file("dev/serial/by-id"));
    fs::create_symlink(adapter.slavePath(), root.file("dev/ttyUSB0"));
    fs::create_symlink("../../ttyUSB0", root.file("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0"));
    const QString byId = "/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A1-if00-port0";

    TPortsForm ports(start.dir(), 4, 1, 1, root.dir());
    QCOMPARE(ports.PortTable->rowCount(), 4);
    QCOMPARE(ports.DeviceTable->rowCount(), 1);
    QCOMPARE(ports.DeviceTable->item(0, 0)->text(), byId);
    QCOMPARE(ports.DeviceTable->item(0, 1)->text(), QString("FTDI FT232R USB UART (A1)"));
    QCOMPARE(ports.EntrySelect->currentText(), QString("COM2"));
    QCOMPARE(ports.PortTable->item(1, 1)->text(), QString("/dev/ttyS1"));
    QCOMPARE(ports.PortTable->item(1, 2)->text(), QString("no device"));

    // Choosing the device row fills the device; Assign links COM2 to it.
    ports.DeviceTable->selectRow(0);
    QCOMPARE(ports.DeviceEdit->text(), byId);
    QTest::mouseClick(ports.AssignBtn, Qt::LeftButton);
    QCOMPARE(QString::fromStdString(fs::read_symlink(start.file("COM2")).string()), byId);
    QCOMPARE(ports.PortTable->item(1, 1)->text(), byId);

    // A pseudo-terminal typed by hand works as well, on the entry picked in the table.
    test::PtyPair emulator;
    ports.PortTable->selectRow(3);
    QCOMPARE(ports.EntrySelect->currentText(), QString("COM4"));
    ports.DeviceEdit->setText(QString::fromStdString(emulator.slavePath()));
    QTest::mouseClick(ports.AssignBtn, Qt::LeftButton);
    QCOMPARE(ports.PortTable->item(3, 1)->text(), QString::fromStdString(emulator.slavePath()));
    QCOMPARE(ports.PortTable->item(3, 2)->text(), QString("ready"));

    QTest::mouseClick(ports.ClearBtn, Qt::LeftButton);
    QVERIFY(!fs::exists(fs::symlink_status(start.file("COM4"))));
    QCOMPARE(ports.PortTable->item(3, 1)->text(), QString("/dev/ttyS3"));

    // Nothing to assign, or an operator's file in the way: said, nothing changed.
    ports.DeviceEdit->clear();
    QTest::mouseClick(ports.AssignBtn, Qt::LeftButton);
    QVERIFY(!ports.StatusLabel->text().isEmpty());
    start.write("COM3", "notes");
    ports.EntrySelect->setCurrentIndex(2);
    ports.DeviceEdit->setText(byId);
    QTest::mouseClick(ports.AssignBtn, Qt::LeftButton);
    QVERIFY(ports.StatusLabel->text().contains("left alone"));
    QCOMPARE(start.read("COM3"), std::string("notes"));
  }

  // What cannot be a port's device is refused before anything is linked,
  // in the operator's language.
  void refusesWhatIsNoDevice_data() {
    QTest::addColumn<int>("language");
    QTest::addColumn<QString>("what");
    for (int language : {0, 1}) {
      for (const char* what : {"regular file", "directory", "control character", "entry not a link", "nothing"})
        QTest::newRow(qPrintable(QString("%1 %2").arg(language).arg(what))) << language << QString(what);
    }
  }
  void refusesWhatIsNoDevice() {
    QFETCH(int, language);
    QFETCH(QString, what);
    test::TempDir root, start;
    start.write("program.nc", "G01 X1\n");
    fs::create_directories(start.file("subdir"));
    std::string device = what == "regular file"      ? start.file("program.nc")
                         : what == "directory"         ? start.file("subdir")
                         : what == "control character" ? "/dev/tty\x1b[2JUSB0"
                         : what == "entry not a link"  ? "/dev/ttyUSB0"
                                                       : "";
    if (what == "entry not a link") start.write("com3", "notes");
    TPortsForm ports(start.dir(), 4, 2, language, root.dir());
    ports.DeviceEdit->setText(QString::fromStdString(device));
    QTest::mouseClick(ports.AssignBtn, Qt::LeftButton);
    const QString said = ports.StatusLabel->text();
    QVERIFY(!said.isEmpty());
    QVERIFY(!fs::is_symlink(start.file("COM3")));
    if (what == "entry not a link") QCOMPARE(start.read("com3"), std::string("notes"));
    const bool chinese = std::any_of(said.begin(), said.end(), [](QChar c) { return c.unicode() >= 0x4E00; });
    QVERIFY2(chinese == (language == 0), qPrintable(said));
    if (what == "entry not a link") {
      QTest::mouseClick(ports.ClearBtn, Qt::LeftButton);
      QCOMPARE(start.read("com3"), std::string("notes"));
      QVERIFY(!ports.StatusLabel->text().isEmpty());
    }
  }

  void mainWindowShowsTheSelectedEntrysDevice() {
    test::StartDir start;
    test::PtyPair emulator;
    fs::create_symlink(emulator.slavePath(), start.file("COM2"));
    TMainForm form(start.dir());
    QCOMPARE(form.program->COM_Select->currentText(), QString("COM2"));  // the entries keep their names
    QCOMPARE(form.program->PortDeviceLabel->text(), QString::fromStdString(emulator.slavePath()));
    // Relinked from outside (a shell, qxrtool): the label follows.
    test::PtyPair other;
    fs::create_symlink(other.slavePath(), start.file(".COM2.new"));
    fs::rename(start.file(".COM2.new"), start.file("COM2"));
    QTRY_COMPARE_WITH_TIMEOUT(form.program->PortDeviceLabel->text(), QString::fromStdString(other.slavePath()), 10000);
    form.program->COM_Select->setCurrentIndex(5);
    QVERIFY(form.program->PortDeviceLabel->text() != QString::fromStdString(other.slavePath()));
  }
};

QTEST_MAIN(TestPortsForm)
#include "test_portsform.moc"
