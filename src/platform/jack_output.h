#pragma once

#include <cstdint>
#include <string>
#include <vector>

// The JACK output, spoken to directly: a client of the program's own whose
// process callback plays frames from a lock-free ring that the stream thread
// fills. (PortAudio's blocking JACK path starts with a ring of its own full of
// silence, a tenth of a second ahead of every key.)

// Connects to the running JACK server, never starting one, and lists its
// sinks: the clients with at least two audio inputs ("system" for the
// sound card). False when no server runs.
bool jack_stream_connect(std::vector<std::string> *sinks);

// Registers two outputs for frames at `rate`, starts the client and connects
// the outputs to the first two inputs of `sink`. Returns an FMOD_ERR_* code.
int jack_stream_open(const std::string &sink, int rate);

// The server's period, in frames.
long jack_stream_period();

// Frames in the ring not yet played, and the room left in it. False once
// the server has gone away.
bool jack_stream_fill(long *held, long *room);

// Appends `frames` interleaved little-endian 16-bit stereo frames to the
// ring; they must fit.
void jack_stream_write(const char *frames, long count);

// How many times the ring ran dry (one or more periods in a row found it
// short) since the first frames were written.
uint32_t jack_stream_underruns();

// Stops and closes the client, if one is open. Harmless when the server
// has gone.
void jack_stream_close();
