#pragma once
// The process-wide state of a run, set up once at start: the settings, the
// message catalogue, the start directory, and the model and version choices
// that the transfer operations read.
#include <string>

#include "base/catalogue.h"
#include "base/language.h"
#include "base/settings.h"

namespace qxr {

// Controller generation (the `TypeSel` radio group): only "QXR X02"
// programs carry a name.
enum Generation : int { kGenerationX02 = 0, kGenerationX00 = 1 };

// Model index 0-5 and its names.
inline constexpr int kModelCount = 6;
inline constexpr const char* kModelNames[kModelCount] = {"QXR102", "QXR202", "QXR302",
                                                         "QXR101", "QXR200", "QXR300"};
// Version index 0-2.
inline constexpr const char* kVersionNames[3] = {"SD", "K", "M"};

struct Session {
  Settings settings;
  MessageCatalogue catalogue;
  std::string startDir;     // absolute, with a trailing separator
  std::string initIniPath;  // where closing writes the settings
  int modelIndex = 0;
  int versionIndex = 1;

  // Catalogue message n, empty when there is none.
  std::string msg(int n) const { return catalogue.text(n); }
  Language lang() const { return languageFromIndex(settings.language); }
  // The stored number (0 Chinese, 1 English), for callers that still take one.
  int language() const { return settings.language; }
};

// Start-up steps of the main window that do not touch widgets: defaults,
// "Init.ini", "Customer.ini", the start directory and the catalogue.
Session startSession(const std::string& startDir);

// Writes the settings back (closing); false when "Init.Ini" could not be
// written, which is not reported to the operator.
bool saveSession(const Session& session);

}  // namespace qxr
