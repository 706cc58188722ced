// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

// The console's input in raw mode while the program runs: no echo, every key
// at once rather than a line after Enter, Ctrl-C still the console's own
// event. False when standard input is not a console: its bytes are the keys
// as they stand.
bool console_mode_start(HANDLE input);

// Restores the mode found at the start, if it was changed.
void console_mode_stop();
