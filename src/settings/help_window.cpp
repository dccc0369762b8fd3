#include "settings/help_window.h"

#include "platform/standard_windows.h"
#include "platform/windows.h"
#include "widgets/toolkit.h"

namespace {

// The longest wait for the blank page before the help page is asked for.
constexpr uint32_t kBlankPageWait = 5000;

void ShowHelpPage(WindowHandle window) {
  int width = 0, height = 0;
  PlatformClientSize(window, &width, &height);
  std::string address = PlatformProgramFileAddress("Aide_Kestrow.html");
  WindowHandle browser = PlatformCreateBrowser(window, 0, 0, width, height);
  if (browser == nullptr) return;
  PlatformBrowserNavigate(browser, "about:blank");
  uint32_t start = PlatformTickCount();
  while (PlatformBrowserBusy(browser) && PlatformTickCount() - start < kBlankPageWait) {
    PlatformDispatchPending();
    PlatformSleep(1);
  }
  PlatformBrowserNavigate(browser, address);
}

}  // namespace

intptr_t HelpWindowProc(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  switch (message) {
    case WM_CREATE:
      ShowHelpPage(window);
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
