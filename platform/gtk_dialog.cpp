// gtk_dialog.cpp -- the setup dialog: a picture, two resolutions, "Run Demo" and "Exit", over GTK 3
#include <gtk/gtk.h>

#include <cstddef>

#include "app/globals.h"
#include "platform/platform.h"

// The title picture, a PNG embedded at build time; empty when none could be drawn.
extern const unsigned char dialogPicturePng[];
extern const size_t dialogPicturePngSize;

static const int pictureWidth = 256;
static const int pictureHeight = 144;

enum { runResponse = 1, exitResponse = 2 };

// GtkDialog reports Escape and the close box alike, as a delete event; Escape is caught here
// first so that it means "Exit" while the close box keeps its own meaning.
static gboolean onKeyPress(GtkWidget* dialog, GdkEventKey* event, gpointer) {
    if (event->keyval != GDK_KEY_Escape) return FALSE;
    gtk_dialog_response(GTK_DIALOG(dialog), exitResponse);
    return TRUE;
}

// A stop signal while the dialog waits counts as "Exit".
static gboolean watchStop(gpointer dialog) {
    if (escapeDown()) gtk_dialog_response(GTK_DIALOG(dialog), exitResponse);
    return G_SOURCE_CONTINUE;
}

static void onButton(GtkButton* button, gpointer dialog) {
    gtk_dialog_response(GTK_DIALOG(dialog), GPOINTER_TO_INT(g_object_get_data(G_OBJECT(button), "response")));
}

static GtkWidget* makePicture() {
    if (dialogPicturePngSize == 0) return nullptr;
    GdkPixbufLoader* loader = gdk_pixbuf_loader_new();
    GdkPixbuf* pixbuf = nullptr;
    if (gdk_pixbuf_loader_write(loader, dialogPicturePng, dialogPicturePngSize, nullptr) &&
        gdk_pixbuf_loader_close(loader, nullptr)) {
        pixbuf = gdk_pixbuf_loader_get_pixbuf(loader);
    } else {
        gdk_pixbuf_loader_close(loader, nullptr);
    }
    GtkWidget* image = nullptr;
    if (pixbuf) {
        GdkPixbuf* shown = gdk_pixbuf_get_width(pixbuf) == pictureWidth && gdk_pixbuf_get_height(pixbuf) == pictureHeight
                               ? GDK_PIXBUF(g_object_ref(pixbuf))
                               : gdk_pixbuf_scale_simple(pixbuf, pictureWidth, pictureHeight, GDK_INTERP_BILINEAR);
        if (shown) {
            image = gtk_image_new_from_pixbuf(shown);
            g_object_unref(shown);
        }
    }
    g_object_unref(loader);
    return image;
}

static GtkWidget* makeButton(GtkWidget* dialog, const char* label, int response) {
    GtkWidget* button = gtk_button_new_with_label(label);
    g_object_set_data(G_OBJECT(button), "response", GINT_TO_POINTER(response));
    g_signal_connect(button, "clicked", G_CALLBACK(onButton), dialog);
    return button;
}

bool runSetupDialog() {
    if (!gtk_init_check(nullptr, nullptr)) return false;

    GtkWidget* dialog = gtk_dialog_new();
    gtk_window_set_title(GTK_WINDOW(dialog), "norvi");
    gtk_window_set_modal(GTK_WINDOW(dialog), TRUE);
    gtk_window_set_resizable(GTK_WINDOW(dialog), FALSE);
    gtk_window_set_position(GTK_WINDOW(dialog), GTK_WIN_POS_CENTER);

    // The picture on top; below it the two choices on the left, the two buttons on the right.
    GtkWidget* grid = gtk_grid_new();
    gtk_container_set_border_width(GTK_CONTAINER(grid), 10);
    gtk_grid_set_row_spacing(GTK_GRID(grid), 8);
    gtk_grid_set_column_spacing(GTK_GRID(grid), 24);
    GtkWidget* picture = makePicture();
    if (picture) gtk_grid_attach(GTK_GRID(grid), picture, 0, 0, 2, 1);

    GtkWidget* choice4x3 = gtk_radio_button_new_with_label(nullptr, "1024x768 (4:3)");
    GtkWidget* choice16x9 = gtk_radio_button_new_with_label_from_widget(GTK_RADIO_BUTTON(choice4x3), "1280x720 (16:9)");
    gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(choice4x3), TRUE);
    GtkWidget* run = makeButton(dialog, "Run Demo", runResponse);
    GtkWidget* exitButton = makeButton(dialog, "Exit", exitResponse);
    gtk_grid_attach(GTK_GRID(grid), choice4x3, 0, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), choice16x9, 0, 2, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), run, 1, 1, 1, 1);
    gtk_grid_attach(GTK_GRID(grid), exitButton, 1, 2, 1, 1);
    gtk_box_pack_start(GTK_BOX(gtk_dialog_get_content_area(GTK_DIALOG(dialog))), grid, TRUE, TRUE, 0);

    // Enter anywhere but on "Exit" runs the demo with the checked choice.
    gtk_widget_set_can_default(run, TRUE);
    gtk_window_set_default(GTK_WINDOW(dialog), run);
    g_signal_connect(dialog, "key-press-event", G_CALLBACK(onKeyPress), nullptr);
    const guint stopWatch = g_timeout_add(100, watchStop, dialog);

    gtk_widget_show_all(dialog);
    gtk_widget_grab_focus(choice4x3);
    gtk_window_present(GTK_WINDOW(dialog));

    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    if (response == runResponse) {
        if (gtk_toggle_button_get_active(GTK_TOGGLE_BUTTON(choice4x3))) {
            screenWidth = 1024;
            screenHeight = 768;
            viewportHeight = 576;
        } else {
            screenWidth = 1280;
            screenHeight = 720;
            viewportHeight = 720;
        }
        runFlag = 1;
    } else if (response == exitResponse) {
        runFlag = 0;
    }
    // Any other way of closing leaves runFlag and the sizes as they were.

    g_source_remove(stopWatch);
    gtk_widget_destroy(dialog);
    // The dialog's last events are handled before the demo's window opens on the same display.
    while (gtk_events_pending()) gtk_main_iteration();
    return true;
}
