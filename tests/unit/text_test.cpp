// The glyph images cut from a font sheet and the layout of text into glyph
// placements, each over fixtures built here.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "MainUnit.h"
#include "support.h"

namespace {

// A 260 x 37 sheet in which every pixel of the cells has its own value and
// the bottom row, which lies in no cell, has a red that no cell has.
std::vector<uint8_t> FixtureSheetDIB() {
    const int w = 260, h = 37, stride = w * 3;
    std::vector<uint8_t> d(40 + size_t(stride) * h, 0);
    auto put32 = [&](size_t at, uint32_t v) {
        for (int i = 0; i < 4; ++i) d[at + i] = uint8_t(v >> (8 * i));
    };
    put32(0, 40);
    put32(4, w);
    put32(8, h);
    d[12] = 1;
    d[14] = 24;
    put32(20, uint32_t(stride) * h);
    for (int y = 0; y < h; ++y) {
        uint8_t* row = &d[40 + size_t(h - 1 - y) * stride];  // bottom-up
        for (int x = 0; x < w; ++x) {
            row[x * 3 + 0] = uint8_t(x & 0xFF);
            row[x * 3 + 1] = y < 36 ? uint8_t(y * 2 + (x >> 8)) : 0xEE;
            row[x * 3 + 2] = y < 36 ? 0x40 : 0xFF;
        }
    }
    return d;
}

TEST(BuildFontImages, EveryCellBecomesAnItemOfItsOwnAndTheBottomRowIsNeverCopied) {
    TDXDIB sheet(nullptr);
    sheet.DIB.LoadFromDIBData(FixtureSheetDIB());
    ASSERT_EQ(sheet.DIB.Width(), 260);
    ASSERT_EQ(sheet.DIB.Height(), 37);
    TDXImageList images(nullptr);
    TPictureCollectionItem& first = images.Items.Add();
    first.Name = "kvnLogo";
    BuildFontImages(&sheet, &images, 10, 18, 2, 26, 1, 0, true);
    ASSERT_EQ(images.Items.Count(), 53);
    EXPECT_EQ(&images.Items[0], &first);
    EXPECT_EQ(images.Items[0].Name, "kvnLogo");
    for (int n = 1; n <= 52; ++n) {
        SCOPED_TRACE("item " + std::to_string(n));
        const TPictureCollectionItem& item = images.Items[n];
        const auto* bitmap = dynamic_cast<const TBitmap*>(item.Picture.Graphic());
        ASSERT_NE(bitmap, nullptr);
        EXPECT_EQ(bitmap->PixelFormat(), pf24bit);
        ASSERT_EQ(bitmap->Width(), 10);
        ASSERT_EQ(bitmap->Height(), 18);
        EXPECT_EQ(item.PatternCount(), 1);
        EXPECT_TRUE(item.Transparent);
        EXPECT_EQ(item.TransparentColor, clBlack);
        EXPECT_EQ(item.Index(), n);
        EXPECT_EQ(item.Name, "");
        const int left = 10 * ((n - 1) % 26), top = 18 * ((n - 1) / 26);
        int mismatches = 0, fromBottomRow = 0;
        for (int y = 0; y < 18; ++y)
            for (int x = 0; x < 10; ++x) {
                const uint8_t* got = bitmap->Pixel(x, y);
                const uint8_t* want = sheet.DIB.Pixel(left + x, top + y);
                mismatches += !std::equal(got, got + 3, want);
                fromBottomRow += got[2] == 0xFF;
            }
        EXPECT_EQ(mismatches, 0) << "the image is not its cell at (" << left << ", " << top << ")";
        EXPECT_EQ(fromBottomRow, 0);
    }
    // Item 48 is the cell with left 210 and top 18.
    EXPECT_EQ(dynamic_cast<const TBitmap*>(images.Items[48].Picture.Graphic())->Pixel(0, 0)[0], 210);
}

// A record with every field set, to see which fields the layout writes.
TSpriteRec Sentinel() {
    TSpriteRec s;
    s.X = -1, s.Y = -2, s.Extra1 = -3, s.Width = -4, s.Height = -5;
    s.ExtraA = 6, s.ExtraB = 7, s.ExtraC = 8, s.Extra2 = -9, s.ImageIndex = -10, s.Ch = 'Z';
    return s;
}
bool Same(const TSpriteRec& a, const TSpriteRec& b) {
    return a.X == b.X && a.Y == b.Y && a.Extra1 == b.Extra1 && a.Width == b.Width && a.Height == b.Height &&
           a.ExtraA == b.ExtraA && a.ExtraB == b.ExtraB && a.ExtraC == b.ExtraC && a.Extra2 == b.Extra2 &&
           a.ImageIndex == b.ImageIndex && a.Ch == b.Ch;
}

struct EntryCase {
    int entry, x, y, width, height, image;
};

TEST(LayoutTextPages, TheProgramsTextEntriesAsOneTable) {
    std::array<TSpriteRec, 421> table{};
    LayoutTextPages(table, GlyphCharset, TextLines, 0, 90, 10, 18, 2, 1);
    const EntryCase cases[] = {
        {0, 10, 108, 10, 18, 34},   {29, 300, 108, 10, 18, 34},  {30, 10, 126, 10, 18, 11},
        {60, 10, 144, 10, 18, 48},  {64, 50, 144, 10, 18, 32},   {209, 300, 216, 10, 18, 34},
        {210, 10, 108, 10, 18, 34}, {419, 300, 216, 10, 18, 34}, {420, 0, 0, 0, 0, 0},
    };
    int rows = 0;
    for (const EntryCase& c : cases) {
        SCOPED_TRACE("entry " + std::to_string(c.entry));
        const TSpriteRec& e = table[size_t(c.entry)];
        EXPECT_EQ(e.X, c.x);
        EXPECT_EQ(e.Y, c.y);
        EXPECT_EQ(e.Width, c.width);
        EXPECT_EQ(e.Height, c.height);
        EXPECT_EQ(e.ImageIndex, c.image);
        ++rows;
    }
    EXPECT_EQ(rows, int(std::size(cases)));
    EXPECT_TRUE(Same(table[420], TSpriteRec{})) << "entry 420 stays zero";
    for (int i = 0; i < 420; ++i) {
        SCOPED_TRACE("entry " + std::to_string(i));
        const TSpriteRec& e = table[size_t(i)];
        EXPECT_EQ(e.X, 10 * (i % 30 + 1));
        EXPECT_EQ(e.Y, 108 + 18 * ((i / 30) % 7));
        EXPECT_TRUE(e.ImageIndex >= 1 && e.ImageIndex <= 48) << "image " << e.ImageIndex;
        EXPECT_EQ(GlyphCharset[size_t(e.ImageIndex - 1)], TextLines[size_t(i / 30)][size_t(i % 30)]);
        EXPECT_EQ(e.Ch, 0);
        EXPECT_EQ(e.Extra1 | e.ExtraA | e.ExtraB | e.ExtraC | e.Extra2, 0);
    }
}

struct SmallLayout {
    const char* what;
    std::vector<std::string> lines;
    int pages;
    // Entries written, as (entry, x, y, image); every other entry keeps the
    // sentinel.
    std::vector<std::array<int, 4>> written;
};

TEST(LayoutTextPages, SmallFixtures) {
    // Origin (5, 7), cells of 4 x 6, first image 10: "a" is image 10.
    std::vector<std::string> fifteen;
    for (int i = 0; i < 15; ++i) fifteen.push_back(i == 14 ? "zz" : "ab");
    std::vector<std::array<int, 4>> fourteen;
    for (int L = 0; L < 14; ++L)
        for (int j = 1; j <= 2; ++j) fourteen.push_back({L * 2 + j - 1, 5 + j * 4, 7 + (L % 7 + 1) * 6, 10 + j - 1});
    const SmallLayout cases[] = {
        {"15 lines on 2 pages: 7 rows each, the 15th ignored", fifteen, 2, fourteen},
        {"upper-case A has no glyph but uses its entry", {"aAb"}, 1, {{0, 9, 13, 10}, {2, 17, 13, 11}}},
        {"a longer line is cut to the first line's length", {"ab", "bab"}, 1, {{0, 9, 13, 10}, {1, 13, 13, 11}, {2, 9, 19, 11}, {3, 13, 19, 10}}},
        {"fewer lines than pages", {"ab"}, 2, {}},
        {"an empty first line", {"", "ab"}, 1, {}},
    };
    int rows = 0;
    for (const SmallLayout& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<TSpriteRec> table(40, Sentinel());
        LayoutTextPages(table, "ab", c.lines, 5, 7, 4, 6, c.pages, 10);
        for (size_t i = 0; i < table.size(); ++i) {
            SCOPED_TRACE("entry " + std::to_string(i));
            TSpriteRec want = Sentinel();
            for (const auto& w : c.written)
                if (w[0] == int(i)) want.X = w[1], want.Y = w[2], want.Width = 4, want.Height = 6, want.ImageIndex = w[3];
            EXPECT_TRUE(Same(table[i], want)) << "X " << table[i].X << " Y " << table[i].Y << " image "
                                              << table[i].ImageIndex << " Ch " << int(table[i].Ch);
        }
        ++rows;
    }
    EXPECT_EQ(rows, int(std::size(cases)));
}

TEST(InitSprite, FillsTenFieldsAndLeavesCh) {
    TSpriteRec s;
    s.Ch = 'q';
    InitSprite(s, 12, 5, 2, 0, 0, 255, 255, 255, 0, 0);
    EXPECT_EQ(s.Ch, 'q');
    EXPECT_EQ(s.X, 12);
    EXPECT_EQ(s.Y, 5);
    EXPECT_EQ(s.Extra1, 2);
    EXPECT_EQ(s.ExtraC, 255);
}

TEST(ErrorBoxText, AFullStopOnlyAfterALastCharacterThatSortsAfterIt) {
    const std::pair<const char*, const char*> table[] = {
        {"", ""},           {"Failed", "Failed."}, {"Done.", "Done."}, {"(320x240 16bit)", "(320x240 16bit)"},
        {"Oops!", "Oops!"}, {"a-b-", "a-b-"},      {"path/", "path/."}, {"2001", "2001."},
        {"code 9", "code 9."}, {"Really?", "Really?."}, {"caf\xe9", "caf\xe9."}, {" ", " "},
    };
    int rows = 0;
    for (const auto& [message, shown] : table) {
        EXPECT_EQ(TApplication::ErrorBoxText(message), shown) << "message '" << message << "'";
        ++rows;
    }
    EXPECT_EQ(rows, int(std::size(table)));
}

}  // namespace
