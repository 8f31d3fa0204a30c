#include "tool.h"

#include <unistd.h>

#include <cstdio>
#include <iostream>

#include "base/codec.h"
#include "base/fileio.h"
#include "link/comm.h"
#include "link/link.h"

namespace qxr {

void ConsoleHost::appendPageLine(int, std::string_view line) {
  const std::string text = displayUtf8(line, session_.language());
  lastLine = text;
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fputc('\n', stdout);
  std::fflush(stdout);
}

bool ConsoleHost::confirm(std::string_view question) {
  if (stopRequested()) return false;  // a signal ends the run: nothing more is asked
  const std::string text = displayUtf8(question, session_.language());
  std::printf("%s\n", text.c_str());
  if (yes_) {
    std::printf("-> OK\n");
    std::fflush(stdout);
    return true;
  }
  if (!::isatty(STDIN_FILENO)) {
    std::printf("-> Cancel (no terminal to ask; use --yes)\n");
    std::fflush(stdout);
    return false;
  }
  std::printf("OK or Cancel? [o/c] ");
  std::fflush(stdout);
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'o' || answer[0] == 'O' || answer[0] == 'y' || answer[0] == 'Y');
}

void ConsoleHost::notice(std::string_view text) {
  const std::string shown = displayUtf8(text, session_.language());
  std::printf("%s\n", shown.c_str());
  std::fflush(stdout);
}

ToolContext::ToolContext(const std::string& startDir, bool yes, std::optional<int> portIndex)
    : session(startSession(startDir)), host(session, yes) {
  host.portCount = session.settings.portCount;
  host.portIndex = portIndex.value_or(session.settings.defaultPortIndex);
}

ToolContext::~ToolContext() = default;

TComm& ToolContext::port() {
  if (!port_) {
    port_ = std::make_unique<TComm>();
    port_->SetPortDirectory(session.startDir);
  }
  return *port_;
}

Link& ToolContext::link() {
  if (!link_) link_ = std::make_unique<Link>(port(), session, host, SystemClock::instance());
  return *link_;
}

std::optional<int> generationOf(const std::string& type) {
  if (type == "x02" || type == "X02") return kGenerationX02;
  if (type == "x00" || type == "X00" || type == "x01" || type == "X01") return kGenerationX00;
  return std::nullopt;
}

bool refuseSaveTarget(ToolContext& context, const std::string& path) {
  const FileError error = checkSaveTarget(path);
  if (error == FileError::kNone) return false;
  const int language = context.session.language();
  std::fprintf(stderr, "qxrtool: %s\n", displayUtf8(fileErrorText(language, error, path), language).c_str());
  return true;
}

int usageError(const std::string& message) {
  std::fprintf(stderr, "qxrtool: %s (see qxrtool --help)\n", message.c_str());
  return kExitUsage;
}

}  // namespace qxr
