// Reads screenshots of the running intro and checks them against the
// headless reference frames and against the text the intro types.
//
//   screen_check compare SHOT REF [--only X0 Y0 X1 Y1]
//       SHOT is the whole screen, REF a 320 x 240 frame. The frame must sit
//       in SHOT scaled by the largest whole factor that fits, centred, with
//       every pixel outside it black. --only restricts the comparison of the
//       picture to a rectangle of REF (right and bottom exclusive); the black
//       border is checked in any case.
//   screen_check text SHOT SHEET LOGO SOURCE
//       Prints the seven text rows read from the frame on SHOT (placed as
//       for compare), one cell per character, '?' for a cell that shows no
//       glyph.
//   screen_check reveal SHOT SHEET LOGO SOURCE
//       Prints "PAGE LOW HIGH": the page whose beginning SHOT shows and the
//       range of revealed counts it is consistent with ("0 0 0" when no
//       character is visible). Fails when SHOT shows anything else.
//   screen_check black SHOT
//       Succeeds when every pixel of SHOT is black.
//
// Every comparison is made on RGB565 values (each channel truncated), the
// intro's own pixel format, so that X servers of depth 16 and 24 compare
// alike. SHEET and LOGO are the 24-bit BMP files of the artwork; SOURCE is
// the main form's unit, from which the glyph alphabet and the page texts
// are taken so that they are written down in one place only.
#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct Image {
    int width = 0, height = 0;
    std::vector<uint16_t> px;  // RGB565
    uint16_t at(int x, int y) const { return px[size_t(y) * size_t(width) + size_t(x)]; }
};

uint16_t To565(unsigned r, unsigned g, unsigned b) {
    return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

[[noreturn]] void Die(const std::string& message) {
    std::fprintf(stderr, "screen_check: %s\n", message.c_str());
    std::exit(2);
}

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) Die("cannot read " + path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Binary PPM (P6) with a maximum of 255 or 65535, as ImageMagick writes it.
Image ReadPpm(const std::string& path) {
    const std::string data = ReadFile(path);
    size_t pos = 0;
    auto token = [&]() {
        for (;;) {
            while (pos < data.size() && std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
            if (pos < data.size() && data[pos] == '#') {
                while (pos < data.size() && data[pos] != '\n') ++pos;
                continue;
            }
            break;
        }
        const size_t start = pos;
        while (pos < data.size() && !std::isspace(static_cast<unsigned char>(data[pos]))) ++pos;
        return data.substr(start, pos - start);
    };
    if (token() != "P6") Die(path + " is not a binary PPM");
    Image img;
    img.width = std::atoi(token().c_str());
    img.height = std::atoi(token().c_str());
    const int maxval = std::atoi(token().c_str());
    ++pos;  // the single white-space character before the pixels
    const size_t bytes = maxval > 255 ? 2 : 1;
    if (img.width <= 0 || img.height <= 0 || (maxval != 255 && maxval != 65535))
        Die(path + ": unsupported PPM header");
    if (data.size() < pos + size_t(img.width) * size_t(img.height) * 3 * bytes) Die(path + " is truncated");
    img.px.resize(size_t(img.width) * size_t(img.height));
    const auto* p = reinterpret_cast<const unsigned char*>(data.data() + pos);
    for (auto& v : img.px) {
        unsigned c[3];
        for (unsigned& ch : c) {
            ch = p[0];  // the high byte of a 16-bit sample is its 8-bit value
            p += bytes;
        }
        v = To565(c[0], c[1], c[2]);
    }
    return img;
}

// Uncompressed 24-bit BMP, bottom-up or top-down.
Image ReadBmp(const std::string& path) {
    const std::string data = ReadFile(path);
    auto u32 = [&](size_t o) {
        if (o + 4 > data.size()) Die(path + " is truncated");
        uint32_t v;
        std::memcpy(&v, data.data() + o, 4);
        return v;
    };
    if (data.size() < 54 || data[0] != 'B' || data[1] != 'M') Die(path + " is not a BMP file");
    const uint32_t offset = u32(10);
    const int32_t width = static_cast<int32_t>(u32(18));
    const int32_t height = static_cast<int32_t>(u32(22));
    const uint16_t bits = static_cast<uint16_t>(static_cast<unsigned char>(data[28]) | (data[29] << 8));
    if (bits != 24 || u32(30) != 0) Die(path + " is not an uncompressed 24-bit BMP");
    Image img;
    img.width = width;
    img.height = height < 0 ? -height : height;
    const size_t stride = (size_t(width) * 3 + 3) & ~size_t(3);
    if (data.size() < offset + stride * size_t(img.height)) Die(path + " is truncated");
    img.px.resize(size_t(img.width) * size_t(img.height));
    for (int y = 0; y < img.height; ++y) {
        const int row = height < 0 ? y : img.height - 1 - y;
        const auto* p = reinterpret_cast<const unsigned char*>(data.data() + offset + stride * size_t(row));
        for (int x = 0; x < img.width; ++x, p += 3)
            img.px[size_t(y) * size_t(img.width) + size_t(x)] = To565(p[2], p[1], p[0]);
    }
    return img;
}

struct TextSource {
    std::string charset;
    std::vector<std::string> lines;
};

// The first double-quoted string at or after pos; pos moves past it.
bool NextQuoted(const std::string& s, size_t& pos, size_t end, std::string& out) {
    const size_t open = s.find('"', pos);
    if (open == std::string::npos || open >= end) return false;
    const size_t close = s.find('"', open + 1);
    if (close == std::string::npos) return false;
    out = s.substr(open + 1, close - open - 1);
    pos = close + 1;
    return true;
}

TextSource ReadSource(const std::string& path) {
    const std::string s = ReadFile(path);
    TextSource src;
    size_t pos = s.find("GlyphCharset =");
    if (pos == std::string::npos || !NextQuoted(s, pos, s.size(), src.charset))
        Die(path + ": no GlyphCharset");
    pos = s.find("TextLines = {");
    if (pos == std::string::npos) Die(path + ": no TextLines");
    const size_t end = s.find("};", pos);
    std::string line;
    while (NextQuoted(s, pos, end, line)) src.lines.push_back(line);
    if (src.charset.size() != 52 || src.lines.size() != 14) Die(path + ": unexpected glyph alphabet or text");
    return src;
}

constexpr int kCols = 30, kRows = 7, kCellW = 10, kCellH = 18, kTextX = 10, kTextY = 108;
constexpr int kLogoX = 12, kLogoY = 5;

class TextReader {
public:
    TextReader(const Image& sheet, const Image& logo, const TextSource& src) : sheet_(sheet), logo_(logo), src_(src) {}

    // What cell (col, row) of the screen shows when glyph k is drawn there
    // and the logo over it, as every frame is composed.
    uint16_t Expected(int k, int col, int row, int dx, int dy) const {
        const int sx = kTextX + kCellW * col + dx, sy = kTextY + kCellH * row + dy;
        const int lx = sx - kLogoX, ly = sy - kLogoY;
        if (lx >= 0 && ly >= 0 && lx < logo_.width && ly < logo_.height && logo_.at(lx, ly) != 0)
            return logo_.at(lx, ly);
        if (k < 0) return 0;
        return sheet_.at(kCellW * (k % 26) + dx, kCellH * (k / 26) + dy);
    }

    bool Matches(const Image& shot, int k, int col, int row) const {
        for (int dy = 0; dy < kCellH; ++dy)
            for (int dx = 0; dx < kCellW; ++dx)
                if (shot.at(kTextX + kCellW * col + dx, kTextY + kCellH * row + dy) != Expected(k, col, row, dx, dy))
                    return false;
        return true;
    }

    // A glyph whose cell is black all over reads as a space.
    bool IsBlankGlyph(int k) const {
        for (int dy = 0; dy < kCellH; ++dy)
            for (int dx = 0; dx < kCellW; ++dx)
                if (sheet_.at(kCellW * (k % 26) + dx, kCellH * (k / 26) + dy) != 0) return false;
        return true;
    }

    // The character a text character shows as: itself, or ' ' when its
    // glyph is blank or it has none.
    char Shown(char c) const {
        const auto k = src_.charset.find(c);
        if (k == std::string::npos || IsBlankGlyph(int(k))) return ' ';
        return c;
    }

    // Reads one cell; `hint` is tried first so that two glyphs drawn alike
    // do not make the reading depend on the alphabet's order.
    char Read(const Image& shot, int col, int row, char hint) const {
        if (Matches(shot, -1, col, row)) return ' ';
        const auto h = src_.charset.find(hint);
        if (h != std::string::npos && Matches(shot, int(h), col, row)) return hint;
        for (int k = 0; k < int(src_.charset.size()); ++k)
            if (!IsBlankGlyph(k) && Matches(shot, k, col, row)) return src_.charset[size_t(k)];
        return '?';
    }

    std::string ReadAll(const Image& shot, const std::string& hints) const {
        std::string out;
        for (int row = 0; row < kRows; ++row)
            for (int col = 0; col < kCols; ++col) {
                const size_t i = size_t(row) * kCols + size_t(col);
                out += Read(shot, col, row, i < hints.size() ? hints[i] : ' ');
            }
        return out;
    }

    std::string Page(int p) const {
        std::string text;
        for (int row = 0; row < kRows; ++row) text += src_.lines[size_t((p - 1) * kRows + row)];
        return text;
    }

private:
    const Image& sheet_;
    const Image& logo_;
    const TextSource& src_;
};

struct Placement {
    int scale = 1, x = 0, y = 0;
};

// Where a frame of refW x refH sits on a screen: scaled by the largest whole
// factor that fits, centred.
Placement Place(const Image& shot, int refW, int refH) {
    Placement p;
    p.scale = std::min(shot.width / refW, shot.height / refH);
    if (p.scale < 1) Die("the screen is smaller than the frame");
    p.x = (shot.width - refW * p.scale) / 2;
    p.y = (shot.height - refH * p.scale) / 2;
    return p;
}

// The 320 x 240 frame shown on a screen, one pixel of each block.
Image Unscaled(const Image& shot) {
    const Placement p = Place(shot, 320, 240);
    Image frame;
    frame.width = 320;
    frame.height = 240;
    frame.px.resize(320 * 240);
    for (int y = 0; y < 240; ++y)
        for (int x = 0; x < 320; ++x) frame.px[size_t(y) * 320 + size_t(x)] = shot.at(p.x + x * p.scale, p.y + y * p.scale);
    return frame;
}

void PrintRows(const std::string& text, FILE* to) {
    for (int row = 0; row < kRows; ++row)
        std::fprintf(to, "|%s|\n", text.substr(size_t(row) * kCols, kCols).c_str());
}

int Compare(int argc, char** argv) {
    if (argc != 4 && argc != 9) Die("usage: compare SHOT REF [--only X0 Y0 X1 Y1]");
    const Image shot = ReadPpm(argv[2]);
    const Image ref = ReadPpm(argv[3]);
    int x0 = 0, y0 = 0, x1 = ref.width, y1 = ref.height;
    if (argc == 9) {
        if (std::strcmp(argv[4], "--only") != 0) Die("unknown option " + std::string(argv[4]));
        x0 = std::atoi(argv[5]);
        y0 = std::atoi(argv[6]);
        x1 = std::atoi(argv[7]);
        y1 = std::atoi(argv[8]);
    }
    const Placement place = Place(shot, ref.width, ref.height);
    const int k = place.scale, ox = place.x, oy = place.y;
    long picture = 0, border = 0;
    int fx = -1, fy = -1;
    uint16_t fgot = 0, fwant = 0;
    for (int y = 0; y < shot.height; ++y)
        for (int x = 0; x < shot.width; ++x) {
            const int rx = (x - ox) / k, ry = (y - oy) / k;
            const bool inside = x >= ox && y >= oy && rx < ref.width && ry < ref.height;
            if (inside && (rx < x0 || ry < y0 || rx >= x1 || ry >= y1)) continue;
            const uint16_t want = inside ? ref.at(rx, ry) : 0;
            const uint16_t got = shot.at(x, y);
            if (got == want) continue;
            ++(inside ? picture : border);
            if (fx < 0) {
                fx = x;
                fy = y;
                fgot = got;
                fwant = want;
            }
        }
    std::printf("screen %dx%d, frame scaled by %d at (%d, %d)\n", shot.width, shot.height, k, ox, oy);
    if (picture == 0 && border == 0) return 0;
    std::printf("%ld pixels of the picture and %ld of the border differ; the first at screen (%d, %d): "
                "0x%04x where 0x%04x was expected\n",
                picture, border, fx, fy, fgot, fwant);
    return 1;
}

int Text(int argc, char** argv, bool reveal) {
    if (argc != 6) Die("usage: text|reveal SHOT SHEET LOGO SOURCE");
    const Image shot = Unscaled(ReadPpm(argv[2]));
    const Image sheet = ReadBmp(argv[3]);
    const Image logo = ReadBmp(argv[4]);
    const TextSource src = ReadSource(argv[5]);
    if (sheet.width < 26 * kCellW || sheet.height < 2 * kCellH) Die("the font sheet is too small");
    const TextReader reader(sheet, logo, src);
    if (!reveal) {
        PrintRows(reader.ReadAll(shot, reader.Page(1)), stdout);
        return 0;
    }
    for (int p = 1; p <= 2; ++p) {
        const std::string page = reader.Page(p);
        const std::string seen = reader.ReadAll(shot, page);
        size_t low = 0;
        for (size_t i = 0; i < seen.size(); ++i)
            if (seen[i] != ' ') low = i + 1;
        bool prefix = true;
        for (size_t i = 0; i < low; ++i) prefix = prefix && seen[i] == reader.Shown(page[i]);
        if (!prefix) continue;
        // Revealed spaces look like unrevealed cells.
        size_t high = low;
        while (high < page.size() && reader.Shown(page[high]) == ' ') ++high;
        if (low == 0) {
            std::printf("0 0 %zu\n", high);
        } else {
            std::printf("%d %zu %zu\n", p, low, high);
        }
        return 0;
    }
    std::fprintf(stderr, "the screen shows no beginning of either page:\n");
    PrintRows(reader.ReadAll(shot, reader.Page(1)), stderr);
    return 1;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) Die("usage: screen_check compare|text|reveal ...");
    const std::string cmd = argv[1];
    if (cmd == "compare") return Compare(argc, argv);
    if (cmd == "text") return Text(argc, argv, false);
    if (cmd == "reveal") return Text(argc, argv, true);
    if (cmd == "black") {
        if (argc != 3) Die("usage: black SHOT");
        const Image shot = ReadPpm(argv[2]);
        const long lit = std::count_if(shot.px.begin(), shot.px.end(), [](uint16_t v) { return v != 0; });
        std::printf("%ld of %d x %d pixels are not black\n", lit, shot.width, shot.height);
        return lit == 0 ? 0 : 1;
    }
    Die("unknown command " + cmd);
}
