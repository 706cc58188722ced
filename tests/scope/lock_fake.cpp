// SPDX-License-Identifier: MIT
#include "lock_fake.h"

#include <SDL.h>

LockFake lock_fake;

extern "C" {
int __real_SDL_LockSurface(SDL_Surface *surface);
void __real_SDL_UnlockSurface(SDL_Surface *surface);

int __wrap_SDL_LockSurface(SDL_Surface *surface) {
    ++lock_fake.locks;
    return lock_fake.fail ? -1 : __real_SDL_LockSurface(surface);
}

void __wrap_SDL_UnlockSurface(SDL_Surface *surface) {
    ++lock_fake.unlocks;
    __real_SDL_UnlockSurface(surface);
}
}
