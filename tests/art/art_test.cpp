// The committed artwork is read here byte by byte, independently of the writer in tools/art,
// so a fault in that writer cannot hide itself.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

Bytes ReadAll(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::uint32_t U16(const Bytes& b, std::size_t at) { return b.at(at) | b.at(at + 1) << 8; }
std::uint32_t U32(const Bytes& b, std::size_t at) { return U16(b, at) | U16(b, at + 2) << 16; }

struct Pixel {
    int r, g, b;
    bool black() const { return r == 0 && g == 0 && b == 0; }
    int brightest() const { return std::max({r, g, b}); }
    int darkest() const { return std::min({r, g, b}); }
    bool blackIn565() const { return (r >> 3) == 0 && (g >> 2) == 0 && (b >> 3) == 0; }
};

// A 24-bit picture read straight from the file's bottom-up rows; y = 0 is the top.
struct Picture {
    int width = 0;
    int height = 0;
    std::vector<Pixel> pixels;
    const Pixel& at(int x, int y) const {
        return pixels.at(static_cast<std::size_t>(y) * width + x);
    }
};

Picture Read24(const fs::path& path) {
    const Bytes b = ReadAll(path);
    Picture p;
    p.width = static_cast<int>(U32(b, 18));
    p.height = static_cast<int>(U32(b, 22));
    const std::size_t offset = U32(b, 10);
    const std::size_t stride = (static_cast<std::size_t>(p.width) * 3 + 3) / 4 * 4;
    for (int y = 0; y < p.height; ++y) {
        const std::size_t row = offset + stride * (p.height - 1 - y);
        for (int x = 0; x < p.width; ++x) {
            const std::size_t at = row + 3 * static_cast<std::size_t>(x);
            p.pixels.push_back({b.at(at + 2), b.at(at + 1), b.at(at)});
        }
    }
    return p;
}

// ---------------------------------------------------------------------------------------------
// File layouts

struct Layout {
    const char* path;
    std::uint32_t width;
    std::uint32_t height;
    std::uint32_t bits;
    std::uint32_t imageSize;
    std::uint32_t paletteEntries;
};

constexpr Layout kLayouts[] = {
    {KORVANE_LOGO_BMP, 296, 109, 24, 96'792, 0},
    {KORVANE_SHEET_BMP, 260, 37, 24, 28'860, 0},
    {KORVANE_ICON_BMP, 32, 32, 4, 512, 16},
};

TEST(ArtFiles, HeadersHoldTheExpectedLayout) {
    for (const Layout& l : kLayouts) {
        SCOPED_TRACE(l.path);
        const Bytes b = ReadAll(l.path);
        const std::uint32_t pixelsAt = 14 + 40 + 4 * l.paletteEntries;
        ASSERT_EQ(b.size(), pixelsAt + l.imageSize);
        EXPECT_EQ(b[0], 'B');
        EXPECT_EQ(b[1], 'M');
        EXPECT_EQ(U32(b, 2), b.size()) << "file size field";
        EXPECT_EQ(U32(b, 10), pixelsAt) << "offset of the pixels";
        EXPECT_EQ(U32(b, 14), 40u) << "BITMAPINFOHEADER size";
        EXPECT_EQ(U32(b, 18), l.width);
        EXPECT_EQ(U32(b, 22), l.height) << "positive height: bottom-up rows";
        EXPECT_EQ(U16(b, 26), 1u) << "planes";
        EXPECT_EQ(U16(b, 28), l.bits);
        EXPECT_EQ(U32(b, 30), 0u) << "compression";
        EXPECT_EQ(U32(b, 34), l.imageSize);
        EXPECT_EQ(U32(b, 38), 0u) << "horizontal resolution";
        EXPECT_EQ(U32(b, 42), 0u) << "vertical resolution";
        EXPECT_EQ(U32(b, 46), l.paletteEntries) << "colours used";
        EXPECT_EQ(U32(b, 50), 0u) << "colours important";
    }
}

// ---------------------------------------------------------------------------------------------
// The logo

TEST(Logo, InkIsBrightAndInsideItsBoxOnPureBlack) {
    const Picture logo = Read24(KORVANE_LOGO_BMP);
    ASSERT_EQ(logo.width, 296);
    ASSERT_EQ(logo.height, 109);
    int ink = 0;
    int firstDim = -1;
    int firstOutside = -1;
    for (int y = 0; y < logo.height; ++y) {
        for (int x = 0; x < logo.width; ++x) {
            const Pixel& p = logo.at(x, y);
            if (p.black()) continue;
            ++ink;
            if (p.brightest() < 68 && firstDim < 0) firstDim = y * logo.width + x;
            if ((x > 290 || y < 4 || y > 104) && firstOutside < 0)
                firstOutside = y * logo.width + x;
        }
    }
    EXPECT_EQ(firstDim, -1) << "a pixel with no channel at 68 or more at x " << firstDim % 296
                            << ", y " << firstDim / 296;
    EXPECT_EQ(firstOutside, -1) << "ink outside x 0..290, y 4..104 at x " << firstOutside % 296
                                << ", y " << firstOutside / 296;
    // Lettering, not a sprinkle of dots and not a filled block.
    EXPECT_GT(ink, logo.width * logo.height / 5);
    EXPECT_LT(ink, logo.width * logo.height * 3 / 4);
}

TEST(Logo, IsDrawnInGreysAndBlues) {
    const Picture logo = Read24(KORVANE_LOGO_BMP);
    int greys = 0;
    int blues = 0;
    int others = 0;
    for (const Pixel& p : logo.pixels) {
        if (p.black()) continue;
        if (p.brightest() - p.darkest() < 48) {
            ++greys;
        } else if (p.b == p.brightest()) {
            ++blues;
        } else {
            ++others;
        }
    }
    EXPECT_GT(greys, 1000);
    EXPECT_GT(blues, 1000);
    EXPECT_EQ(others, 0) << "pixels neither grey nor blue";
}

// ---------------------------------------------------------------------------------------------
// The font sheet

constexpr std::string_view kCharset = "abcdefghijklmnopqrstuvwxyz().:!*?-<>0123456789#     ";
constexpr int kCellW = 10;
constexpr int kCellH = 18;

struct InkBox {
    int count = 0;
    int top = kCellH;
    int bottom = -1;
};

InkBox CellInk(const Picture& sheet, int cell) {
    InkBox box;
    const int left = cell % 26 * kCellW;
    const int top = cell / 26 * kCellH;
    for (int y = 0; y < kCellH; ++y) {
        for (int x = 0; x < kCellW; ++x) {
            if (sheet.at(left + x, top + y).black()) continue;
            ++box.count;
            box.top = std::min(box.top, y);
            box.bottom = std::max(box.bottom, y);
        }
    }
    return box;
}

TEST(FontSheet, GlyphCellsHaveInkAndTheRestIsBlack) {
    const Picture sheet = Read24(KORVANE_SHEET_BMP);
    ASSERT_EQ(sheet.width, 260);
    ASSERT_EQ(sheet.height, 37);
    for (int cell = 0; cell < 52; ++cell) {
        SCOPED_TRACE(testing::Message() << "cell " << cell << " '" << kCharset[cell] << "'");
        const InkBox ink = CellInk(sheet, cell);
        if (cell < 47) {
            EXPECT_GT(ink.count, 0);
        } else {
            EXPECT_EQ(ink.count, 0) << "the cells of the spaces must be blank";
        }
    }
    for (int x = 0; x < sheet.width; ++x) {
        EXPECT_TRUE(sheet.at(x, 36).black()) << "bottom row, x " << x;
    }
}

TEST(FontSheet, EveryGlyphPixelHasAllChannelsBright) {
    const Picture sheet = Read24(KORVANE_SHEET_BMP);
    for (int y = 0; y < sheet.height; ++y) {
        for (int x = 0; x < sheet.width; ++x) {
            const Pixel& p = sheet.at(x, y);
            if (!p.black()) EXPECT_GE(p.darkest(), 68) << "x " << x << ", y " << y;
        }
    }
}

TEST(FontSheet, NoTwoGlyphsAreAlike) {
    const Picture sheet = Read24(KORVANE_SHEET_BMP);
    std::set<std::vector<bool>> shapes;
    for (int cell = 0; cell < 47; ++cell) {
        std::vector<bool> shape;
        for (int y = 0; y < kCellH; ++y) {
            for (int x = 0; x < kCellW; ++x) {
                shape.push_back(!sheet.at(cell % 26 * kCellW + x, cell / 26 * kCellH + y).black());
            }
        }
        EXPECT_TRUE(shapes.insert(shape).second) << "'" << kCharset[cell] << "' repeats a glyph";
    }
}

// The letters share a baseline (row 13) and an x-height (row 5); ascenders rise above it and
// descenders hang below the baseline, inside the cell.
TEST(FontSheet, LettersStandOnOneBaseline) {
    enum Kind { kXHeight, kAscender, kDescender, kDotted };
    struct Case {
        std::string_view letters;
        Kind kind;
    };
    constexpr Case kCases[] = {
        {"acemnorsuvwxz", kXHeight},
        {"bdfhkl", kAscender},
        {"gpqy", kDescender},
        {"ijt", kDotted},
    };
    constexpr int kBaseline = 13;
    constexpr int kXTop = 5;
    const Picture sheet = Read24(KORVANE_SHEET_BMP);
    std::string seen;
    for (const Case& c : kCases) {
        for (char letter : c.letters) {
            SCOPED_TRACE(testing::Message() << "'" << letter << "'");
            seen += letter;
            const InkBox ink = CellInk(sheet, static_cast<int>(kCharset.find(letter)));
            if (c.kind == kDescender || letter == 'j') {
                EXPECT_GT(ink.bottom, kBaseline);
                EXPECT_LT(ink.bottom, kCellH - 1) << "descenders keep off the next line";
            } else {
                EXPECT_EQ(ink.bottom, kBaseline);
            }
            if (c.kind == kXHeight || c.kind == kDescender) EXPECT_EQ(ink.top, kXTop);
            if (c.kind == kAscender || c.kind == kDotted) EXPECT_LT(ink.top, kXTop);
            EXPECT_GT(ink.top, 0) << "the top row stays free";
        }
    }
    std::sort(seen.begin(), seen.end());
    EXPECT_EQ(seen, "abcdefghijklmnopqrstuvwxyz") << "every letter has a case";
}

// ---------------------------------------------------------------------------------------------
// Colours survive 16-bit colour

TEST(ArtColours, NoInkTurnsBlackInRgb565) {
    for (const char* path : {KORVANE_LOGO_BMP, KORVANE_SHEET_BMP}) {
        SCOPED_TRACE(path);
        const Picture p = Read24(path);
        int turnedBlack = 0;
        for (const Pixel& px : p.pixels) turnedBlack += !px.black() && px.blackIn565();
        EXPECT_EQ(turnedBlack, 0);
    }
}

// ---------------------------------------------------------------------------------------------
// The icon

TEST(Icon, IsAnEmblemOnBlackInItsPalette) {
    const Bytes b = ReadAll(KORVANE_ICON_BMP);
    ASSERT_EQ(b.size(), 14u + 40 + 64 + 512);
    std::set<Pixel, bool (*)(const Pixel&, const Pixel&)> palette(
        [](const Pixel& l, const Pixel& r) {
            return std::tie(l.r, l.g, l.b) < std::tie(r.r, r.g, r.b);
        });
    for (int i = 0; i < 16; ++i) {
        palette.insert({b[54 + 4 * i + 2], b[54 + 4 * i + 1], b[54 + 4 * i]});
        EXPECT_EQ(b[54 + 4 * i + 3], 0) << "reserved byte of palette entry " << i;
    }
    EXPECT_EQ(palette.size(), 16u) << "sixteen different colours";
    EXPECT_TRUE((Pixel{b[56], b[55], b[54]}.black())) << "entry 0 is the black background";

    auto index = [&](int x, int y) {
        const std::uint8_t pair = b.at(118 + static_cast<std::size_t>(31 - y) * 16 + x / 2);
        return x % 2 == 0 ? pair >> 4 : pair & 0x0f;
    };
    int ink = 0;
    std::set<int> used;
    for (int y = 0; y < 32; ++y) {
        for (int x = 0; x < 32; ++x) {
            ink += index(x, y) != 0;
            used.insert(index(x, y));
        }
    }
    for (auto [x, y] : {std::pair{0, 0}, {31, 0}, {0, 31}, {31, 31}}) {
        EXPECT_EQ(index(x, y), 0) << "corner " << x << ", " << y;
    }
    EXPECT_GT(ink, 32 * 32 / 4);
    EXPECT_GE(used.size(), 8u) << "shaded, not flat";
}

// ---------------------------------------------------------------------------------------------
// The generators

class Scratch {
  public:
    Scratch() {
        dir_ = fs::path(testing::TempDir()) /
               ("korvane-art-" + std::to_string(::getpid()) + "-" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(dir_);
        fs::create_directories(dir_);
    }
    ~Scratch() { fs::remove_all(dir_); }
    fs::path operator/(const std::string& name) const { return dir_ / name; }

  private:
    fs::path dir_;
};

std::string Quote(const fs::path& p) { return "'" + p.string() + "'"; }

int RunTool(const std::string& command) {
    const int status = std::system((command + " 2>/dev/null").c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(Generators, RemakeTheCommittedFilesByteForByte) {
    struct Case {
        const char* name;
        std::string arguments;  // before the output path
        const char* committed;
    };
    const Case kCases[] = {
        {KORVANE_MKLOGO, "", KORVANE_LOGO_BMP},
        {KORVANE_MKFONT, Quote(KORVANE_GLYPHS_TXT), KORVANE_SHEET_BMP},
        {KORVANE_MKICON, "", KORVANE_ICON_BMP},
    };
    Scratch scratch;
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const fs::path out = scratch / "out.bmp";
        fs::remove(out);
        ASSERT_EQ(RunTool(Quote(c.name) + " " + c.arguments + " " + Quote(out)), 0);
        const Bytes made = ReadAll(out);
        const Bytes committed = ReadAll(c.committed);
        ASSERT_EQ(made.size(), committed.size());
        const auto diff = std::mismatch(made.begin(), made.end(), committed.begin());
        EXPECT_TRUE(diff.first == made.end())
            << "first differing byte at offset " << (diff.first - made.begin())
            << "; rebuild the target 'art' and commit the result";
    }
}

// A broken glyph file must stop the font maker rather than give a sheet with holes in it.
TEST(Generators, FontMakerRefusesBrokenGlyphFiles) {
    std::ifstream in(KORVANE_GLYPHS_TXT);
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    const auto glyphLine = [&](std::string_view header) {
        return static_cast<std::size_t>(std::find(lines.begin(), lines.end(), header) -
                                        lines.begin());
    };
    ASSERT_LT(glyphLine("glyph z"), lines.size());

    struct Case {
        const char* what;
        std::vector<std::string> (*edit)(std::vector<std::string>, std::size_t zAt);
    };
    const Case kCases[] = {
        {"a glyph missing",
         [](std::vector<std::string> l, std::size_t z) {
             l.erase(l.begin() + z, l.begin() + z + 19);
             return l;
         }},
        {"a row too narrow",
         [](std::vector<std::string> l, std::size_t z) {
             l[z + 3].pop_back();
             return l;
         }},
        {"a foreign mark in a row",
         [](std::vector<std::string> l, std::size_t z) {
             l[z + 7][4] = 'x';
             return l;
         }},
        {"a glyph given twice",
         [](std::vector<std::string> l, std::size_t z) {
             const std::vector<std::string> block(l.begin() + z, l.begin() + z + 19);
             l.insert(l.end(), block.begin(), block.end());
             return l;
         }},
        {"a character without a cell",
         [](std::vector<std::string> l, std::size_t z) {
             l[z] = "glyph Z";
             return l;
         }},
        {"a picture cut short",
         [](std::vector<std::string> l, std::size_t) {
             l.resize(l.size() - 10);
             return l;
         }},
    };
    Scratch scratch;
    // The untouched file is accepted, so each refusal below is down to its own edit.
    ASSERT_EQ(RunTool(Quote(KORVANE_MKFONT) + " " + Quote(KORVANE_GLYPHS_TXT) + " " +
                      Quote(scratch / "good.bmp")),
              0);
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.what);
        const fs::path glyphs = scratch / "glyphs.txt";
        {
            std::ofstream out(glyphs);
            for (const std::string& line : c.edit(lines, glyphLine("glyph z"))) out << line << '\n';
        }
        EXPECT_NE(
            RunTool(Quote(KORVANE_MKFONT) + " " + Quote(glyphs) + " " + Quote(scratch / "bad.bmp")),
            0);
    }
}

}  // namespace
