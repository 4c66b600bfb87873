// Seconds of audio mixed per CPU second: the library's own mixing path
// (libxmp frames, the gain stage, loop and sync handling) against libxmp
// driven directly with the same settings, in the same run.
#include <benchmark/benchmark.h>
#include <xmp.h>

#include <ctime>
#include <fstream>
#include <iterator>
#include <vector>

#include "mod_builder.h"
#include "music.h"

namespace {

constexpr int kRate = 44100;
constexpr int kChunk = 1024;  // frames per device callback, as the library asks SDL for

std::vector<uint8_t> ModuleBytes() {
#ifdef KORVANE_MODULE_PATH
    std::ifstream in(KORVANE_MODULE_PATH, std::ios::binary);
    std::vector<uint8_t> b(std::istreambuf_iterator<char>(in), {});
    if (!b.empty()) return b;
#endif
    return modbuild::test_module().bytes();
}

double CpuSeconds() {
    timespec ts;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

// Both paths mix ten seconds of the looping module per iteration.
constexpr int kChunksPerIteration = 10 * kRate / kChunk;

void BM_LibraryMixer(benchmark::State& state) {
    const auto bytes = ModuleBytes();
    DWORD err = 0;
    auto music = bassmod::Music::Load(bytes, kRate, 2, BASSMOD_MUSIC_INTRO, &err);
    if (!music) {
        state.SkipWithError("module not loaded");
        return;
    }
    music->Play();
    std::vector<int16_t> buf(2 * kChunk);
    std::vector<bassmod::FiredSync> fired;
    double frames = 0;
    const double cpu0 = CpuSeconds();
    for (auto _ : state) {
        for (int i = 0; i < kChunksPerIteration; ++i) {
            music->Render(buf.data(), kChunk, fired);
            fired.clear();
        }
        benchmark::DoNotOptimize(buf.data());
        frames += kChunksPerIteration * kChunk;
    }
    state.counters["audio_s_per_cpu_s"] = frames / kRate / (CpuSeconds() - cpu0);
}

void BM_LibxmpDirect(benchmark::State& state) {
    const auto bytes = ModuleBytes();
    xmp_context c = xmp_create_context();
    if (xmp_load_module_from_memory(c, bytes.data(), static_cast<long>(bytes.size())) != 0) {
        xmp_free_context(c);
        state.SkipWithError("module not loaded");
        return;
    }
    xmp_start_player(c, kRate, 0);
    // The settings the library uses for the intro's flags.
    xmp_set_player(c, XMP_PLAYER_INTERP, XMP_INTERP_SPLINE);
    xmp_set_player(c, XMP_PLAYER_MIX, 50);
    std::vector<int16_t> buf(2 * kChunk);
    double frames = 0;
    const double cpu0 = CpuSeconds();
    for (auto _ : state) {
        for (int i = 0; i < kChunksPerIteration; ++i)
            xmp_play_buffer(c, buf.data(), static_cast<int>(buf.size() * sizeof(int16_t)), 0);
        benchmark::DoNotOptimize(buf.data());
        frames += kChunksPerIteration * kChunk;
    }
    state.counters["audio_s_per_cpu_s"] = frames / kRate / (CpuSeconds() - cpu0);
    xmp_end_player(c);
    xmp_release_module(c);
    xmp_free_context(c);
}

}  // namespace

BENCHMARK(BM_LibxmpDirect)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_LibraryMixer)->Unit(benchmark::kMillisecond)->MinTime(1.0);

BENCHMARK_MAIN();
