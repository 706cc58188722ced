#pragma once

#include <signal.h>

// The signals that end the program, and the terminal's stop (Ctrl-Z) and
// continue, are handled on the main thread. Threads inherit the creator's
// mask, so the audio layer blocks these signals around everything that may
// start a thread (ours, PortAudio's, JACK's) and then gives the caller its
// own mask back.
sigset_t block_stop_signals();
void restore_signals(const sigset_t &previous);
