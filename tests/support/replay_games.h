// Whole won games played through the rules engine by a simple placement bot, as replays.
#pragma once

#include <cstdint>

#include "game/replay.h"
#include "game/rules_engine.h"

// The bot's pace: each action comes a uniformly drawn gap after the previous one.
struct ReplayPace {
  uint32_t minGapMs;
  uint32_t maxGapMs;
};
// About four actions a second, as a quick player presses keys.
inline constexpr ReplayPace kHumanPace = {170, 330};
// The same bot ten times faster.
inline constexpr ReplayPace kBot10xPace = {17, 33};

// The bot's next action: it picks for the falling piece the rotation and column that land it
// low, clear rows and leave few holes and a smooth stack, turns it, moves it there and drops it
// (at once when a turn or move is blocked).
GameAction BotAction(const RulesState& state);

// Plays a game from `seed` with the bot until it ends and returns the replay the live game
// would record. The bot wins from every seed tried so far (check PlayReplay(replay).won).
Replay PlayBotGame(uint64_t seed, ReplayPace pace, bool soundsEnabled = false);
