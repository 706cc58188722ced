// SPDX-License-Identifier: MIT
#pragma once

// The scope's calls of SDL_LockSurface and SDL_UnlockSurface are redirected
// here at link time (--wrap): they go through to SDL and are counted, unless a
// test makes the lock fail, as locking a hardware surface can.
struct LockFake {
    bool fail = false;
    int locks = 0;
    int unlocks = 0;
};

extern LockFake lock_fake;
