// Drawing an image-list item onto a surface: clipping on every side,
// colour-key transparency on 16-bit values, and nothing drawn without a
// surface or for a pattern the item does not have.
#include <gtest/gtest.h>

#include "DXDraws.h"
#include "Graphics.h"
#include "support.h"

namespace {

using test::Frame;
using test::Picture24;

// A 30 x 20 fixture whose every opaque pixel is told apart by its value.
// '#' marks pixels that are pure black, '+' pixels so dark that they take
// black's 16-bit value: both must be transparent.
const char* const kArt[20] = {
    "oooooooooooooooooooooooooooooo", "#oooooooooooooooooooooooooooo#", "#o++++++++++++++++++++++++++o#",
    "#o+oooooooooooooooooooooooo+o#", "#o+o######################o+o#", "#o+o#oooooooooooooooooooo#o+o#",
    "#o+o#o##################o#o+o#", "#o+o#o#oooooooooooooooo#o#o+o#", "#o+o#o#o##############o#o#o+o#",
    "#o+o#o#o#oooooooooooo#o#o#o+o#", "#o+o#o#o#oooooooooooo#o#o#o+o#", "#o+o#o#o##############o#o#o+o#",
    "#o+o#o#oooooooooooooooo#o#o+o#", "#o+o#o##################o#o+o#", "#o+o#oooooooooooooooooooo#o+o#",
    "#o+o######################o+o#", "#o+oooooooooooooooooooooooo+o#", "#o++++++++++++++++++++++++++o#",
    "#oooooooooooooooooooooooooooo#", "oooooooooooooooooooooooooooooo",
};

Picture24 FixturePicture() {
    Picture24 p;
    p.width = 30;
    p.height = 20;
    p.bgr.resize(30 * 20 * 3);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            uint8_t* px = &p.bgr[(size_t(y) * 30 + x) * 3];
            const char c = kArt[y][x];
            if (c == '#') px[0] = px[1] = px[2] = 0;
            else if (c == '+') px[0] = 6, px[1] = 3, px[2] = 7;  // blue, green, red: 565 value 0
            else px[0] = uint8_t(80 + x * 5), px[1] = uint8_t(70 + y * 9), px[2] = 200;
        }
    return p;
}

TBitmap ToBitmap(const Picture24& p) {
    TBitmap bitmap;
    bitmap.SetWidth(p.width);
    bitmap.SetHeight(p.height);
    bitmap.SetPixelFormat(pf24bit);
    for (int y = 0; y < p.height; ++y)
        for (int x = 0; x < p.width; ++x) std::copy_n(p.At(x, y), 3, bitmap.Pixel(x, y));
    return bitmap;
}

// Every pixel of the destination differs from its neighbours, so any pixel
// that a draw touches wrongly shows.
Frame Background() {
    Frame f(size_t(320) * 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) f[size_t(y) * 320 + x] = uint16_t(0x8000 | ((x * 7 + y * 131) & 0x7FFF));
    return f;
}

void Load(TDirectDrawSurface& surface, const Frame& f) {
    for (int y = 0; y < 240; ++y) std::copy_n(f.begin() + y * 320, 320, surface.Row(y));
}
Frame Pixels(const TDirectDrawSurface& s) { return Frame(s.Pixels().begin(), s.Pixels().end()); }

struct Placement {
    int x, y;
    int visibleColumns, visibleRows;  // how much of the 30 x 20 picture shows
};

TEST(ItemDraw, ClipsOnEverySideAndKeysOn16BitValues) {
    const Picture24 picture = FixturePicture();
    const TBitmap bitmap = ToBitmap(picture);
    TPictureCollection items;
    TPictureCollectionItem& item = items.Add();
    item.Picture.Assign(&bitmap);
    item.Transparent = true;
    item.TransparentColor = clBlack;
    item.Restore();
    ASSERT_TRUE(item.HasSurface());

    const Placement table[] = {
        {100, 100, 30, 20}, {-10, 50, 20, 20}, {300, 50, 20, 20}, {320, 50, 0, 0},  {321, 50, 0, 0},
        {-30, 50, 0, 0},    {-29, 50, 1, 20},  {50, -10, 30, 10}, {50, 230, 30, 10}, {50, 240, 30 * 0, 0},
        {50, -20, 0, 0},    {-10, -10, 20, 10}, {300, 230, 20, 10}, {310, -5, 10, 15}, {290, 220, 30, 20},
        {0, 0, 30, 20},     {-1000, 5, 0, 0},   {5, 100000, 0, 0},
        // Narrow visible parts: fewer pixels in a row than one block of work.
        {315, 50, 5, 20},   {-24, 60, 6, 20},   {-27, 70, 3, 20}, {312, 80, 8, 20}, {-21, 90, 9, 20},
    };
    int rows = 0;
    for (const Placement& p : table) {
        SCOPED_TRACE("at (" + std::to_string(p.x) + ", " + std::to_string(p.y) + ")");
        TDirectDrawSurface dest(320, 240);
        const Frame before = Background();
        Load(dest, before);
        item.Draw(&dest, p.x, p.y, 0);
        Frame expected = before;
        test::PasteKeyed(expected, picture, 0, 0, 30, 20, p.x, p.y);
        EXPECT_TRUE(test::SameImage(Pixels(dest), expected, 320, 240,
                                    "draw at " + std::to_string(p.x) + "," + std::to_string(p.y)));
        // The area that changed lies in the visible part of the picture.
        int changedLeft = 320, changedRight = -1, changedTop = 240, changedBottom = -1;
        const Frame after = Pixels(dest);
        for (int y = 0; y < 240; ++y)
            for (int x = 0; x < 320; ++x)
                if (after[size_t(y) * 320 + x] != before[size_t(y) * 320 + x]) {
                    changedLeft = std::min(changedLeft, x), changedRight = std::max(changedRight, x);
                    changedTop = std::min(changedTop, y), changedBottom = std::max(changedBottom, y);
                }
        const int changedW = changedRight < 0 ? 0 : changedRight - changedLeft + 1;
        const int changedH = changedBottom < 0 ? 0 : changedBottom - changedTop + 1;
        EXPECT_EQ(changedW, p.visibleColumns);
        EXPECT_EQ(changedH, p.visibleColumns ? p.visibleRows : 0);
        ++rows;
    }
    EXPECT_EQ(rows, int(std::size(table)));
}

TEST(ItemDraw, OpaqueItemsWriteEveryPixelAndKeyColoursAreMatchedIn16Bits) {
    const Picture24 picture = FixturePicture();
    const TBitmap bitmap = ToBitmap(picture);
    TPictureCollection items;
    TPictureCollectionItem& opaque = items.Add();
    opaque.Picture.Assign(&bitmap);
    opaque.Transparent = false;
    opaque.Restore();
    TDirectDrawSurface dest(320, 240);
    Load(dest, Background());
    opaque.Draw(&dest, 10, 10, 0);
    for (int y = 0; y < 20; ++y)
        for (int x = 0; x < 30; ++x) {
            const uint8_t* p = picture.At(x, y);
            ASSERT_EQ(dest.Row(10 + y)[10 + x], test::Rgb565(p[2], p[1], p[0])) << x << "," << y;
        }

    // A key colour that is not black: pixels taking its 16-bit value stay out.
    TPictureCollectionItem& keyed = items.Add();
    keyed.Picture.Assign(&bitmap);
    keyed.Transparent = true;
    keyed.TransparentColor = 200 | (241 << 8) | (80 << 16);  // the pixel at (0, 19), as 0x00BBGGRR
    keyed.Restore();
    Load(dest, Background());
    keyed.Draw(&dest, 0, 0, 0);
    const Frame bg = Background();
    EXPECT_EQ(dest.Row(19)[0], bg[19 * 320]) << "the key-coloured pixel was written";
    EXPECT_EQ(dest.Row(1)[0], 0) << "black is opaque when it is not the key";
}

TEST(ItemDraw, NothingWithoutASurfaceOrForAMissingPattern) {
    const TBitmap bitmap = ToBitmap(FixturePicture());
    TPictureCollection items;
    TPictureCollectionItem& item = items.Add();
    item.Picture.Assign(&bitmap);
    TDirectDrawSurface dest(320, 240);
    Load(dest, Background());
    item.Draw(&dest, 10, 10, 0);  // no display yet: no surface
    EXPECT_TRUE(test::SameImage(Pixels(dest), Background(), 320, 240, "draw without surface"));
    item.Restore();
    for (int pattern : {-1, 1, 2}) item.Draw(&dest, 10, 10, pattern);
    EXPECT_TRUE(test::SameImage(Pixels(dest), Background(), 320, 240, "draw of missing pattern"));
    item.Draw(nullptr, 10, 10, 0);  // no back surface: a display never initialised
    item.Finalize();
    item.Draw(&dest, 10, 10, 0);
    EXPECT_TRUE(test::SameImage(Pixels(dest), Background(), 320, 240, "draw after finalize"));
    EXPECT_THROW(items.Items(1), EListError);
    EXPECT_THROW(items.Items(-1), EListError);
}

TEST(ItemDraw, TheLogoOverDrawnContentShowsItExactlyWhereTheLogoIsBlack) {
    const Picture24 logo = test::LoadAssetBmp("kvnLogo.bmp");
    ASSERT_EQ(logo.width, 296);
    ASSERT_EQ(logo.height, 109);
    const TBitmap bitmap = ToBitmap(logo);
    TPictureCollection items;
    TPictureCollectionItem& item = items.Add();
    item.Picture.Assign(&bitmap);
    item.Restore();
    TDirectDrawSurface dest(320, 240);
    const Frame before = Background();
    Load(dest, before);
    item.Draw(&dest, 12, 5, 0);
    const Frame after = Pixels(dest);
    Frame expected = before;
    test::PasteKeyed(expected, logo, 0, 0, 296, 109, 12, 5);
    EXPECT_TRUE(test::SameImage(after, expected, 320, 240, "logo over content"));
    int keptInside = 0, changedOutside = 0;
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) {
            const bool inside = x >= 12 && x <= 307 && y >= 5 && y <= 113;
            const bool kept = after[size_t(y) * 320 + x] == before[size_t(y) * 320 + x];
            if (inside && kept) ++keptInside;
            if (!inside && !kept) ++changedOutside;
        }
    int logoBlack = 0;
    for (int y = 0; y < 109; ++y)
        for (int x = 0; x < 296; ++x) {
            const uint8_t* p = logo.At(x, y);
            logoBlack += p[0] == 0 && p[1] == 0 && p[2] == 0;
        }
    EXPECT_EQ(keptInside, logoBlack) << "the content shows through the logo's black pixels, and only there";
    EXPECT_EQ(changedOutside, 0);
}

}  // namespace
