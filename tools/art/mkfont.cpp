// Turns the glyph pictures of glyphs.txt into the intro's font sheet: 26 x 2 cells of
// 10 x 18 pixels on black, in the order of the intro's character set, and a bottom row that
// belongs to no cell. Usage: mkfont GLYPHS.txt OUTPUT.bmp
//
// The ink is coloured like the logo's chrome: light grey at the top of the cell, darkening
// towards the middle, then blue that brightens towards the descenders, with the upper edge of
// each stroke lit like the logo's bevel. Every ink colour has all three channels well above
// black so that no glyph pixel can turn transparent.
#include <algorithm>
#include <array>
#include <cstdio>
#include <exception>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bmp.h"

namespace {

constexpr std::string_view kCharset = "abcdefghijklmnopqrstuvwxyz().:!*?-<>0123456789#     ";
constexpr int kCellWidth = 10;
constexpr int kCellHeight = 18;
constexpr int kColumns = 26;
constexpr int kRows = 2;
// The characters before the trailing spaces have glyphs; the spaces' cells stay black.
constexpr std::size_t kGlyphCount = kCharset.find_last_not_of(' ') + 1;

using Picture = std::array<std::string, kCellHeight>;

struct Colour {
    int r, g, b;
};

art::Rgb Lerp(Colour a, Colour b, int step, int steps) {
    auto ch = [&](int from, int to) {
        return static_cast<std::uint8_t>(from + (to - from) * step / std::max(steps, 1));
    };
    return {ch(a.r, b.r), ch(a.g, b.g), ch(a.b, b.b)};
}

// The ink colour of row y of a cell.
art::Rgb InkColour(int y) {
    constexpr int kHorizon = 9;  // first row of the blue half, in the middle of the x-height
    if (y < kHorizon) return Lerp({250, 250, 255}, {140, 152, 186}, y - 1, kHorizon - 2);
    return Lerp({72, 112, 226}, {164, 204, 255}, y - kHorizon, kCellHeight - 2 - kHorizon);
}

const art::Rgb kHighlight{255, 255, 255};

art::Rgb Lighter(art::Rgb c) {
    auto up = [](std::uint8_t v) { return static_cast<std::uint8_t>(v + (255 - v) / 2); };
    return {up(c.r), up(c.g), up(c.b)};
}

std::map<char, Picture> ReadGlyphs(const std::string& path) {
    std::ifstream in(path);
    if (!in) throw std::runtime_error("cannot open " + path);
    std::map<char, Picture> glyphs;
    std::string line;
    int lineNo = 0;
    auto fail = [&](const std::string& why) {
        throw std::runtime_error(path + ":" + std::to_string(lineNo) + ": " + why);
    };
    while (std::getline(in, line)) {
        ++lineNo;
        if (line.empty() || line[0] == '#') continue;  // blank lines and comments between glyphs
        if (line.rfind("glyph ", 0) != 0 || line.size() != 7) fail("expected 'glyph C'");
        const char ch = line[6];
        if (kCharset.substr(0, kGlyphCount).find(ch) == std::string_view::npos) {
            fail(std::string("no cell for character '") + ch + "'");
        }
        if (glyphs.contains(ch)) fail(std::string("second picture for '") + ch + "'");
        Picture& picture = glyphs[ch];
        for (std::string& row : picture) {
            ++lineNo;
            if (!std::getline(in, row)) fail("picture ends early");
            if (row.size() != kCellWidth) fail("a picture row must be 10 characters wide");
            if (row.find_first_not_of(".#+") != std::string::npos) {
                fail("picture rows hold only '.', '#' and '+'");
            }
        }
    }
    for (char ch : kCharset.substr(0, kGlyphCount)) {
        if (!glyphs.contains(ch))
            throw std::runtime_error(std::string("no picture for '") + ch + "'");
    }
    return glyphs;
}

art::Image DrawSheet(const std::map<char, Picture>& glyphs) {
    art::Image sheet(kCellWidth * kColumns, kCellHeight * kRows + 1);
    for (std::size_t k = 0; k < kGlyphCount; ++k) {
        const Picture& picture = glyphs.at(kCharset[k]);
        const int left = static_cast<int>(k % kColumns) * kCellWidth;
        const int top = static_cast<int>(k / kColumns) * kCellHeight;
        for (int y = 0; y < kCellHeight; ++y) {
            for (int x = 0; x < kCellWidth; ++x) {
                const char c = picture[y][x];
                if (c == '.') continue;
                art::Rgb ink = c == '+' ? kHighlight : InkColour(y);
                // A stroke's upper edge catches the light, as the logo's bevel does.
                if (c == '#' && (y == 0 || picture[y - 1][x] == '.')) ink = Lighter(ink);
                sheet.at(left + x, top + y) = ink;
            }
        }
    }
    return sheet;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: %s GLYPHS.txt OUTPUT.bmp\n", argv[0]);
        return 2;
    }
    try {
        art::WriteFile(argv[2], art::EncodeBmp24(DrawSheet(ReadGlyphs(argv[1]))));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkfont: %s\n", e.what());
        return 1;
    }
    return 0;
}
