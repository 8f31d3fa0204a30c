#pragma once
// NC block conversion: the program text becomes a table of command records,
// one per executable word group, which the simulator's interpreter runs.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "base/fileio.h"

namespace qxr {

class LinkHost;
class MessageCatalogue;

// Masks of the words given (`MX`) and of the words given as variable
// references (`AS`).
inline constexpr std::uint8_t kMaskX = 0x01;
inline constexpr std::uint8_t kMaskY = 0x02;
inline constexpr std::uint8_t kMaskZ = 0x04;
inline constexpr std::uint8_t kMaskU = 0x08;
inline constexpr std::uint8_t kMaskI = 0x10;
inline constexpr std::uint8_t kMaskJ = 0x20;
inline constexpr std::uint8_t kMaskK = 0x40;
inline constexpr std::uint8_t kMaskR = 0x80;

// An arc given with R instead of I, J, K carries this flag in its code.
inline constexpr std::uint8_t kRadiusFlag = 0x80;

// Command codes (`C`). G and M words carry their decimal number written as
// two hexadecimal digits, except for the M codes below.
namespace code {
inline constexpr std::uint8_t G00 = 0x00, G01 = 0x01, G02 = 0x02, G03 = 0x03, G04 = 0x04;
inline constexpr std::uint8_t G02R = G02 | kRadiusFlag, G03R = G03 | kRadiusFlag;  // arcs given with R
inline constexpr std::uint8_t G17 = 0x17, G18 = 0x18, G19 = 0x19, G28 = 0x28;
inline constexpr std::uint8_t G90 = 0x90, G91 = 0x91, G92 = 0x92;
inline constexpr std::uint8_t MainProgram = 0x2A, SubProgram = 0x2B;  // "%MPF", "%SPF"
inline constexpr std::uint8_t M00 = 0x30, M02 = 0x32, M03 = 0x33, M04 = 0x34, M30 = 0x3A;
inline constexpr std::uint8_t M95 = 0x95, M99 = 0x99;
inline constexpr std::uint8_t Jump = 0x96, Loop = 0x97, Call = 0x98;  // JMP/M96, LOOP/M97, CALL/M98
inline constexpr std::uint8_t At = 0x40;        // "@" word
inline constexpr std::uint8_t Assign = 0xAA;    // A variable assignment
inline constexpr std::uint8_t Feed = 0x80;      // F word alone
inline constexpr std::uint8_t LWord = 0x84;     // L word with P
inline constexpr std::uint8_t Input = 0x8A;     // input wait keyword
inline constexpr std::uint8_t Output = 0x8B;    // output keyword
inline constexpr std::uint8_t Spindle = 0x8F;   // S word
}  // namespace code

// An arc code given with R (G02R, G03R).
inline constexpr bool givenWithRadius(std::uint8_t c) { return c == code::G02R || c == code::G03R; }
// The motion of an arc code whether given with R or not: G02 or G03.
inline constexpr std::uint8_t arcMotion(std::uint8_t c) { return c & static_cast<std::uint8_t>(~kRadiusFlag); }

// Conversion status (ENO).
inline constexpr std::uint8_t kEnoOk = 0xF0;
inline constexpr std::uint8_t kEnoTableFull = 0xFC;
inline constexpr std::uint8_t kEnoUnknown = 0xFD;    // unrecognised code or keyword, "(" without ")"
inline constexpr std::uint8_t kEnoMalformed = 0xFE;  // bad number, missing or wrong word, word too long

struct CommandRecord {
  std::uint8_t C = 0;
  std::uint8_t AS = 0;
  std::uint8_t MX = 0;
  double X = 0.0, Y = 0.0, Z = 0.0, U = 0.0;
  double I = 0.0, J = 0.0, K = 0.0;
  double F = 0.0;
  std::int32_t N = 0;  // 0-based index of the program line that produced the record
  std::int32_t B = 0;  // copy of N, shown in the dump
  std::uint8_t Skip = 0;
};

class CommandTable {
 public:
  // A program converts with at most this many records; the next append
  // reports a full table.
  static constexpr int kMaxRecords = 5998;

  int CommandCount() const { return static_cast<int>(records_.size()); }
  bool empty() const { return records_.empty(); }
  CommandRecord& operator[](int index) { return records_[static_cast<std::size_t>(index)]; }
  const CommandRecord& operator[](int index) const { return records_[static_cast<std::size_t>(index)]; }
  const std::vector<CommandRecord>& records() const { return records_; }

  // Stores the record; kEnoTableFull once the count passes kMaxRecords
  // (never for an unbounded table, which holds a program of any length).
  std::uint8_t AppendRecord(const CommandRecord& record);
  void clear() { records_.clear(); }
  void reserve(std::size_t count) { records_.reserve(count); }
  void setBounded(bool bounded) { bounded_ = bounded; }
  bool bounded() const { return bounded_; }

 private:
  std::vector<CommandRecord> records_;
  bool bounded_ = true;
};

// A word the lenient conversion left out: the 0-based line, the word as it
// was cut (upper-cased) and the status the strict conversion stops with.
struct ConversionWarning {
  int line = 0;
  std::string word;
  std::uint8_t ENO = kEnoUnknown;
};

// Cuts the next word off `text`: the first character always goes; then
// everything up to the next word letter, ":" or the end. Blanks and ":" are
// dropped, letters upper-cased. False when the word grows to 127 characters.
bool ReadWord(std::string_view& text, std::string& word);

// Skips blanks, cuts the token up to a blank, ":" or the end (upper-cased),
// and skips the blanks after it. False when the token exceeds 127 characters.
bool ReadToken(std::string_view& text, std::string& token);

// True for the characters that start a new word.
bool isWordLetter(char c);

// The value part of a word may hold only digits, "+", "-" and ".".
bool passesNumberCheck(std::string_view value);

// Decimal value as the C library reads it (leading sign, digits, point),
// independent of the locale; 0 without digits.
double decimalValue(std::string_view value);

// The converter with its state (table, modal values, per-line flags).
class NcConverter {
 public:
  struct Result {
    std::uint8_t ENO = kEnoOk;
    int EL = 0;  // 1-based line of the failure, 0 on success
    bool ok() const { return ENO == kEnoOk; }
  };

  // Resets the state and converts the lines in order, stopping at the first
  // line that does not convert.
  Result ConvertProgram(const std::vector<std::string>& lines);

  std::uint8_t ConvertLine(std::string_view line, int lineIndex);
  // Converts the word group at the head of `text` and leaves the rest in it.
  std::uint8_t ConvertWord(std::string_view& text, int lineIndex);

  void reset();

  // Lenient: a word the conversion refuses (an unknown code such as G54, an
  // O-word program number, a sequence number, a malformed value) is left out
  // with a warning instead of stopping the conversion, and the table takes
  // any number of records. For the tool-path preview; the simulator's run
  // converts strictly.
  void setLenient(bool lenient);
  bool lenient() const { return lenient_; }
  const std::vector<ConversionWarning>& warnings() const { return warnings_; }

  CommandTable& table() { return table_; }
  const CommandTable& table() const { return table_; }

  int ModalMotion = 1;     // 0-3: the last of G00, G01, G02, G03
  double ModalFeed = 1.0;  // the last F word of its own

 private:
  CommandRecord freshRecord(int lineIndex) const;
  std::uint8_t append(const CommandRecord& record) { return table_.AppendRecord(record); }
  std::uint8_t motionList(int motion, std::string_view& text, CommandRecord& record);
  std::uint8_t gWord(const std::string& word, std::string_view& text, CommandRecord& record);
  std::uint8_t mWord(const std::string& word, std::string_view& text, CommandRecord& record);
  std::uint8_t flowWords(std::uint8_t flowCode, std::string_view& text, CommandRecord& record);
  std::uint8_t ioKeyword(std::string_view& text, CommandRecord& record);
  std::uint8_t programHeader(std::string_view& text, CommandRecord& record);
  std::uint8_t atSignWord(const std::string& word, std::string_view& text, CommandRecord& record);
  std::uint8_t assignment(const std::string& word, std::string_view& text, CommandRecord& record);
  std::uint8_t lWord(const std::string& word, std::string_view& text, CommandRecord& record);

  std::uint8_t skipRefusedWord(std::string_view& line, std::string_view failedAt, int lineIndex, std::uint8_t eno);
  void warn(int lineIndex, std::string word, std::uint8_t eno);

  CommandTable table_;
  bool commentFlag_ = false;
  bool blockDelete_ = false;
  bool lenient_ = false;
  int currentLine_ = 0;
  std::vector<ConversionWarning> warnings_;
};

// "Test.TXT": the "ENO=" line after a failure, then one line per record.
std::string formatConversionDump(const CommandTable& table, const NcConverter::Result& result);

// The page line of a failed conversion: catalogue message ENO - 5 and the line.
std::string conversionFailureLine(const MessageCatalogue& catalogue, const NcConverter::Result& result);

// The lenient conversion of a whole program (see NcConverter::setLenient).
struct LenientConversion {
  CommandTable table;
  std::vector<ConversionWarning> warnings;
};
LenientConversion convertLeniently(const std::vector<std::string>& lines);

// The simulator command's conversion of the program's lines: converts them,
// writes the dump to `dumpPath` (unless it is empty), and on failure reports
// on the program page with a beep. An empty program reports catalogue
// message 198 and writes nothing. ok(): the simulator may open.
struct SimulatorConversion {
  NcConverter::Result result;
  bool emptyProgram = false;
  bool dumpWritten = false;
  FileError dumpError = FileError::kNone;  // why the dump was not written
  bool ok() const { return !emptyProgram && result.ok(); }
};
SimulatorConversion convertForSimulator(NcConverter& converter, const std::vector<std::string>& lines,
                                        const std::string& dumpPath, const MessageCatalogue& catalogue,
                                        LinkHost& host);

}  // namespace qxr
