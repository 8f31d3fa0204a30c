#include "sim/previewtexts.h"

namespace qxr {

namespace {

struct TextPair {
  const char* english;
  const char* chinese;
};

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
};

}  // namespace

std::string previewText(int language, PreviewText text, std::string_view s, long n) {
  const TextPair& pair = kTexts[static_cast<int>(text)];
  const std::string_view format = language == 1 ? pair.english : pair.chinese;
  std::string out;
  for (std::size_t i = 0; i < format.size(); ++i) {
    if (format[i] == '%' && i + 1 < format.size() && (format[i + 1] == 's' || format[i + 1] == 'd')) {
      if (format[i + 1] == 's') {
        out += s;
      } else {
        out += std::to_string(n);
      }
      ++i;
      continue;
    }
    out += format[i];
  }
  return out;
}

}  // namespace qxr
