// SPDX-License-Identifier: MIT
#pragma once

// Creates the endless audio stream over the patch and starts it. Returns
// false after reporting a failure.
bool start_stream();
