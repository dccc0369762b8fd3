// The widget window toolkit as the running program uses it: the main window's placement and
// composition, hot tracking, clicks and the move by the frame, keyboard routing and focus, image
// buttons, and the five commands.
#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/cp1252.h"
#include "game/new_game.h"
#include "game/rules.h"
#include "platform/dialogs.h"
#include "platform/input.h"
#include "platform/windows.h"
#include "shell/main_window.h"
#include "shell/startup.h"
#include "support/game_driver.h"
#include "video/video_recorder.h"
#include "widgets/drawing.h"
#include "widgets/image_button.h"
#include "widgets/widget.h"

namespace {

// --- Running the program -------------------------------------------------------------------

// The loop's idle callback performing one step at a time, then ending the run.
void InstallSteps(const std::vector<GameStep>& steps, size_t& next) {
  HeadlessSetIdle([&steps, &next]() {
    if (next == steps.size()) return false;
    steps[next++]();
    return true;
  });
}

// Each run starts from the default options, as RunGame does: no saved score file.
void ForgetScoreFile() {
  std::remove("Scores.zorvik");
}

// RunGame on a screen of the given size.
void RunOnScreen(int width, int height, const std::vector<GameStep>& steps) {
  ForgetScoreFile();
  HeadlessReset(width, height);
  size_t next = 0;
  InstallSteps(steps, next);
  RunKestrow();
  HeadlessSetIdle(nullptr);
}

// Observers of the main window procedure, called around every message it receives.
std::function<void(WindowHandle, uint32_t, intptr_t, intptr_t)> beforeMainProc;
std::function<void(WindowHandle, uint32_t, intptr_t, intptr_t)> afterMainProc;

intptr_t ObservedMainWindowProc(WindowHandle window, uint32_t message, intptr_t wParam,
                                intptr_t lParam) {
  if (beforeMainProc) beforeMainProc(window, message, wParam, lParam);
  intptr_t result = MainWindowProc(window, message, wParam, lParam);
  if (afterMainProc) afterMainProc(window, message, wParam, lParam);
  return result;
}

// Starts the program as RunKestrow does, with the main window procedure observed.
void RunObserved(const std::vector<GameStep>& steps) {
  ForgetScoreFile();
  HeadlessReset();
  size_t next = 0;
  InstallSteps(steps, next);
  StartKestrow();
  OpenWidgetWindow(0, 600, 600, "Kestrow", "Fond", ObservedMainWindowProc, 1);
  PlatformShutdown();
  HeadlessSetIdle(nullptr);
  beforeMainProc = nullptr;
  afterMainProc = nullptr;
}

WindowHandle Main() {
  return HeadlessMainWindow();
}
WidgetWindow& MainRecord() {
  return toolkit.windows.front();
}

// --- Pixels --------------------------------------------------------------------------------

std::vector<uint32_t> Screen() {
  std::vector<uint32_t> pixels;
  pixels.reserve(600 * 600);
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 600; ++x) pixels.push_back(ScreenPixel(x, y));
  }
  return pixels;
}

// Pixels of `rect` on screen that differ from the image drawn unscaled at its corner.
int DifferencesFromImage(const WidgetRect& rect, cairo_surface_t* image) {
  int count = 0;
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x) {
      count += ScreenPixel(x, y) != ImagePixel(image, x - rect.left, y - rect.top);
    }
  }
  return count;
}

int DifferencesFromBackground(const WidgetRect& rect) {
  int count = 0;
  for (int y = rect.top; y < rect.bottom; ++y) {
    for (int x = rect.left; x < rect.right; ++x)
      count += ScreenPixel(x, y) != BackgroundPixel(x, y);
  }
  return count;
}

// Pixels outside `rect` that differ between two screens.
int ChangesOutside(const std::vector<uint32_t>& before, const std::vector<uint32_t>& after,
                   const WidgetRect& rect) {
  int count = 0;
  for (int y = 0; y < 600; ++y) {
    for (int x = 0; x < 600; ++x) {
      if (RectContains(rect, x, y)) continue;
      count += before[y * 600 + x] != after[y * 600 + x];
    }
  }
  return count;
}

WidgetRect ButtonRect(int id) {
  return {353, 442 + 22 * (id - 1), 555, 463 + 22 * (id - 1)};
}

// --- Widgets that record what they receive -------------------------------------------------

// The messages received, as "name message wParam lParam", in one log shared by every recorder.
std::vector<std::string> eventLog;

struct Recorder {
  std::string name;
  std::vector<int32_t> ignored = {WM_PAINT, WM_MOUSEMOVE};
};

std::string Event(const std::string& name, int32_t message, intptr_t wParam = 0,
                  intptr_t lParam = 0) {
  return name + " " + std::to_string(message) + " " + std::to_string(wParam) + " " +
         std::to_string(lParam);
}

int32_t RecordingCallback(void* object, int32_t message, int32_t wParam, int32_t lParam) {
  auto* recorder = static_cast<Recorder*>(object);
  for (int32_t ignored : recorder->ignored) {
    if (message == ignored) return 0;
  }
  eventLog.push_back(Event(recorder->name, message, wParam, lParam));
  return 0;
}

Widget* AddRecorder(Recorder& recorder, int32_t id, int32_t parentKey, WidgetRect rect) {
  Widget* widget = NewWidget();
  widget->parentKey = parentKey;
  widget->id = id;
  widget->object = &recorder;
  widget->x = rect.left;
  widget->y = rect.top;
  widget->width = rect.right - rect.left;
  widget->height = rect.bottom - rect.top;
  widget->rect = rect;
  widget->state = kStateNormal;
  widget->callback = RecordingCallback;
  return widget;
}

Widget* WidgetWithId(int32_t id) {
  for (Widget& widget : toolkit.widgets) {
    if (widget.id == id) return &widget;
  }
  return nullptr;
}

// --- The main window -----------------------------------------------------------------------

TEST(MainWindow, IsCentredOnTheScreenAndTitled) {
  struct Case {
    int screenWidth, screenHeight, x, y;
  };
  // A screen narrower than the window puts it partly off the left edge.
  for (Case c : {Case{1024, 768, 212, 84}, Case{500, 768, -50, 84}, Case{600, 600, 0, 0}}) {
    bool checked = false;
    RunOnScreen(c.screenWidth, c.screenHeight, {[&] {
                  HeadlessWindowState window = HeadlessWindow(Main());
                  EXPECT_EQ(window.title, "Kestrow");
                  EXPECT_EQ(window.x, c.x) << c.screenWidth;
                  EXPECT_EQ(window.y, c.y) << c.screenHeight;
                  EXPECT_EQ(window.width, 600);
                  EXPECT_EQ(window.height, 600);
                  EXPECT_TRUE(window.visible);
                  checked = true;
                }});
    EXPECT_TRUE(checked);
  }
}

TEST(MainWindow, CreationComesBeforeTheRecordKnowsTheWindow) {
  int creates = 0;
  bool recordHadWindow = true;
  void* propertyDuringCreate = &creates;
  beforeMainProc = [&](WindowHandle window, uint32_t message, intptr_t, intptr_t) {
    if (message != WM_CREATE) return;
    ++creates;
    recordHadWindow = toolkit.windows.back().window != nullptr;
    propertyDuringCreate = PlatformGetWindowProperty(window, kRecordProperty);
  };
  bool checked = false;
  RunObserved({[&] {
    EXPECT_EQ(MainRecord().window, Main());
    EXPECT_EQ(PlatformGetWindowProperty(Main(), kRecordProperty), &MainRecord());
    checked = true;
  }});
  EXPECT_TRUE(checked);
  EXPECT_EQ(creates, 1);
  EXPECT_FALSE(recordHadWindow);
  EXPECT_EQ(propertyDuringCreate, nullptr);
}

// --- Composition ---------------------------------------------------------------------------

TEST(Composition, WellLetsTheDesktopThroughByDefault) {
  bool checked = false;
  RunGame({[&] {
    ASSERT_EQ(HeadlessPushCount(Main()), 1);
    int otherAlpha = 0;
    for (int y = 24; y < 546; ++y) {
      for (int x = 31; x < 321; ++x) otherAlpha += (ScreenPixel(x, y) >> 24) != 191;
    }
    EXPECT_EQ(otherAlpha, 0);
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

TEST(Composition, OpaqueBackgroundCoversThePanel) {
  // The option is read from the score file during creation; it is forced on right after, before
  // the first paint.
  afterMainProc = [](WindowHandle, uint32_t message, intptr_t, intptr_t) {
    if (message == WM_CREATE) game.playfield.opaqueBackground = 1;
  };
  bool checked = false;
  RunObserved({[&] {
    ASSERT_EQ(HeadlessPushCount(Main()), 1);
    int notOpaque = 0;
    for (int y = 20; y < 551; ++y) {
      for (int x = 23; x < 328; ++x) notOpaque += (ScreenPixel(x, y) >> 24) != 255;
    }
    EXPECT_EQ(notOpaque, 0);
    // The panel is part of the background: erasing restores it, not the see-through well.
    EXPECT_EQ(BackgroundPixel(100, 300) >> 24, 255u);
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

TEST(Composition, LaterPaintPushesTheSameImageWithoutWidgets) {
  Recorder recorder{"W", {}};
  bool checked = false;
  RunGame({[&] {
    AddRecorder(recorder, 50, 0, {570, 560, 590, 580});
    std::vector<uint32_t> before = Screen();
    int pushes = HeadlessPushCount(Main());
    eventLog.clear();
    PlatformSendMessage(Main(), WM_PAINT, 0, 0);
    EXPECT_EQ(HeadlessPushCount(Main()), pushes + 1);
    EXPECT_EQ(ChangesOutside(before, Screen(), {0, 0, 0, 0}), 0);
    EXPECT_TRUE(eventLog.empty());
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

// --- Hot tracking --------------------------------------------------------------------------

TEST(HotTracking, ButtonsLightUnderThePointerAndHoldTheCapture) {
  bool checked = false;
  RunGame({[&] {
    EXPECT_EQ(DifferencesFromBackground(ButtonRect(1)), 0);  // no resting image
    HeadlessMoveMouse(ButtonX(), ButtonY(1));
    HeadlessDispatchPending();
    EXPECT_EQ(DifferencesFromImage(ButtonRect(1), shell.imageBN), 0);
    EXPECT_TRUE(HeadlessWindow(Main()).captured);

    // Straight from one button onto the next.
    HeadlessMoveMouse(ButtonX(), ButtonY(2));
    HeadlessDispatchPending();
    EXPECT_EQ(DifferencesFromBackground(ButtonRect(1)), 0);
    EXPECT_EQ(DifferencesFromImage(ButtonRect(2), shell.imageBE), 0);
    EXPECT_TRUE(HeadlessWindow(Main()).captured);

    // Out across the window's edge: delivered only thanks to the capture.
    HeadlessMoveMouse(700, ButtonY(2));
    HeadlessDispatchPending();
    EXPECT_EQ(DifferencesFromBackground(ButtonRect(2)), 0);
    EXPECT_FALSE(HeadlessWindow(Main()).captured);
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

TEST(HotTracking, OldWidgetTurnsNormalBeforeTheNewOneTurnsHot) {
  Recorder a{"A", {WM_MOUSEMOVE}};
  Recorder b{"B", {WM_MOUSEMOVE}};
  bool checked = false;
  RunGame({[&] {
    AddRecorder(a, 50, 0, {570, 520, 590, 540});
    AddRecorder(b, 51, 0, {570, 540, 590, 560});
    eventLog.clear();
    HeadlessMoveMouse(580, 530);
    HeadlessDispatchPending();
    EXPECT_EQ(eventLog, std::vector<std::string>{Event("A", WM_PAINT, 1, kStateHot)});
    eventLog.clear();
    HeadlessMoveMouse(580, 545);
    HeadlessDispatchPending();
    std::vector<std::string> expected = {Event("A", WM_PAINT, 1, kStateNormal),
                                         Event("B", WM_PAINT, 1, kStateHot)};
    EXPECT_EQ(eventLog, expected);
    eventLog.clear();
    HeadlessMoveMouse(580, 590);  // inside the window, on no widget
    HeadlessDispatchPending();
    EXPECT_EQ(eventLog, std::vector<std::string>{Event("B", WM_PAINT, 1, kStateNormal)});
    EXPECT_FALSE(HeadlessWindow(Main()).captured);
    checked = true;
  }});
  eventLog.clear();
  EXPECT_TRUE(checked);
}

TEST(HotTracking, ChildrenAreFoundOutsideTheirParent) {
  Recorder parent{"P", {WM_MOUSEMOVE}};
  Recorder child{"C", {WM_MOUSEMOVE}};
  Recorder grandchild{"G", {WM_MOUSEMOVE}};
  bool checked = false;
  RunGame({[&] {
    Widget* p = AddRecorder(parent, 60, 0, {570, 20, 590, 40});
    Widget* c = AddRecorder(child, 61, 60, {570, 160, 590, 180});
    Widget* g = AddRecorder(grandchild, 62, 61, {570, 200, 590, 220});
    eventLog.clear();
    EXPECT_EQ(FindWidgetAt(0, 580, 30), p);
    EXPECT_EQ(FindWidgetAt(0, 580, 170), c);
    EXPECT_EQ(FindWidgetAt(0, 580, 210), g);
    EXPECT_EQ(FindWidgetAt(0, 580, 190), nullptr);
    EXPECT_EQ(FindWidgetAt(0, ButtonX(), ButtonY(3)), WidgetWithId(3));
    EXPECT_EQ(FindWidgetAt(60, 580, 30), nullptr);  // a widget is not its own child

    HeadlessMoveMouse(580, 170);
    HeadlessDispatchPending();
    EXPECT_EQ(eventLog, std::vector<std::string>{Event("C", WM_PAINT, 1, kStateHot)});
    checked = true;
  }});
  eventLog.clear();
  EXPECT_TRUE(checked);
}

// --- Clicks and the move by the frame -----------------------------------------------------

// Presses at (x, y), drags by (20, 20), releases, then moves again; returns the window's moves.
std::pair<int, int> DragFrom(int x, int y) {
  HeadlessWindowState start = HeadlessWindow(Main());
  HeadlessMoveMouse(x, y);
  HeadlessPressButton(x, y);
  HeadlessDispatchPending();
  HeadlessMoveMouse(x + 20, y + 20);
  HeadlessReleaseButton(x + 20, y + 20);
  HeadlessDispatchPending();
  HeadlessMoveMouse(x + 30, y + 30);  // after the release the window stays put
  HeadlessDispatchPending();
  HeadlessWindowState end = HeadlessWindow(Main());
  return {end.x - start.x, end.y - start.y};
}

TEST(Clicks, OnlyFreeAreasOutsideTheBoardMoveTheWindow) {
  Recorder recorder{"W"};
  bool checked = false;
  RunGame({[&] {
    AddRecorder(recorder, 50, 0, {570, 560, 590, 580});
    EXPECT_EQ(DragFrom(580, 300), std::make_pair(20, 20));  // right margin, no widget
    EXPECT_EQ(DragFrom(25, 300), std::make_pair(0, 0));     // beside the board, inside its frame
    EXPECT_EQ(DragFrom(19, 19), std::make_pair(0, 0));      // the frame's first corner
    EXPECT_EQ(DragFrom(332, 300), std::make_pair(20, 20));  // just right of the frame
    EXPECT_EQ(DragFrom(200, 300), std::make_pair(0, 0));    // the board
    EXPECT_EQ(DragFrom(500, 100), std::make_pair(0, 0));    // the chronometer
    EXPECT_EQ(DragFrom(ButtonX(), ButtonY(2)), std::make_pair(0, 0));
    EXPECT_EQ(DragFrom(580, 570), std::make_pair(0, 0));  // a widget added later
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

// --- Keyboard and focus --------------------------------------------------------------------

TEST(Keys, ReachTheBoardOnlyOnceAWidgetWasClicked) {
  bool checked = false;
  RunGame({[] { StartNewGame(); },
           [&] {
             ASSERT_TRUE(game.clock.running);
             int column = game.playfield.pieceColumn;
             HeadlessPressKey(VK_LEFT);
             HeadlessDispatchPending();
             EXPECT_EQ(game.playfield.pieceColumn, column);
             ClickButton(2);  // does nothing during a game but takes the focus
             HeadlessDispatchPending();
             HeadlessPressKey(VK_LEFT);
             HeadlessDispatchPending();
             EXPECT_EQ(game.playfield.pieceColumn, column - 1);
             checked = true;
           }});
  EXPECT_TRUE(checked);
}

TEST(Keys, TheNewGameClickGivesTheFocus) {
  bool checked = false;
  RunGame({[] { ClickButton(1); },
           [&] {
             ASSERT_TRUE(game.clock.running);
             int column = game.playfield.pieceColumn;
             HeadlessPressKey(VK_LEFT);
             HeadlessDispatchPending();
             EXPECT_EQ(game.playfield.pieceColumn, column - 1);
             checked = true;
           }});
  EXPECT_TRUE(checked);
}

TEST(Keys, EscapeEndsTheGameAndKeepsTheWindow) {
  bool checked = false;
  RunGame({[] {
             HeadlessSetTrayAvailable(true);
             ClickButton(1);
           },
           [&] {
             ASSERT_TRUE(game.clock.running);
             HeadlessPressKey(VK_ESCAPE, 27);
             HeadlessDispatchPending();
             EXPECT_EQ(game.clock.running, 0);
             EXPECT_TRUE(HeadlessWindow(Main()).visible);
             EXPECT_FALSE(HeadlessTrayIconShown());
             checked = true;
           }});
  EXPECT_TRUE(checked);
}

TEST(Keys, EscapeHidesTheWindowOnlyBehindANotificationIcon) {
  bool checked = false;
  RunGame({[&] {
    HeadlessPressKey(VK_ESCAPE, 27);
    HeadlessDispatchPending();
    EXPECT_TRUE(HeadlessWindow(Main()).visible);  // no notification area
    EXPECT_FALSE(HeadlessTrayIconShown());

    HeadlessSetTrayAvailable(true);
    HeadlessPressKey(VK_ESCAPE, 27);
    HeadlessDispatchPending();
    EXPECT_FALSE(HeadlessWindow(Main()).visible);
    EXPECT_TRUE(HeadlessTrayIconShown());

    HeadlessClickTrayIcon(WM_RBUTTONDOWN);
    HeadlessDispatchPending();
    EXPECT_FALSE(HeadlessWindow(Main()).visible);
    EXPECT_TRUE(HeadlessTrayIconShown());

    HeadlessClickTrayIcon(WM_LBUTTONDOWN);
    HeadlessDispatchPending();
    EXPECT_TRUE(HeadlessWindow(Main()).visible);
    EXPECT_FALSE(HeadlessTrayIconShown());

    // And again: the icon comes back the second time.
    HeadlessPressKey(VK_ESCAPE, 27);
    HeadlessDispatchPending();
    EXPECT_FALSE(HeadlessWindow(Main()).visible);
    EXPECT_TRUE(HeadlessTrayIconShown());
    HeadlessClickTrayIcon(WM_LBUTTONDOWN);
    HeadlessDispatchPending();
    EXPECT_TRUE(HeadlessWindow(Main()).visible);
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

TEST(Focus, TabAndClicksSendFocusMessagesInOrder) {
  Recorder a{"A", {WM_PAINT, WM_MOUSEMOVE, WM_LBUTTONUP}};
  Recorder b{"B", {WM_PAINT, WM_MOUSEMOVE, WM_LBUTTONUP}};
  bool checked = false;
  RunGame({[] { StartNewGame(); },
           [&] {
             AddRecorder(a, 50, 0, {570, 560, 590, 580});
             AddRecorder(b, 51, 0, {570, 520, 590, 540});
             eventLog.clear();
             HeadlessClick(580, 570);
             HeadlessDispatchPending();
             intptr_t point = MakePointParam(580, 570);
             std::vector<std::string> firstClick = {Event("A", WM_LBUTTONDOWN, 1, point),
                                                    Event("A", WM_SETFOCUS, 1, point)};
             EXPECT_EQ(eventLog, firstClick);

             // Tab cycles the focus and is not a game key even when bound to one.
             Playfield& board = game.playfield;
             board.keys.moveLeft = VK_TAB;
             int column = board.pieceColumn;
             eventLog.clear();
             HeadlessPressKey(VK_TAB);
             HeadlessDispatchPending();
             std::vector<std::string> tab = {Event("A", WM_KILLFOCUS, VK_TAB, 0),
                                             Event("A", WM_SETFOCUS, VK_TAB, 0)};
             EXPECT_EQ(eventLog, tab);
             EXPECT_EQ(board.pieceColumn, column);
             HeadlessPressKey(VK_RIGHT);  // the focus is still there
             HeadlessDispatchPending();
             EXPECT_EQ(board.pieceColumn, column + 1);

             // Pressing the focused widget again.
             eventLog.clear();
             HeadlessMoveMouse(582, 572);
             HeadlessPressButton(582, 572);
             HeadlessDispatchPending();
             point = MakePointParam(582, 572);
             std::vector<std::string> again = {Event("A", WM_KILLFOCUS, 1, point),
                                               Event("A", WM_LBUTTONDOWN, 1, point),
                                               Event("A", WM_SETFOCUS, 1, point)};
             EXPECT_EQ(eventLog, again);
             HeadlessReleaseButton(582, 572);

             // Pressing another widget takes the focus from the first.
             eventLog.clear();
             HeadlessClick(580, 530);
             HeadlessDispatchPending();
             point = MakePointParam(580, 530);
             std::vector<std::string> other = {Event("A", WM_KILLFOCUS, 1, point),
                                               Event("B", WM_LBUTTONDOWN, 1, point),
                                               Event("B", WM_SETFOCUS, 1, point)};
             EXPECT_EQ(eventLog, other);
             checked = true;
           }});
  eventLog.clear();
  EXPECT_TRUE(checked);
}

// --- Image buttons -------------------------------------------------------------------------

// The button's messages are logged, then handled as usual.
int32_t LoggedButtonCallback(void* object, int32_t message, int32_t wParam, int32_t lParam) {
  auto* button = static_cast<ImageButton*>(object);
  if (message == WM_LBUTTONDOWN || message == WM_SETFOCUS) {
    eventLog.push_back(Event("button " + std::to_string(button->widget->id), message));
  }
  return ImageButtonCallback(object, message, wParam, lParam);
}

void LogCommands(WindowHandle, uint32_t message, intptr_t wParam, intptr_t) {
  if (message == WM_COMMAND) eventLog.push_back(Event("window", WM_COMMAND, wParam));
}

TEST(ImageButtons, ImageShownDependsOnStateAndImagesGiven) {
  bool checked = false;
  RunGame({[&] {
    cairo_surface_t* pink = game.blockImages[7];
    cairo_surface_t* green = game.blockImages[2];
    ImageButton* hotOnly = CreateImageButton(0, 40, 570, 200, 29, 29, nullptr, pink, nullptr);
    ImageButton* normalOnly = CreateImageButton(0, 41, 570, 240, 29, 29, green, nullptr, nullptr);
    const WidgetRect hotRect = hotOnly->widget->rect;
    const WidgetRect normalRect = normalOnly->widget->rect;
    ImageButtonCallback(hotOnly, WM_PAINT, 1, kStateNormal);
    ImageButtonCallback(normalOnly, WM_PAINT, 1, kStateNormal);
    EXPECT_EQ(DifferencesFromBackground(hotRect), 0);
    EXPECT_EQ(DifferencesFromImage(normalRect, green), 0);

    HeadlessMoveMouse(584, 214);
    HeadlessDispatchPending();
    EXPECT_EQ(hotOnly->widget->state, kStateHot);
    EXPECT_EQ(DifferencesFromImage(hotRect, pink), 0);
    HeadlessPressButton(584, 214);
    HeadlessDispatchPending();
    EXPECT_EQ(hotOnly->widget->state, kStatePressed);
    EXPECT_EQ(DifferencesFromImage(hotRect, pink), 0);
    HeadlessReleaseButton(584, 214);

    HeadlessMoveMouse(584, 254);
    HeadlessDispatchPending();
    EXPECT_EQ(hotOnly->widget->state, kStateNormal);
    EXPECT_EQ(DifferencesFromBackground(hotRect), 0);
    EXPECT_EQ(normalOnly->widget->state, kStateHot);
    EXPECT_EQ(DifferencesFromImage(normalRect, green), 0);
    HeadlessPressButton(584, 254);
    HeadlessDispatchPending();
    EXPECT_EQ(normalOnly->widget->state, kStatePressed);
    EXPECT_EQ(DifferencesFromImage(normalRect, green), 0);
    HeadlessReleaseButton(584, 254);
    HeadlessDispatchPending();
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

TEST(ImageButtons, PressSendsTheCommandBeforeTheFocusMessage) {
  ImageButton* plain = nullptr;
  ImageButton* imageless = nullptr;
  beforeMainProc = LogCommands;
  bool checked = false;
  RunObserved({[&] {
    plain = CreateImageButton(0, 40, 570, 200, 29, 29, nullptr, game.blockImages[7], nullptr);
    imageless = CreateImageButton(0, 42, 570, 280, 29, 29, nullptr, nullptr, nullptr);
    plain->widget->callback = LoggedButtonCallback;
    imageless->widget->callback = LoggedButtonCallback;
    eventLog.clear();

    HeadlessMoveMouse(584, 214);
    HeadlessPressButton(584, 214);
    HeadlessDispatchPending();
    std::vector<std::string> press = {Event("button 40", WM_LBUTTONDOWN),
                                      Event("window", WM_COMMAND, 40),
                                      Event("button 40", WM_SETFOCUS)};
    EXPECT_EQ(eventLog, press);
    HeadlessReleaseButton(584, 214);
    HeadlessPressButton(584, 214);  // again, without moving off
    HeadlessReleaseButton(584, 214);
    HeadlessDispatchPending();
    int commands = 0;
    for (const std::string& event : eventLog) commands += event == Event("window", WM_COMMAND, 40);
    EXPECT_EQ(commands, 2);

    eventLog.clear();
    HeadlessClick(584, 294);
    HeadlessDispatchPending();
    std::vector<std::string> imagelessPress = {Event("button 42", WM_LBUTTONDOWN),
                                               Event("window", WM_COMMAND, 42),
                                               Event("button 42", WM_SETFOCUS)};
    EXPECT_EQ(eventLog, imagelessPress);
    checked = true;
  }});
  eventLog.clear();
  EXPECT_TRUE(checked);
}

TEST(ImageButtons, OwnRepaintTouchesNothingOutsideTheButton) {
  bool checked = false;
  RunGame({[] { ClickButton(1); },
           [&] {
             // A game in progress: the screen differs from the background in many places.
             ASSERT_TRUE(game.clock.running);
             std::vector<uint32_t> before = Screen();
             Widget* button = WidgetWithId(3);
             ASSERT_NE(button, nullptr);
             button->callback(button->object, WM_PAINT, 1, kStateHot);
             EXPECT_EQ(ChangesOutside(before, Screen(), button->rect), 0);
             EXPECT_EQ(DifferencesFromImage(button->rect, shell.imageBP), 0);
             checked = true;
           }});
  EXPECT_TRUE(checked);
}

// --- Commands ------------------------------------------------------------------------------

TEST(Commands, NewGameIsIgnoredDuringAGame) {
  bool checked = false;
  RunGame({[] { ClickButton(1); },
           [&] {
             ASSERT_TRUE(game.clock.running);
             HandleGameKey(game.playfield.keys.moveRight);
             const Playfield before = game.playfield;
             uint32_t tick = PlatformTickCount();
             ClickButton(1);
             HeadlessDispatchPending();
             EXPECT_EQ(PlatformTickCount(), tick);  // no countdown
             EXPECT_TRUE(game.clock.running);
             EXPECT_EQ(game.playfield.pieceId, before.pieceId);
             EXPECT_EQ(game.playfield.pieceColumn, before.pieceColumn);
             EXPECT_EQ(game.playfield.pieceRow, before.pieceRow);
             EXPECT_EQ(game.playfield.nextPieceId, before.nextPieceId);
             checked = true;
           }});
  EXPECT_TRUE(checked);
}

TEST(Commands, ClearingTheListAsksOnlyForTheLocalList) {
  bool checked = false;
  RunGame({[] { ClickButton(2); },  // internet scores shown: nothing to clear
           [] {
             EXPECT_TRUE(HeadlessDialogs().empty());
             game.playfield.internetScores = 0;
             HeadlessQueueAnswer(IDNO);
             ClickButton(2);
           },
           [&] {
             ASSERT_EQ(HeadlessDialogs().size(), 1u);
             const HeadlessDialog& dialog = HeadlessDialogs()[0];
             EXPECT_EQ(dialog.text,
                       Utf8ToCp1252("Êtes-vous sûrs de vouloir effacer la liste des scores ?"));
             EXPECT_EQ(dialog.title, "Confirmation");
             EXPECT_EQ(dialog.style, MB_YESNO);
             ClickButton(1);
           },
           [&] {
             ASSERT_TRUE(game.clock.running);
             ClickButton(2);  // not during a game
             HeadlessDispatchPending();
             EXPECT_EQ(HeadlessDialogs().size(), 1u);
             checked = true;
           }});
  EXPECT_TRUE(checked);
}

TEST(Commands, QuitClosesAtOnceDuringAGame) {
  bool quitChecked = false;
  bool ranAfterQuit = false;
  RunGame({[] { ClickButton(1); },
           [&] {
             ASSERT_TRUE(game.clock.running);
             ClickButton(5);
             HeadlessDispatchPending();
             EXPECT_EQ(HeadlessMainWindow(), nullptr);
             EXPECT_TRUE(HeadlessDialogs().empty());
             quitChecked = true;
           },
           [&] { ranAfterQuit = true; }});
  EXPECT_TRUE(quitChecked);
  EXPECT_FALSE(ranAfterQuit);
}

TEST(Commands, CloseRequestEndsTheProgram) {
  bool ranAfterClose = false;
  RunGame({[] {
             ASSERT_NE(shell.imageBN, nullptr);
             HeadlessCloseRequest();
           },
           [&] { ranAfterClose = true; }});
  EXPECT_FALSE(ranAfterClose);
  EXPECT_EQ(shell.imageBN, nullptr);
  EXPECT_EQ(game.ghostImage, nullptr);
}

}  // namespace
