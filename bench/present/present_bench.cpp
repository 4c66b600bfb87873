// Presenting the 320 x 240 RGB565 picture at 1x and at 4x (1280 x 960),
// into an RGB565 framebuffer (a 16-bit screen) and an XRGB8888 one (a
// desktop): the backend's whole-factor scaler beside SDL_BlitScaled, SDL's
// own software scaled blit, on the same surfaces. Each configuration runs
// the two interleaved and reports their medians and ratio as counters.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include "Scale.h"

namespace {

constexpr int kW = 320, kH = 240;

double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}


void Present(benchmark::State& state) {
    const int k = int(state.range(0));
    const bool rgb565 = state.range(1) != 0;
    SDL_Surface* frame = SDL_CreateRGBSurfaceWithFormat(0, kW, kH, 16, SDL_PIXELFORMAT_RGB565);
    SDL_Surface* screen = SDL_CreateRGBSurfaceWithFormat(0, kW * k, kH * k, rgb565 ? 16 : 32,
                                                         rgb565 ? SDL_PIXELFORMAT_RGB565 : SDL_PIXELFORMAT_XRGB8888);
    if (!frame || !screen) {
        state.SkipWithError(SDL_GetError());
        return;
    }
    // A picture with every colour channel in use.
    for (int y = 0; y < kH; ++y) {
        auto* row = reinterpret_cast<uint16_t*>(static_cast<uint8_t*>(frame->pixels) + size_t(y) * frame->pitch);
        for (int x = 0; x < kW; ++x) row[x] = uint16_t(x * 97 + y * 31 + (x ^ y) * 7);
    }
    const auto* src = static_cast<const uint16_t*>(frame->pixels);
    const int srcPitch = frame->pitch / 2;
    auto ours = [&] {
        ScaleWhole(src, srcPitch, kW, kH, k, static_cast<uint8_t*>(screen->pixels), screen->pitch,
                   rgb565 ? backend::PixelLayout::Rgb565 : backend::PixelLayout::Xrgb8888);
        benchmark::DoNotOptimize(screen->pixels);
        benchmark::ClobberMemory();
    };
    auto sdls = [&] {
        SDL_Rect to{0, 0, kW * k, kH * k};
        SDL_BlitScaled(frame, nullptr, screen, &to);
        benchmark::DoNotOptimize(screen->pixels);
        benchmark::ClobberMemory();
    };
    // Both must show the same picture.
    ours();
    std::vector<uint8_t> mine(static_cast<uint8_t*>(screen->pixels),
                              static_cast<uint8_t*>(screen->pixels) + size_t(screen->pitch) * screen->h);
    sdls();
    // SDL writes the unused byte of XRGB8888 as it likes, and may round the
    // 5- and 6-bit channels up to 8 bits its own way: at most one step.
    bool same = true;
    const auto* theirs = static_cast<const uint8_t*>(screen->pixels);
    for (size_t i = 0; i < mine.size() && same; ++i) {
        if (!rgb565 && i % 4 == 3) continue;
        same = rgb565 ? mine[i] == theirs[i] : std::abs(int(mine[i]) - int(theirs[i])) <= 1;
    }
    if (!same) {
        state.SkipWithError("the scaler and SDL_BlitScaled disagree");
        SDL_FreeSurface(screen);
        SDL_FreeSurface(frame);
        return;
    }
    std::vector<double> a, b;
    a.reserve(4096);
    b.reserve(4096);
    for (auto _ : state) {
        const double t0 = ThreadSeconds();
        ours();
        const double t1 = ThreadSeconds();
        sdls();
        const double t2 = ThreadSeconds();
        if (a.size() < 4096) {
            a.push_back(t1 - t0);
            b.push_back(t2 - t1);
        }
    }
    auto median = [](std::vector<double>& v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const double oursMs = median(a) * 1e3, sdlMs = median(b) * 1e3;
    state.counters["ours_ms"] = oursMs;
    state.counters["sdl_ms"] = sdlMs;
    state.counters["sdl_per_ours"] = sdlMs / oursMs;
    state.SetLabel(rgb565 ? "to RGB565" : "to XRGB8888");
    SDL_FreeSurface(screen);
    SDL_FreeSurface(frame);
}
BENCHMARK(Present)->ArgNames({"scale", "rgb565"})->Args({1, 1})->Args({1, 0})->Args({4, 1})->Args({4, 0})
    ->MinTime(1.0);

}  // namespace

BENCHMARK_MAIN();
