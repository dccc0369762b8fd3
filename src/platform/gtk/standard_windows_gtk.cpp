// Standard windows and their controls, the text prompt and the web view, on GTK.
#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <string>

#include "base/cp1252.h"
#include "platform/dialogs.h"
#include "platform/gtk/gtk_internal.h"
#include "platform/gtk/keys_gtk.h"
#include "platform/input.h"
#include "platform/standard_windows.h"
#include "platform/windows.h"

namespace {

// The client area lies inside a 3-pixel frame and a 25-pixel title bar of the outer size.
constexpr int kFrameWidth = 6;
constexpr int kFrameHeight = 28;

// Compact controls, so that they keep the small sizes they are given.
constexpr const char* kControlStyle =
    "window.kestrow-standard entry { min-height: 0; padding: 0 3px; }"
    "window.kestrow-standard button { min-height: 0; padding: 0 4px; }"
    "window.kestrow-standard checkbutton { min-height: 0; padding: 0; }"
    "window.kestrow-standard check { min-width: 12px; min-height: 12px; margin: 0 4px 0 0; }";

bool settingCheck = false;       // PlatformSetCheck is toggling a box: no command.
bool passedToEditField = false;  // The field's own procedure got the message back.

void InstallControlStyle() {
  static bool installed = false;
  if (installed) return;
  installed = true;
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, kControlStyle, -1, nullptr);
  gtk_style_context_add_provider_for_screen(gdk_screen_get_default(), GTK_STYLE_PROVIDER(provider),
                                            GTK_STYLE_PROVIDER_PRIORITY_APPLICATION);
  g_object_unref(provider);
}

WindowHandle NewRecord(GtkWidget* widget, WindowProc procedure) {
  auto* record = new PlatformWindow;
  record->widget = widget;
  record->procedure = procedure;
  GtkRegisterWindow(record);
  return record;
}

intptr_t Send(WindowHandle window, uint32_t message, intptr_t wParam, intptr_t lParam) {
  if (!GtkAlive(window) || window->procedure == nullptr) return 0;
  return window->procedure(window, message, wParam, lParam);
}

// Without a window manager nobody gives a new window the keyboard: take it once it is mapped.
gboolean OnStandardMapped(GtkWidget* widget, GdkEvent*, gpointer) {
  gdk_window_focus(gtk_widget_get_window(widget), GDK_CURRENT_TIME);
  return FALSE;
}

gboolean OnStandardDelete(GtkWidget*, GdkEvent*, gpointer data) {
  Send(static_cast<WindowHandle>(data), WM_CLOSE, 0, 0);
  return TRUE;
}

void OnControlClicked(GtkWidget*, gpointer data) {
  auto* control = static_cast<WindowHandle>(data);
  if (settingCheck || !GtkAlive(control)) return;
  Send(control->parent, WM_COMMAND, control->id, reinterpret_cast<intptr_t>(control));
}

// What an edit field does with a key its procedure passes on: GTK's own editing.
intptr_t EditFieldProc(WindowHandle, uint32_t message, intptr_t, intptr_t) {
  if (message == WM_KEYDOWN || message == WM_CHAR || message == WM_SYSKEYDOWN) {
    passedToEditField = true;
  }
  return 0;
}

intptr_t PassiveControlProc(WindowHandle, uint32_t, intptr_t, intptr_t) {
  return 0;
}

// Gives the field's procedure the key as key messages; the entry edits only what it passes on.
gboolean OnEditKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* control = static_cast<WindowHandle>(data);
  if (!GtkAlive(control) || control->procedure == EditFieldProc) return FALSE;
  std::vector<unsigned> levels = GtkKeyLevels(event);
  bool system = (event->state & GDK_MOD1_MASK) || event->keyval == GDK_KEY_F10;
  int virtualKey = VirtualKeyForKey(event->keyval, levels);
  passedToEditField = false;
  if (system) {
    Send(control, WM_SYSKEYDOWN, event->keyval == GDK_KEY_F10 ? VK_F1 + 9 : virtualKey, 0);
    return passedToEditField ? FALSE : TRUE;
  }
  if (virtualKey != 0) Send(control, WM_KEYDOWN, virtualKey, 0);
  int character = CharacterForKeyval(event->keyval);
  if (character >= 0 && !(event->state & GDK_CONTROL_MASK)) Send(control, WM_CHAR, character, 0);
  return passedToEditField ? FALSE : TRUE;
}

GtkWidget* NewControlWidget(ControlKind kind, const std::string& utf8Text) {
  switch (kind) {
    case ControlKind::groupBox:
      return gtk_frame_new(utf8Text.empty() ? nullptr : utf8Text.c_str());
    case ControlKind::checkBox:
      return gtk_check_button_new_with_label(utf8Text.c_str());
    case ControlKind::label: {
      GtkWidget* label = gtk_label_new(utf8Text.c_str());
      gtk_label_set_xalign(GTK_LABEL(label), 0);
      gtk_label_set_yalign(GTK_LABEL(label), 0);
      return label;
    }
    case ControlKind::editField: {
      GtkWidget* entry = gtk_entry_new();
      gtk_entry_set_text(GTK_ENTRY(entry), utf8Text.c_str());
      gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
      return entry;
    }
    case ControlKind::pushButton:
      return gtk_button_new_with_label(utf8Text.c_str());
  }
  return nullptr;
}

// The widget whose text a control shows: the label inside a button, the frame's label.
void SetControlText(WindowHandle control, const std::string& utf8Text) {
  GtkWidget* widget = control->widget;
  switch (control->controlKind) {
    case ControlKind::groupBox:
      gtk_frame_set_label(GTK_FRAME(widget), utf8Text.empty() ? nullptr : utf8Text.c_str());
      break;
    case ControlKind::checkBox:
    case ControlKind::pushButton:
      gtk_button_set_label(GTK_BUTTON(widget), utf8Text.c_str());
      break;
    case ControlKind::label:
      gtk_label_set_text(GTK_LABEL(widget), utf8Text.c_str());
      break;
    case ControlKind::editField:
      gtk_entry_set_text(GTK_ENTRY(widget), utf8Text.c_str());
      break;
  }
}

std::string ControlText(WindowHandle control) {
  GtkWidget* widget = control->widget;
  const char* text = nullptr;
  switch (control->controlKind) {
    case ControlKind::groupBox:
      text = gtk_frame_get_label(GTK_FRAME(widget));
      break;
    case ControlKind::checkBox:
    case ControlKind::pushButton:
      text = gtk_button_get_label(GTK_BUTTON(widget));
      break;
    case ControlKind::label:
      text = gtk_label_get_text(GTK_LABEL(widget));
      break;
    case ControlKind::editField:
      text = gtk_entry_get_text(GTK_ENTRY(widget));
      break;
  }
  return Utf8ToCp1252(text ? text : "");
}

void ApplyFont(GtkWidget* widget, const std::string& css) {
  GtkCssProvider* provider = gtk_css_provider_new();
  gtk_css_provider_load_from_data(provider, css.c_str(), -1, nullptr);
  gtk_style_context_add_provider(gtk_widget_get_style_context(widget), GTK_STYLE_PROVIDER(provider),
                                 GTK_STYLE_PROVIDER_PRIORITY_APPLICATION + 1);
  g_object_unref(provider);
  // Labels inside buttons and frames carry the text: they take the font too.
  if (GTK_IS_CONTAINER(widget)) {
    GList* children = gtk_container_get_children(GTK_CONTAINER(widget));
    for (GList* child = children; child; child = child->next) {
      ApplyFont(GTK_WIDGET(child->data), css);
    }
    g_list_free(children);
  }
  if (GTK_IS_FRAME(widget)) {
    if (GtkWidget* label = gtk_frame_get_label_widget(GTK_FRAME(widget))) ApplyFont(label, css);
  }
}

// The web engine's functions, looked up when the first web view is made.
struct WebEngine {
  bool loaded;
  GtkWidget* (*newView)();
  void (*loadUri)(void* view, const char* uri);
  gboolean (*isLoading)(void* view);
};

WebEngine webEngine;

bool LoadWebEngine() {
  if (webEngine.loaded) return webEngine.newView != nullptr;
  webEngine.loaded = true;
  void* library = dlopen("libwebkit2gtk-4.1.so.0", RTLD_NOW | RTLD_GLOBAL);
  if (library == nullptr) return false;
  webEngine.newView = reinterpret_cast<GtkWidget* (*)()>(dlsym(library, "webkit_web_view_new"));
  webEngine.loadUri =
      reinterpret_cast<void (*)(void*, const char*)>(dlsym(library, "webkit_web_view_load_uri"));
  webEngine.isLoading =
      reinterpret_cast<gboolean (*)(void*)>(dlsym(library, "webkit_web_view_is_loading"));
  if (!webEngine.newView || !webEngine.loadUri || !webEngine.isLoading) {
    webEngine.newView = nullptr;
    return false;
  }
  return true;
}

// The help page needs no context menu (back, reload, inspect); WebKit's also outlives a window
// closed while it is up and then trips over it.
gboolean RefuseContextMenu(GtkWidget*, gpointer, GdkEvent*, gpointer, gpointer) {
  return TRUE;
}

struct Prompt {
  GMainLoop* loop;
  bool confirmed;
};

gboolean OnPromptKey(GtkWidget*, GdkEventKey* event, gpointer data) {
  auto* prompt = static_cast<Prompt*>(data);
  if (event->keyval != GDK_KEY_Escape) return FALSE;
  g_main_loop_quit(prompt->loop);
  return TRUE;
}

void OnPromptConfirmed(GtkWidget*, gpointer data) {
  auto* prompt = static_cast<Prompt*>(data);
  prompt->confirmed = true;
  g_main_loop_quit(prompt->loop);
}

gboolean OnPromptDelete(GtkWidget*, GdkEvent*, gpointer data) {
  g_main_loop_quit(static_cast<Prompt*>(data)->loop);
  return TRUE;
}

GtkWidget* PlaceAt(GtkWidget* fixed, GtkWidget* widget, int x, int y, int width, int height) {
  gtk_widget_set_size_request(widget, width, height);
  gtk_fixed_put(GTK_FIXED(fixed), widget, x, y);
  return widget;
}

}  // namespace

WindowHandle PlatformCreateStandardWindow(const std::string& title, int x, int y, int width,
                                          int height, WindowHandle owner, WindowProc procedure) {
  InstallControlStyle();
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* gtkWindow = GTK_WINDOW(widget);
  gtk_window_set_title(gtkWindow, Cp1252ToUtf8(title).c_str());
  gtk_window_set_resizable(gtkWindow, FALSE);
  // The main window stays above others: its own windows must stay above it.
  gtk_window_set_keep_above(gtkWindow, TRUE);
  if (GtkAlive(owner)) gtk_window_set_transient_for(gtkWindow, GTK_WINDOW(owner->widget));
  gtk_style_context_add_class(gtk_widget_get_style_context(widget), "kestrow-standard");
  WindowHandle window = NewRecord(widget, procedure);
  window->clientWidth = width - kFrameWidth;
  window->clientHeight = height - kFrameHeight;
  window->x = x;
  window->y = y;
  window->fixed = gtk_fixed_new();
  gtk_widget_set_size_request(window->fixed, window->clientWidth, window->clientHeight);
  gtk_container_add(GTK_CONTAINER(widget), window->fixed);
  gtk_window_move(gtkWindow, x, y);
  g_signal_connect(widget, "delete-event", G_CALLBACK(OnStandardDelete), window);
  g_signal_connect(widget, "map-event", G_CALLBACK(OnStandardMapped), nullptr);
  Send(window, WM_CREATE, 0, 0);
  if (!GtkAlive(window)) return nullptr;
  window->visible = true;
  gtk_widget_show_all(widget);
  return window;
}

void PlatformClientSize(WindowHandle window, int* width, int* height) {
  *width = window->clientWidth;
  *height = window->clientHeight;
}

WindowHandle PlatformCreateControl(WindowHandle parent, ControlKind kind, const std::string& text,
                                   int x, int y, int width, int height, int id, bool enabled) {
  if (!GtkAlive(parent) || parent->fixed == nullptr) return nullptr;
  GtkWidget* widget =
      PlaceAt(parent->fixed, NewControlWidget(kind, Cp1252ToUtf8(text)), x, y, width, height);
  WindowHandle control =
      NewRecord(widget, kind == ControlKind::editField ? EditFieldProc : PassiveControlProc);
  control->parent = parent;
  control->controlKind = kind;
  control->id = id;
  control->enabled = enabled;
  control->visible = true;
  parent->children.push_back(control);
  gtk_widget_set_sensitive(widget, enabled);
  if (kind == ControlKind::checkBox || kind == ControlKind::pushButton) {
    g_signal_connect(widget, "clicked", G_CALLBACK(OnControlClicked), control);
  }
  if (kind == ControlKind::editField) {
    g_signal_connect(widget, "key-press-event", G_CALLBACK(OnEditKey), control);
  }
  gtk_widget_show(widget);
  return control;
}

void PlatformSetControlFont(WindowHandle control, const std::string& family, int pixelHeight,
                            bool bold) {
  if (!GtkAlive(control)) return;
  std::string css = "* { font-family: \"" + family +
                    "\", sans-serif; font-size: " + std::to_string(pixelHeight) +
                    "px; font-weight: " + (bold ? "bold" : "normal") + "; }";
  ApplyFont(control->widget, css);
}

void PlatformSetCheck(WindowHandle control, bool checked) {
  if (!GtkAlive(control) || control->controlKind != ControlKind::checkBox) return;
  settingCheck = true;
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(control->widget), checked);
  settingCheck = false;
}

bool PlatformGetCheck(WindowHandle control) {
  if (!GtkAlive(control) || control->controlKind != ControlKind::checkBox) return false;
  return gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(control->widget));
}

void PlatformSetWindowText(WindowHandle window, const std::string& text) {
  if (!GtkAlive(window)) return;
  std::string utf8 = Cp1252ToUtf8(text);
  if (window->parent != nullptr) {
    SetControlText(window, utf8);
  } else {
    gtk_window_set_title(GTK_WINDOW(window->widget), utf8.c_str());
  }
}

std::string PlatformGetWindowText(WindowHandle window) {
  if (!GtkAlive(window)) return std::string();
  if (window->parent != nullptr) return ControlText(window);
  return Utf8ToCp1252(gtk_window_get_title(GTK_WINDOW(window->widget)));
}

WindowProc PlatformSubclassWindow(WindowHandle control, WindowProc procedure) {
  WindowProc previous = control->procedure;
  control->procedure = procedure;
  return previous;
}

WindowHandle PlatformCreateBrowser(WindowHandle parent, int x, int y, int width, int height) {
  if (!GtkAlive(parent) || parent->fixed == nullptr || !LoadWebEngine()) return nullptr;
  GtkWidget* view = webEngine.newView();
  if (view == nullptr) return nullptr;
  PlaceAt(parent->fixed, view, x, y, width, height);
  g_signal_connect(view, "context-menu", G_CALLBACK(RefuseContextMenu), nullptr);
  WindowHandle browser = NewRecord(view, PassiveControlProc);
  browser->parent = parent;
  browser->visible = true;
  parent->children.push_back(browser);
  gtk_widget_show(view);
  return browser;
}

void PlatformBrowserNavigate(WindowHandle browser, const std::string& address) {
  if (GtkAlive(browser)) webEngine.loadUri(browser->widget, Cp1252ToUtf8(address).c_str());
}

bool PlatformBrowserBusy(WindowHandle browser) {
  return GtkAlive(browser) && webEngine.isLoading(browser->widget);
}

void PlatformDispatchPending() {
  while (g_main_context_iteration(nullptr, FALSE)) {
  }
}

std::string PlatformProgramFileAddress(const std::string& fileName) {
  char path[PATH_MAX];
  ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
  if (length <= 0) return std::string();
  std::string program(path, static_cast<size_t>(length));
  std::string file = program.substr(0, program.rfind('/') + 1) + fileName;
  gchar* uri = g_filename_to_uri(file.c_str(), nullptr, nullptr);
  if (uri == nullptr) return std::string();
  std::string address(uri);
  g_free(uri);
  return address;
}

std::string PlatformPromptText(WindowHandle owner, const std::string& title,
                               const std::string& prompt, const std::string& defaultText,
                               int maxLength) {
  if (GtkProgramEnding()) return std::string();
  GtkWidget* widget = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  GtkWindow* gtkWindow = GTK_WINDOW(widget);
  gtk_window_set_title(gtkWindow, Cp1252ToUtf8(title).c_str());
  gtk_window_set_resizable(gtkWindow, FALSE);
  gtk_window_set_deletable(gtkWindow, FALSE);
  gtk_window_set_modal(gtkWindow, TRUE);
  gtk_window_set_keep_above(gtkWindow, TRUE);
  gtk_window_set_position(gtkWindow, GTK_WIN_POS_CENTER);
  if (GtkAlive(owner)) gtk_window_set_transient_for(gtkWindow, GTK_WINDOW(owner->widget));
  gtk_style_context_add_class(gtk_widget_get_style_context(widget), "kestrow-standard");
  InstallControlStyle();
  GtkWidget* fixed = gtk_fixed_new();
  gtk_widget_set_size_request(fixed, 300 - kFrameWidth, 130 - kFrameHeight);
  gtk_container_add(GTK_CONTAINER(widget), fixed);
  GtkWidget* label = PlaceAt(fixed, gtk_label_new(Cp1252ToUtf8(prompt).c_str()), 10, 10, 280, 22);
  gtk_label_set_xalign(GTK_LABEL(label), 0);
  GtkWidget* entry = PlaceAt(fixed, gtk_entry_new(), 10, 32, 275, 21);
  gtk_entry_set_width_chars(GTK_ENTRY(entry), 1);
  gtk_entry_set_max_length(GTK_ENTRY(entry), maxLength);
  gtk_entry_set_text(GTK_ENTRY(entry), Cp1252ToUtf8(defaultText).c_str());
  gtk_entry_set_activates_default(GTK_ENTRY(entry), TRUE);
  GtkWidget* button = PlaceAt(fixed, gtk_button_new_with_label("OK"), 110, 67, 80, 25);
  gtk_widget_set_can_default(button, TRUE);

  Prompt state = {g_main_loop_new(nullptr, FALSE), false};
  g_signal_connect(button, "clicked", G_CALLBACK(OnPromptConfirmed), &state);
  g_signal_connect(entry, "activate", G_CALLBACK(OnPromptConfirmed), &state);
  g_signal_connect(widget, "key-press-event", G_CALLBACK(OnPromptKey), &state);
  g_signal_connect(widget, "delete-event", G_CALLBACK(OnPromptDelete), &state);
  g_signal_connect(widget, "map-event", G_CALLBACK(OnStandardMapped), nullptr);
  gtk_widget_show_all(widget);
  gtk_window_set_default(gtkWindow, button);
  gtk_window_present(gtkWindow);
  gtk_entry_grab_focus_without_selecting(GTK_ENTRY(entry));
  gtk_editable_set_position(GTK_EDITABLE(entry), -1);
  GtkRunDialogLoop(state.loop);
  g_main_loop_unref(state.loop);
  std::string text = state.confirmed ? Utf8ToCp1252(gtk_entry_get_text(GTK_ENTRY(entry))) : "";
  gtk_widget_destroy(widget);
  return text;
}
