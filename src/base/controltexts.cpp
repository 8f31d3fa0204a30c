#include "base/controltexts.h"

#include "base/bilingual.h"

namespace qxr {

namespace {

TextPair pattern(ControlText text) {
  switch (text) {
    case ControlText::kStopButton: return {"Stop", "停止"};
    case ControlText::kStopTip:
      return {"Stop the transfer after the current frame (Esc)", "在目前的訊框之後停止傳輸 (Esc)"};
    case ControlText::kStopped:
      return {"Stopped by the operator: the transfer did not finish.", "操作員已停止傳輸：傳輸未完成。"};
    case ControlText::kPartialProgram:
      return {"The controller now holds program %s only in part (%d of %d lines).",
              "控制器上的程式 %s 只有部分內容（%d / %d 行）。"};
    case ControlText::kDeletePartialQuestion:
      return {"Program %s on the controller is incomplete.\n\nDelete it now?",
              "控制器上的程式 %s 不完整。\n\n現在刪除它嗎？"};
    case ControlText::kNothingWritten:
      return {"Nothing was written; every file is as it was.", "未寫入任何檔案；所有檔案維持原狀。"};
    case ControlText::kTransferRunning:
      return {"A transfer is running.\n\nStop it and quit, or keep it going?",
              "傳輸正在進行中。\n\n要停止傳輸並結束程式，還是繼續傳輸？"};
    case ControlText::kStopAndQuit: return {"Stop and quit", "停止並結束"};
    case ControlText::kKeepGoing: return {"Keep going", "繼續傳輸"};
    case ControlText::kUnsavedQuestion:
      return {"The %s has changes that were not saved or sent.\n\nSave them first?",
              "%s有尚未儲存或傳送的修改。\n\n要先儲存嗎？"};
    case ControlText::kProgramEditor: return {"program editor", "程式編輯區"};
    case ControlText::kParameterEditor: return {"parameter editor", "參數編輯區"};
    case ControlText::kPlcEditor: return {"PLC editor", "PLC 編輯區"};
    case ControlText::kSave: return {"Save", "儲存"};
    case ControlText::kDiscard: return {"Discard", "放棄修改"};
    case ControlText::kCancel: return {"Cancel", "取消"};
    case ControlText::kNoPdfViewer:
      return {"No PDF viewer was found to open the manual. The manual is here:\n%s",
              "找不到可開啟使用手冊的 PDF 閱讀程式。使用手冊位於：\n%s"};
    case ControlText::kRecentFiles: return {"Recent files", "最近的檔案"};
    case ControlText::kInterrupted:
      return {"Stopped by %s: the transfer did not finish.", "因 %s 而停止：傳輸未完成。"};
  }
  return {"", ""};
}

}  // namespace

std::string controlText(int language, ControlText text, std::string_view s, long a, long b) {
  return fillText(language, pattern(text), s, {a, b});
}

}  // namespace qxr
