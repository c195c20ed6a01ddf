// ogg_fixture.cpp -- writes the tests' Ogg fixtures with libvorbisenc and libogg
#include "ogg_fixture.h"

#include <vorbis/vorbisenc.h>

#include <cmath>
#include <cstdio>
#include <cstring>
#include <algorithm>

namespace {

bool writePage(FILE* out, const ogg_page& page) {
    return fwrite(page.header, 1, page.header_len, out) == static_cast<size_t>(page.header_len) &&
           fwrite(page.body, 1, page.body_len, out) == static_cast<size_t>(page.body_len);
}

}  // namespace

bool writeOggVorbis(const std::string& path, const std::vector<float>& frames, int channels, int rate) {
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    vorbis_info vi;
    vorbis_info_init(&vi);
    if (vorbis_encode_init_vbr(&vi, channels, rate, 0.6f) != 0) {
        vorbis_info_clear(&vi);
        fclose(out);
        return false;
    }
    vorbis_comment vc;
    vorbis_comment_init(&vc);
    vorbis_dsp_state vd;
    vorbis_analysis_init(&vd, &vi);
    vorbis_block vb;
    vorbis_block_init(&vd, &vb);
    ogg_stream_state os;
    ogg_stream_init(&os, 1);

    bool ok = true;
    ogg_packet header, comments, codebooks;
    vorbis_analysis_headerout(&vd, &vc, &header, &comments, &codebooks);
    ogg_stream_packetin(&os, &header);
    ogg_stream_packetin(&os, &comments);
    ogg_stream_packetin(&os, &codebooks);
    ogg_page page;
    while (ogg_stream_flush(&os, &page) != 0) ok = ok && writePage(out, page);

    const long total = static_cast<long>(frames.size()) / channels;
    long done = 0;
    bool ended = false;
    while (!ended) {
        const long chunk = std::min<long>(4096, total - done);
        if (chunk > 0) {
            float** buffer = vorbis_analysis_buffer(&vd, static_cast<int>(chunk));
            for (long f = 0; f < chunk; ++f)
                for (int c = 0; c < channels; ++c) buffer[c][f] = frames[(done + f) * channels + c];
            vorbis_analysis_wrote(&vd, static_cast<int>(chunk));
            done += chunk;
        } else {
            // Without this the stream loses its last samples.
            vorbis_analysis_wrote(&vd, 0);
        }
        while (vorbis_analysis_blockout(&vd, &vb) == 1) {
            vorbis_analysis(&vb, nullptr);
            vorbis_bitrate_addblock(&vb);
            ogg_packet packet;
            while (vorbis_bitrate_flushpacket(&vd, &packet)) {
                ogg_stream_packetin(&os, &packet);
                while (ogg_stream_pageout(&os, &page) != 0) {
                    ok = ok && writePage(out, page);
                    if (ogg_page_eos(&page)) ended = true;
                }
            }
        }
        if (chunk <= 0 && !ended) {
            while (ogg_stream_flush(&os, &page) != 0) ok = ok && writePage(out, page);
            ended = true;
        }
    }

    ogg_stream_clear(&os);
    vorbis_block_clear(&vb);
    vorbis_dsp_clear(&vd);
    vorbis_comment_clear(&vc);
    vorbis_info_clear(&vi);
    return fclose(out) == 0 && ok;
}

bool writeOggNotVorbis(const std::string& path) {
    FILE* out = fopen(path.c_str(), "wb");
    if (!out) return false;
    ogg_stream_state os;
    ogg_stream_init(&os, 7);
    bool ok = true;
    unsigned char payload[64];
    for (int i = 0; i < 3; ++i) {
        std::memset(payload, 'a' + i, sizeof payload);
        std::memcpy(payload, "NotAudio", 8);
        ogg_packet packet;
        std::memset(&packet, 0, sizeof packet);
        packet.packet = payload;
        packet.bytes = sizeof payload;
        packet.b_o_s = i == 0;
        packet.e_o_s = i == 2;
        packet.granulepos = i;
        packet.packetno = i;
        ogg_stream_packetin(&os, &packet);
        ogg_page page;
        while (ogg_stream_flush(&os, &page) != 0) ok = ok && writePage(out, page);
    }
    ogg_stream_clear(&os);
    return fclose(out) == 0 && ok;
}

std::vector<float> silenceThenSine(double silentSeconds, double loudSeconds, double hz, float amplitude,
                                   int channels, int rate) {
    const long silent = static_cast<long>(silentSeconds * rate);
    const long loud = static_cast<long>(loudSeconds * rate);
    std::vector<float> frames(static_cast<size_t>((silent + loud) * channels), 0.0f);
    const double pi = 3.14159265358979323846;
    for (long f = 0; f < loud; ++f) {
        const float v = amplitude * static_cast<float>(std::sin(2.0 * pi * hz * f / rate));
        for (int c = 0; c < channels; ++c) frames[(silent + f) * channels + c] = v;
    }
    return frames;
}
