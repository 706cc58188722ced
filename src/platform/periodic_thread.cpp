// SPDX-License-Identifier: MIT
#include "platform/periodic_thread.h"

#include "platform/main_thread_signals.h"

#include <system_error>

void PeriodicThread::stop() {
    {
        const std::lock_guard<std::mutex> held(lock);
        stopping = true;
    }
    wake.notify_one();
    if (thread.joinable())
        thread.join();
}

bool PeriodicThread::start(std::chrono::milliseconds every, std::function<void()> look) {
    try {
        const MainThreadSignalsBlocked blocked;
        thread = std::thread([this, every, look = std::move(look)] {
            std::unique_lock<std::mutex> held(lock);
            while (!wake.wait_for(held, every, [this] { return stopping; }))
                look();
        });
    } catch (const std::system_error &) {
        return false;
    }
    return true;
}
