#include <cstdio>

#include "tool.h"

namespace qxr {

int runDetectCommand(ToolContext&, const Args&) {
  std::fprintf(stderr, "qxrtool: this command is not built yet\n");
  return kExitUsage;
}

}  // namespace qxr
