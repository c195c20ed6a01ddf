// ogg_fixture.cpp -- writes the tests' Ogg fixtures with libvorbisenc and libogg
#include "ogg_fixture.h"

#include <vorbis/vorbisenc.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

// Writes the pages ready in the stream; flush forces out a page that is not full yet.
bool writePages(FILE* out, ogg_stream_state& os, bool flush) {
    ogg_page page;
    bool ok = true;
    while ((flush ? ogg_stream_flush(&os, &page) : ogg_stream_pageout(&os, &page)) != 0)
        ok = fwrite(page.header, 1, page.header_len, out) == size_t(page.header_len) &&
             fwrite(page.body, 1, page.body_len, out) == size_t(page.body_len) && ok;
    return ok;
}

// The packets of a Vorbis stream, appended to out; an impostor has the signature in its first
// header rubbed out.
bool writeStream(FILE* out, int serial, const std::vector<float>& frames, int channels, int rate, bool impostor) {
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.6f) != 0) {
        vorbis_info_clear(&vi);
        return false;
    }
    vorbis_comment vc;
    vorbis_dsp_state vd;
    vorbis_block vb;
    ogg_stream_state os;
    vorbis_comment_init(&vc);
    vorbis_analysis_init(&vd, &vi);
    vorbis_block_init(&vd, &vb);
    ogg_stream_init(&os, serial);
    ogg_packet header, comments, codebooks, packet;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    if (impostor) std::memcpy(header.packet + 1, "NotAud", 6);
    for (ogg_packet* p : {&header, &comments, &codebooks}) ogg_stream_packetin(&os, p);
    bool ok = writePages(out, os, true);
    const long total = static_cast<long>(frames.size()) / channels;
    // The last, empty chunk marks the end; without it the stream loses its last samples.
    for (long done = 0, chunk = 1; chunk > 0; done += chunk) {
        chunk = std::min<long>(4096, total - done);
        float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(chunk));
        for (long f = 0; f < chunk; ++f)
            for (int c = 0; c < channels; ++c) buffer[c][f] = frames[(done + f) * channels + c];
        vorbis_analysis_wrote(&vd, static_cast<int>(chunk));
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            while (vorbis_bitrate_flushpacket(&vd, &packet)) ogg_stream_packetin(&os, &packet);
            ok = writePages(out, os, false) && ok;
        }
    }
    ok = writePages(out, os, true) && ok;
    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return ok;
}

bool writeOgg(const std::string& path, const std::vector<float>& frames, int channels, int rate, bool impostor) {
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    const bool ok = writeStream(out, 1, frames, channels, rate, impostor);
    return fclose(out) == 0 && ok;
}

}  // namespace

bool writeOggVorbis(const std::string& path, const std::vector<float>& frames, int channels, int rate) {
    return writeOgg(path, frames, channels, rate, false);
}

bool writeChainedOgg(const std::string& path, const std::vector<OggPart>& parts) {
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    bool ok = true;
    // Each stream has a serial number of its own, as separately encoded files do.
    for (size_t i = 0; i < parts.size() && ok; ++i)
        ok = writeStream(out, int(i) + 1, parts[i].frames, parts[i].channels, parts[i].rate, false);
    return fclose(out) == 0 && ok;
}

bool writeOggNotVorbis(const std::string& path) { return writeOgg(path, std::vector<float>(4410, 0.0f), 1, 44100, true); }

std::vector<float> silenceThenSine(double silentSeconds, double loudSeconds, double hz, float amplitude,
                                   int channels, int rate) {
    const long silent = std::lround(silentSeconds * rate), loud = std::lround(loudSeconds * rate);
    std::vector<float> frames(static_cast<size_t>((silent + loud) * channels), 0.0f);
    for (long f = 0; f < loud; ++f)
        for (int c = 0; c < channels; ++c)
            frames[(silent + f) * channels + c] = amplitude * static_cast<float>(std::sin(2.0 * M_PI * hz * f / rate));
    return frames;
}
