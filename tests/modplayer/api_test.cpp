// The library as the intro meets it: loaded with dlopen, bound by name, and
// heard through SDL's disk audio driver, whose file is compared with what
// libxmp renders offline for the same module.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <thread>

#include "mod_builder.h"
#include "support.h"

using namespace std::chrono_literals;
using support::Api;
using support::Pos;

namespace {

class Player : public ::testing::Test {
protected:
    support::ScratchDir dir;
    std::filesystem::path disk = dir.path / "output.raw";
    std::filesystem::path module_path = dir.path / "Module.MOD";
    std::vector<uint8_t> module = modbuild::test_module().bytes();
    std::unique_ptr<Api> api;

    void SetUp() override {
        setenv("SDL_AUDIODRIVER", "disk", 1);
        setenv("SDL_DISKAUDIOFILE", disk.c_str(), 1);
        // 2 ms per 1024-frame buffer: about eleven times real time.
        setenv("SDL_DISKAUDIODELAY", "2", 1);
        support::WriteAll(module_path, module);
        api = std::make_unique<Api>(BASSMOD_LIBRARY_PATH);
    }
    void TearDown() override {
        api->BASSMOD_Free();
        api.reset();
    }

    void InitAndLoad(DWORD flags) {
        ASSERT_TRUE(api->BASSMOD_Init(-1, 44100, 0)) << api->BASSMOD_ErrorGetCode();
        ASSERT_TRUE(api->BASSMOD_MusicLoad(0, module_path.c_str(), 0, 0, flags)) << api->BASSMOD_ErrorGetCode();
    }

    static bool WaitFor(const std::function<bool()>& done, std::chrono::milliseconds limit = 20s) {
        const auto end = std::chrono::steady_clock::now() + limit;
        while (!done()) {
            if (std::chrono::steady_clock::now() > end) return false;
            std::this_thread::sleep_for(1ms);
        }
        return true;
    }

    // What the device played, once it is closed.
    std::vector<int16_t> DiskOutput() {
        api->BASSMOD_Free();
        return support::AsSamples(support::ReadAll(disk));
    }
};

size_t FirstSound(const std::vector<int16_t>& s) {
    auto it = std::find_if(s.begin(), s.end(), [](int16_t v) { return v != 0; });
    return static_cast<size_t>(it - s.begin()) / 2;
}

// The frame offset of `ref` inside `out` near `guess`, by exact match of a
// stretch that starts `skip` frames in.
long Align(const std::vector<int16_t>& out, const std::vector<int16_t>& ref, size_t guess, size_t skip) {
    const size_t n = 20000;
    for (long d = -400; d <= 400; ++d) {
        long o = static_cast<long>(guess) + d;
        if (o < 0 || static_cast<size_t>(o) * 2 + 2 * (skip + n) > out.size()) continue;
        if (std::equal(ref.begin() + static_cast<long>(2 * skip), ref.begin() + static_cast<long>(2 * (skip + n)),
                       out.begin() + 2 * (o + static_cast<long>(skip))))
            return o;
    }
    return -1;
}

struct SyncLog {
    std::mutex m;
    std::vector<std::pair<HSYNC, DWORD>> calls;
    std::atomic<int> ends{0};
    static void Record(HSYNC h, DWORD data, void* user) {
        auto* self = static_cast<SyncLog*>(user);
        std::lock_guard<std::mutex> lk(self->m);
        self->calls.emplace_back(h, data);
    }
    std::vector<std::pair<HSYNC, DWORD>> Calls() {
        std::lock_guard<std::mutex> lk(m);
        return calls;
    }
};

}  // namespace

TEST_F(Player, PlaysAsTheIntroStartsAndStopsIt) {
    EXPECT_EQ(api->BASSMOD_GetVersion(), 0x00070000u);
    ASSERT_TRUE(api->BASSMOD_Init(-1, 44100, 0));
    ASSERT_TRUE(api->BASSMOD_MusicLoad(0, module_path.c_str(), 0, 0, 0x105));
    EXPECT_STREQ(api->BASSMOD_MusicGetName(), "korvane test");
    EXPECT_EQ(api->BASSMOD_MusicIsActive(), static_cast<DWORD>(BASSMOD_ACTIVE_STOPPED));
    ASSERT_TRUE(api->BASSMOD_MusicPlay());
    EXPECT_EQ(api->BASSMOD_MusicIsActive(), static_cast<DWORD>(BASSMOD_ACTIVE_PLAYING));
    // It plays on the audio thread: the position moves on by itself.
    EXPECT_TRUE(WaitFor([&] { return (api->BASSMOD_MusicGetPosition() & 0xFFFF) == 1; }));
    const float cpu = api->BASSMOD_GetCPU();
    EXPECT_GT(cpu, 0.0f);
    EXPECT_LT(cpu, 100.0f);
    api->BASSMOD_MusicFree();
    api->BASSMOD_Free();
    EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_OK));
    api->BASSMOD_MusicFree();  // the intro frees the music once more after Free
    EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_ERROR_HANDLE));
    const auto out = support::AsSamples(support::ReadAll(disk));
    EXPECT_LT(FirstSound(out), out.size() / 2) << "something was heard";
}

TEST_F(Player, DeviceOutputEqualsLibxmpOfflineRender) {
    InitAndLoad(0);  // one pass, no ramping: the device must carry libxmp's samples untouched
    ASSERT_TRUE(api->BASSMOD_MusicPlay());
    ASSERT_TRUE(WaitFor([&] { return api->BASSMOD_MusicIsActive() == BASSMOD_ACTIVE_STOPPED; }));
    std::this_thread::sleep_for(50ms);
    const auto out = DiskOutput();
    const auto ref = support::ReferenceRender(module, 1);
    const long at = Align(out, ref, FirstSound(out) - FirstSound(ref), 0);
    ASSERT_GE(at, 0) << "the device output does not contain libxmp's render";
    ASSERT_GE(out.size(), 2 * static_cast<size_t>(at) + ref.size());
    const auto start = out.begin() + 2 * at;
    const auto mismatch = std::mismatch(ref.begin(), ref.end(), start);
    EXPECT_EQ(mismatch.first, ref.end()) << "first differing sample " << (mismatch.first - ref.begin());
    EXPECT_TRUE(std::all_of(start + static_cast<long>(ref.size()), out.end(), [](int16_t v) { return v == 0; }))
        << "silence after the one pass";
}

TEST_F(Player, IntroFlagsLoopSeamlesslyOnTheDevice) {
    InitAndLoad(0x105);
    SyncLog log;
    ASSERT_NE(api->BASSMOD_MusicSetSync(BASSMOD_SYNC_END, 0, SyncLog::Record, &log), 0u);
    ASSERT_TRUE(api->BASSMOD_MusicPlay());
    ASSERT_TRUE(WaitFor([&] { return log.Calls().size() >= 2; }));
    EXPECT_EQ(api->BASSMOD_MusicIsActive(), static_cast<DWORD>(BASSMOD_ACTIVE_PLAYING));
    const auto out = DiskOutput();
    // Soft panning is half separation; the fade-in covers the first frames.
    const auto ref = support::ReferenceRender(module, 2, {44100, XMP_INTERP_SPLINE, 50});
    const size_t fade = 256;
    const long at = Align(out, ref, FirstSound(out) - FirstSound(ref), fade);
    ASSERT_GE(at, 0);
    ASSERT_GE(out.size(), 2 * static_cast<size_t>(at) + ref.size());
    const auto mismatch = std::mismatch(ref.begin() + 2 * fade, ref.end(), out.begin() + 2 * (at + static_cast<long>(fade)));
    EXPECT_EQ(mismatch.first, ref.end()) << "two passes, back to back, as libxmp plays them; first difference at "
                                         << (mismatch.first - ref.begin());
    for (const auto& [h, data] : log.Calls()) EXPECT_EQ(data, 1u) << "the music loops on";
}

TEST_F(Player, PositionPauseStopAndLength) {
    InitAndLoad(BASSMOD_MUSIC_LOOP);
    EXPECT_EQ(api->BASSMOD_MusicGetLength(0), 2u);
    EXPECT_EQ(api->BASSMOD_MusicGetLength(1), 1920u);
    EXPECT_EQ(api->BASSMOD_MusicGetPosition(), Pos(0, 0));
    ASSERT_TRUE(api->BASSMOD_MusicSetPosition(Pos(1, 4)));
    EXPECT_EQ(api->BASSMOD_MusicGetPosition(), Pos(1, 4));
    ASSERT_TRUE(api->BASSMOD_MusicSetPositionScaler(4));
    EXPECT_EQ(api->BASSMOD_MusicGetPosition(), Pos(1, 16));
    struct Bad {
        DWORD pos;
    } bad[] = {{Pos(2, 0)}, {Pos(0, 64)}, {Pos(0xFFFF, 0)}};
    for (const auto& b : bad) {
        EXPECT_FALSE(api->BASSMOD_MusicSetPosition(b.pos));
        EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_ERROR_POSITION));
    }
    EXPECT_EQ(api->BASSMOD_MusicGetPosition(), Pos(1, 16)) << "a refused jump changes nothing";
    EXPECT_FALSE(api->BASSMOD_MusicSetPositionScaler(0));
    EXPECT_FALSE(api->BASSMOD_MusicPause()) << "nothing to pause";
    EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_ERROR_NOPLAY));

    ASSERT_TRUE(api->BASSMOD_MusicPlay());
    ASSERT_TRUE(WaitFor([&] { return api->BASSMOD_MusicGetPosition() != Pos(1, 16); }));
    ASSERT_TRUE(api->BASSMOD_MusicPause());
    EXPECT_EQ(api->BASSMOD_MusicIsActive(), static_cast<DWORD>(BASSMOD_ACTIVE_PAUSED));
    std::this_thread::sleep_for(20ms);
    const DWORD paused_at = api->BASSMOD_MusicGetPosition();
    std::this_thread::sleep_for(150ms);  // about 1.6 s of audio at the disk driver's pace
    EXPECT_EQ(api->BASSMOD_MusicGetPosition(), paused_at) << "a paused music stands still";
    ASSERT_TRUE(api->BASSMOD_MusicPlay());
    EXPECT_EQ(api->BASSMOD_MusicIsActive(), static_cast<DWORD>(BASSMOD_ACTIVE_PLAYING));
    ASSERT_TRUE(WaitFor([&] { return api->BASSMOD_MusicGetPosition() != paused_at; }));

    ASSERT_TRUE(api->BASSMOD_MusicStop());
    EXPECT_EQ(api->BASSMOD_MusicIsActive(), static_cast<DWORD>(BASSMOD_ACTIVE_STOPPED));
    std::this_thread::sleep_for(20ms);
    const DWORD stopped_at = api->BASSMOD_MusicGetPosition();
    std::this_thread::sleep_for(100ms);
    EXPECT_EQ(api->BASSMOD_MusicGetPosition(), stopped_at);

    // Playing from a position, with a reset: the row is reached and reported.
    SyncLog log;
    const HSYNC h = api->BASSMOD_MusicSetSync(BASSMOD_SYNC_POS | BASSMOD_SYNC_ONETIME, Pos(0, 8), SyncLog::Record, &log);
    ASSERT_NE(h, 0u);
    ASSERT_TRUE(api->BASSMOD_MusicPlayEx(Pos(0, 8), -1, 1));
    ASSERT_TRUE(WaitFor([&] { return !log.Calls().empty(); }));
    EXPECT_EQ(log.Calls().front(), std::make_pair(h, Pos(0, 8)));
    EXPECT_FALSE(api->BASSMOD_MusicRemoveSync(h)) << "a one-time sync is gone after its call";
    EXPECT_FALSE(api->BASSMOD_MusicPlayEx(Pos(5, 0), -1, 0));
    EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_ERROR_POSITION));
    EXPECT_FALSE(api->BASSMOD_MusicPlayEx(0xFFFFFFFFu, 0x40, 0)) << "unknown flag";
}

// Set from inside a sync procedure, which runs on the audio thread.
struct CallbackProbe {
    std::atomic<int> ends{0};
    std::atomic<DWORD> free_error{0};
    std::atomic<DWORD> position{0xFFFFFFFF};
    const Api* api = nullptr;
    static void OnEnd(HSYNC, DWORD, void* user) {
        auto* p = static_cast<CallbackProbe*>(user);
        p->api->BASSMOD_Free();  // refused here: closing the device waits for this thread
        p->free_error = p->api->BASSMOD_ErrorGetCode();
        p->position = p->api->BASSMOD_MusicGetPosition();
        ++p->ends;
    }
};

TEST_F(Player, SyncsAtPositionsAndAtTheEnd) {
    InitAndLoad(BASSMOD_MUSIC_LOOP);
    SyncLog log;
    CallbackProbe probe;
    probe.api = api.get();
    const HSYNC pattern = api->BASSMOD_MusicSetSync(BASSMOD_SYNC_POS, Pos(1, 0), SyncLog::Record, &log);
    const HSYNC every8 = api->BASSMOD_MusicSetSync(BASSMOD_SYNC_POS, Pos(0xFFFF, 8), SyncLog::Record, &log);
    const HSYNC once = api->BASSMOD_MusicSetSync(BASSMOD_SYNC_POS | BASSMOD_SYNC_ONETIME, Pos(0, 0xFFFF), SyncLog::Record, &log);
    const HSYNC end = api->BASSMOD_MusicSetSync(BASSMOD_SYNC_END, 0, CallbackProbe::OnEnd, &probe);
    for (HSYNC h : {pattern, every8, once, end}) ASSERT_NE(h, 0u);
    EXPECT_EQ(api->BASSMOD_MusicSetSync(99, 0, SyncLog::Record, &log), 0u);
    EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_ERROR_ILLPARAM));
    EXPECT_EQ(api->BASSMOD_MusicSetSync(BASSMOD_SYNC_END, 0, nullptr, nullptr), 0u);
    ASSERT_TRUE(api->BASSMOD_MusicPlay());
    ASSERT_TRUE(WaitFor([&] { return probe.ends >= 2; }));
    ASSERT_TRUE(api->BASSMOD_MusicStop());
    ASSERT_TRUE(api->BASSMOD_MusicRemoveSync(end));
    EXPECT_EQ(probe.free_error.load(), static_cast<DWORD>(BASSMOD_ERROR_BUSY));
    EXPECT_EQ(probe.position.load(), Pos(0, 0)) << "the end is reported as the next pass begins";
    EXPECT_EQ(api->BASSMOD_GetVolume(), 100u) << "still initialised";

    // Two passes: the first rows of both, in order.
    const auto calls = log.Calls();
    ASSERT_GE(calls.size(), 5u);
    const std::vector<std::pair<HSYNC, DWORD>> first = {
        {once, Pos(0, 0)}, {every8, Pos(0, 8)}, {pattern, Pos(1, 0)}, {every8, Pos(1, 8)}, {every8, Pos(0, 8)}};
    EXPECT_EQ(std::vector(calls.begin(), calls.begin() + 5), first);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [&](auto& c) { return c.first == once; }), 1);

    // Without the loop flag the end comes once, says so, and stops.
    SyncLog log2;
    ASSERT_TRUE(api->BASSMOD_MusicLoad(1, module.data(), 0, static_cast<DWORD>(module.size()), 0));
    EXPECT_FALSE(api->BASSMOD_MusicRemoveSync(pattern)) << "syncs go with their music";
    ASSERT_NE(api->BASSMOD_MusicSetSync(BASSMOD_SYNC_END, 0, SyncLog::Record, &log2), 0u);
    ASSERT_TRUE(api->BASSMOD_MusicPlay());
    ASSERT_TRUE(WaitFor([&] { return api->BASSMOD_MusicIsActive() == BASSMOD_ACTIVE_STOPPED; }));
    ASSERT_EQ(log2.Calls().size(), 1u);
    EXPECT_EQ(log2.Calls()[0].second, 0u);
}

TEST_F(Player, RejectsWhatItCannotLoadAndKeepsTheLoadedMusic) {
    ASSERT_TRUE(api->BASSMOD_Init(-1, 44100, 0));
    ASSERT_TRUE(api->BASSMOD_MusicLoad(0, module_path.c_str(), 0, 0, 0));

    const auto empty_file = dir.path / "empty.mod";
    support::WriteAll(empty_file, {});
    const auto truncated_file = dir.path / "truncated.mod";
    support::WriteAll(truncated_file, std::vector<uint8_t>(module.begin(), module.begin() + 1200));
    std::vector<uint8_t> random(8192);
    uint32_t x = 99;
    for (auto& b : random) b = static_cast<uint8_t>((x = x * 1103515245u + 12345u) >> 24);
    auto mutated = module;
    const std::string no_signature = "M!K?";  // no known signature
    for (size_t i = 0; i < no_signature.size(); ++i) mutated[1080 + i] = static_cast<uint8_t>(no_signature[i]);
    mutated[950] = 0;                                  // and no song positions
    const std::string missing = (dir.path / "no such file.mod").string();

    struct Case {
        const char* name;
        BOOL mem;
        const void* file;
        DWORD offset, length, flags;
        DWORD error;
    } cases[] = {
        {"missing file", 0, missing.c_str(), 0, 0, 0, BASSMOD_ERROR_FILEOPEN},
        {"a folder", 0, dir.path.c_str(), 0, 0, 0, BASSMOD_ERROR_FILEOPEN},
        {"empty file", 0, empty_file.c_str(), 0, 0, 0, BASSMOD_ERROR_FILEFORM},
        {"truncated file", 0, truncated_file.c_str(), 0, 0, 0, BASSMOD_ERROR_FILEFORM},
        {"offset past the end", 0, module_path.c_str(), 100000, 0, 0, BASSMOD_ERROR_ILLPARAM},
        {"length past the end", 0, module_path.c_str(), 10, static_cast<DWORD>(module.size()), 0, BASSMOD_ERROR_ILLPARAM},
        {"truncated block", 1, module.data(), 0, 1500, 0, BASSMOD_ERROR_FILEFORM},
        {"random bytes", 1, random.data(), 0, static_cast<DWORD>(random.size()), 0, BASSMOD_ERROR_FILEFORM},
        {"mutated module", 1, mutated.data(), 0, static_cast<DWORD>(mutated.size()), 0, BASSMOD_ERROR_FILEFORM},
        {"zero-length block", 1, module.data(), 0, 0, 0, BASSMOD_ERROR_ILLPARAM},
        {"null pointer", 1, nullptr, 0, 100, 0, BASSMOD_ERROR_ILLPARAM},
        {"unknown flag", 0, module_path.c_str(), 0, 0, 0x1000, BASSMOD_ERROR_ILLPARAM},
    };
    int ran = 0;
    for (const auto& c : cases) {
        EXPECT_FALSE(api->BASSMOD_MusicLoad(c.mem, c.file, c.offset, c.length, c.flags)) << c.name;
        EXPECT_EQ(api->BASSMOD_ErrorGetCode(), c.error) << c.name;
        EXPECT_STREQ(api->BASSMOD_MusicGetName(), "korvane test") << c.name << ": the loaded music stays";
        ++ran;
    }
    EXPECT_EQ(ran, static_cast<int>(std::size(cases)));

    // A module inside a larger file or block, by offset and length.
    std::vector<uint8_t> wrapped(333 + module.size() + 77, 0x55);
    std::fill_n(wrapped.begin(), 333, uint8_t{0xAA});
    std::copy(module.begin(), module.end(), wrapped.begin() + 333);
    const auto wrapped_file = dir.path / "wrapped.bin";
    support::WriteAll(wrapped_file, wrapped);
    EXPECT_TRUE(api->BASSMOD_MusicLoad(0, wrapped_file.c_str(), 333, static_cast<DWORD>(module.size()), 0));
    EXPECT_TRUE(api->BASSMOD_MusicLoad(1, wrapped.data(), 333, static_cast<DWORD>(module.size()), 0));
    EXPECT_TRUE(api->BASSMOD_MusicPlay());
}

TEST_F(Player, CallsInAnyOrderFailCleanly) {
    SyncLog log;
    struct Step {
        const char* what;
        std::function<int64_t()> call;
        int64_t result;
        DWORD error;
    };
    auto& a = *api;
    const std::string path = module_path.string();
    const std::vector<Step> steps = {
        {"Free before Init", [&] { a.BASSMOD_Free(); return 0; }, 0, BASSMOD_ERROR_INIT},
        {"GetVolume before Init", [&] { return a.BASSMOD_GetVolume(); }, 0xFFFFFFFF, BASSMOD_ERROR_INIT},
        {"SetVolume before Init", [&] { return a.BASSMOD_SetVolume(10); }, 0, BASSMOD_ERROR_INIT},
        {"GetCPU before Init", [&] { return static_cast<int64_t>(a.BASSMOD_GetCPU()); }, 0, BASSMOD_ERROR_INIT},
        {"MusicLoad before Init", [&] { return a.BASSMOD_MusicLoad(0, path.c_str(), 0, 0, 0x105); }, 0, BASSMOD_ERROR_INIT},
        {"MusicPlay before Init", [&] { return a.BASSMOD_MusicPlay(); }, 0, BASSMOD_ERROR_HANDLE},
        {"Init, bad rate", [&] { return a.BASSMOD_Init(-1, 1000, 0); }, 0, BASSMOD_ERROR_FORMAT},
        {"Init, bad device", [&] { return a.BASSMOD_Init(-2, 44100, 0); }, 0, BASSMOD_ERROR_DEVICE},
        {"Init, missing device", [&] { return a.BASSMOD_Init(57, 44100, 0); }, 0, BASSMOD_ERROR_DEVICE},
        {"Init, bad flags", [&] { return a.BASSMOD_Init(-1, 44100, 0x80); }, 0, BASSMOD_ERROR_ILLPARAM},
        {"Init", [&] { return a.BASSMOD_Init(-1, 44100, 0); }, 1, BASSMOD_OK},
        {"second Init", [&] { return a.BASSMOD_Init(-1, 22050, 0); }, 0, BASSMOD_ERROR_ALREADY},
        {"MusicPlay before a load", [&] { return a.BASSMOD_MusicPlay(); }, 0, BASSMOD_ERROR_HANDLE},
        {"MusicPlayEx before a load", [&] { return a.BASSMOD_MusicPlayEx(0, -1, 1); }, 0, BASSMOD_ERROR_HANDLE},
        {"MusicStop before a load", [&] { return a.BASSMOD_MusicStop(); }, 0, BASSMOD_ERROR_HANDLE},
        {"MusicPause before a load", [&] { return a.BASSMOD_MusicPause(); }, 0, BASSMOD_ERROR_HANDLE},
        {"MusicIsActive before a load", [&] { return a.BASSMOD_MusicIsActive(); }, 0, BASSMOD_ERROR_HANDLE},
        {"GetPosition before a load", [&] { return a.BASSMOD_MusicGetPosition(); }, 0xFFFFFFFF, BASSMOD_ERROR_HANDLE},
        {"SetPosition before a load", [&] { return a.BASSMOD_MusicSetPosition(0); }, 0, BASSMOD_ERROR_HANDLE},
        {"GetLength before a load", [&] { return a.BASSMOD_MusicGetLength(1); }, 0xFFFFFFFF, BASSMOD_ERROR_HANDLE},
        {"GetName before a load", [&] { return a.BASSMOD_MusicGetName() != nullptr; }, 0, BASSMOD_ERROR_HANDLE},
        {"SetAmplify before a load", [&] { return a.BASSMOD_MusicSetAmplify(50); }, 0, BASSMOD_ERROR_HANDLE},
        {"SetPanSep before a load", [&] { return a.BASSMOD_MusicSetPanSep(50); }, 0, BASSMOD_ERROR_HANDLE},
        {"SetPositionScaler before a load", [&] { return a.BASSMOD_MusicSetPositionScaler(2); }, 0, BASSMOD_ERROR_HANDLE},
        {"SetSync before a load", [&] { return a.BASSMOD_MusicSetSync(BASSMOD_SYNC_END, 0, SyncLog::Record, &log); }, 0, BASSMOD_ERROR_HANDLE},
        {"RemoveSync before a load", [&] { return a.BASSMOD_MusicRemoveSync(1); }, 0, BASSMOD_ERROR_HANDLE},
        {"MusicFree before a load", [&] { a.BASSMOD_MusicFree(); return 0; }, 0, BASSMOD_ERROR_HANDLE},
        {"SetVolume out of range", [&] { return a.BASSMOD_SetVolume(101); }, 0, BASSMOD_ERROR_ILLPARAM},
        {"SetVolume", [&] { return a.BASSMOD_SetVolume(40); }, 1, BASSMOD_OK},
        {"GetVolume", [&] { return a.BASSMOD_GetVolume(); }, 40, BASSMOD_OK},
        {"MusicLoad", [&] { return a.BASSMOD_MusicLoad(0, path.c_str(), 0, 0, 0x105); }, 1, BASSMOD_OK},
        {"SetAmplify out of range", [&] { return a.BASSMOD_MusicSetAmplify(101); }, 0, BASSMOD_ERROR_ILLPARAM},
        {"SetPanSep out of range", [&] { return a.BASSMOD_MusicSetPanSep(101); }, 0, BASSMOD_ERROR_ILLPARAM},
        {"SetPanSep", [&] { return a.BASSMOD_MusicSetPanSep(30); }, 1, BASSMOD_OK},
        {"RemoveSync of no sync", [&] { return a.BASSMOD_MusicRemoveSync(12345); }, 0, BASSMOD_ERROR_HANDLE},
        {"MusicStop while stopped", [&] { return a.BASSMOD_MusicStop(); }, 1, BASSMOD_OK},
        {"MusicPlay", [&] { return a.BASSMOD_MusicPlay(); }, 1, BASSMOD_OK},
        {"MusicPlay while playing", [&] { return a.BASSMOD_MusicPlay(); }, 1, BASSMOD_OK},
        {"Free while playing", [&] { a.BASSMOD_Free(); return 0; }, 0, BASSMOD_OK},
        {"MusicIsActive after Free", [&] { return a.BASSMOD_MusicIsActive(); }, 0, BASSMOD_ERROR_HANDLE},
        {"MusicPlay after Free", [&] { return a.BASSMOD_MusicPlay(); }, 0, BASSMOD_ERROR_HANDLE},
        {"second Free", [&] { a.BASSMOD_Free(); return 0; }, 0, BASSMOD_ERROR_INIT},
        {"Init again", [&] { return a.BASSMOD_Init(-1, 22050, BASSMOD_DEVICE_MONO); }, 1, BASSMOD_OK},
        {"volume is back to full", [&] { return a.BASSMOD_GetVolume(); }, 100, BASSMOD_OK},
        {"MusicLoad again", [&] { return a.BASSMOD_MusicLoad(0, path.c_str(), 0, 0, 0); }, 1, BASSMOD_OK},
        {"MusicPlay again", [&] { return a.BASSMOD_MusicPlay(); }, 1, BASSMOD_OK},
        {"MusicFree while playing", [&] { a.BASSMOD_MusicFree(); return 0; }, 0, BASSMOD_OK},
        {"GetVersion at any time", [&] { return a.BASSMOD_GetVersion(); }, 0x00070000, BASSMOD_OK},
    };
    size_t ran = 0;
    for (const auto& s : steps) {
        EXPECT_EQ(s.call(), s.result) << s.what;
        if (std::string(s.what) != "GetVersion at any time") EXPECT_EQ(a.BASSMOD_ErrorGetCode(), s.error) << s.what;
        ++ran;
    }
    EXPECT_EQ(ran, steps.size());
}

TEST_F(Player, NamesAndOpensDevices) {
    ASSERT_NE(api->BASSMOD_GetDeviceDescription(-1), nullptr);
    const char* first = api->BASSMOD_GetDeviceDescription(0);
    ASSERT_NE(first, nullptr) << "the disk driver offers one output";
    EXPECT_EQ(api->BASSMOD_GetDeviceDescription(99), nullptr);
    EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_ERROR_DEVICE));
    EXPECT_TRUE(api->BASSMOD_Init(0, 48000, 0)) << api->BASSMOD_ErrorGetCode();
    EXPECT_STREQ(api->BASSMOD_GetDeviceDescription(0), first);
}

TEST_F(Player, NoOutputDeviceIsReported) {
    setenv("SDL_AUDIODRIVER", "no-such-driver", 1);
    EXPECT_FALSE(api->BASSMOD_Init(-1, 44100, 0));
    EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_ERROR_DRIVER));
    // The intro then frees the player and still tries to load.
    api->BASSMOD_Free();
    EXPECT_FALSE(api->BASSMOD_MusicLoad(0, module_path.c_str(), 0, 0, 0x105));
    EXPECT_EQ(api->BASSMOD_ErrorGetCode(), static_cast<DWORD>(BASSMOD_ERROR_INIT));
    setenv("SDL_AUDIODRIVER", "disk", 1);
    EXPECT_TRUE(api->BASSMOD_Init(-1, 44100, 0)) << "a later Init can still succeed";
}

TEST_F(Player, VolumeAndAmplifyReachTheDevice) {
    InitAndLoad(0);
    ASSERT_TRUE(api->BASSMOD_SetVolume(50));
    ASSERT_TRUE(api->BASSMOD_MusicPlay());
    ASSERT_TRUE(WaitFor([&] { return api->BASSMOD_MusicIsActive() == BASSMOD_ACTIVE_STOPPED; }));
    const auto out = DiskOutput();
    const auto ref = support::ReferenceRender(module, 1);
    int peak_out = 0, peak_ref = 0;
    for (int16_t v : out) peak_out = std::max(peak_out, std::abs(v));
    for (int16_t v : ref) peak_ref = std::max(peak_ref, std::abs(v));
    EXPECT_NEAR(peak_out, peak_ref / 2, 1);
}
