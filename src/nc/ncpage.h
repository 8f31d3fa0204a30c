#pragma once
// What the NC program operations read and write on the program page. The
// main window implements it with its widgets; qxrtool and the tests hold the
// same state in memory (MemoryNcPage).
#include <string>
#include <string_view>
#include <vector>

#include "base/session.h"

namespace qxr {

class NcPage {
 public:
  virtual ~NcPage() = default;

  // `ProgramMemo`: one entry per editor line, bytes in the operator's code page.
  virtual std::vector<std::string> programLines() const = 0;
  virtual void setProgramLines(std::vector<std::string> lines) = 0;
  virtual void appendProgramLine(std::string_view line) = 0;
  void clearProgram() { setProgramLines({}); }

  // `ProgNoEdit`, 1 to 99.
  virtual int programNumber() const = 0;
  virtual void setProgramNumber(int number) = 0;
  // `ProgNameEdit` (bytes, at most 8). The name the controller reports for a
  // number looked up is kept by the operation (NcOperations::controllerName).
  virtual std::string programName() const = 0;
  virtual void setProgramName(std::string_view name) = 0;
  // `TypeSel`: kGenerationX02 or kGenerationX00.
  virtual int generation() const = 0;

  // `FileNameLabel` (catalogue text followed by a path).
  virtual void setFileLabel(std::string_view text) = 0;
  // Empties `MsgMemo`.
  virtual void clearMessages() = 0;
  // The editor is hidden while it is filled, so that it is not redrawn per line.
  virtual void setEditorVisible(bool visible) = 0;
  virtual void focusEditor() = 0;
  virtual void scrollEditorToTop() = 0;
  // Progress of a long transfer ("line i of n"); empty text when it ends.
  // Shown beside the messages, never added to them.
  virtual void showProgress(std::string_view text) = 0;
};

// The page state in memory.
class MemoryNcPage : public NcPage {
 public:
  std::vector<std::string> lines;
  int number = 1;
  std::string name;
  int gen = kGenerationX02;
  std::string fileLabel;
  bool editorVisible = true;
  int messageClears = 0;
  int progressUpdates = 0;
  std::string lastProgress;

  std::vector<std::string> programLines() const override { return lines; }
  void setProgramLines(std::vector<std::string> l) override { lines = std::move(l); }
  void appendProgramLine(std::string_view line) override { lines.emplace_back(line); }
  int programNumber() const override { return number; }
  void setProgramNumber(int n) override { number = n; }
  std::string programName() const override { return name; }
  void setProgramName(std::string_view n) override { name = n; }
  int generation() const override { return gen; }
  void setFileLabel(std::string_view text) override { fileLabel = text; }
  void clearMessages() override { ++messageClears; }
  void setEditorVisible(bool visible) override { editorVisible = visible; }
  void focusEditor() override {}
  void scrollEditorToTop() override {}
  void showProgress(std::string_view text) override {
    ++progressUpdates;
    lastProgress = text;
  }
};

}  // namespace qxr
