// The video library (FFmpeg) is loaded when recording is first considered, not at start-up:
// it weighs some 12 MB of memory and part of the start-up time for a feature most games do
// without.
#pragma once

// Makes the video library's functions callable; false, and none of them may be called, when it
// cannot be loaded. Loading again changes nothing.
bool LoadVideoLibrary();
