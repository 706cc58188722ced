// SPDX-License-Identifier: MIT
#include "main_thread_signals_probe.h"

#include <csignal>
#include <initializer_list>
#include <pthread.h>

bool main_thread_signals_blocked_here() {
    sigset_t mask;
    pthread_sigmask(SIG_BLOCK, nullptr, &mask);
    for (int signal : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGTSTP, SIGCONT})
        if (!sigismember(&mask, signal))
            return false;
    return true;
}
