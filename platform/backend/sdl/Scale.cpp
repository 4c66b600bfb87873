#include "Scale.h"

#include <cstring>

namespace backend {

namespace {
// Arithmetic rather than a table: a 256 KiB table misses the cache on every
// new colour, and this vectorises.
inline uint32_t ToXrgb8888(uint32_t v) {
    const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
    return ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
}
}  // namespace

void ScaleWhole(const uint16_t* src, int srcPitchPixels, int cols, int rows, int k, uint8_t* dst, int dstPitch,
                PixelLayout layout) {
    const int bpp = layout == PixelLayout::Rgb565 ? 2 : 4;
    for (int sy = 0; sy < rows; ++sy) {
        const uint16_t* s = src + size_t(sy) * srcPitchPixels;
        uint8_t* firstRow = dst + size_t(sy) * k * dstPitch;
        if (layout == PixelLayout::Rgb565) {
            auto* d = reinterpret_cast<uint16_t*>(firstRow);
            if (k == 1) {
                std::memcpy(d, s, size_t(cols) * 2);
            } else if (k == 4) {
                // A block row of four pixels is one 64-bit store.
                for (int x = 0; x < cols; ++x) {
                    const uint64_t q = uint64_t(s[x]) * 0x0001000100010001ull;
                    std::memcpy(d + size_t(x) * 4, &q, sizeof q);
                }
            } else {
                for (int x = 0; x < cols; ++x)
                    for (int i = 0; i < k; ++i) *d++ = s[x];
            }
        } else {
            auto* d = reinterpret_cast<uint32_t*>(firstRow);
            if (k == 1) {
                // Kept apart so that the compiler vectorises it.
                for (int x = 0; x < cols; ++x) d[x] = ToXrgb8888(s[x]);
                continue;
            }
            for (int x = 0; x < cols; ++x) {
                const uint32_t c = ToXrgb8888(s[x]);
                for (int i = 0; i < k; ++i) *d++ = c;
            }
        }
        // The other rows of the block are copies of the first.
        for (int i = 1; i < k; ++i)
            std::memcpy(firstRow + size_t(i) * dstPitch, firstRow, size_t(cols) * k * bpp);
    }
}

}  // namespace backend
