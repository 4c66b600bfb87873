// Draws the intro's logo, the word "korvane" in bevelled chrome lettering with a dark blue
// outline and drop shadow, on black. Usage: mklogo OUTPUT.bmp
//
// The picture is drawn by supersampling: every pixel looks at 4 x 4 points of the lettering,
// shades each one and averages those that are not background. The averaged colour is then
// faded by coverage only as far as the darkest allowed edge, so the edge of the logo never
// gets a fringe of pixels too dark to tell apart from the black (transparent) background
// once the picture is turned into 16-bit colour.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>

#include "bmp.h"
#include "shape.h"

namespace {

using art::Box;
using art::Lettering;
using art::Rgb;
using art::StrokeShape;
using art::Vec2;

constexpr int kWidth = 296;
constexpr int kHeight = 109;

// Vertical metrics of the lettering, in pixels from the top of the picture.
constexpr double kAscender = 10;
constexpr double kXHeight = 34;
constexpr double kBaseline = 92;
constexpr double kPen = 6;  // half the stroke width
constexpr double kSlant = 0.16;
constexpr double kGap = 6;

constexpr double kBevel = 4.0;     // width of the bevelled rim inside the letters
constexpr double kOutline = 2.2;   // width of the outline around the letters
constexpr Vec2 kShadowOffset{3.5, 3.5};

// The brightest pixel channel of any edge pixel; below about 68 a pixel would come too close
// to black.
constexpr double kMinChannel = 72;

struct Colour {
    double r, g, b;
};

Colour Mix(Colour a, Colour b, double t) {
    return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

Lettering BuildKorvane() {
    Lettering word(kSlant, kBaseline);
    const double r = kPen;
    const double T = kXHeight;
    const double B = kBaseline;
    double x = 4;

    {  // k: a full-height stem, and arms cut off at the x-height.
        const double w = 32;
        StrokeShape stem(r, {x, kAscender, x + w, B});
        stem.AddPath({{x + r, kAscender - 10}, {x + r, B + 10}}, 0);
        word.Add(stem);
        StrokeShape arms(r, {x, T, x + w, B});
        arms.AddPath({{x + r, T + 36}, {x + w + 4, T - 12}}, 0);
        arms.AddPath({{x + 13, T + 22}, {x + w + 2, B + 8}}, 0);
        word.Add(arms);
        x += w + kGap;
    }
    {  // o: a rounded box.
        const double w = 34;
        StrokeShape o(r, {x, T, x + w, B});
        const double mid = x + w / 2;
        o.AddPath({{mid, T + r},
                   {x + w - r, T + r},
                   {x + w - r, B - r},
                   {x + r, B - r},
                   {x + r, T + r},
                   {mid, T + r}},
                  11);
        word.Add(o);
        x += w + kGap;
    }
    {  // r: a stem with a shoulder that drops at its end.
        const double w = 27;
        StrokeShape rr(r, {x, T, x + w, B});
        rr.AddPath({{x + r, T - 10}, {x + r, B + 10}}, 0);
        rr.AddPath({{x + r, T + 26}, {x + r, T + r}, {x + w - r, T + r}, {x + w - r, T + r + 9}},
                   11);
        word.Add(rr);
        x += w + kGap;
    }
    {  // v
        const double w = 34;
        StrokeShape v(r, {x, T, x + w, B});
        v.AddPath({{x + r, T - 10}, {x + w / 2, B - r}, {x + w - r, T - 10}}, 3);
        word.Add(v);
        x += w + kGap;
    }
    {  // a: a two-storey box letter with a square-cut hook.
        const double w = 32;
        StrokeShape a(r, {x, T, x + w, B});
        a.AddPath({{x - 4, T + r}, {x + w - r, T + r}, {x + w - r, B + 10}}, 11);
        a.AddPath({{x + w - r, T + 30}, {x + r, T + 30}, {x + r, B - r}, {x + w - r, B - r}}, 8);
        word.Add(a);
        x += w + kGap;
    }
    {  // n
        const double w = 32;
        StrokeShape n(r, {x, T, x + w, B});
        n.AddPath({{x + r, T - 10}, {x + r, B + 10}}, 0);
        n.AddPath({{x + r, T + 26}, {x + r, T + r}, {x + w - r, T + r}, {x + w - r, B + 10}}, 11);
        word.Add(n);
        x += w + kGap;
    }
    {  // e
        const double w = 32;
        StrokeShape e(r, {x, T, x + w, B});
        e.AddPath({{x + r, T + 28},
                   {x + w - r, T + 28},
                   {x + w - r, T + r},
                   {x + r, T + r},
                   {x + r, B - r},
                   {x + w + 4, B - r}},
                  10);
        word.Add(e);
    }
    return word;
}

// The chrome face: a bright sky fading down to a horizon, then a sudden dark blue ground
// that brightens again towards the baseline.
Colour Face(double y) {
    const double horizon = kXHeight + (kBaseline - kXHeight) * 0.48;
    if (y < horizon) {
        const double t = std::clamp((y - kAscender) / (horizon - kAscender), 0.0, 1.0);
        return Mix({246, 248, 255}, {118, 132, 168}, t * t);
    }
    const double t = std::clamp((y - horizon) / (kBaseline - horizon), 0.0, 1.0);
    return Mix({34, 58, 150}, {150, 196, 255}, std::sqrt(t));
}

// Returns the colour at a sample point, or nothing (background) as a negative red.
Colour Shade(const Lettering& word, Vec2 p, bool& ink) {
    ink = true;
    const double d = word.Distance(p);
    if (d < 0) {
        Colour c = Face(p.y);
        const double depth = -d;
        if (depth < kBevel) {
            // Light comes from the upper left.
            const Vec2 n = word.Normal(p);
            const double lit = (-n.x * -0.6 + -n.y * -0.8) * -1;  // facing the light: > 0
            const double rim = 1 - depth / kBevel;
            if (lit > 0) {
                c = Mix(c, {255, 255, 255}, std::min(1.0, lit * rim * 1.1));
            } else {
                c = Mix(c, {28, 40, 110}, std::min(1.0, -lit * rim * 0.9));
            }
        }
        return c;
    }
    if (d < kOutline) return {54, 84, 196};
    if (word.Distance(p - kShadowOffset) < kOutline) return {16, 24, 92};
    ink = false;
    return {};
}

art::Image DrawLogo() {
    const Lettering word = BuildKorvane();
    art::Image image(kWidth, kHeight);
    constexpr int kSub = 4;
    for (int y = 0; y < kHeight; ++y) {
        for (int x = 0; x < kWidth; ++x) {
            Colour sum{0, 0, 0};
            int hits = 0;
            for (int sy = 0; sy < kSub; ++sy) {
                for (int sx = 0; sx < kSub; ++sx) {
                    const Vec2 p{x + (sx + 0.5) / kSub, y + (sy + 0.5) / kSub};
                    bool ink = false;
                    const Colour c = Shade(word, p, ink);
                    if (!ink) continue;
                    sum = {sum.r + c.r, sum.g + c.g, sum.b + c.b};
                    ++hits;
                }
            }
            const double coverage = static_cast<double>(hits) / (kSub * kSub);
            if (coverage < 0.25) continue;  // a sliver: leave it to the background
            Colour c{sum.r / hits, sum.g / hits, sum.b / hits};
            const double brightest = std::max({c.r, c.g, c.b});
            const double fade = std::max(coverage, std::min(1.0, kMinChannel / brightest));
            auto channel = [&](double v) {
                return static_cast<std::uint8_t>(std::clamp(std::lround(v * fade), 0L, 255L));
            };
            image.at(x, y) = Rgb{channel(c.r), channel(c.g), channel(c.b)};
        }
    }
    return image;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
        return 2;
    }
    try {
        art::WriteFile(argv[1], art::EncodeBmp24(DrawLogo()));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mklogo: %s\n", e.what());
        return 1;
    }
    return 0;
}
