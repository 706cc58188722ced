// SPDX-License-Identifier: MIT
#include "platform/console/console_signals_linux.h"

#include "platform/console/console_input.h"
#include "platform/console/terminal_mode_linux.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <initializer_list>
#include <unistd.h>

namespace {
// The handlers run on whichever thread the signal lands on: a volatile flag
// would race with the main thread's reads, and a lock-free atomic is just as
// safe to set in a handler. One pipe wakes the main thread for both kinds of
// request.
struct SignalRequests {
    std::atomic<int> signal{0};        // the signal that asked the program to end
    std::atomic<bool> job_stop{false}; // Ctrl-Z, not yet taken by the main thread
    // While the main thread stops the job itself, the continue is its to
    // handle: the SIGCONT handler leaves the terminal alone.
    std::atomic<bool> own_stop{false};
    const JobStopSteps *steps = nullptr; // set before the handlers
    int pipe[2] = {-1, -1};
};
SignalRequests requests;

void wake_main_thread() {
    const char byte = 0;
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = write(requests.pipe[1], &byte, 1);
}

void on_stop_request(int signal) {
    const int saved_errno = errno;
    requests.signal = signal;
    wake_main_thread();
    errno = saved_errno;
}

// The handlers below call only async-signal-safe functions (tcgetpgrp,
// getpgrp, tcsetattr, raise, write).
void handle(int signal, void (*handler)(int), int flags) {
    struct sigaction action = {};
    action.sa_handler = handler;
    sigemptyset(&action.sa_mask);
    action.sa_flags = flags;
    sigaction(signal, &action, nullptr);
}

// SIGCONT after a stop that the program did not make itself (SIGSTOP from
// elsewhere): the terminal is raw again. A job continued in the background
// (bg) cannot take keys, so it stops again at once, as it would on reading
// the terminal: a shell's fg sends SIGCONT only to a stopped job, and that is
// how the program learns that the keys are its own again.
void on_continue(int) {
    if (requests.own_stop)
        return;
    const int saved_errno = errno;
    if (terminal_is_raw() && terminal_in_background())
        raise(SIGTTIN); // returns once the process is continued
    terminal_take_back();
    errno = saved_errno;
}

// Ctrl-Z: only noted, for the main thread. Stopping the job takes steps that
// a handler may not take (a sound server's client leaving its graph), so the
// main thread stops the process, in its next input round: within
// milliseconds of its printing a status block, say.
void on_terminal_stop(int) {
    const int saved_errno = errno;
    requests.job_stop = true;
    wake_main_thread();
    errno = saved_errno;
}

// Stops the process by `signal`'s default action, so that the shell sees the
// job stopped as by the terminal's key; returns once it is continued. The
// kernel discards the stop for a process group with no shell to continue it:
// then this returns at once.
void stop_by_default_action(int signal) {
    handle(signal, SIG_DFL, 0);
    raise(signal);
    if (signal == SIGTSTP)
        handle(SIGTSTP, on_terminal_stop, SA_RESTART);
}

// Empties the pipe of the wake-ups that a stop left in it, so that the next
// wait waits. A request to end is kept in its flag.
void drain_wake_ups() {
    char bytes[64];
    while (read(requests.pipe[0], bytes, sizeof bytes) > 0) {
    }
}
} // namespace

void console_signals_start(const JobStopSteps *steps) {
    requests.steps = steps;
    if (pipe2(requests.pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        requests.pipe[0] = requests.pipe[1] = -1; // poll() skips -1; the flags still work
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

// The shell gets its terminal settings back, and then the process stops as
// by Ctrl-Z. Continued in the background, it stops again until fg, as a
// continue from elsewhere does; in the foreground, the steps after the
// continue come before the terminal is raw again and the keys are read.
bool stop_job_if_asked() {
    if (!requests.job_stop.exchange(false))
        return false;
    drain_wake_ups();
    // A program that leads its own session has no shell to continue it: the
    // kernel would discard the stop, and nothing needs to leave meanwhile.
    if (getsid(0) == getpid())
        return true;
    const JobStopSteps *steps = requests.steps;
    if (steps && steps->before_stop)
        steps->before_stop(steps->context);
    requests.own_stop = true;
    terminal_give_back();
    stop_by_default_action(SIGTSTP);
    if (terminal_is_raw() && terminal_in_background())
        stop_by_default_action(SIGTTIN);
    if (steps && steps->after_continue)
        steps->after_continue(steps->context);
    terminal_take_back();
    requests.own_stop = false;
    return true;
}

int stop_request_fd() {
    return requests.pipe[0];
}

int stop_requested() {
    const int signal = requests.signal;
    return signal ? 128 + signal : 0;
}
