// The synthesizer loaded at run time, built here with the file name of the math library, which
// opens but lacks the synthesizer's functions: it must be refused.
#include <gtest/gtest.h>

#include "game/synth_library.h"

namespace {

TEST(LibraryLoading, SynthRefusedWhenAFunctionIsMissing) {
  EXPECT_FALSE(LoadSynthLibrary());
  EXPECT_FALSE(LoadSynthLibrary());
}

}  // namespace
