#include "link/telnet.h"

#include <algorithm>

namespace qxr::telnet {

std::string escape(std::string_view data) {
  std::string out;
  out.reserve(data.size() + 4);
  for (char c : data) {
    out += c;
    if (static_cast<unsigned char>(c) == IAC) out += static_cast<char>(IAC);
  }
  return out;
}

std::string comPortCommand(unsigned char command, std::string_view value) {
  std::string out{static_cast<char>(IAC), static_cast<char>(SB), static_cast<char>(kOptComPort),
                  static_cast<char>(command)};
  out += escape(value);
  out += static_cast<char>(IAC);
  out += static_cast<char>(SE);
  return out;
}

std::string setBaudRate(std::uint32_t bitsPerSecond) {
  const char value[4] = {static_cast<char>(bitsPerSecond >> 24), static_cast<char>(bitsPerSecond >> 16),
                         static_cast<char>(bitsPerSecond >> 8), static_cast<char>(bitsPerSecond)};
  return comPortCommand(kSetBaudRate, std::string_view(value, 4));
}

std::string setByteOption(unsigned char command, unsigned char value) {
  const char byte = static_cast<char>(value);
  return comPortCommand(command, std::string_view(&byte, 1));
}

namespace {
std::string verbFrame(unsigned char verb, unsigned char option) {
  return {static_cast<char>(IAC), static_cast<char>(verb), static_cast<char>(option)};
}
}  // namespace

std::string clientGreeting() {
  return verbFrame(WILL, kOptBinary) + verbFrame(DO, kOptBinary) + verbFrame(WILL, kOptSuppressGoAhead) +
         verbFrame(DO, kOptSuppressGoAhead) + verbFrame(WILL, kOptComPort);
}

Decoder::Decoder() {
  std::fill(std::begin(usEnabled_), std::end(usEnabled_), false);
  std::fill(std::begin(usRequested_), std::end(usRequested_), false);
  std::fill(std::begin(himEnabled_), std::end(himEnabled_), false);
  std::fill(std::begin(himRequested_), std::end(himRequested_), false);
}

void Decoder::noteGreetingSent() {
  usRequested_[kOptBinary] = usRequested_[kOptSuppressGoAhead] = usRequested_[kOptComPort] = true;
  himRequested_[kOptBinary] = himRequested_[kOptSuppressGoAhead] = true;
}

bool Decoder::acceptHim(unsigned char option) {
  return option == kOptBinary || option == kOptSuppressGoAhead;
}

bool Decoder::acceptUs(unsigned char option) {
  return option == kOptBinary || option == kOptSuppressGoAhead || option == kOptComPort;
}

// One answer per change of state, none to an agreement we asked for, so two
// sides that both answer everything cannot loop.
void Decoder::negotiate(unsigned char verb, unsigned char option, std::string& answer) {
  switch (verb) {
    case WILL:
      if (himEnabled_[option]) break;
      if (acceptHim(option)) {
        himEnabled_[option] = true;
        if (!himRequested_[option]) answer += verbFrame(DO, option);
      } else if (!himRequested_[option]) {
        answer += verbFrame(DONT, option);
      }
      himRequested_[option] = false;
      break;
    case WONT:
      if (himEnabled_[option] && !himRequested_[option]) answer += verbFrame(DONT, option);
      himEnabled_[option] = false;
      himRequested_[option] = false;
      break;
    case DO:
      if (usEnabled_[option]) break;
      if (acceptUs(option)) {
        usEnabled_[option] = true;
        if (!usRequested_[option]) answer += verbFrame(WILL, option);
      } else {
        answer += verbFrame(WONT, option);
      }
      usRequested_[option] = false;
      break;
    case DONT:
      if (usEnabled_[option] && !usRequested_[option]) answer += verbFrame(WONT, option);
      if ((usEnabled_[option] || usRequested_[option]) && option == kOptComPort) comPortRefused_ = true;
      usEnabled_[option] = false;
      usRequested_[option] = false;
      break;
    default:
      break;
  }
}

void Decoder::subnegotiation() {
  if (subOverflow_ || sub_.size() < 2 || static_cast<unsigned char>(sub_[0]) != kOptComPort) return;
  const auto command = static_cast<unsigned char>(sub_[1]);
  if (command < kServerReply || command >= kServerReply + 32) return;
  comPortAnswers_ |= 1u << (command - kServerReply);
  if (sub_.size() == 3 && command - kServerReply < 32)
    reportedByte_[command - kServerReply] = static_cast<unsigned char>(sub_[2]);
  if (command == kServerReply + kSetBaudRate && sub_.size() >= 6) {
    reportedBaud_ = 0;
    for (int i = 2; i < 6; ++i) reportedBaud_ = (reportedBaud_ << 8) | static_cast<unsigned char>(sub_[i]);
  }
}

void Decoder::feed(const unsigned char* bytes, std::size_t count, std::string& data, std::string& answer) {
  for (std::size_t i = 0; i < count; ++i) {
    const unsigned char byte = bytes[i];
    switch (state_) {
      case State::Data:
        if (byte == IAC) state_ = State::Iac;
        else data += static_cast<char>(byte);
        break;
      case State::SubIac:
        if (byte == SE) {
          subnegotiation();
          state_ = State::Data;
          break;
        }
        if (byte == IAC) {
          if (sub_.size() < kMaxSubnegotiation) sub_ += static_cast<char>(IAC);
          else subOverflow_ = true;
          state_ = State::Sub;
          break;
        }
        // An unterminated subnegotiation: drop it and read the byte as the
        // command that follows an IAC.
        [[fallthrough]];
      case State::Iac:
        state_ = State::Data;
        if (byte == IAC) {
          data += static_cast<char>(IAC);
        } else if (byte == WILL || byte == WONT || byte == DO || byte == DONT) {
          verb_ = byte;
          state_ = State::Verb;
        } else if (byte == SB) {
          sub_.clear();
          subOverflow_ = false;
          state_ = State::Sub;
        } else if (byte < kFirstCommand) {
          // No command: the IAC came alone. The byte after it is data, and
          // the IAC is line noise that the exchange must not lose silently.
          strayIac_ = true;
          data += static_cast<char>(byte);
        }
        // Every other command (NOP, GA, AYT, a stray SE ...) carries no data.
        break;
      case State::Verb:
        negotiate(verb_, byte, answer);
        state_ = State::Data;
        break;
      case State::Sub:
        if (byte == IAC) state_ = State::SubIac;
        else if (sub_.size() < kMaxSubnegotiation) sub_ += static_cast<char>(byte);
        else subOverflow_ = true;
        break;
    }
  }
}

}  // namespace qxr::telnet
