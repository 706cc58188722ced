// SPDX-License-Identifier: MIT
#include "scope/screen.h"

#include "scope/presenter.h"
#include "scope/surface.h"
#include "scope/video_start.h"

#include <SDL.h>

#include <cstdio>
#include <memory>
#include <new>

namespace {
// Where the previews go, three of them (768 KB), made with the window.
std::unique_ptr<NewestOfThree<Preview>> previews;

// The scope stores 4-byte 0x00RRGGBB words up to the last column of the last row.
bool holds_scope_pixels(const SDL_Surface *s) {
    const SDL_PixelFormat *f = s->format;
    return f->BytesPerPixel == 4 && f->Rmask == 0xff0000 && f->Gmask == 0xff00 &&
           f->Bmask == 0xff && s->w >= SCREEN_WIDTH && s->h >= SCREEN_HEIGHT;
}
} // namespace

SDL_Surface *set_scope_mode() {
    SDL_Surface *s = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 0, SDL_ANYFORMAT);
    // On a display of another depth, asking for 32 bits without SDL_ANYFORMAT
    // gives a 32-bit shadow surface that SDL converts to the display at each flip.
    if (s && !holds_scope_pixels(s))
        s = SDL_SetVideoMode(SCREEN_WIDTH, SCREEN_HEIGHT, 32, SDL_SWSURFACE);
    return s && holds_scope_pixels(s) ? s : nullptr;
}

namespace {
// The window in its first picture, black, with its title; false without one.
bool open_window(SDL_Surface **window) {
    *window = start_video() ? set_scope_mode() : nullptr;
    if (!*window)
        return false;
    // A task bar or window list finds the window by its title.
    SDL_WM_SetCaption("scopesynth", "scopesynth");
    // The first present is slow (SDL 1.2 over SDL 2 sets up its renderer
    // then: tens of ms). Made here, before the stream starts, it holds up
    // neither the sound nor the first picture, and the window shows the
    // black it would show anyway.
    clear_surface(*window);
    SDL_Flip(*window);
    return true;
}
} // namespace

NewestOfThree<Preview> *open_screen() {
    SDL_Surface *window = nullptr;
    if (open_window(&window))
        previews.reset(new (std::nothrow) NewestOfThree<Preview>);
    if (!previews || !start_presenter(window, *previews)) {
        previews.reset();
        SDL_Quit(); // whatever part of SDL did start
        std::printf("The scope window could not be opened: playing with sound only.\n");
        return nullptr;
    }
    return previews.get();
}

void close_screen() {
    stop_presenter();
    if (previews)
        SDL_Quit();
}
