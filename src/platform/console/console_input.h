// SPDX-License-Identifier: MIT
#pragma once

#include "platform/console/key_queue.h"

// What each system's console gives the key source (console_keys.cpp), in
// console_input_linux.cpp and console_input_windows.cpp.

// Takes the console for the program: raw mode, restored however the program
// ends, and the handlers of the signals or events that end it.
void console_input_start();

// One round of input, called with an empty queue: pushes the codes of what
// standard input holds, waiting for it when asked to, and marks the queue
// ended at the end of input. Ends the program when it has been asked to end.
void take_console_input(KeyQueue &queue, bool wait);

// Ends the program, with the status of the signal or event that asked it to,
// if one has.
void exit_if_stop_requested();
