#include "settings/preferences.h"

#include "base/cp1252.h"
#include "game/game.h"
#include "platform/dialogs.h"
#include "platform/input.h"
#include "platform/standard_windows.h"
#include "platform/windows.h"
#include "scores/internet_scores.h"
#include "scores/score_list.h"
#include "settings/key_bindings.h"
#include "video/video_recorder.h"
#include "widgets/toolkit.h"

namespace {

constexpr int kIdOk = 8;
constexpr int kIdCancel = 9;
constexpr int kIdSounds = 11;
constexpr int kIdInternet = 12;
constexpr int kIdGhost = 13;
constexpr int kIdOpaque = 14;
constexpr int kIdVideo = 15;

const char* const kActionLabels[6] = {"Déplacer à droite", "Déplacer à gauche", "Rotation à droite",
                                      "Rotation à gauche", "Faire chuter",      "Déplacer en bas"};

WindowHandle AddControl(WindowHandle window, ControlKind kind, const char* utf8Text, int x, int y,
                        int width, int height, int id, bool enabled = true) {
  WindowHandle control =
      PlatformCreateControl(window, kind, Utf8ToCp1252(utf8Text), x, y, width, height, id, enabled);
  if (control) PlatformSetControlFont(control, "Verdana", 13, true);
  return control;
}

void AddCheckBox(WindowHandle window, const char* utf8Text, int y, int id, uint8_t option,
                 bool enabled = true) {
  WindowHandle box =
      AddControl(window, ControlKind::checkBox, utf8Text, 15, y, 220, 16, id, enabled);
  if (box && option) PlatformSetCheck(box, true);
}

void CreatePreferenceControls(WindowHandle window) {
  Playfield& board = game.playfield;
  board.pendingSoundsEnabled = board.soundsEnabled;
  board.pendingGhostEnabled = board.ghostEnabled;
  board.pendingOpaqueBackground = board.opaqueBackground;
  board.pendingInternetScores = board.internetScores;
  game.pendingVideoCapture = game.videoCapture;
  keyCaptures.clear();

  AddControl(window, ControlKind::groupBox, "", 5, 0, 235, 111, 0);
  AddCheckBox(window, "Activer les sons", 10, kIdSounds, board.soundsEnabled);
  AddCheckBox(window, "Fantôme", 30, kIdGhost, board.ghostEnabled);
  AddCheckBox(window, "Fond opaque", 50, kIdOpaque, board.opaqueBackground);
  AddCheckBox(window, "Scores Internet", 70, kIdInternet, board.internetScores);
  // "Capture vidéo" always opens empty, even while capture is on.
  AddCheckBox(window, "Capture vidéo", 90, kIdVideo, 0, VideoCaptureAvailable());
  AddControl(window, ControlKind::groupBox, "Commandes", 5, 115, 235, 150, 0);
  const int32_t keys[6] = {board.keys.moveRight,  board.keys.moveLeft, board.keys.rotateRight,
                           board.keys.rotateLeft, board.keys.drop,     board.keys.moveDown};
  for (int k = 0; k < 6; ++k) {
    AddControl(window, ControlKind::label, kActionLabels[k], 15, 135 + 20 * k, 130, 16, 0);
    WindowHandle field =
        AddControl(window, ControlKind::editField, "", 160, 134 + 20 * k, 70, 18, 0);
    if (field) AttachKeyCapture(field, keys[k], k);
  }
  AddControl(window, ControlKind::pushButton, "OK", 35, 275, 75, 20, kIdOk);
  AddControl(window, ControlKind::pushButton, "Annuler", 140, 275, 75, 20, kIdCancel);
}

void WarnAboutOpaqueBackground(WindowHandle window) {
  PlatformEnableWindow(window, false);
  PlatformMessageBox(
      toolkit.mainWindow,
      Utf8ToCp1252("Cette modification sera effective au prochain démarrage du jeu."),
      "Avertissement", MB_OK | MB_ICONINFORMATION);
  PlatformEnableWindow(window, true);
  PlatformSetFocus(window);
}

void ApplyPreferences(WindowHandle window) {
  Playfield& board = game.playfield;
  if (board.pendingInternetScores) FetchInternetScores();
  board.soundsEnabled = board.pendingSoundsEnabled;
  board.ghostEnabled = board.pendingGhostEnabled;
  board.internetScores = board.pendingInternetScores;
  board.opaqueBackground = board.pendingOpaqueBackground;
  game.videoCapture = game.pendingVideoCapture;
  board.keys = {CapturedKey(0), CapturedKey(1), CapturedKey(2),
                CapturedKey(3), CapturedKey(4), CapturedKey(5)};
  board.scoresChanged = 1;
  PlatformSendMessage(window, WM_CLOSE, 0, 0);
  DrawScoreList(true);
}

void HandleCommand(WindowHandle window, intptr_t id, intptr_t lParam) {
  auto box = reinterpret_cast<WindowHandle>(lParam);
  Playfield& board = game.playfield;
  switch (id) {
    case kIdSounds:
      board.pendingSoundsEnabled = PlatformGetCheck(box);
      break;
    case kIdGhost:
      board.pendingGhostEnabled = PlatformGetCheck(box);
      break;
    case kIdInternet:
      board.pendingInternetScores = PlatformGetCheck(box);
      break;
    case kIdVideo:
      game.pendingVideoCapture = PlatformGetCheck(box);
      break;
    case kIdOpaque:
      board.pendingOpaqueBackground = PlatformGetCheck(box);
      WarnAboutOpaqueBackground(window);
      break;
    case kIdOk:
      ApplyPreferences(window);
      break;
    case kIdCancel:
      PlatformSendMessage(window, WM_CLOSE, 0, 0);
      break;
    default:
      break;
  }
}

}  // namespace

intptr_t PreferencesWindowProc(WindowHandle window, uint32_t message, intptr_t wParam,
                               intptr_t lParam) {
  switch (message) {
    case WM_CREATE:
      CreatePreferenceControls(window);
      break;
    case WM_COMMAND:
      HandleCommand(window, wParam, lParam);
      break;
    case WM_CLOSE:
      PlatformDestroyWindow(window);
      break;
    case WM_DESTROY:
      PlatformEnableWindow(toolkit.mainWindow, true);
      PlatformPostQuitMessage(0);
      break;
    default:
      break;
  }
  return PlatformDefWindowProc(window, message, wParam, lParam);
}
