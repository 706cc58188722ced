// SPDX-License-Identifier: MIT
// A JACK client that stands for a hardware MIDI keyboard, on the server named
// by JACK_DEFAULT_SERVER (never started for us):
//
//   jack_keyboard [CLIENT_NAME]      (by default `keyboard`)
//
// It registers one MIDI output, `midi_out`, flagged physical and terminal as
// a sound card's MIDI port is, prints `ready`, and then takes commands from
// standard input, one a line:
//
//   90 45 64      hex bytes, written as they stand (whether MIDI or not) as
//                 one event at frame 0 of the next cycle; a line longer than
//                 a cycle's buffer takes (a long system exclusive) goes out
//                 as several events over as many cycles as it needs, in
//                 order. Once its first event is written the line's report
//                 is printed: `sent FRAME US`, the server's frame time of
//                 that event and the cycle's start in µs on CLOCK_MONOTONIC.
//   connections   prints `connections N`, the ports midi_out feeds.
//
// At the end of input, the last line sent whatever it holds (a source that
// goes mid-message), or at SIGTERM, it closes and exits with status 0; when
// the server goes, with status 1.
//
// The reading thread hands lines to the process callback, and the callback
// its reports back, through rings of their own: the real-time thread takes
// no lock, allocates nothing and does no I/O.
//
// JACK's clock (jack_get_time) is CLOCK_MONOTONIC_RAW under jackd2; times are
// moved onto CLOCK_MONOTONIC as jack_probe moves them.

#include "jack_time.h"

#include <jack/jack.h>
#include <jack/midiport.h>

#include <poll.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <string>
#include <vector>

namespace {
// One producer, one consumer, a power-of-two number of bytes. The indices
// run freely; the release store of one side publishes its bytes to the
// acquire load of the other. The caller checks readable() or writable().
template <size_t SIZE> class Ring {
  public:
    size_t readable() const {
        return write_at.load(std::memory_order_acquire) - read_at.load(std::memory_order_relaxed);
    }
    size_t writable() const {
        return SIZE -
               (write_at.load(std::memory_order_relaxed) - read_at.load(std::memory_order_acquire));
    }
    void write(const void *from, size_t n) {
        const size_t at = write_at.load(std::memory_order_relaxed);
        const size_t first = std::min(n, SIZE - at % SIZE);
        memcpy(data + at % SIZE, from, first);
        memcpy(data, static_cast<const char *>(from) + first, n - first);
        write_at.store(at + n, std::memory_order_release);
    }
    void peek(void *to, size_t n) const {
        const size_t at = read_at.load(std::memory_order_relaxed);
        const size_t first = std::min(n, SIZE - at % SIZE);
        memcpy(to, data + at % SIZE, first);
        memcpy(static_cast<char *>(to) + first, data, n - first);
    }
    void read(void *to, size_t n) {
        peek(to, n);
        read_at.store(read_at.load(std::memory_order_relaxed) + n, std::memory_order_release);
    }

  private:
    char data[SIZE];
    std::atomic<size_t> write_at{0}, read_at{0};
};

// A line, or a piece of one longer than half the ring, as the ring holds it:
// this header and then its bytes. Only a line's first piece is reported.
struct Piece {
    uint32_t bytes;
    uint32_t first_of_line;
};

struct Report {
    uint32_t frame;
    int64_t start_us;
};

constexpr size_t LINE_RING = 1 << 20; // several 64 KB system exclusives
constexpr size_t MAX_PIECE = LINE_RING / 2;

jack_client_t *client;
jack_port_t *port;
Ring<LINE_RING> lines;
Ring<(1 << 16) * sizeof(Report)> reports;
std::atomic<uint32_t> lost_reports{0};
volatile sig_atomic_t stopping = 0;
std::atomic<bool> server_lost{false};

// What the process callback holds of the piece it is sending.
uint32_t piece_left = 0;
bool piece_reported = true;

void stop(int) {
    stopping = 1;
}

void server_gone(void *) {
    server_lost = true;
    stopping = 1;
}

// Runs on JACK's real-time thread. A piece is started only once all of it is
// in the ring, so a long one goes out as fast as the buffers take it.
int process(jack_nframes_t frames, void *) {
    void *buffer = jack_port_get_buffer(port, frames);
    jack_midi_clear_buffer(buffer);
    for (;;) {
        if (piece_left == 0) {
            Piece piece;
            if (lines.readable() < sizeof piece)
                return 0;
            lines.peek(&piece, sizeof piece);
            if (lines.readable() < sizeof piece + piece.bytes)
                return 0;
            lines.read(&piece, sizeof piece);
            piece_left = piece.bytes;
            piece_reported = !piece.first_of_line;
        }
        const size_t room = jack_midi_max_event_size(buffer);
        const size_t n = piece_left < room ? piece_left : room;
        jack_midi_data_t *event = n ? jack_midi_event_reserve(buffer, 0, n) : nullptr;
        if (!event)
            return 0; // this cycle's buffer is full
        lines.read(event, n);
        piece_left -= uint32_t(n);
        if (!piece_reported) {
            piece_reported = true;
            const jack_nframes_t frame = jack_last_frame_time(client);
            const Report report{frame, on_monotonic(jack_frames_to_time(client, frame))};
            if (reports.writable() >= sizeof report)
                reports.write(&report, sizeof report);
            else
                lost_reports.fetch_add(1, std::memory_order_relaxed);
        }
    }
}

void print_reports() {
    for (Report r; reports.readable() >= sizeof r;) {
        reports.read(&r, sizeof r);
        printf("sent %u %lld\n", r.frame, (long long)r.start_us);
    }
    fflush(stdout);
}

// Waits for the process callback to take `bytes` more, reporting meanwhile;
// false when the server has gone.
bool wait_for_room(size_t bytes) {
    while (lines.writable() < bytes) {
        if (stopping)
            return false;
        print_reports();
        usleep(1000);
    }
    return true;
}

// Parses a line of hex bytes; false, with a message, for anything else.
bool parse(const std::string &line, std::vector<unsigned char> &bytes) {
    bytes.clear();
    const char *p = line.c_str();
    for (;;) {
        while (*p == ' ' || *p == '\t' || *p == '\r')
            p++;
        if (!*p)
            return true;
        char *end;
        const unsigned long byte = strtoul(p, &end, 16);
        if (end == p || end - p > 2 || (*end && *end != ' ' && *end != '\t' && *end != '\r')) {
            fprintf(stderr, "jack_keyboard: not a line of hex bytes: %.40s\n", line.c_str());
            return false;
        }
        bytes.push_back(static_cast<unsigned char>(byte));
        p = end;
    }
}

bool send_line(const std::vector<unsigned char> &bytes) {
    for (size_t at = 0; at < bytes.size(); at += MAX_PIECE) {
        const Piece piece{uint32_t(std::min(MAX_PIECE, bytes.size() - at)), at == 0};
        if (!wait_for_room(sizeof piece + piece.bytes))
            return false;
        lines.write(&piece, sizeof piece);
        lines.write(bytes.data() + at, piece.bytes);
    }
    return true;
}

// Takes one command; false when the server has gone.
bool take(const std::string &line) {
    if (line == "connections") {
        const char **ports = jack_port_get_connections(port);
        int n = 0;
        while (ports && ports[n])
            n++;
        jack_free(ports);
        printf("connections %d\n", n);
        fflush(stdout);
        return true;
    }
    std::vector<unsigned char> bytes;
    return !parse(line, bytes) || bytes.empty() || send_line(bytes);
}

// Reads commands until the end of input or a signal; polled, so that a
// signal between two reads is not missed and reports keep flowing.
void read_commands() {
    std::string pending;
    char chunk[65536];
    while (!stopping) {
        print_reports();
        pollfd in{0, POLLIN, 0};
        if (poll(&in, 1, 10) <= 0)
            continue;
        const ssize_t n = read(0, chunk, sizeof chunk);
        if (n <= 0) {
            if (!pending.empty())
                take(pending);
            return;
        }
        pending.append(chunk, size_t(n));
        size_t start = 0;
        for (size_t end; (end = pending.find('\n', start)) != std::string::npos; start = end + 1)
            if (!take(pending.substr(start, end - start)))
                return;
        pending.erase(0, start);
    }
}
} // namespace

int main(int argc, char **argv) {
    if (argc > 2) {
        fprintf(stderr, "usage: jack_keyboard [CLIENT_NAME]\n");
        return 2;
    }
    struct sigaction action {};
    action.sa_handler = stop;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    client = jack_client_open(argc == 2 ? argv[1] : "keyboard", JackNoStartServer, nullptr);
    if (!client)
        return 1;
    port = jack_port_register(client, "midi_out", JACK_DEFAULT_MIDI_TYPE,
                              JackPortIsOutput | JackPortIsPhysical | JackPortIsTerminal, 0);
    jack_set_process_callback(client, process, nullptr);
    jack_on_shutdown(client, server_gone, nullptr);
    if (!port || jack_activate(client) != 0) {
        fprintf(stderr, "jack_keyboard: cannot start\n");
        return 1;
    }
    printf("ready\n");
    fflush(stdout);
    read_commands();
    // What was read goes out before the client does: all of it taken by the
    // callback, and the cycle that took the last of it over.
    while (!stopping && lines.readable() > 0) {
        print_reports();
        usleep(1000);
    }
    const jack_nframes_t last = jack_last_frame_time(client);
    while (!stopping && jack_last_frame_time(client) == last)
        usleep(1000);
    print_reports();
    jack_deactivate(client);
    jack_client_close(client);
    if (server_lost) {
        fprintf(stderr, "jack_keyboard: the server has gone\n");
        return 1;
    }
    if (lost_reports) {
        fprintf(stderr, "jack_keyboard: %u reports lost\n", uint32_t(lost_reports));
        return 1;
    }
    return 0;
}
