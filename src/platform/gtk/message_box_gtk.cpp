// The message box on GTK: a modal message dialog with French buttons.
#include <gtk/gtk.h>

#include <algorithm>
#include <string>

#include "base/cp1252.h"
#include "platform/dialogs.h"
#include "platform/gtk/gtk_internal.h"
#include "platform/windows.h"

int PlatformMessageBox(WindowHandle owner, const std::string& text, const std::string& title,
                       uint32_t style) {
  bool yesNo = (style & 0xF) == MB_YESNO;
  // On the way out nobody is there to answer: the text goes to the standard error.
  if (GtkProgramEnding()) {
    g_printerr("%s: %s\n", Cp1252ToUtf8(title).c_str(), Cp1252ToUtf8(text).c_str());
    return yesNo ? IDNO : IDOK;
  }
  GtkWindow* parent = GtkAlive(owner) ? GTK_WINDOW(owner->widget) : nullptr;
  uint32_t icon = style & 0xF0;
  std::string message = Cp1252ToUtf8(text);
  message.erase(std::remove(message.begin(), message.end(), '\r'), message.end());
  GtkWidget* dialog = gtk_message_dialog_new(
      parent, static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT),
      icon == MB_ICONWARNING       ? GTK_MESSAGE_WARNING
      : icon == MB_ICONINFORMATION ? GTK_MESSAGE_INFO
                                   : GTK_MESSAGE_OTHER,
      GTK_BUTTONS_NONE, "%s", message.c_str());
  g_object_ref_sink(dialog);
  GtkWindow* dialogWindow = GTK_WINDOW(dialog);
  gtk_window_set_title(dialogWindow, Cp1252ToUtf8(title).c_str());
  gtk_window_set_keep_above(dialogWindow, TRUE);
  gtk_window_set_position(dialogWindow,
                          parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  if (yesNo) {
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Oui", IDYES);
    gtk_dialog_add_button(GTK_DIALOG(dialog), "Non", IDNO);
  } else {
    gtk_dialog_add_button(GTK_DIALOG(dialog), "OK", IDOK);
  }
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), yesNo ? IDYES : IDOK);
  if (icon == MB_ICONWARNING || icon == MB_ICONINFORMATION) {
    // Message dialogs no longer show their type's icon by themselves.
    G_GNUC_BEGIN_IGNORE_DEPRECATIONS
    GtkWidget* image = gtk_image_new_from_icon_name(
        icon == MB_ICONWARNING ? "dialog-warning" : "dialog-information", GTK_ICON_SIZE_DIALOG);
    gtk_message_dialog_set_image(GTK_MESSAGE_DIALOG(dialog), image);
    gtk_widget_show(image);
    G_GNUC_END_IGNORE_DEPRECATIONS
  }
  gtk_widget_show(dialog);
  if (GdkWindow* gdkWindow = gtk_widget_get_window(dialog)) {
    gdk_window_focus(gdkWindow, GDK_CURRENT_TIME);
  }
  int response = gtk_dialog_run(GTK_DIALOG(dialog));
  gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  if (response == IDYES || response == IDNO || response == IDOK) return response;
  return yesNo ? IDNO : IDOK;
}
