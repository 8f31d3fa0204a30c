#pragma once
// The operator's language. Customer.ini keeps it as a number (1 English,
// any other Chinese; reading the file makes it 0 or 1); the program says it
// as a Language and converts only where the number is read or written.

namespace qxr {

enum class Language : int { kChinese = 0, kEnglish = 1 };

constexpr Language languageFromIndex(int index) { return index == 1 ? Language::kEnglish : Language::kChinese; }
constexpr int languageIndex(Language language) { return static_cast<int>(language); }

}  // namespace qxr
