// gtk_dialog.cpp -- the setup dialog: a picture, two resolutions, "Run Demo" and "Exit", over GTK 3
#include <fcntl.h>
#include <gtk/gtk.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>

#include "base/globals.h"
#include "base/run_marks.h"
#include "platform/player.h"

// The title picture, a PNG embedded at build time; empty when none could be drawn.
extern const unsigned char dialogPicturePng[];
extern const size_t dialogPicturePngSize;

static const int pictureWidth = 256;
static const int pictureHeight = 144;

enum { runResponse = 1, exitResponse = 2 };

double dialogClosedSeconds = 0.0;

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

// The idle source that runs meanwhile's steps; 0 once it has removed itself.
static guint meanwhileSource = 0;
static gboolean runMeanwhile(gpointer step) {
    if (reinterpret_cast<bool (*)()>(step)()) return G_SOURCE_CONTINUE;
    meanwhileSource = 0;
    return G_SOURCE_REMOVE;
}

// The dialog itself, in whichever process shows it; meanwhile runs between its events.
static bool showDialog(bool (*meanwhile)()) {
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
    if (meanwhile) meanwhileSource = g_idle_add(runMeanwhile, reinterpret_cast<gpointer>(meanwhile));

    const int response = gtk_dialog_run(GTK_DIALOG(dialog));
    dialogClosedSeconds = steadySeconds();
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
    if (meanwhileSource) g_source_remove(meanwhileSource);
    meanwhileSource = 0;
    gtk_widget_destroy(dialog);
    // The dialog's last events are handled before the demo's window opens on the same display.
    while (gtk_events_pending()) gtk_main_iteration();
    return true;
}

// What the dialog's process tells the demo's: first a byte once the dialog is up, then this.
struct DialogOutcome {
    bool shown = false;
    double closedSeconds = 0.0;  // the steady clock is the machine's, the same in both processes
    uint8_t runFlag = 0;
    int width = 0;
    int height = 0;
    int band = 0;
};
static int toDemo = -1;

static bool sayDialogUp() {
    const char up = 'U';
    if (write(toDemo, &up, 1) != 1) {
        // The demo's process is gone; the dialog ends with it.
    }
    return false;
}

bool runSetupDialog(bool (*meanwhile)()) {
    // The dialog is shown by a process of its own, so that GTK, its theme, its icons and its
    // fonts (some 20 MiB, which would stay for the whole run) never load into the demo's, which
    // goes on with meanwhile. Where no process can be made, the dialog shows here.
    int result[2];
    // Close-on-exec: a program started while the dialog is up, by either process, must not hold
    // the pipe, or the demo would never hear that a dialog process died without a word.
    if (pipe2(result, O_CLOEXEC) != 0) return showDialog(meanwhile);
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child < 0) {
        close(result[0]);
        close(result[1]);
        return showDialog(meanwhile);
    }
    if (child == 0) {
        close(result[0]);
        // It goes when the demo's process goes, however that ends, and whatever state it is in.
        prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (getppid() != parent) _exit(0);
        toDemo = result[1];
        DialogOutcome outcome;
        outcome.shown = showDialog(sayDialogUp);
        outcome.runFlag = runFlag;
        outcome.width = screenWidth;
        outcome.height = screenHeight;
        outcome.band = viewportHeight;
        outcome.closedSeconds = dialogClosedSeconds;
        const bool written = write(result[1], &outcome, sizeof outcome) == sizeof outcome;
        _exit(written ? 0 : 1);
    }
    close(result[1]);
    // A stop signal while the dialog is up is passed on to it, which then ends as on "Exit".
    DialogOutcome outcome;
    char received[1 + sizeof outcome];
    size_t got = 0;
    bool working = false;
    bool passedOn = false;
    for (;;) {
        pollfd wait{result[0], POLLIN, 0};
        if (poll(&wait, 1, working ? 0 : 100) > 0) {
            const ssize_t n = read(result[0], received + got, sizeof received - got);
            if (n <= 0) break;
            // No dialog up: no "up" byte comes, only the outcome.
            if (got == 0 && received[0] == 'U') working = meanwhile != nullptr;
            got += static_cast<size_t>(n);
            if (got == sizeof received || (got == sizeof outcome && received[0] != 'U')) break;
        }
        if (working) working = meanwhile();
        if (escapeDown() && !passedOn) {
            kill(child, SIGTERM);
            passedOn = true;
        }
    }
    close(result[0]);
    while (waitpid(child, nullptr, 0) < 0 && errno == EINTR) {
    }
    const size_t skip = got > 0 && received[0] == 'U' ? 1 : 0;
    // A dialog process that died without a word: as if the dialog were closed.
    if (got != skip + sizeof outcome) return true;
    std::memcpy(&outcome, received + skip, sizeof outcome);
    runFlag = outcome.runFlag;
    dialogClosedSeconds = outcome.closedSeconds;
    if (outcome.runFlag == 1) {
        screenWidth = outcome.width;
        screenHeight = outcome.height;
        viewportHeight = outcome.band;
    }
    return outcome.shown;
}
