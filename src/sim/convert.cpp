#include "sim/convert.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/catalogue.h"
#include "base/host.h"
#include "base/textio.h"
#include "sim/numtext.h"

namespace qxr {

namespace {

constexpr std::size_t kMaxWordLength = 127;
constexpr std::size_t kMaxKeywordLength = 18;
constexpr int kMaxIoNumber = 32;

// Word lists of the motion codes.
constexpr const char* kRapidLetters = "UXYZ";
constexpr const char* kLinearLetters = "FUXYZ";
constexpr const char* kArcLetters = "FIJKRUXYZ";
constexpr const char* kParameterLetters = "ABCDELOPQR";

char upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }
bool isBlank(char c) { return c == ' ' || c == '\t' || c == '\r'; }
bool contains(const char* letters, char c) { return c != '\0' && std::strchr(letters, c) != nullptr; }
bool isNumberChar(char c) { return (c >= '0' && c <= '9') || c == '+' || c == '-' || c == '.'; }

std::string_view valueOf(const std::string& word) { return std::string_view(word).substr(1); }

// A word value that passed the number check and holds at least one digit.
bool hasDigits(std::string_view value) {
  for (char c : value)
    if (c >= '0' && c <= '9') return true;
  return false;
}

// Integer part of a value, as the usual decimal conversion reads it.
int integerValue(std::string_view value) { return leadingInt(value); }

// Reads a decimal word value; false when the number check fails or the value
// lies beyond the range of a double.
bool readDecimal(std::string_view value, double& out) {
  if (!passesNumberCheck(value)) return false;
  out = decimalValue(value);
  return std::isfinite(out);
}

// The value of the next word when it starts with one of `letters`; the text
// is left as it was otherwise.
bool nextWordIs(std::string_view& text, const char* letters, std::string& word, bool& tooLong) {
  std::string_view rest = text;
  tooLong = false;
  do {
    if (rest.empty()) return false;
    if (!ReadWord(rest, word)) {
      tooLong = true;
      return false;
    }
  } while (word.empty());
  if (!contains(letters, word[0])) return false;
  text = rest;
  return true;
}

// The characters after "REP" up to the next word letter (blanks dropped).
std::string cutValue(std::string_view& text) {
  std::string value;
  std::size_t i = 0;
  for (; i < text.size() && !isWordLetter(text[i]); ++i)
    if (!isBlank(text[i])) value += text[i];
  text.remove_prefix(i);
  return value;
}

// The keyword part of an I/O or header token: its leading characters that
// are not part of a number.
std::size_t keywordLength(std::string_view token) {
  std::size_t n = 0;
  while (n < token.size() && !isNumberChar(token[n])) ++n;
  return n;
}

// "JMP", "LOOP", "CALL", "END": the characters after the token's first letter.
bool tokenContinues(std::string_view token, std::string_view tail) {
  return token.size() > tail.size() && token.substr(1, tail.size()) == tail;
}

// Stores a list word's value in its field and marks it.
void storeListValue(CommandRecord& record, char letter, double value, bool variable) {
  std::uint8_t bit = 0;
  switch (letter) {
    case 'X': record.X = value; bit = kMaskX; break;
    case 'Y': record.Y = value; bit = kMaskY; break;
    case 'Z': record.Z = value; bit = kMaskZ; break;
    case 'U': record.U = value; bit = kMaskU; break;
    case 'I': record.I = value; bit = kMaskI; break;
    case 'J': record.J = value; bit = kMaskJ; break;
    case 'K': record.K = value; bit = kMaskK; break;
    case 'R': record.I = value; bit = kMaskR; break;
    case 'F': record.F = value; break;
    default: break;
  }
  record.MX |= bit;
  if (variable) record.AS |= bit;
}

// What a lenient word list does with a word it cannot take.
using ListWarning = void (*)(void* context, const std::string& word);

// Parses the words of a motion code's list from `text` into `record`. A word
// whose letter is not in the list ends it and stays in the text. With a
// `warn` (the lenient conversion) a malformed value is left out with a
// warning, and a lone letter that is no variable reference ends the list
// unless it is the list's first word.
std::uint8_t parseWordList(std::string_view& text, CommandRecord& record, const char* letters,
                           ListWarning warn = nullptr, void* context = nullptr) {
  std::string word;
  bool first = true;
  while (!text.empty()) {
    const std::string_view before = text;
    if (!ReadWord(text, word)) return kEnoMalformed;
    if (word.empty()) continue;
    const char letter = word[0];
    if (word.size() == 1) {
      // A bare letter introduces a variable reference: letter "=" A-number.
      std::string equals, variable;
      bool reference = ReadWord(text, equals) && equals == "=";
      reference = reference && ReadWord(text, variable) && variable.size() >= 2 && variable[0] == 'A';
      const std::string_view number = reference ? valueOf(variable) : std::string_view();
      reference = reference && passesNumberCheck(number) && hasDigits(number);
      if (!reference) {
        if (warn == nullptr || first) return kEnoMalformed;
        text = before;
        break;
      }
      if (!contains(letters, letter)) {
        text = before;
        break;
      }
      storeListValue(record, letter, integerValue(number), true);
      first = false;
      continue;
    }
    if (!contains(letters, letter)) {
      text = before;
      break;
    }
    first = false;
    double value = 0.0;
    if (!readDecimal(valueOf(word), value)) {
      if (warn == nullptr) return kEnoMalformed;
      warn(context, word);
      continue;
    }
    storeListValue(record, letter, value, false);
  }
  return kEnoOk;
}

const char* lettersOfMotion(int motion) {
  switch (motion) {
    case 0: return kRapidLetters;
    case 1: return kLinearLetters;
    default: return kArcLetters;
  }
}

}  // namespace

bool isWordLetter(char c) { return contains("%()='@/GMSXYZIJKRFNLOUPQ:ABCDE", upper(c)); }

bool passesNumberCheck(std::string_view value) {
  for (char c : value)
    if (!isNumberChar(c)) return false;
  return true;
}

double decimalValue(std::string_view value) {
  std::size_t i = 0;
  while (i < value.size() && isBlank(value[i])) ++i;
  bool negative = false;
  if (i < value.size() && (value[i] == '+' || value[i] == '-')) negative = value[i++] == '-';
  // from_chars would take a second sign; the C library reads none.
  if (i >= value.size() || value[i] == '+' || value[i] == '-') return 0.0;
  double result = 0.0;
  const auto parsed = std::from_chars(value.data() + i, value.data() + value.size(), result,
                                      std::chars_format::fixed);
  if (parsed.ec == std::errc::result_out_of_range) return negative ? -HUGE_VAL : HUGE_VAL;
  if (parsed.ec != std::errc()) return 0.0;
  return negative ? -result : result;
}

bool ReadWord(std::string_view& text, std::string& word) {
  word.clear();
  if (text.empty()) return true;
  std::size_t i = 1;
  if (!isBlank(text[0]) && text[0] != ':') word += upper(text[0]);
  for (; i < text.size(); ++i) {
    const char c = text[i];
    if (isWordLetter(c)) break;  // ":" is one of them
    if (isBlank(c)) continue;
    word += upper(c);
    if (word.size() >= kMaxWordLength) return false;
  }
  text.remove_prefix(i);
  return true;
}

bool ReadToken(std::string_view& text, std::string& token) {
  token.clear();
  std::size_t i = 0;
  while (i < text.size() && isBlank(text[i])) ++i;
  for (; i < text.size() && !isBlank(text[i]) && text[i] != ':'; ++i) {
    token += upper(text[i]);
    if (token.size() > kMaxWordLength) return false;
  }
  while (i < text.size() && isBlank(text[i])) ++i;
  text.remove_prefix(i);
  return true;
}

std::uint8_t CommandTable::AppendRecord(const CommandRecord& record) {
  if (bounded_ && CommandCount() > kMaxRecords) return kEnoTableFull;  // never stores beyond the first refusal
  records_.push_back(record);
  return bounded_ && CommandCount() > kMaxRecords ? kEnoTableFull : kEnoOk;
}

void NcConverter::reset() {
  table_.clear();
  table_.setBounded(!lenient_);
  warnings_.clear();
  ModalMotion = 1;
  ModalFeed = 1.0;
  commentFlag_ = false;
  blockDelete_ = false;
}

void NcConverter::setLenient(bool lenient) {
  lenient_ = lenient;
  table_.setBounded(!lenient_);
}

void NcConverter::warn(int lineIndex, std::string word, std::uint8_t eno) {
  constexpr std::size_t kShownLength = 40;
  if (word.size() > kShownLength) word = word.substr(0, kShownLength) + "...";
  warnings_.push_back({lineIndex, std::move(word), eno});
}

// Leaves out the word at `failedAt` that did not convert and moves `line`
// past it. A "(" without its ")" or a word too long to cut takes the rest
// of the line with it.
std::uint8_t NcConverter::skipRefusedWord(std::string_view& line, std::string_view failedAt, int lineIndex,
                                          std::uint8_t eno) {
  std::string_view rest = failedAt;
  std::string word;
  if (failedAt.front() == '(' || !ReadWord(rest, word)) {
    std::string all;
    for (char c : failedAt)
      if (c != '\r' && c != '\n') all += c;
    warn(lineIndex, all, eno);
    line = std::string_view();
    return kEnoOk;
  }
  warn(lineIndex, word, eno);
  line = rest;
  return kEnoOk;
}

NcConverter::Result NcConverter::ConvertProgram(const std::vector<std::string>& lines) {
  reset();
  Result result;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::uint8_t eno = ConvertLine(lines[i], static_cast<int>(i));
    if (eno != kEnoOk) {
      result.ENO = eno;
      result.EL = static_cast<int>(i) + 1;
      break;
    }
  }
  return result;
}

std::uint8_t NcConverter::ConvertLine(std::string_view line, int lineIndex) {
  commentFlag_ = false;
  blockDelete_ = false;
  currentLine_ = lineIndex;
  while (!line.empty() && line.front() != '\n' && !commentFlag_) {
    const std::string_view before = line;
    const std::uint8_t eno = ConvertWord(line, lineIndex);
    if (eno == kEnoOk) continue;
    if (!lenient_ || eno == kEnoTableFull) return eno;
    skipRefusedWord(line, before, lineIndex, eno);
  }
  return kEnoOk;
}

CommandRecord NcConverter::freshRecord(int lineIndex) const {
  CommandRecord record;
  record.N = lineIndex;
  record.B = lineIndex;
  record.Skip = blockDelete_ ? 1 : 0;
  return record;
}

std::uint8_t NcConverter::ConvertWord(std::string_view& text, int lineIndex) {
  // A comment's text is no word: however long it runs, it cannot fail.
  if (text.front() == '\'') {
    commentFlag_ = true;
    return kEnoOk;
  }
  if (text.front() == '(') {
    const auto close = text.find(')');
    if (close == std::string_view::npos) return kEnoUnknown;
    text.remove_prefix(close + 1);
    return kEnoOk;
  }
  CommandRecord record = freshRecord(lineIndex);
  const std::string_view atWord = text;  // the text from the word's letter on
  std::string word;
  if (!ReadWord(text, word)) return kEnoMalformed;
  if (word.empty()) return kEnoOk;
  const char next = text.empty() ? '\0' : upper(text.front());

  // Keyword tokens start at the word's letter.
  std::string token;
  std::string_view afterToken = atWord;
  const auto keyword = [&](std::string_view tail) {
    afterToken = atWord;
    return ReadToken(afterToken, token) && tokenContinues(token, tail);
  };

  switch (word[0]) {
    case '/':
      blockDelete_ = true;
      return kEnoOk;
    case '%':
      text = atWord;
      return programHeader(text, record);
    case 'G':
      return gWord(word, text, record);
    case 'M':
      return mWord(word, text, record);
    case 'U':
    case 'X':
    case 'Y':
    case 'Z':
      text = atWord;
      return motionList(ModalMotion, text, record);
    case 'I':
      if (next == 'N') {
        text = atWord;
        return ioKeyword(text, record);
      }
      [[fallthrough]];
    case 'J':
      if (keyword("MP")) {
        text = afterToken;
        return flowWords(code::Jump, text, record);
      }
      [[fallthrough]];
    case 'K':
    case 'R':
      if (ModalMotion == 2 || ModalMotion == 3) {
        text = atWord;
        return motionList(ModalMotion, text, record);
      }
      return kEnoOk;
    case 'L':
      if (keyword("OOP")) {
        text = afterToken;
        return flowWords(code::Loop, text, record);
      }
      return lWord(word, text, record);
    case 'C':
      if (keyword("ALL")) {
        text = afterToken;
        return flowWords(code::Call, text, record);
      }
      return kEnoOk;
    case 'E':
      if (keyword("ND")) {
        text = afterToken;
        record.C = code::M02;
        return append(record);
      }
      return kEnoOk;
    case 'D':
    case 'O':
      text = atWord;
      return ioKeyword(text, record);
    case 'F': {
      double value = 0.0;
      if (!readDecimal(valueOf(word), value)) return kEnoMalformed;
      ModalFeed = value;
      record.C = code::Feed;
      record.F = value;
      return append(record);
    }
    case 'S':
      if (!passesNumberCheck(valueOf(word))) return kEnoMalformed;
      record.C = code::Spindle;
      record.X = integerValue(valueOf(word));
      return append(record);
    case '@':
      return atSignWord(word, text, record);
    case 'A':
      return assignment(word, text, record);
    case 'N':
      return kEnoMalformed;  // sequence numbers are not accepted
    default:
      return kEnoOk;  // words without an action are dropped
  }
}

std::uint8_t NcConverter::motionList(int motion, std::string_view& text, CommandRecord& record) {
  const auto warnWord = [](void* self, const std::string& word) {
    auto* converter = static_cast<NcConverter*>(self);
    converter->warn(converter->currentLine_, word, kEnoMalformed);
  };
  const std::uint8_t eno =
      lenient_ ? parseWordList(text, record, lettersOfMotion(motion), warnWord, this)
               : parseWordList(text, record, lettersOfMotion(motion));
  if (eno != kEnoOk) return eno;
  record.C = static_cast<std::uint8_t>(motion);
  if (motion >= 2 && (record.MX & kMaskR)) record.C |= kRadiusFlag;
  return append(record);
}

std::uint8_t NcConverter::gWord(const std::string& word, std::string_view& text, CommandRecord& record) {
  if (!passesNumberCheck(valueOf(word))) return kEnoMalformed;
  const int g = integerValue(valueOf(word));
  switch (g) {
    case 0:
    case 1:
    case 2:
    case 3:
      ModalMotion = g;
      return motionList(g, text, record);
    case 4: {
      record.C = code::G04;
      std::string dwell;
      bool tooLong = false;
      if (nextWordIs(text, "X/", dwell, tooLong)) {
        if (!readDecimal(valueOf(dwell), record.X)) return kEnoMalformed;
      } else {
        if (tooLong) return kEnoMalformed;
        // Only a G04 at the end of the line goes without its value.
        std::string_view rest = text;
        std::string other;
        while (!rest.empty()) {
          if (!ReadWord(rest, other)) return kEnoMalformed;
          if (!other.empty()) return kEnoMalformed;
        }
        text = rest;
      }
      return append(record);
    }
    case 7:
    case 8:
    case 17:
    case 18:
    case 19:
    case 20:
    case 21:
    case 26:
    case 27:
    case 28:
    case 50:
    case 90:
    case 91:
      record.C = static_cast<std::uint8_t>((g / 10) * 16 + g % 10);
      return append(record);
    case 92: {
      const std::uint8_t eno = parseWordList(text, record, kRapidLetters);
      if (eno != kEnoOk) return eno;
      record.C = code::G92;
      return append(record);
    }
    default:
      break;
  }
  if (g >= 60 && g <= 67) {
    std::string parameter;
    bool tooLong = false;
    while (nextWordIs(text, kParameterLetters, parameter, tooLong)) {
      if (!readDecimal(valueOf(parameter), record.X)) return kEnoMalformed;
      record.AS = static_cast<std::uint8_t>(parameter[0]);
    }
    if (tooLong) return kEnoMalformed;
    record.C = static_cast<std::uint8_t>(0x60 + (g - 60));
    return append(record);
  }
  return kEnoUnknown;
}

std::uint8_t NcConverter::mWord(const std::string& word, std::string_view& text, CommandRecord& record) {
  if (!passesNumberCheck(valueOf(word))) return kEnoUnknown;
  switch (integerValue(valueOf(word))) {
    case 0: record.C = code::M00; break;
    case 2: record.C = code::M02; break;
    case 3: record.C = code::M03; break;
    case 4: record.C = code::M04; break;
    case 30: record.C = code::M30; break;
    case 95: record.C = code::M95; break;
    case 99: record.C = code::M99; break;
    case 96: return flowWords(code::Jump, text, record);
    case 97: return flowWords(code::Loop, text, record);
    case 98: return flowWords(code::Call, text, record);
    default: return kEnoUnknown;
  }
  return append(record);
}

std::uint8_t NcConverter::flowWords(std::uint8_t flowCode, std::string_view& text, CommandRecord& record) {
  std::string word;
  while (!text.empty()) {
    const std::string_view before = text;
    if (!ReadWord(text, word)) return kEnoMalformed;
    if (word.empty()) continue;
    std::string value;
    if (word[0] == 'N' || word[0] == 'L') {
      value = std::string(valueOf(word));
    } else if (word == "R") {
      // REP and its count: the E and P are word letters of their own.
      if (text.size() < 2 || upper(text[0]) != 'E' || upper(text[1]) != 'P') return kEnoMalformed;
      text.remove_prefix(2);
      value = cutValue(text);
    } else if (word[0] == 'R') {
      return kEnoMalformed;
    } else {
      text = before;
      break;
    }
    if (!passesNumberCheck(value)) return kEnoMalformed;
    if (word[0] == 'N') {
      record.X = integerValue(value);
    } else {
      record.Y = record.Z = integerValue(value);
    }
  }
  if ((flowCode == code::Loop || flowCode == code::Call) && record.Y == 0.0) record.Y = record.Z = 1.0;
  record.C = flowCode;
  return append(record);
}

std::uint8_t NcConverter::ioKeyword(std::string_view& text, CommandRecord& record) {
  std::string token;
  if (!ReadToken(text, token)) return kEnoMalformed;
  const std::size_t length = keywordLength(token);
  if (length > kMaxKeywordLength) return kEnoMalformed;
  const std::string_view name = std::string_view(token).substr(0, length);
  const std::string_view number = std::string_view(token).substr(length);
  if (name == "DIH" || name == "INH") {
    record.C = code::Input;
    record.Y = 1.0;
  } else if (name == "DIL" || name == "INL") {
    record.C = code::Input;
  } else if (name == "DOH" || name == "ON") {
    record.C = code::Output;
    record.Y = 1.0;
  } else if (name == "DOL" || name == "OFF") {
    record.C = code::Output;
  } else {
    return kEnoUnknown;
  }
  if (!passesNumberCheck(number)) return kEnoMalformed;
  const int io = integerValue(number);
  if (io > kMaxIoNumber) return kEnoMalformed;
  record.X = io;
  return append(record);
}

std::uint8_t NcConverter::programHeader(std::string_view& text, CommandRecord& record) {
  std::string token;
  if (!ReadToken(text, token)) return kEnoMalformed;
  const std::size_t length = keywordLength(token);
  if (length > kMaxKeywordLength) return kEnoUnknown;
  const std::string_view name = std::string_view(token).substr(0, length);
  if (name == "%MPF") {
    record.C = code::MainProgram;
  } else if (name == "%SPF") {
    record.C = code::SubProgram;
  } else {
    return kEnoUnknown;
  }
  // The number is the next token ("%MPF 12"), or follows the keyword directly.
  std::string_view number = std::string_view(token).substr(length);
  std::string next;
  if (number.empty()) {
    if (!ReadToken(text, next)) return kEnoMalformed;
    number = next;
  }
  record.X = integerValue(number);
  return append(record);
}

std::uint8_t NcConverter::atSignWord(const std::string& word, std::string_view& text, CommandRecord& record) {
  if (!passesNumberCheck(valueOf(word))) return kEnoMalformed;
  record.C = code::At;
  record.X = integerValue(valueOf(word));
  double* const slots[] = {&record.Y, &record.Z, &record.I, &record.J};
  std::string value;
  bool tooLong = false;
  for (double* slot : slots) {
    if (!nextWordIs(text, "A", value, tooLong)) break;
    if (!readDecimal(valueOf(value), *slot)) return kEnoMalformed;
  }
  if (tooLong) return kEnoMalformed;
  return append(record);
}

std::uint8_t NcConverter::assignment(const std::string& word, std::string_view& text, CommandRecord& record) {
  if (!passesNumberCheck(valueOf(word))) return kEnoMalformed;
  record.C = code::Assign;
  record.X = integerValue(valueOf(word));
  std::string value;
  bool tooLong = false;
  if (!nextWordIs(text, "=", value, tooLong)) return kEnoMalformed;
  const std::string_view number = valueOf(value);
  if (!hasDigits(number) || !readDecimal(number, record.Y)) return kEnoMalformed;
  return append(record);
}

std::uint8_t NcConverter::lWord(const std::string& word, std::string_view& text, CommandRecord& record) {
  if (!passesNumberCheck(valueOf(word))) return kEnoMalformed;
  std::string p;
  bool tooLong = false;
  if (!nextWordIs(text, "P", p, tooLong) || !passesNumberCheck(valueOf(p))) return kEnoMalformed;
  record.C = code::LWord;
  record.X = integerValue(valueOf(word));
  record.Y = record.Z = integerValue(valueOf(p));
  return append(record);
}

std::string formatConversionDump(const CommandTable& table, const NcConverter::Result& result) {
  std::string dump;
  char head[64];
  if (!result.ok()) {
    std::snprintf(head, sizeof head, "ENO=%2x   EL=%4d\r\n", result.ENO, result.EL);
    dump += head;
  }
  for (const CommandRecord& r : table.records()) {
    std::snprintf(head, sizeof head, "N%04d C=%2x AS=%2x MX=%2x", r.N + 1, r.C, r.AS, r.MX);
    dump += head;
    dump += " X=" + formatFixed(r.X, 10, 3);
    dump += " Y=" + formatFixed(r.Y, 10, 3);
    dump += " Z=" + formatFixed(r.Z, 10, 3);
    dump += " I=" + formatFixed(r.I, 10, 3);
    dump += " J=" + formatFixed(r.J, 10, 3);
    dump += " F=" + formatFixed(r.F, 10, 3);
    std::snprintf(head, sizeof head, " B%04d\r\n", r.B + 1);
    dump += head;
  }
  return dump;
}

std::string conversionFailureLine(const MessageCatalogue& catalogue, const NcConverter::Result& result) {
  char where[32];
  std::snprintf(where, sizeof where, "  On Line:N%04d", result.EL);
  return catalogue.text(result.ENO - 5) + where;
}

LenientConversion convertLeniently(const std::vector<std::string>& lines) {
  NcConverter converter;
  converter.setLenient(true);
  converter.table().reserve(lines.size());
  converter.ConvertProgram(lines);
  LenientConversion outcome;
  outcome.table = std::move(converter.table());
  outcome.warnings = converter.warnings();
  return outcome;
}

SimulatorConversion convertForSimulator(NcConverter& converter, const std::vector<std::string>& lines,
                                        const std::string& dumpPath, const MessageCatalogue& catalogue,
                                        LinkHost& host) {
  SimulatorConversion outcome;
  if (lines.empty()) {
    outcome.emptyProgram = true;
    host.appendPageLine(kProgramPage, catalogue.text(msg::kNothingToSimulate));
    host.beep();
    return outcome;
  }
  outcome.result = converter.ConvertProgram(lines);
  if (!dumpPath.empty()) {
    outcome.dumpError = saveFile(dumpPath, formatConversionDump(converter.table(), outcome.result));
    outcome.dumpWritten = outcome.dumpError == FileError::kNone;
  }
  if (!outcome.result.ok()) {
    host.appendPageLine(kProgramPage, conversionFailureLine(catalogue, outcome.result));
    host.beep();
  }
  return outcome;
}

}  // namespace qxr
