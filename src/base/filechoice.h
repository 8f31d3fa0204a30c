#pragma once
// The file choice shared by the file windows and the page operations.
#include <array>
#include <string>

namespace qxr {

struct FileChoice {
  bool fileChosen = false;        // set by a window only when it produced a path
  std::string currentFilePath;    // the full path produced by the open or save window
  std::array<std::string, 4> rememberedNames{"TMP", "TMP", "TMP", "TMP"};  // per page
  std::string newDirCurrent;      // the new-directory window's directory
};

}  // namespace qxr
