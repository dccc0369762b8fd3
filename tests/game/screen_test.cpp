// What a running game shows: the pushed pixels of the well, the next-piece preview, the score,
// the chronometer, the countdown and the pictures over the well.
#include <cairo.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "game/board.h"
#include "game/new_game.h"
#include "game/rules.h"
#include "game/status_panels.h"
#include "platform/windows.h"
#include "support/board_helpers.h"
#include "widgets/drawing.h"

namespace {

constexpr uint32_t kPink = 0xFFFF4DCB;  // the O's block
constexpr uint32_t kDark = 0xFF202020;  // previews and texts

// --- Pixels --------------------------------------------------------------------------------

struct Rgba {
  double a, r, g, b;  // premultiplied, 0..255
};

uint32_t RawPixel(cairo_surface_t* surface, int x, int y) {
  cairo_surface_flush(surface);
  uint32_t v;
  std::memcpy(
      &v,
      cairo_image_surface_get_data(surface) + y * cairo_image_surface_get_stride(surface) + 4 * x,
      4);
  return v;
}

Rgba Premultiplied(uint32_t argb) {
  double a = argb >> 24;
  return {a, ((argb >> 16) & 0xFF) * a / 255, ((argb >> 8) & 0xFF) * a / 255,
          (argb & 0xFF) * a / 255};
}

Rgba FromRaw(uint32_t p) {
  return {double(p >> 24), double((p >> 16) & 0xFF), double((p >> 8) & 0xFF), double(p & 0xFF)};
}

cairo_surface_t* Snapshot() {
  return toolkit.windows.front().backgroundSnapshot;
}

// `top` composited over `bottom`, both premultiplied, as the backend reports it.
uint32_t Over(Rgba top, Rgba bottom) {
  double k = 1 - top.a / 255;
  double a = top.a + bottom.a * k;
  if (a < 0.5) return 0;
  auto channel = [&](double t, double b) {
    return static_cast<uint32_t>(std::lround(std::min(255.0, (t + b * k) * 255 / a)));
  };
  return (static_cast<uint32_t>(std::lround(a)) << 24) | (channel(top.r, bottom.r) << 16) |
         (channel(top.g, bottom.g) << 8) | channel(top.b, bottom.b);
}

bool Near(uint32_t a, uint32_t b, int tolerance) {
  for (int shift = 0; shift < 32; shift += 8) {
    int d = static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF);
    if (std::abs(d) > tolerance) return false;
  }
  return true;
}

bool IsDark(uint32_t pixel) {
  return (pixel >> 24) == 255 && ((pixel >> 16) & 0xFF) < 0x80 && ((pixel >> 8) & 0xFF) < 0x80 &&
         (pixel & 0xFF) < 0x80;
}

int CentreX(int column) {
  return CellScreenX(column) + 14;
}
int CentreY(int row) {
  return CellScreenY(row) + 14;
}
uint32_t CellShown(int column, int row) {
  return ScreenPixel(CentreX(column), CentreY(row));
}
uint32_t CellBackground(int column, int row) {
  return BackgroundPixel(CentreX(column), CentreY(row));
}
uint32_t BlockColour(int code) {
  return ImagePixel(game.blockImages[code], 14, 14);
}
// The ghost image over the bare well, at a cell's centre.
uint32_t GhostColour(int column, int row) {
  return Over(FromRaw(RawPixel(game.ghostImage, 14, 14)),
              FromRaw(RawPixel(Snapshot(), CentreX(column), CentreY(row))));
}

using PointSet = std::set<std::pair<int, int>>;

PointSet PieceCells(int rowOffset = 0) {
  PointSet cells;
  ForEachPieceCell(PieceMask(Board().pieceId, Board().rotation), Board().pieceColumn,
                   Board().pieceRow + rowOffset, [&](int c, int r) {
                     cells.insert({c, r});
                   });
  return cells;
}

int LandingOffset() {
  int d = 0;
  while (!PieceBlocked(0, d - 1)) --d;
  return d;
}

// Every cell's centre shows the falling piece, a locked block, the ghost or the bare well.
// Returns a description of the first few cells that do not.
std::string WellMismatches() {
  PointSet piece = PieceCells();
  PointSet ghost = Board().ghostEnabled ? PieceCells(LandingOffset()) : PointSet{};
  std::string found;
  int count = 0;
  for (int row = 0; row < kRows; ++row) {
    for (int column = 0; column < kColumns; ++column) {
      uint32_t shown = CellShown(column, row);
      int8_t code = Board().cells[CellIndex(column, row)];
      bool ok;
      const char* what;
      if (piece.count({column, row})) {
        ok = shown == BlockColour(Board().pieceImage);
        what = "piece";
      } else if (code >= 2 && code <= 9) {
        ok = shown == BlockColour(code);
        what = "block";
      } else if (ghost.count({column, row})) {
        ok = Near(shown, GhostColour(column, row), 2);
        what = "ghost";
      } else {
        ok = shown == CellBackground(column, row);
        what = "empty";
      }
      if (!ok && count++ < 4) {
        char text[80];
        std::snprintf(text, sizeof text, "(%d,%d) %s shows %08X; ", column, row, what, shown);
        found += text;
      }
    }
  }
  return found;
}

// Whether every cell from `row` up is empty.
bool StackBelow(int row) {
  for (int r = row; r < kRows; ++r) {
    for (int c = 0; c < kColumns; ++c) {
      if (Board().cells[CellIndex(c, r)] != 0) return false;
    }
  }
  return true;
}

// --- The falling piece and its ghost -------------------------------------------------------

TEST(FallingPiece, ShowsItsBlocksAndItsGhostWhereItWouldLand) {
  InGame([] {
    Spawn(kO);
    ASSERT_EQ(BlockColour(7), kPink);
    for (auto [c, r] : PointSet{{4, 16}, {5, 16}, {4, 15}, {5, 15}}) {
      EXPECT_EQ(CellShown(c, r), kPink) << c << "," << r;
    }
    for (auto [c, r] : PointSet{{4, 1}, {5, 1}, {4, 0}, {5, 0}}) {
      uint32_t shown = CellShown(c, r);
      EXPECT_NE(shown, CellBackground(c, r)) << c << "," << r;
      EXPECT_NE(shown, kPink);
      EXPECT_PRED3(Near, shown, GhostColour(c, r), 2) << c << "," << r;
    }
    EXPECT_EQ(WellMismatches(), "");

    HandleGameKey(Board().keys.moveLeft);  // the ghost follows
    EXPECT_EQ(WellMismatches(), "");
    EXPECT_EQ(CellShown(5, 0), CellBackground(5, 0));
  });
}

TEST(FallingPiece, NoGhostWhenTheOptionIsOff) {
  InGame([] {
    Board().ghostEnabled = 0;
    Spawn(kO);
    for (auto [c, r] : PointSet{{4, 1}, {5, 1}, {4, 0}, {5, 0}}) {
      EXPECT_EQ(CellShown(c, r), CellBackground(c, r)) << c << "," << r;
    }
    HandleGameKey(Board().keys.moveRight);
    HandleGameKey(Board().keys.moveDown);
    EXPECT_EQ(WellMismatches(), "");
  });
}

TEST(FallingPiece, NoGhostOnceThePieceRests) {
  InGame([] {
    FillRow(0, 0);
    Spawn(kO);
    while (!PieceBlocked(0, -1)) HandleGameKey(Board().keys.moveDown);
    for (auto [c, r] : PieceCells()) EXPECT_EQ(CellShown(c, r), kPink) << c << "," << r;
    EXPECT_EQ(WellMismatches(), "");
  });
}

TEST(FallingPiece, NoGhostOverAPieceThatEntersResting) {
  InGame([] {
    Board().cells[CellIndex(4, 14)] = 2;
    Board().cells[CellIndex(5, 14)] = 2;
    Spawn(kO);
    ASSERT_TRUE(PieceBlocked(0, -1));
    for (auto [c, r] : PieceCells()) EXPECT_EQ(CellShown(c, r), kPink) << c << "," << r;
  });
}

TEST(FallingPiece, ScreenFollowsEveryMove) {
  InGame([] {
    Board().soundsEnabled = 0;
    const KeyBindings& keys = Board().keys;
    const int32_t moves[] = {keys.moveLeft, keys.moveRight, keys.rotateRight, keys.rotateLeft,
                             keys.moveDown};
    // Seeded key sequences over a low stack with holes, for the ghost to land at several
    // heights. Each ends before the stack could reach an entering piece's cells.
    for (uint32_t seed = 0; seed < 100; ++seed) {
      ClearPlayfield();
      FillRow(0, 2);
      FillRow(1, 7);
      Board().cells[CellIndex(0, 2)] = 9;
      Board().cells[CellIndex(9, 2)] = 9;
      Spawn(kT);
      ASSERT_EQ(WellMismatches(), "") << "seed " << seed;
      std::mt19937 random(seed);
      for (int step = 0; step < 100 && StackBelow(6); ++step) {
        int32_t key = random() % 8 == 0 ? keys.drop : moves[random() % 5];
        HandleGameKey(key);
        ASSERT_TRUE(game.clock.running);
        ASSERT_EQ(WellMismatches(), "") << "seed " << seed << ", step " << step << ", key " << key;
      }
    }
  });
}

TEST(FallingPiece, TurningAtRestShowsTheWholeNewGhost) {
  InGame([] {
    Spawn(kI);  // upright in column 4
    while (!PieceBlocked(0, -1)) HandleGameKey(Board().keys.moveDown);
    ASSERT_EQ(Board().pieceRow, 3);  // on the floor: rows 0 to 3, its ghost hidden under it
    HandleGameKey(Board().keys.rotateRight);  // flat on row 2, its ghost on row 0
    ASSERT_EQ(Board().rotation, 2);
    for (int column = 3; column <= 6; ++column) {
      EXPECT_PRED3(Near, CellShown(column, 0), GhostColour(column, 0), 2) << column;
    }
    EXPECT_EQ(WellMismatches(), "");
  });
}

TEST(FallingPiece, TurningRedrawsOnlyCellsWhoseCoverChanged) {
  InGame([] {
    Spawn(kT);  // covers (3,17) (4,17) (5,17) (4,16)
    // Marks on the window's surface show which cells get drawn again.
    constexpr uint32_t kMark = 0xFF0000FF;
    cairo_t* cr = cairo_create(toolkit.windows.front().surface);
    cairo_set_source_rgb(cr, 0, 0, 1);
    for (auto [c, r] : PointSet{{5, 17}, {4, 16}, {0, 10}}) {
      cairo_rectangle(cr, CellScreenX(c), CellScreenY(r), 29, 29);
    }
    cairo_fill(cr);
    cairo_destroy(cr);
    PushSurface(&toolkit.windows.front(), {0, 0, 600, 600});
    HandleGameKey(Board().keys.rotateRight);  // now covers (5,17) (4,16) (5,16) (5,15)
    ASSERT_EQ(Board().rotation, 2);
    EXPECT_EQ(CellShown(5, 17), kMark);
    EXPECT_EQ(CellShown(4, 16), kMark);
    EXPECT_EQ(CellShown(0, 10), kMark);
    EXPECT_EQ(CellShown(3, 17), CellBackground(3, 17));
    EXPECT_EQ(CellShown(4, 17), CellBackground(4, 17));
    EXPECT_EQ(CellShown(5, 16), BlockColour(3));
    EXPECT_EQ(CellShown(5, 15), BlockColour(3));
  });
}

// --- Next piece, score and chronometer -----------------------------------------------------

// Every pixel of the next-piece box is dark exactly inside the 15 x 15 squares at `corners`.
void ExpectPreview(const std::vector<std::pair<int, int>>& corners) {
  int wrong = 0;
  for (int y = 80; y < 144; ++y) {
    for (int x = 374; x < 438; ++x) {
      bool inSquare = false;
      for (auto [left, top] : corners) {
        inSquare |= x >= left && x < left + 15 && y >= top && y < top + 15;
      }
      uint32_t shown = ScreenPixel(x, y);
      bool ok = inSquare ? shown == kDark : !IsDark(shown);
      if (!ok && wrong++ < 3) ADD_FAILURE() << "(" << x << "," << y << ") " << std::hex << shown;
    }
  }
  EXPECT_EQ(wrong, 0);
}

TEST(Status, NextPiecePreviewIsCentredInItsBox) {
  bool checked = false;
  RunGame({[&] {
    Board().nextPieceId = kI;
    DrawNextPiece(&Board());
    ExpectPreview({{398, 80}, {398, 96}, {398, 112}, {398, 128}});
    Board().nextPieceId = kO;  // the previous preview is erased
    DrawNextPiece(&Board());
    ExpectPreview({{390, 96}, {406, 96}, {390, 112}, {406, 112}});
    Board().nextPieceId = kT;
    DrawNextPiece(&Board());
    ExpectPreview({{382, 96}, {398, 96}, {414, 96}, {398, 112}});
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

// The dark pixels of a rectangle, as (x, y) pairs.
PointSet DarkPixels(int left, int top, int right, int bottom) {
  PointSet dark;
  for (int y = top; y < bottom; ++y) {
    for (int x = left; x < right; ++x) {
      if (IsDark(ScreenPixel(x, y))) dark.insert({x, y});
    }
  }
  return dark;
}

int Rightmost(const PointSet& pixels) {
  int right = -1;
  for (auto [x, y] : pixels) right = std::max(right, x);
  return right;
}

TEST(Status, ScoreShowsZeroThenThePointsWon) {
  InGame([] {
    Board().soundsEnabled = 0;
    PointSet zero = DarkPixels(460, 123, 560, 150);
    ASSERT_FALSE(zero.empty());
    EXPECT_LT(Rightmost(zero), 480);  // one digit at the box's left
    FillRow(0, 4);
    Spawn(kI);
    HandleGameKey(Board().keys.drop);
    ASSERT_EQ(Board().score, 10);
    PointSet ten = DarkPixels(460, 123, 560, 150);
    EXPECT_NE(ten, zero);
    EXPECT_GT(Rightmost(ten), Rightmost(zero));  // two digits
    Board().score = 0;                           // a shorter score replaces the longer one entirely
    DrawScore(&Board());
    EXPECT_EQ(DarkPixels(460, 123, 560, 150), zero);
  });
}

// The chronometer's area of the screen, row by row.
std::vector<uint32_t> ChronometerShown() {
  std::vector<uint32_t> pixels;
  for (int y = 90; y < 114; ++y) {
    for (int x = 457; x < 567; ++x) pixels.push_back(ScreenPixel(x, y));
  }
  return pixels;
}

// Shows `text` as the chronometer's reading, drawn with the chronometer's font and box.
void ShowChronometerText(const std::string& text) {
  Widget* widget = game.clock.widget;
  WidgetWindow* record = BeginWidgetDrawing(widget, DrawingMode::crisp);
  ASSERT_NE(record, nullptr);
  FillFromSnapshot(record, 457, 92, 110, 22);
  DrawWidgetText(widget, 457, 90, text, kDark, 0, 0);
  EndWidgetDrawing(record);
}

TEST(Status, ChronometerShowsMinutesSecondsAndHundredths) {
  struct Case {
    uint32_t elapsed;
    int32_t packed;
    const char* text;
  };
  InGame([] {
    for (Case c : {Case{83456, 1 * 65536 + 23 * 256 + 45, "01:23:45"},
                   Case{59999, 59 * 256 + 99, "00:59:99"}, Case{60000, 1 * 65536, "01:00:00"},
                   Case{5999999, 99 * 65536 + 59 * 256 + 99, "99:59:99"},
                   Case{6000000, 100 * 65536, "00:00:00"}}) {
      game.clock.startTick = PlatformTickCount() - c.elapsed;
      GameTick();
      EXPECT_EQ(Board().resultTime, c.packed) << c.text;
      std::vector<uint32_t> shown = ChronometerShown();
      EXPECT_FALSE(DarkPixels(457, 90, 567, 112).empty()) << c.text;
      ShowChronometerText(c.text);
      EXPECT_TRUE(shown == ChronometerShown()) << "the chronometer does not show " << c.text;
    }
  });
}

// --- Countdown -----------------------------------------------------------------------------

struct DigitInk {
  int left = 1000, top = 1000, right = -1, bottom = -1;
  double strongestAlpha = 0;  // the digit colour's opacity where it covers a pixel fully
};

// Compares the well with the bare background: where the yellow digit shows, and how opaque.
DigitInk MeasureDigit() {
  DigitInk ink;
  double strongestDelta = 0;
  for (int y = 24; y < 546; ++y) {
    for (int x = 31; x < 321; ++x) {
      uint32_t shown = ScreenPixel(x, y);
      uint32_t bare = BackgroundPixel(x, y);
      if (shown == bare) continue;
      ink.left = std::min(ink.left, x);
      ink.right = std::max(ink.right, x);
      ink.top = std::min(ink.top, y);
      ink.bottom = std::max(ink.bottom, y);
      // Red moves from the background's toward 0xF0 by the opacity.
      double red = Premultiplied(shown).r;
      double bareRed = FromRaw(RawPixel(Snapshot(), x, y)).r;
      double delta = red - bareRed;
      if (delta > strongestDelta) {
        strongestDelta = delta;
        ink.strongestAlpha = 255 * delta / (0xF0 - bareRed);
      }
    }
  }
  return ink;
}

TEST(Countdown, DigitGrowsAndFadesCentredInTheWell) {
  bool checked = false;
  RunGame({[&] {
    DrawCountdownDigit(3, 90, 40);
    DigitInk first = MeasureDigit();
    ASSERT_GE(first.right, 0) << "no digit";
    EXPECT_NEAR(first.strongestAlpha, 40, 3);
    EXPECT_NEAR((first.left + first.right) / 2.0, 176, 4);
    EXPECT_NEAR((first.top + first.bottom) / 2.0, 285, 5);
    EXPECT_GT(first.bottom - first.top, 40);  // a 90-pixel font's digit

    DrawCountdownDigit(3, 396, 4);  // the previous frame is erased
    DigitInk last = MeasureDigit();
    ASSERT_GE(last.right, 0) << "no digit";
    EXPECT_LE(last.strongestAlpha, 6);
    EXPECT_NEAR((last.left + last.right) / 2.0, 176, 6);
    EXPECT_NEAR((last.top + last.bottom) / 2.0, 285, 8);
    EXPECT_GT(last.bottom - last.top, 4 * (first.bottom - first.top));
    checked = true;
  }});
  EXPECT_TRUE(checked);
}

// --- Pictures over the well ----------------------------------------------------------------

// The picture drawn unscaled at (x, y): its opaque pixels show exactly, its transparent ones
// leave the bare well (the area has no blocks).
void ExpectPicture(cairo_surface_t* image, int x, int y) {
  ASSERT_NE(image, nullptr);
  int opaque = 0, wrong = 0;
  for (int v = 0; v < cairo_image_surface_get_height(image); ++v) {
    for (int u = 0; u < cairo_image_surface_get_width(image); ++u) {
      uint32_t pixel = RawPixel(image, u, v);
      uint32_t shown = ScreenPixel(x + u, y + v);
      if ((pixel >> 24) == 255) {
        ++opaque;
        wrong += shown != Unpremultiplied(pixel);
      } else if ((pixel >> 24) == 0) {
        wrong += shown != BackgroundPixel(x + u, y + v);
      }
    }
  }
  EXPECT_GT(opaque, 0);
  EXPECT_EQ(wrong, 0);
}

TEST(Pictures, GameOverShowsItsPicture) {
  InGame([] {
    LoseGame();
    ASSERT_EQ(game.clock.running, 0);
    ExpectPicture(game.imageGO, 60, 200);
  });
}

TEST(Pictures, VictoryShowsItsPicture) {
  InGame([] {
    Board().soundsEnabled = 0;
    Board().internetScores = 0;  // ranks the result locally only
    Board().score = 1990;
    FillRow(0, 4);
    Spawn(kI);
    HandleGameKey(Board().keys.drop);
    ASSERT_EQ(game.clock.running, 0);
    ASSERT_EQ(Board().score, 2000);
    ExpectPicture(game.imageBRAVO, 52, 237);
  });
}

TEST(Pictures, NextGameStartsOnAnEmptyWell) {
  bool checked = false;
  RunGame({[] { ClickButton(1); },
           [] {
             Board().cells[CellIndex(0, 0)] = 9;  // blocks at the bottom corners show on screen
             Board().cells[CellIndex(9, 0)] = 9;
             LoseGame();
             ASSERT_EQ(game.clock.running, 0);
             ASSERT_EQ(CellShown(0, 0), BlockColour(9));
             ClickButton(1);
           },
           [&] {
             ASSERT_TRUE(game.clock.running);
             EXPECT_EQ(CellShown(0, 0), CellBackground(0, 0));
             EXPECT_EQ(CellShown(9, 0), CellBackground(9, 0));
             int wrong = 0;
             for (int y = 200; y < 349; ++y) {
               for (int x = 60; x < 294; ++x) wrong += ScreenPixel(x, y) != BackgroundPixel(x, y);
             }
             EXPECT_EQ(wrong, 0);
             EXPECT_EQ(WellMismatches(), "");
             checked = true;
           }});
  EXPECT_TRUE(checked);
}

}  // namespace
