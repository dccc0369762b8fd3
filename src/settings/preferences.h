// The preferences window: the five options and the six keys.
#pragma once

#include <cstdint>

#include "platform/windows.h"

intptr_t PreferencesWindowProc(WindowHandle window, uint32_t message, intptr_t wParam,
                               intptr_t lParam);
