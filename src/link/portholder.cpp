#include "link/portholder.h"

#include <dirent.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "base/bilingual.h"
#include "base/fileio.h"

namespace qxr {

namespace {

std::string readLink(const std::string& path) {
  char target[4096];
  const ssize_t n = ::readlink(path.c_str(), target, sizeof target - 1);
  return n > 0 ? std::string(target, static_cast<std::size_t>(n)) : std::string();
}

bool isNumber(const char* text) {
  if (*text == '\0') return false;
  for (; *text; ++text)
    if (*text < '0' || *text > '9') return false;
  return true;
}

std::string programOf(const std::string& procRoot, long pid) {
  std::string bytes;
  if (readFileChecked(procRoot + "/" + std::to_string(pid) + "/comm", 4096, bytes) != FileError::kNone) return {};
  while (!bytes.empty() && (bytes.back() == '\n' || bytes.back() == '\r')) bytes.pop_back();
  return bytes;
}

// The pid holding a flock on the file (st_dev, st_ino), 0 when none.
long flockHolder(const std::string& procRoot, const struct stat& info) {
  std::string bytes;
  if (readFileChecked(procRoot + "/locks", kSettingsFileLimit, bytes) != FileError::kNone) return 0;
  char id[64];
  std::snprintf(id, sizeof id, "%02x:%02x:%lu", ::major(info.st_dev), ::minor(info.st_dev),
                static_cast<unsigned long>(info.st_ino));
  std::istringstream lines(bytes);
  std::string line;
  while (std::getline(lines, line)) {
    // "1: FLOCK  ADVISORY  WRITE 1234 00:19:5 0 EOF"; a waiter's line has "->".
    std::istringstream fields(line);
    std::string number, kind, mode, access, pid, file;
    if (!(fields >> number >> kind >> mode >> access >> pid >> file)) continue;
    if (kind == "FLOCK" && file == id && isNumber(pid.c_str())) return std::atol(pid.c_str());
  }
  return 0;
}

}  // namespace

PortFailure portFailureForError(int error) {
  switch (error) {
    case 0: return PortFailure::kNone;
    case ENOENT:
    case ENOTDIR:
    case ELOOP: return PortFailure::kNotFound;
    case ENXIO:
    case ENODEV:
    case EIO: return PortFailure::kNoHardware;
    case EACCES:
    case EPERM:
    case EROFS: return PortFailure::kNoPermission;
    case EBUSY:
    case EWOULDBLOCK: return PortFailure::kHeld;
    case EISDIR: return PortFailure::kNotDevice;
    default: return PortFailure::kOther;
  }
}

std::vector<PortHolder> findPortHolders(const std::string& device, const std::string& procRoot) {
  std::vector<PortHolder> holders;
  struct stat info {};
  if (::stat(device.c_str(), &info) != 0) return holders;
  if (const long pid = flockHolder(procRoot, info); pid > 0) {
    holders.push_back({pid, programOf(procRoot, pid)});
    return holders;
  }
  DIR* proc = ::opendir(procRoot.c_str());
  if (!proc) return holders;
  while (const dirent* process = ::readdir(proc)) {
    if (!isNumber(process->d_name)) continue;
    const std::string fdDir = procRoot + "/" + process->d_name + "/fd";
    DIR* fds = ::opendir(fdDir.c_str());
    if (!fds) continue;
    bool holds = false;
    while (const dirent* fd = ::readdir(fds)) {
      if (!isNumber(fd->d_name)) continue;
      // The same device node, whatever name it was opened by.
      struct stat opened {};
      const std::string entry = fdDir + "/" + fd->d_name;
      if (readLink(entry) == device ||
          (::stat(entry.c_str(), &opened) == 0 && opened.st_rdev == info.st_rdev && opened.st_ino == info.st_ino &&
           opened.st_dev == info.st_dev)) {
        holds = true;
        break;
      }
    }
    ::closedir(fds);
    if (holds) {
      const long pid = std::atol(process->d_name);
      holders.push_back({pid, programOf(procRoot, pid)});
    }
  }
  ::closedir(proc);
  return holders;
}

PortOpenFailure describePortFailure(const std::string& path, PortFailure failure, int error,
                                    const std::string& procRoot) {
  PortOpenFailure result;
  result.failure = failure;
  result.error = error;
  result.device = path;
  if (char* real = ::realpath(path.c_str(), nullptr)) {
    result.device = real;
    std::free(real);
  } else if (struct stat link {}; ::lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode)) {
    // A link to nowhere: name where it points.
    result.device = readLink(path);
    if (failure == PortFailure::kNotFound) result.failure = PortFailure::kDanglingLink;
  }
  if (result.failure == PortFailure::kHeld) result.holders = findPortHolders(result.device, procRoot);
  return result;
}

namespace {

constexpr TextPair kNotFound {"not found: no such device", "找不到: 沒有這個裝置"};
constexpr TextPair kDangling {"not found: the port's link points to a path that does not exist",
                              "找不到: 連接埠的連結指向不存在的路徑"};
constexpr TextPair kNoHardware {"not found: no hardware answers behind this device", "找不到: 這個裝置後面沒有硬體回應"};
constexpr TextPair kNoPermission {
    "no permission: add your user to the dialout group (sudo usermod -aG dialout $USER), then log in again",
    "沒有權限: 請將使用者加入 dialout 群組 (sudo usermod -aG dialout $USER), 然後重新登入"};
constexpr TextPair kHeldBy {"held by another program: %s (process %d)", "被其他程式佔用: %s (程序 %d)"};
constexpr TextPair kHeld {"held by another program", "被其他程式佔用"};
constexpr TextPair kRegularFile {"not a serial device: a regular file", "不是串列埠裝置: 這是一般檔案"};
constexpr TextPair kNotTerminal {"not a serial device: a character device that is not a terminal",
                                 "不是串列埠裝置: 這是字元裝置, 但不是終端機"};
constexpr TextPair kNotDevice {"not a serial device", "不是串列埠裝置"};

}  // namespace

std::string portFailureText(int language, const PortOpenFailure& failure) {
  switch (failure.failure) {
    case PortFailure::kNone: return {};
    case PortFailure::kNotFound: return fillText(language, kNotFound, {}, {});
    case PortFailure::kDanglingLink: return fillText(language, kDangling, {}, {});
    case PortFailure::kNoHardware: return fillText(language, kNoHardware, {}, {});
    case PortFailure::kNoPermission: return fillText(language, kNoPermission, {}, {});
    case PortFailure::kHeld:
      if (failure.holders.empty()) return fillText(language, kHeld, {}, {});
      return fillText(language, kHeldBy, failure.holders.front().program.empty() ? "?" : failure.holders.front().program,
                      {failure.holders.front().pid});
    case PortFailure::kRegularFile: return fillText(language, kRegularFile, {}, {});
    case PortFailure::kNotTerminal: return fillText(language, kNotTerminal, {}, {});
    case PortFailure::kNotDevice: return fillText(language, kNotDevice, {}, {});
    case PortFailure::kOther: break;
  }
  return std::strerror(failure.error);
}

}  // namespace qxr
