#include "params/startfiles.h"

#include <sys/stat.h>

#include <algorithm>

#include "base/bilingual.h"
#include "base/catalogue.h"
#include "base/settings.h"
#include "base/textio.h"
#include "params/paramlist.h"

namespace qxr {

namespace {

bool present(const std::string& dir, const std::string& name) {
  struct stat info {};
  return ::stat(resolveCaseInsensitive(dir, name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

constexpr TextPair kHeading {"Files missing from the start directory %s:", "啟動目錄 %s 缺少檔案:"};
constexpr TextPair kCustomer {"- %s: the language and the line speed take their defaults",
                              "- %s: 語言與傳輸速率使用預設值"};
constexpr TextPair kCatalogue {"- the message catalogue %s: captions and messages are missing or built in",
                               "- 訊息檔 %s: 標題與訊息缺少或使用內建文字"};
constexpr TextPair kSomeDescriptions {"- parameter descriptions %s: those parameter lists stay empty",
                                      "- 參數說明檔 %s: 這些參數清單為空白"};
constexpr TextPair kAllDescriptions {"- every parameter description (*Par*.txt, *Add.Ini, X.Ini): the parameter "
                                     "lists stay empty",
                                     "- 全部參數說明檔 (*Par*.txt, *Add.Ini, X.Ini): 參數清單為空白"};

}  // namespace

MissingStartFiles findMissingStartFiles(const std::string& dir, int language, bool withDescriptions) {
  MissingStartFiles missing;
  missing.customerIni = !present(dir, kCustomerIniName);
  if (const std::string catalogue = MessageCatalogue::fileName(language); !present(dir, catalogue))
    missing.catalogue = catalogue;
  if (!withDescriptions) return missing;
  std::vector<std::string> expected;
  for (int model = 0; model < kModelCount; ++model) {
    // Only the X02 generation (the first three models) has software versions.
    for (int version = 0; version < (model < 3 ? 3 : 1); ++version) {
      if (descriptionFilePath(dir, model, version, language).empty())
        missing.descriptions.push_back(descriptionFileName(model, version, language));
      expected.push_back(descriptionFileName(model, version, language));
    }
    const std::string additional = additionalFileName(model, language);
    if (std::find(expected.begin(), expected.end(), additional) != expected.end()) continue;
    expected.push_back(additional);
    if (!present(dir, additional)) missing.descriptions.push_back(additional);
  }
  missing.allDescriptions = missing.descriptions.size() == expected.size();
  return missing;
}

std::string missingStartFilesText(int language, const std::string& dir, const MissingStartFiles& missing) {
  if (missing.empty()) return {};
  std::string text = fillText(language, kHeading, dir, {});
  if (missing.customerIni) text += "\n" + fillText(language, kCustomer, kCustomerIniName, {});
  if (!missing.catalogue.empty()) text += "\n" + fillText(language, kCatalogue, missing.catalogue, {});
  if (missing.allDescriptions) {
    text += "\n" + fillText(language, kAllDescriptions, {}, {});
  } else if (!missing.descriptions.empty()) {
    std::string names;
    for (const std::string& name : missing.descriptions) names += (names.empty() ? "" : ", ") + name;
    text += "\n" + fillText(language, kSomeDescriptions, names, {});
  }
  return text;
}

std::string startFilesReport(const std::string& dir, int language, bool withDescriptions) {
  const MissingStartFiles missing = findMissingStartFiles(dir, language, withDescriptions);
  if (!missing.customerIni) return missingStartFilesText(language, dir, missing);
  return missingStartFilesText(0, dir, findMissingStartFiles(dir, 0, withDescriptions)) + "\n\n" +
         missingStartFilesText(1, dir, findMissingStartFiles(dir, 1, withDescriptions));
}

}  // namespace qxr
