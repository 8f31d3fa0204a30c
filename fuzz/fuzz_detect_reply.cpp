// The identification replies of the automatic search.
#include <cstdint>
#include <string_view>

#include "link/detect.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view reply(reinterpret_cast<const char*>(data), size);
  const qxr::ModelReply model = qxr::parseModelReply(reply);
  if (model.designation.size() > 7) __builtin_trap();
  if (model.modelIndex < -1 || model.modelIndex > 5) __builtin_trap();
  const qxr::VersionReply version = qxr::parseVersionReply(reply);
  if (version.versionIndex < -1 || version.versionIndex > 2) __builtin_trap();
  return 0;
}
