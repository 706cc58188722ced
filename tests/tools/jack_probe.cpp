// SPDX-License-Identifier: MIT
// A JACK client for the end-to-end tests and the soak, on the server named by
// JACK_DEFAULT_SERVER (never started for us):
//
//   jack_probe up                  status 0 when the server runs with
//                                  system:playback_1
//   jack_probe clock               prints the server's frame time and its
//                                  time in µs
//   jack_probe connections         prints every port, each followed by the
//                                  ports connected to it, indented (as
//                                  jack_lsp -c, which Debian 13 no longer
//                                  ships with the server)
//   jack_probe record FILE [SINK]  records what the first two input ports of
//                                  the client SINK (by default `system`, the
//                                  sound card) are fed, until SIGTERM or SIGINT
//
// The recording is a sequence of periods, each a header (the period's start
// in µs, the server's frame time at that start, the period's frame count and
// when the recorder was run in it, in µs, all int64) followed by its frames
// as interleaved 16-bit left and right samples, in native byte order. A
// server that wakes late runs the cycles it owes back to back: their starts
// are when they were due, before they ran, and before frames computed
// after those starts were played in them.
//
// Under pipewire-jack a sink is a client of its own (`Null Sink`, with ports
// playback_FL and playback_FR), and a period's start is when the graph's
// driver was due to start the cycle, not its wake-up, which is late now and
// then. When the graph stalls, the recorder misses cycles: their frames are
// not in the recording, and the frame time moves on by more than a period.
// The frame time also jumps once, before any sound, when the recorder moves
// from PipeWire's idle driver to the sink's.
//
// JACK's clock (jack_get_time) is not CLOCK_MONOTONIC on Linux: jackd2 1.9.21
// reads CLOCK_MONOTONIC_RAW, which NTP does not slew, and the two were found
// 150 ms apart. Every time printed or recorded here is moved onto
// CLOCK_MONOTONIC, the clock of the program and of Python's time.monotonic(),
// by the difference of the two clocks read at that moment.

#include "jack_time.h"

#include <jack/jack.h>
#include <jack/ringbuffer.h>

#include <atomic>
#include <cmath>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <unistd.h>

namespace {
struct PeriodHeader {
    int64_t start_us;
    int64_t frame;
    int64_t frames;
    int64_t ran_us;
};

constexpr size_t RING_BYTES = 1 << 22; // seconds of periods at 44100 Hz

jack_client_t *client;
jack_port_t *inputs[2];
jack_ringbuffer_t *ring;
std::atomic<uint32_t> dropped{0};
// Set by a signal or by the server's end. Lock-free, so a handler may set it.
std::atomic<bool> stopping{false};

void stop(int) {
    stopping.store(true, std::memory_order_relaxed);
}

void server_gone(void *) {
    stopping.store(true, std::memory_order_relaxed);
}

int16_t to_int16(float x) {
    const long v = lrintf(x * 32768.0f);
    return static_cast<int16_t>(v < -32768 ? -32768 : v > 32767 ? 32767 : v);
}

// Runs on JACK's real-time thread: no file, no lock, no allocation. A period
// that finds no room in the ring is dropped whole and counted. Once asked to
// stop, nothing more is recorded: deactivating disconnects the inputs before
// the last cycles run, and those would read as silence the sources never sent.
int process(jack_nframes_t frames, void *) {
    if (stopping.load(std::memory_order_relaxed))
        return 0;
    const jack_nframes_t frame = jack_last_frame_time(client);
    const PeriodHeader header{on_monotonic(jack_frames_to_time(client, frame)), frame, frames,
                              monotonic_us()};
    if (jack_ringbuffer_write_space(ring) < sizeof header + 4 * size_t(frames)) {
        dropped.fetch_add(1, std::memory_order_relaxed);
        return 0;
    }
    jack_ringbuffer_write(ring, reinterpret_cast<const char *>(&header), sizeof header);
    const auto *left = static_cast<const float *>(jack_port_get_buffer(inputs[0], frames));
    const auto *right = static_cast<const float *>(jack_port_get_buffer(inputs[1], frames));
    for (jack_nframes_t i = 0; i < frames; i++) {
        const int16_t frame[2] = {to_int16(left[i]), to_int16(right[i])};
        jack_ringbuffer_write(ring, reinterpret_cast<const char *>(frame), sizeof frame);
    }
    return 0;
}

// The frame that starts the server's current cycle, and when the cycle began.
// Not jack_frame_time, which runs on past the last cycle: from a stalled
// server it counts frames that have not been played.
void print_clock() {
    const jack_nframes_t frame = jack_last_frame_time(client);
    printf("%u %lld\n", frame, (long long)on_monotonic(jack_frames_to_time(client, frame)));
}

// The sink's first two audio inputs, left and right, in the server's order;
// nullptr where it has fewer.
void find_playback(const char *sink, jack_port_t *playback[2]) {
    playback[0] = playback[1] = nullptr;
    const char **ports = jack_get_ports(client, nullptr, JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput);
    const size_t length = strlen(sink);
    int found = 0;
    for (int i = 0; ports && ports[i] && found < 2; i++)
        if (!strncmp(ports[i], sink, length) && ports[i][length] == ':')
            playback[found++] = jack_port_by_name(client, ports[i]);
    jack_free(ports);
}

// Feeds each of our inputs from whatever feeds the matching playback port.
// Sources come and go with the program under test, so this is polled; a
// connect is never made from the process callback.
void follow_sources(const char *sink) {
    jack_port_t *playback[2];
    find_playback(sink, playback);
    for (int i = 0; i < 2; i++) {
        const char **sources =
            playback[i] ? jack_port_get_all_connections(client, playback[i]) : nullptr;
        for (int s = 0; sources && sources[s]; s++)
            if (!jack_port_connected_to(inputs[i], sources[s]))
                jack_connect(client, sources[s], jack_port_name(inputs[i]));
        jack_free(sources);
    }
}

void drain(FILE *out) {
    char chunk[65536];
    for (size_t n; (n = jack_ringbuffer_read(ring, chunk, sizeof chunk)) > 0;)
        fwrite(chunk, 1, n, out);
}

int record(const char *path, const char *sink) {
    FILE *out = fopen(path, "wb");
    if (!out) {
        perror(path);
        return 1;
    }
    ring = jack_ringbuffer_create(RING_BYTES);
    inputs[0] = jack_port_register(client, "in_1", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    inputs[1] = jack_port_register(client, "in_2", JACK_DEFAULT_AUDIO_TYPE, JackPortIsInput, 0);
    jack_set_process_callback(client, process, nullptr);
    jack_on_shutdown(client, server_gone, nullptr);
    if (!inputs[0] || !inputs[1] || jack_activate(client) != 0) {
        fprintf(stderr, "cannot start recording\n");
        return 1;
    }
    printf("recording\n");
    fflush(stdout);
    while (!stopping.load(std::memory_order_relaxed)) {
        follow_sources(sink);
        drain(out);
        usleep(10000);
    }
    jack_deactivate(client);
    drain(out);
    fclose(out);
    if (dropped) {
        fprintf(stderr, "%u periods dropped\n", uint32_t(dropped));
        return 1;
    }
    return 0;
}
void print_connections() {
    const char **ports = jack_get_ports(client, nullptr, nullptr, 0);
    for (size_t i = 0; ports && ports[i]; i++) {
        printf("%s\n", ports[i]);
        const char **to =
            jack_port_get_all_connections(client, jack_port_by_name(client, ports[i]));
        for (size_t j = 0; to && to[j]; j++)
            printf("   %s\n", to[j]);
        jack_free(to);
    }
    jack_free(ports);
}
} // namespace

int main(int argc, char **argv) {
    const char *command = argc > 1 ? argv[1] : "";
    const bool recording = !strcmp(command, "record") && (argc == 3 || argc == 4);
    if (strcmp(command, "up") && strcmp(command, "clock") && strcmp(command, "connections") &&
        !recording) {
        fprintf(stderr, "usage: jack_probe up | clock | connections | record FILE [SINK]\n");
        return 2;
    }
    signal(SIGTERM, stop);
    signal(SIGINT, stop);
    client = jack_client_open("jack_probe", JackNoStartServer, nullptr);
    if (!client)
        return 1;
    int status = 0;
    if (!strcmp(command, "up"))
        status = jack_port_by_name(client, "system:playback_1") ? 0 : 1;
    else if (!strcmp(command, "clock"))
        print_clock();
    else if (!strcmp(command, "connections"))
        print_connections();
    else
        status = record(argv[2], argc == 4 ? argv[3] : "system");
    jack_client_close(client);
    return status;
}
