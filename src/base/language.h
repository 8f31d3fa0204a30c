#pragma once
// The operator's language. Customer.ini and Init.ini keep it as a number
// (0 Chinese, 1 English, anything above 1 English); the program says it as a
// Language and converts only where the number is read or written.

namespace qxr {

enum class Language : int { kChinese = 0, kEnglish = 1 };

constexpr Language languageFromIndex(int index) { return index >= 1 ? Language::kEnglish : Language::kChinese; }
constexpr int languageIndex(Language language) { return static_cast<int>(language); }

}  // namespace qxr
