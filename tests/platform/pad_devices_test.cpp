// Which input devices wake the game-controller support, and the watch that notices new ones.
#include "platform/sdl/pad_devices.h"

#include <fcntl.h>
#include <glib.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <initializer_list>
#include <string>

namespace {

struct DeviceCase {
  const char* name;
  std::initializer_list<int> keys;
  std::initializer_list<int> axes;
  bool padLike;
};

TEST(PadDevices, TellsPadsFromOtherInputDevices) {
  const DeviceCase cases[] = {
      {"keyboard", {KEY_ESC, KEY_A, KEY_LEFTCTRL, KEY_VOLUMEUP}, {}, false},
      {"mouse", {BTN_LEFT, BTN_RIGHT, BTN_MIDDLE, BTN_SIDE, BTN_EXTRA}, {}, false},
      {"touchpad",
       {BTN_LEFT, BTN_TOOL_FINGER, BTN_TOOL_DOUBLETAP, BTN_TOUCH},
       {ABS_X, ABS_Y, ABS_MT_POSITION_X, ABS_MT_POSITION_Y},
       false},
      {"tablet's button pad", {BTN_0, BTN_1, BTN_STYLUS}, {ABS_X, ABS_Y, ABS_WHEEL}, false},
      {"absolute mouse with numbered buttons", {BTN_LEFT, BTN_0}, {ABS_X, ABS_Y}, false},
      {"numbered buttons without axes", {BTN_0, BTN_1}, {}, false},
      {"gamepad",
       {BTN_SOUTH, BTN_EAST, BTN_NORTH, BTN_WEST, BTN_TL, BTN_TR, BTN_SELECT, BTN_START,
        BTN_DPAD_UP, BTN_DPAD_LEFT},
       {ABS_X, ABS_Y, ABS_RX, ABS_RY},
       true},
      {"gamepad without sticks", {BTN_START}, {}, true},
      {"joystick", {BTN_TRIGGER, BTN_THUMB, BTN_BASE}, {ABS_X, ABS_Y, ABS_THROTTLE}, true},
      {"pad with a hat D-pad",
       {BTN_A, BTN_B, BTN_THUMBR},
       {ABS_X, ABS_Y, ABS_HAT0X, ABS_HAT0Y},
       true},
      {"stick with numbered buttons", {BTN_0, BTN_1}, {ABS_X, ABS_Y, ABS_RZ}, true},
      {"stick with extra buttons only", {BTN_TRIGGER_HAPPY1}, {ABS_X, ABS_Y}, true},
  };
  for (const DeviceCase& device : cases) {
    InputCapabilities capabilities;
    for (int key : device.keys) capabilities.keys.set(key);
    for (int axis : device.axes) capabilities.axes.set(axis);
    EXPECT_EQ(IsPadLike(capabilities), device.padLike) << device.name;
  }
}

int rescans;
bool rescanFinds;

bool CountRescan() {
  ++rescans;
  return rescanFinds;
}

// Handles what the watch's descriptor holds: the kernel queues a directory's events as the change
// is made, so they are there to read already.
int RescansAfter(void (*change)(const std::string&), const std::string& path) {
  rescans = 0;
  change(path);
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
  return rescans;
}

void Create(const std::string& path) {
  close(open(path.c_str(), O_CREAT | O_WRONLY | O_CLOEXEC, 0600));
}

void AllowReading(const std::string& path) {
  chmod(path.c_str(), 0644);
}

void MakeDirectory(const std::string& path) {
  mkdir(path.c_str(), 0755);
}

TEST(PadDevices, WatchRescansWhenAnEventDeviceAppearsUntilAPadIsFound) {
  char directory[] = "/tmp/pad-devices-XXXXXX";
  ASSERT_NE(mkdtemp(directory), nullptr);
  std::string device = std::string(directory) + "/event7";
  rescanFinds = false;
  ASSERT_TRUE(WatchInputDirectory(directory, CountRescan));

  EXPECT_EQ(RescansAfter(MakeDirectory, std::string(directory) + "/by-id"), 0);
  EXPECT_EQ(RescansAfter(Create, std::string(directory) + "/js0"), 0);
  EXPECT_EQ(RescansAfter(Create, device), 1);
  EXPECT_EQ(RescansAfter(AllowReading, device), 1);
  rescanFinds = true;
  EXPECT_EQ(RescansAfter(AllowReading, device), 1);
  // Found: the watch has ended.
  EXPECT_EQ(RescansAfter(Create, std::string(directory) + "/event8"), 0);

  EXPECT_FALSE(WatchInputDirectory((std::string(directory) + "/missing").c_str(), CountRescan));
  std::filesystem::remove_all(directory);
}

}  // namespace
