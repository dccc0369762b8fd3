// Modal dialogs: message boxes, the text prompt, the video compression dialog. The timers go on
// while one is open.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/windows.h"

// Message-box buttons and answers.
inline constexpr uint32_t MB_OK = 0x0;
inline constexpr uint32_t MB_YESNO = 0x4;
inline constexpr uint32_t MB_ICONWARNING = 0x30;
inline constexpr uint32_t MB_ICONINFORMATION = 0x40;
inline constexpr int IDOK = 1;
inline constexpr int IDYES = 6;
inline constexpr int IDNO = 7;

// A modal message box owned by `owner` (may be null); the timers go on meanwhile. Enter answers
// the first button. Returns IDOK, IDYES or IDNO.
int PlatformMessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                       uint32_t style);

// A modal prompt titled `title`: a label, a single-line field holding `defaultText` with the
// caret after it, and an "OK" button; no close box. Enter or "OK" returns the field's text,
// Escape the empty text. At most `maxLength` characters can be typed. The timers go on meanwhile.
std::string PlatformPromptText(WindowHandle owner, const std::string& title,
                               const std::string& prompt, const std::string& defaultText,
                               int maxLength);

// The compression of a video recording, as the compression dialog edits it.
struct CompressionOptions {
  std::string encoder;   // the name of the chosen encoder (CompressionChoice::encoder)
  int keyFrameInterval;  // a key frame every this many frames; 1 makes every frame a key frame
  int dataRate;          // kilobytes per second; 0 leaves the size to the encoder's own quality
};

// An encoder the compression dialog offers: its name and the text shown for it.
struct CompressionChoice {
  std::string encoder;
  std::string label;
};

// The modal compression dialog owned by `owner`: the encoder, the key-frame interval and the
// data rate, "OK" and "Annuler"; Enter confirms. It opens on `options`; when confirmed it writes
// the choice back into them and returns true, cancelled it leaves them and returns false. The
// timers go on meanwhile.
bool PlatformCompressionDialog(WindowHandle owner, const std::vector<CompressionChoice>& choices,
                               CompressionOptions* options);
