# SPDX-License-Identifier: MIT
"""MIDI input: a keyboard on the JACK server (tests/tools/jack_keyboard, a
physical MIDI output as a sound card's) that the program connects to by
itself, played while the sound is recorded."""

import os
import queue
import re
import subprocess
import threading
import time
import unittest

from rig.program import HELP_END
from rig.recording import Recording
from test_audio_capture import (
    CaptureRig,
    carrier_frame,
    carrier_pitches,
    note_to_hz,
    read_frames,
)

# A status block's first two lines: the note and the carrier's amplitude.
BLOCK = re.compile(rb"Note \[(-?\d+)\] -> \[[^\]]*\]\r\nFreq \[[^\]]*\] Ampl \[([^\]]*)\]")
LAST_LINE = b"APhase [1.000]  \r\n"
# Note-ons (velocity above 0, any channel) with the note each plays, MIDI's
# less 11, and note-offs and note-ons of velocity 0, which play nothing.
NOTES = [
    ("90 48 64", 61),  # MIDI 72, what "w" plays
    ("80 48 40", None),
    ("91 3c 7f", 49),
    ("90 3c 00", None),
    ("9f 51 01", 70),  # 880 Hz
    ("80 51 00", None),
    ("90 45 64", 58),  # 440 Hz, where the start patch began
]
# How far before the first frame that leaves the model a new note may have
# started: the square's edges show it within a few periods.
SEARCH_FRAMES = 2000


class Keyboard:
    """tests/tools/jack_keyboard (named by SCOPESYNTH_JACK_KEYBOARD), as the
    JACK client `name`, under `wrapper` (as pw-jack)."""

    def __init__(self, env, name="keyboard", wrapper=()):
        self.proc = subprocess.Popen(
            [*wrapper, os.environ["SCOPESYNTH_JACK_KEYBOARD"], name],
            stdin=subprocess.PIPE,
            stdout=subprocess.PIPE,
            env=env,
        )
        self.replies = queue.Queue()
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()
        if self.reply() != "ready":
            raise AssertionError("the keyboard did not start")

    def _read(self):
        for line in self.proc.stdout:
            self.replies.put(line.decode().strip())

    def reply(self, timeout=10):
        try:
            return self.replies.get(timeout=timeout)
        except queue.Empty:
            raise AssertionError("no answer from the keyboard") from None

    def write(self, text):
        self.proc.stdin.write(text.encode())
        self.proc.stdin.flush()

    def send(self, line):
        """Sends a line of hex bytes; returns once it has gone out."""
        self.write(line + "\n")
        self.sent()

    def sent(self):
        reply = self.reply()
        if not reply.startswith("sent "):
            raise AssertionError("not a report of a line sent: %r" % reply)

    def wait_connected(self, timeout=5):
        """Waits until the program has connected its input to the keyboard."""
        end = time.monotonic() + timeout
        while True:
            self.write("connections\n")
            if self.reply() == "connections 1":
                return
            if time.monotonic() > end:
                raise AssertionError("the program did not connect to the keyboard")
            time.sleep(0.1)

    def close(self):
        """Ends the input, which sends what is left of it, and waits for the end."""
        self.proc.stdin.close()
        status = self.proc.wait(timeout=10)
        self.kill()
        if status:
            raise AssertionError("the keyboard failed")

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()
        self.reader.join(timeout=10)
        self.proc.stdout.close()
        self.proc.stdin.close()


def status_blocks(output):
    """The note and carrier amplitude of every status block in `output`."""
    return [(int(note), ampl.decode()) for note, ampl in BLOCK.findall(output)]


def wait_blocks(s, count, timeout=10):
    """Reads the program's output until it holds `count` status blocks."""
    end = time.monotonic() + timeout
    while s.output.count(b"Note [") < count:
        if time.monotonic() > end:
            raise AssertionError("%d status blocks of %d" % (s.output.count(b"Note ["), count))
        s.read_available(0.05)


def place_notes(stream, frequencies):
    """The frames from which the start patch's carrier plays each of
    `frequencies` in turn, found so that its model matches `stream` bit for
    bit to the end: the first frame that leaves the model, and the change a
    little before it that makes the model match longest. Fails where no such
    frames explain the stream: a frame lost, repeated or silent, a note
    missing, wrong or played twice."""
    changes, start, position, hz = {}, 0, 0.0, 440.0

    def left_model(frame):
        return AssertionError(
            "frame %d of %d leaves the model, with the notes starting at %s: recorded %r"
            % (frame, len(stream), changes, stream[frame - 5 : frame + 5])
        )

    for new_hz in frequencies + [None]:
        # The model at the current frequency up to the first frame that
        # differs, with its position before each frame.
        positions, frame = [], start
        while frame < len(stream):
            positions.append(position)
            position, sample = carrier_frame(position, hz, 1.0)
            if sample != stream[frame]:
                break
            frame += 1
        if new_hz is None:
            if frame < len(stream):
                raise left_model(frame)
            return changes
        if frame == len(stream):
            raise AssertionError("%.3f Hz not heard after %s" % (new_hz, changes))
        reach, change = frame, None
        for candidate in range(frame, max(start, frame - SEARCH_FRAMES), -1):
            p, f = positions[candidate - start], candidate
            while f < len(stream):
                p, sample = carrier_frame(p, new_hz, 1.0)
                if sample != stream[f]:
                    break
                f += 1
            if f > reach:
                reach, change = f, candidate
        if change is None:
            raise left_model(frame)
        changes[change] = new_hz
        start, position, hz = change, positions[change - start], new_hz


def assert_moves_to_880_hz(test, heard, rate):
    """Holds that the carrier recorded in `heard` (samples at `rate`, from
    its first sound) starts at 440 Hz and ends at 880 Hz: the first quarter
    before the note, the last after it. Medians, since a server at normal
    priority may skip a cycle now and then."""
    for part, hz in ((heard[: len(heard) // 4], 440.0), (heard[-len(heard) // 4 :], 880.0)):
        pitches = sorted(carrier_pitches(part, rate))
        test.assertGreater(len(pitches), 4)
        test.assertAlmostEqual(pitches[len(pitches) // 2], hz, delta=1.0, msg=pitches)


class MidiInput(CaptureRig):
    server_name = "scopesynth_midi"
    # Every note-on must reach the program: a server at normal priority on a
    # busy machine (a sanitizer's build beside other tests) skips a late
    # client's cycle, and the MIDI of that cycle with it, unless it waits.
    server_sync = True

    def keyboard(self, name="keyboard"):
        kb = Keyboard(self.server.env, name)
        self.addCleanup(kb.kill)
        return kb

    def play_notes(self, s, kb):
        """Plays NOTES a third of a second apart, each note-on's status block
        come, then holds the last."""
        played = 0
        for line, note in NOTES:
            self.wait_reading(s, 0.3)
            kb.send(line)
            played += note is not None
            wait_blocks(s, played)
        self.wait_reading(s, 0.5)

    def assert_blocks_of_notes(self, s):
        """One status block a note-on, none for the others."""
        played = [note for _, note in NOTES if note is not None]
        self.assertEqual([note for note, _ in status_blocks(s.output)], played)

    def assert_stream_plays_notes(self, left):
        # The stream starts with 8 zero frames; the device may put silence before it.
        first = next(i for i, v in enumerate(left) if v != 0)
        self.assertGreaterEqual(first, 8)
        stream = list(left[first - 8 :])
        played = [note_to_hz(note) for _, note in NOTES if note is not None]
        place_notes(stream, played)

    def start_with_keyboard(self, output_key, output_name, driver):
        """The program with the output and driver chosen, once it has
        connected the keyboard (there before it) by itself."""
        kb = self.keyboard()
        s = self.start_with_driver(output_key, output_name, driver)
        s.expect(HELP_END, timeout=20)
        kb.wait_connected()
        return s, kb

    def test_notes_play_to_the_bit_through_alsa(self):
        self.start_server(44100)
        s, kb = self.start_with_keyboard("1", "Alsa", "scopesynth_capture")
        self.play_notes(s, kb)
        self.play_for(s, 0, LAST_LINE)
        kb.close()
        self.assert_blocks_of_notes(s)
        left, right = read_frames(self.capture)
        self.assertEqual(left, right)
        self.assert_stream_plays_notes(left)

    def test_notes_play_to_the_bit_through_jack(self):
        self.start_server(44100)
        recording = os.path.join(self.home, "recording")
        recorder = self.start_recorder(recording)
        # Played into the recorder itself, which would join `system` only
        # after the stream's first period had gone there.
        s, kb = self.start_with_keyboard("3", "ASIO", "jack_probe")
        self.play_notes(s, kb)
        self.stop_recorder(recorder)
        self.play_for(s, 0, LAST_LINE)
        kb.close()
        self.assert_blocks_of_notes(s)
        # The float frames on a server at the stream's rate convert back exactly.
        self.assert_stream_plays_notes(Recording(recording).left)

    def test_a_note_moves_the_pitch_at_the_servers_rate(self):
        self.start_server(48000)
        recording = os.path.join(self.home, "recording")
        recorder = self.start_recorder(recording)
        s, kb = self.start_with_keyboard("3", "ASIO", "system")
        self.wait_reading(s, 1.5)
        kb.send("90 51 64")
        self.wait_reading(s, 1.5)
        self.stop_recorder(recorder)
        self.play_for(s, 0, LAST_LINE)
        kb.close()
        self.assertEqual(status_blocks(s.output), [(70, "1.000")])

        left = Recording(recording).left
        assert_moves_to_880_hz(self, left[next(i for i, v in enumerate(left) if v) :], 48000)

    def test_bad_input_is_ignored_and_messages_around_it_are_taken(self):
        self.start_server(44100)
        kb = self.keyboard()
        s = self.start_with_driver("3", "ASIO", "system")
        s.expect(HELP_END, timeout=20)
        kb.wait_connected()
        expected = []

        def send(line, *notes):
            kb.send(line)
            expected.extend((note, "1.000") for note in notes)
            wait_blocks(s, len(expected))

        send("90 f8 3c fe 64", 49)  # real-time bytes inside a message
        send("90 3c 64 3e 64", 49, 51)  # running status
        send("f4 f5 41 42")  # no MIDI, and no running status after it
        send("90 40 64", 53)
        # Data bytes that the running status above would make note-ons of,
        # over several events and cycles.
        send("f0 " + " ".join("%02x" % (i * 7 % 128) for i in range(65534)) + " f7")
        send("90 43")  # a note-on in two events
        send("64", 56)
        # The carrier's amplitude swept, 1000 controllers a second for 2 s,
        # back to 1.
        values = [abs(i % 254 - 127) for i in range(2000)] + [127]
        start = time.monotonic()
        for i, value in enumerate(values):
            kb.write("b0 07 %02x\n" % value)
            if i % 20 == 0:
                s.read_available()
            time.sleep(max(0.0, start + i / 1000 - time.monotonic()))
        for _ in values:
            kb.sent()
        expected.extend((56, "%.3f" % (value / 127)) for value in values)
        wait_blocks(s, len(expected), timeout=30)
        # A second keyboard, connected once it appears, goes mid-message.
        gone = self.keyboard("keyboard_2")
        gone.wait_connected()
        gone.write("90 40")
        gone.close()
        send("90 45 64", 58)
        s.send("w")
        expected.append((61, "1.000"))
        wait_blocks(s, len(expected))
        self.wait_reading(s, 0.5)
        self.assertEqual(status_blocks(s.output), expected)
        self.play_for(s, 0, LAST_LINE)
        kb.close()


if __name__ == "__main__":
    unittest.main()
