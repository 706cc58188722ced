// SPDX-License-Identifier: MIT
#include "scope/presenter.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <thread>
#include <vector>

namespace {
// Waits a little, for a flag another thread sets. Polled rather than
// std::atomic::wait: the atomic waits of mingw-w64's GCC 12 library can miss
// a notification, which hung this test under wine now and then.
void wait_a_little() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The window's presents go through here (--wrap): each one notes the
// window's first pixel, and while `held` it waits, as a present does for a
// display server that is slow to answer.
struct FlipFake {
    std::atomic<uint32_t> held{0};
    std::atomic<uint32_t> started{0};
    std::vector<uint32_t> shown; // the presenter thread's until it is stopped
};
FlipFake flips;
} // namespace

extern "C" {
int __real_SDL_Flip(SDL_Surface *surface);

int __wrap_SDL_Flip(SDL_Surface *surface) {
    flips.shown.push_back(*static_cast<uint32_t *>(surface->pixels));
    flips.started.fetch_add(1);
    while (flips.held.load() != 0)
        wait_a_little();
    return __real_SDL_Flip(surface);
}
}

namespace {
SDL_Surface *draw(SDL_Surface *canvas, uint32_t colour) {
    SDL_FillRect(canvas, nullptr, colour);
    return canvas;
}
} // namespace

TEST(Presenter, TheStreamNeverWaitsForASlowPresentAndTheNewestPictureIsShownAfterIt) {
    static char dummy_driver[] = "SDL_VIDEODRIVER=dummy";
    SDL_putenv(dummy_driver);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE), 0);
    SDL_Surface *window = SDL_SetVideoMode(640, 800, 32, SDL_SWSURFACE);
    ASSERT_NE(window, nullptr);
    flips.shown.clear(); // the presents of earlier tests, made in place
    flips.started = 0;
    SDL_Surface *canvas = start_presenter(window);
    ASSERT_NE(canvas, window) << "no presenter thread";

    flips.held = 1;
    canvas = present(draw(canvas, 0x111111));
    while (flips.started.load() == 0)
        wait_a_little();
    // Had present() waited for the held flip, the test would hang here.
    canvas = present(draw(canvas, 0x222222));
    canvas = present(draw(canvas, 0x333333));
    draw(canvas, 0x444444); // being drawn: not handed over yet
    flips.held = 0;
    while (flips.started.load() < 2)
        wait_a_little();
    stop_presenter();

    EXPECT_EQ(flips.shown, (std::vector<uint32_t>{0x111111, 0x333333}));
    SDL_Quit();
}
