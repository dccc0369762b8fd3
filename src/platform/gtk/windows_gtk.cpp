// The platform layer on GTK 3 and X11: layered windows are undecorated toplevels with an RGBA
// visual, messages are calls of the window procedure from GTK's signal handlers, message loops
// are nested GMainLoops and timers are GLib timeout sources.
#include <glib-unix.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstddef>
#include <map>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "base/cp1252.h"
#include "platform/gtk/gtk_internal.h"
#include "platform/gtk/keys_gtk.h"
#include "platform/input.h"
#include "platform/network.h"
#include "platform/tray.h"
#include "platform/windows.h"

namespace {

struct Timer {
  WindowHandle window;
  uintptr_t id;
  TimerProc procedure;
};

}  // namespace

namespace {

// Every window ever made; records of destroyed windows stay (marked dead) so that stale handles
// are harmless until PlatformShutdown.
std::vector<PlatformWindow*> windows;
std::vector<GMainLoop*> loops;  // Running message loops, innermost last.
bool quitPending = false;       // A quit posted while no loop ran.
WindowHandle captureWindow = nullptr;
std::vector<guint> signalSources;
int backgroundWorks = 0;   // PlatformRunInBackground calls under way.
bool terminating = false;  // A termination signal came: no dialog waits for an answer any more.
bool ending = false;       // The main window is gone and every loop was ended.

bool Alive(WindowHandle window) {
  return GtkAlive(window);
}

intptr_t Send(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  if (!Alive(window) || window->procedure == nullptr) return 0;
  return window->procedure(window, message, wParam, lParam);
}

GSource* AttachSource(GSource* source, GSourceFunc callback, gpointer data,
                      GDestroyNotify destroy) {
  // Recursion lets the source fire inside loops nested in its own callback (modal dialogs
  // opened from a timer tick).
  g_source_set_can_recurse(source, TRUE);
  g_source_set_callback(source, callback, data, destroy);
  g_source_attach(source, nullptr);
  return source;
}

// --- Signal handlers -----------------------------------------------------------------------

gboolean OnDraw(GtkWidget*, cairo_t* cr, gpointer data) {
  GtkPaintImage(static_cast<WindowHandle>(data), cr);
  return TRUE;
}

bool AcceptsInput(WindowHandle window) {
  return Alive(window) && window->enabled;
}

gboolean OnMotion(GtkWidget*, GdkEventMotion* event, gpointer data) {
  auto* window = static_cast<WindowHandle>(data);
  if (AcceptsInput(window)) {
    Send(window, WM_MOUSEMOVE, 0,
         MakePointParam(static_cast<int>(event->x), static_cast<int>(event->y)));
  }
  return TRUE;
}

gboolean OnButtonPress(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* window = static_cast<WindowHandle>(data);
  // Double and triple clicks arrive as extra events after the plain presses; ignore them.
  if (!AcceptsInput(window) || event->type != GDK_BUTTON_PRESS) return TRUE;
  intptr_t point = MakePointParam(static_cast<int>(event->x), static_cast<int>(event->y));
  if (event->button == 1) Send(window, WM_LBUTTONDOWN, 0, point);
  if (event->button == 3) Send(window, WM_RBUTTONDOWN, 0, point);
  return TRUE;
}

gboolean OnButtonRelease(GtkWidget*, GdkEventButton* event, gpointer data) {
  auto* window = static_cast<WindowHandle>(data);
  if (AcceptsInput(window) && event->button == 1) {
    Send(window, WM_LBUTTONUP, 0,
         MakePointParam(static_cast<int>(event->x), static_cast<int>(event->y)));
  }
  return TRUE;
}

gboolean OnLeave(GtkWidget* widget, GdkEventCrossing* event, gpointer data) {
  auto* window = static_cast<WindowHandle>(data);
  if (window != captureWindow || !AcceptsInput(window) || event->detail == GDK_NOTIFY_INFERIOR) {
    return FALSE;
  }
  // The point must lie outside the window so that the receiver sees the pointer has left.
  int x = static_cast<int>(event->x);
  int y = static_cast<int>(event->y);
  int width = gtk_widget_get_allocated_width(widget);
  int height = gtk_widget_get_allocated_height(widget);
  if (x >= 0 && x < width && y >= 0 && y < height) x = y = -1;
  Send(window, WM_MOUSEMOVE, 0, MakePointParam(x, y));
  return FALSE;
}

// The key values of the pressed physical key at its shift levels, in the event's group.
}  // namespace

std::vector<unsigned> GtkKeyLevels(const GdkEventKey* event) {
  std::vector<unsigned> levels;
  GdkKeymap* keymap = gdk_keymap_get_for_display(gdk_window_get_display(event->window));
  GdkKeymapKey* keys = nullptr;
  guint* keyvals = nullptr;
  gint count = 0;
  if (gdk_keymap_get_entries_for_keycode(keymap, event->hardware_keycode, &keys, &keyvals,
                                         &count)) {
    for (int i = 0; i < count; ++i) {
      if (keys[i].group != event->group || keys[i].level < 0) continue;
      auto level = static_cast<size_t>(keys[i].level);
      if (levels.size() <= level) levels.resize(level + 1, GDK_KEY_VoidSymbol);
      levels[level] = keyvals[i];
    }
    g_free(keys);
    g_free(keyvals);
  }
  return levels;
}

namespace {

gboolean OnKeyPress(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* window = static_cast<WindowHandle>(data);
  if (!AcceptsInput(window)) return TRUE;
  // Alt combinations are system keys on Windows: no key message at all.
  if (event->state & GDK_MOD1_MASK) return TRUE;
  std::vector<unsigned> levels = GtkKeyLevels(event);
  int virtualKey = VirtualKeyForKey(event->keyval, levels);
  // A key without a code of its own (an accented letter on a layout the table does not know)
  // still types its character.
  if (virtualKey != 0) Send(window, WM_KEYDOWN, virtualKey, 0);
  if (event->state & GDK_CONTROL_MASK) return TRUE;
  int character = CharacterForKeyval(event->keyval);
  if (character >= 0) Send(window, WM_CHAR, character, 0);
  return TRUE;
}

// Once the main window is gone every running loop ends, the modal ones and those waiting for
// background work included, so that the process does not linger with no main window.
void EndEveryLoop() {
  ending = true;
  for (GMainLoop* loop : loops) g_main_loop_quit(loop);
}

gboolean OnDelete(GtkWidget*, GdkEvent*, gpointer data) {
  // A disabled window (under a modal one) cannot be closed, however the window manager asks.
  auto* window = static_cast<WindowHandle>(data);
  if (!AcceptsInput(window)) return TRUE;
  Send(window, WM_CLOSE, 0, 0);
  if (!Alive(window)) EndEveryLoop();
  return TRUE;  // The procedure decides whether the window goes.
}

// A termination signal closes the main window (the first one), which saves what must be saved,
// even under a modal window.
gboolean OnTerminationSignal(gpointer) {
  terminating = true;
  for (WindowHandle window : windows) {
    if (!Alive(window)) continue;
    Send(window, WM_CLOSE, 0, 0);
    if (!Alive(window)) EndEveryLoop();
    return G_SOURCE_CONTINUE;
  }
  PlatformPostQuitMessage(0);
  return G_SOURCE_CONTINUE;
}

bool IsInputEvent(GdkEventType type) {
  switch (type) {
    case GDK_MOTION_NOTIFY:
    case GDK_BUTTON_PRESS:
    case GDK_2BUTTON_PRESS:
    case GDK_3BUTTON_PRESS:
    case GDK_BUTTON_RELEASE:
    case GDK_KEY_PRESS:
    case GDK_KEY_RELEASE:
    case GDK_SCROLL:
    case GDK_TOUCH_BEGIN:
    case GDK_TOUCH_UPDATE:
    case GDK_TOUCH_END:
    case GDK_TOUCH_CANCEL:
      return true;
    default:
      return false;
  }
}

// The layered window a GDK window belongs to, or null for standard windows and dialogs.
WindowHandle LayeredWindowOf(GdkWindow* gdkWindow) {
  for (WindowHandle window : windows) {
    if (!Alive(window) || window->fixed != nullptr || window->parent != nullptr) continue;
    if (window->widget != nullptr && gtk_widget_get_window(window->widget) == gdkWindow) {
      return window;
    }
  }
  return nullptr;
}

// While background work runs, input goes nowhere, as under a modal window; only the main
// window's close still gets through, so that the player can always end the program.
void FilterEvent(GdkEvent* event, gpointer) {
  if (backgroundWorks > 0) {
    if (IsInputEvent(event->type)) return;
    if (event->type == GDK_DELETE && LayeredWindowOf(event->any.window) == nullptr) return;
  }
  gtk_main_do_event(event);
}

// --- Timers and painting -------------------------------------------------------------------

gboolean OnTimer(gpointer data) {
  auto* timer = static_cast<Timer*>(data);
  if (!Alive(timer->window)) return G_SOURCE_REMOVE;
  timer->procedure(timer->window, WM_TIMER, timer->id, PlatformTickCount());
  return G_SOURCE_CONTINUE;
}

void DeleteTimer(gpointer data) {
  delete static_cast<Timer*>(data);
}

gboolean OnPaintQueued(gpointer data) {
  auto* window = static_cast<WindowHandle>(data);
  window->paintSource = 0;
  Send(window, WM_PAINT, 0, 0);
  return G_SOURCE_REMOVE;
}

void RemoveSource(guint& id) {
  if (id != 0) g_source_remove(id);
  id = 0;
}

// Removes what the window holds in GTK and GLib; the record itself stays.
void ReleaseWindow(WindowHandle window) {
  window->alive = false;
  // The controls' widgets go with their window's.
  for (WindowHandle child : window->children) {
    child->alive = false;
    child->widget = nullptr;
  }
  if (captureWindow == window) captureWindow = nullptr;
  for (auto& [id, source] : window->timers) g_source_remove(source);
  window->timers.clear();
  RemoveSource(window->paintSource);
  PlatformRemoveTrayIcon(window);
  if (window->widget != nullptr) {
    g_signal_handlers_disconnect_matched(window->widget, G_SIGNAL_MATCH_DATA, 0, 0, nullptr,
                                         nullptr, window);
    GtkReleaseImage(window);
    gtk_widget_destroy(window->widget);
    window->widget = nullptr;
  }
}

}  // namespace

void GtkRegisterWindow(WindowHandle window) {
  windows.push_back(window);
}

bool GtkAlive(WindowHandle window) {
  return window != nullptr && window->alive;
}

bool GtkProgramEnding() {
  return terminating || ending;
}

void GtkRunDialogLoop(GMainLoop* loop) {
  if (ending) return;
  loops.push_back(loop);
  g_main_loop_run(loop);
  loops.erase(std::find(loops.begin(), loops.end(), loop));
}

// --- Process -------------------------------------------------------------------------------

void PlatformStart() {
  gdk_set_allowed_backends("x11");
  // Everything is drawn with Cairo into images; without this GDK would set up OpenGL to choose
  // its visuals, which loads the GL driver (with llvmpipe, some 50 MB) and slows the start.
  // Child processes (the help page's) get the environment as it was.
  bool userGlSetting = g_getenv("GDK_GL") != nullptr;
  if (!userGlSetting) g_setenv("GDK_GL", "disable", TRUE);
  gtk_init(nullptr, nullptr);
  if (!userGlSetting) g_unsetenv("GDK_GL");
  if (signalSources.empty()) {
    signalSources.push_back(g_unix_signal_add(SIGTERM, OnTerminationSignal, nullptr));
    signalSources.push_back(g_unix_signal_add(SIGINT, OnTerminationSignal, nullptr));
  }
  gdk_event_handler_set(FilterEvent, nullptr, nullptr);
}

void PlatformShutdown() {
  for (guint& source : signalSources) RemoveSource(source);
  signalSources.clear();
  for (WindowHandle window : windows) {
    if (window->alive) ReleaseWindow(window);
    GtkReleaseImage(window);
    delete window;
  }
  windows.clear();
  // The connection itself stays open until the process ends: closing it makes GTK's own
  // objects complain while they let go of the display.
  if (GdkDisplay* display = gdk_display_get_default()) gdk_display_flush(display);
}

// --- Clock ---------------------------------------------------------------------------------

uint32_t PlatformTickCount() {
  return static_cast<uint32_t>(g_get_monotonic_time() / 1000);
}

void PlatformSleep(uint32_t milliseconds) {
  g_usleep(static_cast<gulong>(milliseconds) * 1000);
}

// --- Screen --------------------------------------------------------------------------------

namespace {

GdkMonitor* MainMonitor() {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr) return nullptr;
  GdkMonitor* monitor = gdk_display_get_primary_monitor(display);
  return monitor != nullptr ? monitor : gdk_display_get_monitor(display, 0);
}

GdkRectangle ScreenGeometry() {
  GdkMonitor* monitor = MainMonitor();
  GdkRectangle geometry = {0, 0, 0, 0};
  if (monitor != nullptr) {
    gdk_monitor_get_geometry(monitor, &geometry);
  } else {
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    geometry.width = gdk_screen_get_width(gdk_screen_get_default());
    geometry.height = gdk_screen_get_height(gdk_screen_get_default());
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  return geometry;
}

}  // namespace

int PlatformScreenWidth() {
  return ScreenGeometry().width;
}

int PlatformScreenHeight() {
  return ScreenGeometry().height;
}

int PlatformDisplayScale() {
  // On X11 every monitor has the display's one scale (GDK_SCALE or the desktop's setting).
  GdkMonitor* monitor = MainMonitor();
  return monitor != nullptr ? std::max(1, gdk_monitor_get_scale_factor(monitor)) : 1;
}

// --- Windows and messages ------------------------------------------------------------------

WindowHandle PlatformCreateLayeredWindow(const std::string& title, int x, int y, int width,
                                         int height, WindowProc procedure) {
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  if (widget == nullptr) return nullptr;
  GtkWindow* gtkWindow = GTK_WINDOW(widget);
  gtk_window_set_title(gtkWindow, Cp1252ToUtf8(title).c_str());
  gtk_window_set_decorated(gtkWindow, FALSE);
  gtk_window_set_keep_above(gtkWindow, TRUE);
  gtk_window_set_skip_taskbar_hint(gtkWindow, TRUE);
  gtk_window_set_skip_pager_hint(gtkWindow, TRUE);
  gtk_window_set_resizable(gtkWindow, FALSE);
  gtk_widget_set_app_paintable(widget, TRUE);
  GdkScreen* screen = gtk_widget_get_screen(widget);
  GdkVisual* visual = gdk_screen_get_rgba_visual(screen);
  gtk_widget_set_visual(widget, visual != nullptr ? visual : gdk_screen_get_system_visual(screen));
  gtk_window_set_gravity(gtkWindow, GDK_GRAVITY_NORTH_WEST);
  gtk_widget_set_size_request(widget, width, height);
  gtk_window_move(gtkWindow, x, y);
  gtk_widget_add_events(widget, GDK_POINTER_MOTION_MASK | GDK_BUTTON_PRESS_MASK |
                                    GDK_BUTTON_RELEASE_MASK | GDK_KEY_PRESS_MASK |
                                    GDK_LEAVE_NOTIFY_MASK);

  auto* window = new PlatformWindow;
  window->widget = widget;
  window->procedure = procedure;
  window->x = x;
  window->y = y;
  windows.push_back(window);
  g_signal_connect(widget, "draw", G_CALLBACK(OnDraw), window);
  g_signal_connect(widget, "motion-notify-event", G_CALLBACK(OnMotion), window);
  g_signal_connect(widget, "button-press-event", G_CALLBACK(OnButtonPress), window);
  g_signal_connect(widget, "button-release-event", G_CALLBACK(OnButtonRelease), window);
  g_signal_connect(widget, "leave-notify-event", G_CALLBACK(OnLeave), window);
  g_signal_connect(widget, "key-press-event", G_CALLBACK(OnKeyPress), window);
  g_signal_connect(widget, "delete-event", G_CALLBACK(OnDelete), window);

  // As on Windows, a procedure refusing WM_CREATE with -1 makes the creation fail.
  if (Send(window, WM_CREATE, 0, 0) == -1) {
    PlatformDestroyWindow(window);
    return nullptr;
  }
  if (!Alive(window)) return nullptr;
  window->visible = true;
  gtk_widget_show(widget);
  // The map request leaves now: otherwise it would wait in the connection's buffer until the
  // first paint, which lays out the first text and so waits for the font configuration.
  gdk_display_flush(gtk_widget_get_display(widget));
  GtkPresentAll(window);
  return window;
}

void PlatformDestroyWindow(WindowHandle window) {
  if (!Alive(window)) return;
  Send(window, WM_DESTROY, 0, 0);
  ReleaseWindow(window);
}

intptr_t PlatformSendMessage(WindowHandle window, uint32_t message, intptr_t wParam,
                             intptr_t lParam) {
  return Send(window, message, wParam, lParam);
}

void PlatformPostQuitMessage(int) {
  if (loops.empty()) {
    quitPending = true;
  } else {
    g_main_loop_quit(loops.back());
  }
}

void PlatformRunMessageLoop() {
  if (ending) return;
  // A quit posted while no loop ran waits in the queue, as WM_QUIT would.
  if (quitPending) {
    quitPending = false;
    return;
  }
  GMainLoop* loop = g_main_loop_new(nullptr, FALSE);
  loops.push_back(loop);
  g_main_loop_run(loop);
  loops.pop_back();
  g_main_loop_unref(loop);
}

namespace {

// What the UI thread and a background thread share: the work's end, and the loop that waits.
struct BackgroundWork {
  std::atomic<bool> done = false;
  GMainLoop* loop = nullptr;  // Touched on the UI thread only.
};

gboolean OnBackgroundWorkDone(gpointer data) {
  auto* work = static_cast<std::shared_ptr<BackgroundWork>*>(data);
  if ((*work)->loop != nullptr) g_main_loop_quit((*work)->loop);
  return G_SOURCE_REMOVE;
}

void ForgetBackgroundWork(gpointer data) {
  delete static_cast<std::shared_ptr<BackgroundWork>*>(data);
}

}  // namespace

bool PlatformRunInBackground(std::function<void()> work) {
  if (ending) return false;
  auto state = std::make_shared<BackgroundWork>();
  std::thread([state, work = std::move(work)] {
    work();
    state->done = true;
    g_idle_add_full(G_PRIORITY_DEFAULT, OnBackgroundWorkDone,
                    new std::shared_ptr<BackgroundWork>(state), ForgetBackgroundWork);
  }).detach();
  ++backgroundWorks;
  state->loop = g_main_loop_new(nullptr, FALSE);
  loops.push_back(state->loop);
  // A quit posted meanwhile was meant for a loop further out: it is passed on afterwards.
  bool quitPosted = false;
  while (!state->done && !ending) {
    g_main_loop_run(state->loop);
    quitPosted = quitPosted || (!state->done && !ending);
  }
  loops.erase(std::find(loops.begin(), loops.end(), state->loop));
  g_main_loop_unref(state->loop);
  state->loop = nullptr;
  --backgroundWorks;
  if (quitPosted) PlatformPostQuitMessage(0);
  return state->done;
}

void PlatformInvalidateWindow(WindowHandle window) {
  if (!Alive(window) || window->paintSource != 0) return;
  GSource* source = g_idle_source_new();
  g_source_set_priority(source, G_PRIORITY_HIGH);
  AttachSource(source, OnPaintQueued, window, nullptr);
  window->paintSource = g_source_get_id(source);
  g_source_unref(source);
}

intptr_t PlatformDefWindowProc(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t) {
  if (!Alive(window) || message != WM_NCLBUTTONDOWN || wParam != HTCAPTION) return 0;
  GdkDisplay* display = gtk_widget_get_display(window->widget);
  GdkDevice* pointer = gdk_seat_get_pointer(gdk_display_get_default_seat(display));
  int rootX = 0;
  int rootY = 0;
  gdk_device_get_position(pointer, nullptr, &rootX, &rootY);
  // A press handled late (after a blocking pause) may have been released already: a drag begun
  // then would follow the pointer with no button held.
  GdkModifierType buttons = static_cast<GdkModifierType>(0);
  gdk_device_get_state(pointer, gtk_widget_get_window(window->widget), nullptr, &buttons);
  if ((buttons & GDK_BUTTON1_MASK) == 0) return 0;
  // Without a window manager GTK moves the window itself until the button is released.
  gtk_window_begin_move_drag(GTK_WINDOW(window->widget), 1, rootX, rootY, GDK_CURRENT_TIME);
  return 0;
}

void PlatformSetWindowProperty(WindowHandle window, const char* name, void* value) {
  if (window == nullptr) return;
  window->properties[name] = value;
}

void* PlatformGetWindowProperty(WindowHandle window, const char* name) {
  if (window == nullptr) return nullptr;
  auto found = window->properties.find(name);
  return found != window->properties.end() ? found->second : nullptr;
}

void PlatformKillTimer(WindowHandle window, uintptr_t timerId) {
  if (window == nullptr) return;
  auto existing = window->timers.find(timerId);
  if (existing == window->timers.end()) return;
  g_source_remove(existing->second);
  window->timers.erase(existing);
}

void PlatformSetTimer(WindowHandle window, uintptr_t timerId, uint32_t milliseconds,
                      TimerProc procedure) {
  if (!Alive(window)) return;
  // Setting an existing timer again restarts it with the new period.
  PlatformKillTimer(window, timerId);
  GSource* source = g_timeout_source_new(milliseconds);
  AttachSource(source, OnTimer, new Timer{window, timerId, procedure}, DeleteTimer);
  window->timers[timerId] = g_source_get_id(source);
  g_source_unref(source);
}

bool PlatformInputHeldOff() {
  return backgroundWorks > 0;
}

void PlatformShowWindow(WindowHandle window, bool show) {
  if (!Alive(window) || show == window->visible) return;
  GtkWindow* gtkWindow = GTK_WINDOW(window->widget);
  window->visible = show;
  if (show) {
    gtk_window_move(gtkWindow, window->x, window->y);
    gtk_widget_show(window->widget);
    GtkPresentAll(window);
  } else {
    gtk_window_get_position(gtkWindow, &window->x, &window->y);
    gtk_widget_hide(window->widget);
    gdk_display_flush(gtk_widget_get_display(window->widget));
  }
}

bool PlatformWindowVisible(WindowHandle window) {
  return Alive(window) && window->visible;
}

void PlatformEnableWindow(WindowHandle window, bool enable) {
  if (!Alive(window)) return;
  window->enabled = enable;
  // Standard windows and controls grey out; layered windows just ignore input meanwhile.
  if (window->fixed != nullptr || window->parent != nullptr) {
    gtk_widget_set_sensitive(window->fixed ? window->fixed : window->widget, enable);
  }
}

bool PlatformWindowEnabled(WindowHandle window) {
  return Alive(window) && window->enabled;
}

void PlatformSetCapture(WindowHandle window) {
  if (Alive(window)) captureWindow = window;
}

void PlatformReleaseCapture() {
  captureWindow = nullptr;
}

void PlatformSetFocus(WindowHandle window) {
  if (!Alive(window) || !window->visible) return;
  gtk_window_present(GTK_WINDOW(window->widget));
  // Without a window manager only an explicit input focus brings the keys here.
  if (GdkWindow* gdkWindow = gtk_widget_get_window(window->widget)) {
    gdk_window_focus(gdkWindow, GDK_CURRENT_TIME);
  }
}
