// level.h -- the loudness measure shared by the player, the offline renderer and the data generator
#pragma once
#include <cstdint>

// Sum of the 512 magnitudes |X[k]| x 2 / 1024 (k = 0..511) of a Hann-windowed 1024-point
// FFT of the mono mix (mean of the channels) of the 1024 frames that end just before
// endFrame. frames is interleaved, channels per frame; frames outside 0..frameCount-1 are
// silence. spectrum, when not null, receives the 512 magnitudes.
long double measureLevel(const float* frames, int64_t frameCount, int channels, int64_t endFrame,
                         float* spectrum);

// Builds the calling thread's FFT plan and window once; open() calls it so that no reading pays for it.
// measureLevel makes them itself on its first call otherwise. False when no transform can be planned,
// and then every reading is 0. Each thread has its own plan and work buffer.
bool prepareLevelMeasure();
