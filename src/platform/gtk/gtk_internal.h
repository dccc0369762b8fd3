// The window record of the GTK backend, shared by its files.
#pragma once

#include <gtk/gtk.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/pixels.h"
#include "platform/standard_windows.h"
#include "platform/windows.h"

struct TrayIcon {
  WindowHandle window = nullptr;
  GtkStatusIcon* icon = nullptr;
  uint32_t callbackMessage = 0;
  std::vector<GdkPixbuf*> images;
};

struct PlatformWindow {
  GtkWidget* widget = nullptr;
  WindowProc procedure = nullptr;
  std::map<std::string, void*> properties;
  cairo_surface_t* image = nullptr;  // The last pushed image; what the window shows.
  int imageScale = 1;                // Device pixels of `image` per logical pixel.
  // The same image in the X server, which the window is painted from: painting from `image`
  // itself would make cairo keep a shared-memory copy of it in the program as well.
  cairo_surface_t* shown = nullptr;
  unsigned long shownPixmap = 0;
  bool inputShaped = false;  // Input is limited to the visible pixels of `image`.
  bool alive = true;
  bool enabled = true;
  bool visible = false;
  int x = 0;  // Where the window reappears when shown again.
  int y = 0;
  std::map<uintptr_t, guint> timers;  // Timer id → GLib source id.
  guint paintSource = 0;              // The queued WM_PAINT, 0 when none is queued.
  std::unique_ptr<TrayIcon> tray;
  // Standard windows: the container of their controls and their client size.
  GtkWidget* fixed = nullptr;
  int clientWidth = 0;
  int clientHeight = 0;
  std::vector<WindowHandle> children;
  // Controls.
  WindowHandle parent = nullptr;
  ControlKind controlKind = ControlKind::label;
  int id = 0;
};

// Every record made is registered, so that shutdown releases it.
void GtkRegisterWindow(WindowHandle window);
bool GtkAlive(WindowHandle window);
// A termination signal came or the main window is gone: no dialog waits for an answer any more.
bool GtkProgramEnding();
// Runs a dialog's own loop until the dialog quits it, or until the program ends, which ends
// every loop.
void GtkRunDialogLoop(GMainLoop* loop);
// Before `changed` of the window's image is replaced by the same area of `pixels` (an image of
// the same size and scale): limits the window's input to the logical pixels of the new image
// that show something (a device pixel with alpha above 0), unless the push leaves that set as
// it was.
void GtkShapeInput(WindowHandle window, const unsigned char* pixels, int stride,
                   const PixelRect& changed);
// Copies the window's whole image onto its X window at once.
void GtkPresentAll(WindowHandle window);
// Paints the window's image, as it was last pushed, with `cr`; transparent when there is none.
void GtkPaintImage(WindowHandle window, cairo_t* cr);
// Lets go of the window's image and its copy in the X server.
void GtkReleaseImage(WindowHandle window);
// The key values of the pressed physical key at its shift levels.
std::vector<unsigned> GtkKeyLevels(const GdkEventKey* event);
