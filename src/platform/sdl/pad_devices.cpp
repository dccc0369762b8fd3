// Event devices that look like game controllers, and the watch of their directory.
#include "platform/sdl/pad_devices.h"

#include <dirent.h>
#include <fcntl.h>
#include <glib-unix.h>
#include <sys/inotify.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <climits>
#include <string>
#include <string_view>

namespace {

struct DirectoryWatch {
  int inotify = -1;
  guint source = 0;
  DeviceRescan rescan = nullptr;
};

DirectoryWatch directoryWatch;

bool HasKeyIn(const InputCapabilities& device, int first, int last) {
  for (int key = first; key <= last; ++key) {
    if (device.keys.test(key)) return true;
  }
  return false;
}

bool IsEventDevice(const char* name) {
  return std::string_view(name).starts_with("event");
}

// One of the device's capability sets, which the kernel gives as an array of longs.
template <size_t bitCount>
std::bitset<bitCount> CapabilitiesOf(int device, int eventType) {
  constexpr size_t kWordBits = sizeof(unsigned long) * CHAR_BIT;
  unsigned long words[(bitCount + kWordBits - 1) / kWordBits] = {};
  std::bitset<bitCount> bits;
  if (ioctl(device, EVIOCGBIT(eventType, sizeof words), words) < 0) return bits;
  for (size_t bit = 0; bit < bitCount; ++bit) {
    bits[bit] = (words[bit / kWordBits] >> (bit % kWordBits)) & 1;
  }
  return bits;
}

bool DeviceIsPadLike(const std::string& path) {
  int device = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (device < 0) return false;
  InputCapabilities capabilities{CapabilitiesOf<KEY_CNT>(device, EV_KEY),
                                 CapabilitiesOf<ABS_CNT>(device, EV_ABS)};
  close(device);
  return IsPadLike(capabilities);
}

// True when the waiting events name an event device, or some were lost.
bool EventDeviceChanged(int inotify) {
  alignas(inotify_event) char buffer[4096];
  bool changed = false;
  ssize_t size;
  while ((size = read(inotify, buffer, sizeof buffer)) > 0) {
    for (ssize_t at = 0; at < size;) {
      const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
      if ((event->mask & IN_Q_OVERFLOW) || (event->len > 0 && IsEventDevice(event->name))) {
        changed = true;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  return changed;
}

void CloseWatch() {
  if (directoryWatch.inotify >= 0) close(directoryWatch.inotify);
  directoryWatch = DirectoryWatch{};
}

gboolean OnDirectoryChanged(int inotify, GIOCondition, gpointer) {
  if (!EventDeviceChanged(inotify) || !directoryWatch.rescan()) return G_SOURCE_CONTINUE;
  CloseWatch();
  return G_SOURCE_REMOVE;
}

}  // namespace

bool IsPadLike(const InputCapabilities& device) {
  if (HasKeyIn(device, BTN_JOYSTICK, BTN_THUMBR)) return true;
  // Sticks whose buttons are only numbered, as long as they are no pointing device: tablets
  // number the buttons of their pads too.
  bool pointsAbsolutely = device.axes.test(ABS_X) && device.axes.test(ABS_Y);
  bool numberedButtons =
      HasKeyIn(device, BTN_0, BTN_9) || HasKeyIn(device, BTN_TRIGGER_HAPPY, BTN_TRIGGER_HAPPY40);
  bool pointer =
      HasKeyIn(device, BTN_MOUSE, BTN_TASK) || HasKeyIn(device, BTN_DIGI, BTN_TOOL_QUADTAP);
  return pointsAbsolutely && numberedButtons && !pointer;
}

bool PadDevicePresent(const char* directory) {
  DIR* entries = opendir(directory);
  if (entries == nullptr) return false;
  bool found = false;
  while (!found) {
    const dirent* entry = readdir(entries);
    if (entry == nullptr) break;
    found = IsEventDevice(entry->d_name) &&
            DeviceIsPadLike(std::string(directory) + "/" + entry->d_name);
  }
  closedir(entries);
  return found;
}

bool WatchInputDirectory(const char* directory, DeviceRescan rescan) {
  StopWatchingInputDirectory();
  int inotify = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
  if (inotify < 0) return false;
  if (inotify_add_watch(inotify, directory, IN_CREATE | IN_ATTRIB) < 0) {
    close(inotify);
    return false;
  }
  directoryWatch = {inotify, g_unix_fd_add(inotify, G_IO_IN, OnDirectoryChanged, nullptr), rescan};
  return true;
}

void StopWatchingInputDirectory() {
  if (directoryWatch.source != 0) g_source_remove(directoryWatch.source);
  CloseWatch();
}
