// The synthesizer library linked with the program: always there.
#include "game/synth_library.h"

bool LoadSynthLibrary() {
  return true;
}
