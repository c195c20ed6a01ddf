// stand_in_ffmpeg.cpp -- a Windows stand-in for ffmpeg.exe in the Wine tests: the raw frames it is fed, written out as they came
// talumen-render.exe starts it as it starts ffmpeg: frames on its standard input, the output's
// name last among its arguments, its own errors in the log. It writes the frames' bytes to that
// file unchanged, so that the test can check the pipe, the arguments' quoting and the exit code
// on Windows without an encoder. With TALUMEN_STAND_IN_REFUSE set it reads one frame, says why
// it stops on stderr and exits with 1, as an encoder that fails does.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <io.h>
#include <vector>

int main(int argc, char** argv) {
    if (argc < 2) return 2;
    _setmode(_fileno(stdin), _O_BINARY);
    const bool refuse = std::getenv("TALUMEN_STAND_IN_REFUSE") != nullptr;
    std::FILE* out = refuse ? nullptr : std::fopen(argv[argc - 1], "wb");
    if (!refuse && !out) {
        std::fprintf(stderr, "stand-in: cannot write %s\n", argv[argc - 1]);
        return 1;
    }
    std::vector<char> buffer(1 << 16);
    for (size_t got; (got = std::fread(buffer.data(), 1, buffer.size(), stdin)) > 0;) {
        if (refuse) {
            std::fprintf(stderr, "stand-in: refused after %zu bytes\n", got);
            return 1;
        }
        if (std::fwrite(buffer.data(), 1, got, out) != got) return 1;
    }
    return std::fclose(out) == 0 ? 0 : 1;
}
