# SPDX-License-Identifier: MIT
"""The soak's entry point: its options, a run of each set-up asked for, and
the report, with the exit status 1 when a held target is missed."""

import argparse
import os
import signal
import sys

import soaking

from .faults import RESTART_EVERY_S
from .judging import judge
from .run import soak
from .setups import GROUPS, SETUPS

ROOT = os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__))))


def stop_on_sigterm(signum, frame):
    # Leaves through the same clean-up as Ctrl-C.
    sys.exit(128 + signum)


def main():
    parser = argparse.ArgumentParser(description=soaking.__doc__.split("\n\n")[0])
    parser.add_argument("--minutes", type=float, default=10.0, help="length of each set-up's run")
    parser.add_argument(
        "--setup",
        default="all",
        help="a set-up, a group of them, or several with commas: %s; groups %s"
        % (", ".join(SETUPS), ", ".join("%s (%s)" % (g, " ".join(m)) for g, m in GROUPS.items())),
    )
    parser.add_argument("--window", action="store_true", help="with the window open, on an Xvfb")
    parser.add_argument(
        "--midi",
        action="store_true",
        help="play note-ons and a controller flood from a JACK MIDI keyboard too, where a JACK "
        "server answers the program",
    )
    parser.add_argument(
        "--faults",
        action="store_true",
        help="restart the sound server every %d s, where there is one, and hold the program to coming "
        "back after each restart" % RESTART_EVERY_S,
    )
    parser.add_argument(
        "--binary",
        default=os.environ.get("SCOPESYNTH_BINARY") or os.path.join(ROOT, "build", "scopesynth"),
    )
    parser.add_argument(
        "--probe",
        default=os.environ.get("SCOPESYNTH_JACK_PROBE")
        or os.path.join(ROOT, "build", "tests", "jack_probe"),
    )
    parser.add_argument(
        "--keyboard",
        default=os.environ.get("SCOPESYNTH_JACK_KEYBOARD")
        or os.path.join(ROOT, "build", "tests", "jack_keyboard"),
    )
    parser.add_argument(
        "--timing",
        choices=("hold", "report"),
        default="hold",
        help="hold the targets of time, or only report them (the test suite's short run, "
        "on a machine that others may share)",
    )
    args = parser.parse_args()
    os.environ["SCOPESYNTH_JACK_PROBE"] = args.probe
    os.environ["SCOPESYNTH_JACK_KEYBOARD"] = args.keyboard
    signal.signal(signal.SIGTERM, stop_on_sigterm)
    setups = [n for part in args.setup.split(",") for n in GROUPS.get(part, (part,))]
    unknown = [n for n in setups if n not in SETUPS]
    if unknown:
        parser.error("no set-up %s" % ", ".join(unknown))
    missed = 0
    for setup in setups:
        midi = args.midi and SETUPS[setup].midi_to_sound_ms is not None
        faults = args.faults and SETUPS[setup].recorded()
        print("%s, %g min%s%s%s:" % (setup, args.minutes, ", window open" if args.window else "",
                                     ", MIDI" if midi else "", ", server restarted" if faults else ""),
              flush=True)
        if args.midi and not midi:
            print("         no MIDI: no JACK server answers the program here", flush=True)
        if args.faults and not faults:
            print("         no restarts: no sound server here", flush=True)
        figures = soak(setup, args.binary, 60 * args.minutes, args.window, midi, faults)
        for text, met, timed in judge(setup, figures):
            held = not timed or args.timing == "hold"
            mark = {True: "ok    ", False: "MISSED" if held else "missed", None: "      "}[met]
            print("  %s %s" % (mark, text), flush=True)
            missed += met is False and held
    print("all held targets met" if not missed else "%d targets missed" % missed)
    return 1 if missed else 0


def run():
    """Runs the soak and leaves with its status; Ctrl-C as a signal would."""
    try:
        sys.exit(main())
    except KeyboardInterrupt:
        sys.exit(128 + signal.SIGINT)
