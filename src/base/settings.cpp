#include "base/settings.h"

#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string_view>
#include <vector>

#include "base/textio.h"

namespace qxr {

int Settings::baudRate() const {
  static constexpr int kRates[] = {1200, 2400, 4800, 9600, 19200};
  if (baudIndex < 1 || baudIndex > 5) return 9600;
  return kRates[baudIndex - 1];
}

int plcTransferDelayInUse(double ms) {
  if (!(ms > 0)) return 0;  // NaN too
  if (ms >= kMaxPlcTransferDelayMs) return kMaxPlcTransferDelayMs;
  return static_cast<int>(std::lround(ms));
}

std::string initIniPath(const std::string& startDir) {
  const std::string found = resolveCaseInsensitive(startDir, kInitIniName);
  if (found != joinPath(startDir, kInitIniName)) return found;
  // Nothing of that name yet: "Init.Ini" is what closing writes.
  if (::access(found.c_str(), F_OK) == 0) return found;
  return joinPath(startDir, kInitIniWriteName);
}

namespace {

bool flagOf(int value) { return value == 1; }

// Line 3: "System parameter  = r,s,t" split at its last two commas.
void readSystemParameterLine(std::string_view line, Settings& s) {
  const auto last = line.rfind(',');
  if (last == std::string_view::npos) {
    s.receiveTrace = flagOf(valueAfterLastEquals(line));
    return;
  }
  s.thirdSystemFlag = flagOf(leadingInt(line.substr(last + 1)));
  std::string_view rest = line.substr(0, last);
  const auto before = rest.rfind(',');
  if (before == std::string_view::npos) {
    s.receiveTrace = flagOf(valueAfterLastEquals(rest));
    return;
  }
  s.sendTrace = flagOf(leadingInt(rest.substr(before + 1)));
  s.receiveTrace = flagOf(valueAfterLastEquals(rest.substr(0, before)));
}

void applyInitLine(int number, std::string_view line, Settings& s) {
  switch (number) {
    case 1: s.timeoutMs = valueAfterLastEquals(line); break;
    case 2: s.bytePacingMs = valueAfterLastEquals(line); break;
    case 3: readSystemParameterLine(line, s); break;
    case 4: s.transitMode = valueAfterLastEquals(line); break;
    case 5: s.defaultPortIndex = valueAfterLastEquals(line); break;
    case 6: s.plcTransferDelayMs = valueAfterLastEquals(line); break;
    case 7: {
      const int count = valueAfterLastEquals(line);
      s.portCount = (count < kMinPortCount || count > kMaxPortCount) ? 8 : count;
      break;
    }
    case 8: s.multipleInquire = flagOf(valueAfterLastEquals(line)); break;
    case 9: s.systemParameter3 = valueAfterLastEquals(line); break;
    default: break;
  }
}

}  // namespace

void readInitIni(const std::string& path, Settings& s) {
  LineReader reader(path);
  if (!reader.isOpen()) return;
  std::string piece;
  int number = 0;
  while (number < 9 && reader.readPiece(piece, kInitLineLimit)) {
    ++number;
    applyInitLine(number, piece, s);
  }
  // A file of one line is taken as an old short form with slower pacing.
  if (number == 1) s.bytePacingMs = 50;
}

void readCustomerIni(const std::string& path, Settings& s) {
  LineReader reader(path);
  if (!reader.isOpen()) return;
  std::string piece;
  if (!reader.readPiece(piece, kInitLineLimit)) {
    s.language = 1;
    return;
  }
  s.language = valueAfterLastEquals(piece);
  if (s.language > 1) s.language = 1;
  if (s.language < 0) s.language = 0;  // no catalogue exists for a negative language
  if (!reader.readPiece(piece, kInitLineLimit)) {
    s.language = 1;
    return;
  }
  s.baudIndex = valueAfterLastEquals(piece);
  if (s.baudIndex < 1 || s.baudIndex > 5) s.baudIndex = 4;
}

Settings loadSettings(const std::string& startDir) {
  Settings s;
  readInitIni(initIniPath(startDir), s);
  // An index beyond the list falls back to the second port (the first when
  // the list has only one).
  if (s.defaultPortIndex >= s.portCount || s.defaultPortIndex < 0)
    s.defaultPortIndex = s.portCount > 1 ? 1 : 0;
  readCustomerIni(resolveCaseInsensitive(startDir, kCustomerIniName), s);
  return s;
}

std::string formatInitIni(const Settings& s) {
  char buffer[512];
  std::snprintf(buffer, sizeof buffer,
                "Time Out Timer    = %d\r\n"
                "Trans Delay time  = %d\r\n"
                "System parameter  = %d,%d,%d\r\n"
                "Transit mode      = %d\r\n"
                "Default COM       = %d\r\n"
                "PLC Transit Delay = %d\r\n"
                "MAX COM Port      = %d\r\n"
                "System parameter 2= %d\r\n"
                "System parameter 3= %d\r\n",
                s.timeoutMs, s.bytePacingMs, s.receiveTrace ? 1 : 0, s.sendTrace ? 1 : 0,
                s.thirdSystemFlag ? 1 : 0, s.transitMode, s.defaultPortIndex, s.plcTransferDelayMs,
                s.portCount, s.multipleInquire ? 1 : 0, s.systemParameter3);
  return buffer;
}

bool writeInitIni(const std::string& path, const Settings& settings) {
  return saveFile(path, formatInitIni(settings)) == FileError::kNone;
}

std::string currentStartDirectory() {
  std::vector<char> buffer(4096);
  while (::getcwd(buffer.data(), buffer.size()) == nullptr) {
    if (buffer.size() > (1u << 20)) return "./";
    buffer.resize(buffer.size() * 2);
  }
  std::string dir(buffer.data());
  if (dir.empty() || dir.back() != '/') dir += '/';
  return dir;
}

}  // namespace qxr
