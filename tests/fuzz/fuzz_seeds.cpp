// fuzz_seeds.cpp -- writes the fuzzers' starting corpus and dictionaries: small JPEGs of every kind the encoder makes, and OBJ files
#include <sys/stat.h>
#include <turbojpeg.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

static bool writeBytes(const std::string& path, const void* data, size_t size) {
    FILE* file = std::fopen(path.c_str(), "wb");
    if (!file) return false;
    const bool ok = std::fwrite(data, 1, size, file) == size;
    return std::fclose(file) == 0 && ok;
}

static bool writeText(const std::string& path, const std::string& text) {
    return writeBytes(path, text.data(), text.size());
}

static bool writeJpegs(const std::string& dir) {
    struct Kind {
        int width, height, subsampling, flags;
        TJPF format;
    };
    const Kind kinds[] = {
        {17, 9, TJSAMP_444, 0, TJPF_RGB},           {33, 21, TJSAMP_420, 0, TJPF_RGB},
        {24, 16, TJSAMP_422, TJFLAG_PROGRESSIVE, TJPF_RGB}, {13, 31, TJSAMP_GRAY, 0, TJPF_GRAY},
        {40, 8, TJSAMP_440, 0, TJPF_RGB},           {9, 9, TJSAMP_411, TJFLAG_PROGRESSIVE, TJPF_RGB},
        {1, 1, TJSAMP_444, 0, TJPF_RGB},            {16, 16, TJSAMP_420, 0, TJPF_CMYK},
    };
    tjhandle encoder = tjInitCompress();
    if (!encoder) return false;
    bool ok = true;
    int index = 0;
    for (const Kind& k : kinds) {
        const int channels = tjPixelSize[k.format];
        std::vector<unsigned char> pixels(static_cast<size_t>(k.width) * k.height * channels);
        for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<unsigned char>(i * 37 + (i / 7) * 11);
        unsigned char* jpeg = nullptr;
        unsigned long size = 0;
        if (tjCompress2(encoder, pixels.data(), k.width, 0, k.height, k.format, &jpeg, &size, k.subsampling, 75,
                        k.flags) != 0) {
            ok = false;
        } else {
            ok = writeBytes(dir + "/seed" + std::to_string(index++) + ".jpg", jpeg, size) && ok;
        }
        tjFree(jpeg);
    }
    tjDestroy(encoder);
    return ok;
}

static bool writeObjs(const std::string& dir) {
    const std::string cube =
        "# cube\nv -1 -1 -1\nv 1 -1 -1\nv 1 1 -1\nv -1 1 -1\nv -1 -1 1\nv 1 -1 1\nv 1 1 1\nv -1 1 1\n"
        "vt 0 0\nvt 1 0\nvt 1 1 0\nvt 0 1\nvn 0 0 1\ng cube\nusemtl stone\ns off\n"
        "f 1/1/1 2/2/1 3/3/1\nf 1/1/1 3/3/1 4/4/1\nf 5/1/1 6/2/1 7/3/1 8/4/1\n";
    std::string crlf;
    for (char c : cube) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
    const std::string odd =
        "v 1e3 -2.5E-2 .5\nv\t1 2 3\nV 1 2 3\n  v 4 5 6\nvt 0.5\n"
        "f 010/0x10/1 0X2/02/1 -1/+3/1\nf 1/1 2/2 3/3\nf 1//1 2//2 3//3\n# list of faces\n" +
        std::string(85, '#') + " f 1/1/1 2/2/2 3/3/3\nf 0/0/0 2147483647/1/1 -2147483648/1/1";
    return writeText(dir + "/cube.obj", cube) && writeText(dir + "/cube-crlf.obj", crlf) &&
           writeText(dir + "/odd.obj", odd) && writeText(dir + "/empty.obj", "");
}

static bool writeDictionary(const std::string& path) {
    return writeText(path,
                     "\"v \"\n\"vt \"\n\"f \"\n\"vn \"\n\"/\"\n\"//\"\n\"\\x0d\\x0a\"\n\"0x\"\n\"-\"\n\"e-\"\n\"# \"\n");
}

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DIR (writes DIR/jpeg, DIR/obj and DIR/obj.dict)\n", argv[0]);
        return 2;
    }
    const std::string dir = argv[1];
    mkdir(dir.c_str(), 0777);
    mkdir((dir + "/jpeg").c_str(), 0777);
    mkdir((dir + "/obj").c_str(), 0777);
    if (!writeJpegs(dir + "/jpeg") || !writeObjs(dir + "/obj") || !writeDictionary(dir + "/obj.dict")) {
        std::fprintf(stderr, "fuzz_seeds: could not write the corpus under %s\n", dir.c_str());
        return 1;
    }
    return 0;
}
