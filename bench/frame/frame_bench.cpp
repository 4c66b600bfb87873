// The intro's worst-case frame: the fill, a complete page of 210 glyphs and
// the logo, composed through the intro's own procedures on the real form and
// image list (the intro runs on the headless backend). Two peers do the same
// work on the same pictures in the same run:
//
//  - the memory floor: one fill and one memcpy of every sprite row, which
//    no colour-keyed draw can beat;
//  - SDL's colour-keyed SDL_BlitSurface on RGB565 surfaces.
//
// Frame_Ratios interleaves the three so that a busy machine slows them
// alike, and reports the ratios as counters. Every operator new is counted;
// an allocation while the intro composes a frame is an error and makes the
// program exit non-zero.
#include <SDL.h>
#include <benchmark/benchmark.h>

#include <algorithm>
#include <ctime>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <string>
#include <vector>

#include "Headless.h"
#include "MainUnit.h"

// ------------------------------------------------------------ allocations

namespace {
// Plain counters: the benchmark and the intro's frame run on one thread.
uint64_t gAllocations = 0;
uint64_t gFrameAllocations = 0;

void* Allocate(std::size_t size) {
    ++gAllocations;
    if (void* p = std::malloc(size ? size : 1)) return p;
    throw std::bad_alloc();
}
void* AllocateAligned(std::size_t size, std::align_val_t align) {
    ++gAllocations;
    const auto a = static_cast<std::size_t>(align);
    if (void* p = std::aligned_alloc(a, (size + a - 1) / a * a)) return p;
    throw std::bad_alloc();
}
}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void* operator new(std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void* operator new[](std::size_t size, std::align_val_t align) { return AllocateAligned(size, align); }
void operator delete(void* p) noexcept { std::free(p); }
void operator delete[](void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t) noexcept { std::free(p); }
void operator delete(void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::align_val_t) noexcept { std::free(p); }
void operator delete(void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }
void operator delete[](void* p, std::size_t, std::align_val_t) noexcept { std::free(p); }

namespace {

constexpr int kPageEntries = 210;

// --------------------------------------------------------------- the intro

std::filesystem::path gScratch;

// Runs the intro's start-up on the headless backend: the form from its
// stored definition, the display initialised, the image list's surfaces
// made, the glyphs laid out.
bool StartIntro(std::string& error) {
    char pattern[] = "/tmp/korvane-frame-bench-XXXXXX";
    if (!mkdtemp(pattern)) {
        error = "cannot make a scratch folder";
        return false;
    }
    gScratch = pattern;
    // The form writes the player library and the module into the temporary
    // folder when it is created.
    setenv("TMPDIR", pattern, 1);
    setenv("KORVANE_BACKEND", "headless", 1);
    backend::Install(std::make_unique<backend::Headless>());
    Application.Initialize();
    Application.CreateForm(frmMain, "TFRMMAIN");
    if (!frmMain || !frmMain->dxDraw || !frmMain->dxDraw->Surface() || !frmMain->ImageList) {
        error = "the intro did not initialise its display";
        return false;
    }
    const int count = frmMain->ImageList->Items.Count();
    for (int i = 0; i < count; ++i) {
        if (!frmMain->ImageList->Items[i].HasSurface()) {
            error = "image " + std::to_string(i) + " has no surface";
            return false;
        }
    }
    return true;
}

// Page 1 completely typed: the typewriter's pause keeps it still.
void CompletePage() {
    RevealStart = 0;
    RevealEnd = kPageEntries;
    RevealPage = 1;
    RevealPause = 1;
    RevealDelay = 0;
}

// What a drawn tick composes, through the intro's own procedures.
void ComposeIntroFrame() {
    CompletePage();
    if (frmMain->dxDraw->Surface()) frmMain->dxDraw->Surface()->Fill(0);
    frmMain->DrawTypewriterText();
    DrawSprite(LogoSprite, frmMain->dxDraw, frmMain->ImageList);
}

// The sprites of the frame in drawing order: image index and position.
struct Placed {
    int image, x, y;
};
std::vector<Placed> FrameSprites() {
    std::vector<Placed> sprites;
    for (int i = 0; i < kPageEntries; ++i) {
        const TSpriteRec& e = GlyphTable[size_t(i)];
        sprites.push_back({e.ImageIndex, e.X, e.Y});
    }
    sprites.push_back({LogoSprite.ImageIndex, LogoSprite.X, LogoSprite.Y});
    return sprites;
}

// ---------------------------------------------------------- the memory floor

struct RowCopy {
    const uint16_t* src;
    uint16_t* dst;
    size_t bytes;
};

struct Floor {
    std::vector<uint16_t> screen;
    std::vector<RowCopy> rows;
    size_t pixelsCopied = 0;
};

Floor MakeFloor() {
    Floor f;
    const int W = frmMain->dxDraw->Surface()->Width(), H = frmMain->dxDraw->Surface()->Height();
    f.screen.assign(size_t(W) * H, 0);
    for (const Placed& s : FrameSprites()) {
        const TDirectDrawSurface* src = frmMain->ImageList->Items[s.image].ItemSurface();
        const int x0 = std::max(s.x, 0), y0 = std::max(s.y, 0);
        const int x1 = std::min(s.x + src->Width(), W), y1 = std::min(s.y + src->Height(), H);
        if (x1 <= x0 || y1 <= y0) continue;
        for (int y = y0; y < y1; ++y) {
            f.rows.push_back({src->Row(y - s.y) + (x0 - s.x), &f.screen[size_t(y) * W + x0], size_t(x1 - x0) * 2});
            f.pixelsCopied += size_t(x1 - x0);
        }
    }
    return f;
}

void ComposeFloorFrame(Floor& f) {
    std::memset(f.screen.data(), 0, f.screen.size() * sizeof(uint16_t));
    for (const RowCopy& r : f.rows) std::memcpy(r.dst, r.src, r.bytes);
    benchmark::DoNotOptimize(f.screen.data());
    benchmark::ClobberMemory();
}

// ------------------------------------------------------------------ SDL's

struct SdlPeer {
    SDL_Surface* screen = nullptr;
    std::vector<SDL_Surface*> images;  // one per image list item
    std::vector<Placed> sprites;
    ~SdlPeer() {
        for (SDL_Surface* s : images) SDL_FreeSurface(s);
        if (screen) SDL_FreeSurface(screen);
    }
};

// The same pictures as RGB565 SDL surfaces, keyed on the same 16-bit value.
bool MakeSdlPeer(SdlPeer& peer, std::string& error) {
    const TDirectDrawSurface* ours = frmMain->dxDraw->Surface();
    peer.screen = SDL_CreateRGBSurfaceWithFormat(0, ours->Width(), ours->Height(), 16, SDL_PIXELFORMAT_RGB565);
    if (!peer.screen) {
        error = SDL_GetError();
        return false;
    }
    const int count = frmMain->ImageList->Items.Count();
    for (int i = 0; i < count; ++i) {
        const TPictureCollectionItem& item = frmMain->ImageList->Items[i];
        const TDirectDrawSurface* src = item.ItemSurface();
        SDL_Surface* s = SDL_CreateRGBSurfaceWithFormat(0, src->Width(), src->Height(), 16, SDL_PIXELFORMAT_RGB565);
        if (!s) {
            error = SDL_GetError();
            return false;
        }
        peer.images.push_back(s);
        for (int y = 0; y < src->Height(); ++y)
            std::memcpy(static_cast<uint8_t*>(s->pixels) + size_t(y) * s->pitch, src->Row(y), size_t(src->Width()) * 2);
        if (item.Transparent) SDL_SetColorKey(s, SDL_TRUE, ColorToRGB565(item.TransparentColor));
    }
    peer.sprites = FrameSprites();
    return true;
}

void ComposeSdlFrame(SdlPeer& peer) {
    SDL_FillRect(peer.screen, nullptr, 0);
    for (const Placed& s : peer.sprites) {
        SDL_Rect at{s.x, s.y, 0, 0};
        SDL_BlitSurface(peer.images[size_t(s.image)], nullptr, peer.screen, &at);
    }
    benchmark::DoNotOptimize(peer.screen->pixels);
    benchmark::ClobberMemory();
}

// Both composers must produce the same picture, or the comparison means
// nothing.
bool SamePicture(SdlPeer& peer, std::string& error) {
    ComposeIntroFrame();
    ComposeSdlFrame(peer);
    const TDirectDrawSurface* ours = frmMain->dxDraw->Surface();
    size_t lit = 0;
    for (int y = 0; y < ours->Height(); ++y) {
        const auto* theirs = reinterpret_cast<const uint16_t*>(static_cast<const uint8_t*>(peer.screen->pixels) +
                                                               size_t(y) * peer.screen->pitch);
        for (int x = 0; x < ours->Width(); ++x) {
            if (ours->Row(y)[x] != theirs[x]) {
                char text[128];
                std::snprintf(text, sizeof text, "pictures differ at (%d, %d): ours %04x, SDL's %04x", x, y,
                              ours->Row(y)[x], theirs[x]);
                error = text;
                return false;
            }
            lit += ours->Row(y)[x] != 0;
        }
    }
    if (lit == 0) {
        error = "the frame is black: nothing was drawn";
        return false;
    }
    return true;
}

Floor* gFloor = nullptr;
SdlPeer* gSdl = nullptr;

// Composes one intro frame and checks that it allocated nothing.
bool IntroFrameWithoutAllocation(benchmark::State& state) {
    const uint64_t before = gAllocations;
    ComposeIntroFrame();
    if (gAllocations != before) {
        gFrameAllocations += gAllocations - before;
        state.SkipWithError("the intro allocated while composing a frame");
        return false;
    }
    return true;
}

void Frame_Intro(benchmark::State& state) {
    for (auto _ : state)
        if (!IntroFrameWithoutAllocation(state)) break;
    state.counters["allocs_per_frame"] = 0;
}
BENCHMARK(Frame_Intro);

void Frame_MemoryFloor(benchmark::State& state) {
    for (auto _ : state) ComposeFloorFrame(*gFloor);
    state.counters["rows"] = double(gFloor->rows.size());
    state.counters["pixels"] = double(gFloor->pixelsCopied);
}
BENCHMARK(Frame_MemoryFloor);

void Frame_SdlBlitSurface(benchmark::State& state) {
    for (auto _ : state) ComposeSdlFrame(*gSdl);
}
BENCHMARK(Frame_SdlBlitSurface);

// The thread's own CPU time: other processes on a shared machine do not
// count against whichever composer they happen to interrupt.
double ThreadSeconds() {
    timespec t;
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) * 1e-9;
}

// The three interleaved, a batch of each per iteration; the ratios come
// from the medians of the batches.
void Frame_Ratios(benchmark::State& state) {
    constexpr int kBatch = 8;
    std::vector<double> intro, floor, sdl;
    const size_t expected = 4096;
    intro.reserve(expected);
    floor.reserve(expected);
    sdl.reserve(expected);
    bool failed = false;
    for (auto _ : state) {
        auto t0 = ThreadSeconds();
        for (int i = 0; i < kBatch && !failed; ++i) failed = !IntroFrameWithoutAllocation(state);
        auto t1 = ThreadSeconds();
        for (int i = 0; i < kBatch; ++i) ComposeFloorFrame(*gFloor);
        auto t2 = ThreadSeconds();
        for (int i = 0; i < kBatch; ++i) ComposeSdlFrame(*gSdl);
        auto t3 = ThreadSeconds();
        if (failed) break;
        if (intro.size() < expected) {
            intro.push_back((t1 - t0) / kBatch);
            floor.push_back((t2 - t1) / kBatch);
            sdl.push_back((t3 - t2) / kBatch);
        }
    }
    if (failed || intro.empty()) return;
    auto median = [](std::vector<double>& v) {
        std::nth_element(v.begin(), v.begin() + v.size() / 2, v.end());
        return v[v.size() / 2];
    };
    const double ourUs = median(intro) * 1e6, floorUs = median(floor) * 1e6, sdlUs = median(sdl) * 1e6;
    state.counters["intro_us"] = ourUs;
    state.counters["floor_us"] = floorUs;
    state.counters["sdl_us"] = sdlUs;
    state.counters["intro_per_floor"] = ourUs / floorUs;  // goal: at most 3
    state.counters["sdl_per_intro"] = sdlUs / ourUs;      // goal: at least 4
    state.SetLabel(ourUs <= 3 * floorUs && sdlUs >= 4 * ourUs ? "goals met" : "goals missed");
}
BENCHMARK(Frame_Ratios)->Iterations(2000)->Repetitions(3)->ReportAggregatesOnly(false);

}  // namespace

int main(int argc, char** argv) {
    std::string error;
    if (!StartIntro(error)) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        return 2;
    }
    Floor floor = MakeFloor();
    SdlPeer sdl;
    if (!MakeSdlPeer(sdl, error) || !SamePicture(sdl, error)) {
        std::fprintf(stderr, "frame_bench: %s\n", error.c_str());
        return 2;
    }
    gFloor = &floor;
    gSdl = &sdl;

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 2;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    // The forms go before the backend they present through, as at the end
    // of the intro's own run.
    gFloor = nullptr;
    gSdl = nullptr;
    Application.DestroyComponents();
    frmMain = nullptr;
    backend::Uninstall();
    std::error_code ec;
    std::filesystem::remove_all(gScratch, ec);
    if (gFrameAllocations) {
        std::fprintf(stderr, "frame_bench: %llu allocations while the intro composed frames\n",
                     static_cast<unsigned long long>(gFrameAllocations));
        return 1;
    }
    return 0;
}
