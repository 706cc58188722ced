// SPDX-License-Identifier: MIT
#pragma once

#include "platform/console/job_stop_steps.h"

// Console keys, without echo and without line buffering. A key without a
// character (arrows, function keys...) arrives as two codes: a lead byte (0 or
// 0xE0) and then a scan code, as on the Windows console.

// Puts the console into raw mode (keeping Ctrl-C and the other signal keys).
// SIGINT, SIGTERM and SIGHUP (on Windows, Ctrl-C, Ctrl-Break and a closed
// console) and the end of input end the program through `end_program`, on
// the main thread, from inside key_waiting or read_key: with 128 + the
// signal's number, or 0 at the end of input. Ctrl-Z gives the console back
// while the program is stopped, and raw mode comes back when it continues in
// the foreground; continued in the background, it stops again until it is
// brought to the foreground. The stop is the main thread's, from inside
// key_waiting or read_key, with `steps` before it and after the continue
// (kept, not copied; null for none). Harmless when standard input is not a
// terminal.
void console_keys_start(void (*end_program)(int status), const JobStopSteps *steps = nullptr);

// Gives the console back as it was found; the program's shutdown calls it
// last, however the program ends. Safe to call at any time, more than once.
void console_keys_stop();

// Nonzero when read_key would return without waiting. Consumes nothing.
int key_waiting();

// Waits for the next key and returns its code. At the end of input (the
// console is gone) the program ends.
int read_key();
