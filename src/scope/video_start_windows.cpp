// SPDX-License-Identifier: MIT
#include "scope/video_start.h"

#include <SDL.h>

// Windows always has its window system. Without SDL's parachute a crash
// stays a crash.
bool start_video() {
    return SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE) == 0;
}
