// The replay of a game: its seed and every action with its moment, enough to play the game
// again with the rules alone and reach the same board, score and time. The game records one as
// it is played and sends it with a won result; the score server plays it again to verify the
// time. Nothing here draws, sounds or reads a clock.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

// Raised when the byte layout changes, and when a change to the rules would make an old replay
// play out differently.
inline constexpr uint8_t kReplayFormatVersion = 1;
inline constexpr uint8_t kRulesVersion = 1;

// The six game actions, whatever keys the player has bound to them.
enum class GameAction : uint8_t {
  moveRight = 0,
  moveLeft = 1,
  rotateRight = 2,
  rotateLeft = 3,
  drop = 4,
  moveDown = 5,
};

// One action, at its moment in milliseconds since the game's first piece appeared.
struct ReplayStep {
  uint32_t stamp;
  GameAction action;
};

struct Replay {
  uint8_t formatVersion = kReplayFormatVersion;
  uint8_t rulesVersion = kRulesVersion;
  // The seed of the game's pieces, and whether the score server issued it.
  uint64_t seed = 0;
  bool serverSeed = false;
  // The sound setting: a cleared row's melody holds the game for its pauses.
  bool soundsEnabled = false;
  // The actions in the order they were played; stamps never decrease.
  std::vector<ReplayStep> steps;
  // The moment the game ended, in milliseconds since its first piece appeared.
  uint32_t endStamp = 0;
};

// How a replay plays out under the rules.
struct ReplayOutcome {
  bool won = false;          // reached the goal
  int32_t score = 0;         // points when the replay ended
  uint32_t resultStamp = 0;  // the moment of the event that reached the goal (when won)
};

// The replay as sent: compact binary, compressed with zlib, then base64url without padding.
std::string EncodeReplay(const Replay& replay);
// Reads what EncodeReplay wrote. Refuses, with a short English reason in `error`, anything
// truncated, oversized, of an unknown version or not in order; never reads past `text`.
bool DecodeReplay(std::string_view text, Replay* replay, std::string* error);

// Plays the replay again with the game's own rules, without drawing, sound or clock.
ReplayOutcome PlayReplay(const Replay& replay);

// A moment in milliseconds as the chronometer shows and the scores store it, cut to hundredths:
// minutes * 65536 + seconds * 256 + hundredths.
int32_t PackedTimeOfStamp(uint32_t milliseconds);
