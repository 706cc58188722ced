#include "block_clock.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/timerfd.h>
#include <time.h>
#include <unistd.h>

namespace {
constexpr int64_t NS_PER_S = 1'000'000'000;

// clock_nanosleep with an absolute deadline cannot be woken early except by a
// signal, and the stream thread blocks those. A timerfd armed with an
// absolute monotonic deadline waits the same way and can be polled together
// with an eventfd that a stop request writes to.
int timer_fd = -1;
int wake_fd = -1;
} // namespace

int64_t monotonic_ns() {
    timespec now;
    clock_gettime(CLOCK_MONOTONIC, &now);
    return now.tv_sec * NS_PER_S + now.tv_nsec;
}

int64_t frames_to_ns(int64_t frames, int rate) {
    return frames / rate * NS_PER_S + frames % rate * NS_PER_S / rate;
}

int64_t ns_to_frames(int64_t ns, int rate) {
    return ns / NS_PER_S * rate + ns % NS_PER_S * rate / NS_PER_S;
}

bool block_clock_open() {
    timer_fd = timerfd_create(CLOCK_MONOTONIC, TFD_CLOEXEC);
    wake_fd = eventfd(0, EFD_CLOEXEC);
    if (timer_fd >= 0 && wake_fd >= 0)
        return true;
    block_clock_close();
    return false;
}

void block_clock_close() {
    if (timer_fd >= 0)
        close(timer_fd);
    if (wake_fd >= 0)
        close(wake_fd);
    timer_fd = wake_fd = -1;
}

bool block_clock_wait_until(int64_t deadline_ns) {
    // Arming the timer also clears its count of past expirations, so it is
    // never read. A deadline already gone fires at once.
    itimerspec at = {};
    at.it_value.tv_sec = deadline_ns / NS_PER_S;
    at.it_value.tv_nsec = deadline_ns % NS_PER_S;
    timerfd_settime(timer_fd, TFD_TIMER_ABSTIME, &at, nullptr);
    pollfd fds[2] = {{timer_fd, POLLIN, 0}, {wake_fd, POLLIN, 0}};
    // A stop and continue of the process interrupts poll.
    while (poll(fds, 2, -1) < 0) {
    }
    // The eventfd is never read, so a wake-up stays in force.
    return fds[1].revents == 0;
}

void block_clock_wake() {
    eventfd_write(wake_fd, 1);
}
