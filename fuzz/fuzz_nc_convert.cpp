// The NC block conversion of the simulator, the dump of its table, and a
// headless run of what converted (bounded in ticks).
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "sim/convert.h"
#include "sim/headless.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> lines;
  std::string line;
  for (std::size_t i = 0; i < size; ++i) {
    const char c = static_cast<char>(data[i]);
    if (c == '\n') {
      lines.push_back(line);
      line.clear();
    } else {
      line.push_back(c);
    }
  }
  if (!line.empty()) lines.push_back(line);

  qxr::NcConverter converter;
  const auto result = converter.ConvertProgram(lines);
  (void)qxr::formatConversionDump(converter.table(), result);
  if (!result.ok()) return 0;

  qxr::HeadlessOptions options;
  options.resolution = size % 5;
  options.seconds = (size & 1) != 0;
  options.maxTicks = 20000;
  qxr::PathPlot plot;
  (void)qxr::runHeadless(converter.table(), options, plot);
  return 0;
}
