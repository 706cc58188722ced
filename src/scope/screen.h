// SPDX-License-Identifier: MIT
#pragma once

// SDL's own header is left to the files that call SDL: on Windows it renames
// the `main` of any file that includes it.
struct SDL_Surface;

constexpr int SCREEN_WIDTH = 640;
constexpr int SCREEN_HEIGHT = 800;

// The surface the scope draws into: SCREEN_WIDTH x SCREEN_HEIGHT pixels, each
// a 32-bit 0x00RRGGBB word. A canvas that the presenter shows in the window
// (presenter.h), or the window's own surface. Null when no window could be
// opened; the sound then plays without the scope. After start-up only the
// audio thread touches it.
extern SDL_Surface *screen;

// Opens the scope window on the X display, or says in one line that the
// program goes on without it. Registers SDL_Quit to run at exit, so a stream
// stopped by a later-registered exit handler is gone before the window.
void open_screen();

// Sets the window's video mode in the layout the scope draws into, whatever
// the display's depth; null if SDL cannot give one, as SDL 1.2 over SDL 2
// (sdl12-compat) cannot on an 8-bit display. Needs SDL video started.
SDL_Surface *set_scope_mode();
