#include "base/fileio.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>

#include "base/bilingual.h"

namespace qxr {

namespace {

FileError errorFromErrno(int error) {
  switch (error) {
    case ENOENT:
    case ENOTDIR:
      return FileError::kNotFound;
    case EACCES:
    case EPERM:
      return FileError::kNoPermission;
    case EROFS:
    case ETXTBSY:
      return FileError::kReadOnly;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return FileError::kNoSpace;
    case EISDIR:
      return FileError::kNotRegular;
    default:
      return FileError::kFailed;
  }
}

std::string directoryOf(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The file a chain of symbolic links ends at (the path itself when it is no
// link); a dangling link yields the path it names, so saving creates it.
std::string followLinks(std::string path) {
  for (int hops = 0; hops < 40; ++hops) {
    struct stat info {};
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
    if (n <= 0) return path;
    target.resize(static_cast<std::size_t>(n));
    path = target.front() == '/' ? target : directoryOf(path) + "/" + target;
  }
  return path;
}

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

mode_t newFileMode() {
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

void syncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

}  // namespace

FileError readFileChecked(const std::string& path, std::size_t limit, std::string& bytes) {
  bytes.clear();
  // Look before opening: opening a FIFO or a device may block or act on it.
  struct stat info {};
  if (::stat(path.c_str(), &info) != 0) return errorFromErrno(errno);
  if (!S_ISREG(info.st_mode)) return FileError::kNotRegular;
  if (static_cast<std::size_t>(info.st_size) > limit) return FileError::kTooLarge;

  const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) return errorFromErrno(errno);
  // The name may have been replaced between the look and the opening.
  if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
    ::close(fd);
    return FileError::kNotRegular;
  }
  // Some regular files (under /proc) say they are empty and are not: read up
  // to one byte past the bound to tell.
  std::string content;
  char buffer[65536];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0) {
      if (errno == EINTR) continue;
      const int error = errno;
      ::close(fd);
      return errorFromErrno(error);
    }
    if (n == 0) break;
    content.append(buffer, static_cast<std::size_t>(n));
    if (content.size() > limit) {
      ::close(fd);
      return FileError::kTooLarge;
    }
  }
  ::close(fd);
  bytes = std::move(content);
  return FileError::kNone;
}

FileError saveFile(const std::string& path, std::string_view bytes) {
  if (path.empty()) return FileError::kNotFound;
  const std::string target = followLinks(path);

  mode_t mode = newFileMode();
  bool replacing = false;
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) {
    if (!S_ISREG(old.st_mode)) return FileError::kNotRegular;
    if (::access(target.c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0) return FileError::kReadOnly;
    mode = old.st_mode & 07777;
    replacing = true;
  } else if (errno != ENOENT) {
    return errorFromErrno(errno);
  }

  // A short temporary name, so that a target name near the file system's
  // limit still has room beside it.
  const std::string dir = directoryOf(target);
  std::string temporary = dir + "/.qxr-XXXXXX";
  const int fd = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (fd < 0) return errorFromErrno(errno);

  FileError error = FileError::kNone;
  if (!writeAll(fd, bytes) || ::fsync(fd) != 0) error = errorFromErrno(errno);
  if (error == FileError::kNone && ::fchmod(fd, mode) != 0) error = errorFromErrno(errno);
  // Root saving someone else's file keeps it theirs; others cannot and need not.
  if (error == FileError::kNone && replacing && (old.st_uid != ::geteuid() || old.st_gid != ::getegid())) {
    if (::fchown(fd, old.st_uid, old.st_gid) != 0) { /* the file becomes the saver's */ }
  }
  if (::close(fd) != 0 && error == FileError::kNone) error = errorFromErrno(errno);
  if (error == FileError::kNone && ::rename(temporary.c_str(), target.c_str()) != 0) error = errorFromErrno(errno);
  if (error != FileError::kNone) {
    ::unlink(temporary.c_str());
    return error;
  }
  syncDirectory(dir);
  return FileError::kNone;
}

FileError checkOutputDirectory(const std::string& dir) {
  struct stat info {};
  if (::stat(dir.empty() ? "." : dir.c_str(), &info) != 0) return errorFromErrno(errno);
  if (!S_ISDIR(info.st_mode)) return FileError::kNotDirectory;
  if (::access(dir.empty() ? "." : dir.c_str(), W_OK | X_OK) != 0) {
    return errno == EROFS ? FileError::kReadOnly : FileError::kNoPermission;
  }
  return FileError::kNone;
}

FileError checkSaveTarget(const std::string& path) {
  if (path.empty()) return FileError::kNotFound;
  const std::string target = followLinks(path);
  struct stat old {};
  if (::stat(target.c_str(), &old) == 0) {
    if (!S_ISREG(old.st_mode)) return FileError::kNotRegular;
    if (::access(target.c_str(), W_OK) != 0 || (old.st_mode & 0222) == 0) return FileError::kReadOnly;
  } else if (errno != ENOENT) {
    return errorFromErrno(errno);
  }
  const FileError dir = checkOutputDirectory(directoryOf(target));
  // A missing directory reads as the file's own absence.
  return dir == FileError::kNotDirectory ? FileError::kNotFound : dir;
}

std::string fileErrorText(int language, FileError error, std::string_view path, std::size_t limit) {
  TextPair pair{"", ""};
  switch (error) {
    case FileError::kNone: return {};
    case FileError::kNotFound: pair = {"File not found: %s", "找不到檔案：%s"}; break;
    case FileError::kNotRegular: pair = {"Not a regular file: %s", "不是一般檔案：%s"}; break;
    case FileError::kNotDirectory: pair = {"Not a directory: %s", "不是目錄：%s"}; break;
    case FileError::kTooLarge: pair = {"File too large (at most %d bytes): %s", "檔案太大（最多 %d 位元組）：%s"}; break;
    case FileError::kNoPermission: pair = {"No permission for the file: %s", "沒有存取檔案的權限：%s"}; break;
    case FileError::kReadOnly: pair = {"The file is read-only, nothing written: %s", "檔案唯讀，未寫入：%s"}; break;
    case FileError::kNoSpace: pair = {"The disk is full, nothing written: %s", "磁碟已滿，未寫入：%s"}; break;
    case FileError::kFailed: pair = {"Cannot read or write the file: %s", "無法讀寫檔案：%s"}; break;
  }
  return fillText(language, pair, path, {static_cast<long>(limit)});
}

}  // namespace qxr
