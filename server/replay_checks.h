// Whether the actions of a replay could come from a person at a keyboard or a game controller.
// A program playing the rules can win faster than any person; these bounds refuse it when it
// plays faster than people do, with room for quick players and for held keys.
//
// A "press" is an action that is not the auto-repeat of a held key; a repeat is the same action
// again at most kRepeatGapMs after the previous one (keyboards repeat every 20 to 50 ms).
//  - sustained rate: at most 120 presses in any 10 s (12 a second);
//  - burst: at most 25 presses in any second;
//  - held keys: at most 60 actions in any second, repeats included (a key held at 50 a second,
//    the fastest usual auto-repeat, and presses of others);
//  - different keys: among the changes from one action to another, at least 20 in all, not more
//    than half come under 20 ms after the previous action.
// A player at four presses a second passes them all; the same player ten times faster (40 a
// second) is refused.
#pragma once

#include <string>
#include <vector>

#include "game/replay.h"

inline constexpr uint32_t kRepeatGapMs = 100;
inline constexpr int kMaxPressesPerTenSeconds = 120;
inline constexpr int kMaxPressesPerSecond = 25;
inline constexpr int kMaxActionsPerSecond = 60;
inline constexpr uint32_t kCloseChangeMs = 20;
inline constexpr int kFewestChangesJudged = 20;

// The reason the actions are not humanly plausible ("sustained_rate", "burst", "held_keys",
// "close_changes"); empty when they are. The stamps never decrease.
std::string CheckHumanInput(const std::vector<ReplayStep>& steps);
