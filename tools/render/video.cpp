// video.cpp -- video export: ffmpeg's arguments, the raw frames fed to it through a pipe, and the track's samples of the range
#include <algorithm>
#include <cstdio>
#include <fstream>

#include "audio/stream_convert.h"
#include "audio/track.h"
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
// line of its log, which is then removed, as the sound's file is.
static int reapEncoder(VideoEncoder& video, std::string& why) {
    const int code = video.encoder.wait();
    trackChild(ChildProcess(), "");
    why = lastLogLine(video.logPath);
    std::remove(video.logPath.c_str());
    if (!video.soundPath.empty()) std::remove(video.soundPath.c_str());
    trackTemporaryFile("");
    return code;
}

// The sound's frames of the export in ffmpeg's order of channels, as raw floats, into a fresh
// temporary file; false with the reason (the file removed).
static bool writeSoundFile(const ExportSound& sound, std::string& path, std::string& error) {
    if (!makeLogFile(path, error)) return false;
    trackTemporaryFile(path);
    std::FILE* out = std::fopen(path.c_str(), "wb");
    bool written = out != nullptr;
    constexpr int64_t block = 16384;
    std::vector<float> frames(static_cast<size_t>(block * sound.channels));
    for (int64_t at = 0; at < sound.frameCount && written; at += block) {
        const int64_t count = std::min(block, sound.frameCount - at);
        copyTrackFrames(sound.firstFrame + at, count, frames.data());
        toLibraryOrder(frames.data(), count, sound.channels);
        const size_t floats = static_cast<size_t>(count * sound.channels);
        written = std::fwrite(frames.data(), sizeof(float), floats, out) == floats;
    }
    if (out && std::fclose(out) != 0) written = false;
    if (!written) {
        error = "cannot write the sound for ffmpeg into " + path;
        std::remove(path.c_str());
        trackTemporaryFile("");
        path.clear();
    }
    return written;
}

bool VideoEncoder::start(const std::string& ffmpeg, const std::string& tempPath, const char* container, int width,
                         int height, int fps, const VideoQuality& quality, const ExportSound& sound, std::string& error) {
    takesYuv = !quality.lossless;
    frameBytes = takesYuv ? width * height * 3 / 2 : width * height * 3;
    framesWritten = 0;

    if (!makeLogFile(logPath, error)) return false;
    soundPath.clear();
    const std::string size = std::to_string(width) + "x" + std::to_string(height);
    const std::string rate = std::to_string(fps);
    const bool sounds = sound.channels > 0 && sound.rate > 0 && !libraryLayoutName(sound.channels).empty();
    if (sounds && !writeSoundFile(sound, soundPath, error)) {
        std::remove(logPath.c_str());
        return false;
    }
    std::vector<std::string> args = {ffmpeg, "-hide_banner", "-nostdin", "-loglevel", "error", "-y",
                                     "-f", "rawvideo", "-pix_fmt", takesYuv ? "yuv420p" : "rgb24", "-video_size", size,
                                     "-framerate", rate, "-i", "pipe:0"};
    // The sound starts on the first frame's instant and lasts as long as the frames: exactly the
    // frames handed over.
    if (sounds)
        args.insert(args.end(), {"-f", "f32le", "-ar", std::to_string(sound.rate), "-ch_layout",
                                 libraryLayoutName(sound.channels), "-i", soundPath});
    args.insert(args.end(), {"-map", "0:v:0"});
    if (sounds) args.insert(args.end(), {"-map", "1:a:0"});
    if (quality.lossless) {
        // Planar RGB holds the frames' own values: no colour conversion, no chroma halving.
        args.insert(args.end(), {"-c:v", "ffv1", "-level", "3", "-pix_fmt", "gbrp"});
        if (sounds) args.insert(args.end(), {"-c:a", "flac"});
    } else {
        // The fastest preset: the frames are drawn on the same cores, and the encoder's share
        // of them is the export's to lose. Its rate factor is set for the sharpness the fine
        // wireframe lines need (see VideoQuality).
        args.insert(args.end(), {"-c:v", "libx264", "-preset", "ultrafast", "-crf", std::to_string(quality.crf)});
        if (sounds) args.insert(args.end(), {"-c:a", "aac", "-b:a", "192k"});
    }
    args.insert(args.end(), {"-f", container, tempPath});
    if (!encoder.start(args, logPath, error)) {
        std::remove(logPath.c_str());
        if (!soundPath.empty()) std::remove(soundPath.c_str());
        trackTemporaryFile("");
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
        reapEncoder(*this, why);
        error = "ffmpeg stopped taking frames: " + (why.empty() ? failure : why);
        return false;
    }
    ++framesWritten;
    return true;
}

bool VideoEncoder::finish(std::string& error) {
    std::string why;
    const int code = reapEncoder(*this, why);
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
    if (!soundPath.empty()) std::remove(soundPath.c_str());
    trackTemporaryFile("");
}
