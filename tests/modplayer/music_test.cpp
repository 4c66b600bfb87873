// The mixing core driven directly, without a device: what it renders is
// compared sample for sample with libxmp's own render of the same module.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>

#include "mod_builder.h"
#include "music.h"
#include "support.h"

using bassmod::FiredSync;
using bassmod::kRampFrames;
using bassmod::Music;
using support::Pos;
using support::ReferenceRender;
using support::ReferenceSettings;

namespace {

std::unique_ptr<Music> LoadTestModule(DWORD flags, const std::vector<uint8_t>& bytes = modbuild::test_module().bytes()) {
    DWORD err = 0xDEAD;
    auto m = Music::Load(bytes, 44100, 2, flags, &err);
    EXPECT_EQ(err, static_cast<DWORD>(BASSMOD_OK));
    return m;
}

// Renders `frames` frames in chunks that cycle through `chunks`, recording
// for every fired sync the output frame at which its chunk began.
struct Recorder {
    std::vector<int16_t> out;
    std::vector<std::pair<FiredSync, size_t>> syncs;
    void Render(Music& m, size_t frames, const std::vector<int>& chunks) {
        size_t i = 0;
        std::vector<FiredSync> fired;
        while (frames > 0) {
            int n = static_cast<int>(std::min<size_t>(frames, static_cast<size_t>(chunks[i++ % chunks.size()])));
            size_t at = out.size() / 2;
            out.resize(out.size() + static_cast<size_t>(n) * 2);
            m.Render(out.data() + at * 2, n, fired);
            for (const auto& f : fired) syncs.emplace_back(f, at);
            fired.clear();
            frames -= static_cast<size_t>(n);
        }
    }
};

// Index of the first differing sample, or -1.
long FirstDifference(const std::vector<int16_t>& a, const std::vector<int16_t>& b, size_t from, size_t count) {
    for (size_t i = from; i < from + count; ++i)
        if (a.at(i) != b.at(i)) return static_cast<long>(i);
    return -1;
}

void NoSync(HSYNC, DWORD, void*) {}

}  // namespace

// Awkward chunk sizes, as the audio device may ask for any.
const std::vector<std::vector<int>> kChunkPatterns = {{1}, {37, 1000, 3}, {4099}, {1024}};

struct SettingsCase {
    const char* name;
    DWORD flags;
    ReferenceSettings ref;
};

TEST(MusicRender, OnePassEqualsLibxmpThenSilence) {
    const SettingsCase cases[] = {
        {"spline, full separation", 0, {44100, XMP_INTERP_SPLINE, 100}},
        {"nearest", BASSMOD_MUSIC_NONINTER, {44100, XMP_INTERP_NEAREST, 100}},
        {"soft panning", BASSMOD_MUSIC_SOFTPAN, {44100, XMP_INTERP_SPLINE, 50}},
    };
    int ran = 0;
    for (const auto& c : cases) {
        const auto bytes = modbuild::test_module().bytes();
        const auto ref = ReferenceRender(bytes, 1, c.ref);
        ASSERT_GT(ref.size(), 44100u * 2) << c.name;
        for (const auto& chunks : kChunkPatterns) {
            auto m = LoadTestModule(c.flags, bytes);
            ASSERT_TRUE(m);
            m->Play();
            Recorder r;
            r.Render(*m, ref.size() / 2 + 5000, chunks);
            EXPECT_EQ(FirstDifference(r.out, ref, 0, ref.size()), -1) << c.name << ", chunk " << chunks[0];
            // Without the loop flag the music stops after one pass.
            EXPECT_TRUE(std::all_of(r.out.begin() + static_cast<long>(ref.size()), r.out.end(), [](int16_t v) { return v == 0; }))
                << c.name;
            EXPECT_EQ(m->Active(), static_cast<DWORD>(BASSMOD_ACTIVE_STOPPED));
            EXPECT_EQ(m->Position(1), Pos(0, 0)) << "a finished music is ready to play again from the start";
        }
        ++ran;
    }
    EXPECT_EQ(ran, static_cast<int>(std::size(cases)));
}

TEST(MusicRender, LoopContinuesSeamlesslyAndReportsEveryPass) {
    const auto bytes = modbuild::test_module().bytes();
    std::vector<size_t> starts;
    const auto ref = ReferenceRender(bytes, 3, {}, &starts);
    ASSERT_EQ(starts.size(), 3u);
    auto m = LoadTestModule(BASSMOD_MUSIC_LOOP, bytes);
    m->AddSync(BASSMOD_SYNC_END, 0, NoSync, nullptr, 7);
    m->Play();
    Recorder r;
    r.Render(*m, ref.size() / 2, {1});
    // libxmp carries every voice across its loop; so do we: no gap, no reset.
    EXPECT_EQ(FirstDifference(r.out, ref, 0, ref.size()), -1);
    ASSERT_EQ(r.syncs.size(), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(r.syncs[i].first.handle, 7u);
        EXPECT_EQ(r.syncs[i].first.data, 1u) << "the music loops on";
        EXPECT_EQ(r.syncs[i].second, starts[i + 1]) << "end of pass " << i + 1 << " reported at its last frame";
    }
    EXPECT_EQ(m->Active(), static_cast<DWORD>(BASSMOD_ACTIVE_PLAYING));
    // Every pass sounds like the first: the second pass equals the first
    // once the first pass's last voices have faded (a few milliseconds).
    const size_t len = starts[1];
    const size_t settle = 441;
    EXPECT_EQ(FirstDifference(std::vector<int16_t>(r.out.begin() + static_cast<long>(2 * len), r.out.end()),
                              r.out, 2 * settle, 2 * (len - settle)),
              -1);
}

TEST(MusicRender, StopAndPauseRampToSilenceAndResumeWhereTheyLeft) {
    const auto bytes = modbuild::test_module().bytes();
    const auto ref = ReferenceRender(bytes, 1);
    for (DWORD flags : {DWORD{0}, DWORD{BASSMOD_MUSIC_RAMP}}) {
        const bool ramp = flags & BASSMOD_MUSIC_RAMP;
        auto m = LoadTestModule(flags, bytes);
        m->Play();
        Recorder r;
        const size_t pause_at = 10000;  // a note is sounding here
        r.Render(*m, ramp ? pause_at + kRampFrames : pause_at, {333});
        if (ramp) {
            // Fading in from silence: never louder than the plain render.
            for (size_t i = 0; i < 2 * kRampFrames; ++i) EXPECT_LE(std::abs(r.out[i]), std::abs(ref[i]));
        }
        m->Pause();
        EXPECT_EQ(m->Active(), static_cast<DWORD>(BASSMOD_ACTIVE_PAUSED)) << "reported at once";
        const size_t before = r.out.size();
        r.Render(*m, 3000, {100});
        const auto tail = std::vector<int16_t>(r.out.begin() + static_cast<long>(before), r.out.end());
        size_t nonzero_frames = 0;
        for (size_t i = 0; i < tail.size(); i += 2)
            if (tail[i] || tail[i + 1]) nonzero_frames = i / 2 + 1;
        if (ramp) {
            EXPECT_GT(nonzero_frames, kRampFrames / 2u) << "fades out instead of stepping";
            EXPECT_LE(nonzero_frames, static_cast<size_t>(kRampFrames));
            for (size_t i = 0; i < tail.size(); ++i) EXPECT_LE(std::abs(tail[i]), std::abs(ref[before + i]));
        } else {
            EXPECT_EQ(nonzero_frames, 0u) << "without ramping the sound stops at once";
        }
        // While paused the position stands still and nothing sounds.
        const DWORD pos = m->Position(1);
        r.Render(*m, 20000, {512});
        EXPECT_EQ(m->Position(1), pos);
        m->Play();
        const size_t resumed = r.out.size();
        r.Render(*m, 20000, {512});
        // The sound continues from where it faded out, not from elsewhere.
        const size_t played = pause_at + (ramp ? 2 * kRampFrames : 0);  // fade in, then out
        const size_t from = ramp ? 2 * kRampFrames : 0;
        EXPECT_EQ(FirstDifference(std::vector<int16_t>(r.out.begin() + static_cast<long>(resumed), r.out.end()),
                                  std::vector<int16_t>(ref.begin() + static_cast<long>(2 * played), ref.end()), from,
                                  40000 - from),
                  -1)
            << "ramp " << ramp;
        m->Stop();
        EXPECT_EQ(m->Active(), static_cast<DWORD>(BASSMOD_ACTIVE_STOPPED));
        r.Render(*m, 2000, {1000});
        EXPECT_TRUE(std::all_of(r.out.end() - 2 * 1000, r.out.end(), [](int16_t v) { return v == 0; }));
    }
}

TEST(MusicRender, GainStageScalesAndSaturates) {
    const auto bytes = modbuild::test_module().bytes();
    const auto ref = ReferenceRender(bytes, 1);
    struct Case {
        int volume, amplify;
        double factor;
    } cases[] = {{100, 50, 1.0}, {50, 50, 0.5}, {100, 25, 0.5}, {100, 100, 2.0}, {0, 50, 0.0}, {30, 100, 0.6}};
    for (const auto& c : cases) {
        auto m = LoadTestModule(0, bytes);
        m->SetOutputGain(c.volume, c.amplify);
        m->Play();
        Recorder r;
        r.Render(*m, 30000, {4096});
        long worst = 0;
        for (size_t i = 0; i < r.out.size(); ++i) {
            long want = std::clamp<long>(std::lround(ref[i] * c.factor), INT16_MIN, INT16_MAX);
            worst = std::max(worst, std::labs(want - r.out[i]));
        }
        EXPECT_LE(worst, 1) << "volume " << c.volume << " amplify " << c.amplify;
    }
}

TEST(MusicRender, PanSeparationZeroIsMono) {
    auto m = LoadTestModule(0);
    m->SetPanSep(0);
    m->Play();
    Recorder r;
    r.Render(*m, 40000, {1024});
    size_t sounding = 0;
    for (size_t i = 0; i < r.out.size(); i += 2) {
        ASSERT_EQ(r.out[i], r.out[i + 1]) << "frame " << i / 2;
        sounding += r.out[i] != 0;
    }
    EXPECT_GT(sounding, 10000u);
}

TEST(MusicPosition, JumpsReportsAndSyncsAtPositions) {
    const auto bytes = modbuild::test_module().bytes();
    auto m = LoadTestModule(BASSMOD_MUSIC_LOOP, bytes);
    EXPECT_EQ(m->Orders(), 2);
    EXPECT_EQ(m->DurationMs(), 1920u);
    EXPECT_EQ(m->Name(), "korvane test");
    EXPECT_FALSE(m->SetPosition(2, 0));
    EXPECT_FALSE(m->SetPosition(0, 64));
    EXPECT_FALSE(m->SetPosition(-1, 0));
    ASSERT_TRUE(m->SetPosition(1, 4));
    EXPECT_EQ(m->Position(1), Pos(1, 4));
    EXPECT_EQ(m->Position(8), Pos(1, 32));
    m->AddSync(BASSMOD_SYNC_POS, Pos(0, 0), NoSync, nullptr, 1);
    m->AddSync(BASSMOD_SYNC_POS, Pos(0xFFFF, 8), NoSync, nullptr, 2);
    m->AddSync(BASSMOD_SYNC_POS | BASSMOD_SYNC_ONETIME, Pos(1, 0xFFFF), NoSync, nullptr, 3);
    m->AddSync(BASSMOD_SYNC_POS, Pos(1, 5), NoSync, nullptr, 4);
    EXPECT_TRUE(m->RemoveSync(4));
    EXPECT_FALSE(m->RemoveSync(4));
    m->Play();
    Recorder r;
    // From (1,4): 12 rows to the end of the pass at the module's initial
    // speed 6 (the first row sets 3), then one whole pass at speed 3.
    const size_t row_frames = 3 * 882;
    r.Render(*m, 24 * row_frames + 32 * row_frames, {1});
    std::vector<std::pair<HSYNC, DWORD>> seen;
    for (const auto& [f, at] : r.syncs) seen.emplace_back(f.handle, f.data);
    const std::vector<std::pair<HSYNC, DWORD>> want = {
        {3, Pos(1, 4)}, {2, Pos(1, 8)}, {1, Pos(0, 0)}, {2, Pos(0, 8)}, {2, Pos(1, 8)}};
    EXPECT_EQ(seen, want);
    // Each sync came at the first frame of its row.
    for (const auto& [f, at] : r.syncs) {
        if (f.handle == 1) EXPECT_EQ(at, 24 * row_frames);
        if (f.data == Pos(0, 8)) EXPECT_EQ(at, 32 * row_frames);
    }
    // Mid-row, the scaler shows how much of the row has played.
    Recorder r2;
    ASSERT_TRUE(m->SetPosition(0, 2));
    r2.Render(*m, 2 * 882 + 10, {1});
    EXPECT_EQ(m->Position(1), Pos(0, 2));
    EXPECT_EQ(m->Position(3), Pos(0, 2 * 3 + 2));
}

TEST(MusicLoad, RejectsWhatItCannotPlayAndSurvivesMutations) {
    const auto good = modbuild::test_module().bytes();
    struct Case {
        const char* name;
        std::vector<uint8_t> bytes;
    };
    std::vector<Case> cases;
    cases.push_back({"empty", {}});
    cases.push_back({"header only", std::vector<uint8_t>(good.begin(), good.begin() + 1084)});
    cases.push_back({"truncated in the patterns", std::vector<uint8_t>(good.begin(), good.begin() + 1500)});
    std::vector<uint8_t> random(4096);
    std::mt19937 rng(5);
    for (auto& b : random) b = static_cast<uint8_t>(rng());
    cases.push_back({"random bytes", random});
    auto no_orders = good;
    no_orders[950] = 0;  // song length 0
    cases.push_back({"no song positions", no_orders});
    int ran = 0;
    for (const auto& c : cases) {
        DWORD err = 0;
        EXPECT_EQ(Music::Load(c.bytes, 44100, 2, 0, &err), nullptr) << c.name;
        EXPECT_EQ(err, static_cast<DWORD>(BASSMOD_ERROR_FILEFORM)) << c.name;
        ++ran;
    }
    EXPECT_EQ(ran, static_cast<int>(cases.size()));

    // Random mutations: each either fails cleanly or loads and plays.
    // Run under the sanitizers this is where a bad read would show.
    int loaded = 0, rejected = 0;
    for (int i = 0; i < 300; ++i) {
        auto bytes = good;
        const int edits = 1 + static_cast<int>(rng() % 8);
        for (int e = 0; e < edits; ++e) bytes[rng() % bytes.size()] = static_cast<uint8_t>(rng());
        if (i % 3 == 0) bytes.resize(rng() % bytes.size());
        DWORD err = 0;
        auto m = Music::Load(bytes, 44100, 2, BASSMOD_MUSIC_LOOP | BASSMOD_MUSIC_RAMP, &err);
        if (!m) {
            EXPECT_EQ(err, static_cast<DWORD>(BASSMOD_ERROR_FILEFORM));
            ++rejected;
            continue;
        }
        ++loaded;
        m->Play();
        std::vector<int16_t> buf(2 * 4096);
        std::vector<FiredSync> fired;
        for (int k = 0; k < 8; ++k) m->Render(buf.data(), 4096, fired);
        m->SetPosition(0, 0);
        m->Render(buf.data(), 4096, fired);
    }
    EXPECT_GT(loaded, 0);
    EXPECT_GT(rejected, 0);
}

#ifdef KORVANE_MODULE_PATH
// The intro's own module: every pass must sound like the first, so the end
// of the last pattern leads back into the first without a seam.
TEST(IntroModule, LoopsBackToASecondPassLikeTheFirst) {
    const auto bytes = support::ReadAll(KORVANE_MODULE_PATH);
    ASSERT_FALSE(bytes.empty());
    DWORD err = 0;
    auto m = Music::Load(bytes, 44100, 2, BASSMOD_MUSIC_INTRO, &err);
    ASSERT_TRUE(m) << "error " << err;
    m->AddSync(BASSMOD_SYNC_END, 0, NoSync, nullptr, 1);
    m->Play();
    Recorder r;
    const size_t pass_guess = static_cast<size_t>(m->DurationMs()) * 441 / 10;
    r.Render(*m, pass_guess + 10 * 44100, {1024});
    ASSERT_EQ(r.syncs.size(), 1u) << "one pass ended";
    EXPECT_EQ(r.syncs[0].first.data, 1u);
    EXPECT_EQ(m->Active(), static_cast<DWORD>(BASSMOD_ACTIVE_PLAYING));
    const size_t boundary = r.syncs[0].second;  // within one chunk of the pass start
    // Find the exact start of pass 2 near the sync: best match with pass 1.
    const size_t skip = 4410, span = 5 * 44100;
    ASSERT_GT(r.out.size() / 2, boundary + 1024 + skip + span);
    auto corr = [&](size_t start2) {
        double xy = 0, xx = 0, yy = 0;
        for (size_t i = skip; i < skip + span; ++i) {
            double x = r.out[2 * i], y = r.out[2 * (start2 + i)];
            xy += x * y;
            xx += x * x;
            yy += y * y;
        }
        return xy / std::sqrt(xx * yy + 1e-9);
    };
    double best = -1;
    for (size_t s = boundary; s <= boundary + 1024; ++s) best = std::max(best, corr(s));
    EXPECT_GT(best, 0.99) << "the second pass differs from the first";
}
#endif
