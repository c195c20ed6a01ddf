// plot.h -- the level of the generated track, as a picture and as figures, for tuning the music
#pragma once
#include <cstdint>
#include <vector>

// PNG of the readings (60 a second) with the thresholds and scene boundaries; empty on failure.
std::vector<uint8_t> plotLevels(const std::vector<double>& levels);
// The sync figures of each part of the timeline, on stdout.
void printLevelSummary(const std::vector<double>& levels);
