// The display component, its surfaces, the image list and the stored
// pictures. Surfaces are RGB565; drawing is clipped and colour-keyed on
// 16-bit values; nothing is allocated per frame.
#pragma once

#include <array>
#include <cassert>
#include <cstdint>
#include <memory>
#include <span>
#include <vector>

#include "../backend/Backend.h"
#include "../vcl/Forms.h"

// ---------------------------------------------------------------- pictures

class TDIB : public TGraphic {
public:
    TDIB() = default;
    TDIB(const TDIB&) = default;
    // Device-independent bitmap data without a file header.
    void LoadFromDIBData(std::span<const uint8_t> data);
    int BitCount() const { return bitCount_; }
    const std::vector<uint32_t>& Palette() const { return palette_; }
    std::unique_ptr<TGraphic> Clone() const override { return std::make_unique<TDIB>(*this); }
    const char* ClassName() const override { return "TDIB"; }

private:
    int bitCount_ = 24;
    std::vector<uint32_t> palette_;
};

// A component that only holds a picture.
class TDXDIB : public TComponent {
public:
    using TComponent::TComponent;
    TDIB DIB;
    bool ReadProperty(std::string_view name, const TValue& value, TReader& reader) override;
};

// ---------------------------------------------------------------- surfaces

struct TRGBQuad {
    uint8_t rgbBlue = 0, rgbGreen = 0, rgbRed = 0, rgbReserved = 0;
};
using TRGBQuads = std::array<TRGBQuad, 256>;

// The colour of a TColor in the 16-bit format.
constexpr uint16_t ColorToRGB565(TColor color) {
    const unsigned r = color & 0xFF, g = (color >> 8) & 0xFF, b = (color >> 16) & 0xFF;
    return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}
constexpr uint16_t BGRToRGB565(const uint8_t* bgr) {
    return static_cast<uint16_t>(((bgr[2] >> 3) << 11) | ((bgr[1] >> 2) << 5) | (bgr[0] >> 3));
}

class TDirectDrawSurface {
public:
    TDirectDrawSurface(int width, int height);
    int Width() const { return width_; }
    int Height() const { return height_; }
    int Pitch() const { return width_; }  // in pixels
    // Writable access may change any pixel, so it forgets what was learnt
    // about the rows for keyed drawing. A pointer from it stays good for
    // writing until this surface is next drawn from.
    uint16_t* Row(int y) {
        assert(y >= 0 && y < height_);
        extentsKey_ = kNoKey;
        return pixels_.data() + size_t(y) * width_;
    }
    const uint16_t* Row(int y) const {
        assert(y >= 0 && y < height_);
        return pixels_.data() + size_t(y) * width_;
    }
    std::span<const uint16_t> Pixels() const { return pixels_; }
    void Fill(uint16_t color);
    // Copies `source`'s rectangle with its top left corner at (x, y), clipped
    // to this surface; with a key, source pixels of that value are skipped.
    void Draw(int x, int y, const TRect& sourceRect, const TDirectDrawSurface& source,
              bool transparent, uint16_t key);
    // Fills the surface from a 24-bit picture's rectangle.
    void LoadFrom(const TGraphic& picture);
    // Learns, for each row, where the pixels other than `key` lie, so that
    // keyed draws from this surface skip what they would not write. Done on
    // the first keyed draw anyway; calling it when the pictures are made
    // keeps that allocation out of the frames.
    void PrepareKey(uint16_t key) const;

private:
    // The columns [first, last) of a row that hold pixels other than the
    // key; `solid` when none of them is the key.
    struct RowExtent {
        int first = 0, last = 0;
        bool solid = false;
    };
    static constexpr uint32_t kNoKey = 0x10000;
    int width_, height_;
    std::vector<uint16_t> pixels_;
    mutable std::vector<RowExtent> extents_;
    // The rows [firstRow_, lastRow_) hold all pixels other than the key.
    mutable int firstRow_ = 0, lastRow_ = 0;
    mutable uint32_t extentsKey_ = kNoKey;
};

// ---------------------------------------------------------------- display

enum TDXDrawOption : uint32_t {
    doFullScreen = 1u << 0,
    doNoWindowChange = 1u << 1,
    doAllowReboot = 1u << 2,
    doWaitVBlank = 1u << 3,
    doAllowPalette256 = 1u << 4,
    doSystemMemory = 1u << 5,
    doStretch = 1u << 6,
    doCenter = 1u << 7,
    doFlip = 1u << 8,
    do3D = 1u << 9,
    doDirectX7Mode = 1u << 10,
    doRetainedMode = 1u << 11,
    doHardware = 1u << 12,
    doSelectDriver = 1u << 13,
    doZBuffer = 1u << 14,
};
using TDXDrawOptions = uint32_t;

struct TDXDrawDisplay {
    int Width = 640, Height = 480, BitCount = 16;
    bool FixedBitCount = true, FixedRatio = true, FixedSize = false;
};

// Picks the full-screen mode for the wanted one among the offered modes:
// the exact mode, else a substitute the Fixed* settings allow. Returns
// false when none is allowed.
bool ChooseDisplayMode(const TDXDrawDisplay& wanted, std::span<const backend::DisplayMode> offered,
                       backend::DisplayMode& chosen);

class TDXImageList;

class TDXDraw : public TControl {
public:
    explicit TDXDraw(TComponent* AOwner);
    ~TDXDraw() override;

    TDXDrawDisplay Display;
    bool AutoInitialize = true;
    bool AutoSize = true;
    int SurfaceWidth = 640, SurfaceHeight = 480;
    TRGBQuads ColorTable{};
    TRGBQuads DefColorTable{};

    TDXDrawOptions Options() const { return options_; }
    // Writing the options of a display that is not initialised recomputes
    // the options in effect for its next initialisation.
    void SetOptions(TDXDrawOptions options);
    TDXDrawOptions NowOptions() const { return nowOptions_; }

    void Initialize();
    void Finalize();
    bool Initialized() const { return initialized_; }
    bool InitializeAttempted() const { return attempted_; }
    // The back surface; null while the display is not initialised.
    TDirectDrawSurface* Surface() const { return surface_.get(); }
    // The mode the display runs in while initialised full-screen.
    backend::DisplayMode Mode() const { return mode_; }
    void Flip();
    void UpdatePalette();

    void AddImageList(TDXImageList* list);
    void RemoveImageList(TDXImageList* list);

    bool ReadProperty(std::string_view name, const TValue& value, TReader& reader) override;
    void WindowShown() override;
    void WindowDestroying() override;

private:
    static TDXDrawOptions OptionsInEffect(TDXDrawOptions declared);
    void Restore();
    TDXDrawOptions options_ = doAllowReboot | doWaitVBlank;
    TDXDrawOptions nowOptions_ = doWaitVBlank;
    bool initialized_ = false;
    bool begun_ = false;
    bool attempted_ = false;
    bool displayOpen_ = false;
    bool hasPalette_ = false;
    backend::DisplayMode mode_;
    std::unique_ptr<TDirectDrawSurface> surface_;
    std::vector<TDXImageList*> lists_;
};

// ------------------------------------------------------------ image list

class TPictureCollection;

class TPictureCollectionItem {
public:
    explicit TPictureCollectionItem(TPictureCollection& collection) : collection_(collection) {}
    std::string Name;
    int PatternWidth = 0;
    int PatternHeight = 0;
    bool SystemMemory = false;
    bool Transparent = true;
    TColor TransparentColor = clBlack;
    TPicture Picture;

    int Index() const;
    void SetIndex(int index);
    int PatternCount() const;
    TRect PatternRect(int index) const;
    // Draws nothing until the item has a surface (its display is
    // initialised), for a pattern outside the item, or when clipping leaves
    // nothing.
    void Draw(TDirectDrawSurface* dest, int x, int y, int patternIndex) const;
    bool HasSurface() const { return surface_ != nullptr; }
    const TDirectDrawSurface* ItemSurface() const { return surface_.get(); }
    void Restore();
    void Finalize() { surface_.reset(); }

private:
    TPictureCollection& collection_;
    std::unique_ptr<TDirectDrawSurface> surface_;
};

class TPictureCollection {
public:
    int Count() const { return static_cast<int>(items_.size()); }
    // Raises the list-index error for an index outside the list.
    TPictureCollectionItem& Items(int index) const;
    TPictureCollectionItem& operator[](int index) const { return Items(index); }
    TPictureCollectionItem& Add();
    int IndexOf(const TPictureCollectionItem& item) const;
    void Move(int from, int to);
    // Builds ColorTable from the palettes of the pictures in the list.
    void MakeColorTable();
    TRGBQuads ColorTable{};
    void Restore();
    void Finalize();

private:
    std::vector<std::unique_ptr<TPictureCollectionItem>> items_;
};

class TDXImageList : public TComponent {
public:
    explicit TDXImageList(TComponent* AOwner) : TComponent(AOwner) {}
    ~TDXImageList() override;
    TPictureCollection Items;
    TDXDraw* DXDraw() const { return dxDraw_; }
    void SetDXDraw(TDXDraw* dxDraw);
    // Called by the display when it is initialised or restores its
    // surfaces, and when it is finalised.
    void DXDrawInitialized() { Items.Restore(); }
    void DXDrawFinalized() { Items.Finalize(); }
    void DXDrawGone() { dxDraw_ = nullptr; }
    bool ReadProperty(std::string_view name, const TValue& value, TReader& reader) override;

private:
    TDXDraw* dxDraw_ = nullptr;
};
