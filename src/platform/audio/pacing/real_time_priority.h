// SPDX-License-Identifier: MIT
#pragma once

// Raises the calling thread's priority for audio, so that a busy machine does
// not make the stream late. False where the system does not grant it: the
// thread then runs at normal priority.
bool ask_for_real_time();
