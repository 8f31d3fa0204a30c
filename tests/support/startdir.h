#pragma once
// A program's start directory for a test: a private directory seeded with
// shipped files from data/, a Customer.ini for the language, and an Init.ini
// when the test gives settings.
//
//   qxr::test::StartDir start;                                   // the catalogues, English
//   qxr::test::StartDir all(1, qxr::test::StartDir::everything);  // every shipped file
//   start.writeSettings(settings);                               // Init.ini
//   TMainForm form(start.dir());
#include <functional>
#include <string>

#include "support/tempdir.h"

namespace qxr {
struct Settings;
}

namespace qxr::test {

class StartDir : public TempDir {
 public:
  using Filter = std::function<bool(const std::string& name)>;
  // Which shipped files to take.
  static bool catalogues(const std::string& name) { return name == "Message.C" || name == "Message.E"; }
  static bool everything(const std::string&) { return true; }
  static bool nothing(const std::string&) { return false; }
  // The parameter descriptions and lists, and the shipped .Ini files.
  static bool parameterFiles(const std::string& name) {
    return name.find("Par") != std::string::npos || name.find(".Ini") != std::string::npos;
  }

  // `language` 0 Chinese, 1 English; below 0: no Customer.ini.
  explicit StartDir(int language = 1, const Filter& take = catalogues);

  // Copies the shipped files `take` accepts (over any of the same name).
  void copyShipped(const Filter& take) const;
  // Init.ini with these settings.
  void writeSettings(const Settings& settings) const;
  // Init.ini in block mode with a time-out of `timeoutMs`: quick transfers.
  void writeBlockMode(int timeoutMs) const;
};

// Init.ini in block mode, a time-out of 1 s, COM2 selected.
inline constexpr const char* kBlockModeInitIni =
    "Time Out Timer    = 1000\r\nTrans Delay time  = 10\r\nSystem parameter  = 0,0,0\r\n"
    "Transit mode      = 1\r\nDefault COM       = 1\r\nPLC Transit Delay = 5\r\n"
    "MAX COM Port      = 8\r\n";

// A start directory whose catalogue has message n read "#n" (Message.C; no
// Customer.ini), with kBlockModeInitIni: page lines are easy to check.
struct NumberedStartDir : StartDir {
  NumberedStartDir();
};

}  // namespace qxr::test
