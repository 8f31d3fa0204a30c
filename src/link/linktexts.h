#pragma once
// Texts of the exchanges that the message catalogue has no line for: replies
// that no controller sends, and receives that outgrow what a controller can
// hold. English for language 1, Traditional Chinese otherwise; UTF-8 like the
// catalogue.
#include <string>
#include <string_view>

namespace qxr {

enum class LinkText {
  kNoise,           // %s byte in hexadecimal, %d position (from 1)
  kEcho,
  kLineTooLong,     // %d limit in bytes
  kTooManyLines,    // %d limit in lines
  kTooManyBytes,    // %d limit in bytes
  kUnended,         // %d bytes received
  kInputFlood,      // %d limit in bytes
};

// The text for a language with its slots filled; `s` fills %s, `a` the first
// %d slot.
std::string linkText(int language, LinkText text, std::string_view s = {}, long a = 0);

}  // namespace qxr
