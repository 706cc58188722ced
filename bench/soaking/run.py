# SPDX-License-Identifier: MIT
"""One set-up's run: its rig, the program through its dialog, the busy
process on the other core, the play, and the figures gathered at the end."""

import functools
import os
import shutil
import signal
import subprocess
import sys
import tempfile
import time

from rig.audio import choose_driver, read_stats, write_asoundrc
from rig.pipewire import DEFAULT_QUANTUM
from rig.program import HELP_END, RATE
from rig.recording import Recording
from rig.session import Session
from rig.xvfb import start_xvfb

from .faults import Restarts, listen_lives, program_outages, stream_rate
from .keys import LEVEL_KEEPING_BOUNDS, LEVEL_KEEPING_KEYS, MIDI_WALK_KEYS, KeyWalk
from .listening import listen
from .midi import Keyboard
from .playing import play
from .rigs import JackRig, PipeWireRig
from .setups import SETUPS
from .watchers import PauseWatch


def soak(name, binary, seconds, window, midi, faults=False):
    """Runs the program in set-up `name` for `seconds`, with the window open
    when `window`, played from a MIDI keyboard too when `midi`, and with its
    sound server restarted every minute when `faults`; returns its
    figures."""
    setup = SETUPS[name]
    home = tempfile.mkdtemp(prefix="scopesynth_soak_")
    stats = os.path.join(home, "stats")
    recording = os.path.join(home, "recording")
    rig = load = s = xvfb = watch = keyboard = restarts = None
    try:
        env = {"HOME": home, "SCOPESYNTH_AUDIO_STATS": stats, "DISPLAY": ""}
        if window:
            xvfb, env["DISPLAY"] = start_xvfb(24)
        if setup.driver == "scopesynth_capture":
            # Nothing is kept of the frames: the device only passes them on.
            write_asoundrc(home, os.devnull)
        if setup.pipewire:
            rig = PipeWireRig(recording)
        elif setup.rate:
            rig = JackRig(setup.rate, recording)
        if rig:
            env.update(rig.env, HOME=home)
        if midi:
            # There from the start, as a keyboard plugged in.
            keyboard_env = dict(os.environ, **env)
            if setup.pipewire:
                keyboard_env["PIPEWIRE_LATENCY"] = "%d/%d" % (DEFAULT_QUANTUM, rig.rate)
            new_keyboard = functools.partial(Keyboard, keyboard_env, setup.wrapper)
            keyboard = new_keyboard()
        s = Session(env, [*setup.wrapper, binary])
        choose_driver(s, setup.key, setup.output, setup.driver)
        s.expect(HELP_END, timeout=20)
        s.output = b""
        if keyboard:
            keyboard.connect()
        # With a device the stream keeps the device's pace, and the dummy
        # server falls behind its rate under load: the blocks are counted
        # against the frames it played.
        clock = rig.clock() if rig else None
        if faults and rig:
            restarts = Restarts(rig, recording, clock, new_keyboard if keyboard else None, keyboard)
        load = subprocess.Popen([sys.executable, "-c", "while True: pass"])
        walk = KeyWalk(MIDI_WALK_KEYS if midi else LEVEL_KEEPING_KEYS, LEVEL_KEEPING_BOUNDS) if rig else KeyWalk()
        watch = PauseWatch()
        keys, blocks, rss_start, rss_end, probes, echoes, midi_sent, midi_probes, flood, reader_late = play(
            s, seconds, walk, bool(rig), keyboard, restarts
        )
        if restarts:
            restarts.finish()
        pauses = watch.stop()
        # The graph's quantum while the program plays.
        quantum = rig.session.graph()[0] if setup.pipewire else None
        if rig:
            # Before the program ends, whose end would sound as silence.
            rig.recorder.send_signal(signal.SIGTERM)
            if rig.recorder.wait(timeout=10) != 0:
                said = rig.recorder.stderr.read() if rig.recorder.stderr else b""
                raise RuntimeError("the recording is incomplete %r" % said)
            recording_ended = time.monotonic()
        # The stream's own rate, at which the device took its frames.
        if restarts:
            rate = None  # from the program's outages, below
        else:
            rate = rig.played_rate(clock, recording) * RATE / rig.rate if rig else RATE
        s.signal(signal.SIGTERM)
        status = s.wait(timeout=20)
        if status != 128 + signal.SIGTERM:
            raise RuntimeError("the program ended with status %d: %r" % (status, s.output))
        figures = read_stats(stats)
        if restarts:
            outages = program_outages(figures)
            rate = stream_rate(rig, restarts.lives, outages, restarts.ended)
            figures["failed_after"] = [failed - life.stopped for life, (failed, _) in zip(restarts.lives, outages)]
        figures.update(keys=keys, blocks=blocks, rss_start=rss_start, rss_end=rss_end, rate=rate,
                       echoes=echoes, midi=midi_sent)
        if restarts:
            figures.update(listen_lives(restarts.lives, probes, rig.rate, midi_probes,
                                        setup.key_to_sound_ms[0] / 1000))
            figures["midi_back"] = [life.midi_back for life in restarts.lives[1:]]
            figures["connections"] = [life.connections for life in restarts.lives[1:]]
            # How much of each life the recorder recorded.
            figures["recorded"] = [(len(life.heard()[0].left) / rig.rate,
                                    (life.stopped or restarts.ended) - life.answered) for life in restarts.lives]
        elif rig:
            figures.update(listen(Recording(recording), probes, rig.rate, midi_probes))
        if rig:
            figures["device_rate"] = rig.rate
        if len(flood) == 2:
            # Its span on the monotonic clock, and its rate on the server's.
            (first, first_us), (last, last_us) = flood
            figures["flood"] = (first_us / 1e6, last_us / 1e6,
                                (midi_sent["controllers"] - 1) / max(1, (last - first) % 2**32) * rig.rate)
        # Placed in time as the silences are, or from the start of the keys.
        origin = figures.pop("first_sound", watch.started)
        figures["pauses"] = [(round(at - origin, 1), late) for at, late in pauses]
        figures["reader_late"] = (reader_late[0], reader_late[1] - origin)
        if restarts:
            figures["restarts"] = [tuple(t if t is None else t - origin for t in r) for r in figures["restarts"]]
        if "flood" in figures:
            first, last, per_s = figures["flood"]
            figures["flood"] = (first - origin, last - origin, per_s)
        # The stream's times are on the same monotonic clock. Its last dry
        # spell is set beside the end of the recording: the graph changes as
        # the recorder leaves it.
        figures["max_wake_late_at"] = figures["max_wake_late_at_s"] - origin
        if rig and figures["last_underrun_s"] >= 0:
            figures["last_underrun_at"] = figures["last_underrun_s"] - origin
            figures["recording_ended_at"] = recording_ended - origin
        figures["watched_realtime"] = watch.realtime
        if quantum:
            figures["quantum"] = quantum
        return figures
    finally:
        if s:
            s.close()
        if keyboard:
            keyboard.close()
        if restarts:
            restarts.close()
        if watch:
            watch.close()
        if load:
            load.kill()
            load.wait()
        if rig:
            rig.stop()
        if xvfb:
            xvfb.kill()
            xvfb.wait()
        shutil.rmtree(home)
