# SPDX-License-Identifier: MIT
"""The set-ups that a soak plays in, the groups of them that `--setup` names,
and each one's targets of time."""

from rig.pipewire import SINK_CLIENT
from rig.program import RATE

# Key to sound, worst and its stretch, in ms: on the test suite's rig, and
# where players are, on a 48 kHz server and PipeWire's desktop.
KEY_TO_SOUND_MS, KEY_TO_SOUND_STRETCH_MS = 50, 25
PLAYERS_KEY_TO_SOUND_MS = (25, 15)
# MIDI to sound, worst, in ms: on the test suite's rig, and where players are.
MIDI_TO_SOUND_MS, PLAYERS_MIDI_TO_SOUND_MS = 50, 20


class SetUp:
    """What a set-up plays into: the output key, the output's name in the
    dialog and the driver's name, and the rig: a JACK server with the dummy
    backend at `rate` Hz, or with `pipewire` a headless PipeWire desktop at
    its stock 48 kHz; `wrapper` runs the program (pw-jack). Where a JACK
    server answers the program, `midi_to_sound_ms` is the target of MIDI to
    sound; elsewhere it is None and there is no MIDI to play."""

    def __init__(self, key, output, driver, rate=None, pipewire=False, wrapper=(),
                 key_to_sound_ms=(KEY_TO_SOUND_MS, KEY_TO_SOUND_STRETCH_MS), midi_to_sound_ms=None):
        self.key, self.output, self.driver = key, output, driver
        self.rate, self.pipewire, self.wrapper = rate, pipewire, wrapper
        self.key_to_sound_ms = key_to_sound_ms
        self.midi_to_sound_ms = midi_to_sound_ms

    def recorded(self):
        return bool(self.rate or self.pipewire)


SETUPS = {
    "nosound": SetUp("4", "NoSound", "NoSound"),
    "alsa": SetUp("1", "Alsa", "scopesynth_capture", RATE, midi_to_sound_ms=MIDI_TO_SOUND_MS),
    "jack": SetUp("3", "ASIO", "system", RATE, midi_to_sound_ms=MIDI_TO_SOUND_MS),
    # Players' JACK servers run at 48 kHz: ALSA's plug converts the stream,
    # the JACK output converts it itself.
    "alsa48": SetUp("1", "Alsa", "scopesynth_capture", 48000, key_to_sound_ms=PLAYERS_KEY_TO_SOUND_MS,
                    midi_to_sound_ms=MIDI_TO_SOUND_MS),
    "jack48": SetUp("3", "ASIO", "system", 48000, key_to_sound_ms=PLAYERS_KEY_TO_SOUND_MS,
                    midi_to_sound_ms=PLAYERS_MIDI_TO_SOUND_MS),
    # A Debian 13 desktop: PipeWire's ALSA device and its JACK library.
    "pipewire-alsa": SetUp("1", "Alsa", "default", pipewire=True,
                           key_to_sound_ms=PLAYERS_KEY_TO_SOUND_MS),
    "pipewire-jack": SetUp("3", "ASIO", SINK_CLIENT, pipewire=True, wrapper=("pw-jack",),
                           key_to_sound_ms=PLAYERS_KEY_TO_SOUND_MS,
                           midi_to_sound_ms=PLAYERS_MIDI_TO_SOUND_MS),
}
# `all`: the test suite's rig, a JACK server at the stream's rate.
GROUPS = {"all": ("nosound", "alsa", "jack"), "48k": ("alsa48", "jack48"),
          "pipewire": ("pipewire-alsa", "pipewire-jack")}
