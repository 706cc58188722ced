#include "stop_signals.h"

#include <pthread.h>

sigset_t block_stop_signals() {
    sigset_t stop, previous;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    sigaddset(&stop, SIGHUP);
    sigaddset(&stop, SIGPIPE);
    sigaddset(&stop, SIGTSTP);
    sigaddset(&stop, SIGCONT);
    pthread_sigmask(SIG_BLOCK, &stop, &previous);
    return previous;
}

void restore_signals(const sigset_t &previous) {
    pthread_sigmask(SIG_SETMASK, &previous, nullptr);
}
