#include "base/textio.h"

#include <dirent.h>
#include <fcntl.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <climits>
#include <cstring>

namespace qxr {

int leadingInt(std::string_view text) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  long long value = 0;
  for (; i < text.size() && text[i] >= '0' && text[i] <= '9'; ++i) {
    value = value * 10 + (text[i] - '0');
    if (value > static_cast<long long>(INT_MAX) + 1) value = static_cast<long long>(INT_MAX) + 1;
  }
  if (negative) value = -value;
  if (value > INT_MAX) value = INT_MAX;
  if (value < INT_MIN) value = INT_MIN;
  return static_cast<int>(value);
}

int valueAfterLastEquals(std::string_view line) {
  const auto pos = line.rfind('=');
  if (pos == std::string_view::npos) return 0;
  return leadingInt(line.substr(pos + 1));
}

std::string_view cutAt(std::string_view text, char ch) {
  const auto pos = text.find(ch);
  return pos == std::string_view::npos ? text : text.substr(0, pos);
}

std::string_view trimTrailingBlanks(std::string_view text) {
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

LineReader::LineReader(const std::string& path, std::size_t limit) {
  error_ = readFileChecked(path, limit, content_);
}

int LineReader::getChar() {
  if (position_ >= content_.size()) return EOF;
  const int c = static_cast<unsigned char>(content_[position_++]);
  if (c == '\r' && position_ < content_.size() && content_[position_] == '\n') {
    ++position_;
    return '\n';
  }
  return c;
}

bool LineReader::readPiece(std::string& piece, std::size_t limit) {
  piece.clear();
  if (limit == 0) return false;
  while (piece.size() < limit) {
    const int c = getChar();
    if (c == EOF) break;
    piece.push_back(static_cast<char>(c));
    if (c == '\n') break;
  }
  return !piece.empty();
}

bool LineReader::readLine(std::string& line) {
  line.clear();
  bool any = false;
  for (;;) {
    const int c = getChar();
    if (c == EOF) return any;
    any = true;
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
  }
}

std::optional<std::vector<std::string>> readAllLines(const std::string& path, std::size_t limit,
                                                     FileError* error) {
  LineReader reader(path, limit);
  if (error) *error = reader.error();
  if (!reader.isOpen()) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (reader.readLine(line)) lines.push_back(line);
  return lines;
}

std::string textFileBytes(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return bytes;
}

FileError saveLines(const std::string& path, const std::vector<std::string>& lines) {
  return saveFile(path, textFileBytes(lines));
}

std::string joinPath(const std::string& dir, const std::string& name) {
  if (dir.empty()) return name;
  if (dir.back() == '/') return dir + name;
  return dir + "/" + name;
}

std::string resolveCaseInsensitive(const std::string& dir, const std::string& name) {
  const std::string exact = joinPath(dir, name);
  if (::access(exact.c_str(), F_OK) == 0) return exact;
  DIR* d = ::opendir(dir.empty() ? "." : dir.c_str());
  if (!d) return exact;
  std::string found;
  while (const dirent* entry = ::readdir(d)) {
    if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = joinPath(dir, entry->d_name);
      break;
    }
  }
  ::closedir(d);
  return found.empty() ? exact : found;
}

}  // namespace qxr
