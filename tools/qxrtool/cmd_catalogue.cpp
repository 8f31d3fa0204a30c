#include <cstdio>

#include "base/codec.h"
#include "base/textio.h"
#include "tool.h"

namespace qxr {

int runCatalogueCommand(ToolContext& context, const Args& args) {
  if (args.size() != 1) return usageError("catalogue takes one message number");
  const auto text = context.session.catalogue.lookup(leadingInt(args[0]));
  if (!text) return kExitFailed;
  std::printf("%s\n", displayUtf8(*text, context.session.language()).c_str());
  return kExitOk;
}

}  // namespace qxr
