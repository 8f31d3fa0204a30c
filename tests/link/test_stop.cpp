// The operator's stop at the link: a wait is cut, a frame not yet begun is
// never written, a frame being written is finished; the stop is reported
// once, the port closed as after any failure, and nothing after it goes out
// until the request is withdrawn.
#include <gtest/gtest.h>

#include <functional>

#include "base/controltexts.h"
#include "link/comm.h"
#include "link/link.h"
#include "support/linkrig.h"
#include "support/fakehost.h"
#include "support/ptypeer.h"

namespace qxr {
namespace {

using Lines = std::vector<std::string>;

class StopHost : public test::FakeHost {
 public:
  bool stop = false;
  bool stopRequested() const override { return stop; }
  void clearStopRequest() override { stop = false; }
  std::vector<ProgressSnapshot> shown;
  int ended = 0;
  void showTransferProgress(const ProgressSnapshot& p) override { shown.push_back(p); }
  void endTransferProgress() override { ++ended; }
};

class StopTest : public ::testing::Test, public test::BasicLinkRig<StopHost> {
 protected:
  StopTest() : peer([](const std::string& frame) -> std::string { return frame == "$%\r\n" ? "$%\r\n" : ""; }, "\n") {
    peer.linkAs(dir, "COM2");
  }
  ~StopTest() override { port.Close(); }  // before the peer goes
  std::string stopped() const { return controlText(session.language(), ControlText::kStopped); }

  test::PtyPeer peer;
};

TEST_F(StopTest, AtTheNextFrameBoundary) {
  const struct {
    const char* what;
    bool byteMode;
    int stopAfterRounds;       // window event rounds before the request
    std::function<bool(Link&)> exchange;
    bool result;
    std::size_t framesAtPeer;  // whole frames the peer got
  } cases[] = {
      // "WAIT" gets no answer: the wait is cut long before its time-out.
      {"a wait is cut", true, 3, [](Link& l) { return l.TransToQXR("WAIT\r\n") && l.ReceiveFromQXR(kReplyLength, 1); },
       false, 1},
      {"a wait is cut (block mode)", false, 3,
       [](Link& l) { return l.TransToQXR("WAIT\r\n") && l.ReceiveFromQXR(kReplyLength, 1); }, false, 1},
      {"no frame begins after it", true, 0, [](Link& l) { return l.TransToQXR("$%\r\n"); }, false, 0},
      // The request comes during the pacing after the second byte: the
      // frame is finished, the wait after it is cut.
      {"a frame being paced is finished", true, 2, [](Link& l) { return l.TransToQXR("$%\r\n"); }, true, 1},
      {"then the wait is cut", true, 2,
       [](Link& l) { return l.TransToQXR("$%\r\n") && l.ReceiveFromQXR(kReplyLength, 1); }, false, 1},
      {"no port opens", true, 0, [](Link& l) { return l.openSelectedPort(); }, false, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    session.settings.transitMode = c.byteMode ? 0 : 1;
    session.settings.bytePacingMs = 10;
    host.stop = false;
    link.resetStop();
    host.clearLines();
    if (std::string(c.what) != "no port opens") {
      link.ConnectRS232();
      ASSERT_TRUE(link.portOpen());
    }
    const std::size_t before = peer.frames().size();
    host.clearLines();
    int rounds = 0;
    host.onProcessEvents = [&] {
      if (++rounds >= c.stopAfterRounds) host.stop = true;
    };
    if (c.stopAfterRounds == 0) host.stop = true;
    const std::uint64_t slept = clock.slept;
    EXPECT_EQ(c.exchange(link), c.result);
    EXPECT_TRUE(link.stopped());
    const bool wasOpen = std::string(c.what) != "no port opens";
    EXPECT_EQ(host.lines(kProgramPage), (wasOpen ? Lines{stopped(), "#107"} : Lines{stopped()}));
    EXPECT_FALSE(link.portOpen());
    // Nothing more goes out while the request stands, and it is not reported again.
    EXPECT_FALSE(link.TransToQXR("$%\r\n"));
    EXPECT_EQ(host.lines(kProgramPage).size(), wasOpen ? 2u : 1u);
    peer.waitForFrames(before + c.framesAtPeer);
    EXPECT_EQ(peer.frames().size() - before, c.framesAtPeer);
    if (c.framesAtPeer) EXPECT_EQ(peer.pending(), "");  // never half a frame
    // The wait never ran into its time-out on the clock.
    EXPECT_LT(clock.slept - slept, 1000u);
    host.onProcessEvents = nullptr;
  }
  // Withdrawn, the link works again.
  host.stop = false;
  session.settings.transitMode = 1;
  ASSERT_TRUE(link.openSelectedPort());
  EXPECT_TRUE(link.TransToQXR("$%\r\n") && link.ReceiveFromQXR(kReplyLength, 1));
  EXPECT_EQ(link.reply(), "$%\r\n");
}

TEST_F(StopTest, ProgressCountsUnitsAndBytesUntilItEnds) {
  session.settings.transitMode = 1;
  ASSERT_TRUE(link.openSelectedPort());
  {
    LinkProgress progress(link, ProgressUnit::kLines, 2);
    ASSERT_TRUE(link.TransToQXR("$%\r\n") && link.ReceiveFromQXR(kReplyLength, 1));
    link.setProgress(1);
    ASSERT_TRUE(link.TransToQXR("$%\r\n") && link.ReceiveFromQXR(kReplyLength, 1));
    link.setProgress(2);
  }
  ASSERT_EQ(host.shown.size(), 3u);
  EXPECT_EQ(host.shown[0].done, 0);
  EXPECT_EQ(host.shown[2].done, 2);
  EXPECT_EQ(host.shown[2].total, 2);
  EXPECT_EQ(host.shown[2].bytes, 16u);  // 4 bytes each way, twice
  EXPECT_EQ(host.ended, 1);
  link.setProgress(3);  // after the end: nothing
  EXPECT_EQ(host.shown.size(), 3u);
}

}  // namespace
}  // namespace qxr
