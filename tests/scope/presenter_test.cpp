// SPDX-License-Identifier: MIT
#include "scope/presenter.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <cstdint>
#include <vector>

namespace {
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
    flips.started.notify_all();
    for (uint32_t held; (held = flips.held.load()) != 0;)
        flips.held.wait(held);
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
        flips.started.wait(0);
    // Had present() waited for the held flip, the test would hang here.
    canvas = present(draw(canvas, 0x222222));
    canvas = present(draw(canvas, 0x333333));
    draw(canvas, 0x444444); // being drawn: not handed over yet
    flips.held = 0;
    flips.held.notify_all();
    while (flips.started.load() < 2)
        flips.started.wait(1);
    stop_presenter();

    EXPECT_EQ(flips.shown, (std::vector<uint32_t>{0x111111, 0x333333}));
    SDL_Quit();
}
