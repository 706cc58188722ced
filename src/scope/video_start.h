// SPDX-License-Identifier: MIT
#pragma once

// Starts SDL's video for the scope window, on this system's window system.
// False when there is none to open a window on.
bool start_video();
