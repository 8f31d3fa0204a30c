#include "shop/recentfiles.h"

#include <algorithm>

#include "shop/statedir.h"

namespace qxr {

namespace {
constexpr const char* kPageNames[kRecentPageCount] = {"program", "parameter", "plc"};
const std::vector<std::string> kNone;
}  // namespace

void RecentFiles::load(const std::string& path) {
  for (auto& list : lists_) list.clear();
  std::string bytes;
  if (readFileChecked(path, kSettingsFileLimit, bytes) != FileError::kNone) return;
  std::size_t start = 0;
  while (start < bytes.size()) {
    std::size_t end = bytes.find('\n', start);
    if (end == std::string::npos) end = bytes.size();
    std::string line = bytes.substr(start, end - start);
    start = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::size_t tab = line.find('\t');
    if (tab == std::string::npos || tab + 1 >= line.size()) continue;
    const std::string name = line.substr(0, tab);
    const std::string file = line.substr(tab + 1);
    for (int page = 0; page < kRecentPageCount; ++page) {
      auto& list = lists_[static_cast<std::size_t>(page)];
      if (name == kPageNames[page] && list.size() < perPage_ &&
          std::find(list.begin(), list.end(), file) == list.end())
        list.push_back(file);
    }
  }
}

std::string RecentFiles::text() const {
  std::string bytes;
  for (int page = 0; page < kRecentPageCount; ++page)
    for (const std::string& file : lists_[static_cast<std::size_t>(page)])
      bytes += std::string(kPageNames[page]) + "\t" + file + "\n";
  return bytes;
}

FileError RecentFiles::save(const std::string& path) const {
  if (const std::size_t slash = path.rfind('/'); slash != std::string::npos && slash > 0)
    makeDirectories(path.substr(0, slash));
  return saveFile(path, text());
}

void RecentFiles::note(int page, const std::string& path) {
  // A path with a line end could not be read back as one entry.
  if (page < 0 || page >= kRecentPageCount || path.empty() || path.find_first_of("\n\r") != std::string::npos) return;
  remove(page, path);
  auto& list = lists_[static_cast<std::size_t>(page)];
  list.insert(list.begin(), path);
  if (list.size() > perPage_) list.resize(perPage_);
}

void RecentFiles::remove(int page, const std::string& path) {
  if (page < 0 || page >= kRecentPageCount) return;
  auto& list = lists_[static_cast<std::size_t>(page)];
  list.erase(std::remove(list.begin(), list.end(), path), list.end());
}

const std::vector<std::string>& RecentFiles::files(int page) const {
  return page >= 0 && page < kRecentPageCount ? lists_[static_cast<std::size_t>(page)] : kNone;
}

std::string userRecentFilesPath() { return userStateDirectory(stateEnvironment()) + kRecentFileName; }

}  // namespace qxr
