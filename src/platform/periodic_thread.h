// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A thread that looks after something every so often, until it is stopped
// or destroyed: a MIDI input's sources plugged in since the last look, an
// output that failed and may be opened again. Its thread keeps off the main
// thread's signals.
class PeriodicThread {
  public:
    PeriodicThread() = default;
    PeriodicThread(const PeriodicThread &) = delete;
    PeriodicThread &operator=(const PeriodicThread &) = delete;
    // Stops the looks, waiting for one in progress to end.
    ~PeriodicThread() { stop(); }

    // Calls `look` every `every` from now on, on the thread. False when the
    // thread cannot start.
    bool start(std::chrono::milliseconds every, std::function<void()> look);

    // Stops the looks, waiting for one in progress to end. Harmless when
    // never started, and more than once.
    void stop();

  private:
    std::mutex lock; // the thread's own; no MIDI or audio thread takes it
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};
