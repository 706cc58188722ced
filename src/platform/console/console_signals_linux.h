// SPDX-License-Identifier: MIT
#pragma once

#include "platform/console/job_stop_steps.h"

// The main thread's signals, all handled here. SIGINT, SIGTERM and SIGHUP end
// the program: their handler only records the signal and wakes whatever waits
// on stop_request_fd, and the main thread then ends the program, so that its
// shutdown runs there (stop_requested in console_input.h). Ctrl-Z (SIGTSTP)
// is recorded the same way, and the main thread stops the job in its next
// input round (stop_job_if_asked): `steps` before the stop, the terminal given
// back to the shell, the process stopped; once continued in the foreground,
// `steps` after the continue and raw mode again. Continued in the background,
// it stops again until it is brought to the foreground, and so does a
// process stopped by SIGSTOP, which no handler sees. A closed output's
// SIGPIPE is ignored: the write fails instead of killing the process with
// the terminal still raw.
void console_signals_start(const JobStopSteps *steps);

// Readable once a signal has asked the program to end or to stop: for poll()
// beside the keys.
int stop_request_fd();

// Stops the job if Ctrl-Z asked for it since the last round, and returns
// once the program runs again; false when nobody asked. The main thread's.
bool stop_job_if_asked();
