// SPDX-License-Identifier: MIT
#include "platform/main_thread_signals.h"

// Windows has no signal masks: the console's events (Ctrl-C, the console
// closed) come on a thread of their own, whatever thread starts what.
MainThreadSignalsBlocked::MainThreadSignalsBlocked() {}

MainThreadSignalsBlocked::~MainThreadSignalsBlocked() {}
