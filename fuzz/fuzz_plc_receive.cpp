// The records of a PLC read as the receive takes them apart, and the data
// records the send builds.
#include <cstdint>
#include <string>
#include <string_view>

#include "link/hexrecord.h"
#include "plc/plcops.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  for (std::size_t offset : {5, 6}) {
    const std::string_view part = qxr::recordData(reply, offset);
    if (!part.empty() && (part.data() < reply.data() || part.data() + part.size() > reply.data() + reply.size()))
      __builtin_trap();
  }
  (void)qxr::BuildHexRecord(reply);
  return 0;
}
