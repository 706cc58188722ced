// SPDX-License-Identifier: MIT
#include "platform/audio/facade/reopener.h"

#include "platform/monotonic_clock.h"

#include <algorithm>
#include <vector>

Reopener::Reopener(const Backend &backend, std::string device, int rate,
                   std::unique_ptr<AudioSink> first)
    : backend(backend), device(std::move(device)), rate(rate), sink(std::move(first)) {}

Reopener::~Reopener() {
    stop();
}

bool Reopener::start() {
    return thread.start(LOOK_EVERY, [this] { look(); });
}

void Reopener::stop() {
    thread.stop();
}

// The device, as the back-end lists it now, opened and started; it is offered
// to the stream. A device that is not there (its server not yet back) is
// looked for again at the next look.
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

void Reopener::look() {
    if (AudioSink *given_up = swaps.take_failed()) {
        // The stream never touches it again: it is closed before the device
        // is opened anew, so that its ports or its handle are free.
        if (given_up == sink.get())
            sink.reset();
        reopening = true;
    }
    if (reopening)
        reopen();
}
