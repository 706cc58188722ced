// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <thread>

// A thread of a MIDI input's own that looks for sources plugged in since the
// last look, every so often, until the watcher is destroyed. Its thread
// keeps off the main thread's signals.
class SourceWatcher {
  public:
    SourceWatcher() = default;
    SourceWatcher(const SourceWatcher &) = delete;
    SourceWatcher &operator=(const SourceWatcher &) = delete;
    // Stops the looks, waiting for one in progress to end.
    ~SourceWatcher();

    // Calls `look` every `every` from now on, on the watcher's thread. False
    // when the thread cannot start: the sources present are heard, later
    // ones are not.
    bool start(std::chrono::milliseconds every, std::function<void()> look);

  private:
    std::mutex lock; // the watcher's own; no MIDI or audio thread takes it
    std::condition_variable wake;
    bool stopping = false;
    std::thread thread;
};
