// The message catalogue, and the code-page conversions its texts and the
// operator's bytes go through.
#include <cstdint>
#include <string_view>

#include "base/catalogue.h"
#include "base/codec.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qxr::fuzz::InputFile file(data, size);
  qxr::MessageCatalogue catalogue;
  catalogue.load(file.path());
  for (int n = 0; n <= catalogue.count() + 1; ++n) (void)catalogue.text(n);

  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  for (int language : {0, 1}) {
    const std::string utf8 = qxr::bytesToUtf8(bytes, language);
    if (!qxr::isValidUtf8(utf8)) __builtin_trap();
    // Every byte survives a round trip through the window's text.
    if (qxr::utf8ToBytes(utf8, language) != bytes) __builtin_trap();
    (void)qxr::utf8ToBytes(bytes, language);
    (void)qxr::displayUtf8(bytes, language);
  }
  return 0;
}
