// SPDX-License-Identifier: MIT
#include "platform/audio/facade/reopener.h"

#include "platform/main_thread_signals.h"
#include "platform/monotonic_clock.h"

#include <algorithm>
#include <system_error>
#include <vector>

namespace {
// How often the thread looks at the stream's hand-overs, and for a stop.
constexpr auto LOOK_EVERY = std::chrono::milliseconds(20);
} // namespace

Reopener::Reopener(const Backend &backend, std::string device, int rate,
                   std::unique_ptr<AudioSink> first)
    : backend(backend), device(std::move(device)), rate(rate), sink(std::move(first)) {}

Reopener::~Reopener() {
    stop();
}

bool Reopener::start() {
    try {
        const MainThreadSignalsBlocked blocked;
        thread = std::thread([this] { run(); });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}

void Reopener::stop() {
    stopping = true;
    if (thread.joinable())
        thread.join();
}

// The device, as the back-end lists it now, opened and started; it is offered
// to the stream. A device that is not there (its server not yet back) is
// looked for again at the next try.
void Reopener::reopen() {
    std::vector<std::string> devices;
    if (!backend.list(&devices) ||
        std::find(devices.begin(), devices.end(), device) == devices.end()) {
        backend.release();
        return;
    }
    AudioError error = AudioError::None;
    std::unique_ptr<AudioSink> fresh = backend.open(device, rate, &error);
    if (!fresh || fresh->start() != AudioError::None)
        return;
    sink = std::move(fresh);
    reopening = false;
    swaps.offer(sink.get(), monotonic_ns());
}

void Reopener::run() {
    auto next_try = std::chrono::steady_clock::now();
    while (!stopping) {
        if (AudioSink *given_up = swaps.take_failed()) {
            // The stream never touches it again: it is closed before the
            // device is opened anew, so that its ports or its handle are free.
            if (given_up == sink.get())
                sink.reset();
            reopening = true;
            next_try = std::chrono::steady_clock::now();
        }
        if (reopening && std::chrono::steady_clock::now() >= next_try) {
            reopen();
            next_try = std::chrono::steady_clock::now() + TRY_EVERY;
        }
        std::this_thread::sleep_for(LOOK_EVERY);
    }
}
