// The Telnet side of RFC 2217 ports: the streaming decoder (data, commands,
// negotiation answers, COM-PORT answers) fed whole and cut at every place,
// escaping, the line-setting frames; network port names and their binding
// in the start directory.
#include <gtest/gtest.h>

#include <filesystem>

#include "link/netport.h"
#include "link/portname.h"
#include "link/telnet.h"
#include "support/tempdir.h"

namespace qxr {
namespace {

namespace tn = telnet;

std::string bytes(std::initializer_list<int> list) {
  std::string out;
  for (int b : list) out += static_cast<char>(b);
  return out;
}

struct DecoderCase {
  const char* name;
  bool greeted;        // the client's greeting went out first
  std::string input;   // the server's stream
  std::string data;    // what reaches the receive buffer
  std::string answer;  // what the client sends back
  bool comPortAgreed = false;
  bool comPortRefused = false;
  std::uint32_t baud = 0;
};

const std::vector<DecoderCase>& decoderCases() {
  using namespace tn;
  static const std::vector<DecoderCase> cases = {
      {"plain data", true, "N1 G00\r\n\x06", "N1 G00\r\n\x06", ""},
      {"a doubled IAC is one data byte", true, bytes({'A', IAC, IAC, 'B', IAC, IAC}), bytes({'A', 0xFF, 'B', 0xFF}), ""},
      {"DO BINARY unasked is agreed", false, bytes({IAC, DO, kOptBinary}), "", bytes({IAC, WILL, kOptBinary})},
      {"WILL SGA unasked is agreed", false, bytes({IAC, WILL, kOptSuppressGoAhead}), "",
       bytes({IAC, DO, kOptSuppressGoAhead})},
      {"WILL ECHO is refused", true, bytes({IAC, WILL, kOptEcho}), "", bytes({IAC, DONT, kOptEcho})},
      {"DO of an unknown option is refused", true, bytes({IAC, DO, 24, 'x'}), "x", bytes({IAC, WONT, 24})},
      {"agreement to what the greeting asked needs no answer", true,
       bytes({IAC, WILL, kOptBinary, IAC, DO, kOptBinary, IAC, WILL, kOptSuppressGoAhead, IAC, DO, kOptComPort}), "",
       "", true},
      {"a repeated agreement is not answered again", false,
       bytes({IAC, DO, kOptSuppressGoAhead, IAC, DO, kOptSuppressGoAhead}), "", bytes({IAC, WILL, kOptSuppressGoAhead})},
      {"DONT COM-PORT refuses the line control", true, bytes({IAC, DONT, kOptComPort}), "", "", false, true},
      {"WONT after agreement is acknowledged", false, bytes({IAC, WILL, kOptBinary, IAC, WONT, kOptBinary}), "",
       bytes({IAC, DO, kOptBinary, IAC, DONT, kOptBinary})},
      {"the server's baud answer is read, not passed on", true,
       bytes({'a', IAC, SB, kOptComPort, 101, 0, 0, 0x25, 0x80, IAC, SE, 'b'}), "ab", "", false, false, 9600},
      {"an escaped IAC inside a subnegotiation", true,
       bytes({IAC, SB, kOptComPort, 101, 0, 0, IAC, IAC, 0, IAC, SE}), "", "", false, false, 0xFF00},
      {"NOP, GA, AYT and a stray SE carry no data", true, bytes({'1', IAC, 241, '2', IAC, 249, IAC, 246, IAC, SE, '3'}),
       "123", ""},
      {"an unterminated subnegotiation ends at the next command", true,
       bytes({IAC, SB, kOptComPort, 101, 0, IAC, WILL, kOptEcho, 'z'}), "z", bytes({IAC, DONT, kOptEcho})},
      {"an over-long subnegotiation is dropped whole", true,
       bytes({IAC, SB, kOptComPort, 101}) + std::string(100, '\x01') + bytes({IAC, SE, 'k'}), "k", ""},
      {"notifications of the far line are not data", true,
       bytes({IAC, SB, kOptComPort, 107, 0x30, IAC, SE, IAC, SB, kOptComPort, 106, 0x60, IAC, SE}), "", ""},
  };
  return cases;
}

struct Outcome {
  std::string data, answer;
  bool agreed, refused;
  std::uint32_t baud;
  bool operator==(const Outcome&) const = default;
};

// Feeds the stream in the given pieces.
Outcome decode(const DecoderCase& c, const std::vector<std::size_t>& cuts) {
  tn::Decoder decoder;
  if (c.greeted) decoder.noteGreetingSent();
  Outcome out{};
  std::size_t from = 0;
  const auto* input = reinterpret_cast<const unsigned char*>(c.input.data());
  for (std::size_t cut : cuts) {
    decoder.feed(input + from, cut - from, out.data, out.answer);
    from = cut;
  }
  decoder.feed(input + from, c.input.size() - from, out.data, out.answer);
  out.agreed = decoder.comPortAgreed();
  out.refused = decoder.comPortRefused();
  out.baud = decoder.reportedBaudRate();
  return out;
}

TEST(TelnetDecoder, KeepsCommandsOutOfTheDataWhereverTheReadsAreCut) {
  for (const DecoderCase& c : decoderCases()) {
    SCOPED_TRACE(c.name);
    const Outcome expected{c.data, c.answer, c.comPortAgreed, c.comPortRefused, c.baud};
    EXPECT_EQ(decode(c, {}), expected);
    // Every cut into two reads, and one byte per read.
    for (std::size_t cut = 1; cut < c.input.size(); ++cut) EXPECT_EQ(decode(c, {cut}), expected) << "cut at " << cut;
    std::vector<std::size_t> single;
    for (std::size_t i = 1; i < c.input.size(); ++i) single.push_back(i);
    EXPECT_EQ(decode(c, single), expected);
  }
}

TEST(TelnetDecoder, WhatTheClientEscapesComesBackAsItWas) {
  std::string all;
  for (int b = 0; b < 256; ++b) all += static_cast<char>(b);
  for (const std::string& data : {std::string(), all, std::string(5, '\xff'), std::string("\xff\r\n")}) {
    const std::string escaped = tn::escape(data);
    EXPECT_EQ(escaped.size(), data.size() + static_cast<std::size_t>(std::count(data.begin(), data.end(), '\xff')));
    tn::Decoder decoder;
    std::string out, answer;
    decoder.feed(reinterpret_cast<const unsigned char*>(escaped.data()), escaped.size(), out, answer);
    EXPECT_EQ(out, data);
    EXPECT_EQ(answer, "");
  }
}

TEST(TelnetFrames, LineSettingsAsTheServerExpectsThem) {
  using namespace tn;
  struct Case {
    std::string frame, expected;
  };
  const std::vector<Case> cases = {
      {setBaudRate(9600), bytes({IAC, SB, 44, 1, 0, 0, 0x25, 0x80, IAC, SE})},
      {setBaudRate(19200), bytes({IAC, SB, 44, 1, 0, 0, 0x4B, 0x00, IAC, SE})},
      {setBaudRate(0xFF00), bytes({IAC, SB, 44, 1, 0, 0, IAC, IAC, 0, IAC, SE})},
      {setByteOption(kSetDataSize, 8), bytes({IAC, SB, 44, 2, 8, IAC, SE})},
      {setByteOption(kSetParity, kParityNone), bytes({IAC, SB, 44, 3, 1, IAC, SE})},
      {setByteOption(kSetStopSize, kStopOne), bytes({IAC, SB, 44, 4, 1, IAC, SE})},
      {setByteOption(kSetControl, kDtrOn), bytes({IAC, SB, 44, 5, 8, IAC, SE})},
      {clientGreeting(), bytes({IAC, WILL, 0, IAC, DO, 0, IAC, WILL, 3, IAC, DO, 3, IAC, WILL, 44})},
  };
  for (const Case& c : cases) EXPECT_EQ(c.frame, c.expected);
}

TEST(NetworkAddress, ParsesTheTwoSchemesAndRefusesTheRest) {
  struct Case {
    const char* text;
    bool valid;
    NetworkAddress::Kind kind;
    const char* host;
    const char* service;
  };
  using K = NetworkAddress::Kind;
  const Case cases[] = {
      {"rfc2217://127.0.0.1:2000", true, K::Rfc2217, "127.0.0.1", "2000"},
      {"RFC2217://shop-pc-3:7001", true, K::Rfc2217, "shop-pc-3", "7001"},
      {"tcp://localhost:65535", true, K::RawTcp, "localhost", "65535"},
      {"tcp://[::1]:4000", true, K::RawTcp, "::1", "4000"},
      {"tcp://127.0.0.1:04000", true, K::RawTcp, "127.0.0.1", "4000"},
      {"tcp://::1:4000", false, K::RawTcp, "", ""},
      {"tcp://127.0.0.1:0", false, K::RawTcp, "", ""},
      {"tcp://127.0.0.1:65536", false, K::RawTcp, "", ""},
      {"tcp://127.0.0.1:", false, K::RawTcp, "", ""},
      {"tcp://:4000", false, K::RawTcp, "", ""},
      {"tcp://127.0.0.1", false, K::RawTcp, "", ""},
      {"tcp://127.0.0.1:40x", false, K::RawTcp, "", ""},
      {"tcp://a b:4000", false, K::RawTcp, "", ""},
      {"tcp://host/path:4000", false, K::RawTcp, "", ""},
      {"tcp://[::1:4000", false, K::RawTcp, "", ""},
      {"telnet://127.0.0.1:23", false, K::RawTcp, "", ""},
      {"COM2", false, K::RawTcp, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    const auto parsed = parseNetworkAddress(c.text);
    ASSERT_EQ(parsed.has_value(), c.valid);
    if (!parsed) continue;
    EXPECT_EQ(parsed->kind, c.kind);
    EXPECT_EQ(parsed->host, c.host);
    EXPECT_EQ(parsed->service, c.service);
  }
  EXPECT_TRUE(looksLikeNetworkAddress("Tcp://nonsense"));
  EXPECT_FALSE(looksLikeNetworkAddress("/dev/ttyUSB0"));
}

TEST(NetworkAddress, AComEntryLinkedToAnAddressIsBoundToIt) {
  test::TempDir dir;
  std::filesystem::create_symlink("rfc2217://127.0.0.1:7001", dir.file("COM3"));
  std::filesystem::create_symlink("tcp://127.0.0.1:7002", dir.file("COM12"));
  std::filesystem::create_symlink("/dev/ttyUSB0", dir.file("COM4"));
  struct Case {
    const char* name;
    std::string device;
    std::string binding;
  };
  const Case cases[] = {
      {"COM3", "rfc2217://127.0.0.1:7001", "rfc2217://127.0.0.1:7001"},
      {"com3", "rfc2217://127.0.0.1:7001", "rfc2217://127.0.0.1:7001"},
      {"\\\\.\\COM12", "tcp://127.0.0.1:7002", "tcp://127.0.0.1:7002"},
      {"COM4", dir.file("COM4"), "/dev/ttyUSB0"},
      {"COM5", "/dev/ttyS4", ""},
      {"rfc2217://127.0.0.1:7003", "rfc2217://127.0.0.1:7003", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(resolvePortDevice(c.name, dir.dir()), c.device);
    EXPECT_EQ(portBinding(c.name, dir.dir()), c.binding);
  }
}

}  // namespace
}  // namespace qxr
