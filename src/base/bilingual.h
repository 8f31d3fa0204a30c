#pragma once
// Texts the message catalogue has no line for, in the operator's language:
// English for language 1, Traditional Chinese otherwise, UTF-8 like the
// catalogue. Each subsystem keeps its own table of pairs.
#include <initializer_list>
#include <string>
#include <string_view>

namespace qxr {

struct TextPair {
  const char* english;
  const char* chinese;
};

// The pair's text for `language` with its slots filled: each %s by `s`, each
// %d by the next of `numbers` (the two languages may order the slots
// differently only where one %d is used).
std::string fillText(int language, const TextPair& pair, std::string_view s,
                     std::initializer_list<long> numbers);

}  // namespace qxr
