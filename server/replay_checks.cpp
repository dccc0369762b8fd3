#include "replay_checks.h"

#include <algorithm>

namespace {

// The most stamps of `stamps` (in order) within any span of `spanMs` milliseconds.
int MostWithin(const std::vector<uint32_t>& stamps, uint32_t spanMs) {
  int most = 0;
  size_t first = 0;
  for (size_t last = 0; last < stamps.size(); ++last) {
    while (stamps[last] - stamps[first] >= spanMs) ++first;
    most = std::max(most, static_cast<int>(last - first + 1));
  }
  return most;
}

bool IsRepeat(const std::vector<ReplayStep>& steps, size_t i) {
  return i > 0 && steps[i].action == steps[i - 1].action &&
         steps[i].stamp - steps[i - 1].stamp <= kRepeatGapMs;
}

// Whether most changes from one action to another come too close to the previous action.
bool MostChangesClose(const std::vector<ReplayStep>& steps) {
  int changes = 0;
  int close = 0;
  for (size_t i = 1; i < steps.size(); ++i) {
    if (steps[i].action == steps[i - 1].action) continue;
    ++changes;
    if (steps[i].stamp - steps[i - 1].stamp < kCloseChangeMs) ++close;
  }
  return changes >= kFewestChangesJudged && 2 * close > changes;
}

}  // namespace

std::string CheckHumanInput(const std::vector<ReplayStep>& steps) {
  std::vector<uint32_t> presses;
  std::vector<uint32_t> actions;
  for (size_t i = 0; i < steps.size(); ++i) {
    actions.push_back(steps[i].stamp);
    if (!IsRepeat(steps, i)) presses.push_back(steps[i].stamp);
  }
  if (MostWithin(presses, 10000) > kMaxPressesPerTenSeconds) return "sustained_rate";
  if (MostWithin(presses, 1000) > kMaxPressesPerSecond) return "burst";
  if (MostWithin(actions, 1000) > kMaxActionsPerSecond) return "held_keys";
  if (MostChangesClose(steps)) return "close_changes";
  return std::string();
}
