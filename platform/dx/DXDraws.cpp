#include "DXDraws.h"

#include <algorithm>
#include <cstring>

#include "DXClass.h"

namespace {

// The classes a stored definition may name. The platform is linked as
// object files, so these registrations always run.
const bool kRegistered = [] {
    RegisterClass<TDXDraw>("TDXDraw");
    RegisterClass<TDXImageList>("TDXImageList");
    RegisterClass<TDXDIB>("TDXDIB");
    RegisterClass<TDXTimer>("TDXTimer");
    RegisterGraphicClass("TDIB", [](std::span<const uint8_t> data) -> std::unique_ptr<TGraphic> {
        auto dib = std::make_unique<TDIB>();
        dib->LoadFromDIBData(data);
        return dib;
    });
    return true;
}();

struct OptionName {
    const char* name;
    TDXDrawOption option;
};
constexpr OptionName kOptionNames[] = {
    {"doFullScreen", doFullScreen},   {"doNoWindowChange", doNoWindowChange},
    {"doAllowReboot", doAllowReboot}, {"doWaitVBlank", doWaitVBlank},
    {"doAllowPalette256", doAllowPalette256}, {"doSystemMemory", doSystemMemory},
    {"doStretch", doStretch},         {"doCenter", doCenter},
    {"doFlip", doFlip},               {"do3D", do3D},
    {"doDirectX7Mode", doDirectX7Mode}, {"doRetainedMode", doRetainedMode},
    {"doHardware", doHardware},       {"doSelectDriver", doSelectDriver},
    {"doZBuffer", doZBuffer},
};

}  // namespace

// ------------------------------------------------------------------- DIB

void TDIB::LoadFromDIBData(std::span<const uint8_t> data) {
    TDecodedDIB decoded = DecodeDIB(data);
    Resize(decoded.width, decoded.height);
    pixels_ = std::move(decoded.bgr);
    bitCount_ = decoded.bitCount;
    palette_ = std::move(decoded.palette);
}

bool TDXDIB::ReadProperty(std::string_view name, const TValue& value, TReader& reader) {
    if (name == "DIB.Data") {
        if (value.kind != TValue::Kind::Binary) throw EReadError("Invalid property value: binary data expected");
        DIB.LoadFromDIBData(value.bytes);
        return true;
    }
    return TComponent::ReadProperty(name, value, reader);
}

// --------------------------------------------------------------- surfaces

TDirectDrawSurface::TDirectDrawSurface(int width, int height)
    : width_(std::max(width, 0)), height_(std::max(height, 0)),
      pixels_(size_t(width_) * height_, 0) {}

void TDirectDrawSurface::Fill(uint16_t color) {
    extentsKey_ = kNoKey;
    // A colour of two equal bytes (black above all) is the C library's
    // fastest store.
    if ((color & 0xFF) == (color >> 8)) std::memset(pixels_.data(), color & 0xFF, pixels_.size() * sizeof(uint16_t));
    else std::fill(pixels_.begin(), pixels_.end(), color);
}

void TDirectDrawSurface::PrepareKey(uint16_t key) const {
    if (extentsKey_ == key) return;
    extents_.resize(size_t(height_));
    for (int y = 0; y < height_; ++y) {
        const uint16_t* row = pixels_.data() + size_t(y) * width_;
        RowExtent e;
        int first = 0, last = width_;
        while (first < last && row[first] == key) ++first;
        while (last > first && row[last - 1] == key) --last;
        e.first = first;
        e.last = last;
        e.solid = std::find(row + first, row + last, key) == row + last;
        extents_[size_t(y)] = e;
    }
    firstRow_ = 0;
    lastRow_ = height_;
    while (firstRow_ < lastRow_ && extents_[size_t(firstRow_)].first == extents_[size_t(firstRow_)].last) ++firstRow_;
    while (lastRow_ > firstRow_ && extents_[size_t(lastRow_ - 1)].first == extents_[size_t(lastRow_ - 1)].last) --lastRow_;
    extentsKey_ = key;
}

namespace {

// Copies the pixels of `src` that are not `key` over `dst`, n of them; with
// `Keyed` false, copies them all.
template <bool Keyed>
void CopyRow(uint16_t* __restrict dst, const uint16_t* __restrict src, int n, uint16_t key) {
    if (!Keyed && n >= 32) {
        std::memcpy(dst, src, size_t(n) * sizeof(uint16_t));
        return;
    }
#if defined(__GNUC__)
    // Whole vectors, and one more ending at the last pixel that may overlap
    // the one before it: copying or selecting twice gives what doing it once
    // does, so a short row needs no pixel-by-pixel tail.
    using V8 = uint16_t __attribute__((vector_size(16)));
    using V4 = uint16_t __attribute__((vector_size(8)));
    auto select = [key]<class V>(uint16_t* d, const uint16_t* s, V) {
        V a, b;
        std::memcpy(&a, s, sizeof a);
        if constexpr (Keyed) {
            std::memcpy(&b, d, sizeof b);
            a = a == key ? b : a;
        }
        std::memcpy(d, &a, sizeof a);
    };
    if (n >= 8) {
        int i = 0;
        for (; i + 8 <= n; i += 8) select(dst + i, src + i, V8{});
        if (i < n) select(dst + n - 8, src + n - 8, V8{});
        return;
    }
    if (n >= 4) {
        select(dst, src, V4{});
        select(dst + n - 4, src + n - 4, V4{});
        return;
    }
#endif
    for (int i = 0; i < n; ++i) dst[i] = Keyed && src[i] == key ? dst[i] : src[i];
}

}  // namespace

void TDirectDrawSurface::Draw(int x, int y, const TRect& sourceRect, const TDirectDrawSurface& source,
                              bool transparent, uint16_t key) {
    // Clip the source rectangle to the source, then the destination.
    int sx = std::max(sourceRect.Left, 0), sy = std::max(sourceRect.Top, 0);
    x += sx - sourceRect.Left;
    y += sy - sourceRect.Top;
    int w = std::min(sourceRect.Right, source.width_) - sx;
    int h = std::min(sourceRect.Bottom, source.height_) - sy;
    if (x < 0) { sx -= x; w += x; x = 0; }
    if (y < 0) { sy -= y; h += y; y = 0; }
    w = std::min(w, width_ - x);
    h = std::min(h, height_ - y);
    if (w <= 0 || h <= 0) return;
    extentsKey_ = kNoKey;
    if (!transparent) {
        for (int row = 0; row < h; ++row)
            std::memcpy(Row(y + row) + x, source.Row(sy + row) + sx, size_t(w) * sizeof(uint16_t));
        return;
    }
    source.PrepareKey(key);
    // Only the rows, and the part of each row, that hold pixels other than
    // the key.
    const int firstRow = std::max(source.firstRow_, sy), lastRow = std::min(source.lastRow_, sy + h);
    for (int row = firstRow; row < lastRow; ++row) {
        const RowExtent& e = source.extents_[size_t(row)];
        const int from = std::max(e.first, sx), to = std::min(e.last, sx + w);
        if (from >= to) continue;
        const uint16_t* src = source.Row(row) + from;
        uint16_t* dst = pixels_.data() + size_t(y + row - sy) * width_ + (x + from - sx);
        if (e.solid) CopyRow<false>(dst, src, to - from, key);
        else CopyRow<true>(dst, src, to - from, key);
    }
}

void TDirectDrawSurface::LoadFrom(const TGraphic& picture) {
    extentsKey_ = kNoKey;
    for (int y = 0; y < std::min(height_, picture.Height()); ++y) {
        uint16_t* dst = Row(y);
        for (int x = 0; x < std::min(width_, picture.Width()); ++x) dst[x] = BGRToRGB565(picture.Pixel(x, y));
    }
}

// ---------------------------------------------------------------- display

bool ChooseDisplayMode(const TDXDrawDisplay& wanted, std::span<const backend::DisplayMode> offered,
                       backend::DisplayMode& chosen) {
    for (const auto& m : offered) {
        if (m.width == wanted.Width && m.height == wanted.Height && m.bitsPerPixel == wanted.BitCount) {
            chosen = m;
            return true;
        }
    }
    std::vector<backend::DisplayMode> allowed;
    for (const auto& m : offered) {
        if (wanted.FixedBitCount && m.bitsPerPixel != wanted.BitCount) continue;
        if (m.width < wanted.Width || m.height < wanted.Height) continue;
        if (wanted.FixedSize && (m.width != wanted.Width || m.height != wanted.Height)) continue;
        allowed.push_back(m);
    }
    if (allowed.empty()) return false;
    auto sameShape = [&](const backend::DisplayMode& m) {
        return int64_t(m.width) * wanted.Height == int64_t(m.height) * wanted.Width;
    };
    // Same shape first when the ratio is fixed, then the smallest mode.
    std::stable_sort(allowed.begin(), allowed.end(), [&](const auto& a, const auto& b) {
        if (wanted.FixedRatio && sameShape(a) != sameShape(b)) return sameShape(a);
        return int64_t(a.width) * a.height < int64_t(b.width) * b.height;
    });
    chosen = allowed.front();
    return true;
}

TDXDraw::TDXDraw(TComponent* AOwner) : TControl(AOwner) {}

TDXDraw::~TDXDraw() {
    Finalize();
    for (TDXImageList* list : lists_) list->DXDrawGone();
}

TDXDrawOptions TDXDraw::OptionsInEffect(TDXDrawOptions declared) {
    TDXDrawOptions now = declared;
    // Hardware 3D options mean nothing without 3D.
    if (!(now & do3D)) now &= ~(doHardware | doSelectDriver | doZBuffer | doRetainedMode | doDirectX7Mode);
    // Options of exclusive use mean nothing in a window.
    if (!(now & doFullScreen)) now &= ~(doAllowReboot | doFlip | doNoWindowChange);
    return now;
}

void TDXDraw::SetOptions(TDXDrawOptions options) {
    options_ = options;
    if (!initialized_) nowOptions_ = OptionsInEffect(options_);
}

void TDXDraw::AddImageList(TDXImageList* list) {
    if (std::find(lists_.begin(), lists_.end(), list) == lists_.end()) lists_.push_back(list);
}
void TDXDraw::RemoveImageList(TDXImageList* list) { std::erase(lists_, list); }

void TDXDraw::Initialize() {
    attempted_ = true;
    Finalize();
    nowOptions_ = OptionsInEffect(options_);
    begun_ = true;
    auto& b = backend::Current();
    const bool fullScreen = (nowOptions_ & doFullScreen) != 0;
    try {
        if (Parent()) Parent()->HandleNeeded();
        backend::DisplayRequest request;
        request.fullScreen = fullScreen;
        request.surfaceWidth = SurfaceWidth;
        request.surfaceHeight = SurfaceHeight;
        if (fullScreen) {
            const auto offered = b.DisplayModes();
            if (!ChooseDisplayMode(Display, offered, request.mode))
                throw EDirectDrawError(Format("Display mode cannot be changed (%dx%d %dbit)",
                                              Display.Width, Display.Height, Display.BitCount));
        }
        std::string error;
        if (!b.OpenDisplay(request, error)) {
            if (fullScreen && error.empty())
                throw EDirectDrawError(Format("Display mode cannot be changed (%dx%d %dbit)",
                                              Display.Width, Display.Height, Display.BitCount));
            throw EDirectDrawError(error.empty() ? Format("%s cannot be initialized", "DirectDraw") : error);
        }
        displayOpen_ = true;
        mode_ = request.mode;
        surface_ = std::make_unique<TDirectDrawSurface>(SurfaceWidth, SurfaceHeight);
        if (surface_->Width() != SurfaceWidth || surface_->Height() != SurfaceHeight || SurfaceWidth <= 0 ||
            SurfaceHeight <= 0)
            throw EDirectDrawError(Format("%s cannot be made", "Surface"));
        // A palette exists only at 8 bits per pixel or less.
        hasPalette_ = fullScreen && request.mode.bitsPerPixel <= 8;
    } catch (...) {
        // Undo what was set up: the display is released and the desktop's
        // mode comes back.
        surface_.reset();
        if (displayOpen_) b.CloseDisplay();
        displayOpen_ = false;
        begun_ = false;
        nowOptions_ = OptionsInEffect(options_);
        throw;
    }
    initialized_ = true;
    surface_->Fill(0);
    // An error while the lists make their surfaces leaves the display up.
    for (TDXImageList* list : std::vector<TDXImageList*>(lists_)) list->DXDrawInitialized();
}

void TDXDraw::Finalize() {
    if (!begun_) return;
    begun_ = false;
    for (TDXImageList* list : lists_) list->DXDrawFinalized();
    initialized_ = false;
    nowOptions_ = OptionsInEffect(options_);
    surface_.reset();
    hasPalette_ = false;
    if (displayOpen_) backend::Current().CloseDisplay();
    displayOpen_ = false;
}

void TDXDraw::Restore() {
    auto& b = backend::Current();
    if (!b.RestoreDisplay()) return;
    surface_->Fill(0);
    for (TDXImageList* list : std::vector<TDXImageList*>(lists_)) list->DXDrawInitialized();
}

void TDXDraw::Flip() {
    if (!initialized_) return;
    auto& b = backend::Current();
    if (b.DisplayLost()) {
        Restore();
        if (b.DisplayLost()) return;
    }
    b.Present(surface_->Row(0), surface_->Width(), surface_->Height(), surface_->Pitch(),
              (nowOptions_ & doWaitVBlank) != 0);
}

void TDXDraw::UpdatePalette() {
    if (!initialized_ || !hasPalette_) return;
    if (nowOptions_ & doWaitVBlank) backend::Current().WaitVerticalBlank();
}

void TDXDraw::WindowShown() {
    if (AutoInitialize && !attempted_) Initialize();
}

void TDXDraw::WindowDestroying() { Finalize(); }

bool TDXDraw::ReadProperty(std::string_view name, const TValue& value, TReader& reader) {
    auto integer = [&] { return static_cast<int>(TReader::IntValue(value)); };
    if (name == "AutoInitialize") AutoInitialize = TReader::BoolValue(value);
    else if (name == "AutoSize") AutoSize = TReader::BoolValue(value);
    else if (name == "SurfaceWidth") SurfaceWidth = integer();
    else if (name == "SurfaceHeight") SurfaceHeight = integer();
    else if (name == "Display.Width") Display.Width = integer();
    else if (name == "Display.Height") Display.Height = integer();
    else if (name == "Display.BitCount") Display.BitCount = integer();
    else if (name == "Display.FixedBitCount") Display.FixedBitCount = TReader::BoolValue(value);
    else if (name == "Display.FixedRatio") Display.FixedRatio = TReader::BoolValue(value);
    else if (name == "Display.FixedSize") Display.FixedSize = TReader::BoolValue(value);
    else if (name == "Options") {
        if (value.kind != TValue::Kind::Set) throw EReadError("Invalid property value: set expected");
        TDXDrawOptions options = 0;
        for (const auto& member : value.members) {
            auto it = std::find_if(std::begin(kOptionNames), std::end(kOptionNames),
                                   [&](const OptionName& o) { return member == o.name; });
            if (it == std::end(kOptionNames)) throw EReadError("Invalid property value '" + member + "'");
            options |= it->option;
        }
        SetOptions(options);
    } else return TControl::ReadProperty(name, value, reader);
    return true;
}

// ------------------------------------------------------------ image list

int TPictureCollectionItem::Index() const { return collection_.IndexOf(*this); }

void TPictureCollectionItem::SetIndex(int index) {
    const int current = Index();
    if (index != current && index >= 0 && index < collection_.Count()) collection_.Move(current, index);
}

int TPictureCollectionItem::PatternCount() const {
    const int w = Picture.Width(), h = Picture.Height();
    if (w == 0 || h == 0) return 0;
    const int pw = PatternWidth > 0 ? PatternWidth : w;
    const int ph = PatternHeight > 0 ? PatternHeight : h;
    return std::max(w / pw, 0) * std::max(h / ph, 0);
}

TRect TPictureCollectionItem::PatternRect(int index) const {
    const int w = Picture.Width();
    const int pw = PatternWidth > 0 ? PatternWidth : w;
    const int ph = PatternHeight > 0 ? PatternHeight : Picture.Height();
    const int columns = std::max(w / std::max(pw, 1), 1);
    const int left = (index % columns) * pw, top = (index / columns) * ph;
    return Rect(left, top, left + pw, top + ph);
}

void TPictureCollectionItem::Draw(TDirectDrawSurface* dest, int x, int y, int patternIndex) const {
    if (!surface_ || !dest) return;
    if (x > dest->Width() || y > dest->Height()) return;
    // An item that is one whole picture has one pattern, the picture; most
    // items are, so their draws skip the pattern arithmetic.
    const int w = Picture.Width(), h = Picture.Height();
    if ((PatternWidth <= 0 || PatternWidth == w) && (PatternHeight <= 0 || PatternHeight == h)) {
        if (patternIndex != 0 || w == 0 || h == 0) return;
        dest->Draw(x, y, Rect(0, 0, w, h), *surface_, Transparent, ColorToRGB565(TransparentColor));
        return;
    }
    if (patternIndex < 0 || patternIndex >= PatternCount()) return;
    dest->Draw(x, y, PatternRect(patternIndex), *surface_, Transparent, ColorToRGB565(TransparentColor));
}

void TPictureCollectionItem::Restore() {
    surface_.reset();
    const TGraphic* graphic = Picture.Graphic();
    if (!graphic || graphic->Empty()) return;
    auto surface = std::make_unique<TDirectDrawSurface>(graphic->Width(), graphic->Height());
    surface->LoadFrom(*graphic);
    if (Transparent) surface->PrepareKey(ColorToRGB565(TransparentColor));
    surface_ = std::move(surface);
}

TPictureCollectionItem& TPictureCollection::Items(int index) const {
    if (index < 0 || index >= Count()) throw EListError(Format("List index out of bounds (%d)", index));
    return *items_[size_t(index)];
}

TPictureCollectionItem& TPictureCollection::Add() {
    items_.push_back(std::make_unique<TPictureCollectionItem>(*this));
    return *items_.back();
}

int TPictureCollection::IndexOf(const TPictureCollectionItem& item) const {
    for (size_t i = 0; i < items_.size(); ++i)
        if (items_[i].get() == &item) return static_cast<int>(i);
    return -1;
}

void TPictureCollection::Move(int from, int to) {
    auto item = std::move(items_[size_t(from)]);
    items_.erase(items_.begin() + from);
    items_.insert(items_.begin() + to, std::move(item));
}

void TPictureCollection::MakeColorTable() {
    ColorTable = {};
    size_t used = 0;
    for (const auto& item : items_) {
        const auto* dib = dynamic_cast<const TDIB*>(item->Picture.Graphic());
        if (!dib) continue;
        for (uint32_t c : dib->Palette()) {
            if (used == ColorTable.size()) return;
            TRGBQuad q{uint8_t(c & 0xFF), uint8_t((c >> 8) & 0xFF), uint8_t((c >> 16) & 0xFF), 0};
            const bool known = std::any_of(ColorTable.begin(), ColorTable.begin() + used, [&](const TRGBQuad& e) {
                return e.rgbBlue == q.rgbBlue && e.rgbGreen == q.rgbGreen && e.rgbRed == q.rgbRed;
            });
            if (!known) ColorTable[used++] = q;
        }
    }
}

void TPictureCollection::Restore() {
    for (auto& item : items_) item->Restore();
}
void TPictureCollection::Finalize() {
    for (auto& item : items_) item->Finalize();
}

TDXImageList::~TDXImageList() {
    if (dxDraw_) dxDraw_->RemoveImageList(this);
}

void TDXImageList::SetDXDraw(TDXDraw* dxDraw) {
    if (dxDraw_ == dxDraw) return;
    if (dxDraw_) {
        dxDraw_->RemoveImageList(this);
        Items.Finalize();
    }
    dxDraw_ = dxDraw;
    if (dxDraw_) {
        dxDraw_->AddImageList(this);
        if (dxDraw_->Initialized()) Items.Restore();
    }
}

bool TDXImageList::ReadProperty(std::string_view name, const TValue& value, TReader& reader) {
    if (name == "DXDraw") {
        reader.AddFixup(value, [this](TComponent* c) {
            auto* dxDraw = dynamic_cast<TDXDraw*>(c);
            if (!dxDraw) return false;
            SetDXDraw(dxDraw);
            return true;
        });
        return true;
    }
    if (name == "Items") {
        if (value.kind != TValue::Kind::Collection) throw EReadError("Invalid property value: collection expected");
        for (const auto& stored : value.items) {
            TPictureCollectionItem& item = Items.Add();
            for (const auto& [prop, v] : stored) {
                if (prop == "Name") item.Name = TReader::StringValue(v);
                else if (prop == "PatternWidth") item.PatternWidth = static_cast<int>(TReader::IntValue(v));
                else if (prop == "PatternHeight") item.PatternHeight = static_cast<int>(TReader::IntValue(v));
                else if (prop == "SystemMemory") item.SystemMemory = TReader::BoolValue(v);
                else if (prop == "Transparent") item.Transparent = TReader::BoolValue(v);
                else if (prop == "TransparentColor") {
                    item.TransparentColor = v.kind == TValue::Kind::Ident
                                                ? static_cast<TColor>(TReader::EnumValue(v, {"clBlack"}))
                                                : static_cast<TColor>(TReader::IntValue(v));
                } else if (prop == "Picture.Data") {
                    if (v.kind != TValue::Kind::Binary) throw EReadError("Invalid property value: binary data expected");
                    item.Picture.LoadData(v.bytes);
                } else throw EReadError("Property Items." + prop + " does not exist");
            }
        }
        return true;
    }
    return TComponent::ReadProperty(name, value, reader);
}
