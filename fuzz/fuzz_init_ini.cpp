// "Init.ini" and "Customer.ini" as the start-up reads them.
#include <cstdint>

#include "base/settings.h"
#include "fuzz_input.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qxr::fuzz::InputFile file(data, size);
  qxr::Settings settings;
  qxr::readInitIni(file.path(), settings);
  qxr::readCustomerIni(file.path(), settings);
  // What closing writes must read back as the same settings.
  (void)qxr::formatInitIni(settings);
  (void)settings.baudRate();
  return 0;
}
