#pragma once
// The recent files of each page, kept across runs in the user's state
// directory ("recent.txt": one "page<TAB>path" line per entry, newest first).
#include <array>
#include <string>
#include <vector>

#include "base/fileio.h"

namespace qxr {

inline constexpr const char* kRecentFileName = "recent.txt";
inline constexpr int kRecentPageCount = 3;

class RecentFiles {
 public:
  explicit RecentFiles(std::size_t perPage = 6) : perPage_(perPage) {}
  // Reads the file; a missing or unreadable file leaves the lists empty.
  // Unknown pages, bad lines and entries past the limit are dropped.
  void load(const std::string& path);
  // Writes the lists through saveFile.
  FileError save(const std::string& path) const;
  // Puts `path` at the head of the page's list (moved when already there).
  void note(int page, const std::string& path);
  void remove(int page, const std::string& path);
  const std::vector<std::string>& files(int page) const;
  std::string text() const;

 private:
  std::size_t perPage_;
  std::array<std::vector<std::string>, kRecentPageCount> lists_;
};

// The file of the user's recent files: recent.txt in the state directory.
std::string userRecentFilesPath();

}  // namespace qxr
