// Saves the score file in its working directory with one of two contents. "save_loop a" or
// "save_loop b" saves that content once (exit status 1 when it could not); "save_loop" saves A,
// writes "r" to its standard output, then saves B, A, B... until it is killed. The crash-safety
// test kills it at random moments.
#include <unistd.h>

#include <string>

#include "game/game.h"
#include "scores/score_file.h"

namespace {

// A: one row and a short name. B: a full table, so that its file is several times longer.
void FillState(bool second) {
  Playfield& board = game.playfield;
  board.lastName = second ? "Bea" : "Anne-Marie";
  board.soundsEnabled = second ? 0 : 1;
  board.ghostEnabled = 1;
  board.internetScores = 0;
  board.opaqueBackground = second ? 1 : 0;
  board.keys = second ? KeyBindings{65, 66, 67, 68, 69, 70} : KeyBindings{39, 37, 38, 17, 40, 16};
  EmptyScoreTable(board.localTable);
  if (second) {
    for (int i = 0; i < kScoreRows; ++i) {
      board.localTable[i] = {"Joueur numero " + std::to_string(i), 70000 + 300 * i};
    }
  } else {
    board.localTable[0] = {"Anne-Marie", 71469};
  }
  board.scoresChanged = 1;
}

bool Save(bool second) {
  FillState(second);
  return SaveScoreFile();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 1) return Save(std::string(argv[1]) == "b") ? 0 : 1;
  Save(false);
  if (::write(STDOUT_FILENO, "r", 1) != 1) return 1;
  for (bool second = true;; second = !second) Save(second);
}
