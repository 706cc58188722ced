# SPDX-License-Identifier: MIT
"""The scope window on a real X server (Xvfb) at 24, 16 and 8 bits a pixel,
read back with xwd, and the program without any display."""

import ctypes
import os
import signal
import struct
import subprocess
import tempfile
import time
import unittest

from harness import SessionTest
from rig.audio import read_stats
from rig.program import BLOCK_FRAMES, RATE
from rig.xvfb import start_xvfb

NO_WINDOW_LINE = b"The scope window could not be opened: playing with sound only.\r\n"

BLACK, BLUE, MAGENTA, WHITE = (0, 0, 0), (0, 0, 1), (1, 0, 1), (1, 1, 1)


def sdl_version():
    """The version of the SDL 1.2 library that the program loads."""
    linked_version = ctypes.CDLL("libSDL-1.2.so.0").SDL_Linked_Version
    linked_version.restype = ctypes.POINTER(ctypes.c_uint8 * 3)
    return tuple(linked_version().contents)


# sdl12-compat, SDL 1.2 over SDL 2 (Debian 13 on), calls itself 1.2.50 and up;
# classic SDL 1.2 ended at 1.2.15.
SDL12_COMPAT = sdl_version() >= (1, 2, 50)


def screenshot(display, levels=2):
    """The root window as rows of colours, each channel reduced to `levels`
    levels: 0 or 1 by default."""
    data = subprocess.run(["xwd", "-root", "-silent", "-display", display],
                          check=True, capture_output=True, timeout=30).stdout
    return parse_xwd(data, levels)


def parse_xwd(data, levels):
    # The header and the colour map are written most significant byte first.
    h = struct.unpack(">25I", data[:100])
    header_size, width, height = h[0], h[4], h[5]
    byte_order, bits_per_pixel, bytes_per_line = h[7], h[11], h[12]
    visual_class, masks, ncolors = h[13], h[14:17], h[19]
    colours = {}
    for i in range(ncolors):
        pixel, r, g, b = struct.unpack(">IHHH", data[header_size + 12 * i: header_size + 12 * i + 10])
        colours[pixel] = tuple(c * levels >> 16 for c in (r, g, b))
    image = data[header_size + 12 * ncolors:]
    size = bits_per_pixel // 8
    order = "little" if byte_order == 0 else "big"

    def colour(word):
        if visual_class in (4, 5):  # TrueColor, DirectColor
            return tuple(((word & m) >> (m & -m).bit_length() - 1) * levels // ((m >> (m & -m).bit_length() - 1) + 1)
                         for m in masks)
        return colours[word]

    rows = []
    for y in range(height):
        line = image[y * bytes_per_line: y * bytes_per_line + width * size]
        rows.append([colour(int.from_bytes(line[i:i + size], order)) for i in range(0, len(line), size)])
    return rows


def start_up_picture_faults(rows):
    """What keeps `rows` from being the scope's picture of the start-up patch:
    the modulators on row 119 under blue, the magenta axis on row 120, the
    three-level carrier on rows 70, 170 (around 120) and 416, 450, 483."""
    faults = []
    if len(rows) != 800 or any(len(r) != 640 for r in rows):
        return ["not 640 x 800"]
    if any(c != BLUE for c in rows[119]):
        faults.append("row 119 is not blue across")
    if any(c != MAGENTA for c in rows[120]):
        faults.append("row 120 is not magenta across")
    white_rows = set()
    for y, row in enumerate(rows):
        if y in (119, 120):
            continue
        others = set(row) - {BLACK, WHITE}
        if others:
            faults.append("row %d has colours %s" % (y, sorted(others)))
        if WHITE in row:
            white_rows.add(y)
    if white_rows != {70, 170, 416, 450, 483}:
        faults.append("white on rows %s" % sorted(white_rows))
    return faults


class ScopeWindow(SessionTest):
    def start_with_window(self, depth, env=None):
        xvfb, display = start_xvfb(depth)
        self.addCleanup(lambda: (xvfb.kill(), xvfb.wait()))
        return self.start_nosound(dict(env or {}, DISPLAY=display)), display

    def wait_for_start_up_picture(self, display):
        end = time.monotonic() + 10
        while True:
            time.sleep(1)
            faults = start_up_picture_faults(screenshot(display))
            if not faults or time.monotonic() > end:
                return faults

    def test_start_up_picture_is_the_same_at_every_depth(self):
        # sdl12-compat: SDL 2 has no way to draw on an 8-bit display (see below).
        for depth in (24, 16) if SDL12_COMPAT else (24, 16, 8):
            with self.subTest(depth=depth):
                s, display = self.start_with_window(depth)
                self.assertEqual(self.wait_for_start_up_picture(display), [])
                self.assertNotIn(NO_WINDOW_LINE, s.output)

    def test_ctrl_c_and_sigterm_still_end_the_program_with_the_window_open(self):
        # Ended from outside, the stream stops before the window closes: no
        # crash on the way out, and the console comes back as it was.
        for end in ("Ctrl-C", "SIGTERM"):
            with self.subTest(end=end):
                s, display = self.start_with_window(24)
                self.assertEqual(self.wait_for_start_up_picture(display), [])
                if end == "Ctrl-C":
                    s.send("\x03")
                else:
                    s.signal(signal.SIGTERM)
                status = s.wait()
                self.assertNotIn(status, (-signal.SIGSEGV, -signal.SIGABRT, -signal.SIGBUS))
                self.assertTrue(s.terminal_restored())

    @unittest.skipUnless(SDL12_COMPAT, "classic SDL 1.2 draws at 8 bits through a palette")
    def test_at_8_bits_sdl12_compat_opens_no_window_and_the_sound_and_keys_go_on(self):
        # SDL 2 refuses palette visuals, finds no GLX there, and knows no pixel
        # format for Xvfb's 8-bit TrueColor visual: SDL_SetVideoMode fails.
        for end, sig in (("Ctrl-C", signal.SIGINT), ("SIGTERM", signal.SIGTERM)):
            with self.subTest(end=end), tempfile.TemporaryDirectory() as tmp:
                stats = os.path.join(tmp, "stats")
                s, _ = self.start_with_window(8, {"SCOPESYNTH_AUDIO_STATS": stats})
                self.assertEqual(s.output.count(NO_WINDOW_LINE), 1)
                s.send("a")
                s.expect("Note [59]")
                time.sleep(1)
                if end == "Ctrl-C":
                    s.send("\x03")
                else:
                    s.signal(sig)
                self.assertEqual(s.wait(), 128 + sig)
                self.assertTrue(s.terminal_restored())
                # The stream kept its pace: every block of the run was computed.
                figures = read_stats(stats)
                self.assertGreaterEqual(figures["callbacks"],
                                        int(figures["elapsed_s"] * RATE / BLOCK_FRAMES))


class NoDisplay(SessionTest):
    def test_one_line_says_so_and_the_program_plays_on(self):
        s = self.start_nosound({"DISPLAY": ""})
        self.assertEqual(s.output.count(NO_WINDOW_LINE), 1)
        s.send("a")
        s.expect("Note [59]")


if __name__ == "__main__":
    unittest.main()
