#include "Graphics.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>

TGraphic::TGraphic() : canvas_(*this) {}
TGraphic::TGraphic(const TGraphic& other)
    : width_(other.width_), height_(other.height_), pixels_(other.pixels_), canvas_(*this) {}

void TGraphic::Resize(int width, int height) {
    width = std::max(width, 0);
    height = std::max(height, 0);
    if (width == width_ && height == height_) return;
    std::vector<uint8_t> resized(size_t(width) * height * 3, 0);
    for (int y = 0; y < std::min(height, height_); ++y)
        std::memcpy(&resized[size_t(y) * width * 3], &pixels_[size_t(y) * width_ * 3],
                    size_t(std::min(width, width_)) * 3);
    pixels_ = std::move(resized);
    width_ = width;
    height_ = height;
}

void TCanvas::CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect) {
    TGraphic& to = owner_;
    TGraphic& from = source.owner_;
    const int w = std::min(dest.Width(), sourceRect.Width());
    const int h = std::min(dest.Height(), sourceRect.Height());
    for (int y = 0; y < h; ++y) {
        const int sy = sourceRect.Top + y, dy = dest.Top + y;
        if (sy < 0 || sy >= from.Height() || dy < 0 || dy >= to.Height()) continue;
        for (int x = 0; x < w; ++x) {
            const int sx = sourceRect.Left + x, dx = dest.Left + x;
            if (sx < 0 || sx >= from.Width() || dx < 0 || dx >= to.Width()) continue;
            std::memcpy(to.Pixel(dx, dy), from.Pixel(sx, sy), 3);
        }
    }
}

namespace {
std::map<std::string, TGraphicReader, std::less<>>& GraphicClasses() {
    static std::map<std::string, TGraphicReader, std::less<>> table;
    return table;
}
}  // namespace

void RegisterGraphicClass(const char* className, TGraphicReader reader) {
    GraphicClasses()[className] = reader;
}

void TPicture::LoadData(std::span<const uint8_t> data) {
    if (data.empty() || data.size() < 1u + data[0])
        throw EReadError("Invalid picture data");
    const std::string className(reinterpret_cast<const char*>(data.data() + 1), data[0]);
    auto& table = GraphicClasses();
    auto it = table.find(className);
    if (it == table.end()) throw EReadError("Unknown picture format " + className);
    graphic_ = it->second(data.subspan(1 + data[0]));
}

namespace {
uint32_t Le32(std::span<const uint8_t> d, size_t at) {
    return d[at] | (d[at + 1] << 8) | (d[at + 2] << 16) | (uint32_t(d[at + 3]) << 24);
}
uint16_t Le16(std::span<const uint8_t> d, size_t at) { return uint16_t(d[at] | (d[at + 1] << 8)); }
}  // namespace

TDecodedDIB DecodeDIB(std::span<const uint8_t> data) {
    if (data.size() < 40) throw EReadError("Invalid bitmap: header too short");
    const uint32_t headerSize = Le32(data, 0);
    const int32_t width = static_cast<int32_t>(Le32(data, 4));
    const int32_t rawHeight = static_cast<int32_t>(Le32(data, 8));
    const uint16_t bits = Le16(data, 14);
    const uint32_t compression = Le32(data, 16);
    uint32_t colorsUsed = Le32(data, 32);
    if (headerSize < 40 || headerSize > data.size()) throw EReadError("Invalid bitmap: bad header size");
    if (compression != 0) throw EReadError("Invalid bitmap: compressed bitmaps are not supported");
    if (bits != 1 && bits != 4 && bits != 8 && bits != 24)
        throw EReadError(Format("Invalid bitmap: %u bits per pixel is not supported", bits));
    if (width <= 0 || rawHeight == 0 || rawHeight == INT32_MIN || width > 16384 ||
        std::abs(rawHeight) > 16384)
        throw EReadError("Invalid bitmap: bad size");
    const int height = std::abs(rawHeight);
    TDecodedDIB dib;
    dib.width = width;
    dib.height = height;
    dib.bitCount = bits;
    size_t at = headerSize;
    if (bits <= 8) {
        const uint32_t maxColors = 1u << bits;
        if (colorsUsed == 0 || colorsUsed > maxColors) colorsUsed = maxColors;
        if (data.size() - at < size_t(colorsUsed) * 4) throw EReadError("Invalid bitmap: palette cut short");
        for (uint32_t i = 0; i < colorsUsed; ++i, at += 4)
            dib.palette.push_back(data[at] | (data[at + 1] << 8) | (data[at + 2] << 16));
    }
    const size_t stride = ((size_t(width) * bits + 31) / 32) * 4;
    if ((data.size() - at) / stride < size_t(height)) throw EReadError("Invalid bitmap: pixel data cut short");
    dib.bgr.resize(size_t(width) * height * 3);
    for (int row = 0; row < height; ++row) {
        const int y = rawHeight > 0 ? height - 1 - row : row;
        const uint8_t* src = data.data() + at + size_t(row) * stride;
        uint8_t* dst = &dib.bgr[size_t(y) * width * 3];
        for (int x = 0; x < width; ++x, dst += 3) {
            if (bits == 24) {
                std::memcpy(dst, src + size_t(x) * 3, 3);
                continue;
            }
            const int perByte = 8 / bits;
            const int shift = (perByte - 1 - x % perByte) * bits;
            const uint32_t index = (src[x / perByte] >> shift) & ((1u << bits) - 1);
            const uint32_t c = index < dib.palette.size() ? dib.palette[index] : 0;
            dst[0] = c & 0xFF;
            dst[1] = (c >> 8) & 0xFF;
            dst[2] = (c >> 16) & 0xFF;
        }
    }
    return dib;
}

TDecodedDIB DecodeBMPFile(std::span<const uint8_t> data) {
    if (data.size() < 14 || data[0] != 'B' || data[1] != 'M') throw EReadError("Invalid bitmap file");
    return DecodeDIB(data.subspan(14));
}
