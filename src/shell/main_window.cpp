#include "shell/main_window.h"

#include "game/board.h"
#include "game/chronometer.h"
#include "game/new_game.h"
#include "game/sound.h"
#include "platform/cp1252.h"
#include "scores/internet_scores.h"
#include "scores/score_file.h"
#include "shell/game_state.h"
#include "shell/modal_window.h"
#include "video/video_recorder.h"
#include "widgets/drawing.h"
#include "widgets/image_button.h"
#include "widgets/resources.h"
#include "widgets/widget.h"

namespace {

constexpr int kButtonX = 353;
constexpr int kButtonTop = 442;
constexpr int kButtonPitch = 22;
constexpr int kButtonWidth = 202;
constexpr int kButtonHeight = 21;
constexpr uint32_t kTrayIconId = 1;

void LoadMainWindowImages() {
  LoadResourceImage("BN", &gameState.imageBN);
  LoadResourceImage("BE", &gameState.imageBE);
  LoadResourceImage("BP", &gameState.imageBP);
  LoadResourceImage("BA", &gameState.imageBA);
  LoadResourceImage("BQ", &gameState.imageBQ);
  LoadResourceImage("GO", &gameState.imageGO);
  LoadResourceImage("BRAVO", &gameState.imageBRAVO);
  LoadResourceImage("FondO", &gameState.imageFondO);
}

void CreateMainWindowContents(WindowHandle window) {
  LoadMainWindowImages();
  SetWidgetParentWindow(window);
  cairo_surface_t* hotImages[5] = {gameState.imageBN, gameState.imageBE, gameState.imageBP,
                                   gameState.imageBA, gameState.imageBQ};
  for (int id = kCommandNewGame; id <= kCommandQuit; ++id) {
    CreateImageButton(0, id, kButtonX, kButtonTop + kButtonPitch * (id - 1), kButtonWidth,
                      kButtonHeight, nullptr, hotImages[id - 1], nullptr);
  }
  CreateBoardWidget(0, 6, kBoardLeft, kBoardTop, kColumns, kRows);
  CreateChronoWidget(0, 10, 457, 92, 110, 22);
  DecodeRecordedSounds();
}

void ReleaseMainWindow() {
  for (cairo_surface_t** image :
       {&gameState.imageBN, &gameState.imageBE, &gameState.imageBP, &gameState.imageBA,
        &gameState.imageBQ, &gameState.imageGO, &gameState.imageBRAVO}) {
    ReleaseImage(image);
  }
  CloseVideoRecording();
  ShutdownVideoLibrary();
}

void AskToClearScores(WindowHandle window) {
  int answer = PlatformMessageBox(
      window, Utf8ToCp1252("Êtes-vous sûrs de vouloir effacer la liste des scores ?"),
      "Confirmation", MB_YESNO);
  if (answer == IDYES) ClearLocalScores();
}

// A close that arrives while the player reads this box does not show it a second time.
void TellScoresNotSaved() {
  static bool showing = false;
  if (showing) return;
  showing = true;
  PlatformMessageBox(gameState.mainWindow,
                     Utf8ToCp1252("Les scores n'ont pas pu être enregistrés."), "Kestrow",
                     MB_OK | MB_ICONWARNING);
  showing = false;
}

void RunCommand(WindowHandle window, int command) {
  bool running = gameState.clock.running != 0;
  switch (command) {
    case kCommandNewGame:
      if (!running) StartNewGame();
      break;
    case kCommandClearList:
      if (!running && !gameState.playfield.internetScores) AskToClearScores(window);
      break;
    case kCommandPreferences:
      if (!running) RunModalWindow(ModalWindowKind::preferences);
      break;
    case kCommandHelp:
      if (!running) RunModalWindow(ModalWindowKind::help);
      break;
    case kCommandQuit:
      // Closing saves the score file (see WM_CLOSE below).
      PlatformSendMessage(window, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

void FillTrayIcon(WindowHandle window) {
  TrayIcon& icon = gameState.trayIcon;
  icon.window = window;
  icon.id = kTrayIconId;
  icon.callbackMessage = WM_TRAY_CALLBACK;
  icon.tip = "Kestrow";
  for (const char* name :
       {"SYSTRAY_256", "SYSTRAY_128", "SYSTRAY_48", "SYSTRAY_32", "SYSTRAY_16"}) {
    auto bytes = FindEmbeddedResource(name);
    if (!bytes.empty()) icon.images.push_back({bytes.data(), bytes.size()});
  }
  icon.filled = true;
}

}  // namespace

bool ShowTrayIcon(WindowHandle window) {
  if (!gameState.trayIcon.filled) FillTrayIcon(window);
  const TrayIcon& icon = gameState.trayIcon;
  return PlatformAddTrayIcon(icon.window, icon.callbackMessage, icon.tip, icon.images.data(),
                             static_cast<int>(icon.images.size()));
}

intptr_t MainWindowProc(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_CREATE:
      CreateMainWindowContents(window);
      break;
    case WM_DESTROY:
      ReleaseMainWindow();
      break;
    case WM_CLOSE:
      // Every orderly end saves: "Quitter", the window manager's close, SIGTERM and SIGINT.
      if (!SaveScoreFile()) TellScoresNotSaved();
      break;
    case WM_COMMAND:
      RunCommand(window, static_cast<int>(wParam & 0xFFFF));
      break;
    case WM_PAINT: {
      intptr_t result = WidgetWindowDefaultProc(window, message, wParam, lParam);
      // The window shows its first image before the start-up fetch waits for the server.
      RunStartupFetch();
      return result;
    }
    case WM_TRAY_CALLBACK:
      if (lParam == WM_LBUTTONDOWN) {
        PlatformShowWindow(window, true);
        PlatformRemoveTrayIcon(window);
      }
      break;
    default:
      break;
  }
  return WidgetWindowDefaultProc(window, message, wParam, lParam);
}
