#include "clock_sink.h"

#include "block_clock.h"

#include <algorithm>

void clock_start(ClockSink &clock, int64_t now_ns) {
    clock.origin_ns = now_ns;
    clock.frames = 0;
}

long clock_held(ClockSink &clock, int64_t now_ns) {
    const int64_t played = ns_to_frames(now_ns - clock.origin_ns, clock.rate);
    if (played > clock.frames + clock.block_frames) {
        clock_start(clock, now_ns);
        return 0;
    }
    return static_cast<long>(std::max<int64_t>(clock.frames - played, 0));
}
