// SPDX-License-Identifier: MIT
#pragma once

// What a stop of the program's job (Ctrl-Z) takes besides the console, for a
// part of the program that must not stay frozen in another process's way: a
// sound server's client leaves the server's graph before the stop, so that
// the server and its other clients play on without it, and joins it again
// once the program runs in the foreground again. Both steps run on the main
// thread, in the console's input round, with `context`; either may be null.
struct JobStopSteps {
    void (*before_stop)(void *context) = nullptr;
    void (*after_continue)(void *context) = nullptr;
    void *context = nullptr;
};
