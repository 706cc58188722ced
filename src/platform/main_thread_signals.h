// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// Every asynchronous signal is the main thread's: the console's handlers for
// the signals that end the program and for the terminal's stop and continue
// run there, and the program ends through exit() there. Threads inherit the
// mask of the thread that creates them, so everything that may start a
// thread (the stream's, PortAudio's, JACK's) runs while a
// MainThreadSignalsBlocked is in scope, and the new thread never takes them.
// The synchronous faults (SIGSEGV and the like) stay with the thread that
// causes them. On Windows the console's events come on a thread of their own,
// and the guard does nothing.
class MainThreadSignalsBlocked {
  public:
    MainThreadSignalsBlocked();
    ~MainThreadSignalsBlocked();
    MainThreadSignalsBlocked(const MainThreadSignalsBlocked &) = delete;
    MainThreadSignalsBlocked &operator=(const MainThreadSignalsBlocked &) = delete;

  private:
    uint64_t unblock = 0; // bit n - 1: signal n was not blocked before
};
