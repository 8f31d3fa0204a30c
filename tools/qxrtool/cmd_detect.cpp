// qxrtool detect: the automatic search for the controller from a shell.
#include <cstdio>

#include "link/detect.h"
#include "link/link.h"
#include "tool.h"

namespace qxr {

namespace {

// Keeps what the search found; the shell has no radio buttons to set.
class ConsoleDetectTarget final : public DetectTarget {
 public:
  void setDetectedModel(int, int) override {}
  void setDetectedVersion(int) override {}
  void refillParameterList(int) override {}
};

}  // namespace

int runDetectCommand(ToolContext& context, const Args& args) {
  if (!args.empty()) return usageError("detect takes no arguments");
  ConsoleDetectTarget target;
  if (!AutoDetect(context.link(), target)) return kExitFailed;
  const Session& session = context.session;
  std::printf("model=%s version=%s port=COM%d\n", kModelNames[session.modelIndex],
              kVersionNames[session.versionIndex], context.host.selectedPortIndex() + 1);
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace qxr
