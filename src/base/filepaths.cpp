#include "base/filepaths.h"

#include <sys/stat.h>

#include <array>

#include "base/host.h"
#include "base/textio.h"

namespace qxr {

namespace {

std::size_t pageSlot(int page) { return (page >= kProgramPage && page <= kPlcPage) ? static_cast<std::size_t>(page) : 0; }

constexpr std::array<const char*, 3> kOpenFilters = {
    "NC files|*.nc|NCD files|*.ncd|All files|*.*",
    "PAR files|*.par|All files|*.*",
    "PLC files|*.pmc|PLM files|*.plm|BIN files|*.mcn|All files|*.*",
};
constexpr std::array<const char*, 3> kSaveFilters = {
    "NC files|*.nc|NCD files|*.ncd|All files|*.*",
    "PAR files|*.par|All files|*.*",
    "PLC files|*.pmc|BIN files|*.mcn|All files|*.*",
};

// A name typed as an absolute path names that file; anything else lies in
// the shown directory.
std::string placeIn(const std::string& dir, const std::string& typed) {
  if (!typed.empty() && typed[0] == '/') return typed;
  return joinPath(dir, typed);
}

ProducedPath produce(const std::string& dir, const std::string& typed, int page, int filterEntry, bool save) {
  const std::size_t dot = typed.find('.');
  const bool hasExtension = dot != std::string::npos;
  ProducedPath result;
  result.rememberedName = save ? typed : typed.substr(0, dot);
  result.path = placeIn(dir, typed);
  if (!hasExtension) result.path += defaultExtension(page, save, filterEntry);
  return result;
}

}  // namespace

std::string fileFilterText(int page, bool save) { return (save ? kSaveFilters : kOpenFilters)[pageSlot(page)]; }

std::vector<FileFilterEntry> parseFileFilter(const std::string& filter) {
  std::vector<FileFilterEntry> entries;
  std::size_t start = 0;
  std::vector<std::string> parts;
  while (true) {
    const std::size_t bar = filter.find('|', start);
    parts.push_back(filter.substr(start, bar == std::string::npos ? std::string::npos : bar - start));
    if (bar == std::string::npos) break;
    start = bar + 1;
  }
  for (std::size_t i = 0; i + 1 < parts.size(); i += 2) entries.push_back({parts[i], parts[i + 1]});
  return entries;
}

std::string defaultExtension(int page, bool save, int filterEntry) {
  switch (page) {
    case kParameterPage:
      return ".par";
    case kPlcPage:
      if (save) return filterEntry == 1 ? ".mcn" : ".pmc";
      return filterEntry == 1 ? ".plm" : filterEntry == 2 ? ".mcn" : ".pmc";
    default:
      return filterEntry == 1 ? ".ncd" : ".nc";
  }
}

ProducedPath produceOpenPath(const std::string& dir, const std::string& typed, int page, int filterEntry) {
  return produce(dir, typed, page, filterEntry, false);
}

std::optional<ProducedPath> produceSavePath(const std::string& dir, const std::string& typed, int page,
                                            int filterEntry) {
  if (typed.empty()) return std::nullopt;
  return produce(dir, typed, page, filterEntry, true);
}

std::optional<std::string> makeNewDirectory(const std::string& dir, const std::string& name) {
  if (name.empty()) return std::nullopt;
  std::string path = placeIn(dir, name);
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  // mkdir fails on an existing entry, which is what the operator is told.
  if (::mkdir(path.c_str(), 0777) != 0) return std::nullopt;
  return path;
}

}  // namespace qxr
