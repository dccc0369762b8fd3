// The chronometer: the time of the game in mm:ss:cc, above the score.
#pragma once

#include <cstdint>

struct GameClock;

GameClock* CreateChronoWidget(int32_t parentKey, int32_t id, int32_t x, int32_t y, int32_t width,
                              int32_t height);
int32_t ChronoCallback(void* object, int32_t message, int32_t wParam, int32_t lParam);
// Shows the time of the game at the current tick, or at `tick`, and keeps it as the result.
void UpdateChronometer();
void UpdateChronometerAt(uint32_t tick);
