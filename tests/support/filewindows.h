#pragma once
// Answers the file windows a window under test opens, as the operator
// would: each in the start directory, with the name `name(save)` gives for
// a save window (true) or an open window (false), then OK.
//
//   qxr::test::FileWindowAnswers files(start.dir(), [](bool) { return QString("prog"); });
//   form.WriteFileBtn->click();                    // files.shown == {"save"}
#include <QStringList>
#include <functional>
#include <string>

#include "app/filewindows.h"
#include "support/hook.h"

namespace qxr::test {

class FileWindowAnswers {
 public:
  FileWindowAnswers(std::string dir, std::function<QString(bool save)> name)
      : hook_(setFileWindowHook, [this, dir, name](QDialog& window) {
          auto& files = static_cast<TFileWindowBase&>(window);
          files.setDirectory(dir);
          auto* save = qobject_cast<TSaveFileForm*>(&window);
          shown << (save ? "save" : "open");
          files.FileEdit->setText(name(save != nullptr));
          if (save) save->SaveOKBtn->click();
          else static_cast<TOpenFileForm&>(window).OpenOKBtn->click();
        }) {}

  QStringList shown;  // "save" and "open", in order

 private:
  ScopedHook<FileWindowHook> hook_;
};

}  // namespace qxr::test
