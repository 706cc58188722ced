// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>

// How far the stream keeps ahead of what the device plays, in frames at the
// stream's rate. Every frame ahead is a frame between a key and its sound;
// too few, and the device runs dry while the stream is held up: by the
// preview drawn at the end of every block, or by a late wake-up.

// The starting ahead-time for a device that takes frames `period` at a time:
// two periods, so that one can be played while the next is being made, and
// never less than the preview takes to draw.
long initial_ahead(long period, int rate);

// The ahead-time after the device ran dry: a period more (or the least step,
// when periods are short), up to the most that still answers a key at once.
long raised_ahead(long ahead, long period, int rate);

// After this long without running dry, the ahead-time comes a step back
// down, so that a dry spell at the start or one stall does not cost latency
// for the rest of the run.
constexpr int64_t CLEAN_STRETCH_NS = 30'000'000'000;

// The ahead-time a step down, but never below where it started.
long lowered_ahead(long ahead, long period, int rate);
