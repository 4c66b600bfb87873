#include "Headless.h"

#include <cstdio>
#include <cstdlib>

namespace backend {

bool Headless::PollEvent(Event& event) {
    if (queue.empty()) {
        if (onEmptyQueue) onEmptyQueue(*this);
        else clock += autoStepMs;
    }
    if (queue.empty()) return false;
    event = queue.front();
    queue.pop_front();
    return true;
}

void Headless::WaitEvent() {
    // Nothing outside can wake a headless run: give the test its turn, or
    // let time pass, and return so that the loop polls again.
    if (onEmptyQueue) onEmptyQueue(*this);
    else clock += autoStepMs;
}

bool Headless::CreateWindow(const WindowSettings& settings) {
    window = settings;
    windowExists = true;
    windowShown = false;
    ++windowsCreated;
    return true;
}

void Headless::SetWindowIcon(int width, int height, std::span<const uint32_t> argb) {
    iconSize = width == height ? width : 0;
    icon.assign(argb.begin(), argb.end());
}

void Headless::ShowWindow() { windowShown = windowExists; }

void Headless::DestroyWindow() {
    if (displayOpen) CloseDisplay();
    windowExists = false;
    windowShown = false;
}

bool Headless::OpenDisplay(const DisplayRequest& request, std::string& error) {
    if (!failOpen.empty()) {
        error = failOpen;
        return false;
    }
    if (request.fullScreen) {
        bool offered = false;
        for (const auto& m : modes) offered = offered || m == request.mode;
        if (!offered) return false;
    }
    display = request;
    displayOpen = true;
    lost = false;
    screenWidth = request.surfaceWidth;
    screenHeight = request.surfaceHeight;
    screen.assign(size_t(screenWidth) * screenHeight, 0);
    return true;
}

void Headless::CloseDisplay() {
    displayOpen = false;
    lost = false;
}

bool Headless::RestoreDisplay() {
    if (restoreFails) return false;
    ++restores;
    lost = false;
    screen.assign(screen.size(), 0);
    return true;
}

void Headless::Present(const uint16_t* pixels, int width, int height, int pitchPixels, bool vsync) {
    ++presents;
    if (vsync) ++vsyncPresents;
    screenWidth = width;
    screenHeight = height;
    screen.resize(size_t(width) * height);
    for (int y = 0; y < height; ++y)
        std::copy(pixels + size_t(y) * pitchPixels, pixels + size_t(y) * pitchPixels + width,
                  screen.begin() + size_t(y) * width);
    if (keepFrames) frames.push_back(screen);
    if (!framePath.empty()) {
        if (FILE* f = std::fopen(framePath.c_str(), "wb")) {
            std::fprintf(f, "P6\n%d %d\n255\n", width, height);
            for (uint16_t v : screen) {
                const unsigned r = v >> 11, g = (v >> 5) & 63, b = v & 31;
                const unsigned char rgb[3] = {static_cast<unsigned char>((r << 3) | (r >> 2)),
                                              static_cast<unsigned char>((g << 2) | (g >> 4)),
                                              static_cast<unsigned char>((b << 3) | (b >> 2))};
                std::fwrite(rgb, 1, 3, f);
            }
            std::fclose(f);
        }
    }
    if (onPresent) onPresent(*this);
}

void Headless::MessageBox(std::string_view caption, std::string_view text) {
    boxes.push_back({std::string(caption), std::string(text)});
    std::fprintf(stderr, "%.*s: %.*s\n", int(caption.size()), caption.data(), int(text.size()), text.data());
    if (onMessageBox) onMessageBox(*this, boxes.back());
}

// The program can run headless too (KORVANE_BACKEND=headless), as fast as
// the machine allows: the clock moves one tick interval per empty poll.
// KORVANE_HEADLESS_FRAME names a file that receives the last frame,
// KORVANE_HEADLESS_FRAMES ends the run with Escape after that many frames,
// KORVANE_HEADLESS_MS ends it once the clock has moved that far.
std::unique_ptr<Backend> CreateHeadlessBackend() {
    auto headless = std::make_unique<Headless>();
    auto number = [](const char* name) -> long {
        const char* v = std::getenv(name);
        return v && *v ? std::strtol(v, nullptr, 10) : 0;
    };
    if (const char* path = std::getenv("KORVANE_HEADLESS_FRAME")) headless->framePath = path;
    const long frames = number("KORVANE_HEADLESS_FRAMES");
    const long ms = number("KORVANE_HEADLESS_MS");
    const uint32_t start = headless->clock;
    headless->onEmptyQueue = [frames, ms, start, posted = false](Headless& h) mutable {
        h.clock += 16;
        if (posted) return;
        if ((frames > 0 && h.presents >= frames) || (ms > 0 && h.clock - start >= uint32_t(ms))) {
            h.PostKey(27);
            posted = true;
        }
    };
    return headless;
}

}  // namespace backend
