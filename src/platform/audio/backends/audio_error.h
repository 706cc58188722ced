// SPDX-License-Identifier: MIT
#pragma once

// Why an output could not be opened or started, as the device sees it. The
// sinks and the back-ends speak of their failures only in these; the calls
// shaped like the audio library's tell the user of them in its own codes.
enum class AudioError {
    None,
    Unavailable, // the device, or its server, would not open or start
    InUse,       // another program holds the device
    Format,      // the device does not play 16-bit stereo at the stream's rate
    Memory,      // there was no memory for what the output needs
};
