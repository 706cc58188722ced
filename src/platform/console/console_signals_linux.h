// SPDX-License-Identifier: MIT
#pragma once

// The main thread's signals, all handled here. SIGINT, SIGTERM and SIGHUP end
// the program: their handler only records the signal and wakes whatever waits
// on stop_request_fd, and the main thread then ends the program, so that its
// shutdown runs there (stop_requested in console_input.h). Ctrl-Z (SIGTSTP) gives the
// terminal back to the shell and stops the process; a continue (SIGCONT)
// takes raw mode again in the foreground, and in the background stops the
// process again until it is brought to the foreground. A closed output's
// SIGPIPE is ignored: the write fails instead of killing the process with
// the terminal still raw.
void console_signals_start();

// Readable once a signal has asked the program to end: for poll() beside
// the keys.
int stop_request_fd();
