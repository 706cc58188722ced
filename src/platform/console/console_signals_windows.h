// SPDX-License-Identifier: MIT
#pragma once

#include <windows.h>

// The console's events that end the program: Ctrl-C and Ctrl-Break, and the
// console closed (or the session ending). The system runs the handler on a
// thread of its own; it only records the event and sets stop_request_event,
// and the main thread then ends the program (stop_requested in
// console_input.h), with the status
// that the matching signal gives on Linux: 130 for Ctrl-C and Ctrl-Break,
// 129 for a console that has gone.
void console_signals_start();

// Set once an event has asked the program to end: for a wait beside the
// keys.
HANDLE stop_request_event();
