// Shared helpers of the unit and whole-intro tests: pictures read from the
// committed assets, the frames the intro should present composed from them
// independently of the platform, whole-image comparison, and a fixture that
// runs the program entry on the headless backend under a script.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "Headless.h"

namespace test {

constexpr int kScreenW = 320, kScreenH = 240;

// A 24-bit picture, top row first, blue-green-red.
struct Picture24 {
    int width = 0, height = 0;
    std::vector<uint8_t> bgr;
    const uint8_t* At(int x, int y) const { return &bgr[(size_t(y) * width + x) * 3]; }
};
// Reads an uncompressed 24-bit BMP file of the assets folder.
Picture24 LoadAssetBmp(const std::string& name);

constexpr uint16_t Rgb565(uint8_t r, uint8_t g, uint8_t b) {
    return static_cast<uint16_t>(((r >> 3) << 11) | ((g >> 2) << 5) | (b >> 3));
}

using Frame = std::vector<uint16_t>;
Frame BlackFrame();
// Draws a picture's rectangle at (x, y), skipping pixels whose 16-bit value
// is black, clipped to the frame: the reference for every colour-keyed draw.
void PasteKeyed(Frame& frame, const Picture24& picture, int sx, int sy, int w, int h, int x, int y);
// The frame the intro presents when the entries [first, end) of the text are
// revealed: black, the glyphs, then the logo at (12, 5).
Frame ExpectedFrame(int first, int end);

// Compares two whole images; on failure names the first differing pixel and
// writes both pictures as PPM files named after `what`.
::testing::AssertionResult SameImage(const std::vector<uint16_t>& actual, const std::vector<uint16_t>& expected,
                                     int width, int height, const std::string& what);

// A headless backend that also counts the calls a test wants to see.
class RecordingHeadless : public backend::Headless {
public:
    bool OpenDisplay(const backend::DisplayRequest& request, std::string& error) override;
    void CloseDisplay() override;
    void WaitEvent() override;
    void ShowWindow() override;
    int opens = 0, opensFailed = 0, closes = 0, waits = 0, shows = 0;
    // The intro's state when the window was first shown.
    int32_t counterAtShow = -1;
    int imagesAtShow = -1;
};

struct TickRecord {
    int lag = 0;
    int32_t counter = 0;  // FrameCounter after the tick
    uint32_t clock = 0;   // the backend clock when the tick ran
    int presentsBefore = 0, presentsAfter = 0;
    bool threw = false;
};

// Runs KorvaneMain() on a fresh headless backend with the intro's globals
// back at their initial values. `script` is called each time the message
// loop finds its queue empty, before the idle pass that may tick; it moves
// the clock and posts events.
class IntroRun : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    // Returns KorvaneMain's result; fails the test if the run does not end
    // within `maxPasses` empty polls.
    int Run(std::function<void(RecordingHeadless&)> script, int maxPasses = 200000);
    // A script that moves the clock 16 ms per pass and posts Escape once the
    // given tick has run.
    static std::function<void(RecordingHeadless&)> TicksThenEscape(int32_t lastTick);

    RecordingHeadless* h = nullptr;
    std::vector<TickRecord> ticks;
    int destroys = 0;
    int passes = 0;
    // Called after every tick, with the tick's record.
    std::function<void(const TickRecord&)> onTick;

private:
    void Hook();
    bool hooked_ = false;
};

}  // namespace test
