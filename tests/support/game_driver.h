// Runs the whole program on the headless backend, driven by a list of steps that the message
// loop performs one by one whenever it has nothing else to do.
#pragma once

#include <cairo.h>

#include <functional>
#include <string>
#include <vector>

#include "game/game.h"
#include "platform/headless/headless.h"
#include "settings/key_bindings.h"
#include "shell/main_window.h"
#include "video/video_recorder.h"
#include "widgets/toolkit.h"

using GameStep = std::function<void()>;

// Every test program runs in a fresh temporary directory, where the game keeps its score file.
// RunGame starts without a score file unless one was prepared for it.
void PrepareScoreFile(const std::string& bytes);
// The score file's bytes; false when there is none.
bool ReadScoreFileBytes(std::string* bytes);

// Resets the backend, runs the program through `steps`, then closes it as the window manager
// would. Returns once the program has ended. The display has `displayScale` device pixels per
// logical pixel.
void RunGame(const std::vector<GameStep>& steps, int displayScale = 1);

// The centre of command button `id` (1 to 5).
int ButtonX();
int ButtonY(int id);
void ClickButton(int id);

// Pixel of the main window's last pushed image, unpremultiplied 0xAARRGGBB.
uint32_t ScreenPixel(int x, int y);
// A premultiplied cairo pixel in the unpremultiplied 0xAARRGGBB form the backend reports.
uint32_t Unpremultiplied(uint32_t p);
uint32_t ImagePixel(cairo_surface_t* image, int x, int y);
// Pixel of the main window's bare background, from its snapshot.
uint32_t BackgroundPixel(int x, int y);
// Pixels of the screen box [left, right) x [top, bottom) dark enough to be text.
int InkIn(int left, int top, int right, int bottom);

// Top-left pixel of board cell (column, row).
int CellScreenX(int column);
int CellScreenY(int row);
