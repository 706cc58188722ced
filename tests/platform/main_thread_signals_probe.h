// SPDX-License-Identifier: MIT
#pragma once

// Whether the calling thread has every signal of the main thread blocked:
// on Linux those that end the program and a closed output's; on Windows,
// which has no signal masks, always.
bool main_thread_signals_blocked_here();
