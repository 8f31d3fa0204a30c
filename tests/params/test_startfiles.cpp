// The report of shipped files a start directory lacks.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>

#include "params/startfiles.h"
#include "support/startdir.h"

namespace qxr {
namespace {

namespace fs = std::filesystem;

void asShipped(const test::TempDir&) {}

TEST(StartFiles, MissingFilesAreListedForTheLanguage) {
  struct Case {
    const char* what;
    int language;
    bool shipped;  // every shipped file first, then changed by `make`
    std::function<void(const test::TempDir&)> make;
    bool customerIni;
    std::string catalogue;
    std::vector<std::string> descriptions;
    bool all;
  } cases[] = {
      {"everything shipped", 1, true, asShipped, false, "", {}, false},
      {"everything shipped, Chinese", 0, true, asShipped, false, "", {}, false},
      {"an empty directory", 0, false, asShipped, true, "Message.C", {}, true},
      {"no Customer.ini", 1, true, [](const test::TempDir& d) { fs::remove(d.file("Customer.ini")); }, true, "", {}, false},
      {"names in other case, a description without its version", 1, true,
       [](const test::TempDir& d) {
         fs::rename(d.file("Message.E"), d.file("MESSAGE.e"));
         fs::rename(d.file("Customer.ini"), d.file("customer.INI"));
         fs::rename(d.file("102ParSDE.txt"), d.file("102ParE.txt"));
       },
       false, "", {}, false},
      {"one description and one additional list gone", 1, true,
       [](const test::TempDir& d) {
         fs::remove(d.file("202ParKE.txt"));
         fs::remove(d.file("XE.Ini"));
       },
       false, "", {"202ParKE.txt", "XE.Ini"}, false},
      {"only the other language's files", 1, true,
       [](const test::TempDir& d) {
         for (const auto& file : fs::directory_iterator(d.dir())) {
           const std::string name = file.path().filename().string();
           if (name == "Message.E" || name.find("E.txt") != std::string::npos || name.find("E.Ini") != std::string::npos)
             fs::remove(file.path());
         }
       },
       false, "Message.E", {}, true},
      {"a directory in place of the catalogue", 0, true,
       [](const test::TempDir& d) {
         fs::remove(d.file("Message.C"));
         fs::create_directories(d.file("Message.C"));
       },
       false, "Message.C", {}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    test::StartDir dir(-1, c.shipped ? test::StartDir::everything : test::StartDir::nothing);
    c.make(dir);
    const MissingStartFiles missing = findMissingStartFiles(dir.dir(), c.language);
    EXPECT_EQ(missing.customerIni, c.customerIni);
    EXPECT_EQ(missing.catalogue, c.catalogue);
    EXPECT_EQ(missing.allDescriptions, c.all);
    if (!c.all) EXPECT_EQ(missing.descriptions, c.descriptions);
    EXPECT_TRUE(findMissingStartFiles(dir.dir(), c.language, false).descriptions.empty());

    // The report says where it looked and names each missing file; both
    // languages when the language is unknown.
    const std::string report = startFilesReport(dir.dir(), c.language);
    EXPECT_EQ(report.empty(), missing.empty());
    if (missing.empty()) continue;
    EXPECT_NE(report.find(dir.dir()), std::string::npos) << report;
    for (const std::string& name : missing.descriptions)
      if (!c.all) EXPECT_NE(report.find(name), std::string::npos) << report;
    if (!c.catalogue.empty()) EXPECT_NE(report.find(c.catalogue), std::string::npos) << report;
    const bool english = report.find("Files missing") != std::string::npos;
    const bool chinese = report.find("缺少檔案") != std::string::npos;
    EXPECT_EQ(english, c.customerIni || c.language == 1) << report;
    EXPECT_EQ(chinese, c.customerIni || c.language == 0) << report;
  }
}

}  // namespace
}  // namespace qxr
