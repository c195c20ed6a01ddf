// ogg_fixture.h -- small Ogg files written by the tests: real Vorbis tracks and impostors
#pragma once
#include <string>
#include <vector>

// Encodes interleaved float frames (channels per frame, rate Hz) as Ogg Vorbis at high
// quality. False when the encoder refuses the layout or the file cannot be written.
bool writeOggVorbis(const std::string& path, const std::vector<float>& frames, int channels, int rate);

// A well-formed Ogg stream whose packets are not Vorbis.
bool writeOggNotVorbis(const std::string& path);

// Interleaved frames: seconds of silence, then seconds of a sine of the given amplitude,
// the same on every channel.
std::vector<float> silenceThenSine(double silentSeconds, double loudSeconds, double hz, float amplitude,
                                   int channels, int rate);
