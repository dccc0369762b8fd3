// The in-memory audio output, as the rest of the headless backend drives it.
#pragma once

// Renders the frames that fall due up to the virtual clock's current tick.
void HeadlessRenderAudio();
// Closes the output and forgets what it rendered.
void HeadlessResetAudio();
