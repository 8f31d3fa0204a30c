#include "support/startdir.h"

#include <filesystem>

#include "base/settings.h"
#include "support/fakehost.h"

namespace qxr::test {

StartDir::StartDir(int language, const Filter& take) {
  copyShipped(take);
  if (language >= 0) write("Customer.ini", "Language = " + std::to_string(language) + "\r\nBaud = 4\r\n");
}

void StartDir::copyShipped(const Filter& take) const {
  for (const auto& entry : std::filesystem::directory_iterator(dataDir())) {
    const std::string name = entry.path().filename().string();
    if (entry.is_regular_file() && take(name))
      std::filesystem::copy_file(entry.path(), file(name), std::filesystem::copy_options::overwrite_existing);
  }
}

void StartDir::writeSettings(const Settings& settings) const { write("Init.ini", formatInitIni(settings)); }

void StartDir::writeBlockMode(int timeoutMs) const {
  Settings settings;
  settings.transitMode = 1;
  settings.timeoutMs = timeoutMs;
  writeSettings(settings);
}

NumberedStartDir::NumberedStartDir() : StartDir(-1, nothing) {
  makeTestSession(*this);  // writes the catalogue
  write("Init.ini", kBlockModeInitIni);
}

}  // namespace qxr::test
