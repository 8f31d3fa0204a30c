#pragma once
// The serial devices of the machine and what the port list's COMn entries
// lead to. The port list keeps the names COM1...COMn; an entry "COMn" in the
// start directory (a symbolic link to a device) says which device it is.
//
// Discovery reads /dev and /sys only (it never opens a device), below an
// injectable root so that tests can use a made-up tree.
#include <string>
#include <vector>

namespace qxr {

struct SerialDevice {
  std::string path;         // what a COMn link should name: /dev/serial/by-id/... when there is one
  std::string device;       // the device itself: /dev/ttyUSB0
  std::string description;  // "FTDI FT232R USB UART (A50285BI)", the driver, or empty
  bool accessible = false;  // the operator may open it for reading and writing
};

// The serial devices under `root` ("/" for the machine): the /dev/serial/by-id
// links first, then /dev/ttyUSB*, /dev/ttyACM* and the /dev/ttyS* ports with
// hardware behind them, in number order. A device reached through a by-id
// link is listed once, under that link. Paths are given as seen from `root`
// ("/dev/ttyUSB0" whatever the root).
std::vector<SerialDevice> findSerialDevices(const std::string& root = "/");

// True when the built-in port /dev/ttySn under `root` has hardware behind
// it: /sys/class/tty/ttySn/device exists and either its driver is not the
// generic 8250 one or the port's type is known (not 0).
bool serialPortHasHardware(const std::string& root, const std::string& ttyName);

struct PortEntry {
  std::string name;        // "COM2"
  std::string linkTarget;  // what the COMn link in the start directory names; empty when there is none
  std::string device;      // the device the entry opens (after the link and the default rule)
  bool present = false;    // that device exists (for /dev/ttySn: with hardware behind it)
  bool accessible = false; // and the operator may open it
};

// Entry `number` (1-based) of the port list as it resolves in `startDir`.
PortEntry describePort(const std::string& startDir, int number, const std::string& root = "/");

// Makes "COMn" in `startDir` a symbolic link to `device` (replacing an
// earlier link of any case). Refuses to replace a regular file or directory
// of that name. Empty on success, otherwise the reason.
std::string assignPort(const std::string& startDir, int number, const std::string& device);

// Removes the "COMn" link of `startDir`, so the entry goes back to its
// default device. Empty on success (also when there was none), else the reason.
std::string clearPort(const std::string& startDir, int number);

// The by-id name made readable: "usb-FTDI_FT232R_USB_UART_A50285BI-if00-port0"
// gives "FTDI FT232R USB UART (A50285BI)".
std::string describeByIdName(const std::string& name);

}  // namespace qxr
