#pragma once
// The journal of qxrtool's nc batches: each program of a read many or write
// many is a record of its own, told by the operations as it ends.
#include <memory>
#include <string>

#include "nc/ncops.h"
#include "shop/journal.h"
#include "tool.h"

namespace qxr {

class BatchJournal {
 public:
  // `firstFile`: the file a refused write many is recorded with.
  BatchJournal(ToolContext& context, NcOperations& operations, std::string operation, std::string firstFile = {});
  BatchJournal(const BatchJournal&) = delete;
  BatchJournal& operator=(const BatchJournal&) = delete;
  // A batch refused before its first program is recorded as one transfer;
  // returns `code`.
  int end(int code);

 private:
  ToolContext& context_;
  std::string operation_;
  std::string firstFile_;
  std::unique_ptr<JournalRecorder> current_;
  std::size_t started_ = 0;
};

}  // namespace qxr
