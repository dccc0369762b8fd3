// The GTK backend on a real X display (DISPLAY must name a running server).
// GoogleTest comes before the X11 headers, whose macros (None, Bool...) would break it.
// clang-format off
#include <gtest/gtest.h>
#include <SDL.h>
// clang-format on

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <cairo.h>
#include <gdk/gdkkeysyms.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>
#include <gtk/gtkx.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "platform/dialogs.h"
#include "platform/gamepad.h"
#include "platform/gtk/changed_area.h"
#include "platform/gtk/keys_gtk.h"
#include "platform/input.h"
#include "platform/network.h"
#include "platform/pixels.h"
#include "platform/tray.h"
#include "platform/windows.h"

namespace {

class GtkEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    // Input is simulated with events sent to the windows (gdk_test_simulate_key/button); GDK
    // only reads such events when it takes core X events instead of XInput2 ones.
    setenv("GDK_CORE_DEVICE_EVENTS", "1", 1);
    // Settings kept in memory: the tests change nothing of the machine's.
    setenv("GSETTINGS_BACKEND", "memory", 1);
    PlatformStart();
  }
  void TearDown() override { PlatformShutdown(); }
};

[[maybe_unused]] auto* const environment = ::testing::AddGlobalTestEnvironment(new GtkEnvironment);

struct Message {
  WindowHandle window;
  uint32_t message;
  intptr_t wParam;
  intptr_t lParam;
  bool operator==(const Message&) const = default;
};

void PrintTo(const Message& m, std::ostream* out) {
  *out << "{message 0x" << std::hex << m.message << std::dec << ", " << m.wParam << ", " << m.lParam
       << "}";
}

std::vector<Message> received;
WindowHandle returnedHandle = nullptr;  // Set by the tests once a creation returned.
bool createSeenBeforeReturn = false;

intptr_t Record(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  if (message == WM_CREATE) createSeenBeforeReturn = returnedHandle == nullptr;
  received.push_back({window, message, wParam, lParam});
  return 0;
}

std::vector<Message> ReceivedOf(uint32_t message) {
  std::vector<Message> found;
  for (const Message& m : received) {
    if (m.message == message) found.push_back(m);
  }
  return found;
}

// Runs the default main context until `done` holds; gives up after `limitMs` (a guard against
// hanging, not a speed requirement).
bool PumpUntil(const std::function<bool()>& done, int limitMs = 3000) {
  gint64 deadline = g_get_monotonic_time() + static_cast<gint64>(limitMs) * 1000;
  while (!done()) {
    if (g_get_monotonic_time() > deadline) return false;
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  return true;
}

void PumpPending() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

// The GTK window behind a handle, found by its (unique) title.
GtkWindow* FindGtkWindow(const char* title) {
  GtkWindow* found = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    const char* windowTitle = gtk_window_get_title(window);
    if (windowTitle != nullptr && std::string(windowTitle) == title) found = window;
  }
  g_list_free(toplevels);
  return found;
}

// GDK takes a toplevel for mapped once the server said so; simulated input needs that.
bool WaitMapped(GdkWindow* window) {
  return PumpUntil(
      [window] { return (gdk_window_get_state(window) & GDK_WINDOW_STATE_WITHDRAWN) == 0; });
}

Display* GdkXDisplay() {
  return gdk_x11_display_get_xdisplay(gdk_display_get_default());
}

Window XidOf(GtkWindow* window) {
  return gdk_x11_window_get_xid(gtk_widget_get_window(GTK_WIDGET(window)));
}

// What the X server shows: read through a connection of its own, so that nothing of the
// backend's connection is processed meanwhile.
class ScreenReader {
 public:
  ScreenReader() : display_(XOpenDisplay(nullptr)) {}
  ~ScreenReader() {
    if (display_ != nullptr) XCloseDisplay(display_);
  }
  // 0xRRGGBB at root coordinates.
  unsigned long Pixel(int x, int y) {
    XImage* image =
        XGetImage(display_, DefaultRootWindow(display_), x, y, 1, 1, AllPlanes, ZPixmap);
    unsigned long pixel = XGetPixel(image, 0, 0) & 0xFFFFFF;
    XDestroyImage(image);
    return pixel;
  }
  Display* display() { return display_; }

 private:
  Display* display_;
};

// A premultiplied ARGB32 image filled with `color`.
struct Image {
  Image(int width, int height, uint32_t color)
      : width(width),
        height(height),
        stride(cairo_format_stride_for_width(CAIRO_FORMAT_ARGB32, width)),
        pixels(static_cast<size_t>(stride) * height) {
    for (int y = 0; y < height; ++y) {
      for (int x = 0; x < width; ++x) Set(x, y, color);
    }
  }
  void Set(int x, int y, uint32_t color) {
    std::memcpy(&pixels[static_cast<size_t>(y) * stride + x * 4], &color, 4);
  }
  void Fill(int x0, int y0, int w, int h, uint32_t color) {
    for (int y = y0; y < y0 + h; ++y) {
      for (int x = x0; x < x0 + w; ++x) Set(x, y, color);
    }
  }
  void Push(WindowHandle window) const {
    PlatformUpdateLayeredWindow(window, pixels.data(), width, height, stride, 1,
                                {0, 0, width, height});
  }
  int width, height, stride;
  std::vector<unsigned char> pixels;
};

constexpr uint32_t kRed = 0xFFFF0000;
constexpr uint32_t kBlue = 0xFF0000FF;
constexpr uint32_t kGreen = 0xFF00FF00;
constexpr uint32_t kWhite = 0xFFFFFFFF;

class GtkBackend : public ::testing::Test {
 protected:
  void SetUp() override {
    received.clear();
    returnedHandle = nullptr;
  }
  void TearDown() override {
    for (WindowHandle window : made_) PlatformDestroyWindow(window);
    PumpPending();
  }
  WindowHandle Make(const char* title, int x, int y, int width, int height,
                    WindowProc procedure = Record) {
    WindowHandle window = PlatformCreateLayeredWindow(title, x, y, width, height, procedure);
    returnedHandle = window;
    made_.push_back(window);
    return window;
  }

 private:
  std::vector<WindowHandle> made_;
};

// --- Windows -------------------------------------------------------------------------------

TEST_F(GtkBackend, WindowIsCreatedWhereAskedAfterWMCreate) {
  EXPECT_EQ(PlatformScreenWidth(), DisplayWidth(GdkXDisplay(), DefaultScreen(GdkXDisplay())));
  EXPECT_EQ(PlatformScreenHeight(), DisplayHeight(GdkXDisplay(), DefaultScreen(GdkXDisplay())));

  // The window is shown only once WM_CREATE has been handled.
  static bool shownDuringCreate;
  shownDuringCreate = true;
  WindowHandle window =
      Make("create", 123, 45, 210, 130, [](WindowHandle w, uint32_t m, intptr_t wp, intptr_t lp) {
        if (m == WM_CREATE) {
          GtkWindow* made = FindGtkWindow("create");
          shownDuringCreate = made == nullptr || gtk_widget_get_visible(GTK_WIDGET(made));
        }
        return Record(w, m, wp, lp);
      });
  ASSERT_NE(window, nullptr);
  EXPECT_FALSE(shownDuringCreate);
  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received[0], (Message{window, WM_CREATE, 0, 0}));
  EXPECT_TRUE(createSeenBeforeReturn);
  EXPECT_TRUE(PlatformWindowVisible(window));

  GtkWindow* gtkWindow = FindGtkWindow("create");
  ASSERT_NE(gtkWindow, nullptr);
  Window xid = XidOf(gtkWindow);
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(GdkXDisplay(), xid, &attributes));
  EXPECT_EQ(attributes.map_state, IsViewable);
  EXPECT_EQ(attributes.width, 210);
  EXPECT_EQ(attributes.height, 130);
  EXPECT_EQ(attributes.depth, 32);  // Per-pixel alpha.
  int rootX = 0;
  int rootY = 0;
  Window child;
  XTranslateCoordinates(GdkXDisplay(), xid, DefaultRootWindow(GdkXDisplay()), 0, 0, &rootX, &rootY,
                        &child);
  EXPECT_EQ(rootX, 123);
  EXPECT_EQ(rootY, 45);

  int value = 7;
  PlatformSetWindowProperty(window, "value", &value);
  EXPECT_EQ(PlatformGetWindowProperty(window, "value"), &value);
  EXPECT_EQ(PlatformGetWindowProperty(window, "other"), nullptr);
}

TEST_F(GtkBackend, DestroySendsWMDestroyAndStopsEverything) {
  WindowHandle doomed = Make("doomed", 10, 10, 50, 50);
  WindowHandle witness = Make("witness", 70, 10, 50, 50);
  static int doomedTicks;
  static int witnessTicks;
  doomedTicks = witnessTicks = 0;
  PlatformSetTimer(doomed, 1, 1,
                   [](WindowHandle, uint32_t, uintptr_t, uint32_t) { ++doomedTicks; });
  PlatformSetTimer(witness, 1, 5,
                   [](WindowHandle, uint32_t, uintptr_t, uint32_t) { ++witnessTicks; });
  PlatformDestroyWindow(doomed);

  ASSERT_FALSE(received.empty());
  EXPECT_EQ(received.back(), (Message{doomed, WM_DESTROY, 0, 0}));
  EXPECT_EQ(FindGtkWindow("doomed"), nullptr);
  EXPECT_FALSE(PlatformWindowVisible(doomed));
  received.clear();
  EXPECT_EQ(PlatformSendMessage(doomed, WM_USER, 0, 0), 0);
  PlatformDestroyWindow(doomed);  // A second destruction does nothing.
  EXPECT_TRUE(received.empty());

  ASSERT_TRUE(PumpUntil([] { return witnessTicks >= 3; }));
  EXPECT_EQ(doomedTicks, 0);
}

TEST_F(GtkBackend, HiddenWindowReappearsWhereItWasWithItsImage) {
  WindowHandle window = Make("hide", 300, 200, 40, 30);
  Image(40, 30, kGreen).Push(window);
  Window xid = XidOf(FindGtkWindow("hide"));

  PlatformShowWindow(window, false);
  EXPECT_FALSE(PlatformWindowVisible(window));
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(GdkXDisplay(), xid, &attributes));
  EXPECT_EQ(attributes.map_state, IsUnmapped);

  PlatformShowWindow(window, true);
  EXPECT_TRUE(PlatformWindowVisible(window));
  ASSERT_TRUE(XGetWindowAttributes(GdkXDisplay(), xid, &attributes));
  EXPECT_EQ(attributes.map_state, IsViewable);
  int rootX = 0;
  int rootY = 0;
  Window child;
  XTranslateCoordinates(GdkXDisplay(), xid, DefaultRootWindow(GdkXDisplay()), 0, 0, &rootX, &rootY,
                        &child);
  EXPECT_EQ(rootX, 300);
  EXPECT_EQ(rootY, 200);
  // Shown again without the loop running: the image is there at once.
  PlatformSleep(20);
  ScreenReader screen;
  EXPECT_EQ(screen.Pixel(320, 215), 0x00FF00u);
}

// --- Images --------------------------------------------------------------------------------

TEST(ChangedArea, BoundsEveryChangedPixel) {
  Image before(20, 10, kBlue);
  auto area = [&before](const Image& after) {
    return ChangedArea(before.pixels.data(), before.stride, after.pixels.data(), after.stride,
                       before.width, before.height);
  };
  auto expect = [](PixelRect r, int x, int y, int w, int h) {
    EXPECT_EQ(r.x, x);
    EXPECT_EQ(r.y, y);
    EXPECT_EQ(r.width, w);
    EXPECT_EQ(r.height, h);
  };

  PixelRect none = area(before);
  EXPECT_EQ(none.width, 0);
  EXPECT_EQ(none.height, 0);

  Image one = before;
  one.Set(19, 9, kRed);
  expect(area(one), 19, 9, 1, 1);

  Image alphaOnly = before;
  alphaOnly.Set(0, 0, 0xFE0000FF);
  expect(area(alphaOnly), 0, 0, 1, 1);

  // The leftmost change in a lower row and the rightmost in an upper one both count.
  Image spread = before;
  spread.Set(15, 2, kRed);
  spread.Set(4, 3, kRed);
  spread.Set(9, 7, kRed);
  expect(area(spread), 4, 2, 12, 6);

  // Rows of a different stride compare by their pixels only.
  std::vector<unsigned char> wide(static_cast<size_t>(before.stride + 16) * before.height, 0xAB);
  for (int y = 0; y < before.height; ++y) {
    std::memcpy(&wide[static_cast<size_t>(y) * (before.stride + 16)],
                &spread.pixels[static_cast<size_t>(y) * spread.stride], before.width * 4);
  }
  expect(ChangedArea(before.pixels.data(), before.stride, wide.data(), before.stride + 16,
                     before.width, before.height),
         4, 2, 12, 6);
}

TEST_F(GtkBackend, PushedImageIsOnScreenWhileTheCallerSleeps) {
  WindowHandle window = Make("image", 40, 60, 80, 60);
  Image image(80, 60, kRed);
  image.Fill(40, 0, 40, 60, kBlue);
  image.Push(window);
  PlatformSleep(20);
  ScreenReader screen;
  ASSERT_NE(screen.display(), nullptr);
  EXPECT_EQ(screen.Pixel(45, 65), 0xFF0000u);
  EXPECT_EQ(screen.Pixel(119, 119), 0x0000FFu);

  // Small changes far apart: everything between them must still be right.
  image.Fill(30, 20, 2, 2, kGreen);
  image.Set(79, 59, kWhite);
  image.Set(0, 0, kWhite);
  image.Push(window);
  PlatformSleep(20);
  EXPECT_EQ(screen.Pixel(70, 80), 0x00FF00u);
  EXPECT_EQ(screen.Pixel(71, 81), 0x00FF00u);
  EXPECT_EQ(screen.Pixel(119, 119), 0xFFFFFFu);
  EXPECT_EQ(screen.Pixel(40, 60), 0xFFFFFFu);
  EXPECT_EQ(screen.Pixel(60, 90), 0xFF0000u);
  EXPECT_EQ(screen.Pixel(100, 90), 0x0000FFu);

  // A bigger image makes a bigger window at once, all of it drawn.
  Image bigger(100, 70, kGreen);
  bigger.Fill(90, 60, 10, 10, kRed);
  bigger.Push(window);
  PlatformSleep(20);
  EXPECT_EQ(screen.Pixel(41, 61), 0x00FF00u);
  EXPECT_EQ(screen.Pixel(135, 125), 0xFF0000u);
  XWindowAttributes attributes;
  ASSERT_TRUE(XGetWindowAttributes(GdkXDisplay(), XidOf(FindGtkWindow("image")), &attributes));
  EXPECT_EQ(attributes.width, 100);
  EXPECT_EQ(attributes.height, 70);
  image.Push(window);
  PumpPending();

  // Exposures repaint the last image: hide the window behind another one and bring it back.
  WindowHandle cover = Make("cover", 30, 50, 100, 80);
  Image(100, 80, kWhite).Push(cover);
  PlatformDestroyWindow(cover);
  ASSERT_TRUE(PumpUntil([&] { return screen.Pixel(70, 80) == 0x00FF00u; }));
  EXPECT_EQ(screen.Pixel(45, 65), 0xFF0000u);
  EXPECT_EQ(screen.Pixel(100, 90), 0x0000FFu);
}

TEST_F(GtkBackend, InvalidationQueuesOnePaintForTheLoop) {
  WindowHandle window = Make("paint", 10, 10, 20, 20);
  PumpPending();
  received.clear();
  PlatformInvalidateWindow(window);
  PlatformInvalidateWindow(window);
  EXPECT_TRUE(received.empty());
  ASSERT_TRUE(PumpUntil([] { return !received.empty(); }));
  PumpPending();
  EXPECT_EQ(received, (std::vector<Message>{{window, WM_PAINT, 0, 0}}));
}

// --- Loops and timers ----------------------------------------------------------------------

struct LoopLog {
  int ticks = 0;
  int ticksWhenInnerEnded = -1;
  int depth = 0;
  int deepest = 0;
  std::vector<uint32_t> tickCounts;
};
LoopLog loopLog;

TEST_F(GtkBackend, TimerFiresInNestedLoopAndQuitEndsOnlyTheInnermost) {
  WindowHandle window = Make("loops", 10, 10, 20, 20);
  loopLog = {};
  // A hang guard: ends every loop if the timer stops working.
  guint guard = g_timeout_add(
      5000,
      [](gpointer) -> gboolean {
        PlatformPostQuitMessage(0);
        return G_SOURCE_CONTINUE;
      },
      nullptr);
  PlatformSetTimer(window, 7, 2, [](WindowHandle, uint32_t message, uintptr_t id, uint32_t now) {
    EXPECT_EQ(message, WM_TIMER);
    EXPECT_EQ(id, 7u);
    loopLog.tickCounts.push_back(now);
    ++loopLog.ticks;
    loopLog.deepest = std::max(loopLog.deepest, loopLog.depth);
    if (loopLog.ticks == 1) {
      // A modal loop started from a tick, as a dialog opened by the game would.
      ++loopLog.depth;
      PlatformRunMessageLoop();
      --loopLog.depth;
      loopLog.ticksWhenInnerEnded = loopLog.ticks;
    } else if (loopLog.ticks == 4 || loopLog.ticks == 6) {
      PlatformPostQuitMessage(0);
    }
  });
  loopLog.depth = 1;
  PlatformRunMessageLoop();
  g_source_remove(guard);

  EXPECT_EQ(loopLog.deepest, 2);              // Ticks 2 to 4 came inside the nested loop.
  EXPECT_EQ(loopLog.ticksWhenInnerEnded, 4);  // The first quit ended the nested loop only...
  EXPECT_EQ(loopLog.ticks, 6);                // ...and the outer one went on until the second.
  for (size_t i = 1; i < loopLog.tickCounts.size(); ++i) {
    EXPECT_GE(loopLog.tickCounts[i], loopLog.tickCounts[i - 1]);
  }
}

TEST_F(GtkBackend, QuitPostedBeforeTheLoopEndsItAtOnceOnce) {
  WindowHandle window = Make("early quit", 10, 10, 20, 20);
  static int ticks;
  ticks = 0;
  PlatformSetTimer(window, 1, 2, [](WindowHandle, uint32_t, uintptr_t, uint32_t) {
    if (++ticks >= 3) PlatformPostQuitMessage(0);
  });
  PlatformPostQuitMessage(0);
  PlatformRunMessageLoop();
  EXPECT_EQ(ticks, 0);
  // The quit was used up: the next loop runs until its own quit.
  PlatformRunMessageLoop();
  EXPECT_EQ(ticks, 3);
}

// --- Input ---------------------------------------------------------------------------------

TEST(KeyMapping, KeyvalsGiveWindowsVirtualKeys) {
  struct Case {
    unsigned keyval;
    int virtualKey;
  };
  const Case cases[] = {
      {GDK_KEY_Left, 37},         {GDK_KEY_Up, 38},
      {GDK_KEY_Right, 39},        {GDK_KEY_Down, 40},
      {GDK_KEY_Shift_L, 16},      {GDK_KEY_Shift_R, 16},
      {GDK_KEY_Control_L, 17},    {GDK_KEY_Control_R, 17},
      {GDK_KEY_Alt_L, 0},         {GDK_KEY_a, 'A'},
      {GDK_KEY_z, 'Z'},           {GDK_KEY_Q, 'Q'},
      {GDK_KEY_0, '0'},           {GDK_KEY_9, '9'},
      {GDK_KEY_F1, 112},          {GDK_KEY_F9, 120},
      {GDK_KEY_F10, 0},           {GDK_KEY_F12, 123},
      {GDK_KEY_KP_0, 96},         {GDK_KEY_KP_9, 105},
      {GDK_KEY_KP_End, 35},       {GDK_KEY_KP_Down, 40},
      {GDK_KEY_KP_Multiply, 106}, {GDK_KEY_KP_Add, 107},
      {GDK_KEY_KP_Subtract, 109}, {GDK_KEY_KP_Decimal, 110},
      {GDK_KEY_KP_Divide, 111},   {GDK_KEY_KP_Enter, 13},
      {GDK_KEY_space, 32},        {GDK_KEY_Return, 13},
      {GDK_KEY_Escape, 27},       {GDK_KEY_BackSpace, 8},
      {GDK_KEY_Tab, 9},           {GDK_KEY_ISO_Left_Tab, 9},
      {GDK_KEY_Page_Up, 33},      {GDK_KEY_Page_Down, 34},
      {GDK_KEY_End, 35},          {GDK_KEY_Home, 36},
      {GDK_KEY_Insert, 45},       {GDK_KEY_Delete, 46},
      {GDK_KEY_Pause, 19},        {GDK_KEY_Caps_Lock, 20},
      {GDK_KEY_Num_Lock, 144},    {GDK_KEY_Scroll_Lock, 145},
      {GDK_KEY_Print, 44},        {GDK_KEY_Menu, 93},
      {GDK_KEY_Super_L, 91},      {GDK_KEY_Super_R, 92},
      {GDK_KEY_semicolon, 186},   {GDK_KEY_equal, 187},
      {GDK_KEY_comma, 188},       {GDK_KEY_minus, 189},
      {GDK_KEY_period, 190},      {GDK_KEY_slash, 191},
      {GDK_KEY_grave, 192},       {GDK_KEY_bracketleft, 219},
      {GDK_KEY_backslash, 220},   {GDK_KEY_bracketright, 221},
      {GDK_KEY_apostrophe, 222},  {GDK_KEY_less, 226},
      {GDK_KEY_eacute, 0},        {GDK_KEY_VoidSymbol, 0},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(VirtualKeyForKeyval(c.keyval), c.virtualKey) << gdk_keyval_name(c.keyval);
  }
}

TEST(KeyMapping, CharacterKeysKeepTheirCodeWhateverTheShiftLevel) {
  // US layout: the shifted characters of a key give the key's code.
  const unsigned usOne[] = {GDK_KEY_1, GDK_KEY_exclam};
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_exclam, usOne), '1');
  const unsigned usSemicolon[] = {GDK_KEY_semicolon, GDK_KEY_colon};
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_colon, usSemicolon), 186);
  // French layout: the top row has its digits on the shifted level.
  const unsigned frOne[] = {GDK_KEY_ampersand, GDK_KEY_1};
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_ampersand, frOne), '1');
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_1, frOne), '1');
  const unsigned frTwo[] = {GDK_KEY_eacute, GDK_KEY_2, GDK_KEY_asciitilde};
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_eacute, frTwo), '2');
  // A digit on the AltGr level does not make the key a digit key.
  const unsigned frParen[] = {GDK_KEY_parenright, GDK_KEY_degree, GDK_KEY_bracketright};
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_parenright, frParen), 0);
  const unsigned frA[] = {GDK_KEY_a, GDK_KEY_A};
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_A, frA), 'A');
  // Keypad keys follow the pressed value (Num Lock), not the key's first level.
  const unsigned keypadOne[] = {GDK_KEY_KP_End, GDK_KEY_KP_1};
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_KP_1, keypadOne), 97);
  EXPECT_EQ(VirtualKeyForKey(GDK_KEY_KP_End, keypadOne), 35);
}

TEST(KeyMapping, CharactersAreWindows1252Bytes) {
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_a), 'a');
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_A), 'A');
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_space), ' ');
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_Escape), 27);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_Return), 13);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_KP_Enter), 13);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_Tab), 9);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_BackSpace), 8);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_eacute), 0xE9);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_EuroSign), 0x80);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_question), '?');
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_KP_5), '5');
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_Cyrillic_a), -1);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_Left), -1);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_Delete), -1);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_F1), -1);
  EXPECT_EQ(CharacterForKeyval(GDK_KEY_Shift_L), -1);
}

// Sends a key press through the X server and waits for the sentinel key that follows it, so
// that presses delivering nothing can be checked too. Returns what the press delivered.
std::vector<Message> PressKey(GdkWindow* target, unsigned keyval, GdkModifierType modifiers) {
  received.clear();
  gdk_test_simulate_key(target, -1, -1, keyval, modifiers, GDK_KEY_PRESS);
  gdk_test_simulate_key(target, -1, -1, GDK_KEY_F5, GdkModifierType(0), GDK_KEY_PRESS);
  auto sentinel = [] {
    return !received.empty() && received.back().message == WM_KEYDOWN &&
           received.back().wParam == 116;
  };
  EXPECT_TRUE(PumpUntil(sentinel)) << gdk_keyval_name(keyval);
  if (sentinel()) received.pop_back();
  // Simulating input moves the pointer, which brings mouse moves: keep the key messages.
  std::vector<Message> keys;
  for (const Message& m : received) {
    if (m.message == WM_KEYDOWN || m.message == WM_CHAR) keys.push_back(m);
  }
  return keys;
}

TEST_F(GtkBackend, KeyPressesBecomeKeyDownAndCharMessages) {
  WindowHandle w = Make("keys", 500, 300, 60, 60);
  GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(FindGtkWindow("keys")));
  ASSERT_TRUE(WaitMapped(target));
  auto none = GdkModifierType(0);
  using Messages = std::vector<Message>;

  EXPECT_EQ(PressKey(target, GDK_KEY_Left, none), (Messages{{w, WM_KEYDOWN, VK_LEFT, 0}}));
  EXPECT_EQ(PressKey(target, GDK_KEY_a, none),
            (Messages{{w, WM_KEYDOWN, 'A', 0}, {w, WM_CHAR, 'a', 0}}));
  EXPECT_EQ(PressKey(target, GDK_KEY_A, GDK_SHIFT_MASK),
            (Messages{{w, WM_KEYDOWN, 'A', 0}, {w, WM_CHAR, 'A', 0}}));
  EXPECT_EQ(PressKey(target, GDK_KEY_Escape, none),
            (Messages{{w, WM_KEYDOWN, VK_ESCAPE, 0}, {w, WM_CHAR, 27, 0}}));
  EXPECT_EQ(PressKey(target, GDK_KEY_a, GDK_CONTROL_MASK), (Messages{{w, WM_KEYDOWN, 'A', 0}}));
  EXPECT_EQ(PressKey(target, GDK_KEY_a, GDK_MOD1_MASK), Messages{});
  EXPECT_EQ(PressKey(target, GDK_KEY_F10, none), Messages{});

  // A disabled window hears no keys: handle the press before enabling it again.
  PlatformEnableWindow(w, false);
  EXPECT_FALSE(PlatformWindowEnabled(w));
  received.clear();
  gdk_test_simulate_key(target, -1, -1, GDK_KEY_Left, none, GDK_KEY_PRESS);
  gdk_display_sync(gdk_display_get_default());
  PumpPending();
  EXPECT_TRUE(ReceivedOf(WM_KEYDOWN).empty());
  PlatformEnableWindow(w, true);
  EXPECT_TRUE(PlatformWindowEnabled(w));
  EXPECT_EQ(PressKey(target, GDK_KEY_Right, none), (Messages{{w, WM_KEYDOWN, VK_RIGHT, 0}}));
}

void SendCrossing(GdkWindow* target, double x, double y, GdkNotifyType detail) {
  GdkEvent* event = gdk_event_new(GDK_LEAVE_NOTIFY);
  event->crossing.window = GDK_WINDOW(g_object_ref(target));
  event->crossing.send_event = TRUE;
  event->crossing.x = x;
  event->crossing.y = y;
  event->crossing.mode = GDK_CROSSING_NORMAL;
  event->crossing.detail = detail;
  gdk_event_set_device(
      event, gdk_seat_get_pointer(gdk_display_get_default_seat(gdk_display_get_default())));
  gtk_main_do_event(event);
  gdk_event_free(event);
}

TEST_F(GtkBackend, MouseButtonsAndLeavingUnderCapture) {
  WindowHandle w = Make("mouse", 600, 100, 100, 80);
  GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(FindGtkWindow("mouse")));
  ASSERT_TRUE(WaitMapped(target));
  auto none = GdkModifierType(0);
  using Messages = std::vector<Message>;
  auto waitFor = [](uint32_t message) {
    return PumpUntil([message] { return !ReceivedOf(message).empty(); });
  };

  // The pointer moving over the window.
  PumpPending();
  received.clear();
  XWarpPointer(GdkXDisplay(), None, gdk_x11_window_get_xid(target), 0, 0, 0, 0, 15, 25);
  EXPECT_TRUE(PumpUntil([w] {
    std::vector<Message> moves = ReceivedOf(WM_MOUSEMOVE);
    return std::find(moves.begin(), moves.end(),
                     Message{w, WM_MOUSEMOVE, 0, MakePointParam(15, 25)}) != moves.end();
  }));

  received.clear();
  gdk_test_simulate_button(target, 10, 20, 1, none, GDK_BUTTON_PRESS);
  gdk_test_simulate_button(target, 12, 22, 1, none, GDK_BUTTON_RELEASE);
  gdk_test_simulate_button(target, 30, 40, 3, none, GDK_BUTTON_PRESS);
  gdk_test_simulate_button(target, 30, 40, 3, none, GDK_BUTTON_RELEASE);
  ASSERT_TRUE(waitFor(WM_RBUTTONDOWN));
  EXPECT_EQ(ReceivedOf(WM_LBUTTONDOWN), (Messages{{w, WM_LBUTTONDOWN, 0, MakePointParam(10, 20)}}));
  EXPECT_EQ(ReceivedOf(WM_LBUTTONUP), (Messages{{w, WM_LBUTTONUP, 0, MakePointParam(12, 22)}}));
  EXPECT_EQ(ReceivedOf(WM_RBUTTONDOWN), (Messages{{w, WM_RBUTTONDOWN, 0, MakePointParam(30, 40)}}));

  // A disabled window hears no mouse.
  PlatformEnableWindow(w, false);
  received.clear();
  gdk_test_simulate_button(target, 10, 20, 1, none, GDK_BUTTON_PRESS);
  gdk_test_simulate_button(target, 10, 20, 1, none, GDK_BUTTON_RELEASE);
  gdk_display_sync(gdk_display_get_default());
  PumpPending();
  PlatformEnableWindow(w, true);
  gdk_test_simulate_button(target, 5, 6, 3, none, GDK_BUTTON_PRESS);
  gdk_test_simulate_button(target, 5, 6, 3, none, GDK_BUTTON_RELEASE);
  ASSERT_TRUE(waitFor(WM_RBUTTONDOWN));
  EXPECT_TRUE(ReceivedOf(WM_LBUTTONDOWN).empty());
  EXPECT_TRUE(ReceivedOf(WM_LBUTTONUP).empty());

  // Leaving is only reported under capture, at a point outside the window.
  received.clear();
  SendCrossing(target, 150, -5, GDK_NOTIFY_NONLINEAR);
  EXPECT_TRUE(received.empty());
  PlatformSetCapture(w);
  SendCrossing(target, 150, -5, GDK_NOTIFY_NONLINEAR);
  SendCrossing(target, 20, 20, GDK_NOTIFY_INFERIOR);
  SendCrossing(target, 99, 79, GDK_NOTIFY_ANCESTOR);
  EXPECT_EQ(received, (Messages{{w, WM_MOUSEMOVE, 0, MakePointParam(150, -5)},
                                {w, WM_MOUSEMOVE, 0, MakePointParam(-1, -1)}}));
  PlatformReleaseCapture();
  received.clear();
  SendCrossing(target, 150, -5, GDK_NOTIFY_NONLINEAR);
  EXPECT_TRUE(received.empty());
}

// The pointer over a fully transparent pixel of a layered window is over what lies below, also
// once later pushes have shown or hidden pixels there.
TEST_F(GtkBackend, TransparentPixelsLetThePointerThrough) {
  WindowHandle below = Make("below", 300, 300, 80, 60);
  Image(80, 60, kGreen).Push(below);
  WindowHandle above = Make("above", 300, 300, 80, 60);
  Image image(80, 60, 0);
  image.Fill(20, 0, 20, 60, 0x01000000);  // Faint, but not transparent.
  image.Fill(40, 0, 40, 60, kBlue);
  image.Push(above);
  ASSERT_TRUE(WaitMapped(gtk_widget_get_window(GTK_WIDGET(FindGtkWindow("above")))));

  // The window told of the pointer moving to (x, y) of both windows.
  auto hearer = [](int x, int y) -> WindowHandle {
    PumpPending();
    received.clear();
    XWarpPointer(GdkXDisplay(), None, DefaultRootWindow(GdkXDisplay()), 0, 0, 0, 0, 300 + x,
                 300 + y);
    WindowHandle heard = nullptr;
    PumpUntil([&] {
      for (const Message& m : ReceivedOf(WM_MOUSEMOVE)) {
        if (m.lParam == MakePointParam(x, y)) heard = m.window;
      }
      return heard != nullptr;
    });
    return heard;
  };
  EXPECT_EQ(hearer(10, 30), below);
  EXPECT_EQ(hearer(30, 31), above);
  EXPECT_EQ(hearer(60, 32), above);

  image.Fill(0, 0, 20, 60, kRed);
  image.Push(above);
  EXPECT_EQ(hearer(11, 33), above);

  image.Fill(40, 0, 40, 60, 0);
  image.Push(above);
  EXPECT_EQ(hearer(61, 34), below);
  EXPECT_EQ(hearer(12, 35), above);
}

// --- Message boxes -------------------------------------------------------------------------

GtkDialog* OpenMessageBox() {
  GtkDialog* found = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    if (GTK_IS_MESSAGE_DIALOG(item->data) && gtk_widget_get_visible(GTK_WIDGET(item->data))) {
      found = GTK_DIALOG(item->data);
    }
  }
  g_list_free(toplevels);
  return found;
}

std::string ButtonLabel(GtkDialog* dialog, int response) {
  GtkWidget* button = gtk_dialog_get_widget_for_response(dialog, response);
  return button != nullptr ? gtk_button_get_label(GTK_BUTTON(button)) : "";
}

struct BoxLog {
  int ticks = 0;
  bool answered = false;
  std::string title;
  std::vector<std::string> labels;
  enum class Answer { kEnter, kClose } answer = Answer::kEnter;
};
BoxLog boxLog;

// Answers the box once it is on screen and the timer has ticked three times meanwhile.
void AnswerBoxFromTimer(WindowHandle, uint32_t, uintptr_t, uint32_t) {
  ++boxLog.ticks;
  GtkDialog* dialog = OpenMessageBox();
  if (dialog == nullptr) return;
  // A hang guard: a box nobody could answer is dismissed, failing the expectations.
  if (boxLog.ticks == 1000) gtk_dialog_response(dialog, GTK_RESPONSE_NONE);
  GdkWindow* target = gtk_widget_get_window(GTK_WIDGET(dialog));
  if (boxLog.answered || boxLog.ticks < 3 ||
      (gdk_window_get_state(target) & GDK_WINDOW_STATE_WITHDRAWN)) {
    return;
  }
  boxLog.answered = true;
  boxLog.title = gtk_window_get_title(GTK_WINDOW(dialog));
  for (int response : {IDOK, IDYES, IDNO}) boxLog.labels.push_back(ButtonLabel(dialog, response));
  if (boxLog.answer == BoxLog::Answer::kEnter) {
    gdk_test_simulate_key(target, -1, -1, GDK_KEY_Return, GdkModifierType(0), GDK_KEY_PRESS);
    gdk_test_simulate_key(target, -1, -1, GDK_KEY_Return, GdkModifierType(0), GDK_KEY_RELEASE);
  } else {
    gtk_window_close(GTK_WINDOW(dialog));
  }
}

TEST_F(GtkBackend, MessageBoxesAnswerInFrenchWhileTimersRun) {
  WindowHandle owner = Make("owner", 100, 100, 300, 200);
  PlatformSetTimer(owner, 1, 3, AnswerBoxFromTimer);
  using Labels = std::vector<std::string>;

  boxLog = {};
  EXPECT_EQ(PlatformMessageBox(owner, "Rejouer ?", "Fin de partie \xE9", MB_YESNO | MB_ICONWARNING),
            IDYES);
  EXPECT_GE(boxLog.ticks, 3);
  EXPECT_EQ(boxLog.title, "Fin de partie \xC3\xA9");
  EXPECT_EQ(boxLog.labels, (Labels{"", "Oui", "Non"}));
  EXPECT_EQ(OpenMessageBox(), nullptr);

  boxLog = {};
  boxLog.answer = BoxLog::Answer::kClose;
  EXPECT_EQ(PlatformMessageBox(owner, "Rejouer ?", "Kestrow", MB_YESNO), IDNO);

  boxLog = {};
  EXPECT_EQ(PlatformMessageBox(nullptr, "Perdu.", "Kestrow", MB_OK), IDOK);
  EXPECT_EQ(boxLog.labels, (Labels{"OK", "", ""}));
  boxLog = {};
  boxLog.answer = BoxLog::Answer::kClose;
  EXPECT_EQ(PlatformMessageBox(owner, "Perdu.", "Kestrow", MB_OK), IDOK);
}

intptr_t DestroyOnClose(WindowHandle window, uint32_t message, intptr_t, intptr_t) {
  if (message == WM_CLOSE) PlatformDestroyWindow(window);
  return 0;
}

// SIGTERM while the name prompt waits ends it, and the boxes shown on the way out answer at once,
// so no dialog holds the program once it is ending. Run in a child process of its own, since the
// ending is for good; SIGALRM ends the child if anything waits.
TEST(GtkEnding, ATerminationSignalEndsThePromptAndLaterBoxesAnswerAtOnce) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  EXPECT_EXIT(
      {
        alarm(5);
        WindowHandle main = PlatformCreateLayeredWindow("Kestrow", 0, 0, 60, 60, DestroyOnClose);
        PlatformSetTimer(main, 1, 50, [](WindowHandle window, uint32_t, uintptr_t id, uint32_t) {
          PlatformKillTimer(window, id);
          kill(getpid(), SIGTERM);
        });
        std::string typed = PlatformPromptText(main, "Kestrow", "Nom :", "Ann", 32);
        int answer = PlatformMessageBox(main, "Encore ?", "Kestrow", MB_YESNO);
        std::exit(typed.empty() && answer == IDNO ? 0 : 1);
      },
      ::testing::ExitedWithCode(0), "");
}

// --- Notification icon ---------------------------------------------------------------------

Atom TraySelection() {
  std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(DefaultScreen(GdkXDisplay()));
  return XInternAtom(GdkXDisplay(), name.c_str(), False);
}

bool TrayIconExists() {
  bool found = false;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    if (GTK_IS_PLUG(item->data)) found = true;
  }
  g_list_free(toplevels);
  return found;
}

GdkWindow* TrayIconWindow() {
  GdkWindow* found = nullptr;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    if (GTK_IS_PLUG(item->data)) found = gtk_widget_get_window(GTK_WIDGET(item->data));
  }
  g_list_free(toplevels);
  return found;
}

std::vector<unsigned char> SmallPng(int size) {
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_t* cr = cairo_create(surface);
  cairo_set_source_rgb(cr, 1, 0.5, 0);
  cairo_paint(cr);
  cairo_destroy(cr);
  std::vector<unsigned char> png;
  cairo_surface_write_to_png_stream(
      surface,
      [](void* closure, const unsigned char* data, unsigned int length) {
        auto* out = static_cast<std::vector<unsigned char>*>(closure);
        out->insert(out->end(), data, data + length);
        return CAIRO_STATUS_SUCCESS;
      },
      &png);
  cairo_surface_destroy(surface);
  return png;
}

// The sizes of the icon the window manager is offered (_NET_WM_ICON: width, height, pixels).
std::vector<std::pair<long, long>> OfferedIconSizes(const char* title) {
  Window xid = None;
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    const char* itsTitle = gtk_window_get_title(GTK_WINDOW(item->data));
    if (itsTitle != nullptr && std::strcmp(itsTitle, title) == 0)
      xid = XidOf(GTK_WINDOW(item->data));
  }
  g_list_free(toplevels);
  std::vector<std::pair<long, long>> sizes;
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long after = 0;
  unsigned char* data = nullptr;
  if (xid == None ||
      XGetWindowProperty(GdkXDisplay(), xid, XInternAtom(GdkXDisplay(), "_NET_WM_ICON", False), 0,
                         1 << 20, False, XA_CARDINAL, &type, &format, &count, &after,
                         &data) != Success) {
    return sizes;
  }
  const auto* values = reinterpret_cast<const long*>(data);
  for (unsigned long at = 0; data != nullptr && at + 2 <= count;) {
    long width = values[at];
    long height = values[at + 1];
    sizes.emplace_back(width, height);
    at += 2 + static_cast<unsigned long>(width * height);
  }
  if (data != nullptr) XFree(data);
  return sizes;
}

TEST_F(GtkBackend, WindowsOfferTheProgramIconInEachSize) {
  std::vector<unsigned char> small = SmallPng(16);
  std::vector<unsigned char> large = SmallPng(32);
  const IconImage images[] = {{small.data(), small.size()}, {large.data(), large.size()}};
  ASSERT_NE(Make("shown before", 10, 10, 20, 20), nullptr);
  PlatformSetProgramIcon(images, 2);
  ASSERT_NE(Make("made after", 40, 10, 20, 20), nullptr);
  const std::vector<std::pair<long, long>> sizes = {{16, 16}, {32, 32}};
  EXPECT_EQ(OfferedIconSizes("shown before"), sizes);
  EXPECT_EQ(OfferedIconSizes("made after"), sizes);
  gtk_window_set_default_icon_list(nullptr);
}

TEST_F(GtkBackend, TrayIconNeedsANotificationAreaThatShowsIt) {
  if (XGetSelectionOwner(GdkXDisplay(), TraySelection()) != None) {
    GTEST_SKIP() << "a notification area already runs on this display";
  }
  WindowHandle window = Make("tray", 10, 10, 20, 20);
  std::vector<unsigned char> small = SmallPng(16);
  std::vector<unsigned char> large = SmallPng(32);
  const IconImage images[] = {{small.data(), small.size()}, {large.data(), large.size()}};

  EXPECT_FALSE(PlatformAddTrayIcon(window, WM_USER + 1, "Kestrow", images, 2));
  EXPECT_FALSE(TrayIconExists());

  // An owner of the selection that never embeds the icon.
  GtkWidget* silent = gtk_invisible_new();
  gtk_widget_realize(silent);
  XSetSelectionOwner(GdkXDisplay(), TraySelection(),
                     gdk_x11_window_get_xid(gtk_widget_get_window(silent)), CurrentTime);
  EXPECT_FALSE(PlatformAddTrayIcon(window, WM_USER + 1, "Kestrow", images, 2));
  EXPECT_FALSE(TrayIconExists());
  XSetSelectionOwner(GdkXDisplay(), TraySelection(), None, CurrentTime);
  gtk_widget_destroy(silent);

  // A real notification area, when one is installed.
  struct Trayer {
    pid_t pid = fork();
    Trayer() {
      if (pid == 0) {
        execlp("trayer", "trayer", "--edge", "bottom", "--width", "10",
               static_cast<char*>(nullptr));
        _exit(127);
      }
    }
    ~Trayer() {
      if (pid <= 0) return;
      kill(pid, SIGTERM);
      waitpid(pid, nullptr, 0);
    }
  } trayer;
  ASSERT_GT(trayer.pid, 0);
  int status = 0;
  PumpUntil([&] {
    return XGetSelectionOwner(GdkXDisplay(), TraySelection()) != None ||
           waitpid(trayer.pid, &status, WNOHANG) == trayer.pid;
  });
  if (XGetSelectionOwner(GdkXDisplay(), TraySelection()) == None) {
    GTEST_SKIP() << "trayer is not available";
  }
  ASSERT_TRUE(PlatformAddTrayIcon(window, WM_USER + 1, "Kestrow", images, 2));
  GdkWindow* icon = TrayIconWindow();
  ASSERT_NE(icon, nullptr);
  // The notification area shows the icon once it has embedded it: wait for that.
  ASSERT_TRUE(WaitMapped(icon));
  ASSERT_TRUE(PumpUntil([icon] {
    XWindowAttributes attributes;
    return XGetWindowAttributes(GdkXDisplay(), gdk_x11_window_get_xid(icon), &attributes) &&
           attributes.map_state == IsViewable;
  }));
  received.clear();
  gdk_test_simulate_button(icon, 4, 4, 1, GdkModifierType(0), GDK_BUTTON_PRESS);
  gdk_test_simulate_button(icon, 4, 4, 1, GdkModifierType(0), GDK_BUTTON_RELEASE);
  gdk_test_simulate_button(icon, 4, 4, 3, GdkModifierType(0), GDK_BUTTON_PRESS);
  gdk_test_simulate_button(icon, 4, 4, 3, GdkModifierType(0), GDK_BUTTON_RELEASE);
  EXPECT_TRUE(PumpUntil([] { return ReceivedOf(WM_USER + 1).size() >= 2; }));
  EXPECT_EQ(ReceivedOf(WM_USER + 1),
            (std::vector<Message>{{window, WM_USER + 1, 1, WM_LBUTTONDOWN},
                                  {window, WM_USER + 1, 1, WM_RBUTTONDOWN}}));
  PlatformRemoveTrayIcon(window);
  EXPECT_FALSE(TrayIconExists());
}

// --- Game controllers ----------------------------------------------------------------------

std::vector<PadButton> padPresses;

void RecordPad(WindowHandle, PadButton button) {
  padPresses.push_back(button);
}

// A press of SDL's virtual controller, until the pad watcher reported it.
bool PressUntilReported(SDL_Joystick* pad, SDL_GameControllerButton button) {
  size_t before = padPresses.size();
  SDL_JoystickSetVirtualButton(pad, button, 1);
  bool reported = PumpUntil([before] { return padPresses.size() > before; });
  SDL_JoystickSetVirtualButton(pad, button, 0);
  return reported;
}

// While background work runs (a score-server exchange) the player's input goes nowhere: a pad
// press then is dropped, as a key press is, and the next one after the work arrives.
TEST_F(GtkBackend, PadPressesDuringBackgroundWorkAreDropped) {
  padPresses.clear();
  WindowHandle window = Make("pad", 10, 10, 40, 30);
  // No pad device here: devices named for SDL start the controllers all the same.
  setenv("SDL_JOYSTICK_DEVICE", "/dev/null", 1);
  PlatformWatchGamepads(window, RecordPad);
  ASSERT_EQ(SDL_InitSubSystem(SDL_INIT_GAMECONTROLLER), 0) << SDL_GetError();
  int index = SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER, SDL_CONTROLLER_AXIS_MAX,
                                        SDL_CONTROLLER_BUTTON_MAX, 0);
  ASSERT_GE(index, 0) << SDL_GetError();
  SDL_Joystick* pad = SDL_JoystickOpen(index);
  ASSERT_NE(pad, nullptr) << SDL_GetError();
  SDL_JoystickID id = SDL_JoystickInstanceID(pad);
  // The watcher opens the controller at one of its polls, once a second without one.
  ASSERT_TRUE(PumpUntil([id] { return SDL_GameControllerFromInstanceID(id) != nullptr; }));
  ASSERT_TRUE(PressUntilReported(pad, SDL_CONTROLLER_BUTTON_A));

  // The work ends once the watcher's poll has seen the press.
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_B, 1);
  bool seen = false;
  PlatformRunInBackground([id, &seen] {
    SDL_GameController* controller = SDL_GameControllerFromInstanceID(id);
    gint64 deadline = g_get_monotonic_time() + 3000000;
    while (!seen && g_get_monotonic_time() < deadline) {
      seen = SDL_GameControllerGetButton(controller, SDL_CONTROLLER_BUTTON_B) != 0;
      g_usleep(1000);
    }
  });
  SDL_JoystickSetVirtualButton(pad, SDL_CONTROLLER_BUTTON_B, 0);
  EXPECT_TRUE(seen);
  ASSERT_TRUE(PressUntilReported(pad, SDL_CONTROLLER_BUTTON_X));
  EXPECT_EQ(padPresses, (std::vector<PadButton>{PadButton::south, PadButton::west}));

  SDL_JoystickClose(pad);
  SDL_JoystickDetachVirtual(index);
}

// Held directions repeat as the desktop's keys do: GNOME's keyboard settings when present.
TEST(KeyRepeat, FollowsTheDesktopKeyboardSettings) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  GSettingsSchema* schema =
      source != nullptr
          ? g_settings_schema_source_lookup(source, "org.gnome.desktop.peripherals.keyboard", TRUE)
          : nullptr;
  if (schema == nullptr) GTEST_SKIP() << "GNOME's keyboard settings are not installed";
  GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
  for (auto [delay, period] : {std::pair{321u, 45u}, std::pair{700u, 20u}}) {
    g_settings_set_uint(settings, "delay", delay);
    g_settings_set_uint(settings, "repeat-interval", period);
    uint32_t readDelay = 0;
    uint32_t readPeriod = 0;
    PlatformKeyRepeat(&readDelay, &readPeriod);
    EXPECT_EQ(readDelay, delay);
    EXPECT_EQ(readPeriod, period);
  }
  g_object_unref(settings);
  g_settings_schema_unref(schema);
}

}  // namespace
