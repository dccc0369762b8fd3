#include "widgets/toolkit.h"

Toolkit toolkit;
ToolkitHooks toolkitHooks;
