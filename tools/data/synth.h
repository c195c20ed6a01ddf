// synth.h -- the demo's music: our own small synthesiser, the Ogg Vorbis coding and the level track
#pragma once
#include <cstdint>
#include <vector>

constexpr int songRate = 44100;
constexpr int songChannels = 2;
constexpr int songSeconds = 160;

// The whole track as interleaved stereo float frames, the same samples on every run.
std::vector<float> renderSong();

// Ogg Vorbis of interleaved float frames (fixed stream serial, so the bytes repeat).
// Empty on failure.
std::vector<uint8_t> encodeOgg(const std::vector<float>& frames, int channels, int rate);
// Decodes an Ogg Vorbis file held in memory; false when it is not one.
bool decodeOgg(const std::vector<uint8_t>& ogg, std::vector<float>& frames, int& channels, int& rate);

// The level the player reads at 60 frames a second: reading k is the measure of the 1024
// frames that end at floor(k x 1000 / 60) ms, for every k up to the end of the track.
std::vector<double> levelTrack(const std::vector<float>& frames, int channels, int rate);
