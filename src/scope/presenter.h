// SPDX-License-Identifier: MIT
#pragma once

#include "common/newest_of_three.h"
#include "synth/preview.h"

struct SDL_Surface;

// The window's pictures, drawn and presented on a thread of their own. A
// present waits for the display server, a round trip to a process at normal
// priority that runs behind whatever else is busy: 5 to 14 ms now and then
// on a loaded machine. The stream thread makes no frames while it waits, and
// the clear and the plot of a picture take milliseconds more, so the stream
// thread only runs each block's preview and publishes it; this thread takes
// the newest, draws it into the window and presents it. A preview that a slow
// present never took is replaced by the next.

// Starts the thread that draws the previews published in `previews` into
// `window`, the video surface, and presents them. False when the thread
// cannot start.
bool start_presenter(SDL_Surface *window, NewestOfThree<Preview> &previews);

// Ends the thread once the picture in hand is presented. Called after the
// stream has stopped, before video shuts down; from the presenter's own
// thread (Xlib ends the process there when the display goes away) it leaves
// the thread to end with the process. Harmless when it was never started.
void stop_presenter();
