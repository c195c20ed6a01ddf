// load_times.h -- what the start-up's loads cost, summed over the threads that did them
#pragma once

// Time spent in the loads, summed over every thread that did the work, so that with loads
// running side by side the parts add up to more than the wall clock of the whole.
struct LoadTimes {
    int pictures = 0;                    // pictures that reached GL
    double pictureDecodeSeconds = 0.0;   // reading and decoding the files, failed ones included
    double pictureUploadSeconds = 0.0;   // the mipmaps built and handed to GL, on the GL thread
    int meshes = 0;                      // meshes read
    double meshSeconds = 0.0;
};
extern LoadTimes loadTimes;
