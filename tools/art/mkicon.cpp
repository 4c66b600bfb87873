// Draws the program's icon: a bevelled chrome "k" like the logo's first letter, outlined in
// blue, 32 x 32 pixels in 16 colours. Usage: mkicon OUTPUT.bmp
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <limits>

#include "bmp.h"
#include "shape.h"

namespace {

using art::Lettering;
using art::Rgb;
using art::StrokeShape;
using art::Vec2;

constexpr int kSize = 32;

// Black first (the background), then the chrome greys and the blues of the logo.
constexpr std::array<Rgb, 16> kPalette{{
    {0, 0, 0},
    {255, 255, 255},
    {222, 226, 238},
    {186, 194, 214},
    {148, 160, 190},
    {112, 124, 160},
    {150, 196, 255},
    {104, 150, 240},
    {64, 104, 220},
    {40, 70, 176},
    {26, 44, 128},
    {16, 24, 92},
    {54, 84, 196},
    {236, 240, 252},
    {90, 100, 140},
    {128, 176, 250},
}};

constexpr double kTop = 3;
constexpr double kBaseline = 28;
constexpr double kHorizon = 15.5;

Lettering BuildK() {
    Lettering k(0.14, kBaseline);
    const double r = 3.4;
    const double left = 5;
    const double right = 25;
    StrokeShape stem(r, {left, kTop, right, kBaseline});
    stem.AddPath({{left + r, kTop - 5}, {left + r, kBaseline + 5}}, 0);
    k.Add(stem);
    StrokeShape arms(r, {left, kTop + 7, right, kBaseline});
    arms.AddPath({{left + r, kTop + 22}, {right + 2, kTop + 4}}, 0);
    arms.AddPath({{left + 11, kTop + 14}, {right + 1, kBaseline + 4}}, 0);
    k.Add(arms);
    return k;
}

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Colour Face(double y) {
    if (y < kHorizon) {
        const double t = std::clamp((y - kTop) / (kHorizon - kTop), 0.0, 1.0);
        return Mix({246, 248, 255}, {118, 132, 168}, t * t);
    }
    const double t = std::clamp((y - kHorizon) / (kBaseline - kHorizon), 0.0, 1.0);
    return Mix({34, 58, 150}, {150, 196, 255}, std::sqrt(t));
}

bool Shade(const Lettering& k, Vec2 p, Colour& out) {
    const double d = k.Distance(p);
    if (d < 0) {
        out = Face(p.y);
        if (-d < 1.6) {
            const Vec2 n = k.Normal(p);
            const double toLight = -0.6 * n.x - 0.8 * n.y;
            out = toLight > 0 ? Mix(out, {255, 255, 255}, std::min(1.0, toLight))
                              : Mix(out, {28, 40, 110}, std::min(1.0, -toLight * 0.8));
        }
        return true;
    }
    if (d < 1.3) {
        out = {54, 84, 196};
        return true;
    }
    if (k.Distance(p - Vec2{1.5, 1.5}) < 1.3) {
        out = {16, 24, 92};
        return true;
    }
    return false;
}

std::uint8_t Nearest(Colour c) {
    std::uint8_t best = 1;
    double bestDistance = std::numeric_limits<double>::max();
    for (std::size_t i = 1; i < kPalette.size(); ++i) {
        const double dr = c.r - kPalette[i].r;
        const double dg = c.g - kPalette[i].g;
        const double db = c.b - kPalette[i].b;
        const double distance = 3 * dr * dr + 4 * dg * dg + 2 * db * db;
        if (distance < bestDistance) {
            bestDistance = distance;
            best = static_cast<std::uint8_t>(i);
        }
    }
    return best;
}

art::IndexedImage DrawIcon() {
    const Lettering k = BuildK();
    art::IndexedImage icon;
    icon.width = kSize;
    icon.height = kSize;
    icon.palette = kPalette;
    icon.indices.assign(kSize * kSize, 0);
    constexpr int kSub = 4;
    for (int y = 0; y < kSize; ++y) {
        for (int x = 0; x < kSize; ++x) {
            Colour sum{0, 0, 0};
            int hits = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    Colour c;
                    if (!Shade(k, {x + (sx + 0.5) / kSub, y + (sy + 0.5) / kSub}, c)) continue;
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    ++hits;
                }
            }
            // Edge pixels take the colour of what covers most of them; an icon has no blending.
            if (hits * 2 < kSub * kSub) continue;
            icon.indices[y * kSize + x] = Nearest({sum.r / hits, sum.g / hits, sum.b / hits});
        }
    }
    return icon;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
        return 2;
    }
    try {
        art::WriteFile(argv[1], art::EncodeBmp4(DrawIcon()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mkicon: %s\n", e.what());
        return 1;
    }
    return 0;
}
