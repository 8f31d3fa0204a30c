// The automatic search for the controller.
#include "link/detect.h"

#include <string>

#include "app/textio.h"
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
  const std::string name = Link::PortName(link.host().selectedPortIndex());
  link.ConnectRS232();
  if (!link.portOpen()) return false;

  link.TransStr(stxFrame("LON"));
  addProgramPageLine(link, session.msg(108));
  link.ReceiveFromQXR(kReplyLength, 1);
  if (link.reply().size() != kLinkOnReplyLength) {
    link.port().Close();
    link.ShowPageMessage(107, name);
    return false;
  }

  bool wrong = false;

  // Model: from the first "Q" or "K", at most seven characters.
  if (!link.TransStr(stxFrame("QXR")) || !link.ReceiveFromQXR(kReplyLength, 1)) return true;
  const std::string modelReply(link.reply());
  const std::size_t initialAt = modelReply.find_first_of("QK");
  char initial = '\0';
  if (initialAt == std::string::npos) {
    wrong = true;
  } else {
    initial = modelReply[initialAt];
    const std::string designation = modelReply.substr(initialAt, kDesignationLength);
    addProgramPageLine(link, designation);
    const std::size_t dash = designation.find('-');
    const int number = dash == std::string::npos ? 0 : leadingInt(std::string_view(designation).substr(dash + 1));
    const ModelEntry* model = nullptr;
    for (const ModelEntry& entry : kModels)
      if (entry.number == number) model = &entry;
    if (model) {
      session.modelIndex = model->modelIndex;
      target.setDetectedModel(model->typeEntry, model->modelIndex);
    } else {
      wrong = true;
    }
  }

  // Version: from the first "V"; the letter three places after the last ".".
  if (!link.TransStr(stxFrame("VER")) || !link.ReceiveFromQXR(kReplyLength, 1)) return true;
  const std::string versionReply(link.reply());
  const std::size_t versionAt = versionReply.find('V');
  int version = -1;
  if (versionAt != std::string::npos) {
    const std::string text = versionReply.substr(versionAt);
    addProgramPageLine(link, text);
    const std::size_t dot = text.rfind('.');
    if (dot == std::string::npos) {
      wrong = true;
    } else {
      const char letter = dot + 3 < text.size() ? text[dot + 3] : '\0';
      version = letter == 'K' ? kVersionK : letter == 'M' ? kVersionM : kVersionSD;
    }
  }
  if (initial == 'K') version = kVersionK;
  if (version >= 0) {
    session.versionIndex = version;
    target.setDetectedVersion(version);
  }

  if (!link.TransStr(stxFrame("LOF")) || !link.ReceiveFromQXR(kReplyLength, 1)) return true;
  if (link.portOpen()) link.port().Close();
  link.ShowPageMessage(107, name);

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

bool AutoDetect(Link& link, DetectTarget& target) {
  LinkHost& host = link.host();
  link.beep();
  host.notice(link.session().msg(55));
  const int portCount = link.session().settings.portCount;
  host.selectPortIndex(0);
  for (;;) {
    bool found = false;
    if (tryPort(link, target, found)) return found;
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
