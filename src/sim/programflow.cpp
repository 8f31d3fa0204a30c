#include "sim/programflow.h"

#include <algorithm>

namespace qxr {

ProgramFlow::ProgramFlow(const CommandTable& table) : table_(table) {}

bool ProgramFlow::isFlowCode(std::uint8_t code) {
  switch (code) {
    case code::Jump:
    case code::Loop:
    case code::Call:
    case code::M02:
    case code::M30:
    case code::M99: return true;
    default: return false;
  }
}

void ProgramFlow::resetCounters(CommandRecord& record) {
  if (record.C == code::Loop) record.Z = record.Y;
  if (record.C == code::Jump) record.Y = 0;
}

int ProgramFlow::findTarget(double lineIndex) const {
  const auto& records = table_.records();
  if (order_ == Order::kUnknown) {
    const bool lines = std::is_sorted(records.begin(), records.end(),
                                      [](const CommandRecord& a, const CommandRecord& b) { return a.N < b.N; });
    order_ = lines ? Order::kLines : Order::kOther;
  }
  if (order_ == Order::kOther) {
    for (std::size_t r = 0; r < records.size(); ++r)
      if (records[r].N == lineIndex) return static_cast<int>(r);
    return -1;
  }
  const auto found = std::lower_bound(records.begin(), records.end(), lineIndex,
                                      [](const CommandRecord& r, double line) { return r.N < line; });
  if (found == records.end() || found->N != lineIndex) return -1;
  return static_cast<int>(found - records.begin());
}

FlowStep ProgramFlow::step(int index, CommandRecord& record, bool prePass) {
  const FlowStep on{FlowStep::kOn, index + 1};
  switch (record.C) {
    case code::Jump: {
      const int r = findTarget(record.X);
      if (r < 0) return on;
      record.Y += 1;
      if (record.Y >= kMaxFlowRepeats) {
        record.Y = 0;
        return on;
      }
      return {FlowStep::kOn, landing(r)};
    }
    case code::Loop: {
      if (record.Z > 1) {
        const int r = findTarget(record.X);
        if (r < 0) return on;
        record.Z -= 1;
        return {FlowStep::kOn, landing(r)};
      }
      record.Z = record.Y;  // the body ran its count: ready for the next time
      return on;
    }
    case code::Call: {
      if (record.Z <= 0) {
        record.Z = record.Y;
        return on;
      }
      const int r = findTarget(record.X);
      if (r < 0) return on;
      if (depth_ + 1 >= kCallStackSize) {
        if (prePass) return on;  // the pre-pass does not follow a call that deep
        stack_[static_cast<std::size_t>(depth_++)] = index;
        return {FlowStep::kEnd, index};
      }
      stack_[static_cast<std::size_t>(depth_++)] = index;
      record.Z -= 1;
      record.U += 1;
      if (record.U >= kMaxFlowRepeats) {
        record.U = 0;  // falls through; the call stays on the stack
        return on;
      }
      return {FlowStep::kOn, landing(r)};
    }
    case code::M02:
    case code::M30:
    case code::M99:
      if (depth_ > 0) return {FlowStep::kReturn, stack_[static_cast<std::size_t>(--depth_)]};
      // At depth 0 the run ends; the pre-pass goes on through the rest of
      // the table, subprogram text included.
      return prePass ? on : FlowStep{FlowStep::kEnd, index};
    default: return on;
  }
}

}  // namespace qxr
