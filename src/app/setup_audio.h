// SPDX-License-Identifier: MIT
#pragma once

// The console dialog that chooses the output type and the driver, then
// starts the mixer. Returns true when the mixer runs, false after a reported
// failure; ESC at either prompt ends the program with status 0.
bool setup_audio();
