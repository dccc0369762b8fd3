#include "shell/modal_window.h"

void RunModalWindow(ModalWindowKind) {}
