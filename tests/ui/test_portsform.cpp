// The Ports window on a made-up machine whose adapter is a pseudo-terminal:
// what it lists, assigning and removing, and the port list of the main
// window showing each entry's device.
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTest>
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

  void mainWindowShowsTheSelectedEntrysDevice() {
    test::StartDir start;
    test::PtyPair emulator;
    fs::create_symlink(emulator.slavePath(), start.file("COM2"));
    TMainForm form(start.dir());
    QCOMPARE(form.program->COM_Select->currentText(), QString("COM2"));  // the entries keep their names
    QCOMPARE(form.program->PortDeviceLabel->text(), QString::fromStdString(emulator.slavePath()));
    form.program->COM_Select->setCurrentIndex(5);
    QVERIFY(form.program->PortDeviceLabel->text() != QString::fromStdString(emulator.slavePath()));
  }
};

QTEST_MAIN(TestPortsForm)
#include "test_portsform.moc"
