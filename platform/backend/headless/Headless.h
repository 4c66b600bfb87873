// A deterministic backend: a clock the test moves, events the test posts,
// frames the test reads back, message boxes it answers, display modes it
// chooses. Every call is recorded so that a test can check what happened.
#pragma once

#include <deque>
#include <functional>
#include <string>
#include <vector>

#include "../Backend.h"

namespace backend {

class Headless : public Backend {
public:
    const char* Name() const override { return "headless"; }
    uint32_t Ticks() override { return clock; }
    bool PollEvent(Event& event) override;
    void WaitEvent() override;
    bool CreateWindow(const WindowSettings& settings) override;
    void SetWindowIcon(int width, int height, std::span<const uint32_t> argb) override;
    void ShowWindow() override;
    void DestroyWindow() override;
    bool HasWindow() const override { return windowExists; }
    void SetCursorVisible(bool visible) override { cursorVisible = visible; }
    std::vector<DisplayMode> DisplayModes() override { return modes; }
    bool OpenDisplay(const DisplayRequest& request, std::string& error) override;
    void CloseDisplay() override;
    bool DisplayLost() override { return displayOpen && lost; }
    bool RestoreDisplay() override;
    void WaitVerticalBlank() override { ++vblankWaits; }
    void Present(const uint16_t* pixels, int width, int height, int pitchPixels, bool vsync) override;
    void MessageBox(std::string_view caption, std::string_view text) override;

    // Posts an event for the application to take.
    void Post(Event event) { queue.push_back(event); }
    void PostKey(uint16_t key, uint32_t mods = 0) { Post({EventKind::KeyDown, key, mods}); }
    // Called whenever the application finds the queue empty; a test uses it
    // to move the clock and post events. Without it, the clock moves by
    // `autoStepMs` on each empty poll.
    std::function<void(Headless&)> onEmptyQueue;
    uint32_t autoStepMs = 1;

    uint32_t clock = 1000;
    std::deque<Event> queue;
    std::vector<DisplayMode> modes{{320, 240, 16}};

    // Window.
    bool windowExists = false;
    bool windowShown = false;
    WindowSettings window;
    int windowsCreated = 0;
    bool cursorVisible = true;
    std::vector<uint32_t> icon;
    int iconSize = 0;

    // Display.
    bool displayOpen = false;
    DisplayRequest display;
    std::string failOpen;  // when set, OpenDisplay fails with this message
    bool lost = false;
    bool restoreFails = false;
    int restores = 0;
    int vblankWaits = 0;
    int presents = 0;
    int vsyncPresents = 0;
    std::vector<uint16_t> screen;  // what the screen shows, RGB565
    int screenWidth = 0, screenHeight = 0;
    // Every present, with the frame's pixels, when `keepFrames` is set.
    bool keepFrames = false;
    std::vector<std::vector<uint16_t>> frames;
    std::function<void(Headless&)> onPresent;

    // Message boxes shown: caption and text.
    struct Box {
        std::string caption, text;
    };
    std::vector<Box> boxes;
    std::function<void(Headless&, const Box&)> onMessageBox;

    // Written each present when set: the frame as a binary PPM.
    std::string framePath;
};

}  // namespace backend
