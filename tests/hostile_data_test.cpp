// hostile_data_test.cpp -- talumen-render on missing, damaged and odd data files: the message each gets, no crash, no hang, nothing written
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include "ogg_fixture.h"
#include "snapshot.h"
#include "testkit.h"

namespace {

namespace fs = std::filesystem;

// Every data file in the order the load steps read them (6a.jpg twice), then the music.
const std::vector<std::string> loadOrder = {"norvi.jpg", "talumen.jpg", "farewell.jpg", "2a.jpg", "2b.jpg", "4a.jpg",
    "4b.jpg", "4c.jpg", "star1.obj", "tunnel.obj", "adieu.jpg", "3a.jpg", "3b.jpg", "cube.obj", "7c.jpg", "6a.jpg",
    "forever.jpg", "city.obj", "island.obj", "1b.jpg", "6a.jpg", "goaway.jpg", "tree.obj", "credits.jpg",
    "talumen.ogg"};
const std::string readParams = "Error: Read params error!", lastError = "Image Load Error: Last error!",
                  objError = "App: Error opening .obj file", musicError = "Error: Music opening error";
// The frames before the still are drawn into a 1 x 1 box: every call of every scene, cheaply.
const std::string throughEveryScene = "--fps 2 --at 156000 ../out/still.png", gone = "(gone)", missing = "(missing)";
const std::string mesh = "v 0 0 0\nv 1 0 0\nv 0 1 0\nvt 0 0\nvt 1 0\nvt 0 1\n", face = "f 1/1/1 2/2/1 3/3/1\n";

const std::map<std::string, std::string> ifMissing = {{".jpg", readParams}, {".obj", objError}, {".ogg", musicError}};

std::string kind(const std::string& file) { return file.substr(file.size() - 4); }
bool spoils(const std::string& t, const std::string& f) { return t.empty() || t == f || t == kind(f); }

std::string noise(size_t size, uint32_t seed) {
    std::string bytes(size, '\0');
    for (char& c : bytes) c = static_cast<char>((seed = seed * 1664525u + 1013904223u) >> 24);
    return bytes;
}

// Through libjpeg itself, which writes what the demo's own writer cannot.
std::string jpeg(int width, int height, J_COLOR_SPACE space = JCS_RGB, bool progressive = false, bool arith = false) {
    jpeg_compress_struct info;
    jpeg_error_mgr errors;
    info.err = jpeg_std_error(&errors);
    jpeg_create_compress(&info);
    unsigned char* buffer = nullptr;
    unsigned long size = 0;
    jpeg_mem_dest(&info, &buffer, &size);
    info.image_width = width, info.image_height = height, info.in_color_space = space;
    info.input_components = space == JCS_GRAYSCALE ? 1 : space == JCS_CMYK ? 4 : 3;
    jpeg_set_defaults(&info);
    if (progressive) jpeg_simple_progression(&info);
    info.arith_code = arith;
    jpeg_start_compress(&info, TRUE);
    std::string pixels = noise(static_cast<size_t>(width) * height * info.input_components, 7);
    for (auto row = reinterpret_cast<JSAMPLE*>(pixels.data()); info.next_scanline < info.image_height;)
        row += jpeg_write_scanlines(&info, &row, 1) * width * info.input_components;
    jpeg_finish_compress(&info);
    jpeg_destroy_compress(&info);
    const std::string bytes(reinterpret_cast<char*>(buffer), size);
    std::free(buffer);
    return bytes;
}

// Noise, loud and quiet by turns every quarter second, so both sides of every level threshold are taken.
OggPart noisy(double seconds, int channels, int rate) {
    std::vector<float> frames(static_cast<size_t>(seconds * rate) * channels);
    for (size_t i = 0; i < frames.size(); ++i)
        frames[i] = ((i * 7919) % 2001 / 1000.0f - 1.0f) * ((i / channels / (rate / 4)) % 2 ? 0.05f : 1.0f);
    return {frames, channels, rate};
}

// The streams one after the other in one file (one stream: a plain file); not Vorbis at all where vorbis is false.
std::string ogg(const std::vector<OggPart>& streams, bool vorbis = true) {
    EXPECT_TRUE(vorbis ? writeChainedOgg("scratch.ogg", streams) : writeOggNotVorbis("scratch.ogg"));
    std::ifstream file("scratch.ogg", std::ios::binary);  // beside the project, not in it
    return std::string(std::istreambuf_iterator<char>(file), {});
}
std::string ogg(double seconds, int channels, int rate, bool vorbis = true) {
    return ogg({noisy(seconds, channels, rate)}, vorbis);
}

// One way to spoil a complete data set: target (a data file, a kind, or "" for data/ itself) gets bytes or
// is gone, or data/ gets only the permissions mode. Each read of a spoiled file gives message, and the run code.
struct Case {
    std::string what, target, bytes, message;
    int code = 0, mode = -1;
    std::string args = throughEveryScene;
    std::vector<Case> also = {};  // more files spoiled in the same run, each its own way
};

// The case, or the one of its others, that spoils file; null when none does.
const Case* spoiler(const Case& c, const std::string& file) {
    if (spoils(c.target, file)) return &c;
    for (const Case& other : c.also)
        if (spoils(other.target, file)) return &other;
    return nullptr;
}

std::vector<Case> cases(const std::string& picture, const std::string& music) {
    std::string huge = jpeg(16, 16), megabyteLine, million = mesh, big = jpeg(2048, 1024);
    huge.replace(huge.find("\xff\xc0") + 5, 4, "\xff\xff\xff\xff");  // the frame header's height and width
    while (megabyteLine.size() < (1u << 20)) megabyteLine += "v 0.5 -0.25 1e3 ";
    for (int i = 0; i < 1000000; ++i) million += face;
    std::vector<Case> table = {
        {"no data directory", "", gone, missing, 1},
        {"data is a file", "", noise(1000, 3), missing, 1},
        {"data without permissions", "", "", missing, 1, 0},
        // The files still open by name: the program never lists the directory.
        {"data searchable but not readable", "", "", "", 0, 0111},
        {"every mesh missing", ".obj", gone, missing},
        {"empty pictures", ".jpg", "", readParams},
        {"pictures cut inside the header", ".jpg", picture.substr(0, 40), readParams},
        {"pictures cut inside the data", ".jpg", picture.substr(0, picture.size() / 2), lastError},
        {"random bytes", ".jpg", noise(4096, 11), readParams},
        {"a PPM under a .jpg name", ".jpg", "P6\n16 16\n255\n" + noise(768, 2), readParams},
        {"a header claiming 65535 x 65535", ".jpg", huge, readParams},
        {"grayscale", ".jpg", jpeg(32, 32, JCS_GRAYSCALE), ""},
        {"CMYK", ".jpg", jpeg(32, 32, JCS_CMYK), lastError},
        {"progressive", ".jpg", jpeg(32, 32, JCS_RGB, true), ""},
        {"arithmetic-coded", ".jpg", jpeg(32, 32, JCS_RGB, false, true), ""},
        {"1 x 1", ".jpg", jpeg(1, 1), ""},
        {"13 x 7", ".jpg", jpeg(13, 7), ""},
        {"empty meshes", ".obj", "", ""},
        {"binary garbage", ".obj", noise(65536, 5), ""},
        {"NUL bytes", ".obj", std::string(65536, '\0'), ""},
        {"one line of a megabyte", ".obj", megabyteLine, ""},
        {"indices of 0", ".obj", mesh + "f 0/0/0 0/0/0 0/0/0\nf 1/0/1 2/2/1 3/3/1\n" + face, ""},
        {"negative indices", ".obj", mesh + "f -1/-1/-1 -2/-2/-2 -3/-3/-3\nf 1/1/1 2/-9/1 3/3/1\n" + face, ""},
        {"indices past the end", ".obj", mesh + "f 1/1/1 4/3/1 2/4/1\nf 2147483647/1/1 1/1/1 2/2/1\n" + face, ""},
        {"texture-coordinate indices, no texture coordinates", ".obj", "v 0 0 0\nv 1 0 0\nv 0 1 0\n" + face, ""},
        // The city draws the island once a frame, a second's work here: so just the city's first second.
        {"a million faces", "island.obj", million, "", 0, -1, "--fps 1 --at 93000 ../out/still.png"},
        {"a cube of a million faces", "cube.obj", million, "", 0, -1, "--fps 1 --at 60000 ../out/still.png"},
        {"empty music", "talumen.ogg", "", musicError, 1},
        {"music cut inside the headers", "talumen.ogg", music.substr(0, 200), musicError, 1},
        {"music cut in half", "talumen.ogg", music.substr(0, music.size() / 2), ""},
        {"music not Ogg", "talumen.ogg", noise(20000, 9), musicError, 1},
        {"Ogg but not Vorbis", "talumen.ogg", ogg(1, 2, 44100, false), musicError, 1},
        {"mono", "talumen.ogg", ogg(3, 1, 44100), ""},
        {"48 kHz", "talumen.ogg", ogg(3, 2, 48000), ""},
        {"5.1", "talumen.ogg", ogg(3, 6, 44100), ""},
        {"one second long", "talumen.ogg", ogg(1, 2, 44100), ""},
        {"a twentieth of a second long", "talumen.ogg", ogg(0.05, 2, 44100), ""},
        {"chained: 44.1 kHz stereo, 48 kHz mono, 22.05 kHz 5.1", "talumen.ogg",
         ogg({noisy(1, 2, 44100), noisy(1, 1, 48000), noisy(1, 6, 22050)}), ""},
        // The track ends where a stream that cannot be converted begins, and says so.
        {"chained: a stream of 9 channels", "talumen.ogg", ogg({noisy(1, 2, 44100), noisy(1, 9, 44100)}),
         "talumen: stream 2 of the music has 9 channels at 44100 Hz, which cannot be converted to the first "
         "stream's 2 channels at 44100 Hz; the music ends where it begins"},
        // Files are read side by side and the track on a thread of its own: a large picture that
        // fails late still says so before the quick failures of the files loaded after it, and the
        // track, found wanting first, says so last.
        {"several bad files at once", "2b.jpg", big.substr(0, big.size() * 3 / 4), lastError, 1, -1, throughEveryScene,
         {{"", "4b.jpg", gone, missing}, {"", "star1.obj", gone, missing}, {"", "3a.jpg", "", readParams},
          {"", "city.obj", gone, missing}, {"", "credits.jpg", gone, missing}, {"", "talumen.ogg", "", musicError}}},
    };
    for (const std::string& file : std::set<std::string>(loadOrder.begin(), loadOrder.end()))
        table.push_back({file + " missing", file, gone, missing, kind(file) == ".ogg"});
    return table;
}

}  // namespace

// Each case on a fresh data set: its messages in order, its exit code (a hang is 124, a crash 128 + signal), no writes.
TEST(HostileData, EachSpoiledDataSetGivesItsMessagesAndExitAndWritesNothing) {
    TempDir dir;
    const std::string project = dir.path + "/project", data = project + "/data", out = dir.path + "/out";
    const char* bin = std::getenv("TALUMEN_BIN");
    const std::string tool = dir.path + "/talumen-render", picture = jpeg(64, 64), music = ogg(3, 2, 44100);
    std::map<std::string, std::string> good = {{".jpg", picture}, {".obj", mesh + face}, {".ogg", music}};
    // Permission bits do not stop root, so as root the permission cases run as nobody, on a copy it can reach.
    fs::copy_file(std::string(bin ? bin : ".") + "/tools/talumen-render", tool);
    std::system(("mkdir -p '" + project + "/home' '" + project + "/tmp' '" + out + "' && chmod -R a+rwx .").c_str());
    umask(022);
    for (const Case& c : cases(picture, music)) {
        chmod(data.c_str(), 0755);
        fs::remove_all(data);
        fs::create_directory(data);
        for (const std::string& f : loadOrder)
            if (!spoiler(c, f) || c.target.empty()) writeFile(data + "/" + f, good[kind(f)]);
            else if (spoiler(c, f)->bytes != gone) writeFile(data + "/" + f, spoiler(c, f)->bytes);
        if (c.target.empty() && c.mode < 0) fs::remove_all(data);
        if (c.target.empty() && c.mode < 0 && c.bytes != gone) writeFile(data, c.bytes);
        if (c.mode >= 0) chmod(data.c_str(), c.mode);
        const TreeSnapshot before = snapshotTree(project);
        const std::string as = c.mode < 0 || geteuid() ? "" : "setpriv --reuid=65534 --regid=65534 --clear-groups ";
        const std::string run = "cd '" + project + "' && HOME=$PWD/home TMPDIR=$PWD/tmp timeout -k 10 400 " + as;
        const int status = std::system((run + "'" + tool + "' " + c.args + " >../out/stdout 2>../out/stderr").c_str());
        // Progress lines and the tool's own reasons are not messages; anything else (a sanitizer's report, say) is.
        std::vector<std::string> got, wanted;
        std::ifstream lines(out + "/stderr");
        for (std::string line; std::getline(lines, line);)
            if (line.find(": frame ") == line.npos && line.rfind("talumen-render: ", 0) != 0) got.push_back(line);
        for (const std::string& f : loadOrder)
            if (const Case* s = spoiler(c, f); s && !s->message.empty())
                wanted.push_back(s->message == missing ? ifMissing.at(kind(f)) : s->message);
        EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status), c.code) << c.what;
        EXPECT_EQ(got, wanted) << c.what;
        EXPECT_EQ(snapshotDifferences(before, snapshotTree(project)), "") << c.what;
        EXPECT_EQ(fs::remove(out + "/still.png"), c.code == 0) << c.what;
    }
}
