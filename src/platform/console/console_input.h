// SPDX-License-Identifier: MIT
#pragma once

#include "platform/console/job_stop_steps.h"
#include "platform/console/key_queue.h"

// What each system's console gives the key source (console_keys.cpp), in
// console_input_linux.cpp and console_input_windows.cpp.

// Takes the console for the program: raw mode, and the handlers of the
// signals or events that end it or stop it, with `steps` around a stop of
// the job (null for none).
void console_input_start(const JobStopSteps *steps);

// Gives the console back as it was found. Safe to call at any time, more
// than once.
void console_input_stop();

// One round of input, called with an empty queue: pushes the codes of what
// standard input holds, waiting for it when asked to, and marks the queue
// ended at the end of input. Returns at once, pushing nothing, once the
// program has been asked to end, and after a stop of the job that was asked
// for (Ctrl-Z), once the program runs again.
void take_console_input(KeyQueue &queue, bool wait);

// The exit status asked for by the signal or event that asked the program to
// end, or 0 while none has.
int stop_requested();
