#include "base/catalogue.h"

#include "base/language.h"
#include "base/textio.h"

namespace qxr {

const char* MessageCatalogue::fileName(int language) { return languageFromIndex(language) == Language::kEnglish ? "Message.E" : "Message.C"; }

bool MessageCatalogue::load(const std::string& path) {
  lines_.clear();
  LineReader reader(path);
  if (!reader.isOpen()) return false;
  std::string piece;
  while (count() < kMaxLines && reader.readPiece(piece, kReadLimit)) {
    // Every read loses its last character: the line end of a whole line, and
    // a real character of a piece of a longer line or of a last line without
    // a line end.
    piece.pop_back();
    lines_.push_back(piece);
  }
  return true;
}

bool MessageCatalogue::loadLanguage(const std::string& startDir, int language) {
  return load(resolveCaseInsensitive(startDir, fileName(language)));
}

std::optional<std::string_view> MessageCatalogue::lookup(int n) const {
  if (n < 1 || n > count()) return std::nullopt;
  const std::string& line = lines_[static_cast<std::size_t>(n - 1)];
  const auto blank = line.find(' ');
  if (blank == std::string::npos) return std::nullopt;
  return std::string_view(line).substr(blank + 1);
}

std::string MessageCatalogue::text(int n) const {
  const auto found = lookup(n);
  return found ? std::string(*found) : std::string();
}

}  // namespace qxr
