#pragma once
// The parameter catalogue: per model (and, for the X02 generation, per
// software version) a description file names the controller's parameters, and
// a per-model additional file adds the operator's own entries. Names are kept
// as bytes of the operator's code page, the form in which they end up in
// parameter lines and files.
#include <array>
#include <string>
#include <string_view>
#include <vector>

#include "base/session.h"

namespace qxr {

struct ParameterEntry {
  std::string name;  // bytes of the operator's code page
  int number = 0;
};
using ParameterEntries = std::vector<ParameterEntry>;

// At most this many entries come from a description file, and at most this
// many from an additional file.
inline constexpr std::size_t kDescriptionEntryLimit = 2000;
inline constexpr std::size_t kAdditionalEntryLimit = 1000;

// "102ParK.txt", "202ParME.txt", "200Par.txt" ...: the description file of a
// model, version and language. withVersion false gives the fallback name
// without the version text (the X00/X01 models never carry one).
std::string descriptionFileName(int modelIndex, int versionIndex, int language, bool withVersion = true);

// The description file that is read for a model, version and language in
// `dir` (the versioned name, else the one without the version text); empty
// when neither can be read.
std::string descriptionFilePath(const std::string& dir, int modelIndex, int versionIndex, int language);

// "Q102Add.Ini", "XE.Ini" ...
std::string additionalFileName(int modelIndex, int language);

// The version that choosing a model selects: QXR102 runs version K, QXR202
// and QXR302 version SD; the X00/X01 models keep the current choice.
int versionAfterModelChoice(int modelIndex, int currentVersion);

// One "name = number" line: the number follows the last "=". trimName removes
// trailing blanks and tabs from the name (description files); additional files
// keep the name as written. False for a line without "=".
bool parseParameterLine(std::string_view line, bool trimName, ParameterEntry& entry);

// Reads the entries of a description or additional file (UTF-8 as shipped;
// a file already in the code page is taken as it is). An unreadable file
// gives no entries.
ParameterEntries readParameterEntries(const std::string& path, int language, bool trimNames, std::size_t limit);

class ParameterCatalogue {
 public:
  // Loads the six additional lists from the settings directory; done once at
  // start, so a changed file takes effect at the next start.
  void loadAdditionalLists(const std::string& dir, int language);
  const ParameterEntries& additionalList(int modelIndex) const;

  // The description entries of the model and version (falling back to the
  // file without the version text), followed by the model's additional list.
  ParameterEntries build(const std::string& dir, int modelIndex, int versionIndex, int language) const;

 private:
  std::array<ParameterEntries, kModelCount> additional_;
};

}  // namespace qxr
