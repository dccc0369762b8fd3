// The game on HiDPI displays: drawn with more device pixels, laid out in the same logical ones.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <vector>

#include "support/game_driver.h"

namespace {

// Plays the first seconds of a recorded game at `scale` and returns the last video frame.
std::vector<uint8_t> PlayRecordedStart(int scale) {
  std::filesystem::remove("Kestrow.avi");
  PrepareScoreFile("Ann\r\n0|1|0|0\r\n39|37|38|17|40|16\r\n");
  std::vector<uint8_t> frame;
  RunGame({[&] {
             const WidgetWindow& record = toolkit.windows.front();
             EXPECT_EQ(HeadlessWindow(HeadlessMainWindow()).width, 600);
             EXPECT_EQ(cairo_image_surface_get_width(record.surface), 600 * scale);
             EXPECT_EQ(cairo_image_surface_get_height(record.surface), 600 * scale);
             // The pushed image read at logical places: a transparent corner, the see-through
             // well and the opaque body.
             EXPECT_EQ(ScreenPixel(1, 1) >> 24, 0u);
             EXPECT_EQ(ScreenPixel(100, 300) >> 24, 191u);
             EXPECT_EQ(ScreenPixel(340, 300) >> 24, 255u);
             // The same pieces at every scale.
             gameHooks.gameSeed = [](uint64_t* seed) {
               *seed = 0x5CA1E;
               return true;
             };
             game.videoCapture = 1;
             ClickButton(1);
           },
           [&] {
             ASSERT_TRUE(game.clock.running);
             HeadlessAdvance(5000);
             frame = videoRecorder.frame;
           }},
          scale);
  return frame;
}

double MeanDifference(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  double sum = 0;
  for (size_t i = 0; i < a.size(); ++i) sum += std::abs(a[i] - b[i]);
  return sum / static_cast<double>(a.size());
}

// The same game at scales 1, 2 and 3: the window keeps 600 x 600 logical pixels over a surface
// of scale x scale device pixels each, pushes announce their changed area in device pixels
// (RunGame checks), and the video still records the window's 588 x 588 logical pixels.
TEST(DisplayScale, KeepsTheLogicalWindowAndTheVideoFrame) {
  std::vector<uint8_t> atScaleOne = PlayRecordedStart(1);
  ASSERT_FALSE(atScaleOne.empty());
  for (int scale : {2, 3}) {
    SCOPED_TRACE(scale);
    std::vector<uint8_t> frame = PlayRecordedStart(scale);
    ASSERT_EQ(frame.size(), atScaleOne.size());
    // Only the edges of what is drawn differ, by the finer drawing.
    EXPECT_LT(MeanDifference(frame, atScaleOne), 1.0);
  }
}

}  // namespace
