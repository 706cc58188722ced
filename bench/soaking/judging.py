# SPDX-License-Identifier: MIT
"""Holding a set-up's figures against the targets: the report's lines, each
with whether its target is met (None where there is no target) and whether
that target is one of time, which a busy shared machine can miss by chance."""

import statistics

from rig.program import BLOCK_FRAMES, BLOCK_S, PIECE_FRAMES, RATE

from .faults import CONNECTIONS_AFTER_S
from .setups import SETUPS
from .watchers import PauseWatch

RATE_TOLERANCE = 0.001
RSS_GROWTH_KIB = 1024
# With the server restarted: the sound back this soon after it answered.
SOUND_BACK_S = 2.0
# A life's recording is whole when it lacks at most this much of the life:
# the recorder starts after the server answers, and ends at its stop.
RECORDER_SLACK_S = 1.0
# How many blocks the stream may have computed beyond those that have played:
# the one being computed or waiting for the device, and with a device up to
# one more in its buffer, which holds less than a block.
AHEAD_WITHOUT_DEVICE = 1
AHEAD_WITH_DEVICE = 2
# At most one wake of the stream thread a piece.
PIECES_PER_BLOCK = BLOCK_FRAMES // PIECE_FRAMES


def spread(ms):
    """Worst, 99th percentile, median and best of `ms`, sorted."""
    return "worst %.1f ms, 99th percentile %.1f ms, median %.1f ms, best %.1f ms" % (
        ms[-1], ms[int(0.99 * (len(ms) - 1))], statistics.median(ms), ms[0])


def in_outages(f, key):
    """The probes sent in the outages, which are not timed, if any."""
    return " (and %d sent in the outages, not timed)" % f[key] if f.get(key) else ""


def restarts(f):
    """The server's restarts: each an outage of the program's output that
    ended, with the sound back in the recording soon after the server
    answered, and with MIDI the keyboard connected again."""
    restarted = f["restarts"]
    outages = int(f.get("outages", 0))
    ends = [f.get("outage_%d_s" % n, -1) for n in range(1, outages + 1)]
    recovered = sum(s >= 0 for s in ends)
    lines = [(
        "server restarts %d, outages of the output %d, recovered %d, target one a restart, each recovered"
        % (len(restarted), outages, recovered),
        outages == len(restarted) and recovered == outages,
        False,
    )]
    if recovered:
        ms = sorted(f["outage_%d_back_ms" % n] for n, s in enumerate(ends, 1) if s >= 0)
        on_clock = sorted(s for s in ends if s >= 0)
        failed = sorted(f["failed_after"])
        lines.append((
            "the output's outages: it failed %.2f s after the server stopped (median; worst %.2f s), "
            "was on the clock %.2f s (worst %.2f s), and from the output opened again to the stream on it "
            "took %.1f ms (worst %.1f ms)"
            % (statistics.median(failed), failed[-1], statistics.median(on_clock), on_clock[-1],
               statistics.median(ms), ms[-1]),
            None,
            None,
        ))
    # A recorder that JACK stopped running records no more, whatever the
    # program plays: where one did, the sound's return is not known.
    lost = [recorded < span - RECORDER_SLACK_S for recorded, span in f["recorded"]]
    lines.append((
        "recordings whole for %d of %d server lives, target all%s"
        % (lost.count(False), len(lost), "; the recorder stopped running after %s s of %s s"
           % ([round(r, 1) for (r, _), x in zip(f["recorded"], lost) if x],
              [round(s, 1) for (_, s), x in zip(f["recorded"], lost) if x]) if any(lost) else ""),
        not any(lost),
        False,
    ))
    known = [r for r, x in zip(restarted, lost[1:]) if r[2] is not None or not x]
    if known:
        backs = [back - answered if back is not None else float("inf") for _, answered, back in known]
        never = [round(answered, 1) for _, answered, back in known if back is None]
        lines.append((
            "sound back after the server answered: median %.2f s, worst %.2f s (it answered at %s s%s), "
            "target worst <= %g s"
            % (statistics.median(backs), max(backs), [round(at, 1) for _, at, _ in known][:10],
               "; never back after %s s" % never if never else "", SOUND_BACK_S),
            max(backs) <= SOUND_BACK_S,
            True,
        ))
    # Where the sound was not heard again: what was connected.
    for (_, answered, back), ports in zip(restarted, f["connections"]):
        if back is None:
            lines.append(("no sound recorded after the server answered at %.1f s; its ports %d s on: %s"
                          % (answered, CONNECTIONS_AFTER_S, ports), None, None))
    midi_back = [back for back in f.get("midi_back", ()) if back is not None]
    if midi_back:
        lines.append((
            "the keyboard connected again after %d of %d restarts, target all" % (sum(midi_back), len(midi_back)),
            all(midi_back),
            False,
        ))
    return lines


def callbacks(setup, f):
    """The blocks played in the elapsed time, plus those computed ahead."""
    ahead_most = AHEAD_WITH_DEVICE if setup.recorded() else AHEAD_WITHOUT_DEVICE
    expected = f["elapsed_s"] * f["rate"] / BLOCK_FRAMES
    tolerance = RATE_TOLERANCE * expected
    ahead = f["callbacks"] - expected
    return [(
        "callbacks %d in %.3f s: %.1f played at %.1f Hz (%+.3f %%), %+.2f ahead, "
        "target 0 to %d ahead within %.2f"
        % (f["callbacks"], f["elapsed_s"], expected, f["rate"], 100 * (f["rate"] / RATE - 1), ahead,
           ahead_most, tolerance),
        -tolerance <= ahead <= ahead_most + tolerance,
        True,
    )]


def stream_costs(f):
    """The longest callback and the stream's slowest steps, without a target."""
    return [
        ("max callback %.2f ms (a block lasts %.1f ms)" % (f["max_callback_us"] / 1000, 1000 * BLOCK_S),
         None, None),
        (
            "longest end of a block %.2f ms, write to the device %.2f ms, wake after its "
            "deadline %.2f ms (at %.1f s)"
            % (*(f[k] / 1000 for k in ("max_block_end_us", "max_write_us", "max_wake_late_us")),
               f["max_wake_late_at"]),
            None,
            None,
        ),
    ]


def continuity(f):
    """Underruns and silence: none once the sound has started, but in the
    outages."""
    last = (" (the last at %.1f s; the recording ended at %.1f s)" % (f["last_underrun_at"], f["recording_ended_at"])
            if "last_underrun_at" in f else "")
    return [
        ("underruns %d%s, target 0" % (f["underruns"], last), f["underruns"] == 0, True),
        (
            "periods of silence in the recording%s %d%s, target 0"
            % (" outside the outages" if "restarts" in f else "", len(f["silences"]),
               " (at %s s)" % f["silences"][:8] if f["silences"] else ""),
            not f["silences"],
            True,
        ),
    ]


def key_to_sound(setup, f):
    """The probes' key to sound against the set-up's target, and every probe
    heard."""
    worst_ms, stretch_ms = setup.key_to_sound_ms
    ms = sorted(1000 * x for x, _ in f["latencies"]) or [float("nan")]
    # When the slowest keys came, to be set beside the silences.
    slowest = sorted(f["latencies"], reverse=True)[:3]
    return [
        (
            "key to sound: %s, target worst <= %d ms (stretch %d ms); slowest at %s s"
            % (spread(ms), worst_ms, stretch_ms, [round(at, 1) for _, at in slowest]),
            ms[-1] <= worst_ms,
            True,
        ),
        (
            "probes %d%s, unheard %d, target 0"
            % (len(f["latencies"]) + f["unheard"], in_outages(f, "outage_probes"), f["unheard"]),
            f["unheard"] == 0,
            False,
        ),
    ]


def midi_to_sound(setup, f):
    """The note-ons' MIDI to sound against the set-up's target, every
    note-on heard, and the controller flood: none without MIDI."""
    midi = f["midi"]
    if not midi["note-ons"]:
        return []
    ms = sorted(1000 * x for x, _ in f["midi_latencies"]) or [float("nan")]
    # When the slowest note-ons came, to be set beside the silences.
    slowest = sorted(f["midi_latencies"], reverse=True)[:3]
    lines = [
        (
            "MIDI to sound: %s, target worst <= %d ms; slowest at %s s"
            % (spread(ms), setup.midi_to_sound_ms, [round(at, 1) for _, at in slowest]),
            ms[-1] <= setup.midi_to_sound_ms,
            True,
        ),
        (
            "MIDI probes %d%s, unheard %d, target 0"
            % (len(f["midi_latencies"]) + f["midi_unheard"], in_outages(f, "outage_midi_probes"),
               f["midi_unheard"]),
            f["midi_unheard"] == 0,
            False,
        ),
    ]
    if "flood" in f:
        lines.append((
            "controller flood: %d messages from %.1f s to %.1f s, %.0f a second on the "
            "server's clock" % (midi["controllers"], *f["flood"]),
            None,
            None,
        ))
    return lines


def device(f):
    """What the device and its server did: the audio layer's latency, the
    server's lateness, how long a key took to be taken up, and the device
    kept to the end."""
    echo = sorted(1000 * x for x in f["echoes"]) or [float("nan")]
    return [
        ("the audio layer's worst latency %.1f ms" % f["worst_latency_ms"], None, None),
        (
            "the server ran a period at most %.1f ms after it was due, at %.1f s"
            % (1000 * f["server_late"][0], f["server_late"][1]),
            None,
            None,
        ),
        (
            "a probe's first key to its status block: worst %.1f ms, 99th percentile %.1f ms, median %.1f ms"
            % (echo[-1], echo[int(0.99 * (len(echo) - 1))], statistics.median(echo)),
            None,
            None,
        ),
        (
            "the device left for the clock %d times, target %s"
            % (f["clock_fallbacks"], "one a restart" if "restarts" in f else "0"),
            f["clock_fallbacks"] == len(f.get("restarts", ())),
            True,
        ),
        (
            "the device at %d Hz%s"
            % (f["device_rate"], ", PipeWire's quantum %d frames" % f["quantum"] if "quantum" in f else ""),
            None,
            None,
        ),
    ]


def stream_thread(f):
    """The ahead time, the wakes a block and the priority, where the audio
    layer gives them."""
    lines = []
    if "ahead_ms" in f:
        lines.append(("ahead time %.1f ms" % f["ahead_ms"], None, None))
    if "wakes_per_block" in f:
        lines.append((
            "wakes per block %.1f, target at most one a piece (%d)" % (f["wakes_per_block"], PIECES_PER_BLOCK),
            f["wakes_per_block"] <= PIECES_PER_BLOCK,
            True,
        ))
    if "realtime" in f:
        granted = "granted" if f["realtime"] else "refused"
        lines.append(("real-time priority %s" % granted, None, None))
    return lines


def machine(f):
    """The processors' pauses and the soak's own lateness, without a target:
    a miss that comes with one can be told from the program's."""
    pauses = f["pauses"]
    longest = (", longest %.1f ms, at %s s" % (1000 * max(late for _, late in pauses), [at for at, _ in pauses][:8])
               if pauses else "")
    return [
        (
            "pauses of a processor (a watcher on each, at %s priority, woke over %d ms late): %d%s"
            % ("real-time" if f["watched_realtime"] else "normal", 1000 * PauseWatch.LATE_S, len(pauses), longest),
            None,
            None,
        ),
        (
            "the soak's own loop, which reads the program's output, ran at most %.1f ms late, at %.1f s"
            % (1000 * f["reader_late"][0], f["reader_late"][1]),
            None,
            None,
        ),
    ]


def memory(f):
    """Resident memory flat from the warm-up to the end."""
    growth = f["rss_end"] - f["rss_start"]
    return [(
        "resident memory %d KiB at start, %d KiB at end (%+d KiB), target growth < %d KiB"
        % (f["rss_start"], f["rss_end"], growth, RSS_GROWTH_KIB),
        growth < RSS_GROWTH_KIB,
        False,
    )]


def status_blocks(f):
    """One status block per key, note-on and controller message."""
    midi = f["midi"]
    sent = (", %d note-ons and %d controller messages (and %d note-offs)"
            % (midi["note-ons"], midi["controllers"], midi["note-offs"]) if midi["note-ons"] else "")
    return [(
        "status blocks %d for %d keys%s, target one per key%s"
        % (f["blocks"], f["keys"], sent, ", note-on and controller message" if midi["note-ons"] else ""),
        f["blocks"] == f["keys"] + midi["note-ons"] + midi["controllers"],
        False,
    )]


def judge(name, f):
    """The report's lines for one set-up, each with whether its target is met
    (None where there is no target) and whether that target is one of time."""
    setup = SETUPS[name]
    lines = callbacks(setup, f) + stream_costs(f)
    if not setup.recorded():
        lines.append(("underruns and key to sound: none without a device", None, None))
    else:
        lines += restarts(f) if "restarts" in f else []
        lines += continuity(f) + key_to_sound(setup, f) + midi_to_sound(setup, f) + device(f)
    return lines + stream_thread(f) + machine(f) + memory(f) + status_blocks(f)
