#include "link/portscan.h"

#include <dirent.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <set>

#include "base/fileio.h"
#include "base/textio.h"
#include "link/netport.h"
#include "link/portname.h"

namespace qxr {

namespace {

constexpr std::size_t kSysfsLimit = 4096;

std::string rootPrefix(const std::string& root) {
  std::string prefix = root.empty() ? std::string("/") : root;
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  return prefix == "/" ? std::string() : prefix;
}

std::vector<std::string> listDirectory(const std::string& dir) {
  std::vector<std::string> names;
  if (DIR* listing = ::opendir(dir.c_str())) {
    while (const dirent* entry = ::readdir(listing)) {
      const std::string name = entry->d_name;
      if (name != "." && name != "..") names.push_back(name);
    }
    ::closedir(listing);
  }
  return names;
}

bool exists(const std::string& path) {
  struct stat info {};
  return ::stat(path.c_str(), &info) == 0;
}

std::string readLink(const std::string& path) {
  std::string buffer(4096, '\0');
  const ssize_t n = ::readlink(path.c_str(), buffer.data(), buffer.size() - 1);
  if (n <= 0) return {};
  buffer.resize(static_cast<std::size_t>(n));
  return buffer;
}

std::string baseName(const std::string& path) {
  const std::size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The first line of a small /sys attribute, without its line end.
std::string readAttribute(const std::string& path) {
  std::string bytes;
  if (readFileChecked(path, kSysfsLimit, bytes) != FileError::kNone) return {};
  const std::size_t end = bytes.find_first_of("\r\n");
  if (end != std::string::npos) bytes.resize(end);
  while (!bytes.empty() && std::isspace(static_cast<unsigned char>(bytes.back()))) bytes.pop_back();
  return bytes;
}

// "/a/b/../c" -> "/a/c" (no file system access, so it works inside a made-up root).
std::string normalise(const std::string& path) {
  std::vector<std::string> parts;
  std::size_t pos = 0;
  while (pos <= path.size()) {
    std::size_t next = path.find('/', pos);
    if (next == std::string::npos) next = path.size();
    const std::string part = path.substr(pos, next - pos);
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
    } else if (!part.empty() && part != ".") {
      parts.push_back(part);
    }
    pos = next + 1;
  }
  std::string result;
  for (const std::string& part : parts) result += "/" + part;
  return result.empty() ? "/" : result;
}

// Where the link `linkPath` (as seen from the root) points, as seen from the root.
std::string linkDestination(const std::string& prefix, const std::string& linkPath) {
  const std::string target = readLink(prefix + linkPath);
  if (target.empty()) return {};
  if (target[0] == '/') return normalise(target);
  return normalise(linkPath.substr(0, linkPath.rfind('/') + 1) + target);
}

// "ttyUSB12" -> ("ttyUSB", 12) for ordering by number.
bool byKindAndNumber(const std::string& a, const std::string& b) {
  auto split = [](const std::string& name) {
    std::size_t digits = name.size();
    while (digits > 0 && std::isdigit(static_cast<unsigned char>(name[digits - 1]))) --digits;
    const long number = digits < name.size() ? std::strtol(name.c_str() + digits, nullptr, 10) : -1;
    return std::make_pair(name.substr(0, digits), number);
  };
  return split(a) < split(b);
}

// The USB device's manufacturer and product above a tty's /sys device, or the driver's name.
std::string sysDescription(const std::string& prefix, const std::string& ttyName) {
  const std::string classDir = prefix + "/sys/class/tty/" + ttyName;
  char* resolved = ::realpath((classDir + "/device").c_str(), nullptr);
  if (resolved) {
    std::string dir = resolved;
    std::free(resolved);
    for (int up = 0; up < 4 && dir.size() > 1; ++up) {
      const std::string product = readAttribute(dir + "/product");
      if (!product.empty()) {
        const std::string maker = readAttribute(dir + "/manufacturer");
        return maker.empty() ? product : maker + " " + product;
      }
      dir = dir.substr(0, dir.rfind('/'));
    }
  }
  const std::string driver = baseName(readLink(classDir + "/device/driver"));
  // Newer kernels put the built-in ports on a generic "port" driver, which says nothing.
  if (ttyName.rfind("ttyS", 0) == 0 && (driver.empty() || driver == "port")) return "built-in serial port";
  return driver;
}

bool openable(const std::string& path) { return ::access(path.c_str(), R_OK | W_OK) == 0; }

// Whether `name` is "COMn" for this n, in any case.
bool isComName(const std::string& name, int number) {
  return ::strcasecmp(name.c_str(), ("COM" + std::to_string(number)).c_str()) == 0;
}

std::string withSlash(std::string dir) {
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace

std::string describeByIdName(const std::string& name) {
  std::string text = name;
  // "usb-", "pci-" and the like name the bus; "-if00-port0" the interface.
  if (const std::size_t dash = text.find('-'); dash != std::string::npos && dash <= 8) text.erase(0, dash + 1);
  // "-port1" names the second port of a multi-port adapter; "-port0" says nothing.
  std::string port;
  if (const std::size_t at = text.rfind("-port"); at != std::string::npos && at + 5 < text.size() &&
                                                  std::all_of(text.begin() + at + 5, text.end(), ::isdigit)) {
    if (text.substr(at + 5) != "0") port = " port " + text.substr(at + 5);
    text.resize(at);
  }
  if (const std::size_t iface = text.rfind("-if"); iface != std::string::npos) text.resize(iface);
  std::string serial;
  if (const std::size_t last = text.rfind('_'); last != std::string::npos && last + 1 < text.size()) {
    const std::string tail = text.substr(last + 1);
    // A serial number mixes digits in; a product word rarely does.
    if (std::any_of(tail.begin(), tail.end(), [](unsigned char c) { return std::isdigit(c); })) {
      serial = tail;
      text.resize(last);
    }
  }
  std::replace(text.begin(), text.end(), '_', ' ');
  return (serial.empty() ? text : text + " (" + serial + ")") + port;
}

bool serialPortHasHardware(const std::string& root, const std::string& ttyName) {
  const std::string classDir = rootPrefix(root) + "/sys/class/tty/" + ttyName;
  if (!exists(classDir + "/device")) return false;
  const std::string type = readAttribute(classDir + "/type");
  if (!type.empty()) return std::strtol(type.c_str(), nullptr, 10) != 0;
  return baseName(readLink(classDir + "/device/driver")) != "serial8250";
}

std::vector<SerialDevice> findSerialDevices(const std::string& root) {
  const std::string prefix = rootPrefix(root);
  std::vector<SerialDevice> found;
  std::set<std::string> covered;

  std::vector<std::string> byId = listDirectory(prefix + "/dev/serial/by-id");
  std::sort(byId.begin(), byId.end());
  for (const std::string& name : byId) {
    const std::string path = "/dev/serial/by-id/" + name;
    std::string device = linkDestination(prefix, path);
    if (device.empty()) device = path;
    if (!exists(prefix + device)) continue;  // a link left behind by an unplugged adapter
    SerialDevice entry;
    entry.path = path;
    entry.device = device;
    entry.description = describeByIdName(name);
    entry.accessible = openable(prefix + path);
    covered.insert(device);
    found.push_back(entry);
  }

  std::vector<std::string> ttys;
  for (const std::string& name : listDirectory(prefix + "/dev")) {
    for (const char* kind : {"ttyUSB", "ttyACM", "ttyS"}) {
      const std::size_t length = std::strlen(kind);
      if (name.size() > length && name.compare(0, length, kind) == 0 &&
          std::all_of(name.begin() + length, name.end(), [](unsigned char c) { return std::isdigit(c); }))
        ttys.push_back(name);
    }
  }
  // USB adapters first, then modems, then the built-in ports.
  auto kindRank = [](const std::string& name) { return name.rfind("ttyUSB", 0) == 0 ? 0 : name.rfind("ttyACM", 0) == 0 ? 1 : 2; };
  std::sort(ttys.begin(), ttys.end(), [&](const std::string& a, const std::string& b) {
    if (kindRank(a) != kindRank(b)) return kindRank(a) < kindRank(b);
    return byKindAndNumber(a, b);
  });
  for (const std::string& name : ttys) {
    const std::string device = "/dev/" + name;
    if (covered.count(device)) continue;
    if (kindRank(name) == 2 && !serialPortHasHardware(root, name)) continue;
    SerialDevice entry;
    entry.path = device;
    entry.device = device;
    entry.description = sysDescription(prefix, name);
    entry.accessible = openable(prefix + device);
    found.push_back(entry);
  }
  return found;
}

PortEntry describePort(const std::string& startDir, int number, const std::string& root) {
  PortEntry entry;
  entry.name = "COM" + std::to_string(number);
  const std::string linkPath = resolveCaseInsensitive(withSlash(startDir), entry.name);
  entry.linkTarget = readLink(linkPath);
  entry.device = resolvePortDevice(entry.name, startDir);
  // A link's target is a device path, relative to the start directory, or
  // the address of a serial device server.
  if (!entry.linkTarget.empty())
    entry.device = entry.linkTarget[0] == '/' || looksLikeNetworkAddress(entry.linkTarget)
                       ? entry.linkTarget
                       : withSlash(startDir) + entry.linkTarget;
  const std::string prefix = rootPrefix(root);
  const std::string onDisk = entry.linkTarget.empty() ? prefix + entry.device : linkPath;
  if (looksLikeNetworkAddress(entry.device)) {
    entry.present = true;  // a network port: nothing on disk to look at
    entry.accessible = true;
    return entry;
  }
  entry.present = exists(onDisk);
  if (entry.present && entry.linkTarget.empty() && entry.device.rfind("/dev/ttyS", 0) == 0)
    entry.present = serialPortHasHardware(root, entry.device.substr(5));
  entry.accessible = entry.present && openable(onDisk);
  return entry;
}

std::string assignPort(const std::string& startDir, int number, const std::string& device) {
  if (number < 1) return "no such port entry";
  if (device.empty()) return "no device given";
  const std::string name = "COM" + std::to_string(number);
  const std::string dir = withSlash(startDir);
  // A name of its own, so that assigns running at once never take each
  // other's link away half made.
  static int made = 0;
  const std::string temporary = dir + "." + name + ".link." + std::to_string(::getpid()) + "." + std::to_string(++made);
  // Any earlier entry of another case goes, so exactly one COMn remains.
  for (const std::string& existing : listDirectory(dir)) {
    if (!isComName(existing, number)) continue;
    struct stat info {};
    if (::lstat((dir + existing).c_str(), &info) != 0) continue;
    if (!S_ISLNK(info.st_mode)) return dir + existing + " is not a link; it was left alone";
  }
  if (::symlink(device.c_str(), temporary.c_str()) != 0) return std::string("cannot make the link: ") + std::strerror(errno);
  if (::rename(temporary.c_str(), (dir + name).c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    return std::string("cannot make the link: ") + std::strerror(error);
  }
  for (const std::string& existing : listDirectory(dir))
    if (existing != name && isComName(existing, number)) ::unlink((dir + existing).c_str());
  return {};
}

std::string clearPort(const std::string& startDir, int number) {
  const std::string dir = withSlash(startDir);
  for (const std::string& existing : listDirectory(dir)) {
    if (!isComName(existing, number)) continue;
    struct stat info {};
    if (::lstat((dir + existing).c_str(), &info) != 0) continue;
    if (!S_ISLNK(info.st_mode)) return dir + existing + " is not a link; it was left alone";
    if (::unlink((dir + existing).c_str()) != 0) return std::string("cannot remove the link: ") + std::strerror(errno);
  }
  return {};
}

}  // namespace qxr
