# SPDX-License-Identifier: MIT
"""The Windows program under wine, played from a pseudo-terminal as from a
console: the dialog, the keys, the sound of each output type and the window,
and the sound back by itself after the server restarts.

wine's console draws the program's output on the terminal wrapped in cursor
controls, so the program's standard output goes to a file of its own, and
the terminal only carries the keys. The sound goes through wine's ALSA
driver to ALSA's default device, which a private ~/.asoundrc makes a `file`
device in front of a JACK server: every frame that the driver writes is
recorded, at real time, and our own JACK client records what the server
plays of them.
The release's zip is checked too, and its program started from it."""

import array
import glob
import os
import re
import select
import shutil
import signal
import subprocess
import tempfile
import time
import unittest
import zipfile

from harness import BINARY, Session, SessionTest
from rig.audio import JackServer, read_stats
from rig.program import DRIVERS, HELP, MENU, RATE
from rig.xvfb import start_xvfb
from rig.recording import Recording
from test_audio_capture import CaptureRig, read_frames, start_patch_samples
from test_console import MODULATOR
from test_scope_window import parse_xwd, start_up_picture_faults

WINE_RUN = os.path.join(os.path.dirname(__file__), "..", "..", "scripts", "wine-run")
SERVER = "scopesynth_windows"
RELEASE = os.environ.get("SCOPESYNTH_WINDOWS_RELEASE", "")
VERSION = os.environ.get("SCOPESYNTH_VERSION", "")
ASOUNDRC = """
pcm.!default {
    type file
    slave.pcm { type plug slave.pcm { type jack playback_ports { 0 system:playback_1 1 system:playback_2 } } }
    file "%s/captured-%%r-%%f.raw"
    format "raw"
}
"""


class WineSession(Session):
    """scopesynth.exe under wine, with HOME at `home` and its standard output
    in `home`/stdout, which `output` follows, with Windows' line ends. Each
    session has a wine server of its own: one kept from an earlier session
    would keep that session's display."""

    def __init__(self, home, env=None, binary=BINARY):
        self.path = os.path.join(home, "stdout")
        with open(self.path, "wb") as out:
            super().__init__(dict(env or {}, HOME=home), [WINE_RUN, binary], stdout=out)

    def close(self):
        super().close()
        subprocess.run([WINE_RUN, "wineserver", "-k"], timeout=30)

    def read_available(self, timeout=0.0):
        end = time.monotonic() + timeout
        while select.select([self.master], [], [], max(0.0, end - time.monotonic()))[0]:
            try:
                if not os.read(self.master, 65536):
                    break
            except OSError:
                break
        with open(self.path, "rb") as f:
            self.output = f.read()


def windows_text(text):
    return text.replace("\n", "\r\n").encode()


class WindowsProgram(SessionTest):
    def setUp(self):
        super().setUp()
        self.home = tempfile.mkdtemp(prefix="scopesynth_windows_")
        self.addCleanup(shutil.rmtree, self.home)

    def start_wine(self, env=None, binary=BINARY):
        s = WineSession(self.home, env, binary)
        self.sessions.append(s)
        # The first start makes the wine prefix.
        s.expect(windows_text(MENU), timeout=120)
        return s

    def start_nosound(self, env=None):
        s = self.start_wine(env)
        s.send("4")
        s.expect(windows_text(DRIVERS))
        s.send("1")
        s.expect(windows_text(HELP), timeout=20)
        return s

    def test_the_dialog_reads_exactly_and_esc_ends_it_at_either_prompt(self):
        for keys, shown in (("", MENU), ("4", MENU + DRIVERS)):
            with self.subTest(keys=keys):
                s = self.start_wine()
                s.send("5a")  # unusable keys: ignored without a word
                s.send(keys)
                s.expect(windows_text(shown))
                s.send("\x1b")
                self.assertEqual(s.wait(30), 0)
                self.assertEqual(s.output, windows_text(shown))

    def test_every_key_gives_a_status_block_and_f1_is_two_keys(self):
        s = self.start_nosound()
        s.send("a")
        s.expect("Note [59] -> [")
        s.send("\x1bOP")  # F1: 0 and then 0x3B, which is ";", note 72
        s.expect("Note [72] -> [")
        s.read_available(1.0)
        self.assertEqual(s.output.count(b"Note ["), 3)
        self.assertIn(windows_text(MODULATOR), s.output)
        s.send("\x03")
        self.assertEqual(s.wait(30), 128 + signal.SIGINT)

    # Our own JACK client's recording of what the server plays.
    start_recorder = CaptureRig.start_recorder
    stop_recorder = CaptureRig.stop_recorder

    def start_server(self):
        # The server takes the frames 10 ms (441 frames) at a time, as a
        # Windows mixer does, and wine's driver writes them every 10 ms.
        # With --sync it waits for a late client rather than play silence
        # for it: what it plays lacks only what the device was not given.
        self.server = JackServer(RATE, SERVER, period=441, sync=True)
        self.addCleanup(self.server.stop)

    def start_playing(self, output_key, driver, env=None):
        """Starts the program on driver number `driver` of output type
        `output_key`, through wine's ALSA driver to the server; returns the
        session once the help shows."""
        with open(os.path.join(self.home, ".asoundrc"), "w") as f:
            f.write(ASOUNDRC % self.home)
        s = self.start_wine(dict(env or {}, JACK_DEFAULT_SERVER=SERVER, JACK_NO_START_SERVER="1"))
        s.send(output_key)
        s.expect(" Driver list\r\n")
        s.send(driver)
        s.expect(windows_text(HELP), timeout=30)
        return s

    def play_until_recorded(self, s, seconds, keys=""):
        """Plays until wine's driver has written `seconds` of the stream to
        the device, pressing `keys` in turn meanwhile. Under load the driver
        may start the device a second or more after the help text: this
        waits for the frames, not for the clock."""
        end, presses = time.monotonic() + 30, 0
        while recorded_seconds(self.home) < seconds and time.monotonic() < end:
            if keys:
                s.send(keys[presses % len(keys)])
                presses += 1
            s.read_available(0.1)

    def record(self, output_key, driver, heard=None):
        """Plays the start patch on driver number `driver` of output type
        `output_key` until wine's driver has written two seconds of it to
        the device, every frame of which is recorded; returns the
        recording's file, named after the rate and the format that the
        driver opened the device with. With `heard`, what the server played
        meanwhile is recorded there, and keys that leave the sound as it is
        are pressed (the amplitude modulator's depth, while its frequency is
        0), each answered with a status block as the sound plays."""
        self.start_server()
        recorder = heard and self.start_recorder(heard)
        s = self.start_playing(output_key, driver)
        self.play_until_recorded(s, 2.0, "rf" if heard else "")
        if recorder:
            self.stop_recorder(recorder)
        s.send("\x03")
        self.assertEqual(s.wait(30), 128 + signal.SIGINT)
        capture = largest_capture(self.home)
        return capture_format(capture), capture

    def assert_the_stream_to_the_bit(self, left, right):
        """Every frame of the stream, in order and to the bit, from its 8
        silent frames on to the last sound recorded: silence that the driver
        wrote for a device the stream left short fails."""
        self.assertEqual(left, right)
        sound = [i for i, v in enumerate(left) if v]
        stream = left[max(0, sound[0] - 8) : sound[-1] + 1]
        self.assertGreater(len(stream), RATE)
        self.assert_no_gap(stream, start_patch_samples(len(stream), {}))

    def assert_heard_without_a_gap(self, left, within_s=2.0):
        """What the server played (its left samples), from 50 ms after the
        first sound: frames of the stream in order from a place in its first
        `within_s` seconds, none left out and no silence between them, where
        the device ran dry. The first 50 ms are left out: ALSA's jack
        plugin, started by wine's driver, drops a few of their frames now
        and then, which the driver's own recording holds."""
        played = list(left[next(i for i, v in enumerate(left) if v) + RATE // 20 :])
        self.assertGreater(len(played), RATE)
        within = int(within_s * RATE)
        model = start_patch_samples(len(played) + within, {})
        # The carrier's square comes back to the same frames now and then:
        # the first period played matches the stream at many places, and
        # the one that goes on agreeing the longest is held.
        places = [at for at in range(within) if model[at : at + 441] == played[:441]]
        self.assertTrue(places, "a gap in the first period")

        def agreeing(at):
            for n in range(0, len(played), 441):
                period = played[n : n + 441]
                if period != model[at + n : at + n + len(period)]:
                    return n
            return len(played)

        self.assert_no_gap(played, model[max(places, key=agreeing) :])

    def assert_no_gap(self, played, model):
        """`played` is `model` from its start, or fails where it parts from
        it, with the run of silence there."""
        i = next((i for i, (a, b) in enumerate(zip(played, model)) if a != b), None)
        if i is not None:
            start, end = i, i
            while start and not played[start - 1]:
                start -= 1
            while end < len(played) and not played[end]:
                end += 1
            silence = ": silent frames %d to %d" % (start, end - 1) if end > start else ""
            self.fail("frame %d is %d, not %d%s" % (i, played[i], model[i], silence))

    def test_waveout_and_wasapi_play_the_stream_to_the_bit(self):
        for output_key, name in (("2", "Windows Multimedia Waveout"), ("3", "ASIO")):
            with self.subTest(output=name):
                heard = os.path.join(self.home, "heard")
                # Driver 1: wine's sound mapper, and for WASAPI its one device.
                device_format, capture = self.record(output_key, "1", heard)
                self.assertEqual(device_format, "44100-S16_LE")
                self.assert_the_stream_to_the_bit(*read_frames(capture))
                self.assert_heard_without_a_gap(Recording(heard).left)
                for path in glob.glob(os.path.join(self.home, "captured-*.raw")) + [heard]:
                    os.remove(path)

    def test_wasapi_comes_back_by_itself_after_the_server_restarts(self):
        # The program writes its figures there as it ends, named by its Windows path.
        stats = os.path.join(self.home, "stats")
        self.start_server()
        started = time.monotonic()
        s = self.start_playing("3", "1", {"SCOPESYNTH_AUDIO_STATS": "Z:" + stats.replace("/", "\\")})
        self.play_until_recorded(s, 1.0)
        self.server.stop()
        self.assert_key_answered(s)
        self.start_server()
        answered = time.monotonic()
        heard = os.path.join(self.home, "heard")
        recorder = self.start_recorder(heard)
        for _ in range(6):
            self.assert_key_answered(s)
            s.read_available(0.5)
        self.stop_recorder(recorder)
        s.send("\x03")
        self.assertEqual(s.wait(30), 128 + signal.SIGINT)
        recording = Recording(heard)
        self.assert_sound_back(recording, answered)
        # The stream played on its clock meanwhile: it resumed somewhere in
        # the seconds since the program started.
        self.assert_heard_without_a_gap(recording.left, time.monotonic() - started)
        figures = read_stats(stats)
        self.assertEqual(figures["outages"], 1)
        self.assertGreater(figures["outage_1_s"], 0)

    def test_direct_sound_is_heard(self):
        # wine mixes DirectSound in floats at 48 kHz: not bit for bit, but
        # the carrier at its level of 10000 for most of the two seconds.
        device_format, capture = self.record("1", "1")
        self.assertEqual(device_format, "48000-FLOAT_LE")
        with open(capture, "rb") as f:
            left = array.array("f", f.read())[::2]
        loud = sum(1 for v in left if 0.29 < abs(v) < 0.32)
        self.assertGreater(loud, 48000 // 2)

    def test_the_window_shows_the_start_up_picture_to_the_pixel(self):
        # Room for wine's window and its frame.
        xvfb, display = start_xvfb(24, "1024x1024")
        self.addCleanup(lambda: (xvfb.kill(), xvfb.wait()))
        self.start_nosound({"DISPLAY": display})
        faults = ["no window"]
        end = time.monotonic() + 30
        while faults and time.monotonic() < end:
            time.sleep(1)
            window = scope_window(display)
            if window:
                faults = start_up_picture_faults(window_picture(display, window))
        self.assertEqual(faults, [])

    def test_the_release_zip_holds_its_files_and_notices_and_its_program_starts(self):
        folder = "scopesynth-%s/" % VERSION
        notices = ["notices/" + n for n in (
            "LGPL-2.1.txt", "PortAudio.txt", "RtMidi.txt", "SDL-1.2-source.txt", "SDL-1.2.txt",
            "mingw-w64.txt")]
        with zipfile.ZipFile(RELEASE) as z:
            names = z.namelist()
            readme = z.read(folder + "README.txt")
            notice_texts = {n: z.read(folder + n) for n in notices if folder + n in names}
            z.extractall(self.home)
        self.assertEqual(
            sorted(n for n in names if not n.endswith("/")),
            sorted(folder + n for n in ["LICENSE", "README.txt", "THIRD_PARTY.md",
                                        "scopesynth.exe"] + notices))
        self.assertEqual([n for n in names if not n.startswith(folder)], [])
        self.assertEqual([n for n, text in notice_texts.items() if not text.strip()], [])
        lgpl = notice_texts["notices/LGPL-2.1.txt"]
        self.assertIn(b"GNU LESSER GENERAL PUBLIC LICENSE", lgpl)
        self.assertIn(b"Version 2.1", lgpl)
        # Notepad's line ends, every one, and the version filled in.
        self.assertNotIn(b"\n", readme.replace(b"\r\n", b""))
        self.assertIn(b"Version %s.\r\n" % VERSION.encode(), readme)

        exe = os.path.join(self.home, folder, "scopesynth.exe")
        resource = version_resource(exe)
        numbers = ", ".join((VERSION.split(".") + ["0"] * 4)[:4])
        for line in ("FILEVERSION " + numbers, "PRODUCTVERSION " + numbers,
                     'VALUE "FileVersion", "%s"' % VERSION,
                     'VALUE "ProductVersion", "%s"' % VERSION,
                     # Read as UTF-8 by windres, or the dash is three letters.
                     'VALUE "FileDescription", L"scopesynth \\x2014 real-time'):
            self.assertIn(line, resource)

        s = self.start_wine(binary=exe)
        s.send("\x1b")
        self.assertEqual(s.wait(30), 0)


def version_resource(path):
    """The version resource of the Windows program at `path`, written back
    as a resource script by windres."""
    return subprocess.run(["x86_64-w64-mingw32-windres", "-J", "coff", "-i", path, "-O", "rc"],
                          check=True, capture_output=True, text=True, timeout=30).stdout


def largest_capture(home):
    """The recording of the stream: wine's driver also opens the device for
    a moment while it lists it, which leaves a short file of its own."""
    captures = glob.glob(os.path.join(home, "captured-*.raw"))
    return max(captures, key=os.path.getsize) if captures else None


def capture_format(capture):
    """RATE-FORMAT, from a recording's name (captured-RATE-FORMAT.raw)."""
    return os.path.basename(capture)[len("captured-"):-len(".raw")]


def recorded_seconds(home):
    """How much the largest recording holds, in seconds, read from the rate
    and the format in its name (captured-RATE-FORMAT.raw)."""
    capture = largest_capture(home)
    if not capture:
        return 0.0
    rate, sample = capture_format(capture).split("-")
    frame_bytes = {"S16_LE": 4, "FLOAT_LE": 8}.get(sample, 4)  # stereo
    return os.path.getsize(capture) / frame_bytes / int(rate)


def scope_window(display):
    """The id of the 640 x 800 window that wine opened, or None."""
    tree = subprocess.run(["xwininfo", "-root", "-tree", "-display", display],
                          capture_output=True, text=True, timeout=30).stdout
    found = re.search(r"^\s+(0x[0-9a-f]+) .*\s640x800\+", tree, re.M)
    return found.group(1) if found else None


def window_picture(display, window):
    data = subprocess.run(["xwd", "-id", window, "-silent", "-display", display],
                          check=True, capture_output=True, timeout=30).stdout
    return parse_xwd(data, 2)


if __name__ == "__main__":
    unittest.main()
