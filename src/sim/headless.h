#pragma once
// A whole simulator run without a window: continuous mode, dwells do not
// wait, input waits pass, program stops carry on. The plot ends as the
// window would show it after the run.
#include <string>
#include <vector>

#include "sim/convert.h"
#include "sim/plot.h"

namespace qxr {

struct HeadlessOptions {
  int resolution = 0;      // `ResolutionSel` index 0-4
  bool seconds = false;    // `SetUnit` item 1
  bool mirrorX = false;    // `XDIRCheck`
  bool mirrorY = false;    // `YDIRCheck`
  double displayZ = 0.0;   // `FSpinEdit1`
  // Timer ticks after which a run that has not ended is cut off (a program
  // whose flow words keep it going for hours in the window).
  long maxTicks = 20'000'000;
  // When given, receives the index of every record the run executes, in order.
  std::vector<int>* executed = nullptr;
};

struct HeadlessResult {
  bool finished = false;  // false: cut off after maxTicks
  long ticks = 0;
  std::string extents;    // the `Panel3` text
  std::string position;   // the `Panel2` text at the end
};

HeadlessResult runHeadless(CommandTable& table, const HeadlessOptions& options, PathPlot& plot);

}  // namespace qxr
