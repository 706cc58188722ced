// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/stream_wait.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <unistd.h>

namespace {
constexpr int64_t NS_PER_S = 1'000'000'000;

// clock_nanosleep with an absolute deadline cannot be woken early except by a
// signal, and the stream thread blocks those. A timerfd armed with an
// absolute monotonic deadline waits the same way and can be polled together
// with an eventfd that a stop request writes to.
struct Wait {
    int timer_fd = -1;
    int wake_fd = -1;
};
Wait wait;
} // namespace

bool stream_wait_open() {
    wait.timer_fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    wait.wake_fd = eventfd(0, EFD_CLOEXEC);
    if (wait.timer_fd >= 0 && wait.wake_fd >= 0)
        return true;
    stream_wait_close();
    return false;
}

void stream_wait_close() {
    if (wait.timer_fd >= 0)
        close(wait.timer_fd);
    if (wait.wake_fd >= 0)
        close(wait.wake_fd);
    wait = Wait();
}

bool stream_wait_until(int64_t deadline_ns) {
    // Arming the timer also clears its count of past expirations, so it is
    // never read. A deadline already gone fires at once.
    itimerspec at = {};
    at.it_value.tv_sec = deadline_ns / NS_PER_S;
    at.it_value.tv_nsec = deadline_ns % NS_PER_S;
    timerfd_settime(wait.timer_fd, TFD_TIMER_ABSTIME, &at, nullptr);
    pollfd fds[2] = {{wait.timer_fd, POLLIN, 0}, {wait.wake_fd, POLLIN, 0}};
    // A stop and continue of the process interrupts poll.
    while (poll(fds, 2, -1) < 0) {
    }
    // The eventfd is never read, so a wake-up stays in force.
    return fds[1].revents == 0;
}

void stream_wait_wake() {
    eventfd_write(wait.wake_fd, 1);
}
