#include "shell/startup.h"

#include "base/random.h"
#include "game/board.h"
#include "game/game.h"
#include "game/rules.h"
#include "game/sound.h"
#include "platform/windows.h"
#include "scores/internet_scores.h"
#include "scores/ranking.h"
#include "scores/score_file.h"
#include "scores/score_list.h"
#include "settings/key_bindings.h"
#include "shell/main_window.h"
#include "video/video_recorder.h"
#include "widgets/drawing.h"
#include "widgets/toolkit.h"
#include "widgets/widget.h"

namespace {

// General MIDI programs of channels 0 to 7.
constexpr int kChannelPrograms[8] = {117, 112, 115, 55, 113, 114, 116, 10};

bool GameRunning() {
  return game.clock.running != 0;
}

bool VideoBusy() {
  return videoRecorder.recording != 0 || videoRecorder.tailCount > 0;
}

void RouteKeyToBoard(int32_t key, int32_t lParam) {
  BoardCallback(&game.playfield, WM_KEYDOWN, key, lParam);
}

void RankWonGame(PackedTime time) {
  std::string name = PromptPlayerName();
  RankFinishedGame(name, time);
}

void ClearRecords() {
  toolkit = Toolkit{};
  game = Game{};
  videoRecorder = VideoRecorder{};
  shell = Shell{};
  keyCaptures.clear();
}

// The toolkit and the game call up into the layers above them only through these.
void RegisterHooks() {
  toolkitHooks = {.gameRunning = GameRunning,
                  .gameTick = GameTick,
                  .endGame = EndGame,
                  .videoBusy = VideoBusy,
                  .captureFrame = CaptureVideoFrame,
                  .boardKey = RouteKeyToBoard,
                  .composeBackground = DrawOpaquePanel,
                  .showTrayIcon = ShowTrayIcon};
  gameHooks = {.loadScores = LoadScoreFile,
               .drawScoreList = DrawScoreList,
               .rankWonGame = RankWonGame,
               .startRecording = StartVideoRecording,
               .stopRecording = StopVideoRecording,
               .requestGameSeed = RequestServerSeed,
               .gameSeed = CollectServerSeed};
}

}  // namespace

void StartKestrow() {
  ClearRecords();
  RegisterHooks();
  PlatformStart();
  SeedRandom(PlatformTickCount());
  StartVideoLibrary();
  toolkit.graphicsToken = StartGraphics();
}

void RunKestrow() {
  StartKestrow();
  OpenMidi();
  for (int channel = 0; channel < 8; ++channel) SetProgram(channel, kChannelPrograms[channel]);
  OpenWidgetWindow(0, 600, 600, "Kestrow", "Fond", MainWindowProc, 1);
  PlatformShutdown();
}
