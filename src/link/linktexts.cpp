#include "link/linktexts.h"

#include "base/bilingual.h"

namespace qxr {

namespace {

constexpr TextPair kTexts[] = {
    {"Line noise: the reply holds a byte no controller sends (%s at byte %d); nothing of it is kept",
     "線路雜訊: 回覆含有控制器不會送出的位元組 (第 %d 個位元組為 %s); 不保留任何內容"},
    {"The reply is the echo of what was sent: no controller answers on this port (a loopback plug or a wrong "
     "cable?)",
     "回覆是送出資料的回音: 此連接埠上沒有控制器回應 (迴路接頭或接錯線?)"},
    {"The controller sent a line longer than %d bytes, which no program holds: receive stopped",
     "控制器送出超過 %d 位元組的行, 程式不可能有這種行: 停止接收"},
    {"The controller sent more than %d lines: receive stopped", "控制器送出超過 %d 行: 停止接收"},
    {"The controller sent more than %d bytes: receive stopped", "控制器送出超過 %d 位元組: 停止接收"},
    {"The controller's reply did not end: %d bytes without a line end; nothing of it is taken",
     "控制器的回覆沒有結束: %d 個位元組中沒有行尾; 不採用任何內容"},
    {"The line sends more than %d bytes without waiting for the PC: transfer stopped",
     "線路未等待電腦就送出超過 %d 位元組: 停止傳輸"},
};

}  // namespace

std::string linkText(int language, LinkText text, std::string_view s, long a) {
  return fillText(language, kTexts[static_cast<int>(text)], s, {a});
}

}  // namespace qxr
