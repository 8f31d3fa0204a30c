#include "base/bilingual.h"

namespace qxr {

std::string fillText(Language language, const TextPair& pair, std::string_view s,
                     std::initializer_list<long> numbers) {
  const std::string_view format = pair.in(language);
  auto next = numbers.begin();
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size()) {
      if (format[i + 1] == 's') {
        out += s;
        ++i;
        continue;
      }
      if (format[i + 1] == 'd' && next != numbers.end()) {
        out += std::to_string(*next++);
        ++i;
        continue;
      }
    }
    out += format[i];
  }
  return out;
}

}  // namespace qxr
