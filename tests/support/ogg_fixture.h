// ogg_fixture.h -- small Ogg files written by the tests: real Vorbis tracks and impostors
#pragma once
#include <string>
#include <vector>

// Interleaved float frames as Ogg Vorbis at high quality; false when the encoder refuses
// the layout or the file cannot be written.
bool writeOggVorbis(const std::string& path, const std::vector<float>& frames, int channels, int rate);
// One logical stream of a chained file: interleaved frames in its own layout.
struct OggPart {
    std::vector<float> frames;
    int channels = 0;
    int rate = 0;
};
// The parts as Vorbis streams one after the other in one file, as `cat a.ogg b.ogg` makes.
bool writeChainedOgg(const std::string& path, const std::vector<OggPart>& parts);
// A well-formed Ogg stream that is not Vorbis: a short track with its signature rubbed out.
bool writeOggNotVorbis(const std::string& path);
// Interleaved frames: silence, then a sine of the given amplitude, alike on every channel.
std::vector<float> silenceThenSine(double silentSeconds, double loudSeconds, double hz, float amplitude,
                                   int channels, int rate);
