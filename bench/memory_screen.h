// SPDX-License-Identifier: MIT
#pragma once

// The scope's `screen` as a 32-bit surface in memory, so that a benchmark
// runs the whole stream callback, preview included, without a window;
// presenting it does nothing under SDL's dummy video driver.
void open_memory_screen();
// Back to no window: the other benchmarks play without the scope.
void close_memory_screen();
