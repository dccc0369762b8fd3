// The program from start to end: start the services, open the main window, run until it closes.
#pragma once

void RunKestrow();
