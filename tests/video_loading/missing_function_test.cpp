// The video library loaded at run time, built here with libavutil's file in place of
// libswscale's: every file opens, but the scaling functions are nowhere.
#include <gtest/gtest.h>

#include "video/video_library.h"

namespace {

TEST(VideoLibraryLoading, RefusedWhenAFunctionIsMissing) {
  EXPECT_FALSE(LoadVideoLibrary());
}

}  // namespace
