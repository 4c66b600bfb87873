// The peer of the intro's start-up and memory: a minimal SDL2 program that
// opens the same full-screen 320 x 240 window, presents one frame through
// the window framebuffer and exits.
#include <SDL.h>

#include <cstdio>

int main(int, char**) {
    SDL_SetHint(SDL_HINT_FRAMEBUFFER_ACCELERATION, "0");
    if (SDL_Init(SDL_INIT_VIDEO) != 0) {
        std::fprintf(stderr, "minimal_sdl: %s\n", SDL_GetError());
        return 1;
    }
    SDL_Window* window = SDL_CreateWindow("minimal", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, 320, 240,
                                          SDL_WINDOW_FULLSCREEN | SDL_WINDOW_BORDERLESS);
    if (!window) {
        std::fprintf(stderr, "minimal_sdl: %s\n", SDL_GetError());
        SDL_Quit();
        return 1;
    }
    SDL_Surface* surface = SDL_GetWindowSurface(window);
    if (surface) {
        SDL_FillRect(surface, nullptr, SDL_MapRGB(surface->format, 0, 0, 0));
        SDL_UpdateWindowSurface(window);
    }
    SDL_DestroyWindow(window);
    SDL_Quit();
    return 0;
}
