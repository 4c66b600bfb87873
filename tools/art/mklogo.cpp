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
#include <stdexcept>
#include <string>

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
constexpr double kAscender = 7;
constexpr double kXHeight = 33;
constexpr double kBaseline = 95;
constexpr double kPen = 6.5;  // half the stroke width
constexpr double kSlant = 0.16;
constexpr double kGap = 6;

constexpr double kBevel = 4.0;    // width of the bevelled rim inside the letters
constexpr double kOutline = 2.2;  // width of the outline around the letters
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
        const double w = 33;
        StrokeShape stem(r, {x, kAscender, x + w, B});
        stem.AddPath({{x + r, kAscender - 10}, {x + r, B + 10}}, 0);
        word.Add(stem);
        StrokeShape arms(r, {x, T, x + w, B});
        arms.AddPath({{x + r, T + 38}, {x + w + 4, T - 12}}, 0);
        arms.AddPath({{x + 14, T + 24}, {x + w + 2, B + 8}}, 0);
        word.Add(arms);
        x += w + kGap;
    }
    {  // o: a rounded box.
        const double w = 35;
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
        const double w = 28;
        StrokeShape rr(r, {x, T, x + w, B});
        rr.AddPath({{x + r, T - 10}, {x + r, B + 10}}, 0);
        rr.AddPath({{x + r, T + 26}, {x + r, T + r}, {x + w - r, T + r}, {x + w - r, T + r + 9}},
                   11);
        word.Add(rr);
        x += w + kGap;
    }
    {  // v
        const double w = 35;
        StrokeShape v(r, {x, T, x + w, B});
        v.AddPath({{x + r, T - 10}, {x + w / 2, B - r}, {x + w - r, T - 10}}, 3);
        word.Add(v);
        x += w + kGap;
    }
    {  // a: a two-storey box letter with a square-cut hook.
        const double w = 33;
        StrokeShape a(r, {x, T, x + w, B});
        a.AddPath({{x - 4, T + r}, {x + w - r, T + r}, {x + w - r, B + 10}}, 11);
        a.AddPath({{x + w - r, T + 32}, {x + r, T + 32}, {x + r, B - r}, {x + w - r, B - r}}, 8);
        word.Add(a);
        x += w + kGap;
    }
    {  // n
        const double w = 33;
        StrokeShape n(r, {x, T, x + w, B});
        n.AddPath({{x + r, T - 10}, {x + r, B + 10}}, 0);
        n.AddPath({{x + r, T + 26}, {x + r, T + r}, {x + w - r, T + r}, {x + w - r, B + 10}}, 11);
        word.Add(n);
        x += w + kGap;
    }
    {  // e
        const double w = 33;
        StrokeShape e(r, {x, T, x + w, B});
        e.AddPath({{x + r, T + 30},
                   {x + w - r, T + 30},
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
            const double lit = -0.6 * n.x - 0.8 * n.y;  // > 0 where the edge faces the light
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

// A four-pointed glint of light, as if the chrome caught a lamp. Its arms fade out, and are cut
// where they would grow too dark over the background.
void AddSparkle(art::Image& image, Vec2 centre) {
    constexpr int kReach = 13;
    for (int y = static_cast<int>(centre.y) - kReach; y <= static_cast<int>(centre.y) + kReach;
         ++y) {
        for (int x = static_cast<int>(centre.x) - kReach; x <= static_cast<int>(centre.x) + kReach;
             ++x) {
            const double dx = std::abs(x + 0.5 - centre.x);
            const double dy = std::abs(y + 0.5 - centre.y);
            const double across = std::max(0.0, 1 - dx / kReach) * std::exp(-dy * dy / 0.5);
            const double down = std::max(0.0, 1 - dy / (kReach * 0.7)) * std::exp(-dx * dx / 0.5);
            const double core = std::exp(-(dx * dx + dy * dy) / 5.0);
            const double light = std::min(1.0, std::max({across, down}) + core * 0.8);
            Rgb& p = image.at(x, y);
            if (p.IsBlack() && light < 0.3) continue;
            auto lift = [&](std::uint8_t v) {
                return static_cast<std::uint8_t>(std::lround(v + (255 - v) * light));
            };
            p = Rgb{lift(p.r), lift(p.g), lift(p.b)};
        }
    }
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
    AddSparkle(image, {275.5, 37.5});
    return image;
}

// The ink must stay where the intro expects it and bright enough to tell from the black key
// colour; a change of the drawing that breaks this is refused rather than written.
void CheckRules(const art::Image& image) {
    for (int y = 0; y < image.height; ++y) {
        for (int x = 0; x < image.width; ++x) {
            const Rgb& p = image.at(x, y);
            if (p.IsBlack()) continue;
            if (x > 290 || y < 4 || y > 104) {
                throw std::runtime_error("ink outside x 0..290, y 4..104 at " + std::to_string(x) +
                                         ", " + std::to_string(y));
            }
            if (std::max({p.r, p.g, p.b}) < 68) {
                throw std::runtime_error("ink too dark at " + std::to_string(x) + ", " +
                                         std::to_string(y));
            }
        }
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s OUTPUT.bmp\n", argv[0]);
        return 2;
    }
    try {
        const art::Image logo = DrawLogo();
        CheckRules(logo);
        art::WriteFile(argv[1], art::EncodeBmp24(logo));
    } catch (const std::exception& e) {
        std::fprintf(stderr, "mklogo: %s\n", e.what());
        return 1;
    }
    return 0;
}
