// The automatic search for the controller.
#include "link/detect.h"

#include <string>

#include "base/textio.h"
#include "link/comm.h"

namespace qxr {

namespace {

constexpr int kDesignationLength = 7;
// The link-on reply of a controller is exactly this long.
constexpr std::size_t kLinkOnReplyLength = 3;

struct ModelEntry {
  int number;
  int typeEntry;
  int modelIndex;
};
constexpr ModelEntry kModels[] = {
    {102, kGenerationX02, 0}, {202, kGenerationX02, 1}, {302, kGenerationX02, 2},
    {101, kGenerationX00, 3}, {200, kGenerationX00, 4}, {300, kGenerationX00, 5},
};

constexpr int kVersionSD = 0, kVersionK = 1, kVersionM = 2;

std::string stxFrame(const char* text) {
  std::string frame(1, frames::STX);
  frame += text;
  frame += frames::ETX;
  return frame;
}

// Adds a line to the program page's message box, whatever page is on top.
void addProgramPageLine(Link& link, std::string_view line) { link.host().appendPageLine(kProgramPage, line); }

// One port of the search. Returns true when the search is over (found,
// wrong or a failed wait), false to go on with the next port.
bool tryPort(Link& link, DetectTarget& target, bool& found) {
  Session& session = link.session();
  const std::string named = link.host().namedPort();
  const std::string name = named.empty() ? Link::PortName(link.host().selectedPortIndex()) : named;
  link.ConnectRS232();
  if (!link.portOpen()) return false;

  link.TransStr(stxFrame("LON"));
  addProgramPageLine(link, session.msg(msg::kCommunicating));
  link.ReceiveFromQXR(kReplyLength, 1);
  if (link.reply().size() != kLinkOnReplyLength) {
    link.port().Close();
    link.ShowPageMessage(msg::kPortClosed, name);
    return false;
  }

  bool wrong = false;

  if (!link.TransStr(stxFrame("QXR")) || !link.ReceiveFromQXR(kReplyLength, 1)) return true;
  const ModelReply model = parseModelReply(link.reply());
  if (!model.designation.empty()) addProgramPageLine(link, model.designation);
  if (model.modelIndex >= 0) {
    session.modelIndex = model.modelIndex;
    target.setDetectedModel(model.typeEntry, model.modelIndex);
  } else {
    wrong = true;
  }

  if (!link.TransStr(stxFrame("VER")) || !link.ReceiveFromQXR(kReplyLength, 1)) return true;
  const VersionReply versionReply = parseVersionReply(link.reply());
  if (!versionReply.text.empty()) {
    addProgramPageLine(link, versionReply.text);
    if (!versionReply.hasDot) wrong = true;
  }
  int version = versionReply.versionIndex;
  if (model.initial == 'K') version = kVersionK;
  if (version >= 0) {
    session.versionIndex = version;
    target.setDetectedVersion(version);
  }

  if (!link.TransStr(stxFrame("LOF")) || !link.ReceiveFromQXR(kReplyLength, 1)) return true;
  if (link.portOpen()) link.port().Close();
  link.ShowPageMessage(msg::kPortClosed, name);

  if (wrong) {
    link.beep();
    link.host().notice("Detect a wrong type or version");
    return true;
  }
  target.refillParameterList(session.modelIndex);
  found = true;
  return true;
}

}  // namespace

ModelReply parseModelReply(std::string_view reply) {
  ModelReply model;
  const std::size_t at = reply.find_first_of("QK");
  if (at == std::string_view::npos) return model;
  model.hasInitial = true;
  model.initial = reply[at];
  model.designation = std::string(reply.substr(at, kDesignationLength));
  const std::size_t dash = model.designation.find('-');
  model.number = dash == std::string::npos ? 0 : leadingInt(std::string_view(model.designation).substr(dash + 1));
  for (const ModelEntry& entry : kModels) {
    if (entry.number == model.number) {
      model.typeEntry = entry.typeEntry;
      model.modelIndex = entry.modelIndex;
    }
  }
  return model;
}

VersionReply parseVersionReply(std::string_view reply) {
  VersionReply version;
  const std::size_t at = reply.find('V');
  if (at == std::string_view::npos) return version;
  version.text = std::string(reply.substr(at));
  const std::size_t dot = version.text.rfind('.');
  version.hasDot = dot != std::string::npos;
  if (version.hasDot) {
    const char letter = dot + 3 < version.text.size() ? version.text[dot + 3] : '\0';
    version.versionIndex = letter == 'K' ? kVersionK : letter == 'M' ? kVersionM : kVersionSD;
  }
  return version;
}

bool AutoDetect(Link& link, DetectTarget& target) {
  LinkHost& host = link.host();
  link.beep();
  host.notice(link.session().msg(msg::kConnectWarning));
  const int portCount = link.session().settings.portCount;
  host.selectPortIndex(0);
  for (;;) {
    bool found = false;
    if (tryPort(link, target, found)) return found;
    if (link.stopped()) return false;  // the operator ended the search
    const int index = host.selectedPortIndex();
    if (index + 1 >= portCount || index < 0) {
      host.selectPortIndex(0);
      link.beep();
      host.notice("Auto detect failure");
      return false;
    }
    host.selectPortIndex(index + 1);
  }
}

}  // namespace qxr
