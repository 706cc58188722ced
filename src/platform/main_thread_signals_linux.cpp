// SPDX-License-Identifier: MIT
#include "platform/main_thread_signals.h"

#include <csignal>
#include <pthread.h>

namespace {
// Signals 1 to 64 cover every signal Linux has, real-time ones included.
constexpr int LAST_SIGNAL = 64;

// A fault raised while blocked kills the process outright, where a handler
// (a sanitizer's, a debugger's) would have reported it.
bool synchronous(int signal) {
    return signal == SIGSEGV || signal == SIGBUS || signal == SIGFPE || signal == SIGILL ||
           signal == SIGTRAP || signal == SIGSYS;
}
} // namespace

MainThreadSignalsBlocked::MainThreadSignalsBlocked() {
    sigset_t all, previous;
    sigfillset(&all);
    for (int s = 1; s <= LAST_SIGNAL; s++)
        if (synchronous(s))
            sigdelset(&all, s);
    pthread_sigmask(SIG_BLOCK, &all, &previous);
    for (int s = 1; s <= LAST_SIGNAL; s++)
        if (sigismember(&all, s) == 1 && sigismember(&previous, s) == 0)
            unblock |= uint64_t(1) << (s - 1);
}

MainThreadSignalsBlocked::~MainThreadSignalsBlocked() {
    sigset_t restore;
    sigemptyset(&restore);
    for (int s = 1; s <= LAST_SIGNAL; s++)
        if (unblock & uint64_t(1) << (s - 1))
            sigaddset(&restore, s);
    pthread_sigmask(SIG_UNBLOCK, &restore, nullptr);
}
