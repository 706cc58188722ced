// SPDX-License-Identifier: MIT
#pragma once

#include "platform/audio/backends/backend.h"
#include "platform/audio/pacing/sink_swap.h"
#include "platform/periodic_thread.h"

#include <chrono>
#include <memory>
#include <string>

// Brings an output that failed back by itself: a JACK server restarted, a
// sound server's session restarted, a device unplugged and plugged back.
// While the stream plays on its clock, a thread of its own opens the same
// device of the same back-end by name, at the stream's rate, every
// LOOK_EVERY, and offers it to the stream, which moves onto it at its next
// piece (sink_swap.h). Nothing is printed: the stream's figures record each
// outage.
//
// It owns every sink of the stream from the first on: the one the stream
// plays on or has given up, and closes one given up before opening again.
class Reopener {
  public:
    // How often the thread looks for a sink given up, and tries the device
    // again: a player waits at most this long after the server answers.
    static constexpr auto LOOK_EVERY = std::chrono::milliseconds(250);

    // For the stream that starts on `first`, a started sink on `backend`'s
    // device `device` at `rate` frames per second.
    Reopener(const Backend &backend, std::string device, int rate,
             std::unique_ptr<AudioSink> first);
    // Stops the thread and closes the sinks. The stream thread must have
    // ended.
    ~Reopener();
    Reopener(const Reopener &) = delete;
    Reopener &operator=(const Reopener &) = delete;

    AudioSink *first_sink() const { return sink.get(); }
    SinkSwap *swap() { return &swaps; }

    // Starts the watching thread; false when it cannot start (the stream
    // then stays on its clock after a failure, as it did before).
    bool start();
    // Ends the watching thread, before the stream thread is stopped, so that
    // nothing is opened while the stream ends.
    void stop();

  private:
    void look();
    void reopen();

    const Backend &backend;
    const std::string device;
    const int rate;
    std::unique_ptr<AudioSink> sink; // the stream's, or given up and not yet closed
    bool reopening = false;          // the sink was given up; the thread's own
    SinkSwap swaps;
    PeriodicThread thread;
};
