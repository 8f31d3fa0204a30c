#include "sim/previewtexts.h"

#include "base/bilingual.h"

namespace qxr {

namespace {

constexpr TextPair kTexts[] = {
    {"Preview", "路徑預覽"},
    {"Animation", "動態模擬"},
    {"Fit", "全圖"},
    {"Grid %s", "格線 %s"},
    {"Line %d: skipped %s", "第 %d 行: 略過 %s"},
    {"The path was cut off after %d moves", "路徑在 %d 段移動後截斷"},
    {"%d moves", "共 %d 段移動"},
    {"The program has no moves", "程式沒有任何移動"},
    {"Tool-path preview", "刀具路徑預覽"},
    {"The plane the view looks at", "檢視的平面"},
    {"Show the whole path", "顯示整個路徑"},
    {"Wheel: zoom   Drag: pan   Click: select the line", "滾輪: 縮放   拖曳: 平移   點選: 選取程式行"},
    {"Close", "關閉"},
    {"The run was cut off after %d steps; %s was not written", "模擬在 %d 步後中止, 未寫入 %s"},
};

}  // namespace

std::string previewText(int language, PreviewText text, std::string_view s, long n) {
  return fillText(language, kTexts[static_cast<int>(text)], s, {n});
}

}  // namespace qxr
