#pragma once
// The emulated controller: cuts the PC's bytes into frames and answers each
// as a controller of the QXR series would. It shares only the frame
// vocabulary with the PC side, never its exchange code, so that a mistake on
// either side shows up as a disagreement on the wire.
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qxremu {

struct Program {
  std::string name;                // X02 generation only
  std::vector<std::string> lines;  // as on the wire, "N<k> <text>", without CR LF
};

struct Config {
  int model = 102;
  bool namedPrograms = true;  // the X02 generation keeps a name per program
  std::string designation;    // the model reply's text (between STX and ETX)
  std::string versionText;    // the version reply's text
  std::string storeDir;       // mirror of what the controller holds ("" = none)

  // Faults.
  long silentAfter = -1;  // stop answering after this many frames
  long hangupAfter = -1;  // close the line after answering this many frames
  std::vector<std::string> refused;  // frame contents answered with the refusal line ("X*" = prefix)
  std::vector<long> refusedAt;        // frame numbers (from 1) answered with the refusal line
  std::vector<long> droppedAt;        // frame numbers (from 1) missed: no answer, no effect
  long silentAfterReplies = -1;       // send this many replies, then no more
  long hangupAfterReplies = -1;       // close the line once this many replies are out
  bool garbage = false;   // every reply replaced by garbage bytes
  bool overlong = false;  // every reply preceded by 100 bytes without a line end
  std::vector<long> noiseAt;  // replies (from 1) preceded by a burst of line noise
  bool noise = false;         // the line carries noise all the time (see noiseBytes)
  std::vector<long> nulAt;    // replies (from 1) with a NUL byte in their middle
  bool echo = false;          // a loopback: every byte goes straight back, nothing answers

  // Behaviours a controller may have, within the protocol.
  bool attentionAck = false;  // answers the attention frame with the acknowledge line
  bool crCrLf = false;        // ends its lines with CR CR LF
  bool nulPadding = false;    // pads the text of its lines with NUL bytes before the line end
  bool echoData = false;      // consents to numbers, names, lines and values by repeating them
};

// The PC takes a reply of at most this many bytes; a longer program line
// reaches it in pieces, each acknowledged.
inline constexpr std::size_t kReplyPiece = 75;

// `count` bytes of line noise: random bytes; with `manyLineEnds` one in eight
// is a line end, so that a burst falls into many short "replies". The same
// bytes for the same seed.
std::string noiseBytes(std::size_t count, unsigned& seed, bool manyLineEnds);

class Controller {
 public:
  explicit Controller(Config config);

  // Bytes from the PC. Replies are appended to the output.
  void receive(std::string_view bytes);
  // Replies not yet written to the line, in order.
  std::string takeOutput();
  // The configured hang-up point has been reached.
  bool hangupDue() const { return hangupDue_; }

  // Called with every frame received ("in") and every reply sent ("out").
  std::function<void(const char* direction, std::string_view bytes)> onTraffic;
  // A note for the log (faults, rejected records).
  std::function<void(const std::string& note)> onNote;

  // What the controller holds.
  std::map<int, Program> programs;
  std::vector<std::pair<std::string, std::string>> parameters;  // number text, value text
  std::vector<std::string> plcRecords;                          // hex data of each record

  // Writes everything held to the store directory.
  void saveAll();

 private:
  enum class State {
    Idle,
    LookUpNumber,
    Output,
    DeleteNumber,
    DeleteName,
    StoreNumber,
    StoreName,
    StoreLines,
    ParameterWrite,
    ParameterRead,
    ParameterValue,
    PlcWrite,
  };

  void frame(const std::string& bytes);
  void lineFrame(const std::string& bytes, const std::string& content);
  void stxFrame(const std::string& content);
  void plcRecord(const std::string& content);
  void reply(std::string bytes);
  // Consent to a data frame: the acknowledge line, or the frame repeated.
  void consent(const std::string& frame);
  void note(const std::string& text);
  bool isRefused(const std::string& content) const;
  std::optional<int> programNumber(const std::string& content) const;
  std::string parameterValue(const std::string& number) const;
  void setParameter(const std::string& number, const std::string& value);
  std::vector<std::string> plcData() const;

  void saveProgram(int number);
  void appendProgramLine(int number, const std::string& line);
  void removeProgram(int number);
  void saveParameters();
  void savePlc();

  Config config_;
  State state_ = State::Idle;
  std::string pending_;
  std::string output_;
  long frames_ = 0;
  long replies_ = 0;
  bool hangupDue_ = false;

  int current_ = 0;                  // program of the running look-up, delete or store
  std::vector<std::string> outputQueue_;  // what the next acknowledgements fetch
  std::size_t pieceAcks_ = 0;             // acknowledgements of the pieces of the last long line
  std::string parameterNumber_;
  std::vector<std::string> incomingRecords_;
  bool plcFault_ = false;
  unsigned noiseSeed_ = 12345;
};

// Program files as the PC writes them: the number, the name (X02 only), then
// the program lines. nullopt when the file cannot be read or has no number.
std::optional<std::pair<int, Program>> readProgramFile(const std::string& path, bool named);

}  // namespace qxremu
