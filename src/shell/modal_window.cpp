#include "shell/modal_window.h"

#include "base/cp1252.h"
#include "platform/standard_windows.h"
#include "platform/windows.h"
#include "settings/help_window.h"
#include "settings/preferences.h"
#include "widgets/toolkit.h"

namespace {

struct ModalWindowLayout {
  const char* utf8Title;
  WindowProc procedure;
  int width;
  int height;
};

constexpr ModalWindowLayout kPreferences = {"Kestrow préférences", PreferencesWindowProc, 250, 330};
constexpr ModalWindowLayout kHelp = {"Aide Kestrow", HelpWindowProc, 600, 500};

}  // namespace

void RunModalWindow(ModalWindowKind kind) {
  const ModalWindowLayout& layout = kind == ModalWindowKind::preferences ? kPreferences : kHelp;
  int x = PlatformScreenWidth() / 2 - layout.width / 2;
  int y = PlatformScreenHeight() / 2 - layout.height / 2;
  WindowHandle window =
      PlatformCreateStandardWindow(Utf8ToCp1252(layout.utf8Title), x, y, layout.width,
                                   layout.height, toolkit.mainWindow, layout.procedure);
  if (window == nullptr) return;
  PlatformEnableWindow(toolkit.mainWindow, false);
  PlatformRunMessageLoop();
}
