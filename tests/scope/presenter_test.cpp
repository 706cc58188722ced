// SPDX-License-Identifier: MIT
#include "scope/presenter.h"

#include <SDL.h>
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <thread>
#include <vector>

namespace {
// Waits a little, for a flag another thread sets. Polled rather than
// std::atomic::wait: the atomic waits of mingw-w64's GCC 12 library can miss
// a notification, which hung this test under wine now and then.
void wait_a_little() {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
}

// The first row from the top, above the lower carrier's, where column 0 is
// white: the upper carrier of the picture presented.
int32_t carrier_row(const SDL_Surface *surface) {
    const auto *pixels = static_cast<const uint32_t *>(surface->pixels);
    for (int32_t y = 1; y < 450; ++y)
        if (pixels[y * surface->pitch / 4] == 0xffffff)
            return y;
    return -1;
}

// The window's presents go through here (--wrap): each one notes the
// picture's carrier row, and while `held` it waits, as a present does for a
// display server that is slow to answer.
struct FlipFake {
    std::atomic<uint32_t> held{0};
    std::atomic<uint32_t> started{0};
    std::vector<int32_t> shown; // the presenter thread's until it is stopped
};
FlipFake flips;
} // namespace

extern "C" {
int __real_SDL_Flip(SDL_Surface *surface);

int __wrap_SDL_Flip(SDL_Surface *surface) {
    flips.shown.push_back(carrier_row(surface));
    flips.started.fetch_add(1);
    while (flips.held.load() != 0)
        wait_a_little();
    return __real_SDL_Flip(surface);
}
}

namespace {
// A preview whose carrier stands still at `level`, on row 120 + 50 * level.
void publish(NewestOfThree<Preview> &previews, float level) {
    for (PreviewSample &s : previews.to_write().samples)
        s = {0.0f, 0.0f, 0.0f, 0.0f, level};
    previews.publish();
}
} // namespace

TEST(Presenter, TheStreamNeverWaitsForASlowPresentAndTheNewestPreviewIsShownAfterIt) {
    static char dummy_driver[] = "SDL_VIDEODRIVER=dummy";
    SDL_putenv(dummy_driver);
    ASSERT_EQ(SDL_Init(SDL_INIT_VIDEO | SDL_INIT_NOPARACHUTE), 0);
    SDL_Surface *window = SDL_SetVideoMode(640, 800, 32, SDL_SWSURFACE);
    ASSERT_NE(window, nullptr);
    flips.shown.clear();
    flips.started = 0;
    auto previews = std::make_unique<NewestOfThree<Preview>>();
    ASSERT_TRUE(start_presenter(window, *previews));

    flips.held = 1;
    publish(*previews, 0.1f);
    while (flips.started.load() == 0)
        wait_a_little();
    // Had publishing waited for the held present, the test would hang here.
    publish(*previews, 0.2f);
    publish(*previews, 0.3f);
    flips.held = 0;
    while (flips.started.load() < 2)
        wait_a_little();
    stop_presenter();

    EXPECT_EQ(flips.shown, (std::vector<int32_t>{125, 135}));
    SDL_Quit();
}
