// ogg_fixture.h -- small Ogg files written by the tests: real Vorbis tracks and impostors
#pragma once
#include <string>
#include <vector>

// Interleaved float frames as Ogg Vorbis at high quality; false when the encoder refuses
// the layout or the file cannot be written.
bool writeOggVorbis(const std::string& path, const std::vector<float>& frames, int channels, int rate);
// A well-formed Ogg stream that is not Vorbis: a short track with its signature rubbed out.
bool writeOggNotVorbis(const std::string& path);
// Interleaved frames: silence, then a sine of the given amplitude, alike on every channel.
std::vector<float> silenceThenSine(double silentSeconds, double loudSeconds, double hz, float amplitude,
                                   int channels, int rate);
