/* The yardstick of the start-up benchmark: a bare GTK 3 window of 600 x 600 painted with cairo. */
#include <gtk/gtk.h>

static gboolean Draw(GtkWidget* widget, cairo_t* cr, gpointer data) {
  (void)widget;
  (void)data;
  cairo_set_source_rgb(cr, 0.2, 0.4, 0.6);
  cairo_paint(cr);
  return TRUE;
}

int main(int argc, char** argv) {
  gtk_init(&argc, &argv);
  GtkWidget* window = gtk_window_new(GTK_WINDOW_TOPLEVEL);
  gtk_window_set_title(GTK_WINDOW(window), "Bare");
  gtk_window_set_default_size(GTK_WINDOW(window), 600, 600);
  gtk_window_set_decorated(GTK_WINDOW(window), FALSE);
  g_signal_connect(window, "draw", G_CALLBACK(Draw), NULL);
  g_signal_connect(window, "destroy", G_CALLBACK(gtk_main_quit), NULL);
  gtk_widget_show(window);
  gtk_main();
  return 0;
}
