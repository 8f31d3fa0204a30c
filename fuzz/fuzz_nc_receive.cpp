// The controller's replies to the program exchanges: receive, read many,
// and the look-up and delete answers of send and delete. The input is what
// the controller sends, reply by reply, over a pseudo-terminal.
//
// First byte: bit 0 the generation (X02 with names, X00 without), bits 1-2
// the operation (receive, read many, send, delete), bits 3-5 how many
// programs a read many asks for (1-8). The rest are the replies.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <string>

#include "fuzz_line.h"
#include "link/link.h"
#include "nc/ncops.h"

namespace {

void check(bool condition) {
  if (!condition) __builtin_trap();
}

// A received program is made of the replies' bytes: no line holds a line
// end, the name fits its frame, and nothing is more than the line carried.
void checkReceived(const qxr::MemoryNcPage& page, const qxr::fuzz::ScriptedLine& line) {
  check(page.name.size() <= qxr::frames::kProgramNameLength);
  check(page.lines.size() <= line.repliesGiven());
  std::size_t bytes = 0;
  for (const std::string& text : page.lines) {
    check(text.find_first_of("\r\n") == std::string::npos);
    bytes += text.size();
  }
  check(bytes <= line.inputSize());
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 1) return 0;
  const unsigned mode = data[0];
  const unsigned operation = (mode >> 1) & 3;
  qxr::fuzz::ScriptedLine line(data + 1, size - 1);
  if (!line.ready()) return 0;
  qxr::Link link(line.port(), line.session(), line, line);
  qxr::MemoryNcPage page;
  page.gen = (mode & 1) ? qxr::kGenerationX00 : qxr::kGenerationX02;
  page.number = 7;
  page.name = "FUZZ";
  qxr::NcOperations operations(operationParts(link), page);
  try {
    switch (operation) {
      case 0:
        operations.receive();
        break;
      case 1: {
        qxr::MultipleChoice choice;
        choice.mode = qxr::kBatchReadMany;
        choice.chosen = true;
        const int count = static_cast<int>((mode >> 3) & 7) + 1;
        for (int i = 0; i < count; ++i) choice.programs[static_cast<std::size_t>(i * 7)] = true;
        choice.directory = line.session().startDir;
        choice.prefix = "R";
        operations.readMany(choice);
        break;
      }
      case 2:
        page.lines = {"G00 X10.", "", "M30"};
        operations.send();
        break;
      default:
        operations.deleteProgram();
        break;
    }
  } catch (const std::exception&) {
    // A port that cannot be set up is reported by the callers; not a fault here.
  }
  if (std::getenv("QXR_FUZZ_TRACE")) {
    std::fprintf(stderr, "replies %zu, sent %zu bytes, name \"%s\", %zu lines\n", line.repliesGiven(),
                 line.bytesSent(), page.name.c_str(), page.lines.size());
    for (const std::string& text : page.lines) std::fprintf(stderr, "  |%s|\n", text.c_str());
  }
  check(!link.portOpen());
  check(operations.controllerName().size() <= qxr::frames::kProgramNameLength);
  if (operation < 2) checkReceived(page, line);
  return 0;
}
