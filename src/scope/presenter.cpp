// SPDX-License-Identifier: MIT
#include "scope/presenter.h"

#include "platform/main_thread_signals.h"
#include "scope/screen.h"

#include <SDL.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <system_error>
#include <thread>

namespace {
// The middle canvas's number, with these flags beside it.
constexpr uint32_t CANVAS = 3;
constexpr uint32_t FRESH = 4; // it holds a picture not yet shown
constexpr uint32_t STOP = 8;
// How often the presenter thread looks for a new picture. It polls rather
// than waiting on the atomic: the atomic waits of mingw-w64's GCC 12 library
// can miss a notification, and the window then stopped, and its thread could
// not be stopped. A picture comes every block (186 ms): a few ms late is
// nothing.
constexpr auto LOOK_EVERY = std::chrono::milliseconds(2);

struct Presenter {
    SDL_Surface *window = nullptr;
    SDL_Surface *canvas[3] = {};
    uint32_t drawing = 0; // the stream thread's canvas
    uint32_t showing = 2; // the presenter thread's
    // The canvas between them. Handing one over is a single exchange, whose
    // acquire and release order the pixels with it.
    std::atomic<uint32_t> middle{1};
    std::thread thread;
};
Presenter pr;

void show(SDL_Surface *picture) {
    // The canvases have the window's layout: the blit is a copy.
    if (SDL_BlitSurface(picture, nullptr, pr.window, nullptr) == 0)
        SDL_Flip(pr.window);
}

void run() {
    for (;;) {
        uint32_t middle = pr.middle.load(std::memory_order_acquire);
        if (!(middle & (FRESH | STOP))) {
            std::this_thread::sleep_for(LOOK_EVERY);
            continue;
        }
        if (!(middle & STOP))
            middle = pr.middle.exchange(pr.showing, std::memory_order_acq_rel);
        if (middle & STOP)
            return;
        pr.showing = middle & CANVAS;
        show(pr.canvas[pr.showing]);
    }
}

void free_canvases() {
    for (SDL_Surface *&c : pr.canvas) {
        SDL_FreeSurface(c);
        c = nullptr;
    }
}
} // namespace

SDL_Surface *start_presenter(SDL_Surface *window) {
    pr.window = window;
    for (SDL_Surface *&c : pr.canvas) {
        c = SDL_CreateRGBSurface(SDL_SWSURFACE, SCREEN_WIDTH, SCREEN_HEIGHT, 32, 0xff0000, 0xff00,
                                 0xff, 0);
        if (!c) {
            free_canvases();
            return window;
        }
    }
    try {
        const MainThreadSignalsBlocked blocked;
        pr.thread = std::thread(run);
    } catch (const std::system_error &) {
        free_canvases();
        return window;
    }
    return pr.canvas[pr.drawing];
}

SDL_Surface *present(SDL_Surface *picture) {
    if (!pr.thread.joinable()) {
        SDL_Flip(picture);
        return picture;
    }
    const uint32_t old = pr.middle.exchange(pr.drawing | FRESH, std::memory_order_acq_rel);
    pr.drawing = old & CANVAS;
    return pr.canvas[pr.drawing];
}

void stop_presenter() {
    if (!pr.thread.joinable())
        return;
    pr.middle.fetch_or(STOP, std::memory_order_release);
    if (pr.thread.get_id() == std::this_thread::get_id()) {
        pr.thread.detach();
        return;
    }
    pr.thread.join();
    free_canvases();
}
