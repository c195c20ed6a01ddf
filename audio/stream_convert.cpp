// stream_convert.cpp -- a chained stream converted to the track's layout through libswresample, channels reordered between Vorbis's order and the library's
#include "audio/stream_convert.h"

extern "C" {
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/opt.h>
#include <libswresample/swresample.h>
}

#include <algorithm>
#include <cstring>

namespace {

constexpr int maxOrderedChannels = 8;

// Vorbis's order of channels for each count, as the library's speaker bits.
const uint64_t vorbisOrder[maxOrderedChannels][maxOrderedChannels] = {
    {AV_CH_FRONT_CENTER},
    {AV_CH_FRONT_LEFT, AV_CH_FRONT_RIGHT},
    {AV_CH_FRONT_LEFT, AV_CH_FRONT_CENTER, AV_CH_FRONT_RIGHT},
    {AV_CH_FRONT_LEFT, AV_CH_FRONT_RIGHT, AV_CH_BACK_LEFT, AV_CH_BACK_RIGHT},
    {AV_CH_FRONT_LEFT, AV_CH_FRONT_CENTER, AV_CH_FRONT_RIGHT, AV_CH_BACK_LEFT, AV_CH_BACK_RIGHT},
    {AV_CH_FRONT_LEFT, AV_CH_FRONT_CENTER, AV_CH_FRONT_RIGHT, AV_CH_BACK_LEFT, AV_CH_BACK_RIGHT,
     AV_CH_LOW_FREQUENCY},
    {AV_CH_FRONT_LEFT, AV_CH_FRONT_CENTER, AV_CH_FRONT_RIGHT, AV_CH_SIDE_LEFT, AV_CH_SIDE_RIGHT,
     AV_CH_BACK_CENTER, AV_CH_LOW_FREQUENCY},
    {AV_CH_FRONT_LEFT, AV_CH_FRONT_CENTER, AV_CH_FRONT_RIGHT, AV_CH_SIDE_LEFT, AV_CH_SIDE_RIGHT,
     AV_CH_BACK_LEFT, AV_CH_BACK_RIGHT, AV_CH_LOW_FREQUENCY},
};

uint64_t layoutMask(int channels) {
    uint64_t mask = 0;
    for (int i = 0; i < channels; ++i) mask |= vorbisOrder[channels - 1][i];
    return mask;
}

// Where Vorbis's channel i of channels lies in the library's order, which follows the speaker bits.
int libraryIndex(int channels, int i) {
    const uint64_t bit = vorbisOrder[channels - 1][i];
    return __builtin_popcountll(layoutMask(channels) & (bit - 1));
}

}  // namespace

bool convertibleChannels(int channels) { return channels >= 1 && channels <= maxOrderedChannels; }

bool StreamConverter::open(int inChannels, int inRate, int outChannels, int outRate) {
    close();
    if (!convertibleChannels(inChannels) || !convertibleChannels(outChannels) || inRate <= 0 || outRate <= 0)
        return false;
    // What goes wrong is said by the caller, in its own words.
    av_log_set_level(AV_LOG_QUIET);
    AVChannelLayout in{};
    AVChannelLayout out{};
    av_channel_layout_from_mask(&in, layoutMask(inChannels));
    av_channel_layout_from_mask(&out, layoutMask(outChannels));
    if (swr_alloc_set_opts2(&context, &out, AV_SAMPLE_FMT_FLTP, outRate, &in, AV_SAMPLE_FMT_FLTP, inRate, 0, nullptr) < 0 ||
        av_opt_set_double(context, "rematrix_maxval", 1.0, 0) < 0 || swr_init(context) < 0) {
        close();
        return false;
    }
    fromChannels = inChannels;
    toChannels = outChannels;
    return true;
}

bool StreamConverter::convert(const float* const* pcm, int64_t frames, std::vector<float>& out) {
    if (!context || frames < 0 || frames > (1 << 24)) return false;
    const uint8_t* in[maxOrderedChannels] = {};
    for (int i = 0; pcm && i < fromChannels; ++i)
        in[libraryIndex(fromChannels, i)] = reinterpret_cast<const uint8_t*>(pcm[i]);
    const int room = swr_get_out_samples(context, static_cast<int>(frames));
    if (room < 0) return false;
    planes.resize(static_cast<size_t>(std::max(room, 1)) * static_cast<size_t>(toChannels));
    uint8_t* to[maxOrderedChannels] = {};
    for (int c = 0; c < toChannels; ++c) to[c] = reinterpret_cast<uint8_t*>(planes.data() + static_cast<size_t>(c) * room);
    const int got = swr_convert(context, to, room, pcm ? in : nullptr, static_cast<int>(frames));
    if (got < 0) return false;
    const size_t at = out.size();
    out.resize(at + static_cast<size_t>(got) * static_cast<size_t>(toChannels));
    float* write = out.data() + at;
    for (int f = 0; f < got; ++f)
        for (int c = 0; c < toChannels; ++c)
            *write++ = planes[static_cast<size_t>(libraryIndex(toChannels, c)) * room + f];
    return true;
}

void StreamConverter::finish(std::vector<float>& out) {
    // The resampler's filter still holds the last few frames; an empty input drains it.
    while (context && swr_get_out_samples(context, 0) > 0) {
        const size_t before = out.size();
        if (!convert(nullptr, 0, out) || out.size() == before) break;
    }
    close();
}

void StreamConverter::close() {
    swr_free(&context);
    fromChannels = 0;
    toChannels = 0;
    planes = std::vector<float>();
}

void toLibraryOrder(float* frames, int64_t count, int channels) {
    if (!convertibleChannels(channels) || channels < 3) return;  // mono and stereo agree already
    float frame[maxOrderedChannels];
    for (int64_t f = 0; f < count; ++f) {
        float* at = frames + f * channels;
        for (int i = 0; i < channels; ++i) frame[libraryIndex(channels, i)] = at[i];
        std::memcpy(at, frame, sizeof(float) * static_cast<size_t>(channels));
    }
}

std::string libraryLayoutName(int channels) {
    if (!convertibleChannels(channels)) return std::string();
    AVChannelLayout layout{};
    av_channel_layout_from_mask(&layout, layoutMask(channels));
    char name[64] = {};
    av_channel_layout_describe(&layout, name, sizeof name);
    av_channel_layout_uninit(&layout);
    return name;
}
