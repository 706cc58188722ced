# SPDX-License-Identifier: MIT
"""Soak run: the real program plays for a long time while keys arrive at
about 20 a second and a busy process loads the other core (the control loop
keeps one core busy by itself), with the NoSound output, with an ALSA device
and with the JACK output, the last two paced by a JACK server with the dummy
backend at 44100 or 48000 Hz, or on a headless PipeWire desktop (ALSA's
default and pipewire-jack). Through a device, what the
server plays is recorded, and amplitude keys sent now and then are timed from
the console to the sound; with `--midi`, note-ons that a JACK MIDI keyboard
sends now and then are timed from the server's frame that carried them to the
first frame at their pitch, and a controller is swept at 1000 messages a
second for 10 s. Then the
stream is held against its targets; the exit status is 1 when one is missed.
With `--timing report` the targets of time (the callbacks against real time,
underruns, silence, key to sound) are only reported, as in the test suite's
short run: a busy machine that others share can miss them by chance, and
they are a soak's to prove, not a test's.

With `--faults` the sound server is restarted every minute (a JACK server
stopped with SIGTERM and started again a second later, or PipeWire,
WirePlumber and PipeWire's PulseAudio server), while the program plays on
its clock and opens its output again by itself: each outage must end, the
sound come back within 2 s of the server answering, and the targets hold
outside the outages; the probes sent in one are not timed.

    bench/soak [--minutes 10] [--setup SET-UP,...|all|48k|pipewire] [--window]
               [--midi] [--faults] [--timing hold|report] [--binary build/scopesynth]
               [--probe build/tests/jack_probe] [--keyboard build/tests/jack_keyboard]

The package, by part: `setups` (the set-ups and their targets), `rigs` (the
JACK server or PipeWire desktop that paces and records a set-up), `watchers`
(the processors' pauses, resident memory), `keys` (the walk and the
amplitude probes), `midi` (the keyboard, its probes and the controller
flood), `playing` (sending them on time and counting the status blocks),
`faults` (the server's restarts, and the outages they make),
`listening` (when each probe is heard in the recording), `run` (one
set-up's run), `judging` (one function per target) and `main` (the
options). What it shares with the end-to-end tests, and the program's own
constants, come from tests/e2e's `rig` package; bench/soak puts both on the
path.
"""
