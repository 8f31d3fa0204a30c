#include "params/paramlist.h"

#include "base/codec.h"
#include "base/language.h"
#include "base/textio.h"

namespace qxr {

namespace {

constexpr const char* kDescriptionBases[kModelCount] = {"102Par", "202Par", "302Par", "101Par", "200Par", "300Par"};
constexpr const char* kAdditionalBases[kModelCount] = {"Q102Add", "Q202Add", "Q302Add", "X", "X", "X"};
constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

bool validModel(int modelIndex) { return modelIndex >= 0 && modelIndex < kModelCount; }

// Only the X02 generation (models 0-2) has software versions.
bool hasVersions(int modelIndex) { return modelIndex >= 0 && modelIndex <= 2; }

}  // namespace

std::string descriptionFileName(int modelIndex, int versionIndex, int language, bool withVersion) {
  if (!validModel(modelIndex)) return {};
  std::string name = kDescriptionBases[modelIndex];
  if (withVersion && hasVersions(modelIndex) && versionIndex >= 0 && versionIndex <= 2)
    name += kVersionNames[versionIndex];
  name += languageFromIndex(language) == Language::kEnglish ? "E.txt" : ".txt";
  return name;
}

std::string additionalFileName(int modelIndex, int language) {
  if (!validModel(modelIndex)) return {};
  return std::string(kAdditionalBases[modelIndex]) + (languageFromIndex(language) == Language::kEnglish ? "E.Ini" : ".Ini");
}

int versionAfterModelChoice(int modelIndex, int currentVersion) {
  switch (modelIndex) {
    case 0: return 1;
    case 1:
    case 2: return 0;
    default: return currentVersion;
  }
}

bool parseParameterLine(std::string_view line, bool trimName, ParameterEntry& entry) {
  const auto equals = line.rfind('=');
  if (equals == std::string_view::npos) return false;
  std::string_view name = line.substr(0, equals);
  if (trimName) name = trimTrailingBlanks(name);
  entry.name.assign(name);
  entry.number = leadingInt(line.substr(equals + 1));
  return true;
}

ParameterEntries readParameterEntries(const std::string& path, int language, bool trimNames, std::size_t limit) {
  ParameterEntries entries;
  LineReader reader(path);
  if (!reader.isOpen()) return entries;
  // Whole lines, however long: a name is never cut into pieces that would
  // each pose as an entry of their own.
  std::string line;
  bool first = true;
  while (entries.size() < limit && reader.readLine(line)) {
    std::string_view text = line;
    if (first && text.substr(0, kUtf8Bom.size()) == kUtf8Bom) text.remove_prefix(kUtf8Bom.size());
    first = false;
    ParameterEntry entry;
    if (!parseParameterLine(text, trimNames, entry)) continue;
    // The shipped files are UTF-8; names travel in the operator's code page.
    if (isValidUtf8(entry.name)) entry.name = utf8ToBytes(entry.name, language);
    entries.push_back(std::move(entry));
  }
  return entries;
}

std::string descriptionFilePath(const std::string& dir, int modelIndex, int versionIndex, int language) {
  for (const bool withVersion : {true, false}) {
    const std::string path =
        resolveCaseInsensitive(dir, descriptionFileName(modelIndex, versionIndex, language, withVersion));
    if (LineReader(path).isOpen()) return path;
  }
  return {};
}

void ParameterCatalogue::loadAdditionalLists(const std::string& dir, int language) {
  for (int model = 0; model < kModelCount; ++model) {
    const std::string path = resolveCaseInsensitive(dir, additionalFileName(model, language));
    additional_[static_cast<std::size_t>(model)] =
        readParameterEntries(path, language, /*trimNames=*/false, kAdditionalEntryLimit);
  }
}

const ParameterEntries& ParameterCatalogue::additionalList(int modelIndex) const {
  static const ParameterEntries none;
  return validModel(modelIndex) ? additional_[static_cast<std::size_t>(modelIndex)] : none;
}

ParameterEntries ParameterCatalogue::build(const std::string& dir, int modelIndex, int versionIndex,
                                           int language) const {
  if (!validModel(modelIndex)) return {};
  const std::string path = descriptionFilePath(dir, modelIndex, versionIndex, language);
  ParameterEntries list =
      path.empty() ? ParameterEntries{} : readParameterEntries(path, language, /*trimNames=*/true, kDescriptionEntryLimit);
  const ParameterEntries& extra = additionalList(modelIndex);
  list.insert(list.end(), extra.begin(), extra.end());
  return list;
}

}  // namespace qxr
