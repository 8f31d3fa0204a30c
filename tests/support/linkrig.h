#pragma once
// The PC's side of a link for a test: a private start directory, a session
// whose messages read "#n", a fake host, a fake clock whose pauses cost
// nothing, a real port and the link over them.
//
//   qxr::test::LinkRig rig;                 // or derive a fixture from it
//   test::PtyPeer peer(...); peer.linkAs(rig.dir, "COM2");
//   rig.fastTimeouts();                     // a silent line times out at once
//   ASSERT_TRUE(rig.open());
//   EXPECT_EQ(rig.lines(), (Lines{"#101COM2", ...}));
#include <cstdint>
#include <string>
#include <vector>

#include "base/session.h"
#include "link/comm.h"
#include "link/link.h"
#include "support/fakehost.h"
#include "support/startdir.h"

namespace qxr::test {

template <typename Host = FakeHost>
struct BasicLinkRig {
  BasicLinkRig() : session(makeTestSession(dir)), link(port, session, host, clock) {
    port.SetPortDirectory(session.startDir);
  }
  BasicLinkRig(const BasicLinkRig&) = delete;
  BasicLinkRig& operator=(const BasicLinkRig&) = delete;

  // The wait's time-out runs on the fake clock: every round of a wait moves
  // it on by `step`, so a silent line times out at once.
  void fastTimeouts(std::uint32_t step = 100) {
    host.onProcessEvents = [this, step] { clock.advance(step); };
  }
  // Links every COMn the directory lacks to nowhere, so that no search
  // reaches a serial device of the machine.
  void linkMissingPorts() const { test::linkMissingPorts(dir, session.settings.portCount); }
  // Opens the selected port and forgets its report; true when it is open.
  bool open() {
    link.ConnectRS232();
    host.clearLines();
    return link.portOpen();
  }
  const std::vector<std::string>& lines(int page = kProgramPage) const { return host.lines(page); }

  StartDir dir{-1, StartDir::nothing};  // seed it with copyShipped()
  Session session;
  Host host;
  FakeClock clock;
  TComm port;
  Link link;
};

using LinkRig = BasicLinkRig<>;

}  // namespace qxr::test
