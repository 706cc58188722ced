// SPDX-License-Identifier: MIT
#include "memory_screen.h"

#include "scope/screen.h"

#include <SDL.h>

#include <cstdlib>

void open_memory_screen() {
    setenv("SDL_VIDEODRIVER", "dummy", 1);
    SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE);
    screen = SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0xff0000, 0xff00,
                                  0xff, 0);
}

void close_memory_screen() {
    SDL_FreeSurface(screen);
    screen = nullptr;
    SDL_Quit();
}
