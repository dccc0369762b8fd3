// The synthesizer's library (FluidSynth) is loaded once the window is up, not at start-up:
// with the sound-file, audio-server and other libraries it depends on, it costs the start
// a third of its time and several megabytes.
#pragma once

// Makes the synthesizer library's functions callable; false, and none of them may be called,
// when it cannot be loaded. Loading again changes nothing; any thread may load it.
bool LoadSynthLibrary();
