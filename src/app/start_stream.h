// SPDX-License-Identifier: MIT
#pragma once

#include "synth/stream_context.h"

// Creates the endless audio stream over the patch, with `context` (which must
// outlive it) as its callback's user data, and starts it. Returns false
// after reporting a failure.
bool start_stream(StreamContext &context);
