#include "shell/startup.h"

#include "game/sound.h"
#include "platform/platform.h"
#include "shell/game_state.h"
#include "shell/main_window.h"
#include "video/video_recorder.h"
#include "widgets/drawing.h"
#include "widgets/widget.h"

namespace {

// General MIDI programs of channels 0 to 7.
constexpr int kChannelPrograms[8] = {117, 112, 115, 55, 113, 114, 116, 10};

}  // namespace

void RunKestrow() {
  gameState = GameState{};
  PlatformStart();
  PlatformSeedRandom(PlatformTickCount());
  StartVideoLibrary();
  gameState.graphicsToken = StartGraphics();
  FillPieceTable(gameState.pieceTable);
  OpenMidi();
  for (int channel = 0; channel < 8; ++channel) SetProgram(channel, kChannelPrograms[channel]);
  OpenWidgetWindow(0, 600, 600, "Kestrow", "Fond", MainWindowProc, 1);
  PlatformShutdown();
}
