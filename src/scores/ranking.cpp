#include "scores/ranking.h"

#include "base/cp1252.h"
#include "game/game.h"
#include "game/sound.h"
#include "platform/dialogs.h"
#include "scores/internet_scores.h"
#include "scores/score_file.h"
#include "scores/score_list.h"
#include "scores/score_server_protocol.h"
#include "widgets/toolkit.h"

namespace {

void Tell(const char* utf8Text, const char* utf8Title) {
  PlatformMessageBox(toolkit.mainWindow, Utf8ToCp1252(utf8Text), Utf8ToCp1252(utf8Title), MB_OK);
}

void PlayIfEnabled(int sound) {
  if (game.playfield.soundsEnabled) PlaySound(sound);
}

// Sends the result to the score server and tells the player the rank it took there.
void RankOnServer(const std::string& name, PackedTime time) {
  std::string reply = SubmitResult(name, time, &game.playfield.replay);
  if (reply == "0") {
    PlayIfEnabled(1);
    Tell("Ce n'est pas suffisant...", "Peut mieux faire!!!");
    return;
  }
  if (LenientNumber(reply) < 1) {
    Tell("Problème de transmission avec le serveur.", "Problème!!!");
    return;
  }
  PlayIfEnabled(2);
  if (reply == "1") {
    Tell("Vous êtes le premier.", "Félicitations!!!");
  } else {
    PlatformMessageBox(toolkit.mainWindow,
                       Utf8ToCp1252("Vous êtes en ") + reply + Utf8ToCp1252("ème position."),
                       "Bravo!!!", MB_OK);
  }
  FetchInternetScores();
}

}  // namespace

std::string PromptPlayerName() {
  std::string typed = PlatformPromptText(
      toolkit.mainWindow, "Kestrow", "Saisissez votre nom/pseudonyme :", game.playfield.lastName,
      kMaxNameLength);
  return CleanPlayerName(typed);
}

void RankFinishedGame(const std::string& name, PackedTime time) {
  Playfield& board = game.playfield;
  board.lastName = name;
  InsertResult(board.localTable, name, time);
  if (board.internetScores) RankOnServer(name, time);
  board.scoresChanged = 1;
  DrawScoreList(true);
}
