#include "support/game_driver.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>

#include "shell/startup.h"

namespace {

constexpr const char* kScoreFile = "Scores.zorvik";

// Moves the test program into its own empty directory before any test runs.
const bool inTemporaryDirectory = [] {
  char pattern[] = "/tmp/kestrow-test-XXXXXX";
  return mkdtemp(pattern) != nullptr && chdir(pattern) == 0;
}();

bool scoreFilePrepared = false;

}  // namespace

void PrepareScoreFile(const std::string& bytes) {
  std::ofstream(kScoreFile, std::ios::binary) << bytes;
  scoreFilePrepared = true;
}

bool ReadScoreFileBytes(std::string* bytes) {
  std::ifstream file(kScoreFile, std::ios::binary);
  if (!file) return false;
  std::ostringstream content;
  content << file.rdbuf();
  *bytes = content.str();
  return true;
}

void RunGame(const std::vector<GameStep>& steps, int displayScale) {
  if (!inTemporaryDirectory) std::abort();
  if (!scoreFilePrepared) std::remove(kScoreFile);
  scoreFilePrepared = false;
  HeadlessReset();
  HeadlessSetDisplayScale(displayScale);
  size_t next = 0;
  HeadlessSetIdle([&]() {
    if (next == steps.size()) return false;
    steps[next++]();
    return true;
  });
  RunKestrow();
  HeadlessSetIdle(nullptr);
  HeadlessSetDisplayScale(1);
  // The GTK backend shows only the area a push announces as changed: a drawing that reaches
  // outside it would leave the screen stale.
  EXPECT_EQ(HeadlessChangesOutsideTheirArea(), 0) << "pushes changed pixels outside their area";
}

int ButtonX() {
  return 353 + 101;
}
int ButtonY(int id) {
  return 442 + 22 * (id - 1) + 10;
}

void ClickButton(int id) {
  HeadlessClick(ButtonX(), ButtonY(id));
}

uint32_t ScreenPixel(int x, int y) {
  return HeadlessPixel(HeadlessMainWindow(), x, y);
}

uint32_t Unpremultiplied(uint32_t p) {
  uint32_t a = p >> 24;
  if (a == 0) return 0;
  auto channel = [&](int shift) { return (((p >> shift) & 0xFF) * 255 + a / 2) / a; };
  return (a << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

uint32_t ImagePixel(cairo_surface_t* image, int x, int y) {
  cairo_surface_flush(image);
  uint32_t v;
  std::memcpy(
      &v, cairo_image_surface_get_data(image) + y * cairo_image_surface_get_stride(image) + 4 * x,
      4);
  return Unpremultiplied(v);
}

uint32_t BackgroundPixel(int x, int y) {
  return ImagePixel(toolkit.windows.front().backgroundSnapshot, x, y);
}

int InkIn(int left, int top, int right, int bottom) {
  int ink = 0;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      uint32_t p = ScreenPixel(x, y);
      if (((p >> 16) & 0xFF) < 110 && ((p >> 8) & 0xFF) < 110 && (p & 0xFF) < 110) ++ink;
    }
  }
  return ink;
}

int CellScreenX(int column) {
  return 31 + 29 * column;
}
int CellScreenY(int row) {
  return 24 + 29 * (17 - row);
}
