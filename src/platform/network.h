// Work that waits on the network, and the adapter address.
#pragma once

#include <functional>

// Runs `work` on a thread of its own while the calling thread goes on dispatching timers and
// painting, as a nested message loop does. Meanwhile no window takes input, but the main
// window's close still gets through. Returns true once `work` has ended; false as soon as the
// program is ending (a termination signal, the main window closed) even if `work` still runs:
// then `work` finishes on its own, so it must own everything it touches.
bool PlatformRunInBackground(std::function<void()> work);

// The hardware address of the first network adapter the system lists that has a 6-byte address
// and is not the loopback. Returns false when there is none.
bool PlatformAdapterAddress(unsigned char address[6]);
