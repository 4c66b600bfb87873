// The whole-factor scaler of the SDL backend's presentation, apart so that
// a benchmark can measure it without a window.
#pragma once

#include <cstdint>

namespace backend {

enum class PixelLayout { Rgb565, Xrgb8888 };

// Writes `cols` x `rows` RGB565 source pixels, each as a k x k block, to the
// destination (its first pixel at `dst`, rows `dstPitch` bytes apart). Each
// block row is written once and copied down.
void ScaleWhole(const uint16_t* src, int srcPitchPixels, int cols, int rows, int k, uint8_t* dst, int dstPitch,
                PixelLayout layout);

}  // namespace backend
