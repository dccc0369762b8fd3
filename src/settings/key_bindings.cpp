#include "settings/key_bindings.h"

#include "platform/input.h"
#include "platform/standard_windows.h"
#include "platform/windows.h"
#include "widgets/widget.h"

std::deque<KeyCaptureRecord> keyCaptures;

namespace {

struct FixedKeyName {
  int32_t code;
  const char* name;
};

constexpr FixedKeyName kFixedNames[] = {
    {VK_UP, "Haut"},        {VK_DOWN, "Bas"},      {VK_RIGHT, "Droite"},   {VK_LEFT, "Gauche"},
    {VK_SPACE, "Espace"},   {VK_RETURN, "Entrer"}, {VK_SHIFT, "Shift"},    {VK_CONTROL, "Control"},
    {VK_ESCAPE, "Echappe"}, {VK_BACK, "Effacer"},  {VK_PRIOR, "PageHaut"}, {VK_NEXT, "PageBas"},
    {VK_HOME, "Debut"},     {VK_END, "Fin"},
};

// The program's upper-case rule: only 97-122 and 224-255 are lowered by 32.
int32_t UpperCase(int32_t code) {
  bool lower = (code >= 97 && code <= 122) || (code >= 224 && code <= 255);
  return lower ? code - 32 : code;
}

}  // namespace

std::string KeyName(int32_t keyCode) {
  for (const FixedKeyName& fixed : kFixedNames) {
    if (fixed.code == keyCode) return fixed.name;
  }
  if (keyCode >= VK_NUMPAD0 && keyCode <= VK_NUMPAD0 + 9) {
    return "Num" + std::to_string(keyCode - VK_NUMPAD0);
  }
  if (keyCode <= 0 || keyCode > 255) return std::string();
  return std::string(1, static_cast<char>(UpperCase(keyCode)));
}

void AttachKeyCapture(WindowHandle editWindow, int32_t keyCode, int32_t actionIndex) {
  KeyCaptureRecord& record = keyCaptures.emplace_back();
  record.editWindow = editWindow;
  record.actionIndex = actionIndex;
  record.keyCode = keyCode;
  record.previousProcedure = PlatformSubclassWindow(editWindow, KeyCaptureEditProc);
  PlatformSetWindowProperty(editWindow, kRecordProperty, &record);
  PlatformSetWindowText(editWindow, KeyName(keyCode));
}

intptr_t KeyCaptureEditProc(WindowHandle window, uint32_t message, intptr_t wParam,
                            intptr_t lParam) {
  auto* record = static_cast<KeyCaptureRecord*>(PlatformGetWindowProperty(window, kRecordProperty));
  if (message == WM_CHAR) return 0;
  if (message == WM_KEYDOWN) {
    record->keyCode = static_cast<int32_t>(wParam);
    PlatformSetWindowText(window, KeyName(record->keyCode));
    return 0;
  }
  return record->previousProcedure(window, message, wParam, lParam);
}

int32_t CapturedKey(int32_t actionIndex) {
  for (const KeyCaptureRecord& record : keyCaptures) {
    if (record.actionIndex == actionIndex) return record.keyCode;
  }
  return 0;
}
