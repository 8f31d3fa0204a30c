#pragma once
// The automatic search for the controller: tries the ports in turn,
// identifies model and version on the first that answers.
#include <string>
#include <string_view>

#include "link/link.h"

namespace qxr {

// What the search sets on the main window. Setting the choices this way does
// not run the radio buttons' own handlers.
class DetectTarget {
 public:
  virtual ~DetectTarget() = default;
  // The `TypeSel` entry (0 "QXR X02", 1 "QXR X00/X01"), the model radio
  // button and the model index.
  virtual void setDetectedModel(int typeEntry, int modelIndex) = 0;
  // The version radio button and the version index (0 SD, 1 K, 2 M).
  virtual void setDetectedVersion(int versionIndex) = 0;
  // Refills the parameter list for the detected model.
  virtual void refillParameterList(int modelIndex) = 0;
};

// The model reply: the designation runs from its first "Q" or "K" for at
// most seven characters; the model number follows its first "-".
struct ModelReply {
  bool hasInitial = false;  // a "Q" or "K" was found
  char initial = '\0';
  std::string designation;
  int number = 0;
  int typeEntry = -1;       // -1: a number the search does not know
  int modelIndex = -1;
};
ModelReply parseModelReply(std::string_view reply);

// The version reply: the text from its first "V"; the letter three places
// after its last "." selects the version (SD for any letter but K and M).
struct VersionReply {
  std::string text;       // empty: no "V", the version stays as it was
  bool hasDot = false;    // a text without "." marks the search wrong
  int versionIndex = -1;  // set when the text has a "."
};
VersionReply parseVersionReply(std::string_view reply);

// `AutoDetectBtnClick`: true when a controller was found and identified
// without a wrong type or version; the port then stays selected.
bool AutoDetect(Link& link, DetectTarget& target);

}  // namespace qxr
