// The preferences and help windows, run modally over the main window.
#pragma once

enum class ModalWindowKind { preferences, help };

void RunModalWindow(ModalWindowKind kind);
