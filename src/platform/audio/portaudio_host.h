#pragma once

// What this system needs done before PortAudio starts (the PortAudio sink
// calls it once, right before Pa_Initialize): its sound libraries kept quiet
// on the console. The file that implements it also sets which host APIs
// PortAudio starts.
void portaudio_prepare_host();
