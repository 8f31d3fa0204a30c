#include "link/portname.h"

#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>

#include "base/textio.h"
#include "link/netport.h"

namespace qxr {

namespace {

constexpr std::string_view kWin32DevicePrefix = "\\\\.\\";

bool entryExists(const std::string& path) {
  struct stat info {};
  return ::lstat(path.c_str(), &info) == 0;  // a dangling link counts: it was put there on purpose
}

// n of "COMn" (ignoring case), 0 when the name is not of that form.
int comNumber(const std::string& name) {
  if (name.size() < 4 || ::strncasecmp(name.c_str(), "COM", 3) != 0) return 0;
  long number = 0;
  for (std::size_t i = 3; i < name.size(); ++i) {
    if (!std::isdigit(static_cast<unsigned char>(name[i]))) return 0;
    number = number * 10 + (name[i] - '0');
    if (number > 100000) return 0;
  }
  return static_cast<int>(number);
}

// The target text of a symbolic link, empty for anything else.
std::string linkTarget(const std::string& path) {
  char target[1024];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target);
  if (n <= 0 || static_cast<std::size_t>(n) >= sizeof target) return {};
  return std::string(target, static_cast<std::size_t>(n));
}

std::string stripDevicePrefix(std::string name) {
  if (name.rfind(kWin32DevicePrefix, 0) == 0) name.erase(0, kWin32DevicePrefix.size());
  return name;
}

// The entry of that name in the port directory, empty when there is none.
std::string portEntry(const std::string& bare, const std::string& portDirectory) {
  if (portDirectory.empty() || bare.empty() || bare.find('/') != std::string::npos || bare == "." || bare == "..")
    return {};
  const std::string entry = resolveCaseInsensitive(portDirectory, bare);
  return entryExists(entry) ? entry : std::string();
}

}  // namespace

std::string portBinding(const std::string& name, const std::string& portDirectory) {
  const std::string entry = portEntry(stripDevicePrefix(name), portDirectory);
  return entry.empty() ? std::string() : linkTarget(entry);
}

std::string resolvePortDevice(const std::string& name, const std::string& portDirectory) {
  const std::string bare = stripDevicePrefix(name);
  if (bare.empty()) return bare;

  if (const std::string entry = portEntry(bare, portDirectory); !entry.empty()) {
    // A link whose target is a network address binds the entry to that
    // serial device server.
    if (std::string target = linkTarget(entry); looksLikeNetworkAddress(target)) return target;
    return entry;
  }
  if (const int number = comNumber(bare); number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  return bare;
}

}  // namespace qxr
