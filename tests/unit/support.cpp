#include "support.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>

#include "MainUnit.h"

int KorvaneMain();

namespace test {

namespace {
uint32_t Le32(const std::vector<uint8_t>& d, size_t at) {
    return d.at(at) | (d.at(at + 1) << 8) | (d.at(at + 2) << 16) | (uint32_t(d.at(at + 3)) << 24);
}
}  // namespace

Picture24 LoadAssetBmp(const std::string& name) {
    const std::string path = std::string(KORVANE_ASSETS_DIR) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    std::vector<uint8_t> d((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Picture24 p;
    if (d.size() < 54 || d[0] != 'B' || d[1] != 'M') {
        ADD_FAILURE() << "not a BMP file: " << path;
        return p;
    }
    const uint32_t offset = Le32(d, 10);
    p.width = static_cast<int>(Le32(d, 18));
    const int32_t height = static_cast<int32_t>(Le32(d, 22));
    const int bits = d[28] | (d[29] << 8);
    if (bits != 24) {
        ADD_FAILURE() << path << " is not 24 bits per pixel";
        return p;
    }
    p.height = height < 0 ? -height : height;
    const size_t stride = (size_t(p.width) * 3 + 3) / 4 * 4;
    p.bgr.resize(size_t(p.width) * p.height * 3);
    for (int y = 0; y < p.height; ++y) {
        const int stored = height > 0 ? p.height - 1 - y : y;
        std::copy_n(d.begin() + offset + stored * stride, size_t(p.width) * 3, p.bgr.begin() + size_t(y) * p.width * 3);
    }
    return p;
}

Frame BlackFrame() { return Frame(size_t(kScreenW) * kScreenH, 0); }

void PasteKeyed(Frame& frame, const Picture24& picture, int sx, int sy, int w, int h, int x, int y) {
    for (int j = 0; j < h; ++j) {
        for (int i = 0; i < w; ++i) {
            const int dx = x + i, dy = y + j;
            if (dx < 0 || dy < 0 || dx >= kScreenW || dy >= kScreenH) continue;
            const uint8_t* p = picture.At(sx + i, sy + j);
            const uint16_t v = Rgb565(p[2], p[1], p[0]);
            if (v != 0) frame[size_t(dy) * kScreenW + dx] = v;
        }
    }
}

Frame ExpectedFrame(int first, int end) {
    static const Picture24 sheet = LoadAssetBmp("FontSheet.bmp");
    static const Picture24 logo = LoadAssetBmp("kvnLogo.bmp");
    Frame f = BlackFrame();
    for (int i = first; i < end; ++i) {
        const char ch = TextLines[size_t(i / 30)][size_t(i % 30)];
        const auto k = static_cast<int>(GlyphCharset.find(ch));
        PasteKeyed(f, sheet, 10 * (k % 26), 18 * (k / 26), 10, 18, 10 * (i % 30 + 1), 108 + 18 * ((i / 30) % 7));
    }
    PasteKeyed(f, logo, 0, 0, logo.width, logo.height, 12, 5);
    return f;
}

namespace {
void WritePpm(const std::string& path, const std::vector<uint16_t>& pixels, int width, int height) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) return;
    std::fprintf(f, "P6\n%d %d\n255\n", width, height);
    for (size_t i = 0; i < size_t(width) * height; ++i) {
        const uint16_t v = i < pixels.size() ? pixels[i] : 0;
        const unsigned char rgb[3] = {uint8_t((v >> 11) << 3), uint8_t(((v >> 5) & 63) << 2), uint8_t((v & 31) << 3)};
        std::fwrite(rgb, 1, 3, f);
    }
    std::fclose(f);
}
}  // namespace

::testing::AssertionResult SameImage(const std::vector<uint16_t>& actual, const std::vector<uint16_t>& expected,
                                     int width, int height, const std::string& what) {
    const size_t n = size_t(width) * height;
    std::ostringstream why;
    if (actual.size() != n || expected.size() != n) {
        why << what << ": sizes differ (actual " << actual.size() << " pixels, expected " << expected.size()
            << ", want " << n << ")";
    } else {
        size_t differing = 0, first = n;
        for (size_t i = 0; i < n; ++i)
            if (actual[i] != expected[i]) {
                if (first == n) first = i;
                ++differing;
            }
        if (differing == 0) return ::testing::AssertionSuccess();
        why << what << ": " << differing << " pixels differ; the first at (" << first % width << ", "
            << first / width << "): actual 0x" << std::hex << actual[first] << ", expected 0x" << expected[first];
    }
    std::error_code ec;
    std::filesystem::create_directories(KORVANE_TEST_OUTPUT_DIR, ec);
    std::string file;
    for (char c : what) file += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
    const std::string base = std::string(KORVANE_TEST_OUTPUT_DIR) + "/" + file;
    WritePpm(base + ".actual.ppm", actual, width, height);
    WritePpm(base + ".expected.ppm", expected, width, height);
    why << " (written to " << base << ".{actual,expected}.ppm)";
    return ::testing::AssertionFailure() << why.str();
}

bool RecordingHeadless::OpenDisplay(const backend::DisplayRequest& request, std::string& error) {
    ++opens;
    const bool ok = Headless::OpenDisplay(request, error);
    if (!ok) ++opensFailed;
    return ok;
}
void RecordingHeadless::CloseDisplay() {
    ++closes;
    Headless::CloseDisplay();
}
void RecordingHeadless::WaitEvent() {
    ++waits;
    Headless::WaitEvent();
}
void RecordingHeadless::ShowWindow() {
    if (shows++ == 0) {
        counterAtShow = FrameCounter;
        imagesAtShow = frmMain && frmMain->ImageList ? frmMain->ImageList->Items.Count() : -1;
    }
    Headless::ShowWindow();
}

void IntroRun::SetUp() {
    // The intro's globals start at their built-in values in every run.
    frmMain = nullptr;
    FrameCounter = 0;
    LogoSprite = TSpriteRec{};
    GlyphTable = {};
    RevealDelay = 0;
    RevealEnd = 0;
    RevealPause = 0;
    RevealStart = 0;
    RevealPage = 1;
    MusicPlaying = false;
    auto backend = std::make_unique<RecordingHeadless>();
    h = backend.get();
    backend::Install(std::move(backend));
}

void IntroRun::TearDown() {
    frmMain = nullptr;
    h = nullptr;
    backend::Uninstall();
}

void IntroRun::Hook() {
    if (hooked_ || !frmMain || !frmMain->dxTimer || !frmMain->dxTimer->OnTimer) return;
    hooked_ = true;
    auto timer = frmMain->dxTimer->OnTimer;
    frmMain->dxTimer->OnTimer = [this, timer](TObject* sender, int lag) {
        TickRecord t;
        t.lag = lag;
        t.clock = h->clock;
        t.presentsBefore = h->presents;
        auto record = [&] {
            t.counter = FrameCounter;
            t.presentsAfter = h->presents;
            ticks.push_back(t);
            if (onTick) onTick(ticks.back());
        };
        try {
            timer(sender, lag);
        } catch (...) {
            t.threw = true;
            record();
            throw;
        }
        record();
    };
    auto destroy = frmMain->OnDestroy;
    frmMain->OnDestroy = [this, destroy](TObject* sender) {
        ++destroys;
        if (destroy) destroy(sender);
    };
}

int IntroRun::Run(std::function<void(RecordingHeadless&)> script, int maxPasses) {
    bool runaway = false;
    h->onEmptyQueue = [&, script](backend::Headless&) {
        Hook();
        if (++passes > maxPasses) {
            if (!runaway) h->Post({backend::EventKind::Quit});
            runaway = true;
            return;
        }
        script(*h);
    };
    const int result = KorvaneMain();
    h->onEmptyQueue = nullptr;
    EXPECT_FALSE(runaway) << "the run did not end within " << maxPasses << " empty polls";
    frmMain = nullptr;
    return result;
}

std::function<void(RecordingHeadless&)> IntroRun::TicksThenEscape(int32_t lastTick) {
    return [lastTick, posted = false](RecordingHeadless& b) mutable {
        b.clock += 16;
        if (!posted && FrameCounter >= lastTick) {
            b.PostKey(27);
            posted = true;
        }
    };
}

}  // namespace test
