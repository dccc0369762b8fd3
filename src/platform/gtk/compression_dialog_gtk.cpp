// The video compression dialog: the encoder, the key-frame interval and the data rate of the next
// recording.
#include <gtk/gtk.h>

#include <algorithm>
#include <vector>

#include "base/cp1252.h"
#include "platform/dialogs.h"
#include "platform/gtk/gtk_internal.h"
#include "platform/windows.h"

namespace {

constexpr int kMaxKeyFrameInterval = 1000;
constexpr int kMaxDataRate = 100000;
constexpr int kDefaultDataRate = 1000;

struct CompressionControls {
  GtkWidget* encoder;
  GtkWidget* keyFrameInterval;
  GtkWidget* dataRateOn;
  GtkWidget* dataRate;
};

GtkWidget* LeftLabel(const char* text) {
  GtkWidget* label = gtk_label_new(text);
  gtk_label_set_xalign(GTK_LABEL(label), 0.0f);
  return label;
}

GtkWidget* NumberField(int minimum, int maximum, int value) {
  GtkWidget* field = gtk_spin_button_new_with_range(minimum, maximum, 1);
  gtk_spin_button_set_value(GTK_SPIN_BUTTON(field), value);
  gtk_spin_button_set_numeric(GTK_SPIN_BUTTON(field), TRUE);
  gtk_entry_set_activates_default(GTK_ENTRY(field), TRUE);
  return field;
}

void OnDataRateToggled(GtkToggleButton* toggle, gpointer field) {
  gtk_widget_set_sensitive(GTK_WIDGET(field), gtk_toggle_button_get_active(toggle));
}

// Enter confirms from every control, also from the encoder list while it is closed.
gboolean OnKeyPress(GtkWidget* dialog, GdkEventKey* event, gpointer) {
  if (event->keyval != GDK_KEY_Return && event->keyval != GDK_KEY_KP_Enter &&
      event->keyval != GDK_KEY_ISO_Enter) {
    return FALSE;
  }
  gtk_dialog_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  return TRUE;
}

CompressionControls AddControls(GtkWidget* dialog, const std::vector<CompressionChoice>& choices,
                                const CompressionOptions& options) {
  CompressionControls controls{};
  controls.encoder = gtk_combo_box_text_new();
  for (const CompressionChoice& choice : choices) {
    gtk_combo_box_text_append(GTK_COMBO_BOX_TEXT(controls.encoder), choice.encoder.c_str(),
                              Cp1252ToUtf8(choice.label).c_str());
  }
  if (!gtk_combo_box_set_active_id(GTK_COMBO_BOX(controls.encoder), options.encoder.c_str())) {
    gtk_combo_box_set_active(GTK_COMBO_BOX(controls.encoder), 0);
  }
  controls.keyFrameInterval =
      NumberField(1, kMaxKeyFrameInterval, std::max(1, options.keyFrameInterval));
  controls.dataRateOn = gtk_check_button_new_with_label("Débit de données :");
  controls.dataRate =
      NumberField(1, kMaxDataRate, options.dataRate > 0 ? options.dataRate : kDefaultDataRate);
  gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(controls.dataRateOn), options.dataRate > 0);
  gtk_widget_set_sensitive(controls.dataRate, options.dataRate > 0);
  g_signal_connect(controls.dataRateOn, "toggled", G_CALLBACK(OnDataRateToggled),
                   controls.dataRate);

  GtkWidget* grid = gtk_grid_new();
  gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
  gtk_grid_set_column_spacing(GTK_GRID(grid), 8);
  gtk_container_set_border_width(GTK_CONTAINER(grid), 10);
  gtk_grid_attach(GTK_GRID(grid), LeftLabel("Compresseur :"), 0, 0, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), controls.encoder, 1, 0, 2, 1);
  gtk_grid_attach(GTK_GRID(grid), LeftLabel("Image clé toutes les"), 0, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), controls.keyFrameInterval, 1, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), LeftLabel("images"), 2, 1, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), controls.dataRateOn, 0, 2, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), controls.dataRate, 1, 2, 1, 1);
  gtk_grid_attach(GTK_GRID(grid), LeftLabel("Ko/s"), 2, 2, 1, 1);
  gtk_container_add(GTK_CONTAINER(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), grid);
  gtk_widget_show_all(grid);
  return controls;
}

void ReadControls(const CompressionControls& controls, CompressionOptions* options) {
  if (const char* encoder = gtk_combo_box_get_active_id(GTK_COMBO_BOX(controls.encoder))) {
    options->encoder = encoder;
  }
  options->keyFrameInterval =
      gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(controls.keyFrameInterval));
  bool limited = gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(controls.dataRateOn));
  options->dataRate =
      limited ? gtk_spin_button_get_value_as_int(GTK_SPIN_BUTTON(controls.dataRate)) : 0;
}

}  // namespace

bool PlatformCompressionDialog(WindowHandle owner, const std::vector<CompressionChoice>& choices,
                               CompressionOptions* options) {
  if (choices.empty()) return false;
  GtkWindow* parent = GtkAlive(owner) ? GTK_WINDOW(owner->widget) : nullptr;
  GtkWidget* dialog = gtk_dialog_new_with_buttons(
      "Compression vidéo", parent,
      static_cast<GtkDialogFlags>(GTK_DIALOG_MODAL | GTK_DIALOG_DESTROY_WITH_PARENT), "OK",
      GTK_RESPONSE_OK, "Annuler", GTK_RESPONSE_CANCEL, nullptr);
  g_object_ref_sink(dialog);
  GtkWindow* dialogWindow = GTK_WINDOW(dialog);
  gtk_window_set_keep_above(dialogWindow, TRUE);
  gtk_window_set_resizable(dialogWindow, FALSE);
  gtk_window_set_position(dialogWindow,
                          parent != nullptr ? GTK_WIN_POS_CENTER_ON_PARENT : GTK_WIN_POS_CENTER);
  gtk_dialog_set_default_response(GTK_DIALOG(dialog), GTK_RESPONSE_OK);
  CompressionControls controls = AddControls(dialog, choices, *options);
  g_signal_connect(dialog, "key-press-event", G_CALLBACK(OnKeyPress), nullptr);
  gtk_widget_show(dialog);
  if (GdkWindow* gdkWindow = gtk_widget_get_window(dialog)) {
    gdk_window_focus(gdkWindow, GDK_CURRENT_TIME);
  }
  bool confirmed = gtk_dialog_run(GTK_DIALOG(dialog)) == GTK_RESPONSE_OK;
  if (confirmed) {
    // A number typed but not yet taken by its field counts.
    gtk_spin_button_update(GTK_SPIN_BUTTON(controls.keyFrameInterval));
    gtk_spin_button_update(GTK_SPIN_BUTTON(controls.dataRate));
    ReadControls(controls, options);
  }
  gtk_widget_destroy(dialog);
  g_object_unref(dialog);
  return confirmed;
}
