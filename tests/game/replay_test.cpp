// Replays recorded by the live game and by the bot, played again with the rules alone; their
// encoding, and what the decoder refuses.
#include "game/replay.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>

#include "game/rules.h"
#include "platform/windows.h"
#include "support/board_helpers.h"
#include "support/replay_games.h"

namespace {

// A whole game played through the window's keys, with sounds on and the timer's falls between
// them, played again from its replay: the same well, score and time.
TEST(Replay, LiveGameReplaysToTheSameEnd) {
  RunGame({[] {
             Board().soundsEnabled = 1;
             ClickButton(1);
           },
           [] {
             const uint32_t gaps[] = {17, 29, 41, 23, 140};
             for (int i = 0; game.clock.running; ++i) {
               HeadlessPressKey(KeyOfAction(Board().keys, BotAction(Board())));
               HeadlessAdvance(gaps[i % 5]);
             }
             const Replay& replay = Board().replay;
             EXPECT_TRUE(replay.soundsEnabled);
             RulesState replayed{};
             EXPECT_TRUE(PlayReplayOn(replay, &replayed));
             ASSERT_TRUE(replayed.won);
             EXPECT_EQ(std::memcmp(replayed.cells, Board().cells, sizeof replayed.cells), 0);
             EXPECT_EQ(replayed.score, Board().score);
             EXPECT_EQ(replay.endStamp, replayed.resultStamp);
             EXPECT_EQ(PackedTimeOfStamp(replayed.resultStamp), Board().resultTime);
           }});
}

bool SameReplay(const Replay& a, const Replay& b) {
  if (a.steps.size() != b.steps.size()) return false;
  for (size_t i = 0; i < a.steps.size(); ++i) {
    if (a.steps[i].stamp != b.steps[i].stamp || a.steps[i].action != b.steps[i].action) {
      return false;
    }
  }
  return a.formatVersion == b.formatVersion && a.rulesVersion == b.rulesVersion &&
         a.seed == b.seed && a.serverSeed == b.serverSeed && a.soundsEnabled == b.soundsEnabled &&
         a.endStamp == b.endStamp;
}

// Every change to a won game's replay is either refused by the decoder or no longer plays out
// to the same win at the same moment.
TEST(Replay, TamperingIsRefusedOrChangesTheOutcome) {
  Replay won = PlayBotGame(1, kHumanPace, true);
  won.serverSeed = true;
  ReplayOutcome outcome = PlayReplay(won);
  ASSERT_TRUE(outcome.won);
  ASSERT_EQ(outcome.resultStamp, won.endStamp);
  std::string text = EncodeReplay(won);
  Replay decoded;
  std::string error;
  ASSERT_TRUE(DecodeReplay(text, &decoded, &error)) << error;
  ASSERT_TRUE(SameReplay(decoded, won));

  using Edit = std::function<void(Replay&)>;
  struct Case {
    const char* name;
    Edit edit;
    bool refused;  // by the decoder, rather than playing out differently
  };
  size_t middle = won.steps.size() / 2;
  const Case cases[] = {
      {"last stamp 10 ms earlier", [](Replay& r) { r.steps.back().stamp -= 10; }, false},
      {"stamps from the middle on 1 s later",
       [&](Replay& r) {
         for (size_t i = middle; i < r.steps.size(); ++i) r.steps[i].stamp += 1000;
         r.endStamp += 1000;
       },
       false},
      {"a middle action dropped", [&](Replay& r) { r.steps.erase(r.steps.begin() + middle); },
       false},
      {"an action added",
       [&](Replay& r) { r.steps.insert(r.steps.begin() + middle, r.steps[middle]); }, false},
      {"an action after the win", [](Replay& r) { r.steps.push_back(r.steps.back()); }, false},
      {"another seed", [](Replay& r) { ++r.seed; }, false},
      {"another format", [](Replay& r) { r.formatVersion = 2; }, true},
      {"other rules", [](Replay& r) { r.rulesVersion = 0; }, true},
      {"an unknown action", [](Replay& r) { r.steps[3].action = static_cast<GameAction>(6); },
       true},
      {"a stamp going back", [](Replay& r) { r.steps[3].stamp = r.steps[2].stamp - 1; }, true},
      {"ending before the last action", [](Replay& r) { r.endStamp = r.steps.back().stamp - 1; },
       true},
      {"too many actions to inflate", [](Replay& r) { r.steps.assign(300000, r.steps.front()); },
       true},
  };
  for (const Case& c : cases) {
    Replay tampered = won;
    c.edit(tampered);
    bool accepted = DecodeReplay(EncodeReplay(tampered), &decoded, &error);
    EXPECT_EQ(accepted, !c.refused) << c.name << ": " << error;
    if (!accepted) continue;
    ReplayOutcome played = PlayReplay(decoded);
    EXPECT_FALSE(played.won && played.resultStamp == outcome.resultStamp &&
                 decoded.endStamp == outcome.resultStamp)
        << c.name;
  }

  // The text itself: cut short, too long, or any one character changed.
  for (size_t cut : {size_t{1}, size_t{2}, text.size() / 2, text.size() - 1}) {
    EXPECT_FALSE(DecodeReplay(text.substr(0, text.size() - cut), &decoded, &error)) << cut;
  }
  EXPECT_FALSE(DecodeReplay(std::string(64 * 1024 + 1, 'A'), &decoded, &error));
  EXPECT_FALSE(DecodeReplay(text + "=", &decoded, &error));
  for (size_t i = 0; i < text.size(); ++i) {
    std::string changed = text;
    changed[i] = changed[i] == 'A' ? 'B' : 'A';
    EXPECT_FALSE(DecodeReplay(changed, &decoded, &error)) << "character " << i;
  }
}

}  // namespace
