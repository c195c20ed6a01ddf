// video.cpp -- video export: ffmpeg's arguments, and the raw frames fed to it through a pipe
#include <cstdio>
#include <fstream>

#include "render_tool.h"

static std::string lastLogLine(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::string last;
    while (std::getline(in, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!line.empty()) last = line;
    }
    if (last.size() > 300) last.resize(300);
    return last;
}

// Waits for ffmpeg to exit: its exit code (-1 when it did not exit by itself); why gets the last
// line of its log, which is then removed.
static int reapEncoder(ChildProcess& encoder, const std::string& logPath, std::string& why) {
    const int code = encoder.wait();
    trackChild(ChildProcess(), "");
    why = lastLogLine(logPath);
    std::remove(logPath.c_str());
    return code;
}

static std::string millisecondsText(int64_t ms) {
    char text[32];
    std::snprintf(text, sizeof text, "%lld.%03lld", static_cast<long long>(ms / 1000),
                  static_cast<long long>(ms % 1000));
    return text;
}

bool VideoEncoder::start(const std::string& ffmpeg, const std::string& tempPath, const char* container, int width,
                         int height, int fps, const VideoQuality& quality, const std::string& audioPath, int32_t audioStartMs,
                         double durationSeconds, std::string& error) {
    takesYuv = !quality.lossless;
    frameBytes = takesYuv ? width * height * 3 / 2 : width * height * 3;
    framesWritten = 0;

    if (!makeLogFile(logPath, error)) return false;

    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string rate = std::to_string(fps);
    char duration[32];
    std::snprintf(duration, sizeof duration, "%.6f", durationSeconds);
    std::vector<std::string> args = {ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", takesYuv ? "yuv420p" : "rgb24", "-video_size", size,
                                     "-framerate", rate, "-i", "pipe:0"};
    if (!audioPath.empty()) {
        // Seeking before the input decodes from the file's start and drops what comes before,
        // so the sound starts on the first frame's instant.
        args.insert(args.end(), {"-ss", millisecondsText(audioStartMs), "-t", duration, "-i", audioPath});
    }
    args.insert(args.end(), {"-map", "0:v:0"});
    if (!audioPath.empty()) args.insert(args.end(), {"-map", "1:a:0"});
    if (quality.lossless) {
        // Planar RGB holds the frames' own values: no colour conversion, no chroma halving.
        args.insert(args.end(), {"-c:v", "ffv1", "-level", "3", "-pix_fmt", "gbrp"});
        if (!audioPath.empty()) args.insert(args.end(), {"-c:a", "flac"});
    } else {
        // The fastest preset: the frames are drawn on the same cores, and the encoder's share
        // of them is the export's to lose. Its rate factor is set for the sharpness the fine
        // wireframe lines need (see VideoQuality).
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-crf", std::to_string(quality.crf)});
        if (!audioPath.empty()) args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
    }
    args.insert(args.end(), {"-f", container, tempPath});

    if (!encoder.start(args, logPath, error)) {
        std::remove(logPath.c_str());
        return false;
    }
    trackChild(encoder, logPath);
    return true;
}

bool VideoEncoder::writeFrame(const uint8_t* frame, std::string& error) {
    std::string failure;
    if (!encoder.write(frame, static_cast<size_t>(frameBytes), failure)) {
        // ffmpeg has stopped reading: say why, from its own log, once it has exited.
        std::string why;
        reapEncoder(encoder, logPath, why);
        error = "ffmpeg stopped taking frames: " + (why.empty() ? failure : why);
        return false;
    }
    ++framesWritten;
    return true;
}

bool VideoEncoder::finish(std::string& error) {
    std::string why;
    const int code = reapEncoder(encoder, logPath, why);
    if (code != 0) {
        if (code == 127 && why.empty())
            error = "ffmpeg could not be started";
        else
            error = "ffmpeg failed: " + (why.empty() ? std::string("no reason given") : why);
        return false;
    }
    return true;
}

void VideoEncoder::abort() {
    encoder.kill();
    trackChild(ChildProcess(), "");
    if (!logPath.empty()) std::remove(logPath.c_str());
}
