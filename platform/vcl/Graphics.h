// Colours, pictures and canvases. Every picture is kept as 24-bit pixels,
// top row first, blue-green-red; that is all the intro's pictures need.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <vector>

#include "Classes.h"

using TColor = int32_t;  // 0x00BBGGRR
constexpr TColor clBlack = 0x000000;
constexpr TColor clWhite = 0xFFFFFF;

enum TPixelFormat { pfDevice, pf1bit, pf4bit, pf8bit, pf15bit, pf16bit, pf24bit, pf32bit };

class TGraphic;

class TCanvas {
public:
    explicit TCanvas(TGraphic& owner) : owner_(owner) {}
    // Copies `source`'s rectangle onto this canvas's rectangle. Both have the
    // same size in every use here; pixels outside either picture are skipped.
    void CopyRect(const TRect& dest, TCanvas& source, const TRect& sourceRect);

private:
    TGraphic& owner_;
};

class TGraphic : public TObject {
public:
    TGraphic();
    TGraphic(const TGraphic& other);
    int Width() const { return width_; }
    int Height() const { return height_; }
    bool Empty() const { return width_ == 0 || height_ == 0; }
    // Blue, green, red of the pixel at (x, y); (x, y) must lie inside.
    const uint8_t* Pixel(int x, int y) const { return &pixels_[(size_t(y) * width_ + x) * 3]; }
    uint8_t* Pixel(int x, int y) { return &pixels_[(size_t(y) * width_ + x) * 3]; }
    TCanvas& Canvas() { return canvas_; }
    virtual std::unique_ptr<TGraphic> Clone() const = 0;
    virtual const char* ClassName() const = 0;

protected:
    void Resize(int width, int height);
    int width_ = 0, height_ = 0;
    std::vector<uint8_t> pixels_;

private:
    TCanvas canvas_;
};

class TBitmap : public TGraphic {
public:
    TBitmap() = default;
    TBitmap(const TBitmap&) = default;
    void SetWidth(int width) { Resize(width, height_); }
    void SetHeight(int height) { Resize(width_, height); }
    void SetPixelFormat(TPixelFormat format) { pixelFormat_ = format; }
    TPixelFormat PixelFormat() const { return pixelFormat_; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TBitmap>(*this); }
    const char* ClassName() const override { return "TBitmap"; }

private:
    TPixelFormat pixelFormat_ = pfDevice;
};

// A picture holder: owns its graphic, and keeps a copy of what it is given.
class TPicture : public TObject {
public:
    TGraphic* Graphic() const { return graphic_.get(); }
    void Assign(const TGraphic* graphic) { graphic_ = graphic ? graphic->Clone() : nullptr; }
    void Assign(const TPicture& other) { Assign(other.Graphic()); }
    // The stored form: the graphic's class name as a short string, then the
    // graphic's own data.
    void LoadData(std::span<const uint8_t> data);
    int Width() const { return graphic_ ? graphic_->Width() : 0; }
    int Height() const { return graphic_ ? graphic_->Height() : 0; }

private:
    std::unique_ptr<TGraphic> graphic_;
};

// Graphic classes that stored pictures may name.
using TGraphicReader = std::unique_ptr<TGraphic> (*)(std::span<const uint8_t> data);
void RegisterGraphicClass(const char* className, TGraphicReader reader);

// Device-independent bitmap data (a BITMAPINFOHEADER, a palette where the
// depth needs one, then the rows). Decodes 1, 4, 8 and 24 bits per pixel,
// uncompressed, either row order. Throws EReadError for anything else.
struct TDecodedDIB {
    int width = 0, height = 0, bitCount = 0;
    std::vector<uint8_t> bgr;         // top row first
    std::vector<uint32_t> palette;    // 0x00RRGGBB, depths of 8 bits or less
};
TDecodedDIB DecodeDIB(std::span<const uint8_t> data);
// The same after a 14-byte BMP file header.
TDecodedDIB DecodeBMPFile(std::span<const uint8_t> data);
