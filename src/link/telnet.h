#pragma once
// Telnet with COM-port control (RFC 854, 855, 2217) as the client side of a
// serial device server sees it: a streaming decoder that keeps every command
// out of the data, answers the server's option negotiation, and the frames
// that set the far port's line.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace qxr::telnet {

inline constexpr unsigned char IAC = 255, DONT = 254, DO = 253, WONT = 252, WILL = 251, SB = 250,
                               SE = 240;
// Commands are 240 (SE) to 255 (IAC); any lower byte after an IAC is none.
inline constexpr unsigned char kFirstCommand = SE;
inline constexpr unsigned char kOptBinary = 0, kOptEcho = 1, kOptSuppressGoAhead = 3, kOptComPort = 44;

// COM-PORT-OPTION commands sent by the client; the server answers each with
// the same command plus 100.
inline constexpr unsigned char kSetBaudRate = 1, kSetDataSize = 2, kSetParity = 3, kSetStopSize = 4,
                               kSetControl = 5, kPurgeData = 12;
inline constexpr unsigned char kServerReply = 100;
// SET-CONTROL values.
inline constexpr unsigned char kBreakOn = 5, kBreakOff = 6, kDtrOn = 8, kDtrOff = 9, kRtsOn = 11,
                               kRtsOff = 12;
// SET-PARITY values and SET-STOPSIZE values.
inline constexpr unsigned char kParityNone = 1, kParityOdd = 2, kParityEven = 3, kParityMark = 4,
                               kParitySpace = 5;
inline constexpr unsigned char kStopOne = 1, kStopTwo = 2, kStopOneAndHalf = 3;

// A subnegotiation longer than this is cut; the server's COM-PORT answers are
// a few bytes.
inline constexpr std::size_t kMaxSubnegotiation = 64;

// The data with every IAC doubled, as it goes to the server.
std::string escape(std::string_view data);

// IAC SB COM-PORT-OPTION command value... IAC SE, with IAC doubled inside.
std::string comPortCommand(unsigned char command, std::string_view value);
std::string setBaudRate(std::uint32_t bitsPerSecond);
std::string setByteOption(unsigned char command, unsigned char value);

// What the client asks for when it connects: binary both ways, no go-ahead,
// and COM-PORT control.
std::string clientGreeting();

// Reads the server's byte stream in pieces of any size: data bytes go to
// `data`, answers to the server's negotiation go to `answer` (to be sent),
// and the server's COM-PORT answers are remembered. A command may be split
// across any number of pieces.
class Decoder {
 public:
  Decoder();
  void feed(const unsigned char* bytes, std::size_t count, std::string& data, std::string& answer);

  // Marks the options the greeting asked for as requested, so that the
  // server's agreement is not answered again.
  void noteGreetingSent();

  // The server agreed to COM-PORT control (DO COM-PORT-OPTION) / refused it.
  bool comPortAgreed() const { return usEnabled_[kOptComPort]; }
  bool comPortRefused() const { return comPortRefused_; }
  // Bit n set: the server has answered COM-PORT command n (1..31).
  std::uint32_t comPortAnswers() const { return comPortAnswers_; }
  // The last line speed the server reported, 0 before any.
  std::uint32_t reportedBaudRate() const { return reportedBaud_; }
  // The value of the server's last answer to a one-byte COM-PORT command
  // (data size, parity, stop size), 0 before any.
  unsigned char reportedValue(unsigned char command) const { return command < 32 ? reportedByte_[command] : 0; }
  // An IAC was followed by a byte that is no Telnet command: line noise
  // (a lone 0xFF among the data), not a command to drop with the byte after it.
  bool strayIac() const { return strayIac_; }
  void clearStrayIac() { strayIac_ = false; }

 private:
  enum class State { Data, Iac, Verb, Sub, SubIac };
  void negotiate(unsigned char verb, unsigned char option, std::string& answer);
  void subnegotiation();
  static bool acceptHim(unsigned char option);
  static bool acceptUs(unsigned char option);

  State state_ = State::Data;
  unsigned char verb_ = 0;
  std::string sub_;
  bool subOverflow_ = false;
  // Per option: enabled on each side, and whether we asked for it.
  bool usEnabled_[256];
  bool usRequested_[256];
  bool himEnabled_[256];
  bool himRequested_[256];
  bool comPortRefused_ = false;
  std::uint32_t comPortAnswers_ = 0;
  std::uint32_t reportedBaud_ = 0;
  unsigned char reportedByte_[32] = {};
  bool strayIac_ = false;
};

}  // namespace qxr::telnet
