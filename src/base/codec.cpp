#include "base/codec.h"

#include <iconv.h>

#include <cerrno>
#include <cstdint>

#include "base/language.h"

namespace qxr {

namespace {

// Stray bytes travel as U+10FF00 + byte, in a private-use plane that no
// code-page conversion produces.
constexpr char32_t kStrayBase = 0x10FF00;

void appendUtf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

// Decodes one UTF-8 sequence at text[i]; returns its length, 0 when invalid.
std::size_t decodeUtf8(std::string_view text, std::size_t i, char32_t& c) {
  const auto b0 = static_cast<unsigned char>(text[i]);
  std::size_t length;
  if (b0 < 0x80) {
    c = b0;
    return 1;
  } else if ((b0 & 0xE0) == 0xC0) {
    length = 2;
    c = b0 & 0x1F;
  } else if ((b0 & 0xF0) == 0xE0) {
    length = 3;
    c = b0 & 0x0F;
  } else if ((b0 & 0xF8) == 0xF0) {
    length = 4;
    c = b0 & 0x07;
  } else {
    return 0;
  }
  if (i + length > text.size()) return 0;
  for (std::size_t k = 1; k < length; ++k) {
    const auto b = static_cast<unsigned char>(text[i + k]);
    if ((b & 0xC0) != 0x80) return 0;
    c = (c << 6) | (b & 0x3F);
  }
  static constexpr char32_t kMinimum[] = {0, 0, 0x80, 0x800, 0x10000};
  if (c < kMinimum[length] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return 0;
  return length;
}

class Converter {
 public:
  Converter(const char* to, const char* from) : cd_(iconv_open(to, from)) {}
  ~Converter() {
    if (ok()) iconv_close(cd_);
  }
  Converter(const Converter&) = delete;
  Converter& operator=(const Converter&) = delete;
  bool ok() const { return cd_ != reinterpret_cast<iconv_t>(-1); }

  // Converts as much of `in` as possible; returns the bytes consumed.
  std::size_t convert(std::string_view in, std::string& out) {
    char* inPtr = const_cast<char*>(in.data());
    std::size_t inLeft = in.size();
    char buffer[256];
    while (inLeft > 0) {
      char* outPtr = buffer;
      std::size_t outLeft = sizeof buffer;
      const std::size_t result = iconv(cd_, &inPtr, &inLeft, &outPtr, &outLeft);
      out.append(buffer, static_cast<std::size_t>(outPtr - buffer));
      if (result == static_cast<std::size_t>(-1) && errno != E2BIG) break;
    }
    iconv(cd_, nullptr, nullptr, nullptr, nullptr);
    return in.size() - inLeft;
  }

 private:
  iconv_t cd_;
};

}  // namespace

const char* codePageName(int language) { return languageFromIndex(language) == Language::kEnglish ? "ISO-8859-1" : "BIG5"; }

bool isValidUtf8(std::string_view text) {
  char32_t c;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t n = decodeUtf8(text, i, c);
    if (n == 0) return false;
    i += n;
  }
  return true;
}

std::string bytesToUtf8(std::string_view bytes, int language) {
  std::string out;
  out.reserve(bytes.size() + bytes.size() / 2);
  if (languageFromIndex(language) == Language::kEnglish) {
    // Latin-1 maps every byte to the character of the same number.
    for (const char b : bytes) appendUtf8(out, static_cast<unsigned char>(b));
    return out;
  }
  // Big5 character by character: a pair is taken only when it converts and
  // converts back to the same pair (some pairs share a character with
  // another), so that every byte comes back on saving.
  Converter decoder("UTF-8", codePageName(language));
  Converter encoder(codePageName(language), "UTF-8");
  std::string decoded, encoded;
  for (std::size_t i = 0; i < bytes.size();) {
    const auto b = static_cast<unsigned char>(bytes[i]);
    if (b < 0x80) {
      out.push_back(static_cast<char>(b));
      ++i;
      continue;
    }
    if (i + 1 < bytes.size() && decoder.ok() && encoder.ok()) {
      const std::string_view pair = bytes.substr(i, 2);
      decoded.clear();
      encoded.clear();
      if (decoder.convert(pair, decoded) == 2 && encoder.convert(decoded, encoded) == decoded.size() &&
          encoded == pair) {
        out += decoded;
        i += 2;
        continue;
      }
    }
    appendUtf8(out, kStrayBase + b);
    ++i;
  }
  return out;
}

std::string utf8ToBytes(std::string_view utf8, int language, std::size_t* firstLost) {
  if (firstLost) *firstLost = std::string_view::npos;
  auto lost = [firstLost](std::size_t at) {
    if (firstLost && *firstLost == std::string_view::npos) *firstLost = at;
  };
  std::string out;
  out.reserve(utf8.size());
  Converter converter(codePageName(language), "UTF-8");
  std::size_t i = 0;
  while (i < utf8.size()) {
    // Convert the run up to the next stray or unconvertible character.
    std::size_t end = i;
    char32_t c = 0;
    std::size_t length = 0;
    while (end < utf8.size()) {
      length = decodeUtf8(utf8, end, c);
      if (length == 0 || (c >= kStrayBase + 0x80 && c <= kStrayBase + 0xFF)) break;
      end += length;
    }
    if (end > i) {
      const std::string_view run = utf8.substr(i, end - i);
      const std::size_t used = converter.ok() ? converter.convert(run, out) : 0;
      i += used;
      if (used < run.size()) {
        // A character without a place in the code page.
        char32_t skipped;
        const std::size_t n = decodeUtf8(utf8, i, skipped);
        lost(i);
        out.push_back('?');
        i += n ? n : 1;
      }
      continue;
    }
    if (length == 0) {
      lost(i);
      out.push_back('?');
      ++i;
    } else {
      out.push_back(static_cast<char>(c - kStrayBase));
      i += length;
    }
  }
  return out;
}

std::size_t findUnencodable(std::string_view utf8, int language) {
  // Plain ASCII has its place in every code page.
  std::size_t i = 0;
  while (i < utf8.size() && static_cast<unsigned char>(utf8[i]) < 0x80) ++i;
  if (i == utf8.size()) return std::string_view::npos;
  std::size_t lost = std::string_view::npos;
  utf8ToBytes(utf8, language, &lost);
  return lost;
}

std::size_t utf8CharLength(std::string_view utf8, std::size_t offset) {
  if (offset >= utf8.size()) return 0;
  char32_t c;
  const std::size_t n = decodeUtf8(utf8, offset, c);
  return n ? n : 1;
}

std::string displayUtf8(std::string_view text, int language) {
  if (isValidUtf8(text)) return std::string(text);
  // Catalogue text (UTF-8) followed by bytes of the code page (a name, a
  // received line): split after the last ASCII character of the longest
  // valid UTF-8 start. Catalogue texts end in ASCII (": ", a blank), and a
  // Big5 pair that happens to look like UTF-8 never carries an ASCII byte.
  std::size_t split = 0;
  char32_t c;
  for (std::size_t i = 0; i < text.size();) {
    const std::size_t length = decodeUtf8(text, i, c);
    if (length == 0) break;
    i += length;
    if (c < 0x80) split = i;
  }
  return std::string(text.substr(0, split)) + bytesToUtf8(text.substr(split), language);
}

}  // namespace qxr
