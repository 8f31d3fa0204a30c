// nc convert | nc plot: the simulator's conversion and a headless run whose
// plot is saved as an image.
#include <QImage>
#include <cmath>
#include <cstdio>
#include <string>

#include "base/textio.h"
#include "nc/ncops.h"
#include "nc/ncpage.h"
#include "sim/convert.h"
#include "sim/headless.h"
#include "sim/plot.h"
#include "tool.h"

namespace qxr {

namespace {

struct SimOptions {
  int generation = kGenerationX02;
  std::string dump;
  bool dumpGiven = false;
  std::string output;
  HeadlessOptions run;
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
    if (arg == "--type" && hasValue) {
      const auto generation = generationOf(args[++i]);
      if (!generation) return (code = usageError("--type takes x02 or x00")), false;
      options.generation = *generation;
    } else if (arg == "--dump" && hasValue) {
      options.dump = args[++i];
      options.dumpGiven = true;
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
// simulator button does. False when the file could not be read or the
// conversion failed (the page messages say why).
bool loadAndConvert(ToolContext& context, const SimOptions& options, const std::string& dumpPath,
                    NcConverter& converter) {
  MemoryNcPage page;
  page.gen = options.generation;
  context.host.page = kProgramPage;
  NcOperations operations(context.link(), page);
  if (!operations.readFile(options.positional[0])) return false;
  const SimulatorConversion outcome =
      convertForSimulator(converter, page.lines, dumpPath, context.session.catalogue, context.host);
  if (!dumpPath.empty() && !outcome.emptyProgram && !outcome.dumpWritten)
    std::fprintf(stderr, "qxrtool: could not write %s\n", dumpPath.c_str());
  return outcome.ok();
}

int convertCommand(ToolContext& context, const SimOptions& options) {
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
  if (!result.finished)
    std::fprintf(stderr, "qxrtool: the run was cut off after %ld steps\n", result.ticks);
  const PixelImage& image = plot.image();
  const QImage picture(reinterpret_cast<const uchar*>(image.data()), image.width(), image.height(),
                       image.width() * static_cast<int>(sizeof(Rgb)), QImage::Format_RGB32);
  if (!picture.save(QString::fromStdString(options.output), "PNG")) {
    std::fprintf(stderr, "qxrtool: could not write %s\n", options.output.c_str());
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
  if (args[0] == "convert") return convertCommand(context, options);
  if (options.output.empty()) return usageError("nc plot needs -o OUT.png");
  return plotCommand(context, options);
}

}  // namespace qxr
