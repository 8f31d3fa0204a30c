// Serial device discovery on a made-up /dev and /sys tree whose devices are
// pseudo-terminals, and the COMn links of a start directory.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "link/portscan.h"
#include "support/ptypeer.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

namespace fs = std::filesystem;
using test::PtyPair;
using test::TempDir;

// A machine with two USB adapters (one with a by-id link), a USB modem, an
// unplugged adapter's stale link, and built-in ports with and without
// hardware behind them.
class FakeMachine : public ::testing::Test {
 protected:
  FakeMachine() {
    for (const char* dir : {"dev/serial/by-id", "sys/class/tty", "sys/devices/usb1/1-2/1-2:1.0/ttyUSB1",
                            "sys/devices/usb1/1-3/1-3:1.0/tty/ttyACM0", "sys/devices/platform/serial8250/tty",
                            "sys/devices/pnp0/00:05", "sys/bus/serial8250", "sys/bus/pnp"})
      fs::create_directories(root.file(dir));
    // The devices are pseudo-terminals, so they can be opened like the real ones.
    device("ttyUSB0", usb0);
    device("ttyUSB1", usb1);
    device("ttyACM0", acm0);
    for (const char* name : {"ttyS0", "ttyS1", "ttyS2", "ttyS3", "ttyS10", "ttySx", "ttyUSB", "tty0", "console"})
      root.write(std::string("dev/") + name, "");
    link("dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "../../ttyUSB0");
    link("dev/serial/by-id/usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "../../ttyUSB7");

    sysTty("ttyUSB1", "../../devices/usb1/1-2/1-2:1.0/ttyUSB1");
    root.write("sys/devices/usb1/1-2/product", "USB-Serial Controller D\n");
    root.write("sys/devices/usb1/1-2/manufacturer", "Prolific Technology Inc.\n");
    sysTty("ttyACM0", "../../devices/usb1/1-3/1-3:1.0");
    root.write("sys/devices/usb1/1-3/product", "CNC Pendant\n");
    // ttyS0: a 16550A; ttyS1: the generic driver's placeholder (type 0);
    // ttyS2: no type, a PnP driver; ttyS3: no type, the generic driver;
    // ttyS10: no /sys entry at all.
    sysTty("ttyS0", "../../devices/platform/serial8250", "4\n", "serial8250");
    sysTty("ttyS1", "../../devices/platform/serial8250", "0\n", "serial8250");
    sysTty("ttyS2", "../../devices/pnp0/00:05", "", "serial");
    sysTty("ttyS3", "../../devices/platform/serial8250", "", "serial8250");
  }

  void link(const std::string& name, const std::string& target) { fs::create_symlink(target, root.file(name)); }
  void device(const std::string& name, const PtyPair& pty) { link("dev/" + name, pty.slavePath()); }
  void sysTty(const std::string& name, const std::string& deviceDir, const std::string& type = "",
              const std::string& driver = "") {
    fs::create_directories(root.file("sys/class/tty/" + name));
    link("sys/class/tty/" + name + "/device", "../" + deviceDir);
    if (!type.empty()) root.write("sys/class/tty/" + name + "/type", type);
    if (!driver.empty()) {
      fs::create_directories(root.file("sys/bus/drivers/" + driver));
      const fs::path deviceLink = root.file("sys/class/tty/" + name + "/device");
      const fs::path driverLink = fs::canonical(deviceLink) / "driver";
      if (!fs::exists(fs::symlink_status(driverLink))) fs::create_symlink(root.file("sys/bus/drivers/" + driver), driverLink);
    }
  }

  TempDir root;
  PtyPair usb0, usb1, acm0;
};

TEST_F(FakeMachine, ListsAdaptersFirstAndPortsWithHardwareOnly) {
  struct Expected {
    const char* path;
    const char* device;
    const char* description;
  };
  const Expected expected[] = {
      {"/dev/serial/by-id/usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "/dev/ttyUSB0",
       "FTDI FT232R USB UART (A50285BI)"},
      {"/dev/ttyUSB1", "/dev/ttyUSB1", "Prolific Technology Inc. USB-Serial Controller D"},
      {"/dev/ttyACM0", "/dev/ttyACM0", "CNC Pendant"},
      {"/dev/ttyS0", "/dev/ttyS0", "serial8250"},
      {"/dev/ttyS2", "/dev/ttyS2", "serial"},
  };
  const std::vector<SerialDevice> found = findSerialDevices(root.dir());
  ASSERT_EQ(found.size(), std::size(expected));
  for (std::size_t i = 0; i < found.size(); ++i) {
    SCOPED_TRACE(expected[i].path);
    EXPECT_EQ(found[i].path, expected[i].path);
    EXPECT_EQ(found[i].device, expected[i].device);
    EXPECT_EQ(found[i].description, expected[i].description);
  }
  // The pseudo-terminals behind the adapters may be opened.
  EXPECT_TRUE(found[0].accessible);
  EXPECT_TRUE(found[1].accessible);
}

TEST_F(FakeMachine, NothingFoundInAnEmptyTree) {
  TempDir empty;
  EXPECT_TRUE(findSerialDevices(empty.dir()).empty());
  EXPECT_FALSE(serialPortHasHardware(empty.dir(), "ttyS0"));
}

// What each COMn of a start directory opens, through its link or the
// /dev/ttyS(n-1) default, and the assignments the Ports window makes.
TEST_F(FakeMachine, PortEntriesResolveThroughLinksAndDefaults) {
  TempDir start;
  PtyPair emulator;
  ASSERT_EQ(assignPort(start.dir(), 2, emulator.slavePath()), "");
  ASSERT_EQ(assignPort(start.dir(), 5, root.file("dev/ttyUSB9")), "");  // an unplugged adapter
  fs::create_symlink(usb1.slavePath(), start.file("com6"));                 // made by hand, lower case
  struct Case {
    int number;
    std::string device;
    bool linked;
    bool present;
  };
  const Case cases[] = {
      {1, "/dev/ttyS0", false, true},   // a 16550A in the fake tree
      {2, emulator.slavePath(), true, true},
      {3, "/dev/ttyS2", false, true},   // PnP port without a type
      {4, "/dev/ttyS3", false, false},  // the generic driver's placeholder
      {5, root.file("dev/ttyUSB9"), true, false},
      {6, usb1.slavePath(), true, true},
      {9, "/dev/ttyS8", false, false},  // no such device at all
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.number);
    const PortEntry entry = describePort(start.dir(), c.number, root.dir());
    EXPECT_EQ(entry.name, "COM" + std::to_string(c.number));
    EXPECT_EQ(entry.device, c.device);
    EXPECT_EQ(!entry.linkTarget.empty(), c.linked);
    EXPECT_EQ(entry.present, c.present);
    if (c.present && c.linked) {
      EXPECT_TRUE(entry.accessible);
    }
  }
}

TEST_F(FakeMachine, AssigningReplacesLinksOnlyAndClearingRestoresTheDefault) {
  TempDir start;
  fs::create_symlink("/dev/ttyUSB3", start.file("Com2"));
  ASSERT_EQ(assignPort(start.dir(), 2, usb0.slavePath()), "");
  EXPECT_FALSE(fs::exists(fs::symlink_status(start.file("Com2"))));  // one COM2, whatever its case
  EXPECT_EQ(fs::read_symlink(start.file("COM2")), usb0.slavePath());
  ASSERT_EQ(assignPort(start.dir(), 2, usb1.slavePath()), "");  // reassigning
  EXPECT_EQ(describePort(start.dir(), 2, root.dir()).device, usb1.slavePath());

  ASSERT_EQ(clearPort(start.dir(), 2), "");
  EXPECT_EQ(describePort(start.dir(), 2, root.dir()).device, "/dev/ttyS1");
  EXPECT_EQ(clearPort(start.dir(), 2), "");  // nothing to clear is fine

  // An operator's file of that name is never replaced or removed.
  start.write("COM3", "notes");
  EXPECT_NE(assignPort(start.dir(), 3, usb0.slavePath()), "");
  EXPECT_NE(clearPort(start.dir(), 3), "");
  EXPECT_EQ(start.read("COM3"), "notes");
  EXPECT_NE(assignPort(start.dir(), 0, usb0.slavePath()), "");
  EXPECT_NE(assignPort(start.dir(), 4, ""), "");
  // No temporary link is left behind.
  for (const auto& entry : fs::directory_iterator(start.dir()))
    EXPECT_NE(entry.path().filename().string()[0], '.') << entry.path();
}

TEST(ByIdNames, MadeReadable) {
  const std::pair<const char*, const char*> cases[] = {
      {"usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0", "FTDI FT232R USB UART (A50285BI)"},
      {"usb-Prolific_Technology_Inc._USB-Serial_Controller-if00-port0", "Prolific Technology Inc. USB-Serial Controller"},
      {"usb-1a86_USB_Serial-if00-port0", "1a86 USB Serial"},
      {"pci-Moxa_CP-102E_0001-port1", "Moxa CP-102E (0001) port 1"},
      {"plain", "plain"},
  };
  for (const auto& [name, expected] : cases) EXPECT_EQ(describeByIdName(name), expected) << name;
}

}  // namespace
}  // namespace qxr
