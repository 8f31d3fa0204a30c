// qxrtool ports [assign COMn DEVICE | clear COMn]: the port list's entries
// with the devices they open, and the serial devices of the machine.
#include <strings.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "base/textio.h"
#include "link/portscan.h"
#include "tool.h"

namespace qxr {

namespace {

int portNumberOf(std::string name) {
  if (name.rfind("\\\\.\\", 0) == 0) name = name.substr(4);
  if (name.size() < 4 || ::strncasecmp(name.c_str(), "COM", 3) != 0) return 0;
  const int number = leadingInt(name.substr(3));
  return number >= 1 && number <= kMaxPortCount ? number : 0;
}

// An entry of the port list spelt exactly as the list shows it: "COM" and
// its number 1 to `count`, nothing before or after ("COM7x", "COM07" or a
// path would make a link of another name than the one the list opens).
int exactPortNumber(const std::string& name, int count) {
  if (name.size() < 4 || name.compare(0, 3, "COM") != 0 || name[3] == '0') return 0;
  if (name.find_first_not_of("0123456789", 3) != std::string::npos || name.size() > 6) return 0;
  const int number = leadingInt(name.substr(3));
  return number >= 1 && number <= count ? number : 0;
}

bool holdsControlByte(const std::string& text) {
  for (const unsigned char c : text)
    if (c < 0x20 || c == 0x7F) return true;
  return false;
}

// QXR_ROOT points discovery at a made-up /dev and /sys (tests).
std::string discoveryRoot() {
  const char* root = std::getenv("QXR_ROOT");
  return root && *root ? root : "/";
}

}  // namespace

int runPortsCommand(ToolContext& context, const Args& args) {
  const std::string& startDir = context.session.startDir;
  if (!args.empty() && (args[0] == "assign" || args[0] == "clear")) {
    const bool assign = args[0] == "assign";
    if (args.size() != (assign ? 3u : 2u))
      return usageError(assign ? "ports assign takes COMn and a device" : "ports clear takes COMn");
    const int count = context.session.settings.portCount;
    const int number = assign ? exactPortNumber(args[1], count) : portNumberOf(args[1]);
    if (number == 0) {
      return usageError(assign ? "not a port of the list (COM1 to COM" + std::to_string(count) + "): " + args[1]
                               : "not a port name: " + args[1]);
    }
    if (assign && holdsControlByte(args[2])) return usageError("the device path holds a control character");
    const std::string problem = assign ? assignPort(startDir, number, args[2]) : clearPort(startDir, number);
    if (!problem.empty()) {
      std::fprintf(stderr, "qxrtool: %s\n", problem.c_str());
      return kExitFailed;
    }
    PortEntry entry = describePort(startDir, number, discoveryRoot());
    // What this command linked, even when another assign has replaced it since.
    if (assign && entry.linkTarget != args[2]) {
      entry.device = args[2];
      entry.present = ::access(args[2].c_str(), F_OK) == 0;
    }
    std::printf("%s -> %s%s\n", entry.name.c_str(), entry.device.c_str(), entry.present ? "" : " (no such device)");
    return kExitOk;
  }
  if (!args.empty()) return usageError("ports takes no argument, assign COMn DEVICE, or clear COMn");

  const std::string root = discoveryRoot();
  std::printf("port list (start directory %s):\n", startDir.c_str());
  for (int n = 1; n <= context.session.settings.portCount; ++n) {
    const PortEntry entry = describePort(startDir, n, root);
    const char* state = !entry.present ? "none" : entry.accessible ? "ok" : "no access";
    std::printf("  %-5s %-8s %s%s\n", entry.name.c_str(), state, entry.device.c_str(),
                entry.linkTarget.empty() ? "" : " (linked)");
  }
  std::printf("serial devices:\n");
  const std::vector<SerialDevice> devices = findSerialDevices(root);
  if (devices.empty()) std::printf("  none found\n");
  for (const SerialDevice& device : devices) {
    std::printf("  %-9s %s", device.accessible ? "ok" : "no access", device.path.c_str());
    if (device.device != device.path) std::printf(" -> %s", device.device.c_str());
    if (!device.description.empty()) std::printf("  %s", device.description.c_str());
    std::printf("\n");
  }
  return kExitOk;
}

}  // namespace qxr
