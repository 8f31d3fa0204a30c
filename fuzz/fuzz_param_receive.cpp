// The controller's replies to the parameter exchanges: reading checked
// entries, and the answers to a send. The input is what the controller
// sends, reply by reply, over a pseudo-terminal.
//
// First byte: bit 0 the operation (read, send), bits 1-3 how many entries
// are read (1-8). The rest are the replies.
#include <cstdint>
#include <exception>
#include <string>

#include "fuzz_line.h"
#include "link/link.h"
#include "params/paramtransfer.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned mode = data[0];
  qxr::fuzz::ScriptedLine line(data + 1, size - 1, qxr::kParameterPage);
  if (!line.ready()) return 0;
  qxr::Link link(line.port(), line.session(), line, line);
  qxr::MemoryParameterPage page;
  qxr::ParameterEntries entries;
  const int count = static_cast<int>((mode >> 1) & 7) + 1;
  for (int i = 0; i < count; ++i) {
    entries.push_back({"P" + std::to_string(i), i * 37 + 1});
    page.checked.push_back(i);
  }
  bool complete = false;
  try {
    if (mode & 1) {
      page.lines = {"/ comment", "P0(1)=12", "P1(38)=-7", "P2(75)=2147483647"};
      complete = qxr::sendParameters(operationParts(link), page);
    } else {
      complete = qxr::receiveParameters(operationParts(link), page, entries);
    }
  } catch (const std::exception&) {
    // A port that cannot be set up is reported by the callers; not a fault here.
  }
  check(!link.portOpen());
  if (!(mode & 1)) {
    // One line per entry at most, in list order, each "name(number)=" and a value
    // without a line end; a complete read has every entry.
    check(page.lines.size() <= entries.size());
    if (complete) check(page.lines.size() == entries.size());
    std::size_t entry = 0;
    for (const std::string& text : page.lines) {
      while (entry < entries.size() &&
             text.rfind(entries[entry].name + "(" + std::to_string(entries[entry].number) + ")=", 0) != 0)
        ++entry;
      check(entry < entries.size());
      ++entry;
      check(text.find_first_of("\r\n") == std::string::npos);
    }
  }
  return 0;
}
