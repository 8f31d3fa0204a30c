// The automatic search against the controller emulator.
#include <gtest/gtest.h>

#include "link/comm.h"
#include "link/detect.h"
#include "link/link.h"
#include "link/linktexts.h"
#include "support/linkrig.h"
#include "support/emulator.h"
#include "support/fakehost.h"
#include "support/ptypeer.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;

struct RecordingTarget : DetectTarget {
  int typeEntry = -1, modelIndex = -1, versionIndex = -1, refilled = -1;
  void setDetectedModel(int type, int model) override {
    typeEntry = type;
    modelIndex = model;
  }
  void setDetectedVersion(int version) override { versionIndex = version; }
  void refillParameterList(int model) override { refilled = model; }
};

class DetectTest : public ::testing::Test, public test::LinkRig {
 protected:
  DetectTest() {
    session.settings.transitMode = 1;
    host.portIndex = 5;  // the search starts at the first port whatever was selected
    session.versionIndex = 1;
    // A silent line times out at once: each round of a wait moves the clock.
    host.onProcessEvents = [this] { clock.advance(200); };
  }
  bool detect() {
    linkMissingPorts();
    return AutoDetect(link, target);
  }

  RecordingTarget target;
};

TEST_F(DetectTest, EveryModelAndVersion) {
  const struct {
    int model, type, index;
  } models[] = {{102, 0, 0}, {202, 0, 1}, {302, 0, 2}, {101, 1, 3}, {200, 1, 4}, {300, 1, 5}};
  const struct {
    const char* name;
    int index;
  } versions[] = {{"SD", 0}, {"K", 1}, {"M", 2}};
  for (const auto& model : models) {
    for (const auto& version : versions) {
      SCOPED_TRACE(std::to_string(model.model) + version.name);
      test::EmulatorOptions options;
      options.model = model.model;
      options.version = version.name;
      test::Emulator emulator(dir, options);
      target = {};
      host.clearLines();
      ASSERT_TRUE(detect());
      EXPECT_EQ(target.typeEntry, model.type);
      EXPECT_EQ(target.modelIndex, model.index);
      EXPECT_EQ(target.versionIndex, version.index);
      EXPECT_EQ(target.refilled, model.index);
      EXPECT_EQ(session.modelIndex, model.index);
      EXPECT_EQ(session.versionIndex, version.index);
      EXPECT_EQ(host.portIndex, 1);
      EXPECT_FALSE(link.portOpen());
      EXPECT_TRUE(host.notices.size() >= 1 && host.notices.back() == "#55");
    }
  }
}

TEST_F(DetectTest, ReportsAndFramesOfASuccessfulSearch) {
  test::EmulatorOptions options;
  options.model = 302;
  test::Emulator emulator(dir, options);
  ASSERT_TRUE(detect());
  EXPECT_EQ(host.lines(kProgramPage),
            (Lines{test::unopenedPortLine(dir, "COM1"), "#101COM2", "#108", "QXR-302", "V1.02S\x03", "#107COM2"}));
  EXPECT_EQ(emulator.framesIn(), (Lines{"\x02LON\x03", "\x02QXR\x03", "\x02VER\x03", "\x02LOF\x03"}));
  EXPECT_EQ(host.notices, (Lines{"#55"}));
  EXPECT_EQ(host.beeps, 1);
}

TEST_F(DetectTest, DesignationStartingWithKForcesVersionK) {
  test::EmulatorOptions options;
  options.model = 302;
  options.designation = "\\x06KXR-302";  // the initial may come after other bytes
  options.versionText = "V1.02S";
  test::Emulator emulator(dir, options);
  ASSERT_TRUE(detect());
  EXPECT_EQ(target.versionIndex, 1);
  EXPECT_EQ(target.modelIndex, 2);
  EXPECT_TRUE(host.hasLine(kProgramPage, "KXR-302"));
}

TEST_F(DetectTest, OddVersionTexts) {
  const struct {
    const char* text;
    int version;  // -1: left as it was
    bool wrong;
  } cases[] = {
      {"V2.10M", 2, false},
      {"xxV3.1", 0, false},     // too short after the ".": an other character, SD
      {"V7.33Q", 0, false},     // any other letter: SD
      {"V102", -1, true},       // no ".": wrong
      {"no version", -1, false},  // no "V": the version stays
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    test::EmulatorOptions options;
    options.model = 202;
    options.versionText = c.text;
    test::Emulator emulator(dir, options);
    target = {};
    host.notices.clear();
    session.versionIndex = 1;
    EXPECT_EQ(detect(), !c.wrong);
    EXPECT_EQ(target.versionIndex, c.version);
    EXPECT_EQ(session.versionIndex, c.version < 0 ? 1 : c.version);
    if (c.wrong) {
      EXPECT_EQ(host.notices.back(), "Detect a wrong type or version");
    }
  }
}

TEST_F(DetectTest, WrongModelsAndShortReplies) {
  const struct {
    const char* designation;
    int model;
  } cases[] = {
      {"QXR-999", -1},  // not in the table
      {"QXR302", -1},   // no "-": model number 0
      {"ZZZ", -1},      // no "Q" or "K"
      {"Q-", -1},       // ends right after the "-"
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.designation);
    test::EmulatorOptions options;
    options.designation = c.designation;
    test::Emulator emulator(dir, options);
    target = {};
    host.notices.clear();
    const int beeps = host.beeps;
    EXPECT_FALSE(detect());
    EXPECT_EQ(target.modelIndex, c.model);
    EXPECT_EQ(host.notices, (Lines{"#55", "Detect a wrong type or version"}));
    EXPECT_EQ(host.beeps, beeps + 2);
    EXPECT_EQ(target.refilled, -1);
    EXPECT_EQ(host.portIndex, 1);  // the port where the controller answered
    EXPECT_FALSE(link.portOpen());
  }
}

TEST_F(DetectTest, NoControllerOnASinglePort) {
  session.settings.portCount = 1;
  EXPECT_FALSE(detect());
  EXPECT_EQ(host.lines(kProgramPage), (Lines{test::unopenedPortLine(dir, "COM1")}));
  EXPECT_EQ(host.notices, (Lines{"#55", "Auto detect failure"}));
  EXPECT_EQ(host.beeps, 2);
  EXPECT_EQ(host.portIndex, 0);
}

TEST_F(DetectTest, PortsNineAndTenAndPortsThatDoNotAnswer) {
  session.settings.portCount = 10;
  // COM1 is silent, COM2 refuses the link-on, COM3 answers it with other
  // with a reply that does not end; the controller is on port number 10.
  test::PtyPeer silent([](const std::string&) { return std::string(); });
  silent.linkAs(dir, "COM1");
  test::EmulatorOptions refusing;
  refusing.refuse = {"LON"};
  test::Emulator refuser(dir, refusing);
  test::EmulatorOptions longer;
  longer.portName = "COM3";
  longer.overlong = true;
  test::Emulator chatty(dir, longer);
  test::EmulatorOptions options;
  options.portName = "COM10";
  options.model = 101;
  test::Emulator emulator(dir, options);

  ASSERT_TRUE(detect());
  EXPECT_EQ(host.portIndex, 9);
  EXPECT_EQ(target.modelIndex, 3);
  const Lines& lines = host.lines(kProgramPage);
  const Lines expectedStart = {"#101COM1", "#108", "#103", "#107", "#107COM1",
                               "#101COM2", "#108", "#122", "#107", "#107COM2",
                               "#101COM3", "#108", linkText(session.language(), LinkText::kUnended, {}, kReplyLength),
                               "#107", "#107COM3"};
  ASSERT_GE(lines.size(), expectedStart.size());
  EXPECT_EQ(Lines(lines.begin(), lines.begin() + static_cast<long>(expectedStart.size())), expectedStart);
  EXPECT_TRUE(host.hasLine(kProgramPage, test::unopenedPortLine(dir, "COM9")));
  EXPECT_TRUE(host.hasLine(kProgramPage, "#101\\\\.\\COM10"));
  EXPECT_TRUE(host.hasLine(kProgramPage, "#107\\\\.\\COM10"));
}

TEST_F(DetectTest, SearchEndsQuietlyWhenTheControllerStopsAnswering) {
  test::EmulatorOptions options;
  options.silentAfter = 2;  // link-on and model, then nothing
  test::Emulator emulator(dir, options);
  EXPECT_FALSE(detect());
  EXPECT_EQ(host.notices, (Lines{"#55"}));
  const Lines& lines = host.lines(kProgramPage);
  EXPECT_EQ(Lines(lines.end() - 2, lines.end()), (Lines{"#103", "#107"}));
  EXPECT_EQ(host.portIndex, 1);
}

}  // namespace
}  // namespace qxr
