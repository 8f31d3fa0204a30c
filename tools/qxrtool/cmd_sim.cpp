// nc convert | nc plot: the simulator's conversion and a headless run whose
// plot is saved as an image.
#include <QBuffer>
#include <QByteArray>
#include <QImage>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/codec.h"
#include "base/fileio.h"
#include "base/textio.h"
#include "nc/ncops.h"
#include "nc/programtext.h"
#include "nc/ncpage.h"
#include "sim/convert.h"
#include "sim/headless.h"
#include "sim/plot.h"
#include "sim/previewtexts.h"
#include "tool.h"

namespace qxr {

namespace {

struct SimOptions {
  int generation = kGenerationX02;
  std::string dump;
  bool dumpGiven = false;
  std::string output;
  HeadlessOptions run;
  GivenProgramHeader given;  // --number, --name
  Args positional;
};

bool parseDecimal(const std::string& text, double& value) {
  if (text.empty() || !passesNumberCheck(text)) return false;
  value = decimalValue(text);
  return std::isfinite(value);
}

// False after a usage error was printed (`code` holds the exit code then).
bool parseOptions(const Args& args, SimOptions& options, int& code) {
  for (std::size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    const bool hasValue = i + 1 < args.size();
    if (arg == "--") {
      options.positional.insert(options.positional.end(), args.begin() + static_cast<long>(i) + 1, args.end());
      break;
    }
    if (arg == "--type" && hasValue) {
      const auto generation = generationOf(args[++i]);
      if (!generation) return (code = usageError("--type takes x02 or x00")), false;
      options.generation = *generation;
    } else if (arg == "--dump" && hasValue) {
      options.dump = args[++i];
      options.dumpGiven = true;
    } else if (int given = 0; parseGivenHeader(args, i, options.given, given)) {
      if (given == kExitUsage) return (code = kExitUsage), false;
    } else if (arg == "-o" && hasValue) {
      options.output = args[++i];
    } else if (arg == "--resolution" && hasValue) {
      const std::string& value = args[++i];
      if (value.size() != 1 || value[0] < '0' || value[0] > '4')
        return (code = usageError("--resolution takes 0 to 4")), false;
      options.run.resolution = value[0] - '0';
    } else if (arg == "--seconds") {
      options.run.seconds = true;
    } else if (arg == "--mirror-x") {
      options.run.mirrorX = true;
    } else if (arg == "--mirror-y") {
      options.run.mirrorY = true;
    } else if (arg == "--z" && hasValue) {
      if (!parseDecimal(args[++i], options.run.displayZ))
        return (code = usageError("--z takes a decimal number")), false;
    } else if (arg.size() > 1 && arg[0] == '-') {
      return (code = usageError("unknown or incomplete option " + arg)), false;
    } else {
      options.positional.push_back(arg);
    }
  }
  return true;
}

// Reads FILE as the program page opens it and converts its lines as the
// simulator button does. False when the file could not be read, the
// conversion failed or the dump asked for could not be written (the page
// messages or stderr say why).
bool loadAndConvert(ToolContext& context, const SimOptions& options, const std::string& dumpPath,
                    NcConverter& converter) {
  MemoryNcPage page;
  page.gen = options.generation;
  context.host.page = kProgramPage;
  NcOperations operations(operationParts(context.link()), page);
  operations.givenHeader = givenHeaderBytes(context, options.given);
  if (!operations.readFile(options.positional[0])) return false;
  // The simulator's blocks know no comments: a plain program runs without them.
  const int language = context.session.language();
  if (readProgramText(options.positional[0], page.gen == kGenerationX02, language, operations.givenHeader).plain())
    for (std::string& line : page.lines) line = withoutComments(line);
  const SimulatorConversion outcome =
      convertForSimulator(converter, page.lines, dumpPath, context.session.catalogue, context.host);
  if (!dumpPath.empty() && !outcome.emptyProgram && !outcome.dumpWritten) {
    const std::string reason = fileErrorText(context.session.language(), outcome.dumpError, dumpPath);
    std::fprintf(stderr, "qxrtool: could not write the dump: %s\n",
                 displayUtf8(reason, context.session.language()).c_str());
    return false;
  }
  return outcome.ok();
}

int convertCommand(ToolContext& context, const SimOptions& options) {
  // As the simulator button does, the dump goes into the start directory.
  const std::string dumpPath = options.dumpGiven ? options.dump : joinPath(context.session.startDir, "Test.TXT");
  NcConverter converter;
  if (!loadAndConvert(context, options, dumpPath, converter)) return kExitFailed;
  std::printf("%d records, dump in %s\n", converter.table().CommandCount(), dumpPath.c_str());
  return kExitOk;
}

int plotCommand(ToolContext& context, const SimOptions& options) {
  NcConverter converter;
  if (!loadAndConvert(context, options, options.dumpGiven ? options.dump : std::string(), converter))
    return kExitFailed;
  PathPlot plot;
  const HeadlessResult result = runHeadless(converter.table(), options.run, plot);
  if (!result.finished) {
    // The plot of part of a run is no plot of the program: nothing is written.
    const std::string text = previewText(context.session.language(), PreviewText::kRunCutOff, options.output, result.ticks);
    std::fprintf(stderr, "qxrtool: %s\n", text.c_str());
    return kExitFailed;
  }
  const PixelImage& image = plot.image();
  const QImage picture(reinterpret_cast<const uchar*>(image.data()), image.width(), image.height(),
                       image.width() * static_cast<int>(sizeof(Rgb)), QImage::Format_RGB32);
  // Encoded in memory and saved whole: a failed save leaves an old image as it was.
  QByteArray png;
  QBuffer buffer(&png);
  buffer.open(QIODevice::WriteOnly);
  if (!picture.save(&buffer, "PNG")) {
    std::fprintf(stderr, "qxrtool: could not encode the image\n");
    return kExitFailed;
  }
  const FileError error = saveFile(options.output, std::string_view(png.constData(), static_cast<std::size_t>(png.size())));
  if (error != FileError::kNone) {
    const std::string reason = fileErrorText(context.session.language(), error, options.output);
    std::fprintf(stderr, "qxrtool: could not write the image: %s\n",
                 displayUtf8(reason, context.session.language()).c_str());
    return kExitFailed;
  }
  std::printf("%s\n%s\n%ld steps, plot in %s\n", result.extents.c_str(), result.position.c_str(), result.ticks,
              options.output.c_str());
  return kExitOk;
}

}  // namespace

int runSimCommand(ToolContext& context, const Args& args) {
  SimOptions options;
  int code = kExitUsage;
  if (!parseOptions(args, options, code)) return code;
  if (options.positional.size() != 1) return usageError("nc " + args[0] + " takes one FILE");
  if (options.dumpGiven && refuseSaveTarget(context, options.dump)) return kExitFailed;
  if (args[0] == "convert") return convertCommand(context, options);
  if (options.output.empty()) return usageError("nc plot needs -o OUT.png");
  if (refuseSaveTarget(context, options.output)) return kExitFailed;
  return plotCommand(context, options);
}

}  // namespace qxr
