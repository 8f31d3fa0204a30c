#pragma once
// A LinkHost that records what the operations show, for the parameter tests.
#include <string>
#include <vector>

#include "app/host.h"

namespace qxr::test {

class RecordingHost final : public LinkHost {
 public:
  struct Line {
    int page;
    std::string text;
  };
  std::vector<Line> lines;
  std::vector<std::string> questions;
  int beeps = 0;
  bool answer = true;
  int page = kParameterPage;
  int portIndex = 0;

  int pageIndex() const override { return page; }
  void appendPageLine(int p, std::string_view line) override { lines.push_back({p, std::string(line)}); }
  void beep() override { ++beeps; }
  void processEvents() override {}
  int selectedPortIndex() const override { return portIndex; }
  void selectPortIndex(int index) override { portIndex = index; }
  bool confirm(std::string_view question) override {
    questions.emplace_back(question);
    return answer;
  }
  void notice(std::string_view) override {}

  std::vector<std::string> texts() const {
    std::vector<std::string> result;
    for (const auto& line : lines) result.push_back(line.text);
    return result;
  }
};

}  // namespace qxr::test
