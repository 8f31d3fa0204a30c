// nc preview: the tool-path preview of a program file written as PNG or SVG.
#include <QByteArray>
#include <QGuiApplication>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>

#include "base/fileio.h"
#include "base/textio.h"
#include "nc/ncops.h"
#include "nc/ncpage.h"
#include "sim/convert.h"
#include "sim/preview.h"
#include "app/previewpaint.h"
#include "sim/previewtexts.h"
#include "tool.h"

namespace qxr {

namespace {

constexpr int kMaxSide = 8192;
constexpr long kMaxPixels = 32L << 20;  // 128 MiB of image at most

struct PreviewOptions {
  int generation = kGenerationX02;
  std::string output;
  int width = 800, height = 600;
  bool planeGiven = false;
  ViewPlane plane = ViewPlane::XY;
  GivenProgramHeader given;  // --number, --name
  Args positional;
};

bool endsWith(std::string text, const char* tail) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  const std::string t(tail);
  return text.size() > t.size() && text.compare(text.size() - t.size(), t.size(), t) == 0;
}

// "800x600": both sides 16 to 8192 pixels, at most 32 Mi pixels in all.
bool parseSize(const std::string& text, int& width, int& height) {
  const auto x = text.find_first_of("xX");
  if (x == std::string::npos) return false;
  const std::string w = text.substr(0, x), h = text.substr(x + 1);
  const auto digits = [](const std::string& s) {
    return !s.empty() && s.size() <= 5 && s.find_first_not_of("0123456789") == std::string::npos;
  };
  if (!digits(w) || !digits(h)) return false;
  width = std::stoi(w);
  height = std::stoi(h);
  return width >= 16 && height >= 16 && width <= kMaxSide && height <= kMaxSide &&
         long(width) * height <= kMaxPixels;
}

bool parseOptions(const Args& args, PreviewOptions& options, int& code) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--type" && hasValue) {
      const auto generation = generationOf(args[++i]);
      if (!generation) return (code = usageError("--type takes x02 or x00")), false;
      options.generation = *generation;
    } else if (int given = 0; parseGivenHeader(args, i, options.given, given)) {
      if (given == kExitUsage) return (code = kExitUsage), false;
    } else if (arg == "-o" && hasValue) {
      options.output = args[++i];
    } else if (arg == "--size" && hasValue) {
      if (!parseSize(args[++i], options.width, options.height))
        return (code = usageError("--size takes WxH, each side 16 to 8192 pixels, at most 32 Mi pixels")), false;
    } else if (arg == "--plane" && hasValue) {
      const std::string& plane = args[++i];
      options.planeGiven = true;
      if (plane == "xy" || plane == "XY") {
        options.plane = ViewPlane::XY;
      } else if (plane == "xz" || plane == "XZ") {
        options.plane = ViewPlane::XZ;
      } else if (plane == "yz" || plane == "YZ") {
        options.plane = ViewPlane::YZ;
      } else {
        return (code = usageError("--plane takes xy, xz or yz")), false;
      }
    } else if (arg.size() > 1 && arg[0] == '-') {
      return (code = usageError("unknown or incomplete option " + arg)), false;
    } else {
      options.positional.push_back(arg);
    }
  }
  return true;
}

// Text drawing needs the GUI application; without a display it draws offscreen.
std::unique_ptr<QGuiApplication> guiApplication() {
  if (QGuiApplication::instance() != nullptr) return nullptr;
  if (std::getenv("QT_QPA_PLATFORM") == nullptr) setenv("QT_QPA_PLATFORM", "offscreen", 1);
  static int argc = 1;
  static char name[] = "qxrtool";
  static char* argv[] = {name, nullptr};
  return std::make_unique<QGuiApplication>(argc, argv);
}

}  // namespace

int runPreviewCommand(ToolContext& context, const Args& args) {
  PreviewOptions options;
  int code = kExitUsage;
  if (!parseOptions(args, options, code)) return code;
  if (options.positional.size() != 1) return usageError("nc preview takes one FILE");
  const bool svg = endsWith(options.output, ".svg");
  if (!svg && !endsWith(options.output, ".png")) return usageError("nc preview needs -o OUT.png or -o OUT.svg");

  MemoryNcPage page;
  page.gen = options.generation;
  context.host.page = kProgramPage;
  NcOperations operations(operationParts(context.link()), page);
  operations.givenHeader = givenHeaderBytes(context, options.given);
  if (!operations.readFile(options.positional[0])) return kExitFailed;

  const int language = context.session.language();
  LenientConversion conversion = convertLeniently(page.lines);
  for (const ConversionWarning& warning : conversion.warnings)
    std::printf("%s\n", previewText(language, PreviewText::kSkipped, warning.word, warning.line + 1).c_str());
  const PreviewPath path = buildPreviewPath(conversion.table);
  conversion.table.clear();
  const PreviewView view = fitView(path.bounds, options.planeGiven ? options.plane : path.suggestedPlane,
                                   options.width, options.height);

  std::string bytes;
  if (svg) {
    bytes = previewSvg(path, view);
  } else {
    const auto application = guiApplication();
    const std::string grid = previewText(language, PreviewText::kGrid, spacingText(gridSpacing(view.scale)));
    const QByteArray png = previewPng(path, view, QString::fromStdString(grid));
    if (png.isEmpty()) {
      std::fprintf(stderr, "qxrtool: could not draw the preview\n");
      return kExitFailed;
    }
    bytes.assign(png.constData(), static_cast<std::size_t>(png.size()));
  }
  const FileError error = saveFile(options.output, bytes);
  if (error != FileError::kNone) {
    std::fprintf(stderr, "qxrtool: %s\n", fileErrorText(language, error, options.output).c_str());
    return kExitFailed;
  }
  std::printf("%s, %s %s, preview in %s\n", previewText(language, PreviewText::kMoves, {}, long(path.moves.size())).c_str(),
              planeName(view.plane), previewText(language, PreviewText::kGrid, spacingText(gridSpacing(view.scale))).c_str(),
              options.output.c_str());
  if (path.cutOff) {
    // The moves up to the bound are drawn, as the window shows them; the
    // status says the program's path is not whole.
    std::fprintf(stderr, "qxrtool: %s\n", previewText(language, PreviewText::kCutOff, {}, long(path.moves.size())).c_str());
    return kExitFailed;
  }
  return kExitOk;
}

}  // namespace qxr
