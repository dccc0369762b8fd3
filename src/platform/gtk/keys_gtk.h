// Translation of GDK key values into the virtual-key codes and characters of the game's key
// messages. Key values are plain numbers here so that callers need no GDK header.
#pragma once

#include <span>

// The virtual-key code of a key press, or 0 when the press delivers no key message (unknown
// keys, Alt and F10, which are system keys). `keyval` is the pressed key value; `levels` are the
// key values of the same physical key at shift levels 0, 1, ... (may be empty): character keys
// take their code from those, so that a key gives the same code with or without Shift, as on
// Windows.
int VirtualKeyForKey(unsigned keyval, std::span<const unsigned> levels);

inline int VirtualKeyForKeyval(unsigned keyval) {
  return VirtualKeyForKey(keyval, {});
}

// The Windows-1252 character a key press types (0 to 255), or -1 when it types none or one that
// Windows-1252 cannot hold.
int CharacterForKeyval(unsigned keyval);
