// The drawing services on their own: two-digit numbers, resource images, and widget text laid
// out on a real cairo surface.
#include "widgets/drawing.h"

#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <tuple>

#include "widgets/toolkit.h"
#include "widgets/widget.h"

namespace {

TEST(FormatTwoDigits, PadsBelowTenAndWrapsFromAHundred) {
  EXPECT_EQ(FormatTwoDigits(0), "00");
  EXPECT_EQ(FormatTwoDigits(9), "09");
  EXPECT_EQ(FormatTwoDigits(10), "10");
  EXPECT_EQ(FormatTwoDigits(99), "99");
  EXPECT_EQ(FormatTwoDigits(100), "00");
  EXPECT_EQ(FormatTwoDigits(250), "00");
}

TEST(LoadResourceImage, UnknownOrUndecodableNameFailsAndLeavesTheHandle) {
  cairo_surface_t* image = nullptr;
  EXPECT_FALSE(LoadResourceImage("NoSuchImage", &image));
  EXPECT_EQ(image, nullptr);

  cairo_surface_t* kept = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 3, 4);
  // "sound0" is a resource, but a sound: no PNG to decode.
  for (const char* name : {"NoSuchImage", "", "sound0"}) {
    image = kept;
    EXPECT_FALSE(LoadResourceImage(name, &image)) << name;
    EXPECT_EQ(image, kept) << name;
  }
  cairo_surface_destroy(kept);
}

TEST(LoadResourceImage, NamesMatchWhateverTheirCase) {
  for (const char* name : {"FondO", "fondo", "FONDO"}) {
    cairo_surface_t* image = nullptr;
    EXPECT_TRUE(LoadResourceImage(name, &image));
    ASSERT_NE(image, nullptr) << name;
    EXPECT_EQ(cairo_image_surface_get_width(image), 305) << name;
    EXPECT_EQ(cairo_image_surface_get_height(image), 531) << name;
    ReleaseImage(&image);
    EXPECT_EQ(image, nullptr);
  }
  // A name that only shares a prefix is another image.
  cairo_surface_t* image = nullptr;
  LoadResourceImage("Fon", &image);
  EXPECT_EQ(image, nullptr);
}

// Draws text into a transparent surface through the drawing context, as widgets do.
class WidgetText : public testing::Test {
 protected:
  static constexpr int kWidth = 200;
  static constexpr int kHeight = 40;

  void SetUp() override {
    token_ = StartGraphics();
    surface_ = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, kWidth, kHeight);
    toolkit.drawingContext = cairo_create(surface_);
    widget_.width = 110;
    widget_.height = 22;
  }

  void TearDown() override {
    cairo_destroy(toolkit.drawingContext);
    toolkit.drawingContext = nullptr;
    cairo_surface_destroy(surface_);
    FreeWidgetFont(&widget_);
    ShutdownGraphics(token_);
  }

  void Draw(const std::string& text, int8_t alignment, int width) {
    CreateWidgetFont(&widget_, "Arial", 20, alignment);
    DrawWidgetText(&widget_, kX, 0, text, 0xFF000000, width, 0);
    cairo_surface_flush(surface_);
  }

  void Clear() {
    cairo_t* cr = toolkit.drawingContext;
    cairo_set_operator(cr, CAIRO_OPERATOR_CLEAR);
    cairo_paint(cr);
    cairo_set_operator(cr, CAIRO_OPERATOR_OVER);
  }

  bool Ink(int x, int y) const {
    const unsigned char* row =
        cairo_image_surface_get_data(surface_) + y * cairo_image_surface_get_stride(surface_);
    uint32_t pixel;
    std::memcpy(&pixel, row + 4 * x, 4);
    return (pixel >> 24) != 0;
  }

  // The leftmost and rightmost columns holding ink, or (-1, -1).
  std::pair<int, int> InkColumns() const {
    int first = -1, last = -1;
    for (int x = 0; x < kWidth; ++x) {
      for (int y = 0; y < kHeight; ++y) {
        if (!Ink(x, y)) continue;
        if (first < 0) first = x;
        last = x;
        break;
      }
    }
    return {first, last};
  }

  static constexpr int kX = 10;
  uintptr_t token_ = 0;
  cairo_surface_t* surface_ = nullptr;
  Widget widget_{};
};

TEST_F(WidgetText, DefaultBoxIsFifteenPixelsNarrowerThanTheWidget) {
  Draw("WWWWWWWWWWWWWW", kAlignNear, 0);
  auto [first, last] = InkColumns();
  ASSERT_GE(first, kX);
  EXPECT_LT(last, kX + 95);
  // Narrow letters fill the first line to within one letter of the box's edge.
  Clear();
  Draw("llllllllllllllllllllllllllllll", kAlignNear, 0);
  std::tie(first, last) = InkColumns();
  ASSERT_GE(first, kX);
  EXPECT_LT(last, kX + 95);
  EXPECT_GE(last, kX + 95 - 7);
}

TEST_F(WidgetText, GivenWidthIsTheBox) {
  Draw("WWWWWWWWWWWWWW", kAlignNear, 50);
  auto [first, last] = InkColumns();
  ASSERT_GE(first, kX);
  EXPECT_LT(last, kX + 50);
  EXPECT_GE(last, kX + 50 - 20);
}

TEST_F(WidgetText, CentredTextSitsInTheMiddleOfTheBox) {
  Draw("II", kAlignCentre, 0);
  auto [first, last] = InkColumns();
  ASSERT_GE(first, 0);
  EXPECT_NEAR((first + last + 1) / 2.0, kX + 47.5, 2.0);

  Clear();
  Draw("II", kAlignNear, 0);
  EXPECT_LT(InkColumns().second, kX + 30);  // near alignment stays at the left
}

}  // namespace
