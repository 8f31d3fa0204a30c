// Parameter description and additional files, parameter lines as the send
// reads them, and ".par" files read into a page.
#include <cstdint>
#include <string_view>

#include "base/host.h"
#include "base/session.h"
#include "fuzz_input.h"
#include "params/paramlist.h"
#include "params/paramtransfer.h"

namespace {

class QuietHost final : public qxr::LinkHost {
 public:
  int pageIndex() const override { return qxr::kParameterPage; }
  void appendPageLine(int, std::string_view) override {}
  void beep() override {}
  void processEvents() override {}
  int selectedPortIndex() const override { return 0; }
  void selectPortIndex(int) override {}
  bool confirm(std::string_view) override { return false; }
  void notice(std::string_view) override {}
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qxr::fuzz::InputFile file(data, size);
  for (int language : {0, 1}) {
    (void)qxr::readParameterEntries(file.path(), language, true, qxr::kAdditionalEntryLimit);
    (void)qxr::readParameterEntries(file.path(), language, false, qxr::kAdditionalEntryLimit);
  }

  qxr::Session session;
  QuietHost host;
  qxr::MemoryParameterPage page;
  if (qxr::readParameterFile(file.path(), session, host, page)) {
    for (const auto& line : page.lines) {
      (void)qxr::isParameterComment(line);
      (void)qxr::parameterWriteLine(line);
    }
  }
  const std::string_view text(reinterpret_cast<const char*>(data), size);
  qxr::ParameterEntry entry;
  if (qxr::parseParameterLine(text, true, entry)) (void)qxr::receivedParameterLine(entry, text);
  return 0;
}
