// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/stream_wait.h"

#include <windows.h>

namespace {
// CREATE_WAITABLE_TIMER_HIGH_RESOLUTION, newer than some mingw-w64 headers.
constexpr DWORD HIGH_RESOLUTION_TIMER = 0x2;

// A waitable timer, waited for together with an event that a stop request
// sets and nothing resets, so that a wake-up stays in force. The system's
// timer resolution is raised to 1 ms while the stream runs: at its default
// of 15.6 ms every wait for a piece would last three pieces.
struct Wait {
    HANDLE timer = nullptr;
    HANDLE wake = nullptr;
    bool fine_timer = false;
};
Wait wait;

// Where the system has them (Windows 10 from 1803), timers that keep to
// less than a millisecond whatever the system's resolution.
HANDLE create_timer() {
    HANDLE timer =
        CreateWaitableTimerExW(nullptr, nullptr, HIGH_RESOLUTION_TIMER, TIMER_ALL_ACCESS);
    return timer ? timer : CreateWaitableTimerW(nullptr, FALSE, nullptr);
}
} // namespace

bool stream_wait_open() {
    wait.timer = create_timer();
    wait.wake = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    wait.fine_timer = timeBeginPeriod(1) == TIMERR_NOERROR;
    if (wait.timer && wait.wake)
        return true;
    stream_wait_close();
    return false;
}

void stream_wait_close() {
    if (wait.timer)
        CloseHandle(wait.timer);
    if (wait.wake)
        CloseHandle(wait.wake);
    if (wait.fine_timer)
        timeEndPeriod(1);
    wait = Wait();
}

// The timer is set relative to now, in units of 100 ns: the monotonic clock
// and the timer's own run at the same pace.
bool stream_wait_until(int64_t deadline_ns) {
    const int64_t left_ns = deadline_ns - monotonic_ns();
    if (left_ns <= 0)
        return WaitForSingleObject(wait.wake, 0) != WAIT_OBJECT_0;
    LARGE_INTEGER due;
    due.QuadPart = -((left_ns + 99) / 100);
    SetWaitableTimer(wait.timer, &due, 0, nullptr, nullptr, FALSE);
    const HANDLE handles[2] = {wait.wake, wait.timer};
    return WaitForMultipleObjects(2, handles, FALSE, INFINITE) != WAIT_OBJECT_0;
}

void stream_wait_wake() {
    SetEvent(wait.wake);
}
