// SPDX-License-Identifier: MIT
#pragma once

// Console keys, without echo and without line buffering. A key without a
// character (arrows, function keys...) arrives as two codes: a lead byte (0 or
// 0xE0) and then a scan code, as on the Windows console.

// Puts the console into raw mode (keeping Ctrl-C and the other signal keys)
// and makes sure that it is restored however the process ends: at exit, and
// on SIGINT, SIGTERM and SIGHUP, which end the program through exit() on the
// main thread. Ctrl-Z restores it while the program is stopped, and raw mode
// comes back when it continues in the foreground; continued in the
// background, it stops again until it is brought to the foreground. Harmless
// when standard input is not a terminal.
void console_keys_start();

// Nonzero when read_key would return without waiting. Consumes nothing.
int key_waiting();

// Waits for the next key and returns its code. At the end of input (the
// console is gone) the program ends.
int read_key();
