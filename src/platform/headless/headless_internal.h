// The window record of the in-memory backend, shared by its files.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/standard_windows.h"
#include "platform/windows.h"

enum class HeadlessWindowKind { layered, standard, control, browser };

struct PlatformWindow {
  HeadlessWindowKind kind = HeadlessWindowKind::layered;
  std::string title;
  int x = 0, y = 0, width = 0, height = 0;
  WindowProc procedure = nullptr;
  std::map<std::string, void*> properties;
  std::vector<uint32_t> image;  // The last pushed image, in device pixels.
  int imageWidth = 0;
  int imageScale = 1;
  int pushCount = 0;
  bool alive = true;
  bool visible = false;
  bool enabled = true;
  // Standard windows and their controls.
  WindowHandle owner = nullptr;
  WindowHandle parent = nullptr;
  std::vector<WindowHandle> children;
  ControlKind controlKind = ControlKind::label;
  int id = 0;
  bool checked = false;
  std::string fontFamily;
  int fontHeight = 0;
  bool bold = false;
  // Browser controls.
  std::vector<std::string> addresses;
};

void HeadlessPost(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam);
WindowHandle HeadlessAddWindow(std::unique_ptr<PlatformWindow> window);
std::vector<WindowHandle> HeadlessAllWindows();
