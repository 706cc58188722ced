// SPDX-License-Identifier: MIT
#include "platform/audio/pacing/real_time_priority.h"

#include <algorithm>
#include <pthread.h>
#include <sched.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {
// The lowest real-time priority: above every normal thread (the busy console
// loop among them), below every thread of a sound server and of its clients,
// so that the stream, which also draws the window, never holds up the server
// that plays it.
constexpr int REAL_TIME_PRIORITY = 1;
} // namespace

// SCHED_FIFO is granted to root or within RLIMIT_RTPRIO.
bool ask_for_real_time() {
    int priority = REAL_TIME_PRIORITY;
    rlimit limit;
    if (geteuid() != 0 && getrlimit(RLIMIT_RTPRIO, &limit) == 0)
        priority = static_cast<int>(std::min<rlim_t>(priority, limit.rlim_cur));
    if (priority <= 0)
        return false;
    sched_param param = {};
    param.sched_priority = priority;
    return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}
