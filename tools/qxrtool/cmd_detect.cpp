// qxrtool detect: the automatic search for the controller from a shell.
#include <cstdio>
#include <string>

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
  // A port named by its network address is the only one to try.
  const std::string& address = context.host.portAddress;
  if (!address.empty()) context.session.settings.portCount = 1;
  if (!AutoDetect(context.link(), target)) return kExitFailed;
  const Session& session = context.session;
  const std::string port =
      address.empty() ? "COM" + std::to_string(context.host.selectedPortIndex() + 1) : address;
  std::printf("model=%s version=%s port=%s\n", kModelNames[session.modelIndex],
              kVersionNames[session.versionIndex], port.c_str());
  std::fflush(stdout);
  return kExitOk;
}

}  // namespace qxr
