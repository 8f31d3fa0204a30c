#pragma once
// In-memory surroundings for the link and the operations in tests.
//
//   qxr::test::TempDir dir;
//   qxr::Session session = qxr::test::makeTestSession(dir);  // message n reads "#n"
//   qxr::test::FakeHost host;
//   qxr::test::FakeClock clock;                               // pauses take no time
//   qxr::TComm port;
//   port.SetPortDirectory(session.startDir);
//   qxr::Link link(port, session, host, clock);
//   ... run an operation ...
//   EXPECT_EQ(host.lines(qxr::kProgramPage), (std::vector<std::string>{"#101COM2", "#108", ...}));
#include <chrono>
#include <cstdint>
#include <deque>
#include <fstream>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "base/host.h"
#include "base/session.h"
#include "link/portholder.h"
#include "support/tempdir.h"

namespace qxr::test {

class FakeHost : public LinkHost {
 public:
  int page = kProgramPage;
  int portIndex = 1;  // COM2, the default port

  // Answers for confirm(), used in order; when they run out, `defaultAnswer`.
  std::deque<bool> answers;
  bool defaultAnswer = true;

  std::vector<std::string> questions;  // every confirm() text
  std::vector<std::string> notices;    // every notice() text
  int beeps = 0;
  int eventRounds = 0;  // processEvents() calls
  // Runs inside processEvents(), e.g. to act while an exchange waits.
  std::function<void()> onProcessEvents;

  // Lines of one page's message box, and of all pages in order.
  const std::vector<std::string>& lines(int pageIndex) const { return pages_[pageIndex]; }
  const std::vector<std::string>& allLines() const { return all_; }
  void clearLines() {
    for (auto& lines : pages_) lines.clear();
    all_.clear();
  }
  bool hasLine(int pageIndex, std::string_view line) const {
    for (const auto& l : pages_[pageIndex])
      if (l == line) return true;
    return false;
  }

  int pageIndex() const override { return page; }
  void appendPageLine(int pageIndex, std::string_view line) override {
    if (pageIndex >= 0 && pageIndex < 3) pages_[pageIndex].emplace_back(line);
    all_.emplace_back(line);
  }
  void beep() override { ++beeps; }
  void processEvents() override {
    ++eventRounds;
    if (onProcessEvents) onProcessEvents();
  }
  int selectedPortIndex() const override { return portIndex; }
  void selectPortIndex(int index) override { portIndex = index; }
  bool confirm(std::string_view question) override {
    questions.emplace_back(question);
    if (answers.empty()) return defaultAnswer;
    const bool answer = answers.front();
    answers.pop_front();
    return answer;
  }
  void notice(std::string_view text) override { notices.emplace_back(text); }

 private:
  std::vector<std::string> pages_[3];
  std::vector<std::string> all_;
};

// Real time plus an offset: pauses (sleepMs) move the offset instead of
// sleeping, so byte pacing and fixed pauses cost nothing, while waits for a
// reply still see time pass. advance() moves time on by hand.
class FakeClock : public Clock {
 public:
  std::uint32_t tickMs() override {
    using namespace std::chrono;
    const auto real = duration_cast<milliseconds>(steady_clock::now() - start_).count();
    return static_cast<std::uint32_t>(real + offset_);
  }
  void sleepMs(std::uint32_t ms) override {
    offset_ += ms;
    slept += ms;
    ++sleeps;
  }
  void advance(std::uint32_t ms) { offset_ += ms; }
  // Start near the wrap of the 32-bit tick, to check that waits survive it.
  void setTick(std::uint32_t tick) { offset_ += static_cast<std::int64_t>(tick) - tickMs(); }

  std::uint64_t slept = 0;  // total of all pauses asked for
  int sleeps = 0;

 private:
  std::chrono::steady_clock::time_point start_ = std::chrono::steady_clock::now();
  std::int64_t offset_ = 0;
};

// A session whose start directory is `dir`, with default settings and a
// catalogue in which message n reads "#n" (so reports are easy to check).
inline Session makeTestSession(const TempDir& dir) {
  Session session;
  session.startDir = dir.dir();
  session.initIniPath = dir.file("Init.Ini");
  std::string catalogue;
  for (int n = 1; n <= 300; ++n) catalogue += "m #" + std::to_string(n) + "\r\n";
  dir.write("Message.C", catalogue);
  session.catalogue.load(dir.file("Message.C"));
  return session;
}

// The page line of a port whose link leads nowhere ("COMn" linked to
// <dir>/<target>, "absent-COMn" as emulator.h's linkMissingPorts makes them),
// with the catalogue of makeTestSession: "#102COMn (<dir>/<target>): <reason>".
inline std::string unopenedPortLine(const TempDir& dir, const std::string& name, std::string target = {},
                                    int language = 0) {
  if (target.empty()) target = "absent-" + name;
  PortOpenFailure failure;
  failure.failure = PortFailure::kDanglingLink;
  return "#102" + name + " (" + dir.file(target) + "): " + portFailureText(language, failure);
}

}  // namespace qxr::test
