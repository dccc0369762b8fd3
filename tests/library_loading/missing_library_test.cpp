// The synthesizer and libcurl loaded at run time, built here with file names that do not serve:
// the math library, which opens but lacks the synthesizer's functions, and a file that does not
// exist for libcurl. Both must be refused, and libcurl's first two calls must fail as they do
// without a network rather than call through a missing library.
#include <curl/curl.h>
#include <gtest/gtest.h>

#include "game/synth_library.h"
#include "scores/curl_library.h"

namespace {

TEST(LibraryLoading, SynthRefusedWhenAFunctionIsMissing) {
  EXPECT_FALSE(LoadSynthLibrary());
  EXPECT_FALSE(LoadSynthLibrary());
}

TEST(LibraryLoading, CurlCallsFailWithoutTheLibrary) {
  EXPECT_EQ(curl_global_init(CURL_GLOBAL_DEFAULT), CURLE_FAILED_INIT);
  EXPECT_EQ(curl_easy_init(), nullptr);
  EXPECT_FALSE(LoadCurlLibrary());
}

}  // namespace
