# SPDX-License-Identifier: MIT
"""An X server without a screen, for the window of a run of the program."""

import os
import subprocess


def start_xvfb(depth, size="640x800"):
    """Starts Xvfb on a display number it picks itself; returns (process, display).
    -noreset: otherwise the server drops the next connection after a client
    leaves, and a start of the window fails now and then."""
    read_end, write_end = os.pipe()
    proc = subprocess.Popen(
        ["Xvfb", "-displayfd", str(write_end), "-noreset", "-nolisten", "tcp",
         "-screen", "0", "%sx%d" % (size, depth)],
        pass_fds=[write_end], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    os.close(write_end)
    with os.fdopen(read_end) as f:
        number = f.readline().strip()
    if not number:
        proc.kill()
        proc.wait()
        raise AssertionError("Xvfb did not start at depth %d" % depth)
    return proc, ":" + number
