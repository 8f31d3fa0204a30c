#pragma once
// The path rules of the open, save and new-directory windows: filters and
// default extensions by page, the path produced from the typed name, and the
// remembered name per page.
#include <optional>
#include <string>
#include <vector>

namespace qxr {

struct FileFilterEntry {
  std::string description;  // "NC files"
  std::string pattern;      // "*.nc"
};

// The filter text of a page ("NC files|*.nc|..."): save = the save window.
std::string fileFilterText(int page, bool save);
// The filter text split into its description/pattern pairs.
std::vector<FileFilterEntry> parseFileFilter(const std::string& filter);
// The default extension for a page, window and chosen filter entry (".nc").
std::string defaultExtension(int page, bool save, int filterEntry);

struct ProducedPath {
  std::string path;            // the file the caller opens or creates
  std::string rememberedName;  // what the save window proposes next time
};

// The open window's OK: the typed text in the shown directory, with the
// default extension when the text has none (its first "." decides). The
// remembered name is the text before its first ".".
ProducedPath produceOpenPath(const std::string& dir, const std::string& typed, int page, int filterEntry);
// The save window's OK: as the open window, but the remembered name keeps the
// extension; nothing when the name field is empty.
std::optional<ProducedPath> produceSavePath(const std::string& dir, const std::string& typed, int page,
                                            int filterEntry);

// Makes the directory `name` inside `dir`; its path on success, nothing when
// it could not be made (it exists already, the name is empty or invalid, no
// permission).
std::optional<std::string> makeNewDirectory(const std::string& dir, const std::string& name);

}  // namespace qxr
