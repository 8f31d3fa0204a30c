#include <cstdio>

#include "base/codec.h"
#include "base/textio.h"
#include "tool.h"

namespace qxr {

int runCatalogueCommand(ToolContext& context, const Args& given) {
  const Args args(given.begin() + (!given.empty() && given[0] == "--" ? 1 : 0), given.end());
  if (args.size() != 1) return usageError("catalogue takes one message number");
  const std::string& wanted = args[0];
  if (wanted.empty() || wanted.size() > 9 || wanted.find_first_not_of("0123456789") != std::string::npos)
    return usageError("not a message number: " + wanted);
  const int number = leadingInt(wanted);
  const MessageCatalogue& catalogue = context.session.catalogue;
  const char* file = MessageCatalogue::fileName(context.session.language());
  if (catalogue.count() == 0) {
    std::fprintf(stderr, "qxrtool: no message catalogue: %s in %s is missing, empty or unreadable\n", file,
                 context.session.startDir.c_str());
    return kExitFailed;
  }
  if (number < 1 || number > catalogue.count()) {
    std::fprintf(stderr, "qxrtool: there is no message %d: %s holds messages 1 to %d\n", number, file,
                 catalogue.count());
    return kExitFailed;
  }
  const auto text = catalogue.lookup(number);
  if (!text) {
    std::fprintf(stderr, "qxrtool: message %d of %s has no text (its line has no blank)\n", number, file);
    return kExitFailed;
  }
  std::printf("%s\n", displayUtf8(*text, context.session.language()).c_str());
  return kExitOk;
}

}  // namespace qxr
