#include "platform/gtk/keys_gtk.h"

#include <X11/XKBlib.h>
#include <gdk/gdk.h>
#include <gdk/gdkx.h>
#include <gio/gio.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "base/cp1252.h"
#include "platform/gamepad.h"
#include "platform/input.h"

namespace {

struct KeyCode {
  unsigned keyval;
  int virtualKey;
};

// Keys whose code does not depend on the layout's characters: the pressed key value decides.
// A code of 0 marks keys that deliver nothing.
constexpr KeyCode kFunctionKeys[] = {
    {GDK_KEY_BackSpace, VK_BACK},
    {GDK_KEY_Tab, VK_TAB},
    {GDK_KEY_ISO_Left_Tab, VK_TAB},
    {GDK_KEY_Clear, 12},
    {GDK_KEY_Return, VK_RETURN},
    {GDK_KEY_Shift_L, VK_SHIFT},
    {GDK_KEY_Shift_R, VK_SHIFT},
    {GDK_KEY_Control_L, VK_CONTROL},
    {GDK_KEY_Control_R, VK_CONTROL},
    {GDK_KEY_Alt_L, 0},
    {GDK_KEY_Alt_R, 0},
    {GDK_KEY_Meta_L, 0},
    {GDK_KEY_Meta_R, 0},
    {GDK_KEY_ISO_Level3_Shift, 0},
    {GDK_KEY_Pause, 19},
    {GDK_KEY_Break, 19},
    {GDK_KEY_Caps_Lock, 20},
    {GDK_KEY_Escape, VK_ESCAPE},
    {GDK_KEY_space, VK_SPACE},
    {GDK_KEY_Page_Up, VK_PRIOR},
    {GDK_KEY_Page_Down, VK_NEXT},
    {GDK_KEY_End, VK_END},
    {GDK_KEY_Home, VK_HOME},
    {GDK_KEY_Left, VK_LEFT},
    {GDK_KEY_Up, VK_UP},
    {GDK_KEY_Right, VK_RIGHT},
    {GDK_KEY_Down, VK_DOWN},
    {GDK_KEY_Print, 44},
    {GDK_KEY_Sys_Req, 44},
    {GDK_KEY_Insert, 45},
    {GDK_KEY_Delete, 46},
    {GDK_KEY_Super_L, 91},
    {GDK_KEY_Super_R, 92},
    {GDK_KEY_Menu, 93},
    {GDK_KEY_F10, 0},
    {GDK_KEY_Num_Lock, 144},
    {GDK_KEY_Scroll_Lock, 145},
    // Keypad: with Num Lock off its keys are navigation keys, as on Windows.
    {GDK_KEY_KP_Insert, 45},
    {GDK_KEY_KP_End, VK_END},
    {GDK_KEY_KP_Down, VK_DOWN},
    {GDK_KEY_KP_Page_Down, VK_NEXT},
    {GDK_KEY_KP_Left, VK_LEFT},
    {GDK_KEY_KP_Begin, 12},
    {GDK_KEY_KP_Right, VK_RIGHT},
    {GDK_KEY_KP_Home, VK_HOME},
    {GDK_KEY_KP_Up, VK_UP},
    {GDK_KEY_KP_Page_Up, VK_PRIOR},
    {GDK_KEY_KP_Delete, 46},
    {GDK_KEY_KP_Enter, VK_RETURN},
    {GDK_KEY_KP_Space, VK_SPACE},
    {GDK_KEY_KP_Tab, VK_TAB},
    {GDK_KEY_KP_Multiply, 106},
    {GDK_KEY_KP_Add, 107},
    {GDK_KEY_KP_Separator, 108},
    {GDK_KEY_KP_Subtract, 109},
    {GDK_KEY_KP_Decimal, 110},
    {GDK_KEY_KP_Divide, 111},
};

// Punctuation keys take the codes they have on a US layout.
constexpr KeyCode kPunctuationKeys[] = {
    {GDK_KEY_semicolon, 186},   {GDK_KEY_colon, 186},        {GDK_KEY_equal, 187},
    {GDK_KEY_plus, 187},        {GDK_KEY_comma, 188},        {GDK_KEY_minus, 189},
    {GDK_KEY_underscore, 189},  {GDK_KEY_period, 190},       {GDK_KEY_slash, 191},
    {GDK_KEY_question, 191},    {GDK_KEY_grave, 192},        {GDK_KEY_asciitilde, 192},
    {GDK_KEY_bracketleft, 219}, {GDK_KEY_braceleft, 219},    {GDK_KEY_backslash, 220},
    {GDK_KEY_bar, 220},         {GDK_KEY_bracketright, 221}, {GDK_KEY_braceright, 221},
    {GDK_KEY_apostrophe, 222},  {GDK_KEY_quotedbl, 222},     {GDK_KEY_less, 226},
    {GDK_KEY_greater, 226},
};

int Lookup(std::span<const KeyCode> table, unsigned keyval, bool* found) {
  for (const KeyCode& entry : table) {
    if (entry.keyval == keyval) {
      *found = true;
      return entry.virtualKey;
    }
  }
  *found = false;
  return 0;
}

// Letters and digits: their ASCII upper-case code; 0 for anything else.
int LetterOrDigitCode(unsigned keyval) {
  if (keyval >= GDK_KEY_a && keyval <= GDK_KEY_z) return static_cast<int>(keyval - GDK_KEY_a) + 'A';
  if (keyval >= GDK_KEY_A && keyval <= GDK_KEY_Z) return static_cast<int>(keyval);
  if (keyval >= GDK_KEY_0 && keyval <= GDK_KEY_9) return static_cast<int>(keyval);
  return 0;
}

}  // namespace

int VirtualKeyForKey(unsigned keyval, std::span<const unsigned> levels) {
  bool found = false;
  int code = Lookup(kFunctionKeys, keyval, &found);
  if (found) return code;
  if (keyval >= GDK_KEY_F1 && keyval <= GDK_KEY_F24) {
    return static_cast<int>(keyval - GDK_KEY_F1) + VK_F1;
  }
  if (keyval >= GDK_KEY_KP_0 && keyval <= GDK_KEY_KP_9) {
    return static_cast<int>(keyval - GDK_KEY_KP_0) + VK_NUMPAD0;
  }
  // A character key: a letter or digit on its unshifted or shifted level names it (the top row
  // of a French layout has its digits on the shifted level); otherwise its unshifted character.
  std::span<const unsigned> named = levels.first(std::min<size_t>(levels.size(), 2));
  for (unsigned level : named) {
    if (int letterOrDigit = LetterOrDigitCode(level)) return letterOrDigit;
  }
  for (unsigned level : named) {
    code = Lookup(kPunctuationKeys, level, &found);
    if (found) return code;
  }
  if (int letterOrDigit = LetterOrDigitCode(keyval)) return letterOrDigit;
  return Lookup(kPunctuationKeys, keyval, &found);
}

int CharacterForKeyval(unsigned keyval) {
  switch (keyval) {
    case GDK_KEY_Escape:
      return 27;
    case GDK_KEY_Return:
    case GDK_KEY_KP_Enter:
      return 13;
    case GDK_KEY_Tab:
    case GDK_KEY_ISO_Left_Tab:
      return 9;
    case GDK_KEY_BackSpace:
      return 8;
    default:
      break;
  }
  gunichar c = gdk_keyval_to_unicode(keyval);
  if (c < 0x20 || c == 0x7F) return -1;
  char utf8[8] = {};
  int length = g_unichar_to_utf8(c, utf8);
  std::string byte = Utf8ToCp1252(std::string_view(utf8, length));
  if (byte.size() != 1 || (byte[0] == '?' && c != '?')) return -1;
  return static_cast<unsigned char>(byte[0]);
}

// The desktop's key repeat: GNOME's keyboard settings when their schema is installed, else the X
// server's own auto-repeat, else the usual half a second then 30 a second.
namespace {

constexpr const char* kKeyboardSchema = "org.gnome.desktop.peripherals.keyboard";

bool GnomeKeyRepeat(uint32_t* delay, uint32_t* period) {
  GSettingsSchemaSource* source = g_settings_schema_source_get_default();
  if (source == nullptr) return false;
  GSettingsSchema* schema = g_settings_schema_source_lookup(source, kKeyboardSchema, TRUE);
  if (schema == nullptr) return false;
  GSettings* settings = g_settings_new_full(schema, nullptr, nullptr);
  *delay = g_settings_get_uint(settings, "delay");
  *period = g_settings_get_uint(settings, "repeat-interval");
  g_object_unref(settings);
  g_settings_schema_unref(schema);
  return true;
}

bool XKeyRepeat(uint32_t* delay, uint32_t* period) {
  GdkDisplay* display = gdk_display_get_default();
  if (display == nullptr || !GDK_IS_X11_DISPLAY(display)) return false;
  unsigned int xDelay = 0;
  unsigned int xInterval = 0;
  if (!XkbGetAutoRepeatRate(GDK_DISPLAY_XDISPLAY(display), XkbUseCoreKbd, &xDelay, &xInterval)) {
    return false;
  }
  *delay = xDelay;
  *period = xInterval;
  return true;
}

}  // namespace

void PlatformKeyRepeat(uint32_t* delay, uint32_t* period) {
  if (GnomeKeyRepeat(delay, period) || XKeyRepeat(delay, period)) {
    // A period of 0 would repeat at every poll.
    if (*period == 0) *period = 1;
    return;
  }
  *delay = 500;
  *period = 33;
}
