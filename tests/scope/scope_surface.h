#pragma once

#include <SDL.h>

#include <cstdint>
#include <cstdlib>

// SDL's dummy video driver: presenting a surface that is not its window does
// nothing, so the scope can draw into memory and flip as it does on screen.
inline void start_dummy_video() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE);
}

// A 640 x 800 surface of 0x00RRGGBB words, the layout of the scope window.
inline SDL_Surface *scope_surface() {
    return SDL_CreateRGBSurface(SDL_SWSURFACE, 640, 800, 32, 0xff0000, 0xff00, 0xff, 0);
}

inline uint32_t pixel_at(const SDL_Surface *s, int x, int y) {
    const auto *row = static_cast<const unsigned char *>(s->pixels) + y * s->pitch;
    return reinterpret_cast<const uint32_t *>(row)[x];
}

inline void fill_words(SDL_Surface *s, uint32_t word) {
    auto *words = static_cast<uint32_t *>(s->pixels);
    for (int i = 0; i < s->h * s->pitch / 4; ++i)
        words[i] = word;
}
