#pragma once
// The message catalogue: one file per language, message n on line n, each
// line a leading word, one blank and the text.
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/messages.h"  // the numbers of its messages, named

namespace qxr {

class MessageCatalogue {
 public:
  static constexpr int kMaxLines = 300;
  static constexpr std::size_t kReadLimit = 253;  // characters per read, line end included

  // File name for a language: 0 "Message.C", 1 "Message.E".
  static const char* fileName(int language);

  // Loads the file; false (and no messages) when it cannot be opened.
  bool load(const std::string& path);
  bool loadLanguage(const std::string& startDir, int language);

  // The text of message n: what follows the first blank of line n. Nothing
  // when n is out of range or the line has no blank.
  std::optional<std::string_view> lookup(int n) const;

  // The text of message n, empty when there is none. Callers treat "no text"
  // as the empty text.
  std::string text(int n) const;

  int count() const { return static_cast<int>(lines_.size()); }

 private:
  std::vector<std::string> lines_;
};

}  // namespace qxr
