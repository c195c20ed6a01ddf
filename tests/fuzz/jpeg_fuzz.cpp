// jpeg_fuzz.cpp -- libFuzzer target: any bytes as a JPEG file, through the header checks to the decoded rows
#include <cstdint>
#include <cstring>

#include "assets/texture.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    JpegDecoder decoder;
    if (!decoder.begin()) return 0;
    if (decoder.readSize(data, static_cast<unsigned long>(size)) && decoder.decode()) {
        // The rows GL would be handed: every byte of them must be inside the buffer.
        const size_t bytes = static_cast<size_t>(decoder.width) * decoder.height * 3;
        volatile unsigned char sink = decoder.rgb[0] ^ decoder.rgb[bytes - 1];
        (void)sink;
    }
    decoder.end();
    return 0;
}
