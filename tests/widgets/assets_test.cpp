// The embedded images: each one present at the size the game draws it, and the exact colours and
// transparency the game relies on (block centres, the see-through well, the window's corners).

#include <cairo.h>
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "platform/headless/headless.h"
#include "widgets/drawing.h"

namespace {

struct SurfaceDeleter {
  void operator()(cairo_surface_t* surface) const { cairo_surface_destroy(surface); }
};
using SurfacePtr = std::unique_ptr<cairo_surface_t, SurfaceDeleter>;

// The named resource decoded by the game's own loader; null when missing or unreadable.
SurfacePtr Decode(std::string_view name) {
  cairo_surface_t* image = nullptr;
  if (!LoadResourceImage(std::string(name), &image)) return nullptr;
  return SurfacePtr(image);
}

// A pixel as cairo holds it, premultiplied by alpha.
struct Pixel {
  int a, r, g, b;
  bool operator==(const Pixel&) const = default;
};

void PrintTo(const Pixel& p, std::ostream* os) {
  *os << "(a " << p.a << ", r " << p.r << ", g " << p.g << ", b " << p.b << ")";
}

Pixel At(cairo_surface_t* surface, int x, int y) {
  const unsigned char* row =
      cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface);
  uint32_t v;
  std::memcpy(&v, row + 4 * x, 4);
  return {int(v >> 24), int((v >> 16) & 0xff), int((v >> 8) & 0xff), int(v & 0xff)};
}

// A straight-alpha colour as a PNG stores it, in the premultiplied form any exact decoder yields:
// each channel times alpha / 255, rounded to nearest. Comparing in this form is exact: an image
// whose colour is off by more than the rounding lets through gives a different pixel.
Pixel Premultiplied(int r, int g, int b, int a) {
  auto mul = [a](int c) { return (c * a + 127) / 255; };
  return {a, mul(r), mul(g), mul(b)};
}

// Number of pixels of the rectangle whose alpha is not `alpha`.
int CountAlphaOtherThan(cairo_surface_t* surface, int x0, int y0, int w, int h, int alpha) {
  int count = 0;
  for (int y = y0; y < y0 + h; ++y)
    for (int x = x0; x < x0 + w; ++x) count += At(surface, x, y).a != alpha;
  return count;
}

int Width(cairo_surface_t* s) {
  return cairo_image_surface_get_width(s);
}
int Height(cairo_surface_t* s) {
  return cairo_image_surface_get_height(s);
}

// ---------------------------------------------------------------------------------------------

struct Catalogued {
  const char* name;
  int width, height;
  bool drawnTwiceAsLarge = true;  // also embedded at 2x for HiDPI displays
};

void PrintTo(const Catalogued& c, std::ostream* os) {
  *os << c.name;
}

class ImageCatalogue : public testing::TestWithParam<Catalogued> {};

// Every image is a PNG with alpha at its size, and shows something.
TEST_P(ImageCatalogue, IsEmbeddedAtItsSizeWithAlpha) {
  const Catalogued& image = GetParam();
  SurfacePtr surface = Decode(image.name);
  ASSERT_NE(surface, nullptr) << image.name << " is missing or not a PNG";
  EXPECT_EQ(cairo_image_surface_get_format(surface.get()), CAIRO_FORMAT_ARGB32);
  ASSERT_EQ(Width(surface.get()), image.width);
  ASSERT_EQ(Height(surface.get()), image.height);
  EXPECT_GT(CountAlphaOtherThan(surface.get(), 0, 0, image.width, image.height, 0), 0)
      << image.name << " is fully transparent";

  // On a display of scale 2 the same name gives the image at twice the pixels, which the
  // drawing shrinks back to the same logical size.
  HeadlessSetDisplayScale(2);
  SurfacePtr doubled = Decode(image.name);
  HeadlessSetDisplayScale(1);
  ASSERT_NE(doubled, nullptr);
  int factor = image.drawnTwiceAsLarge ? 2 : 1;
  double scaleX = 0;
  double scaleY = 0;
  cairo_surface_get_device_scale(doubled.get(), &scaleX, &scaleY);
  EXPECT_EQ(Width(doubled.get()), image.width * factor);
  EXPECT_EQ(Height(doubled.get()), image.height * factor);
  EXPECT_EQ(scaleX, factor);
  EXPECT_EQ(scaleY, factor);
}

INSTANTIATE_TEST_SUITE_P(
    Assets, ImageCatalogue,
    testing::Values(
        Catalogued{"Fond", 600, 600}, Catalogued{"FondO", 305, 531}, Catalogued{"BN", 202, 21},
        Catalogued{"BE", 202, 21}, Catalogued{"BP", 202, 21}, Catalogued{"BA", 202, 21},
        Catalogued{"BQ", 202, 21}, Catalogued{"B1", 29, 29}, Catalogued{"B2", 29, 29},
        Catalogued{"B3", 29, 29}, Catalogued{"B4", 29, 29}, Catalogued{"B5", 29, 29},
        Catalogued{"B6", 29, 29}, Catalogued{"B7", 29, 29}, Catalogued{"B8", 29, 29},
        Catalogued{"B9", 29, 29}, Catalogued{"OB", 29, 29}, Catalogued{"GO", 234, 149},
        Catalogued{"BRAVO", 250, 75}, Catalogued{"SYSTRAY_256", 256, 256, false},
        Catalogued{"SYSTRAY_128", 128, 128, false}, Catalogued{"SYSTRAY_48", 48, 48, false},
        Catalogued{"SYSTRAY_32", 32, 32, false}, Catalogued{"SYSTRAY_16", 16, 16, false}),
    [](const testing::TestParamInfo<Catalogued>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------

struct BlockColour {
  const char* name;
  int r, g, b, a;
};

void PrintTo(const BlockColour& c, std::ostream* os) {
  *os << c.name;
}

class BlockCentre : public testing::TestWithParam<BlockColour> {};

// The middle of each block has its exact colour: other parts of the game match these colours.
TEST_P(BlockCentre, HasTheBlockColour) {
  const BlockColour& block = GetParam();
  SurfacePtr surface = Decode(block.name);
  ASSERT_NE(surface, nullptr);
  ASSERT_EQ(Width(surface.get()), 29);
  ASSERT_EQ(Height(surface.get()), 29);
  EXPECT_EQ(At(surface.get(), 14, 14), Premultiplied(block.r, block.g, block.b, block.a));
}

INSTANTIATE_TEST_SUITE_P(
    Assets, BlockCentre,
    testing::Values(BlockColour{"B1", 255, 252, 0, 255}, BlockColour{"B2", 132, 230, 37, 255},
                    BlockColour{"B3", 42, 194, 146, 255}, BlockColour{"B4", 90, 116, 255, 255},
                    BlockColour{"B5", 255, 252, 0, 128}, BlockColour{"B6", 199, 119, 255, 255},
                    BlockColour{"B7", 255, 77, 203, 255}, BlockColour{"B8", 252, 194, 18, 255},
                    BlockColour{"B9", 252, 68, 29, 255}, BlockColour{"OB", 241, 241, 241, 38}),
    [](const testing::TestParamInfo<BlockColour>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------
// The window background of the borderless, per-pixel transparent window.

constexpr int kWellX = 31, kWellY = 24, kWellW = 290, kWellH = 522;

TEST(WindowBackground, CornersAreFullyTransparent) {
  SurfacePtr fond = Decode("Fond");
  ASSERT_NE(fond, nullptr);
  ASSERT_EQ(Width(fond.get()), 600);
  ASSERT_EQ(Height(fond.get()), 600);
  // Beyond the rounded body and its shadow, with room to spare.
  constexpr int kMargin = 6;
  for (int x0 : {0, 600 - kMargin}) {
    for (int y0 : {0, 600 - kMargin}) {
      EXPECT_EQ(CountAlphaOtherThan(fond.get(), x0, y0, kMargin, kMargin, 0), 0)
          << "corner at (" << x0 << ", " << y0 << ")";
    }
  }
}

TEST(WindowBackground, WellLetsTheDesktopThroughEverywhere) {
  SurfacePtr fond = Decode("Fond");
  ASSERT_NE(fond, nullptr);
  ASSERT_EQ(Width(fond.get()), 600);
  ASSERT_EQ(Height(fond.get()), 600);
  EXPECT_EQ(CountAlphaOtherThan(fond.get(), kWellX, kWellY, kWellW, kWellH, 191), 0);
  // The body around the well stays solid: the well's see-through area ends at its border.
  EXPECT_EQ(At(fond.get(), kWellX - 1, kWellY + kWellH / 2).a, 255);
  EXPECT_EQ(At(fond.get(), kWellX + kWellW, kWellY + kWellH / 2).a, 255);
}

TEST(WindowBackground, OpaqueBoardCoversItsWholeArea) {
  SurfacePtr board = Decode("FondO");
  ASSERT_NE(board, nullptr);
  EXPECT_EQ(CountAlphaOtherThan(board.get(), 0, 0, Width(board.get()), Height(board.get()), 255),
            0);
}

// Each hot button is opaque and replaces the caption it lights up: drawn at that place over the
// window, it must change what is seen there.
TEST(WindowBackground, HotButtonsAreOpaqueAndDifferFromTheRestingLook) {
  SurfacePtr fond = Decode("Fond");
  ASSERT_NE(fond, nullptr);
  const char* names[] = {"BN", "BE", "BP", "BA", "BQ"};
  for (int k = 0; k < 5; ++k) {
    SCOPED_TRACE(names[k]);
    SurfacePtr hot = Decode(names[k]);
    ASSERT_NE(hot, nullptr);
    ASSERT_EQ(Width(hot.get()), 202);
    ASSERT_EQ(Height(hot.get()), 21);
    EXPECT_EQ(CountAlphaOtherThan(hot.get(), 0, 0, 202, 21, 255), 0);
    int changed = 0;
    for (int y = 0; y < 21; ++y)
      for (int x = 0; x < 202; ++x)
        changed += !(At(hot.get(), x, y) == At(fond.get(), 353 + x, 442 + 22 * k + y));
    EXPECT_GT(changed, 202 * 21 / 4);
  }
}

// The banners shown over the well are framed by transparency, so no letter is cut at an edge.
TEST(Banners, AreTransparentAlongTheirEdges) {
  for (const char* name : {"GO", "BRAVO"}) {
    SCOPED_TRACE(name);
    SurfacePtr banner = Decode(name);
    ASSERT_NE(banner, nullptr);
    const int w = Width(banner.get()), h = Height(banner.get());
    EXPECT_EQ(CountAlphaOtherThan(banner.get(), 0, 0, w, 1, 0), 0);
    EXPECT_EQ(CountAlphaOtherThan(banner.get(), 0, h - 1, w, 1, 0), 0);
    EXPECT_EQ(CountAlphaOtherThan(banner.get(), 0, 0, 1, h, 0), 0);
    EXPECT_EQ(CountAlphaOtherThan(banner.get(), w - 1, 0, 1, h, 0), 0);
    EXPECT_GT(CountAlphaOtherThan(banner.get(), 0, 0, w, h, 0), w * h / 10);
  }
}

}  // namespace
