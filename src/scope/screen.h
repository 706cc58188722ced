// SPDX-License-Identifier: MIT
#pragma once

#include "common/newest_of_three.h"
#include "synth/preview.h"

// SDL's own header is left to the files that call SDL: on Windows it renames
// the `main` of any file that includes it.
struct SDL_Surface;

constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 800;

// Opens the scope window on the X display and starts its presenter
// (presenter.h), and returns where the stream's previews go to be drawn in
// it. Without a window, says in one line that the program goes on without
// it, and returns null: the sound then plays without the scope.
NewestOfThree<Preview> *open_screen();

// Stops the presenter and closes the window. Called once the stream has
// stopped; harmless when no window was opened.
void close_screen();

// Sets the window's video mode in the layout the scope draws into, whatever
// the display's depth; null if SDL cannot give one, as SDL 1.2 over SDL 2
// (sdl12-compat) cannot on an 8-bit display. Needs SDL video started.
SDL_Surface *set_scope_mode();
