// options.cpp -- talumen-render's command line: parsing, checking and the usage text
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "render_tool.h"

const char* renderUsage =
    "usage: talumen-render [--size WxH] [--ssaa N] [--fps N] [--level X] [--at MS | --from MS --to MS]\n"
    "                      [--crf N | --lossless] OUTPUT\n"
    "       talumen-render [--size WxH] [--ssaa N] [--fps N] [--level X] --at MS,MS,... DIR/\n"
    "       talumen-render [--size WxH] [--ssaa N] [--fps N] [--level X] --seek MS,MS,... DIR/\n"
    "       talumen-render --bench [--size WxH] [--ssaa N] [--fps N] [--level X]\n"
    "       talumen-render --bench-seek [--size WxH] [--ssaa N] [--fps N] [--level X]\n"
    "       talumen-render --bench-start [--size WxH] [--ssaa N] [--fps N] [--level X] [--at MS]\n"
    "\n"
    "Renders the demo offline on a virtual clock: frame k is drawn at floor(k x 1000 / fps) ms,\n"
    "with the music's loudness at that instant. Reads data/ in the working directory.\n"
    "\n"
    "OUTPUT\n"
    "  NAME.png        with --at MS: the frame at exactly MS ms, after every earlier frame\n"
    "                  of the run has advanced the scenes (without drawing)\n"
    "  DIR/            every frame from --from to --to as DIR/000000.png, 000001.png, ...\n"
    "                  or, with --at MS,MS,..., the frame at each instant as DIR/MS.png (six\n"
    "                  digits), all in one run; the instants ascend and are frames of the clock;\n"
    "                  or, with --seek MS,MS,..., the frame each seek lands on as DIR/MS.png\n"
    "  NAME.mp4|.mkv   H.264 video of --from to --to with the music from --from as sound\n"
    "                  (needs ffmpeg on PATH); with --lossless, NAME.mkv in FFV1 and FLAC\n"
    "\n"
    "options\n"
    "  --size WxH      1280x720 (default) or 1024x768 (576-row band between black bands),\n"
    "                  the two display modes; or any even size from 320x180 up to what the\n"
    "                  GL can draw: the 1280x720 picture scaled to fit, black bars around\n"
    "  --ssaa N        draw each frame N times larger each way and average it down, 1 to 4\n"
    "                  (default 1)\n"
    "  --fps N         frames per second of the virtual clock, 1 to 1000 (default 60)\n"
    "  --level X       every loudness reading returns X; no music file needed\n"
    "  --at MS         the instant of a still, 0 to 156000\n"
    "  --from MS       first instant of a range (default 0); both ends are included\n"
    "  --to MS         last instant of a range (default 156000)\n"
    "  --crf N         the H.264 quality, 0 (best) to 51 (default 17)\n"
    "  --lossless      FFV1 video and FLAC sound in .mkv, decoding to exactly the frames drawn\n"
    "  --seek MS,...   seek to each instant in the order given, as the player does, playing\n"
    "                  on a second between them: each lands on the clock's frame at or\n"
    "                  after it, caught up from the nearest of the snapshots taken every\n"
    "                  second, and equals the --at still of that frame\n"
    "  --bench         render the whole sequence without writing and print per-scene\n"
    "                  frame times (median, p95, max) on stdout\n"
    "  --bench-seek    time seeks to ten instants, forward and back, to their first frame:\n"
    "                  caught up from the start, then from the nearest snapshot\n"
    "  --bench-start   start as for the still at --at MS (default 0) without writing it, and\n"
    "                  print on stdout what each stage took and the memory it left\n"
    "  --data DIR      read the demo's files from DIR (DIR/talumen.ogg, DIR/norvi.jpg, ...)\n"
    "                  instead of data/ in the working directory, or where there is none,\n"
    "                  the data installed with the program\n"
    "  --help          this text\n"
    "  --version       the program's version\n";

static bool endsWith(const std::string& text, const char* suffix) {
    const size_t n = std::strlen(suffix);
    return text.size() >= n && text.compare(text.size() - n, n, suffix) == 0;
}

static bool parseInt(const std::string& text, long low, long high, long& value) {
    if (text.empty()) return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || parsed < low || parsed > high) return false;
    value = parsed;
    return true;
}

static bool parseMs(const std::string& name, const std::string& text, int32_t& ms, std::string& error) {
    long value = 0;
    if (!parseInt(text, 0, sequenceEndMs, value)) {
        error = name + " wants whole milliseconds from 0 to 156000, not \"" + text + "\"";
        return false;
    }
    ms = static_cast<int32_t>(value);
    return true;
}

// MS,MS,...: one instant or more, ascending where asked.
static bool parseMsList(const std::string& name, const std::string& value, bool ascending, std::vector<int32_t>& list,
                        std::string& error) {
    list.clear();
    size_t start = 0;
    for (;;) {
        const size_t comma = value.find(',', start);
        int32_t ms = 0;
        if (!parseMs(name, value.substr(start, comma - start), ms, error)) return false;
        if (ascending && !list.empty() && ms <= list.back()) {
            error = name + " instants must ascend, not \"" + value + "\"";
            return false;
        }
        list.push_back(ms);
        if (comma == std::string::npos) return true;
        start = comma + 1;
    }
}

// The largest side asked for before the GL is asked what it can draw.
static constexpr long maxSide = 16384;

static bool parseSize(const std::string& text, int& width, int& height) {
    const size_t x = text.find('x');
    if (x == std::string::npos) return false;
    long w = 0;
    long h = 0;
    if (!parseInt(text.substr(0, x), 320, maxSide, w) || !parseInt(text.substr(x + 1), 180, maxSide, h)) return false;
    if (w % 2 != 0 || h % 2 != 0) return false;
    width = static_cast<int>(w);
    height = static_cast<int>(h);
    return true;
}

bool parseRenderOptions(int argc, char** argv, RenderOptions& options, std::string& error) {
    bool hasFrom = false;
    bool hasTo = false;
    bool hasOutput = false;
    for (int i = 1; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0) {
            if (hasOutput) {
                error = "more than one OUTPUT (\"" + options.output + "\" and \"" + arg + "\")";
                return false;
            }
            options.output = arg;
            hasOutput = true;
            continue;
        }
        if (arg == "--help") {
            options.help = true;
            continue;
        }
        if (arg == "--version") {
            options.version = true;
            continue;
        }
        if (arg == "--bench") {
            options.bench = true;
            continue;
        }
        if (arg == "--bench-seek") {
            options.benchSeek = true;
            continue;
        }
        if (arg == "--bench-start") {
            options.benchStart = true;
            continue;
        }
        if (arg == "--data" || arg.compare(0, 7, "--data=") == 0) {
            const bool joined = arg.size() > 6;  // --data=DIR
            options.dataFolder = joined ? arg.substr(7) : i + 1 < argc ? argv[++i] : "";
            if (options.dataFolder.empty()) {
                error = "--data needs a folder";
                return false;
            }
            continue;
        }
        if (arg == "--lossless") {
            options.lossless = true;
            continue;
        }
        // Options with a value take it as the next argument or after '='.
        std::string name = arg;
        std::string value;
        const size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            name = arg.substr(0, equals);
            value = arg.substr(equals + 1);
        }
        const bool known = name == "--size" || name == "--fps" || name == "--level" || name == "--at" ||
                           name == "--from" || name == "--to" || name == "--ssaa" || name == "--crf" || name == "--seek";
        if (!known) {
            error = "unknown option \"" + arg + "\"";
            return false;
        }
        if (equals == std::string::npos) {
            if (i + 1 >= argc) {
                error = name + " needs a value";
                return false;
            }
            value = argv[++i];
        }
        if (name == "--size") {
            if (!parseSize(value, options.width, options.height)) {
                error = "--size wants an even WxH from 320x180 to " + std::to_string(maxSide) + "x" +
                        std::to_string(maxSide) + ", not \"" + value + "\"";
                return false;
            }
        } else if (name == "--ssaa") {
            long ssaa = 0;
            if (!parseInt(value, 1, 4, ssaa)) {
                error = "--ssaa wants a whole number from 1 to 4, not \"" + value + "\"";
                return false;
            }
            options.ssaa = static_cast<int>(ssaa);
        } else if (name == "--crf") {
            long crf = 0;
            if (!parseInt(value, 0, 51, crf)) {
                error = "--crf wants a whole number from 0 to 51, not \"" + value + "\"";
                return false;
            }
            options.crf = static_cast<int>(crf);
            options.hasCrf = true;
        } else if (name == "--fps") {
            long fps = 0;
            if (!parseInt(value, 1, 1000, fps)) {
                error = "--fps wants a whole number from 1 to 1000, not \"" + value + "\"";
                return false;
            }
            options.fps = static_cast<int>(fps);
        } else if (name == "--level") {
            errno = 0;
            char* end = nullptr;
            const double level = std::strtod(value.c_str(), &end);
            if (value.empty() || errno != 0 || *end != '\0' || !std::isfinite(level)) {
                error = "--level wants a number, not \"" + value + "\"";
                return false;
            }
            options.fixedLevel = true;
            options.level = level;
        } else if (name == "--at") {
            if (!parseMsList(name, value, true, options.stills, error)) return false;
            options.at = options.stills.front();
            options.hasAt = true;
        } else if (name == "--seek") {
            if (!parseMsList(name, value, false, options.seeks, error)) return false;
        } else if (name == "--from") {
            if (!parseMs(name, value, options.from, error)) return false;
            hasFrom = true;
        } else {
            if (!parseMs(name, value, options.to, error)) return false;
            hasTo = true;
        }
    }
    if (options.help || options.version) return true;

    const bool video = endsWith(options.output, ".mp4") || endsWith(options.output, ".mkv");
    if ((options.hasCrf || options.lossless) && (options.bench || options.benchStart || !video)) {
        error = "--crf and --lossless set a video's quality: OUTPUT ends in .mp4 or .mkv";
        return false;
    }
    if (options.lossless && (options.hasCrf || !endsWith(options.output, ".mkv"))) {
        error = "--lossless writes FFV1 and FLAC into NAME.mkv and takes no --crf";
        return false;
    }
    const bool hasSeek = !options.seeks.empty();
    if (options.benchStart) {
        if (options.bench || options.benchSeek || hasOutput || options.stills.size() > 1 || hasFrom || hasTo || hasSeek) {
            error = "--bench-start times the start of one still and writes nothing: no other bench, OUTPUT, "
                    "--from, --to, --seek or second --at";
            return false;
        }
        return true;
    }
    if (options.bench && options.benchSeek) {
        error = "--bench and --bench-seek are two benches: one at a time";
        return false;
    }
    if (options.bench || options.benchSeek) {
        if (hasOutput || options.hasAt || hasFrom || hasTo || hasSeek) {
            error = std::string(options.bench ? "--bench" : "--bench-seek") +
                    " renders without writing: no OUTPUT, --at, --from, --to or --seek";
            return false;
        }
        return true;
    }
    if (!hasOutput) {
        error = "no OUTPUT given (NAME.png with --at, DIR/, NAME.mp4 or NAME.mkv)";
        return false;
    }
    const std::string& out = options.output;
    if (endsWith(out, ".png")) {
        options.kind = OutputKind::still;
    } else if (endsWith(out, "/")) {
        options.kind = OutputKind::frames;
    } else if (endsWith(out, ".mp4") || endsWith(out, ".mkv")) {
        options.kind = OutputKind::video;
    } else {
        error = "OUTPUT \"" + out + "\" must end in .png, / (a directory of frames), .mp4 or .mkv";
        return false;
    }
    if (hasSeek) {
        if (options.kind != OutputKind::frames || options.hasAt || hasFrom || hasTo) {
            error = "--seek writes the frame of each seek into a DIR/, with no --at, --from or --to";
            return false;
        }
        options.kind = OutputKind::seeks;
        return true;
    }
    if (options.kind == OutputKind::frames && options.hasAt) {
        if (hasFrom || hasTo) {
            error = "--at and --from/--to do not go together";
            return false;
        }
        // Each still must be a frame the run draws anyway, so that it equals a --at still.
        for (const int32_t ms : options.stills) {
            if (frameMs(firstFrameAtOrAfter(ms, options.fps), options.fps) != ms) {
                error = "--at " + std::to_string(ms) + " is no frame of the " + std::to_string(options.fps) +
                        " fps clock, so it cannot share a run with other stills";
                return false;
            }
        }
        options.kind = OutputKind::stills;
        return true;
    }
    if (options.kind == OutputKind::still) {
        if (options.stills.size() > 1) {
            error = "several --at instants make several stills: their OUTPUT is a DIR/";
            return false;
        }
        if (!options.hasAt) {
            error = "a .png OUTPUT is one still: give its instant with --at MS";
            return false;
        }
        if (hasFrom || hasTo) {
            error = "--at and --from/--to do not go together";
            return false;
        }
        return true;
    }
    if (options.hasAt) {
        error = "--at makes one still: its OUTPUT ends in .png";
        return false;
    }
    if (options.from > options.to) {
        error = "--from " + std::to_string(options.from) + " lies after --to " + std::to_string(options.to);
        return false;
    }
    return true;
}
