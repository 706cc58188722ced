// SPDX-License-Identifier: MIT
#pragma once

struct SDL_Surface;

// The window's presents, on a thread of their own. A present waits for the
// display server, a round trip to a process at normal priority that runs
// behind whatever else is busy: 5 to 14 ms now and then on a loaded machine.
// The stream thread makes no frames while it waits, so it never presents
// itself: it draws each picture into a canvas off the window and hands it
// over, and the presenter copies the newest picture into the window and
// presents that. Three canvases go round (one being drawn, one being shown,
// one holding the newest picture not yet shown), so neither thread ever waits
// for the other; a picture that a slow present never took is replaced by the
// next.

// Starts the thread that presents to `window`, the video surface, and returns
// the canvas for the first picture. Without the canvases or the thread,
// returns `window` itself, and present() then presents in place.
SDL_Surface *start_presenter(SDL_Surface *window);

// From the stream thread, once `picture` is drawn: has it shown, and returns
// the canvas for the next picture. Without a presenter, presents `picture`
// at once and returns it.
SDL_Surface *present(SDL_Surface *picture);

// Ends the thread once the present in hand is done. Called after the stream
// thread has stopped, before video shuts down; from the presenter's own
// thread (Xlib ends the process there when the display goes away) it leaves
// the thread to end with the process.
void stop_presenter();
