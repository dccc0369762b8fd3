// The game keys: their French names and the edit fields that capture a key instead of text.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "platform/windows.h"

struct KeyCaptureRecord {
  WindowHandle editWindow;
  int32_t actionIndex;
  WindowProc previousProcedure;
  int32_t keyCode;
};

// The capturing fields of the open preferences window; appended, never removed, while it is open.
extern std::deque<KeyCaptureRecord> keyCaptures;

std::string KeyName(int32_t keyCode);
void AttachKeyCapture(WindowHandle editWindow, int32_t keyCode, int32_t actionIndex);
intptr_t KeyCaptureEditProc(WindowHandle window, uint32_t message, intptr_t wParam,
                            intptr_t lParam);
int32_t CapturedKey(int32_t actionIndex);
