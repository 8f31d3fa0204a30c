#pragma once
// The program page of qxrtool's nc commands, which also records each program
// of a batch in the journal: a batch clears the page's messages as each
// program begins, labels the page with a received program's file before
// writing it, and goes on to the next program only after the last one ended
// well.
#include <memory>
#include <string>
#include <vector>

#include "nc/ncpage.h"
#include "shop/journal.h"
#include "tool.h"

namespace qxr {

class JournalNcPage : public MemoryNcPage {
 public:
  // read-many: `directory` and `prefix` name the files; write-many: `files`.
  void beginBatch(ToolContext& context, std::string operation, std::vector<std::string> files,
                  std::string directory = {}, std::string prefix = {});
  // Records the program under way with the batch's exit code; returns it.
  int endBatch(int code);

  void clearMessages() override;
  void setFileLabel(std::string_view text) override;

 private:
  void endProgram(int code);
  ToolContext* context_ = nullptr;
  std::string operation_;
  std::vector<std::string> files_;
  std::string directory_, prefix_;
  std::unique_ptr<JournalRecorder> current_;
  std::size_t started_ = 0;
  bool labelled_ = false;
  std::vector<std::string> received_;
};

}  // namespace qxr
