#include "console_keys.h"

#include "key_decoder.h"

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <initializer_list>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

namespace {
// A terminal sends the bytes of one key together, so a byte that comes this
// long after an unfinished sequence is a key of its own: ESC alone is Escape.
constexpr long SEQUENCE_TIMEOUT_MS = 30;

// Bytes taken per read. The queue is filled only when it is empty, and one
// byte gives at most two codes, plus two when a timeout ends a sequence.
constexpr int READ_CHUNK = 64;
constexpr int QUEUE_SIZE = 2 * READ_CHUNK + 2;

// The settings found at start, and raw mode derived from them once. A
// continue sets these raw settings again rather than deriving new ones from
// what the terminal holds then: the process may have been stopped with the
// terminal still raw (by SIGSTOP, which no handler sees) and continued by a
// kill from elsewhere with no shell resetting the terminal in between, and
// settings read then would be the raw ones, restored at exit as the user's.
// The price is that stty changes made while the program was stopped are
// undone at exit; the terminal is left usable either way.
termios saved_terminal;
termios raw_terminal;
// Whether the program keeps the terminal raw. Atomic: handlers read it, and
// the restore at exit clears it first, so that a continue landing during
// the restore does not make the terminal raw again.
std::atomic<bool> raw_mode = false;

// The handler runs on whichever thread the signal lands on: a volatile flag
// would race with the main thread's reads, and a lock-free atomic is just as
// safe to set in a handler.
std::atomic<int> caught_signal = 0;
int signal_pipe[2] = {-1, -1};

KeyDecoder decoder;
long sequence_deadline_ms = 0;
bool input_ended = false;

int queue[QUEUE_SIZE];
int queue_head = 0;
int queue_count = 0;

// Whether another process group has the terminal: only the foreground may
// set it or read it, and a background process that tries is stopped with
// SIGTTOU or SIGTTIN. A terminal that is not the controlling one has no
// foreground (tcgetpgrp fails) and is ours.
bool in_background() {
    const pid_t foreground = tcgetpgrp(STDIN_FILENO);
    return foreground >= 0 && foreground != getpgrp();
}

// In the background the terminal's settings are the shell's.
void set_terminal(const termios &settings) {
    if (!in_background())
        tcsetattr(STDIN_FILENO, TCSANOW, &settings);
}

// Runs at exit, on whichever thread calls exit(). TCSANOW rather than
// TCSAFLUSH: output processing is the same in both modes, so nothing needs
// draining first, and a drain waits for ever when the terminal has stopped
// reading, which would keep a signalled program from ending. Unread input is
// left to the shell.
void restore_terminal() {
    if (raw_mode.exchange(false))
        set_terminal(saved_terminal);
}

void enter_raw_mode() {
    if (tcgetattr(STDIN_FILENO, &saved_terminal) != 0)
        return; // not a terminal: its bytes are the keys as they stand
    raw_terminal = saved_terminal;
    // No echo, and every byte at once rather than a line after Enter.
    // IEXTEN off, so that no system takes Ctrl-V to quote the next key.
    raw_terminal.c_lflag &= ~(ECHO | ICANON | IEXTEN);
    // ISIG stays on: Ctrl-C ends the program and Ctrl-Z stops it, through
    // the handlers below.
    // IXON off: Ctrl-S and Ctrl-Q are keys, not flow control. Enter arrives
    // as 13, as on the Windows console, and bytes of 0x80 and up whole.
    raw_terminal.c_iflag &= ~(IXON | ICRNL | INLCR | IGNCR | ISTRIP);
    // OPOST stays on, so that the "\n" of each printed line still returns
    // the cursor to the start of the next one.
    raw_terminal.c_cc[VMIN] = 1;
    raw_terminal.c_cc[VTIME] = 0;
    // TCSANOW keeps keys typed before the switch; they are read as keys.
    if (tcsetattr(STDIN_FILENO, TCSANOW, &raw_terminal) == 0)
        raw_mode = true;
}

// Only records the signal and wakes a read_key waiting in poll(): the main
// thread ends the program with exit(), so the exit handlers run there.
void on_signal(int signal) {
    const int saved_errno = errno;
    caught_signal = signal;
    const char byte = 0;
    // A full pipe already holds a wake-up, so a failed write loses nothing.
    [[maybe_unused]] const ssize_t written = write(signal_pipe[1], &byte, 1);
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
    if (raw_mode && in_background())
        raise(SIGTTIN); // returns once the process is continued
    if (raw_mode)
        set_terminal(raw_terminal);
    errno = saved_errno;
}

// Ctrl-Z: the shell gets its terminal settings back, and then the process
// stops through the default action, so that the shell sees the job stopped.
void on_terminal_stop(int) {
    const int saved_errno = errno;
    if (raw_mode)
        set_terminal(saved_terminal);
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGTSTP);
    handle(SIGTSTP, SIG_DFL, 0);
    pthread_sigmask(SIG_UNBLOCK, &stop, nullptr);
    raise(SIGTSTP); // returns once the process is continued
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    handle(SIGTSTP, on_terminal_stop, SA_RESTART);
    // The kernel discards the stop for a process group with no shell to
    // continue it (a program that leads its own session), and then no
    // SIGCONT comes: the terminal is taken back here.
    on_continue(SIGCONT);
    errno = saved_errno;
}

void catch_signals() {
    if (pipe2(signal_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
        signal_pipe[0] = signal_pipe[1] = -1; // poll() skips -1; the flag still works
    // No SA_RESTART: a printf blocked on output that nobody reads then
    // returns, and the program ends. (poll() returns early either way.)
    for (int signal : {SIGINT, SIGTERM, SIGHUP})
        handle(signal, on_signal, 0);
    // A stop and a continue go unnoticed by the code they interrupt: a
    // status block's printf carries on.
    handle(SIGTSTP, on_terminal_stop, SA_RESTART);
    handle(SIGCONT, on_continue, SA_RESTART);
    // Writing to a closed output then fails instead of killing the process
    // with the terminal still raw.
    std::signal(SIGPIPE, SIG_IGN);
}

void exit_if_signalled() {
    if (caught_signal)
        exit(128 + caught_signal);
}

long now_ms() {
    timespec t;
    clock_gettime(CLOCK_MONOTONIC, &t);
    return t.tv_sec * 1000 + t.tv_nsec / 1000000;
}

void push(const KeyCodes &codes) {
    for (int i = 0; i < codes.count; i++)
        queue[(queue_head + queue_count++) % QUEUE_SIZE] = codes.code[i];
}

int pop() {
    const int code = queue[queue_head];
    queue_head = (queue_head + 1) % QUEUE_SIZE;
    queue_count--;
    return code;
}

void read_input() {
    unsigned char bytes[READ_CHUNK];
    const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        // The end of input, or a read error: the console is gone. Nothing
        // more can follow an unfinished sequence, so it is decided now.
        push(decode_timeout(decoder));
        input_ended = true;
        return;
    }
    for (ssize_t i = 0; i < n; i++)
        push(decode_byte(decoder, bytes[i]));
    if (decoder_in_sequence(decoder))
        sequence_deadline_ms = now_ms() + SEQUENCE_TIMEOUT_MS;
}

// How long a waiting read may last: for ever, or while a sequence is open
// until its time is up.
int wait_limit_ms() {
    if (!decoder_in_sequence(decoder))
        return -1;
    const long left = sequence_deadline_ms - now_ms();
    return left > 0 ? static_cast<int>(left) : 0;
}

// One round of input, called with an empty queue: takes what standard input
// holds, waiting for it when asked to, and ends a sequence left unfinished
// for too long.
void take_input(bool wait) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {signal_pipe[0], POLLIN, 0}};
    const int ready = poll(fds, 2, wait ? wait_limit_ms() : 0);
    exit_if_signalled();
    if (ready > 0 && fds[0].revents != 0)
        read_input();
    if (decoder_in_sequence(decoder) && now_ms() >= sequence_deadline_ms)
        push(decode_timeout(decoder));
}

// A standard stream that was closed is reopened on /dev/null, so that no
// file the program opens later (the signal pipe, the window's connection)
// takes its number and receives the status blocks.
void keep_standard_streams_open() {
    for (int fd = STDIN_FILENO; fd <= STDERR_FILENO; fd++)
        if (fcntl(fd, F_GETFD) == -1)
            open("/dev/null", O_RDWR);
}
} // namespace

void console_keys_start() {
    static bool started = false;
    if (started)
        return; // a second start would save the raw attributes as the ones to restore
    started = true;
    keep_standard_streams_open();
    enter_raw_mode();
    atexit(restore_terminal);
    catch_signals();
}

int key_waiting() {
    exit_if_signalled();
    if (queue_count == 0 && !input_ended)
        take_input(false);
    return queue_count > 0 || input_ended;
}

int read_key() {
    while (queue_count == 0) {
        if (input_ended)
            exit(0);
        take_input(true);
    }
    return pop();
}
