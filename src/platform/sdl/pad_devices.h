// Game controllers found without SDL: the kernel's event devices are asked which keys and axes
// they report, so that SDL is loaded only once something pad-like is plugged in.
#pragma once

#include <linux/input.h>

#include <bitset>

// The keys (buttons included) and the absolute axes one event device reports.
struct InputCapabilities {
  std::bitset<KEY_CNT> keys;
  std::bitset<ABS_CNT> axes;
};

// True for gamepads and joysticks; false for keyboards, mice, touchpads and tablets.
bool IsPadLike(const InputCapabilities& device);

// True when one of the event devices in `directory` that the user may open is pad-like.
bool PadDevicePresent(const char* directory);

// Looks at the devices again after a change; true once the watch may end.
using DeviceRescan = bool (*)();

// Watches `directory` from the main loop and calls `rescan` whenever an event device appears
// there or its access rights change (a new pad becomes readable only once its rights are set,
// after its creation), until `rescan` returns true. False when the directory cannot be watched.
// One watch at a time.
bool WatchInputDirectory(const char* directory, DeviceRescan rescan);

// Ends the watch, if one runs.
void StopWatchingInputDirectory();
