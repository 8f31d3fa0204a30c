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

LineReader::LineReader(const std::string& path) { file_ = std::fopen(path.c_str(), "rb"); }

LineReader::~LineReader() {
  if (file_) std::fclose(file_);
}

int LineReader::getChar() {
  int c;
  if (pushedBack_ >= 0) {
    c = pushedBack_;
    pushedBack_ = -1;
  } else {
    c = std::fgetc(file_);
  }
  if (c == '\r') {
    const int next = std::fgetc(file_);
    if (next == '\n') return '\n';
    if (next != EOF) pushedBack_ = next;
  }
  return c;
}

bool LineReader::readPiece(std::string& piece, std::size_t limit) {
  piece.clear();
  if (!file_ || limit == 0) return false;
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
  if (!file_) return false;
  bool any = false;
  for (;;) {
    const int c = getChar();
    if (c == EOF) return any;
    any = true;
    if (c == '\n') return true;
    line.push_back(static_cast<char>(c));
  }
}

std::optional<std::vector<std::string>> readAllLines(const std::string& path) {
  LineReader reader(path);
  if (!reader.isOpen()) return std::nullopt;
  std::vector<std::string> lines;
  std::string line;
  while (reader.readLine(line)) lines.push_back(line);
  return lines;
}

namespace {

bool writeAll(int fd, std::string_view bytes) {
  while (!bytes.empty()) {
    const ssize_t n = ::write(fd, bytes.data(), bytes.size());
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    bytes.remove_prefix(static_cast<std::size_t>(n));
  }
  return true;
}

}  // namespace

bool writeFileAtomic(const std::string& path, std::string_view bytes) {
  std::string temp = path + ".XXXXXX";
  const int fd = ::mkstemp(temp.data());
  if (fd < 0) return false;
  bool ok = writeAll(fd, bytes) && ::fsync(fd) == 0;
  // mkstemp creates the file private to its owner; give it the usual mode.
  const mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);
  ok = (::close(fd) == 0) && ok;
  if (ok) ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) ::unlink(temp.c_str());
  return ok;
}

bool writeLinesAtomic(const std::string& path, const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& line : lines) {
    bytes += line;
    bytes += "\r\n";
  }
  return writeFileAtomic(path, bytes);
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
