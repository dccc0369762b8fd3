#include "shell/main_window.h"

#include "base/cp1252.h"
#include "game/board.h"
#include "game/chronometer.h"
#include "game/game.h"
#include "game/new_game.h"
#include "game/sound.h"
#include "platform/dialogs.h"
#include "platform/gamepad.h"
#include "platform/input.h"
#include "platform/tray.h"
#include "platform/windows.h"
#include "scores/internet_scores.h"
#include "scores/score_file.h"
#include "shell/modal_window.h"
#include "video/video_recorder.h"
#include "widgets/drawing.h"
#include "widgets/image_button.h"
#include "widgets/resources.h"
#include "widgets/toolkit.h"
#include "widgets/widget.h"

Shell shell;

namespace {

constexpr int kButtonX = 353;
constexpr int kButtonTop = 442;
constexpr int kButtonPitch = 22;
constexpr int kButtonWidth = 202;
constexpr int kButtonHeight = 21;
constexpr uint32_t kTrayIconId = 1;
constexpr int kOpaquePanelX = 23;
constexpr int kOpaquePanelY = 20;
constexpr int kOpaquePanelWidth = 305;
constexpr int kOpaquePanelHeight = 531;

void LoadMainWindowImages() {
  LoadResourceImage("BN", &shell.imageBN);
  LoadResourceImage("BE", &shell.imageBE);
  LoadResourceImage("BP", &shell.imageBP);
  LoadResourceImage("BA", &shell.imageBA);
  LoadResourceImage("BQ", &shell.imageBQ);
}

void CreateMainWindowContents(WindowHandle window) {
  LoadMainWindowImages();
  SetWidgetParentWindow(window);
  cairo_surface_t* hotImages[5] = {shell.imageBN, shell.imageBE, shell.imageBP, shell.imageBA,
                                   shell.imageBQ};
  for (int id = kCommandNewGame; id <= kCommandQuit; ++id) {
    CreateImageButton(0, id, kButtonX, kButtonTop + kButtonPitch * (id - 1), kButtonWidth,
                      kButtonHeight, nullptr, hotImages[id - 1], nullptr);
  }
  CreateBoardWidget(0, 6, kBoardLeft, kBoardTop, kColumns, kRows);
  CreateChronoWidget(0, 10, 457, 92, 110, 22);
  ResetSoundForWindow(window);
}

void ReleaseMainWindow() {
  for (cairo_surface_t** image :
       {&shell.imageBN, &shell.imageBE, &shell.imageBP, &shell.imageBA, &shell.imageBQ,
        &game.imageGO, &game.imageBRAVO, &shell.imageFondO}) {
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
  PlatformMessageBox(toolkit.mainWindow, Utf8ToCp1252("Les scores n'ont pas pu être enregistrés."),
                     "Kestrow", MB_OK | MB_ICONWARNING);
  showing = false;
}

void RunCommand(WindowHandle window, int command) {
  bool running = game.clock.running != 0;
  switch (command) {
    case kCommandNewGame:
      if (!running) StartNewGame();
      break;
    case kCommandClearList:
      if (!running && !game.playfield.internetScores) AskToClearScores(window);
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

// The pad plays through the keys the player bound, so the rules cannot tell it from the keyboard.
int32_t KeyOf(PadButton button) {
  const KeyBindings& keys = game.playfield.keys;
  switch (button) {
    case PadButton::left:
      return keys.moveLeft;
    case PadButton::right:
      return keys.moveRight;
    case PadButton::up:
    case PadButton::south:
      return keys.rotateRight;
    case PadButton::east:
      return keys.rotateLeft;
    case PadButton::down:
      return keys.drop;
    case PadButton::west:
    case PadButton::rightShoulder:
      return keys.moveDown;
    case PadButton::back:
      return VK_ESCAPE;
    case PadButton::start:
      break;
  }
  return 0;
}

// Start clicks "Nouvelle partie" as the mouse does, so that the button takes the focus and the
// keys, and so the pad's, then reach the board.
void ClickNewGameButton(WindowHandle window) {
  intptr_t point = MakePointParam(kButtonX + kButtonWidth / 2, kButtonTop + kButtonHeight / 2);
  PlatformSendMessage(window, WM_MOUSEMOVE, 0, point);
  PlatformSendMessage(window, WM_LBUTTONDOWN, 1, point);
  PlatformSendMessage(window, WM_LBUTTONUP, 0, point);
}

void PlayPadButton(WindowHandle window, PadButton button) {
  if (button == PadButton::start) {
    if (game.clock.running == 0) ClickNewGameButton(window);
    return;
  }
  PlatformSendMessage(window, WM_KEYDOWN, KeyOf(button), 0);
  // Escape acts on its character, which the keyboard sends after the key-down.
  if (button == PadButton::back) PlatformSendMessage(window, WM_CHAR, VK_ESCAPE, 0);
}

std::vector<IconImage> EmbeddedIcons(std::initializer_list<const char*> names) {
  std::vector<IconImage> images;
  for (const char* name : names) {
    auto bytes = FindEmbeddedResource(name);
    if (!bytes.empty()) images.push_back({bytes.data(), bytes.size()});
  }
  return images;
}

void FillTrayIcon(WindowHandle window) {
  TrayIcon& icon = shell.trayIcon;
  icon.window = window;
  icon.id = kTrayIconId;
  icon.callbackMessage = WM_TRAY_CALLBACK;
  icon.tip = "Kestrow";
  icon.images =
      EmbeddedIcons({"SYSTRAY_256", "SYSTRAY_128", "SYSTRAY_48", "SYSTRAY_32", "SYSTRAY_16"});
  icon.filled = true;
}

// The images the desktop entry installs as its icon, but the largest: windows show it small.
// Given once the window shows its first image, since decoding them takes a few milliseconds.
void GiveProgramItsIcon() {
  if (shell.programIconGiven) return;
  shell.programIconGiven = true;
  std::vector<IconImage> images =
      EmbeddedIcons({"SYSTRAY_128", "SYSTRAY_48", "SYSTRAY_32", "SYSTRAY_16"});
  PlatformSetProgramIcon(images.data(), static_cast<int>(images.size()));
}

}  // namespace

void DrawOpaquePanel(const WidgetWindow*) {
  if (!game.playfield.opaqueBackground) return;
  DrawImage(ImageDecodedOnce("FondO", &shell.imageFondO), kOpaquePanelX, kOpaquePanelY,
            kOpaquePanelWidth, kOpaquePanelHeight);
}

bool ShowTrayIcon(WindowHandle window) {
  if (!shell.trayIcon.filled) FillTrayIcon(window);
  const TrayIcon& icon = shell.trayIcon;
  return PlatformAddTrayIcon(icon.window, icon.callbackMessage, icon.tip, icon.images.data(),
                             static_cast<int>(icon.images.size()));
}

intptr_t MainWindowProc(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_CREATE:
      CreateMainWindowContents(window);
      PlatformWatchGamepads(window, PlayPadButton);
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
      GiveProgramItsIcon();
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
