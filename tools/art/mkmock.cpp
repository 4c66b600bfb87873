// Composes a screen the way the intro does, to look at the artwork together: a page of text in
// the font sheet's glyphs, then the logo over it, black being transparent in both, and every
// pixel passed through 16-bit RGB565 and back. Usage: mkmock LOGO.bmp SHEET.bmp PAGE OUT.bmp
// where PAGE is 1 or 2.
#include <cstdio>
#include <exception>
#include <stdexcept>
#include <string>
#include <string_view>

#include "bmp.h"

namespace {

constexpr std::string_view kCharset = "abcdefghijklmnopqrstuvwxyz().:!*?-<>0123456789#     ";
constexpr std::string_view kPages[2][7] = {
    {"------------------------------", "korvane presents on xx-xx-2001",
     "    *another cewl release*    ", "------------------------------",
     "     cracked by *unknown*     ", "  supplied by *team korvane*  ",
     "------------------------------"},
    {"------------------------------", "    i n t r o c r e d i t s   ",
     "------------------------------", "programming:  quelmarn.korvane",
     "music......: vyr.brisk-lantern", "graphics...:              mirl",
     "------------------------------"},
};

art::Rgb ThroughRgb565(art::Rgb c) {
    const int r5 = c.r >> 3;
    const int g6 = c.g >> 2;
    const int b5 = c.b >> 3;
    // Widen back by repeating the high bits, as a display does.
    return {static_cast<std::uint8_t>(r5 << 3 | r5 >> 2),
            static_cast<std::uint8_t>(g6 << 2 | g6 >> 4),
            static_cast<std::uint8_t>(b5 << 3 | b5 >> 2)};
}

bool IsKey(art::Rgb c) { return (c.r >> 3) == 0 && (c.g >> 2) == 0 && (c.b >> 3) == 0; }

void Blit(art::Image& screen, const art::Image& source, int sx, int sy, int w, int h, int dx,
          int dy) {
    for (int y = 0; y < h; ++y) {
        for (int x = 0; x < w; ++x) {
            const art::Rgb c = source.at(sx + x, sy + y);
            if (IsKey(c)) continue;
            if (dx + x < 0 || dy + y < 0 || dx + x >= screen.width || dy + y >= screen.height)
                continue;
            screen.at(dx + x, dy + y) = ThroughRgb565(c);
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fprintf(stderr, "usage: %s LOGO.bmp SHEET.bmp PAGE OUT.bmp\n", argv[0]);
        return 2;
    }
    try {
        const art::Image logo = art::DecodeBmp24(art::ReadFile(argv[1]));
        const art::Image sheet = art::DecodeBmp24(art::ReadFile(argv[2]));
        const int page = std::stoi(argv[3]);
        if (page < 1 || page > 2) throw std::runtime_error("PAGE is 1 or 2");
        art::Image screen(320, 240);
        for (int row = 0; row < 7; ++row) {
            const std::string_view line = kPages[page - 1][row];
            for (int col = 0; col < static_cast<int>(line.size()); ++col) {
                const std::size_t k = kCharset.find(line[col]);
                if (k == std::string_view::npos) throw std::runtime_error("no glyph in the text");
                Blit(screen, sheet, static_cast<int>(k % 26) * 10, static_cast<int>(k / 26) * 18,
                     10, 18, 10 + 10 * col, 108 + 18 * row);
            }
        }
        Blit(screen, logo, 0, 0, logo.width, logo.height, 12, 5);
        art::WriteFile(argv[4], art::EncodeBmp24(screen));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkmock: %s\n", e.what());
        return 1;
    }
    return 0;
}
