#pragma once
// What the PLC operations read and write on the PLC page. The main window
// implements it with its widgets; qxrtool and the tests hold the same state
// in memory (MemoryPlcPage). Messages go through the link's page report.
#include <string>
#include <string_view>
#include <vector>

namespace qxr {

class PlcPage {
 public:
  virtual ~PlcPage() = default;

  // `PLMMemo`: one entry per editor line, bytes in the operator's code page.
  virtual std::vector<std::string> editorLines() const = 0;
  virtual void setEditorLines(std::vector<std::string> lines) = 0;
  virtual void focusEditor() = 0;
  virtual void scrollEditorToEnd() = 0;

  // `TmpMemo`: the data lines of the last receive.
  virtual void setReceivedLines(std::vector<std::string> lines) = 0;

  // `PLMFileNameLabel` (catalogue text followed by a path).
  virtual void setFileLabel(std::string_view text) = 0;

  // `Progress`: a run of ">" (sending, left-aligned) or "<" (receiving,
  // right-aligned); hidden when the transfer ends.
  virtual void showProgress(std::string_view text, bool alignRight) = 0;
  virtual void hideProgress() = 0;

  // `TransDelayValue`: the pause between the end-of-data record and link-off.
  virtual int transferDelayMs() const = 0;

  // The current PLC file, after which the compiled ".mcn" is named.
  virtual std::string plcFilePath() const = 0;
  virtual void setPlcFilePath(std::string path) = 0;
};

class MemoryPlcPage : public PlcPage {
 public:
  std::vector<std::string> lines;
  std::vector<std::string> received;
  std::string fileLabel;
  std::string filePath = "Tmp.mcn";
  int delayMs = 50;
  bool progressVisible = false;
  std::string lastProgress;
  bool lastProgressRight = false;
  int progressUpdates = 0;

  std::vector<std::string> editorLines() const override { return lines; }
  void setEditorLines(std::vector<std::string> l) override { lines = std::move(l); }
  void focusEditor() override {}
  void scrollEditorToEnd() override {}
  void setReceivedLines(std::vector<std::string> l) override { received = std::move(l); }
  void setFileLabel(std::string_view text) override { fileLabel = text; }
  void showProgress(std::string_view text, bool alignRight) override {
    progressVisible = true;
    lastProgress = text;
    lastProgressRight = alignRight;
    ++progressUpdates;
  }
  void hideProgress() override { progressVisible = false; }
  int transferDelayMs() const override { return delayMs; }
  std::string plcFilePath() const override { return filePath; }
  void setPlcFilePath(std::string path) override { filePath = std::move(path); }
};

}  // namespace qxr
