// The fault matrix of the automatic search: the controller on COM2, the
// other ports of the list absent.
#include <gtest/gtest.h>

#include "faults/faultrig.h"
#include "link/detect.h"

namespace qxr {
namespace {

using test::FaultKind;
using test::Rig;

struct Target : DetectTarget {
  int modelIndex = -1, versionIndex = -1, refilled = -1;
  void setDetectedModel(int, int model) override { modelIndex = model; }
  void setDetectedVersion(int version) override { versionIndex = version; }
  void refillParameterList(int model) override { refilled = model; }
};
using DetectRow = test::Row<Target>;

DetectRow detectRow() {
  DetectRow row;
  row.operation = "auto-detection";
  row.refusal = "#122";
  row.options.model = 302;
  row.options.version = "M";
  row.run = [](Rig& rig, Target& target) { return AutoDetect(rig.link, target); };
  row.check = [](Rig& rig, Target& target, bool result) {
    const auto& notices = rig.host.notices;
    if (result) {
      EXPECT_EQ(target.modelIndex, 2);
      EXPECT_EQ(target.versionIndex, 2);
      EXPECT_EQ(target.refilled, 2);
      EXPECT_EQ(rig.host.portIndex, 1);
      EXPECT_EQ(notices.size(), 1u);
    } else {
      EXPECT_EQ(target.refilled, -1) << "a parameter list filled for a search that failed";
      // Ended by a failed wait on COM2, or every port tried.
      const bool searchedAll = notices.back() == "Auto detect failure";
      EXPECT_EQ(rig.host.portIndex, searchedAll ? 0 : 1);
    }
    std::string state = "port " + std::to_string(rig.host.portIndex + 1);
    if (target.modelIndex >= 0) state += ", model set";
    if (notices.size() > 1) state += ", notice \"" + notices.back() + "\"";
    return state;
  };
  return row;
}

TEST(DetectFaults, EveryFault) {
  const auto row = detectRow();
  row.runCells(test::faultsAlong(row.cleanFrames()));
  row.runCells(test::lineFaults());
  // Noise before the link-on and the model answers, a NUL in the version
  // answer, a loopback. (Noise all the time is left out: now and then it
  // makes a link-on answer of text alone, which the search takes as a wrong
  // answer and goes on to the next port, as it should.)
  row.runCells({{FaultKind::kNoiseAt, 1}, {FaultKind::kNoiseAt, 2}, {FaultKind::kNulAt, 3}, {FaultKind::kEcho, 0}});
}

}  // namespace
}  // namespace qxr
