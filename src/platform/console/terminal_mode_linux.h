// SPDX-License-Identifier: MIT
#pragma once

// The terminal in raw mode while the program has it, and as it was found
// whenever the program lets it go: at its end, and while the program is stopped
// or in the background. Harmless when standard input is not a terminal.

// Saves the terminal's settings and puts it into raw mode: no echo, every
// byte at once, Ctrl-C and Ctrl-Z still signals.
void terminal_enter_raw();

// Restores the settings found, for good. Safe to call from any thread, more
// than once.
void terminal_leave_raw();

// Whether the program keeps the terminal raw (false once it has left raw
// mode). Async-signal-safe, as are the three below.
bool terminal_is_raw();

// Whether another process group has the terminal: only the foreground may
// set it or read it.
bool terminal_in_background();

// The settings found at start, for the shell while the program is stopped.
void terminal_give_back();

// Raw mode again, after a continue in the foreground.
void terminal_take_back();
