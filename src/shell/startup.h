// The program from start to end: start the services, open the main window, run until it closes.
#pragma once

// Clears every record, registers the hooks that wire the layers together and starts the
// services: all that comes before the main window opens.
void StartKestrow();
void RunKestrow();
