// The real backend, over SDL2.
//
// Presentation goes through the window's own framebuffer (no renderer): the
// RGB565 picture is converted and scaled by a whole factor in our code, each
// source pixel written once as a block, centred, black around it. That path
// costs a fraction of a millisecond on machines without a GPU, where SDL's
// renderer would run OpenGL on a software rasteriser. The framebuffer has no
// vertical-blank wait of its own, so a vsynced present first sleeps until
// the next refresh boundary of the display.
#include <SDL.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "../Backend.h"
#include "Scale.h"

namespace backend {
namespace {

uint16_t VirtualKey(SDL_Keycode key) {
    if (key >= SDLK_a && key <= SDLK_z) return static_cast<uint16_t>('A' + (key - SDLK_a));
    if (key >= SDLK_0 && key <= SDLK_9) return static_cast<uint16_t>('0' + (key - SDLK_0));
    if (key >= SDLK_F1 && key <= SDLK_F12) return static_cast<uint16_t>(0x70 + (key - SDLK_F1));
    switch (key) {
        case SDLK_ESCAPE: return 27;
        case SDLK_RETURN: return 13;
        case SDLK_SPACE: return 32;
        case SDLK_TAB: return 9;
        case SDLK_BACKSPACE: return 8;
        case SDLK_LEFT: return 0x25;
        case SDLK_UP: return 0x26;
        case SDLK_RIGHT: return 0x27;
        case SDLK_DOWN: return 0x28;
        case SDLK_LSHIFT:
        case SDLK_RSHIFT: return 0x10;
        case SDLK_LCTRL:
        case SDLK_RCTRL: return 0x11;
        case SDLK_LALT:
        case SDLK_RALT: return 0x12;
        default: return 0xFF;
    }
}

class SdlBackend : public Backend {
public:
    SdlBackend() {
        // A desktop user switching away expects the intro to stay where it
        // is, not to iconify itself.
        SDL_SetHint(SDL_HINT_VIDEO_MINIMIZE_ON_FOCUS_LOSS, "0");
        // The window framebuffer, not a renderer behind it.
        SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
        // Escape and the modifiers reach the window even over the desktop.
        SDL_SetHint(SDL_HINT_GRAB_KEYBOARD, "0");
        if (SDL_Init(SDL_INIT_VIDEO | SDL_INIT_EVENTS) != 0) {
            std::fprintf(stderr, "korvane: cannot open the display: %s\n", SDL_GetError());
            std::exit(1);
        }
        // Without a window system SDL falls back to drivers that show
        // nothing; an intro nobody can see or close is no intro.
        const char* driver = SDL_GetCurrentVideoDriver();
        const char* asked = std::getenv("SDL_VIDEODRIVER");
        if (driver && (!asked || !*asked) &&
            (std::strcmp(driver, "offscreen") == 0 || std::strcmp(driver, "dummy") == 0)) {
            std::fprintf(stderr, "korvane: cannot open the display: no window system found\n");
            std::exit(1);
        }
        for (uint32_t v = 0; v < 65536; ++v) {
            const uint32_t r = v >> 11, g = (v >> 5) & 63, b = v & 31;
            rgb888_[v] = ((r << 3 | r >> 2) << 16) | ((g << 2 | g >> 4) << 8) | (b << 3 | b >> 2);
        }
    }
    ~SdlBackend() override { Shutdown(); }

    // SDL gives the desktop its own mode back when it quits.
    void Shutdown() override {
        if (down_) return;
        DestroyWindow();
        SDL_Quit();
        down_ = true;
    }

    const char* Name() const override { return "sdl"; }
    uint32_t Ticks() override { return SDL_GetTicks(); }

    bool PollEvent(Event& event) override {
        SDL_Event e;
        while (SDL_PollEvent(&e)) {
            if (Translate(e, event)) return true;
        }
        return false;
    }

    void WaitEvent() override { SDL_WaitEventTimeout(nullptr, 100); }

    bool CreateWindow(const WindowSettings& settings) override {
        DestroyWindow();
        Uint32 flags = SDL_WINDOW_HIDDEN | SDL_WINDOW_ALLOW_HIGHDPI;
        if (settings.border == Border::None) flags |= SDL_WINDOW_BORDERLESS;
        if (settings.border == Border::Sizeable) flags |= SDL_WINDOW_RESIZABLE;
        const int pos = settings.centered ? SDL_WINDOWPOS_CENTERED : SDL_WINDOWPOS_UNDEFINED;
        window_ = SDL_CreateWindow(settings.title.c_str(), pos, pos, std::max(settings.clientWidth, 1),
                                   std::max(settings.clientHeight, 1), flags);
        if (!window_) {
            std::fprintf(stderr, "korvane: cannot create the window: %s\n", SDL_GetError());
            return false;
        }
        if (!iconPixels_.empty()) ApplyIcon();
        SDL_ShowCursor(cursorVisible_ ? SDL_ENABLE : SDL_DISABLE);
        return true;
    }

    void SetWindowIcon(int width, int height, std::span<const uint32_t> argb) override {
        iconPixels_.assign(argb.begin(), argb.end());
        iconWidth_ = width;
        iconHeight_ = height;
        if (window_) ApplyIcon();
    }

    void ShowWindow() override {
        if (!window_) return;
        SDL_ShowWindow(window_);
        SDL_RaiseWindow(window_);
        Repaint();
    }

    void DestroyWindow() override {
        if (!window_) return;
        CloseDisplay();
        SDL_DestroyWindow(window_);
        window_ = nullptr;
    }

    bool HasWindow() const override { return window_ != nullptr; }

    void SetCursorVisible(bool visible) override {
        cursorVisible_ = visible;
        SDL_ShowCursor(visible ? SDL_ENABLE : SDL_DISABLE);
    }

    std::vector<DisplayMode> DisplayModes() override {
        std::vector<DisplayMode> modes;
        const int display = window_ ? std::max(SDL_GetWindowDisplayIndex(window_), 0) : 0;
        // Only an exactly offered 320 x 240 16-bit mode is ever switched to:
        // other real mode changes rearrange the desktop, and Wayland cannot
        // switch at all.
        for (int i = 0; i < SDL_GetNumDisplayModes(display); ++i) {
            SDL_DisplayMode m;
            if (SDL_GetDisplayMode(display, i, &m) != 0) continue;
            if (m.w == 320 && m.h == 240 && SDL_BITSPERPIXEL(m.format) == 16) {
                modes.push_back({m.w, m.h, 16});
                exact_ = m;
                break;
            }
        }
        // The desktop's own mode serves any depth: the picture is converted
        // and scaled when it is presented.
        SDL_DisplayMode desktop;
        if (SDL_GetDesktopDisplayMode(display, &desktop) == 0 && desktop.w >= 320 && desktop.h >= 240) {
            const DisplayMode served{desktop.w, desktop.h, 16};
            if (std::find(modes.begin(), modes.end(), served) == modes.end()) modes.push_back(served);
            desktop_ = desktop;
        }
        return modes;
    }

    bool OpenDisplay(const DisplayRequest& request, std::string& error) override {
        if (!window_) {
            error = "DirectDraw cannot be initialized";
            return false;
        }
        request_ = request;
        if (request.fullScreen) {
            int rc;
            if (request.mode.width == 320 && request.mode.height == 240 && exact_.w == 320) {
                SDL_SetWindowDisplayMode(window_, &exact_);
                rc = SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN);
            } else {
                rc = SDL_SetWindowFullscreen(window_, SDL_WINDOW_FULLSCREEN_DESKTOP);
            }
            if (rc != 0) {
                SDL_SetWindowFullscreen(window_, 0);
                return false;  // the display component reports the mode
            }
            fullScreen_ = true;
        }
        frame_.assign(size_t(request.surfaceWidth) * request.surfaceHeight, 0);
        frameWidth_ = request.surfaceWidth;
        frameHeight_ = request.surfaceHeight;
        open_ = true;
        lost_ = false;
        bordersDirty_ = true;
        Repaint();
        return true;
    }

    void CloseDisplay() override {
        if (!open_) return;
        open_ = false;
        lost_ = false;
        if (fullScreen_ && window_) SDL_SetWindowFullscreen(window_, 0);
        fullScreen_ = false;
    }

    bool DisplayLost() override { return open_ && lost_; }

    bool RestoreDisplay() override {
        if (!window_ || !open_) return false;
        if (!SDL_GetWindowSurface(window_)) return false;
        std::fill(frame_.begin(), frame_.end(), 0);
        lost_ = false;
        bordersDirty_ = true;
        return true;
    }

    void WaitVerticalBlank() override {
        int hz = 60;
        SDL_DisplayMode mode;
        if (window_ && SDL_GetWindowDisplayMode(window_, &mode) == 0 && mode.refresh_rate > 0)
            hz = mode.refresh_rate;
        const Uint64 freq = SDL_GetPerformanceFrequency();
        const Uint64 period = freq / Uint64(hz);
        const Uint64 now = SDL_GetPerformanceCounter();
        const Uint64 next = (now / period + 1) * period;
        // Sleep, not spin: whole milliseconds first, the rest is under 1 ms.
        const Uint64 waitMs = (next - now) * 1000 / freq;
        if (waitMs > 0) SDL_Delay(static_cast<Uint32>(waitMs));
    }

    void Present(const uint16_t* pixels, int width, int height, int pitchPixels, bool vsync) override {
        if (!window_ || !open_) return;
        if (width != frameWidth_ || height != frameHeight_) {
            frame_.assign(size_t(width) * height, 0);
            frameWidth_ = width;
            frameHeight_ = height;
        }
        for (int y = 0; y < height; ++y)
            std::memcpy(&frame_[size_t(y) * width], pixels + size_t(y) * pitchPixels, size_t(width) * 2);
        if (vsync) WaitVerticalBlank();
        Repaint();
    }

    void MessageBox(std::string_view caption, std::string_view text) override {
        const std::string c(caption), t(text);
        std::fprintf(stderr, "%s: %s\n", c.c_str(), t.c_str());
        SDL_MessageBoxButtonData button{SDL_MESSAGEBOX_BUTTON_RETURNKEY_DEFAULT | SDL_MESSAGEBOX_BUTTON_ESCAPEKEY_DEFAULT,
                                        0, "OK"};
        SDL_MessageBoxData box{SDL_MESSAGEBOX_ERROR, nullptr, c.c_str(), t.c_str(), 1, &button, nullptr};
        int pressed = 0;
        SDL_ShowMessageBox(&box, &pressed);
    }

private:
    bool Translate(const SDL_Event& e, Event& out) {
        switch (e.type) {
            case SDL_QUIT:
                out = {EventKind::Quit};
                return true;
            case SDL_KEYDOWN: {
                out = {EventKind::KeyDown, VirtualKey(e.key.keysym.sym), 0};
                const Uint16 mod = e.key.keysym.mod;
                if (mod & KMOD_SHIFT) out.mods |= ModShift;
                if (mod & KMOD_CTRL) out.mods |= ModCtrl;
                if (mod & KMOD_ALT) out.mods |= ModAlt;
                return true;
            }
            case SDL_WINDOWEVENT:
                switch (e.window.event) {
                    case SDL_WINDOWEVENT_CLOSE:
                        out = {EventKind::CloseRequest};
                        return true;
                    case SDL_WINDOWEVENT_FOCUS_GAINED:
                        out = {EventKind::FocusGained};
                        return true;
                    case SDL_WINDOWEVENT_FOCUS_LOST:
                        // What was on a full screen may be gone when the user
                        // comes back.
                        if (fullScreen_) lost_ = true;
                        out = {EventKind::FocusLost};
                        return true;
                    case SDL_WINDOWEVENT_SIZE_CHANGED:
                    case SDL_WINDOWEVENT_RESIZED:
                        bordersDirty_ = true;
                        Repaint();
                        return false;
                    case SDL_WINDOWEVENT_EXPOSED:
                    case SDL_WINDOWEVENT_SHOWN:
                    case SDL_WINDOWEVENT_RESTORED:
                        bordersDirty_ = true;
                        Repaint();
                        return false;
                    default:
                        return false;
                }
            default:
                return false;
        }
    }

    void ApplyIcon() {
        SDL_Surface* icon = SDL_CreateRGBSurfaceWithFormatFrom(
            iconPixels_.data(), iconWidth_, iconHeight_, 32, iconWidth_ * 4, SDL_PIXELFORMAT_ARGB8888);
        if (!icon) return;
        SDL_SetWindowIcon(window_, icon);
        SDL_FreeSurface(icon);
    }

    // Shows the last frame: scaled by the largest whole factor that fits
    // the window's pixels, centred, black around it.
    void Repaint() {
        if (!window_ || !open_ || frame_.empty()) return;
        SDL_Surface* surface = SDL_GetWindowSurface(window_);
        if (!surface) return;
        const int W = surface->w, H = surface->h;
        const int k = std::max(1, std::min(W / frameWidth_, H / frameHeight_));
        const int outW = std::min(frameWidth_ * k, W), outH = std::min(frameHeight_ * k, H);
        const int ox = (W - outW) / 2, oy = (H - outH) / 2;
        if (SDL_MUSTLOCK(surface) && SDL_LockSurface(surface) != 0) return;
        const int bpp = surface->format->BytesPerPixel;
        auto* base = static_cast<uint8_t*>(surface->pixels);
        if (bordersDirty_ || W != lastW_ || H != lastH_) {
            for (int y = 0; y < H; ++y) std::memset(base + size_t(y) * surface->pitch, 0, size_t(W) * bpp);
            bordersDirty_ = false;
            lastW_ = W;
            lastH_ = H;
        }
        const bool direct565 = surface->format->format == SDL_PIXELFORMAT_RGB565;
        const bool xrgb = bpp == 4 && surface->format->Rmask == 0xFF0000 && surface->format->Gmask == 0xFF00 &&
                          surface->format->Bmask == 0xFF;
        const int srcRows = outH / k, srcCols = outW / k;
        uint8_t* origin = base + size_t(oy) * surface->pitch + size_t(ox) * bpp;
        if (direct565 || xrgb) {
            ScaleWhole(frame_.data(), frameWidth_, srcCols, srcRows, k, origin, surface->pitch,
                       direct565 ? PixelLayout::Rgb565 : PixelLayout::Xrgb8888);
        } else {
            for (int sy = 0; sy < srcRows; ++sy) {
                const uint16_t* src = &frame_[size_t(sy) * frameWidth_];
                uint8_t* firstRow = origin + size_t(sy) * k * surface->pitch;
                uint8_t* d = firstRow;
                for (int x = 0; x < srcCols; ++x) {
                    const uint32_t c = rgb888_[src[x]];
                    const Uint32 mapped = SDL_MapRGB(surface->format, (c >> 16) & 0xFF, (c >> 8) & 0xFF, c & 0xFF);
                    for (int i = 0; i < k; ++i, d += bpp) std::memcpy(d, &mapped, size_t(bpp));
                }
                // The other rows of the block are copies of the first.
                for (int i = 1; i < k; ++i)
                    std::memcpy(firstRow + size_t(i) * surface->pitch, firstRow, size_t(srcCols) * k * bpp);
            }
        }
        if (SDL_MUSTLOCK(surface)) SDL_UnlockSurface(surface);
        SDL_UpdateWindowSurface(window_);
    }

    SDL_Window* window_ = nullptr;
    bool down_ = false;
    bool cursorVisible_ = true;
    std::vector<uint32_t> iconPixels_;
    int iconWidth_ = 0, iconHeight_ = 0;
    SDL_DisplayMode exact_{};
    SDL_DisplayMode desktop_{};
    DisplayRequest request_;
    bool open_ = false, fullScreen_ = false, lost_ = false, bordersDirty_ = true;
    int lastW_ = 0, lastH_ = 0;
    std::vector<uint16_t> frame_;
    int frameWidth_ = 0, frameHeight_ = 0;
    std::array<uint32_t, 65536> rgb888_{};
};

}  // namespace

std::unique_ptr<Backend> CreateSdlBackend() { return std::make_unique<SdlBackend>(); }

}  // namespace backend
