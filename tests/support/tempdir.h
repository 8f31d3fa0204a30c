#pragma once
// A private directory for a test, removed with its contents afterwards.
#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

namespace qxr::test {

class TempDir {
 public:
  TempDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "qxr-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    path_ = pattern;
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  // The directory with a trailing separator, as the program keeps its start directory.
  std::string dir() const { return path_.string() + "/"; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

  // Writes bytes exactly as given (use "\r\n" for CR LF).
  void write(const std::string& name, const std::string& bytes) const {
    std::ofstream out(file(name), std::ios::binary);
    out << bytes;
  }
  std::string read(const std::string& name) const {
    std::ifstream in(file(name), std::ios::binary);
    std::ostringstream content;
    content << in.rdbuf();
    return content.str();
  }
  bool exists(const std::string& name) const { return std::filesystem::exists(path_ / name); }

 private:
  std::filesystem::path path_;
};

// The shipped data directory (data/ of the source tree), with a trailing separator.
inline std::string dataDir() {
  if (const char* dir = std::getenv("QXR_DATA_DIR")) return std::string(dir) + "/";
#ifdef QXR_DEFAULT_DATA_DIR
  return std::string(QXR_DEFAULT_DATA_DIR) + "/";
#else
  return "data/";
#endif
}

// The build tree (where tools/qxremu/qxremu and tools/qxrtool/qxrtool are), without a trailing separator.
inline std::string binDir() {
  if (const char* dir = std::getenv("QXR_BIN_DIR")) return dir;
#ifdef QXR_DEFAULT_BIN_DIR
  return QXR_DEFAULT_BIN_DIR;
#else
  return ".";
#endif
}

// Links every COMn of a port list of `count` entries that the directory does
// not have yet to a path that does not exist, so a search through the list
// never reaches a real serial device of the machine.
inline void linkMissingPorts(const TempDir& dir, int count) {
  for (int n = 1; n <= count; ++n) {
    const std::string name = "COM" + std::to_string(n);
    struct stat info {};
    if (::lstat(dir.file(name).c_str(), &info) == 0) continue;
    std::filesystem::create_symlink(dir.file("absent-" + name), dir.file(name));
  }
}

}  // namespace qxr::test
