// main.cpp -- talumen-data: makes every picture, mesh and the music track from source
#include <sys/stat.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "tools/data/output.h"
#include "tools/data/pictures.h"

static int usage() {
    std::fprintf(stderr,
                 "usage: talumen-data DIR                   write every data file into DIR\n"
                 "       talumen-data --dialog-picture FILE  write the setup dialog's picture (PNG)\n"
                 "       talumen-data --plot FILE            plot the track's level (PNG)\n");
    return 2;
}

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--dialog-picture") == 0) {
        std::vector<uint8_t> png = makeDialogPicture();
        if (png.empty()) {
            std::fprintf(stderr, "talumen-data: cannot draw the dialog picture\n");
            return 1;
        }
        return writeWhole(argv[2], png) ? 0 : 1;
    }
    if (argc != 2 || argv[1][0] == '-') return usage();
    return 0;
}
