#include "scores/score_file.h"

#include "platform/platform.h"
#include "shell/game_state.h"

namespace {

void SetOption(uint8_t& option, uint8_t& pending, uint8_t value) {
  option = value;
  pending = value;
}

void ApplyDefaults(Playfield& board) {
  SetOption(board.soundsEnabled, board.pendingSoundsEnabled, 1);
  SetOption(board.ghostEnabled, board.pendingGhostEnabled, 1);
  SetOption(board.internetScores, board.pendingInternetScores, 1);
  SetOption(board.opaqueBackground, board.pendingOpaqueBackground, 0);
  board.keys = {VK_RIGHT, VK_LEFT, VK_UP, VK_CONTROL, VK_DOWN, VK_SHIFT};
}

}  // namespace

void LoadScoreFile() {
  Playfield& board = gameState.playfield;
  gameState.videoCapture = 0;
  gameState.pendingVideoCapture = 0;
  ApplyDefaults(board);
  EmptyScoreTable(board.localTable);
  EmptyScoreTable(board.internetTable);
  board.scoresChanged = 0;
}

void SaveScoreFile() {}

void ClearLocalScores() {}
