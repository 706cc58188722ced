# SPDX-License-Identifier: MIT
"""Drives the real scopesynth binary through a pseudo-terminal, as a user would."""

import os
import pty
import select
import subprocess
import termios
import time

BINARY = os.environ.get("SCOPESYNTH_BINARY", "")


class Session:
    """One run of the program on a fresh pseudo-terminal.

    The test keeps the terminal's slave side open, so that after the program
    has gone the terminal's flags can still be read and compared."""

    def __init__(self, env=None, args=None, stdout=None):
        self.master, self.slave = pty.openpty()
        self.initial_attrs = termios.tcgetattr(self.slave)
        full_env = dict(os.environ)
        full_env.setdefault("TERM", "xterm")
        full_env.update(env or {})
        self.proc = subprocess.Popen(
            args or [BINARY],
            stdin=self.slave,
            stdout=stdout or self.slave,
            stderr=self.slave,
            env=full_env,
            start_new_session=True,
            preexec_fn=self._take_terminal,
        )
        self.output = b""

    def _take_terminal(self):
        import fcntl

        fcntl.ioctl(0, termios.TIOCSCTTY, 0)

    def read_available(self, timeout=0.0, first=False):
        """Reads what the program prints for `timeout` seconds, or with
        `first` only until something has come."""
        end = time.monotonic() + timeout
        while True:
            left = max(0.0, end - time.monotonic())
            ready, _, _ = select.select([self.master], [], [], left)
            if not ready:
                return
            try:
                chunk = os.read(self.master, 65536)
            except OSError:
                return
            if not chunk:
                return
            self.output += chunk
            if first:
                return

    def expect(self, text, timeout=10.0):
        """Waits until the output holds `text`; returns the output up to its end."""
        if isinstance(text, str):
            text = text.encode()
        end = time.monotonic() + timeout
        while text not in self.output:
            if time.monotonic() > end:
                raise AssertionError(
                    "timed out waiting for %r; output so far: %r" % (text, self.output[-2000:])
                )
            self.read_available(0.1)
        return self.output[: self.output.index(text) + len(text)]

    def send(self, data):
        if isinstance(data, str):
            data = data.encode()
        os.write(self.master, data)

    def wait(self, timeout=10.0):
        """Waits for the program to end, reading what it prints; returns its status."""
        end = time.monotonic() + timeout
        while self.proc.poll() is None:
            if time.monotonic() > end:
                self.kill()
                raise AssertionError("program did not end; output: %r" % self.output[-2000:])
            self.read_available(0.05)
        self.read_available(0.1)
        return self.proc.returncode

    def signal(self, sig):
        os.kill(self.proc.pid, sig)

    def kill(self):
        if self.proc.poll() is None:
            self.proc.kill()
            self.proc.wait()

    def terminal_restored(self):
        return termios.tcgetattr(self.slave) == self.initial_attrs

    def close(self):
        self.kill()
        os.close(self.master)
        os.close(self.slave)
