#include "bmp.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace art {
namespace {

constexpr std::uint32_t kFileHeaderSize = 14;
constexpr std::uint32_t kInfoHeaderSize = 40;

void Put16(std::vector<std::uint8_t>& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(std::vector<std::uint8_t>& out, std::uint32_t v) {
    Put16(out, v & 0xffff);
    Put16(out, v >> 16);
}

std::uint32_t Get16(const std::vector<std::uint8_t>& in, std::size_t at) {
    return in.at(at) | (in.at(at + 1) << 8);
}

std::uint32_t Get32(const std::vector<std::uint8_t>& in, std::size_t at) {
    return Get16(in, at) | (Get16(in, at + 2) << 16);
}

void PutHeaders(std::vector<std::uint8_t>& out, int width, int height, int bits,
                std::uint32_t paletteEntries, std::uint32_t imageSize) {
    const std::uint32_t offset = kFileHeaderSize + kInfoHeaderSize + paletteEntries * 4;
    out.push_back('B');
    out.push_back('M');
    Put32(out, offset + imageSize);
    Put32(out, 0);  // reserved
    Put32(out, offset);
    Put32(out, kInfoHeaderSize);
    Put32(out, static_cast<std::uint32_t>(width));
    Put32(out, static_cast<std::uint32_t>(height));  // positive: bottom-up rows
    Put16(out, 1);                                   // planes
    Put16(out, static_cast<std::uint32_t>(bits));
    Put32(out, 0);  // no compression
    Put32(out, imageSize);
    Put32(out, 0);  // horizontal resolution
    Put32(out, 0);  // vertical resolution
    Put32(out, paletteEntries);
    Put32(out, 0);  // colours important: all
}

std::size_t RowStride(int width, int bits) {
    return ((static_cast<std::size_t>(width) * bits + 31) / 32) * 4;
}

}  // namespace

std::vector<std::uint8_t> EncodeBmp24(const Image& image) {
    const std::size_t stride = RowStride(image.width, 24);
    const auto imageSize = static_cast<std::uint32_t>(stride * image.height);
    std::vector<std::uint8_t> out;
    out.reserve(kFileHeaderSize + kInfoHeaderSize + imageSize);
    PutHeaders(out, image.width, image.height, 24, 0, imageSize);
    for (int y = image.height - 1; y >= 0; --y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < image.width; ++x) {
            const Rgb& p = image.at(x, y);
            out.push_back(p.b);
            out.push_back(p.g);
            out.push_back(p.r);
        }
        out.resize(rowStart + stride, 0);
    }
    return out;
}

std::vector<std::uint8_t> EncodeBmp4(const IndexedImage& image) {
    const std::size_t stride = RowStride(image.width, 4);
    const auto imageSize = static_cast<std::uint32_t>(stride * image.height);
    std::vector<std::uint8_t> out;
    PutHeaders(out, image.width, image.height, 4, 16, imageSize);
    for (const Rgb& c : image.palette) {
        out.push_back(c.b);
        out.push_back(c.g);
        out.push_back(c.r);
        out.push_back(0);
    }
    for (int y = image.height - 1; y >= 0; --y) {
        const std::size_t rowStart = out.size();
        for (int x = 0; x < image.width; x += 2) {
            const std::size_t i = static_cast<std::size_t>(y) * image.width + x;
            const std::uint8_t hi = image.indices[i] & 0x0f;
            const std::uint8_t lo = x + 1 < image.width ? (image.indices[i + 1] & 0x0f) : 0;
            out.push_back(static_cast<std::uint8_t>(hi << 4 | lo));
        }
        out.resize(rowStart + stride, 0);
    }
    return out;
}

Image DecodeBmp24(const std::vector<std::uint8_t>& bytes) {
    if (bytes.size() < kFileHeaderSize + kInfoHeaderSize || bytes[0] != 'B' || bytes[1] != 'M') {
        throw std::runtime_error("not a BMP file");
    }
    const std::uint32_t offset = Get32(bytes, 10);
    const auto width = static_cast<std::int32_t>(Get32(bytes, 18));
    const auto height = static_cast<std::int32_t>(Get32(bytes, 22));
    if (Get16(bytes, 28) != 24 || Get32(bytes, 30) != 0 || width <= 0 || height <= 0) {
        throw std::runtime_error("only bottom-up, uncompressed 24-bit BMP files are read");
    }
    const std::size_t stride = RowStride(width, 24);
    if (bytes.size() < offset + stride * height) {
        throw std::runtime_error("BMP file is truncated");
    }
    Image image(width, height);
    for (int y = 0; y < height; ++y) {
        const std::size_t row = offset + stride * (height - 1 - y);
        for (int x = 0; x < width; ++x) {
            const std::size_t p = row + 3 * static_cast<std::size_t>(x);
            image.at(x, y) = Rgb{bytes[p + 2], bytes[p + 1], bytes[p]};
        }
    }
    return image;
}

std::vector<std::uint8_t> ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot open " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) throw std::runtime_error("cannot write " + path);
}

}  // namespace art
