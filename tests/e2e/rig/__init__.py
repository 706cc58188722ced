# SPDX-License-Identifier: MIT
"""What the end-to-end tests and the soak (bench/soak) both run the real
program on: a pseudo-terminal session (`session`), the program's own
constants (`program`), a JACK server and ALSA devices of their own
(`audio`), a headless PipeWire desktop (`pipewire`), the reader of what
`jack_probe` records (`recording`) and an X server (`xvfb`).

It is a package in tests/e2e because that is where the tests run: CTest
starts them there (`python3 -m unittest test_x`), so `import rig` needs no
path of its own, under Linux and under wine alike. The soak's launcher
(bench/soak) is the one other place that sets a path, once, to tests/e2e
and to bench; nothing in here edits `sys.path`."""
