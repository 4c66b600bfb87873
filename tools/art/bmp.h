// A tiny writer and reader for the uncompressed BMP files the intro's artwork is kept in.
// Only what the art tools need: 24-bit and 4-bit palette pictures, BITMAPINFOHEADER,
// bottom-up rows, resolution fields left at 0 so the output is reproducible.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace art {

struct Rgb {
    std::uint8_t r = 0;
    std::uint8_t g = 0;
    std::uint8_t b = 0;
    bool operator==(const Rgb&) const = default;
    bool IsBlack() const { return r == 0 && g == 0 && b == 0; }
};

// A picture in top-down order: pixel (x, y) is at(x, y), y = 0 is the top row.
struct Image {
    int width = 0;
    int height = 0;
    std::vector<Rgb> pixels;

    Image() = default;
    Image(int w, int h) : width(w), height(h), pixels(static_cast<std::size_t>(w) * h) {}
    Rgb& at(int x, int y) { return pixels[static_cast<std::size_t>(y) * width + x]; }
    const Rgb& at(int x, int y) const { return pixels[static_cast<std::size_t>(y) * width + x]; }
};

// A 16-colour picture: each pixel is an index into the palette.
struct IndexedImage {
    int width = 0;
    int height = 0;
    std::array<Rgb, 16> palette{};
    std::vector<std::uint8_t> indices;
};

std::vector<std::uint8_t> EncodeBmp24(const Image& image);
std::vector<std::uint8_t> EncodeBmp4(const IndexedImage& image);

// Reads a 24-bit uncompressed BMP; throws std::runtime_error on anything else.
Image DecodeBmp24(const std::vector<std::uint8_t>& bytes);

std::vector<std::uint8_t> ReadFile(const std::string& path);
// Writes the bytes and throws std::runtime_error if the file cannot be written completely.
void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes);

}  // namespace art
