// Writes the seeds that are made in code: small modules from the player
// tests' module builder, and a tiny picture for the small form definition.
//
// usage: make_seeds <module folder> <picture file>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

#include "mod_builder.h"

namespace {

void Write(const std::string& path, const std::vector<uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out) {
        std::fprintf(stderr, "make_seeds: cannot write %s\n", path.c_str());
        std::exit(1);
    }
}

// An uncompressed 24-bit BMP of 3 x 2 pixels, bottom row first, rows padded
// to four bytes.
std::vector<uint8_t> TinyBmp() {
    const int w = 3, h = 2, stride = 12;
    const uint32_t size = 54 + stride * h;
    std::vector<uint8_t> b(size, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
    };
    b[0] = 'B';
    b[1] = 'M';
    put32(2, size);
    put32(10, 54);
    put32(14, 40);
    put32(18, w);
    put32(22, h);
    b[26] = 1;
    b[28] = 24;
    put32(34, stride * h);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) b[54 + y * stride + x * 3 + c] = static_cast<uint8_t>(40 * (x + y) + c);
    return b;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: make_seeds <module folder> <picture file>\n");
        return 2;
    }
    const std::string dir = argv[1];
    Write(dir + "/test_module.mod", modbuild::test_module().bytes());
    // One pattern, one sample, one note: the smallest module worth playing.
    modbuild::Module one;
    one.name = "one note";
    one.samples = {{"beep", modbuild::square_wave(16, 50), 64, 0, 16}};
    one.patterns.resize(1);
    one.patterns[0][0][0] = {1, modbuild::kPeriods[12], 0, 0};
    one.orders = {0};
    Write(dir + "/one_note.mod", one.bytes());
    Write(argv[2], TinyBmp());
    return 0;
}
