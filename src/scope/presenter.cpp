// SPDX-License-Identifier: MIT
#include "scope/presenter.h"

#include "common/relaxed.h"
#include "platform/main_thread_signals.h"
#include "scope/draw_scope.h"

#include <SDL.h>

#include <chrono>
#include <system_error>
#include <thread>

namespace {
// How often the presenter thread looks for a new preview. It polls rather
// than waiting on an atomic: the atomic waits of mingw-w64's GCC 12 library
// can miss a notification, and the window then stopped, and its thread could
// not be stopped. A preview comes every block (186 ms): a few ms late is
// nothing.
constexpr auto LOOK_EVERY = std::chrono::milliseconds(2);

struct Presenter {
    SDL_Surface *window = nullptr;
    NewestOfThree<Preview> *previews = nullptr;
    Relaxed<int32_t> stopping{0};
    std::thread thread;
};
Presenter pr;

void run() {
    while (!pr.stopping) {
        const Preview *preview = pr.previews->take();
        if (!preview) {
            std::this_thread::sleep_for(LOOK_EVERY);
            continue;
        }
        draw_scope(pr.window, *preview);
        SDL_Flip(pr.window);
    }
}
} // namespace

bool start_presenter(SDL_Surface *window, NewestOfThree<Preview> &previews) {
    pr.window = window;
    pr.previews = &previews;
    pr.stopping = 0;
    try {
        const MainThreadSignalsBlocked blocked;
        pr.thread = std::thread(run);
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void stop_presenter() {
    if (!pr.thread.joinable())
        return;
    pr.stopping = 1;
    if (pr.thread.get_id() == std::this_thread::get_id())
        pr.thread.detach();
    else
        pr.thread.join();
}
