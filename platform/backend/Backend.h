// The one interface through which the stand-in platform reaches the outside
// world: a clock, window-system events, one window, a display to present
// frames on, and message boxes. Two implementations exist: "sdl" for the real
// program and "headless" for deterministic tests and soak runs.
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace backend {

enum class EventKind {
    KeyDown,       // key: virtual-key code, mods: modifier bits
    CloseRequest,  // the window manager asked the window to close
    FocusGained,
    FocusLost,
    Exposed,       // the window's contents need repainting
    Quit,          // the process was asked to end (signal, session end)
};

enum ModBits : uint32_t { ModShift = 1, ModCtrl = 2, ModAlt = 4 };

struct Event {
    EventKind kind = EventKind::Exposed;
    uint16_t key = 0;
    uint32_t mods = 0;
};

enum class Border { Sizeable, Single, Dialog, None };

struct WindowSettings {
    std::string title;
    int clientWidth = 0;
    int clientHeight = 0;
    Border border = Border::Single;
    bool minimizeBox = true;
    bool centered = true;
};

struct DisplayMode {
    int width = 0;
    int height = 0;
    int bitsPerPixel = 0;
    friend bool operator==(const DisplayMode&, const DisplayMode&) = default;
};

// What the display is asked for: shared in the window, or the whole screen
// in one of the modes that DisplayModes() offered. The backend scales the
// picture by the largest whole factor that fits the screen and centres it.
struct DisplayRequest {
    bool fullScreen = false;
    DisplayMode mode;  // full-screen only
    int surfaceWidth = 320;
    int surfaceHeight = 240;
};

class Backend {
public:
    virtual ~Backend() = default;
    virtual const char* Name() const = 0;

    // Milliseconds since some fixed moment; wraps at 2^32.
    virtual uint32_t Ticks() = 0;
    // Takes one pending event; false when the queue is empty.
    virtual bool PollEvent(Event& event) = 0;
    // Blocks until an event is pending (or returns early; callers re-poll).
    virtual void WaitEvent() = 0;

    // The program's one window. Recreating it with another border is allowed.
    virtual bool CreateWindow(const WindowSettings& settings) = 0;
    virtual void SetWindowIcon(int width, int height, std::span<const uint32_t> argb) = 0;
    virtual void ShowWindow() = 0;
    virtual void DestroyWindow() = 0;
    virtual bool HasWindow() const = 0;
    virtual void SetCursorVisible(bool visible) = 0;

    // Full-screen modes the display can be run in. A backend that converts
    // and scales on presentation may offer the desktop's own mode at any
    // depth it can serve.
    virtual std::vector<DisplayMode> DisplayModes() = 0;
    // Takes the display for the window; on failure returns false and fills
    // `error` with what failed. CloseDisplay always restores the desktop.
    virtual bool OpenDisplay(const DisplayRequest& request, std::string& error) = 0;
    virtual void CloseDisplay() = 0;
    // True once what was presented may have been lost (the user switched
    // away); cleared by RestoreDisplay.
    virtual bool DisplayLost() = 0;
    virtual bool RestoreDisplay() = 0;
    virtual void WaitVerticalBlank() = 0;
    // Shows a whole RGB565 picture; with `vsync` the copy happens after the
    // vertical blank.
    virtual void Present(const uint16_t* pixels, int width, int height, int pitchPixels,
                         bool vsync) = 0;

    // A modal message box with one OK button and a stop icon.
    virtual void MessageBox(std::string_view caption, std::string_view text) = 0;

    // The application has ended: give the display and the desktop back.
    // Called once at the end of the message loop, never from exit handlers,
    // which also run when the window system has gone away under us.
    virtual void Shutdown() {}
};

// The backend in use. Installed once before the application starts; when
// nothing was installed, the first call picks one from the table of
// implementations, by the environment variable KORVANE_BACKEND when set.
Backend& Current();
void Install(std::unique_ptr<Backend> backend);
void Uninstall();

struct BackendEntry {
    const char* name;
    std::unique_ptr<Backend> (*create)();
};
std::span<const BackendEntry> Available();

}  // namespace backend
