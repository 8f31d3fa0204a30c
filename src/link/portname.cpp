#include "link/portname.h"

#include <strings.h>
#include <sys/stat.h>

#include <cctype>

#include "base/textio.h"

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

}  // namespace

std::string resolvePortDevice(const std::string& name, const std::string& portDirectory) {
  std::string bare = name;
  if (bare.rfind(kWin32DevicePrefix, 0) == 0) bare.erase(0, kWin32DevicePrefix.size());
  if (bare.empty()) return bare;

  if (!portDirectory.empty() && bare.find('/') == std::string::npos && bare != "." && bare != "..") {
    const std::string entry = resolveCaseInsensitive(portDirectory, bare);
    if (entryExists(entry)) return entry;
  }
  if (const int number = comNumber(bare); number >= 1) return "/dev/ttyS" + std::to_string(number - 1);
  return bare;
}

}  // namespace qxr
