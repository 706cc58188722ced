// SPDX-License-Identifier: MIT
#include "platform/console/console_signals_linux.h"

#include "platform/console/console_input.h"
#include "platform/console/terminal_mode_linux.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <pthread.h>
#include <unistd.h>

namespace {
// The handler runs on whichever thread the signal lands on: a volatile flag
// would race with the main thread's reads, and a lock-free atomic is just as
// safe to set in a handler.
struct StopRequest {
    std::atomic<int> signal{0};
    int pipe[2] = {-1, -1};
};
StopRequest stop;

void on_stop_request(int signal) {
    const int saved_errno = errno;
    stop.signal = signal;
    const char byte = 0;
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = write(stop.pipe[1], &byte, 1);
    errno = saved_errno;
}

// The handlers below call only async-signal-safe functions (tcgetpgrp,
// getpgrp, tcsetattr, sigaction, pthread_sigmask, raise).
void handle(int signal, void (*handler)(int), int flags) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(signal, &action, nullptr);
}

// SIGCONT, after a stop of any kind: the terminal is raw again. A job
// continued in the background (bg) cannot take keys, so it stops again at
// once, as it would on reading the terminal: a shell's fg sends SIGCONT only
// to a stopped job, and that is how the program learns that the keys are
// its own again.
void on_continue(int) {
    const int saved_errno = errno;
    if (terminal_is_raw() && terminal_in_background())
        raise(SIGTTIN); // returns once the process is continued
    terminal_take_back();
    errno = saved_errno;
}

// Ctrl-Z: the shell gets its terminal settings back, and then the process
// stops through the default action, so that the shell sees the job stopped.
void on_terminal_stop(int) {
    const int saved_errno = errno;
    terminal_give_back();
    sigset_t tstp;
    sigemptyset(&tstp);
    sigaddset(&tstp, SIGTSTP);
    handle(SIGTSTP, SIG_DFL, 0);
    pthread_sigmask(SIG_UNBLOCK, &tstp, nullptr);
    raise(SIGTSTP); // returns once the process is continued
    pthread_sigmask(SIG_BLOCK, &tstp, nullptr);
    handle(SIGTSTP, on_terminal_stop, SA_RESTART);
    // The kernel discards the stop for a process group with no shell to
    // continue it (a program that leads its own session), and then no
    // SIGCONT comes: the terminal is taken back here.
    on_continue(SIGCONT);
    errno = saved_errno;
}
} // namespace

void console_signals_start() {
    if (pipe2(stop.pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        stop.pipe[0] = stop.pipe[1] = -1; // poll() skips -1; the flag still works
    // No SA_RESTART: a printf blocked on output that nobody reads then
    // returns, and the program ends. (poll() returns early either way.)
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        handle(signal, on_stop_request, 0);
    // A stop and a continue go unnoticed by the code they interrupt: a
    // status block's printf carries on.
    handle(SIGTSTP, on_terminal_stop, SA_RESTART);
    handle(SIGCONT, on_continue, SA_RESTART);
    std::signal(SIGPIPE, SIG_IGN);
}

int stop_request_fd() {
    return stop.pipe[0];
}

int stop_requested() {
    const int signal = stop.signal;
    return signal ? 128 + signal : 0;
}
