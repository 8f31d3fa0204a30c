#pragma once
// The automatic search for the controller: tries the ports in turn,
// identifies model and version on the first that answers.
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

// `AutoDetectBtnClick`: true when a controller was found and identified
// without a wrong type or version; the port then stays selected.
bool AutoDetect(Link& link, DetectTarget& target);

}  // namespace qxr
