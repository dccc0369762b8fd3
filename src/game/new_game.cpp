#include "game/new_game.h"

#include <cmath>
#include <string>

#include "base/random.h"
#include "game/board.h"
#include "game/game.h"
#include "game/rules.h"
#include "game/sound.h"
#include "game/status_panels.h"
#include "platform/windows.h"
#include "widgets/drawing.h"
#include "widgets/toolkit.h"
#include "widgets/widget.h"

namespace {

constexpr uint32_t kDigitColour = 0xF0F020;
constexpr uint32_t kFramePause = 10;
// The digits are drawn from their outlines at this size, scaled to each frame's size.
constexpr int kDigitOutlineSize = 100;

void CountDown(int digit) {
  if (game.playfield.soundsEnabled) PlayNote(1, 74, 127, 127);
  int alpha = 0;
  for (int size = 30; size <= 300; size += 6) {
    if (size > 84) {
      PlatformSleep(kFramePause);
      DrawCountdownDigit(digit, size, alpha);
    }
    alpha += 4;
  }
  for (int size = 306; size <= 400; size += 6) {
    PlatformSleep(kFramePause);
    DrawCountdownDigit(digit, size, alpha);
    alpha -= 12;
  }
}

}  // namespace

void StartNewGame() {
  Playfield& board = game.playfield;
  if (gameHooks.requestGameSeed != nullptr) gameHooks.requestGameSeed();
  if (game.videoCapture) gameHooks.startRecording(toolkit.mainWindow);
  ClearStatusPanels(&board);
  for (int digit = 3; digit >= 1; --digit) CountDown(digit);
  DrawCountdownDigit(0, 10, 0);
  uint64_t seed = 0;
  bool serverSeed = gameHooks.gameSeed != nullptr && gameHooks.gameSeed(&seed);
  if (!serverSeed) seed = LocalSeed();
  game.clock.startTick = PlatformTickCount();
  StartGameRules(seed, serverSeed, game.clock.startTick);
  game.clock.running = 1;
  WakeWindowTimers();
  DrawNextPiece(&board);
  DrawNewPiece();
  DrawScore(&board);
}

void DrawCountdownDigit(int digit, int size, int alpha) {
  Widget* widget = game.playfield.widget;
  WidgetWindow* record = BeginWidgetDrawing(widget, DrawingMode::crisp);
  if (record == nullptr) return;
  FillFromSnapshot(record, kBoardLeft, kBoardTop, kColumns * kCellSize, kRows * kCellSize);
  if (widget->fontSize != kDigitOutlineSize) ReplaceWidgetFont(widget, kDigitOutlineSize);
  double scale = static_cast<double>(size) / kDigitOutlineSize;
  std::string text = std::to_string(digit);
  double width = 0, height = 0;
  MeasureWidgetText(widget, text, &width, &height);
  int x = static_cast<int>(std::lround(kBoardLeft + (kColumns * kCellSize - width * scale) / 2));
  int y = static_cast<int>(std::lround(kBoardTop + (kRows * kCellSize - height * scale) / 2));
  uint32_t colour = static_cast<uint32_t>(alpha) * 16777216u + kDigitColour;
  DrawWidgetTextScaled(widget, x, y, scale, text, colour);
  EndWidgetDrawing(record);
}
