// SPDX-License-Identifier: MIT
#include "platform/console/console_input.h"
#include "platform/console/console_signals_linux.h"
#include "platform/console/key_decoder.h"
#include "platform/console/terminal_mode_linux.h"
#include "platform/monotonic_clock.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

namespace {
// A terminal sends the bytes of one key together, so a byte that comes this
// long after an unfinished sequence is a key of its own: ESC alone is Escape.
constexpr int64_t SEQUENCE_TIMEOUT_NS = 30'000'000;

// Bytes taken per read: one byte gives at most two codes, plus two when a
// timeout ends a sequence.
constexpr int READ_CHUNK = 64;
static_assert(2 * READ_CHUNK + 2 <= KeyQueue::SIZE);

// The terminal's bytes, decoded into keys.
struct TerminalInput {
    KeyDecoder decoder;
    int64_t sequence_deadline_ns = 0;
};
TerminalInput input;

void push(KeyQueue &queue, const KeyCodes &codes) {
    for (int i = 0; i < codes.count; i++)
        queue.push(codes.code[i]);
}

void read_input(KeyQueue &queue) {
    unsigned char bytes[READ_CHUNK];
    const ssize_t n = read(STDIN_FILENO, bytes, sizeof bytes);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return;
    if (n <= 0) {
        // The end of input, or a read error: the console is gone. Nothing
        // more can follow an unfinished sequence, so it is decided now.
        push(queue, decode_timeout(input.decoder));
        queue.ended = true;
        return;
    }
    for (ssize_t i = 0; i < n; i++)
        push(queue, decode_byte(input.decoder, bytes[i]));
    if (decoder_in_sequence(input.decoder))
        input.sequence_deadline_ns = monotonic_ns() + SEQUENCE_TIMEOUT_NS;
}

// How long a waiting read may last, in ms: for ever, or while a sequence is
// open until its time is up.
int wait_limit_ms() {
    if (!decoder_in_sequence(input.decoder))
        return -1;
    const int64_t left_ns = input.sequence_deadline_ns - monotonic_ns();
    return left_ns > 0 ? static_cast<int>((left_ns + 999'999) / 1'000'000) : 0;
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

void take_console_input(KeyQueue &queue, bool wait) {
    pollfd fds[2] = {{STDIN_FILENO, POLLIN, 0}, {stop_request_fd(), POLLIN, 0}};
    const int ready = poll(fds, 2, wait ? wait_limit_ms() : 0);
    if (stop_requested() || stop_job_if_asked())
        return;
    if (ready > 0 && fds[0].revents != 0)
        read_input(queue);
    if (decoder_in_sequence(input.decoder) && monotonic_ns() >= input.sequence_deadline_ns)
        push(queue, decode_timeout(input.decoder));
}

void console_input_start(const JobStopSteps *steps) {
    keep_standard_streams_open();
    terminal_enter_raw();
    console_signals_start(steps);
}

void console_input_stop() {
    terminal_leave_raw();
}
