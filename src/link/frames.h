#pragma once
// The bytes on the line between the PC and the controller: control
// characters and the fixed frames. Header only and free of logic, so that
// the controller emulator can share the vocabulary without sharing the
// exchange code.
#include <string_view>

namespace qxr::frames {

inline constexpr char SOH = 0x01;
inline constexpr char STX = 0x02;
inline constexpr char ETX = 0x03;
inline constexpr char ENQ = 0x05;
inline constexpr char ACK = 0x06;
inline constexpr char BEL = 0x07;
inline constexpr char LF = 0x0A;
inline constexpr char CR = 0x0D;
inline constexpr char NAK = 0x15;
inline constexpr char CAN = 0x18;

// Line family (text ended by CR LF).
inline constexpr std::string_view kAttention = "$%\r\n";
inline constexpr std::string_view kLookUp = "$L\r\n";
inline constexpr std::string_view kDelete = "$K\r\n";
inline constexpr std::string_view kStore = "$S\r\n";
inline constexpr std::string_view kParamWrite = "$R\r\n";
inline constexpr std::string_view kParamRead = "$P\r\n";
inline constexpr std::string_view kDeleted = "$V\r\n";
// Sent by the PC: confirms a number or a line, asks for the next line.
inline constexpr std::string_view kAckLine = "\x06\x07\x01\r\n";
// Sent by the controller: refuses the last frame.
inline constexpr std::string_view kRefusalLine = "\x15\x07\x07\r\n";

// STX family (STX, short text, ETX).
inline constexpr std::string_view kLinkOn = "\x02LON\x03";
inline constexpr std::string_view kLinkOff = "\x02LOF\x03";
inline constexpr std::string_view kSequenceWrite = "\x02SQW\x03";
inline constexpr std::string_view kSequenceRead = "\x02SQR\x03";
inline constexpr std::string_view kModelRequest = "\x02QXR\x03";
inline constexpr std::string_view kVersionRequest = "\x02VER\x03";
inline constexpr std::string_view kEndOfData = "\x02" "0001FE\x03";

// The program name frame: the name cut or padded with blanks to this many
// characters, then CR LF.
inline constexpr std::size_t kProgramNameLength = 8;

}  // namespace qxr::frames
