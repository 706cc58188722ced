// SPDX-License-Identifier: MIT
#include "scope/video_start.h"

#include <SDL.h>

#include <csignal>
#include <cstdlib>

// SDL 2 (under Debian 13's SDL 1.2) draws through OpenGL by default, which on
// a desktop without a GPU driver is Mesa's software rasteriser: its own
// threads and several round trips to the X server, up to 20 ms a present on a
// busy machine, and 150 MB. Its own software renderer, with the window's
// surface kept off OpenGL too, copies the picture into shared memory and
// waits for the X server once: about 1 ms, in less CPU time and a
// quarter of the memory. Settings that the user made stay; SDL 1.2 itself
// ignores them.
//
// Only a real window will do: an X display. Left to choose, SDL falls back to
// drawing ASCII art into this very console, or ends the process when it
// cannot.
//
// SDL's video start-up claims SIGINT and SIGTERM while they are at their
// default and turns them into quit events, which nothing here reads: Ctrl-C
// would be swallowed. Whatever the program had set stays in force. Without
// SDL's parachute a crash stays a crash instead of an exit run from inside a
// signal handler on whichever thread faulted.
bool start_video() {
    const char *display = std::getenv("DISPLAY");
    if (!display || !*display)
        return false;
    setenv("SDL_VIDEODRIVER", "x11", 1);
    setenv("SDL_RENDER_DRIVER", "software", 0);
    setenv("SDL_FRAMEBUFFER_ACCELERATION", "0", 0);
    struct sigaction interrupt, terminate;
    sigaction(SIGINT, nullptr, &interrupt);
    sigaction(SIGTERM, nullptr, &terminate);
    const int result = SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE);
    sigaction(SIGINT, &interrupt, nullptr);
    sigaction(SIGTERM, &terminate, nullptr);
    return result == 0;
}
