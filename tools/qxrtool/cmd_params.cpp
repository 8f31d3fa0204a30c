// qxrtool param send FILE.par
// qxrtool param receive -o FILE.par [--model QXR102] [--version SD|K|M] [--all | NAME...]
// qxrtool param list [--model QXR102] [--version SD|K|M]
#include <strings.h>

#include <cstdio>
#include <optional>

#include "base/codec.h"
#include "base/textio.h"
#include "params/paramlist.h"
#include "params/paramtransfer.h"
#include "tool.h"

namespace qxr {

namespace {

std::optional<int> modelIndexOf(const std::string& name) {
  for (int i = 0; i < kModelCount; ++i)
    if (strcasecmp(name.c_str(), kModelNames[i]) == 0) return i;
  return std::nullopt;
}

std::optional<int> versionIndexOf(const std::string& name) {
  for (int i = 0; i < 3; ++i)
    if (strcasecmp(name.c_str(), kVersionNames[i]) == 0) return i;
  return std::nullopt;
}

bool allDigits(const std::string& text) {
  return !text.empty() && text.find_first_not_of("0123456789") == std::string::npos;
}

struct ReceiveOptions {
  std::string output;
  std::optional<int> model;  // without --model: the machine's, else QXR102
  std::optional<int> version;
  bool all = false;
  std::vector<std::string> names;
};

// Parses the options shared by receive and list; false after a usage error
// has been printed (its exit code in `exitCode`).
bool parseOptions(const Args& args, bool forReceive, ReceiveOptions& options, int& exitCode) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (forReceive && arg == "--") {
      options.names.insert(options.names.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (forReceive && arg == "-o" && hasValue) {
      options.output = args[++i];
    } else if (arg == "--model" && hasValue) {
      const auto model = modelIndexOf(args[++i]);
      if (!model) return exitCode = usageError("unknown model " + args[i] + " (QXR102 ... QXR300)"), false;
      options.model = *model;
    } else if (arg == "--version" && hasValue) {
      const auto version = versionIndexOf(args[++i]);
      if (!version) return exitCode = usageError("unknown version " + args[i] + " (SD, K or M)"), false;
      options.version = *version;
    } else if (forReceive && arg == "--all") {
      options.all = true;
    } else if (forReceive && (arg.empty() || arg[0] != '-')) {
      options.names.push_back(arg);
    } else {
      return exitCode = usageError("param: unexpected argument " + arg), false;
    }
  }
  return true;
}

ParameterEntries parameterList(ToolContext& context, const ReceiveOptions& options) {
  Session& session = context.session;
  const bool machineModel = !options.model && !context.machineName.empty();
  const int model = machineModel ? session.modelIndex : options.model.value_or(0);
  session.modelIndex = model;
  session.versionIndex = options.version.value_or(machineModel ? session.versionIndex
                                                               : versionAfterModelChoice(model, session.versionIndex));
  ParameterCatalogue catalogue;
  catalogue.loadAdditionalLists(session.startDir, session.language());
  return catalogue.build(session.startDir, session.modelIndex, session.versionIndex, session.language());
}

// Says so on stderr, with `consequence`, when the model's description file
// cannot be read.
bool missingDescription(ToolContext& context, const std::string& consequence) {
  const Session& session = context.session;
  const int language = session.language();
  if (!descriptionFilePath(session.startDir, session.modelIndex, session.versionIndex, language).empty()) return false;
  std::string names = descriptionFileName(session.modelIndex, session.versionIndex, language);
  const std::string fallback = descriptionFileName(session.modelIndex, session.versionIndex, language, false);
  if (fallback != names) names += " or " + fallback;
  std::fprintf(stderr, "qxrtool: the parameter description file of %s (%s) is missing or unreadable in %s; %s\n",
               kModelNames[session.modelIndex], names.c_str(), session.startDir.c_str(), consequence.c_str());
  return true;
}

int sendCommand(ToolContext& context, const Args& args) {
  Args files;
  for (std::size_t i = 1; i < args.size(); ++i) {
    if (args[i] == "--") {
      files.insert(files.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (args[i].size() > 1 && args[i][0] == '-') return usageError("param: unexpected argument " + args[i]);
    files.push_back(args[i]);
  }
  if (files.size() != 1) return usageError("param send takes one parameter file");
  context.host.page = kParameterPage;
  MemoryParameterPage page;
  if (!readParameterFile(files[0], context.session, context.host, page)) {
    std::fprintf(stderr, "qxrtool: cannot read %s\n", files[0].c_str());
    return kExitFailed;
  }
  return sendParameters(operationParts(context.link()), page) ? kExitOk : kExitFailed;
}

int listCommand(ToolContext& context, const Args& args) {
  ReceiveOptions options;
  int exitCode = kExitOk;
  if (!parseOptions(args, false, options, exitCode)) return exitCode;
  for (const ParameterEntry& entry : parameterList(context, options))
    std::printf("%d\t%s\n", entry.number, displayUtf8(entry.name, context.session.language()).c_str());
  std::fflush(stdout);
  return missingDescription(context, "the list holds the additional entries only") ? kExitFailed : kExitOk;
}

int receiveCommand(ToolContext& context, const Args& args) {
  ReceiveOptions options;
  int exitCode = kExitOk;
  if (!parseOptions(args, true, options, exitCode)) return exitCode;
  if (options.output.empty()) return usageError("param receive needs -o FILE.par");
  if (options.all == !options.names.empty()) return usageError("param receive takes --all or parameter names");

  if (refuseSaveTarget(context, options.output)) return kExitFailed;
  const ParameterEntries list = parameterList(context, options);
  if (options.all) {
    // All of a model's parameters are the ones its description file names:
    // without it, "all" would be only the additional entries, or nothing.
    if (missingDescription(context, "nothing received, " + options.output + " was not written")) return kExitFailed;
    if (list.empty()) {
      std::fprintf(stderr, "qxrtool: the parameter description names no parameter; nothing received, %s was not written\n",
                   options.output.c_str());
      return kExitFailed;
    }
  }
  MemoryParameterPage page;
  if (options.all) {
    for (std::size_t i = 0; i < list.size(); ++i) page.checked.push_back(static_cast<int>(i));
  } else {
    // A name as the list shows it; a plain number picks the entries of that
    // parameter number. Entries are read in list order, as on the page.
    std::vector<bool> chosen(list.size(), false);
    for (const std::string& wanted : options.names) {
      bool found = false;
      for (std::size_t i = 0; i < list.size(); ++i) {
        if (displayUtf8(list[i].name, context.session.language()) == wanted) chosen[i] = found = true;
      }
      if (!found && allDigits(wanted)) {
        for (std::size_t i = 0; i < list.size(); ++i)
          if (list[i].number == leadingInt(wanted)) chosen[i] = found = true;
      }
      if (!found) return usageError("no parameter named " + wanted + " (see qxrtool param list)");
    }
    for (std::size_t i = 0; i < list.size(); ++i)
      if (chosen[i]) page.checked.push_back(static_cast<int>(i));
  }

  context.host.page = kParameterPage;
  if (!receiveParameters(operationParts(context.link()), page, list) || stopSignalNumber() != 0) {
    // An incomplete read never replaces a parameter file.
    std::fprintf(stderr, "qxrtool: not all parameters arrived; %s was not written\n", options.output.c_str());
    return kExitFailed;
  }
  if (!writeParameterFile(options.output, context.session, context.host, page)) {
    std::fprintf(stderr, "qxrtool: cannot write %s\n", options.output.c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace

int runParamCommand(ToolContext& context, const Args& args) {
  if (args.empty()) return usageError("param needs send, receive or list");
  if (args[0] == "send") return sendCommand(context, args);
  if (args[0] == "receive") return receiveCommand(context, args);
  if (args[0] == "list") return listCommand(context, args);
  return usageError("unknown param command " + args[0]);
}

}  // namespace qxr
