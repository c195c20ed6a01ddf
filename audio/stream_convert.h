// stream_convert.h -- one stream of a chained file turned into the track's rate and channels with libswresample
#pragma once
#include <cstdint>
#include <string>
#include <vector>

struct SwrContext;

// Channels are in Vorbis's order throughout (mono; left, right; left, centre, right; ... up to
// 7.1); the library's own order is used only inside. Downmixes keep the library's coefficients,
// scaled so that no output channel sums past full scale; a mono stream goes to left and right at
// -3 dB each.
struct StreamConverter {
    SwrContext* context = nullptr;
    int fromChannels = 0;
    int toChannels = 0;
    std::vector<float> planes;  // the library's output, a plane per channel in its order

    // False where the library takes no such conversion (or the channel counts have no Vorbis
    // order); then nothing is held.
    bool open(int fromChannels, int fromRate, int toChannels, int toRate);
    // Appends what frames planar frames (pcm[channel][frame]) make in the track's layout to out,
    // interleaved. False where the library fails.
    bool convert(const float* const* pcm, int64_t frames, std::vector<float>& out);
    // Appends what the library still holds (the resampler's tail) to out, and closes.
    void finish(std::vector<float>& out);
    void close();
    bool isOpen() const { return context != nullptr; }
};

// Whether channels has a Vorbis order that the library can mix (1 to 8).
bool convertibleChannels(int channels);
// Reorders interleaved frames from Vorbis's channel order to the library's (ffmpeg's), in place,
// and names that layout as ffmpeg's -ch_layout takes it ("stereo", "5.1", ...).
void toLibraryOrder(float* frames, int64_t count, int channels);
std::string libraryLayoutName(int channels);
