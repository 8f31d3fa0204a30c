#pragma once
// The shipped files a start directory should hold, and a report of those it
// lacks. The program goes on without them (defaults, built-in captions, empty
// parameter lists); the report tells the operator once, at start.
#include <string>
#include <vector>

namespace qxr {

struct MissingStartFiles {
  bool customerIni = false;               // "Customer.ini"
  std::string catalogue;                  // the language's message catalogue, when missing
  std::vector<std::string> descriptions;  // parameter descriptions and additional lists missing
  bool allDescriptions = false;           // not one of them is there
  bool empty() const { return !customerIni && catalogue.empty() && descriptions.empty(); }
};

// What `dir` lacks for `language` (0 Chinese, 1 English); the parameter
// descriptions only when `withDescriptions`. Names are matched ignoring case,
// as the program reads them.
MissingStartFiles findMissingStartFiles(const std::string& dir, int language, bool withDescriptions = true);

// The report in the operator's language: where it looked, what is missing and
// what that means; empty when nothing is missing.
std::string missingStartFilesText(int language, const std::string& dir, const MissingStartFiles& missing);

// The report told once at start: for the operator's language, or in both
// languages (Chinese first) when Customer.ini is missing, as the language is
// then unknown; empty when nothing is missing.
std::string startFilesReport(const std::string& dir, int language, bool withDescriptions = true);

}  // namespace qxr
