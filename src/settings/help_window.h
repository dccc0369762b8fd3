// The help window: the page "Aide_Kestrow.html" beside the program, in a web view.
#pragma once

#include <cstdint>

#include "platform/windows.h"

intptr_t HelpWindowProc(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam);
