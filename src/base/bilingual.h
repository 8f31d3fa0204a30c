#pragma once
// Texts the message catalogue has no line for, in the operator's language,
// UTF-8 like the catalogue. A text in both languages is a TextPair, whether
// it stands in a subsystem's table or where it is said: TextPair{english,
// chinese}.in(language), or fillText when it has slots.
#include <initializer_list>
#include <string>
#include <string_view>

#include "base/language.h"

namespace qxr {

struct TextPair {
  const char* english;
  const char* chinese;

  constexpr const char* in(Language language) const { return language == Language::kEnglish ? english : chinese; }
};

// The pair's text for `language` with its slots filled: each %s by `s`, each
// %d by the next of `numbers` (the two languages may order the slots
// differently only where one %d is used).
std::string fillText(Language language, const TextPair& pair, std::string_view s,
                     std::initializer_list<long> numbers);
// The same for a stored language number, while callers still hold one.
inline std::string fillText(int language, const TextPair& pair, std::string_view s,
                            std::initializer_list<long> numbers) {
  return fillText(languageFromIndex(language), pair, s, numbers);
}

}  // namespace qxr
