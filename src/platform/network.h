// Work that waits on the network, and the adapter address.
#pragma once

#include <atomic>
#include <functional>
#include <memory>

// Runs `work` on a thread of its own while the calling thread goes on dispatching timers and
// painting, as a nested message loop does. Meanwhile no window takes input, but the main
// window's close still gets through. Returns true once `work` has ended; false as soon as the
// program is ending (a termination signal, the main window closed) even if `work` still runs:
// then `work` finishes on its own, so it must own everything it touches.
bool PlatformRunInBackground(std::function<void()> work);

// Work that nobody waits for: the caller goes on at once and looks at `done` later. What the
// work wrote is safe to read once `done` is true.
struct BackgroundJob {
  std::atomic<bool> done = false;
};

// Starts `work` and returns at once. The work must own everything it touches: the caller may
// forget the job, and the program's end never waits for it.
std::shared_ptr<BackgroundJob> PlatformStartBackgroundJob(std::function<void()> work);

// The hardware address of the first network adapter the system lists that has a 6-byte address
// and is not the loopback. Returns false when there is none.
bool PlatformAdapterAddress(unsigned char address[6]);
