// render_tool.h -- the pieces of talumen-render: options, the virtual clock, image and video output
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "base/run_marks.h"
#include "app/capture_layout.h"
#include "app/timeline.h"
#include "platform/child_process.h"

enum class OutputKind { none, still, stills, seeks, frames, video };

struct RenderOptions {
    int width = 1280;
    int height = 720;
    int fps = 60;
    int ssaa = 1;         // each frame drawn ssaa x ssaa times larger, then averaged down
    bool hasCrf = false;  // --crf given; otherwise the encoder's default quality
    int crf = 0;
    bool lossless = false;
    bool fixedLevel = false;  // --level given: every reading returns level, no music file needed
    double level = 0.0;
    bool bench = false;
    bool benchSeek = false;  // --bench-seek: seeks timed from the start and from the nearest snapshot
    bool benchStart = false;
    bool help = false;
    bool version = false;
    bool hasAt = false;
    int32_t at = 0;
    std::vector<int32_t> stills;  // --at MS,MS,... with a DIR/ OUTPUT: ascending frames of the fps clock
    std::vector<int32_t> seeks;   // --seek MS,MS,...: instants in any order, each reached by a seek
    int32_t from = 0;
    int32_t to = sequenceEndMs;
    std::string output;
    std::string dataFolder;  // --data: where the demo's files are; empty: looked for
    OutputKind kind = OutputKind::none;
};

extern const char* renderUsage;

// False with a one-line reason (no program name, no newline) on any bad or conflicting option.
bool parseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& error);

// One line on stderr, "talumen-render: text".
void reportError(const std::string& text);

// A progress line on stderr for long work: rewritten in place on a terminal, an occasional
// plain line otherwise, nothing at all for work that ends within a second.
struct ProgressLine {
    const char* label = nullptr;
    int64_t total = 0;
    double startSeconds = 0.0;
    double lastShownSeconds = 0.0;
    bool shown = false;
    bool terminal = false;

    void begin(const char* what, int64_t frameCount);
    void update(int64_t framesDone);
    void end();
};
double wallSeconds();

// The capture as RGB24 rows, top first, from the frame buffer's RGBA rows as GL reads them
// (bottom first): each ssaa x ssaa block averaged, black around the picture.
void composeFrame(const FrameLayout& layout, const uint8_t* drawn, uint8_t* rgb);
void composeRow(const FrameLayout& layout, const uint8_t* drawn, int y, uint8_t* row);  // output row y of it
// The same frame (even width and height) as planar YUV 4:2:0: width x height luma bytes, then
// the two quarter-size chroma planes.
void composeYuvFrame(const FrameLayout& layout, const uint8_t* drawn, uint8_t* yuv);
// An RGB24 picture, top row first, as a PNG; false on any write error.
bool writePng(FILE* file, int width, int height, const uint8_t* rgb);

// A file written under a temporary name beside its final one and renamed only when complete,
// so an interrupted or failed run never leaves something that looks finished.
struct PendingFile {
    std::string finalPath;
    std::string tempPath;
    FILE* file = nullptr;

    // Creates the temporary file (and keeps it open when keepOpen); false with a reason.
    bool create(const std::string& path, bool keepOpen, std::string& error);
    bool commit(std::string& error);  // closes and renames
    void discard();                   // closes and removes the temporary file
};

// What the encoder keeps of the frames: H.264 at a constant rate factor, or FFV1 and FLAC,
// which decode to exactly the frames and samples given.
struct VideoQuality {
    // With the fastest preset, 17 keeps the cubes' fine lines above 40 dB PSNR of the frames.
    static constexpr int defaultCrf = 17;
    int crf = defaultCrf;
    bool lossless = false;
};

// The sound of an export: the open track's frames first..first+count-1 (track.h), as the demo
// decodes them and plays them, a chained file's streams converted.
struct ExportSound {
    int channels = 0;  // 0: a silent video
    int rate = 0;
    int64_t firstFrame = 0;
    int64_t frameCount = 0;
};

// ffmpeg reading raw frames from a pipe and writing video with the music as sound: RGB24
// for the lossless archive, which keeps the frames' own values, else YUV 4:2:0, which is
// what H.264 stores. The sound is the track's own samples of the range, as the demo decodes
// and converts them, handed over as raw floats in a temporary file written before ffmpeg
// starts (a file, which ffmpeg reads alike on every system, rather than a second pipe).
struct VideoEncoder {
    ChildProcess encoder;
    std::string logPath;
    std::string soundPath;  // the sound's temporary file; empty: none
    int64_t framesWritten = 0;
    int frameBytes = 0;
    bool takesYuv = false;

    bool start(const std::string& ffmpeg, const std::string& tempPath, const char* container, int width, int height,
               int fps, const VideoQuality& quality, const ExportSound& sound, std::string& error);
    bool writeFrame(const uint8_t* frame, std::string& error);  // frameBytes of the form above
    bool finish(std::string& error);  // closes the pipe, waits, checks ffmpeg's exit status
    void abort();                     // stops ffmpeg without waiting for a finished file
};

// Frame timings, in milliseconds, summarised the way --bench prints them.
struct TimingSummary {
    int64_t frames = 0;
    double median = 0.0;
    double p95 = 0.0;
    double max = 0.0;
};
TimingSummary summarise(std::vector<double> times);
