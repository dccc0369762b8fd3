// The notification icon on GTK: a GtkStatusIcon, offered only where a notification area runs
// to show it.
#include <X11/Xlib.h>
#include <gdk/gdkx.h>
#include <gtk/gtk.h>

#include <algorithm>
#include <memory>
#include <string>

#include "base/cp1252.h"
#include "platform/gtk/gtk_internal.h"
#include "platform/tray.h"
#include "platform/windows.h"

namespace {

G_GNUC_BEGIN_IGNORE_DEPRECATIONS

GdkPixbuf* LoadPng(const IconImage& image) {
  GdkPixbufLoader* loader = gdk_pixbuf_loader_new_with_type("png", nullptr);
  if (loader == nullptr) return nullptr;
  GdkPixbuf* pixbuf = nullptr;
  if (gdk_pixbuf_loader_write(loader, image.png, image.size, nullptr) &&
      gdk_pixbuf_loader_close(loader, nullptr)) {
    pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    if (pixbuf != nullptr) g_object_ref(pixbuf);
  } else {
    gdk_pixbuf_loader_close(loader, nullptr);
  }
  g_object_unref(loader);
  return pixbuf;
}

// The image nearest to `size` pixels, preferring larger ones (GTK scales them down).
GdkPixbuf* NearestImage(const TrayIcon& tray, int size) {
  GdkPixbuf* best = nullptr;
  int bestScore = 0;
  for (GdkPixbuf* image : tray.images) {
    int extent = std::max(gdk_pixbuf_get_width(image), gdk_pixbuf_get_height(image));
    int score = extent >= size ? extent - size : 2 * (size - extent);
    if (best == nullptr || score < bestScore) {
      best = image;
      bestScore = score;
    }
  }
  return best;
}

gboolean OnTraySizeChanged(GtkStatusIcon* icon, gint size, gpointer data) {
  auto* tray = static_cast<TrayIcon*>(data);
  if (GdkPixbuf* image = NearestImage(*tray, size)) gtk_status_icon_set_from_pixbuf(icon, image);
  return FALSE;  // Let GTK scale the image to the size.
}

gboolean OnTrayButtonPress(GtkStatusIcon*, GdkEventButton* event, gpointer data) {
  auto* tray = static_cast<TrayIcon*>(data);
  if (event->type != GDK_BUTTON_PRESS) return TRUE;
  if (event->button == 1)
    PlatformSendMessage(tray->window, tray->callbackMessage, 1, WM_LBUTTONDOWN);
  if (event->button == 3)
    PlatformSendMessage(tray->window, tray->callbackMessage, 1, WM_RBUTTONDOWN);
  return TRUE;
}

void DeleteTray(std::unique_ptr<TrayIcon>& tray) {
  if (!tray) return;
  if (tray->icon != nullptr) {
    gtk_status_icon_set_visible(tray->icon, FALSE);
    g_signal_handlers_disconnect_matched(tray->icon, G_SIGNAL_MATCH_DATA, 0, 0, nullptr, nullptr,
                                         tray.get());
    g_object_unref(tray->icon);
  }
  for (GdkPixbuf* image : tray->images) g_object_unref(image);
  tray.reset();
}

G_GNUC_END_IGNORE_DEPRECATIONS

// Whether a notification area runs on the default screen: it owns the system-tray selection.
bool NotificationAreaRuns() {
  GdkDisplay* display = gdk_display_get_default();
  if (!GDK_IS_X11_DISPLAY(display)) return false;
  Display* xdisplay = gdk_x11_display_get_xdisplay(display);
  int screen = DefaultScreen(xdisplay);
  std::string name = "_NET_SYSTEM_TRAY_S" + std::to_string(screen);
  Atom selection = XInternAtom(xdisplay, name.c_str(), False);
  return XGetSelectionOwner(xdisplay, selection) != None;
}

}  // namespace

// Decoded here rather than looked up by name in the icon themes: the lookup scans every theme
// and GTK's own icons, which costs some 10 ms and keeps 1.8 MB resident.
void PlatformSetProgramIcon(const IconImage* images, int imageCount) {
  GList* icons = nullptr;
  for (int i = 0; i < imageCount; ++i) {
    if (GdkPixbuf* pixbuf = LoadPng(images[i])) icons = g_list_append(icons, pixbuf);
  }
  gtk_window_set_default_icon_list(icons);
  // Windows shown already, which the default does not reach.
  GList* toplevels = gtk_window_list_toplevels();
  for (GList* item = toplevels; item != nullptr; item = item->next) {
    GtkWindow* window = GTK_WINDOW(item->data);
    if (gtk_window_get_window_type(window) == GTK_WINDOW_TOPLEVEL) {
      gtk_window_set_icon_list(window, icons);
    }
  }
  g_list_free(toplevels);
  g_list_free_full(icons, g_object_unref);
}

bool PlatformAddTrayIcon(WindowHandle window, uint32_t callbackMessage, const std::string& tip,
                         const IconImage* images, int imageCount) {
  if (!GtkAlive(window) || !NotificationAreaRuns()) return false;
  PlatformRemoveTrayIcon(window);
  auto tray = std::make_unique<TrayIcon>();
  tray->window = window;
  tray->callbackMessage = callbackMessage;
  for (int i = 0; i < imageCount; ++i) {
    if (GdkPixbuf* image = LoadPng(images[i])) tray->images.push_back(image);
  }
  G_GNUC_BEGIN_IGNORE_DEPRECATIONS
  GdkPixbuf* first = NearestImage(*tray, 24);
  tray->icon = first != nullptr ? gtk_status_icon_new_from_pixbuf(first) : gtk_status_icon_new();
  gtk_status_icon_set_tooltip_text(tray->icon, Cp1252ToUtf8(tip).c_str());
  g_signal_connect(tray->icon, "size-changed", G_CALLBACK(OnTraySizeChanged), tray.get());
  g_signal_connect(tray->icon, "button-press-event", G_CALLBACK(OnTrayButtonPress), tray.get());
  gtk_status_icon_set_visible(tray->icon, TRUE);
  GtkStatusIcon* icon = tray->icon;
  window->tray = std::move(tray);
  // The notification area embeds the icon through an exchange of X messages: let it happen.
  gint64 deadline = g_get_monotonic_time() + 1000 * 1000;
  while (GtkAlive(window) && window->tray && window->tray->icon == icon &&
         !gtk_status_icon_is_embedded(icon) && g_get_monotonic_time() < deadline) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(1000);
  }
  bool embedded = GtkAlive(window) && window->tray && window->tray->icon == icon &&
                  gtk_status_icon_is_embedded(icon);
  G_GNUC_END_IGNORE_DEPRECATIONS
  if (!embedded && GtkAlive(window) && window->tray && window->tray->icon == icon) {
    DeleteTray(window->tray);
  }
  return embedded;
}

void PlatformRemoveTrayIcon(WindowHandle window) {
  if (window != nullptr) DeleteTray(window->tray);
}
