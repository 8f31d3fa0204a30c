#include "nc/nctexts.h"

#include "base/bilingual.h"

namespace qxr {

namespace {

constexpr TextPair kTexts[] = {
    {"Cannot open the file %s", "無法開啟檔案 %s"},
    {"Cannot write the file %s; an existing file is left as it was",
     "無法寫入檔案 %s; 原有的檔案保持不變"},
    {"The file is empty: it has no program number line", "檔案是空的: 沒有程式編號行"},
    {"The file ends before its program name line", "檔案在程式名稱行之前就結束了"},
    {"File line %d: the line number jumps too far ahead; its text follows the previous line",
     "檔案第 %d 行: 行號跳躍過大; 此行接在前一行之後"},
    {"Line %d of %d", "第 %d 行 / 共 %d 行"},
    {"Lines received: %d", "已接收行數: %d"},
    {"Program %d of %d", "第 %d 組程式 / 共 %d 組"},
    {"More than %d files are checked: nothing is transferred", "勾選的檔案超過 %d 個: 不進行傳送"},
    {"The file name prefix \"%s\" cannot hold \"/\": the files stay in the chosen directory; nothing was read",
     "檔名字首 \"%s\" 不可含 \"/\": 檔案只存入所選的目錄; 未讀取任何程式"},
    {"The file %s cannot be sent: nothing was sent", "檔案 %s 無法傳送: 未傳送任何程式"},
    {"The file %s changed after it was checked: the batch ends", "檔案 %s 在檢查之後被更改: 批次傳送結束"},
    {"Batch read: %d programs read, %d absent, %d failed or not reached",
     "批次讀取: 已讀取 %d 組程式, %d 組不存在, %d 組失敗或未處理"},
    {"Batch write: %d programs sent, %d failed or not reached", "批次寫入: 已傳送 %d 組程式, %d 組失敗或未處理"},
};

}  // namespace

std::string ncText(int language, NcText text, std::string_view s, long a, long b, long c) {
  return fillText(language, kTexts[static_cast<int>(text)], s, {a, b, c});
}

}  // namespace qxr
