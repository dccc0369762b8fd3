// kestrow-assets OUTPUT_DIR: draws every image the game embeds and writes them as PNG files.
//
// The pictures are drawn with cairo and Pango, then turned into straight (not premultiplied)
// RGBA and written with libpng. Going through straight RGBA lets a few pixels carry exact
// colours at partial alpha (the translucent block, the ghost block, the see-through well), which
// cairo's own PNG writer cannot always express. Nothing depends on the clock or the
// environment: fonts are chosen by family and checked, so two runs write the same bytes.

#include <cairo.h>
#include <pango/pangocairo.h>
#include <png.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr const char* kSans = "Liberation Sans";
constexpr double kPi = 3.14159265358979323846;

struct Rgb {
  double r, g, b;
};

constexpr Rgb Bytes(int r, int g, int b) {
  return {r / 255.0, g / 255.0, b / 255.0};
}

Rgb Mix(Rgb a, Rgb b, double t) {
  return {a.r + (b.r - a.r) * t, a.g + (b.g - a.g) * t, a.b + (b.b - a.b) * t};
}

constexpr Rgb kWhite{1, 1, 1};
constexpr Rgb kBlack{0, 0, 0};

// The window body.
constexpr Rgb kOrangeTop = Bytes(255, 176, 74);
constexpr Rgb kOrangeMid = Bytes(250, 148, 40);
constexpr Rgb kOrangeBottom = Bytes(236, 118, 20);
constexpr Rgb kOrangeEdge = Bytes(150, 70, 8);
// Captions and light panels on the body.
constexpr Rgb kInk = Bytes(58, 30, 4);
constexpr Rgb kCaption = Bytes(122, 60, 6);
constexpr Rgb kCardTop = Bytes(255, 247, 232);
constexpr Rgb kCardBottom = Bytes(252, 234, 204);
constexpr Rgb kCardEdge = Bytes(176, 96, 22);
constexpr Rgb kField = Bytes(255, 253, 247);
// The board.
constexpr Rgb kBoardRim = Bytes(14, 52, 30);
constexpr Rgb kWell = Bytes(22, 82, 46);
constexpr Rgb kWellLight = Bytes(150, 230, 170);

// The see-through board: the desktop shows through the well at this alpha.
constexpr int kWellAlpha = 191;
constexpr int kPanelX = 23, kPanelY = 20, kPanelW = 305, kPanelH = 531;
constexpr int kWellX = 31, kWellY = 24, kCell = 29, kColumns = 10, kRows = 18;
constexpr int kWellW = kCell * kColumns, kWellH = kCell * kRows;

// The window body inside the 600 x 600 window, leaving room for its shadow.
constexpr double kBodyX = 7, kBodyY = 5, kBodyW = 585, kBodyH = 566, kBodyRadius = 22;

constexpr int kButtonX = 353, kButtonY = 442, kButtonStep = 22, kButtonW = 202, kButtonH = 21;
constexpr const char* kButtonCaptions[] = {"Nouvelle partie", "Effacer la liste", "Préférences",
                                           "Aide", "Quitter"};
constexpr const char* kButtonNames[] = {"BN", "BE", "BP", "BA", "BQ"};

struct Block {
  const char* name;
  int r, g, b;
};
constexpr Block kBlocks[] = {{"B1", 255, 252, 0},  {"B2", 132, 230, 37},  {"B3", 42, 194, 146},
                             {"B4", 90, 116, 255}, {"B6", 199, 119, 255}, {"B7", 255, 77, 203},
                             {"B8", 252, 194, 18}, {"B9", 252, 68, 29}};

// ---------------------------------------------------------------------------------------------
// Surfaces, pixels and files.

// An image of `scale` pixels per unit of its drawing: every picture is described once in the
// game's window pixels and drawn at each scale from that description.
cairo_surface_t* ScaledImage(cairo_format_t format, int width, int height, int scale) {
  cairo_surface_t* surface = cairo_image_surface_create(format, width * scale, height * scale);
  cairo_surface_set_device_scale(surface, scale, scale);
  return surface;
}

struct Surface {
  cairo_surface_t* surface;
  cairo_t* cr;
  int scale;

  Surface(int width, int height, int scale, cairo_format_t format = CAIRO_FORMAT_ARGB32)
      : surface(ScaledImage(format, width, height, scale)),
        cr(cairo_create(surface)),
        scale(scale) {}
  ~Surface() {
    cairo_destroy(cr);
    cairo_surface_destroy(surface);
  }
  Surface(const Surface&) = delete;
  Surface& operator=(const Surface&) = delete;

  // The size in drawing units.
  int Width() const { return cairo_image_surface_get_width(surface) / scale; }
  int Height() const { return cairo_image_surface_get_height(surface) / scale; }
};

// An image with straight alpha, as stored in a PNG file.
struct Pixels {
  int width = 0, height = 0;
  std::vector<uint8_t> rgba;

  uint8_t* At(int x, int y) { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
  const uint8_t* At(int x, int y) const { return &rgba[(static_cast<size_t>(y) * width + x) * 4]; }
};

Pixels ToStraight(cairo_surface_t* surface) {
  cairo_surface_flush(surface);
  Pixels out;
  out.width = cairo_image_surface_get_width(surface);
  out.height = cairo_image_surface_get_height(surface);
  out.rgba.resize(static_cast<size_t>(out.width) * out.height * 4);
  const unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < out.height; ++y) {
    const auto* row = reinterpret_cast<const uint32_t*>(data + static_cast<size_t>(y) * stride);
    for (int x = 0; x < out.width; ++x) {
      const uint32_t p = row[x];
      const uint32_t a = p >> 24;
      uint8_t* o = out.At(x, y);
      if (a == 0) {
        o[0] = o[1] = o[2] = o[3] = 0;
        continue;
      }
      const uint32_t c[3] = {(p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff};
      for (int i = 0; i < 3; ++i) o[i] = static_cast<uint8_t>((c[i] * 255 + a / 2) / a);
      o[3] = static_cast<uint8_t>(a);
    }
  }
  return out;
}

// libpng reports errors by longjmp, so the calls that may fail live in a frame of their own.
bool WriteRows(png_structp png, png_infop info, FILE* file, const Pixels& image, png_bytep* rows) {
  if (setjmp(png_jmpbuf(png)) != 0) return false;
  png_init_io(png, file);
  png_set_compression_level(png, 9);
  png_set_IHDR(png, info, image.width, image.height, 8, PNG_COLOR_TYPE_RGB_ALPHA,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, info);
  return true;
}

bool WritePng(const std::string& path, const Pixels& image) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  std::vector<png_bytep> rows(image.height);
  for (int y = 0; y < image.height; ++y) rows[y] = const_cast<png_bytep>(image.At(0, y));
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png ? png_create_info_struct(png) : nullptr;
  const bool ok = info && WriteRows(png, info, file, image, rows.data());
  png_destroy_write_struct(&png, &info);
  return std::fclose(file) == 0 && ok;
}

// Fills `target` with the part of `source` whose top-left corner is (x, y).
void CopyInto(Surface& target, cairo_surface_t* source, double x, double y) {
  cairo_save(target.cr);
  cairo_set_operator(target.cr, CAIRO_OPERATOR_SOURCE);
  cairo_set_source_surface(target.cr, source, -x, -y);
  cairo_paint(target.cr);
  cairo_restore(target.cr);
}

// ---------------------------------------------------------------------------------------------
// Drawing helpers.

void SetColor(cairo_t* cr, Rgb c, double alpha = 1.0) {
  cairo_set_source_rgba(cr, c.r, c.g, c.b, alpha);
}

void RoundedRect(cairo_t* cr, double x, double y, double w, double h, double r) {
  cairo_new_sub_path(cr);
  cairo_arc(cr, x + w - r, y + r, r, -kPi / 2, 0);
  cairo_arc(cr, x + w - r, y + h - r, r, 0, kPi / 2);
  cairo_arc(cr, x + r, y + h - r, r, kPi / 2, kPi);
  cairo_arc(cr, x + r, y + r, r, kPi, 3 * kPi / 2);
  cairo_close_path(cr);
}

void VerticalGradient(cairo_t* cr, double y0, double y1,
                      std::initializer_list<std::pair<double, Rgb>> stops, double alpha = 1.0) {
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y0, 0, y1);
  for (const auto& [offset, c] : stops)
    cairo_pattern_add_color_stop_rgba(p, offset, c.r, c.g, c.b, alpha);
  cairo_set_source(cr, p);
  cairo_pattern_destroy(p);
}

// Three passes of a box blur over an 8-bit mask approximate a Gaussian; integer sums keep the
// result exact and leave everything beyond 3 * radius untouched.
void BlurMask(cairo_surface_t* mask, int radius) {
  cairo_surface_flush(mask);
  unsigned char* data = cairo_image_surface_get_data(mask);
  const int w = cairo_image_surface_get_width(mask);
  const int h = cairo_image_surface_get_height(mask);
  const int stride = cairo_image_surface_get_stride(mask);
  const int window = 2 * radius + 1;
  std::vector<int> line(std::max(w, h));
  auto pass = [&](int count, int length, auto at) {
    for (int i = 0; i < count; ++i) {
      for (int j = 0; j < length; ++j) line[j] = *at(i, j);
      int sum = 0;
      for (int j = -radius; j <= radius; ++j) sum += (j >= 0 && j < length) ? line[j] : 0;
      for (int j = 0; j < length; ++j) {
        *at(i, j) = static_cast<unsigned char>((sum + window / 2) / window);
        const int out = j - radius, in = j + radius + 1;
        if (out >= 0) sum -= line[out];
        if (in < length) sum += line[in];
      }
    }
  };
  for (int round = 0; round < 3; ++round) {
    pass(h, w, [&](int y, int x) { return data + y * stride + x; });
    pass(w, h, [&](int x, int y) { return data + y * stride + x; });
  }
  cairo_surface_mark_dirty(mask);
}

int ScaleOf(cairo_t* cr) {
  double scaleX = 1;
  double scaleY = 1;
  cairo_surface_get_device_scale(cairo_get_target(cr), &scaleX, &scaleY);
  return static_cast<int>(scaleX);
}

// Paints a soft shadow of whatever `shape` fills, offset by (dx, dy).
void DropShadow(cairo_t* cr, int width, int height, const std::function<void(cairo_t*)>& shape,
                double dx, double dy, int radius, double opacity) {
  const int scale = ScaleOf(cr);
  Surface mask(width, height, scale, CAIRO_FORMAT_A8);
  cairo_translate(mask.cr, dx, dy);
  shape(mask.cr);
  BlurMask(mask.surface, radius * scale);
  cairo_save(cr);
  cairo_set_source_rgba(cr, 0, 0, 0, opacity);
  cairo_mask_surface(cr, mask.surface, 0, 0);
  cairo_restore(cr);
}

// ---------------------------------------------------------------------------------------------
// Text.

struct Font {
  double px;
  PangoWeight weight = PANGO_WEIGHT_BOLD;
  PangoStyle style = PANGO_STYLE_NORMAL;
};

PangoLayout* MakeLayout(cairo_t* cr, const char* text, const Font& font) {
  PangoLayout* layout = pango_cairo_create_layout(cr);
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  pango_cairo_context_set_font_options(pango_layout_get_context(layout), options);
  cairo_font_options_destroy(options);
  pango_layout_context_changed(layout);
  PangoFontDescription* desc = pango_font_description_new();
  pango_font_description_set_family(desc, kSans);
  pango_font_description_set_weight(desc, font.weight);
  pango_font_description_set_style(desc, font.style);
  pango_font_description_set_absolute_size(desc, font.px * PANGO_SCALE);
  pango_layout_set_font_description(layout, desc);
  pango_font_description_free(desc);
  pango_layout_set_text(layout, text, -1);
  return layout;
}

// Horizontal extent of the ink and the baseline offset of a layout, in pixels.
struct TextBox {
  double ink_x, ink_width, baseline;
};

TextBox Measure(PangoLayout* layout) {
  PangoRectangle ink;
  pango_layout_get_extents(layout, &ink, nullptr);
  return {ink.x / double(PANGO_SCALE), ink.width / double(PANGO_SCALE),
          pango_layout_get_baseline(layout) / double(PANGO_SCALE)};
}

enum class Align { kLeft, kCentre, kRight };

// Draws one line of text with its baseline at `baseline`, placed in [x, x + width].
void DrawText(cairo_t* cr, const char* text, const Font& font, Rgb color, double x, double width,
              double baseline, Align align) {
  PangoLayout* layout = MakeLayout(cr, text, font);
  const TextBox box = Measure(layout);
  double left = x - box.ink_x;
  if (align == Align::kCentre) left = std::round(x + (width - box.ink_width) / 2 - box.ink_x);
  if (align == Align::kRight) left = x + width - box.ink_width - box.ink_x;
  cairo_move_to(cr, left, baseline - box.baseline);
  SetColor(cr, color);
  pango_cairo_show_layout(cr, layout);
  g_object_unref(layout);
}

// Where a layout starts so that its ink is centred on cx.
double CentredLeft(PangoLayout* layout, double cx) {
  const TextBox box = Measure(layout);
  return cx - box.ink_width / 2 - box.ink_x;
}

// The outline of a text, centred on (cx, baseline), added to the current path of `cr`.
void TextPath(cairo_t* cr, const char* text, const Font& font, double cx, double baseline) {
  PangoLayout* layout = MakeLayout(cr, text, font);
  cairo_move_to(cr, CentredLeft(layout, cx), baseline - Measure(layout).baseline);
  pango_cairo_layout_path(cr, layout);
  g_object_unref(layout);
}

// The font must be the one we ask for: a fallback would silently change every image.
bool CheckFont() {
  PangoFontMap* map = pango_cairo_font_map_get_default();
  PangoContext* context = pango_font_map_create_context(map);
  PangoFontDescription* desc = pango_font_description_from_string("Liberation Sans Bold 20px");
  PangoFont* font = pango_font_map_load_font(map, context, desc);
  bool ok = false;
  if (font) {
    PangoFontDescription* got = pango_font_describe(font);
    ok = std::string(pango_font_description_get_family(got)) == kSans;
    pango_font_description_free(got);
    g_object_unref(font);
  }
  pango_font_description_free(desc);
  g_object_unref(context);
  return ok;
}

// Big yellow lettering with a dark outline and a soft shadow, readable over any board.
void DrawBanner(Surface& s, const std::vector<const char*>& lines, double px, double line_gap) {
  const Font font{px, PANGO_WEIGHT_HEAVY};
  const double cx = s.Width() / 2.0;
  // Baselines chosen so that the block of capital-height lines sits in the middle.
  const double cap = px * 0.72;
  const double total = cap * lines.size() + line_gap * (lines.size() - 1);
  const double first = (s.Height() - total) / 2 + cap - 2;
  auto path = [&](cairo_t* cr) {
    for (size_t i = 0; i < lines.size(); ++i)
      TextPath(cr, lines[i], font, cx, first + i * (cap + line_gap));
  };
  DropShadow(
      s.cr, s.Width(), s.Height(),
      [&](cairo_t* cr) {
        path(cr);
        cairo_set_line_width(cr, 7);
        cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
        cairo_stroke_preserve(cr);
        cairo_fill(cr);
      },
      2, 4, 3, 0.6);
  cairo_t* cr = s.cr;
  path(cr);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, 6);
  SetColor(cr, Bytes(70, 28, 0));
  cairo_stroke_preserve(cr);
  VerticalGradient(
      cr, first - cap, first + (lines.size() - 1) * (cap + line_gap),
      {{0, Bytes(255, 252, 170)}, {0.45, Bytes(255, 236, 40)}, {1, Bytes(255, 184, 0)}});
  cairo_fill(cr);
  // A thin light rim inside the outline makes the letters look embossed.
  path(cr);
  cairo_set_line_width(cr, 1.2);
  SetColor(cr, kWhite, 0.35);
  cairo_stroke(cr);
}

// ---------------------------------------------------------------------------------------------
// Blocks.

// A bevelled square of `size` pixels whose flat centre has exactly the colour `face`. Small
// squares (the icon's) drop the dark outline, which would swallow their colour.
void DrawBlock(cairo_t* cr, double x, double y, double size, Rgb face) {
  const bool outlined = size >= 12;
  const double o = outlined ? 1 : 0;
  const double bevel = std::max(1.0, std::round(size * 0.12));
  const Rgb light = Mix(face, kWhite, 0.55);
  const Rgb dark = Mix(face, kBlack, 0.35);
  const Rgb edge = Mix(face, kBlack, 0.55);
  const double x1 = x + size, y1 = y + size;
  const double ix = x + o + bevel, iy = y + o + bevel;
  const double ix1 = x1 - o - bevel, iy1 = y1 - o - bevel;

  if (outlined) {
    cairo_rectangle(cr, x, y, size, size);
    SetColor(cr, edge);
    cairo_fill(cr);
  }
  cairo_rectangle(cr, x + o, y + o, size - 2 * o, size - 2 * o);
  SetColor(cr, face);
  cairo_fill(cr);
  // Light from the top left: two lit sides, two shaded ones, with mitred corners.
  cairo_move_to(cr, x + o, y + o);
  cairo_line_to(cr, x1 - o, y + o);
  cairo_line_to(cr, ix1, iy);
  cairo_line_to(cr, ix, iy);
  cairo_line_to(cr, ix, iy1);
  cairo_line_to(cr, x + o, y1 - o);
  cairo_close_path(cr);
  SetColor(cr, light);
  cairo_fill(cr);
  cairo_move_to(cr, x1 - o, y1 - o);
  cairo_line_to(cr, x + o, y1 - o);
  cairo_line_to(cr, ix, iy1);
  cairo_line_to(cr, ix1, iy1);
  cairo_line_to(cr, ix1, iy);
  cairo_line_to(cr, x1 - o, y + o);
  cairo_close_path(cr);
  SetColor(cr, dark);
  cairo_fill(cr);
  // A gloss over the upper part of the face that fades out before the middle.
  const double gloss_end = y + size * 0.44;
  if (gloss_end > iy + 1) {
    cairo_rectangle(cr, ix, iy, ix1 - ix, gloss_end - iy);
    cairo_pattern_t* gloss = cairo_pattern_create_linear(0, iy, 0, gloss_end);
    cairo_pattern_add_color_stop_rgba(gloss, 0, 1, 1, 1, 0.5);
    cairo_pattern_add_color_stop_rgba(gloss, 1, 1, 1, 1, 0);
    cairo_set_source(cr, gloss);
    cairo_fill(cr);
    cairo_pattern_destroy(gloss);
  }
}

Pixels MakeBlock(const Block& block, int scale) {
  Surface s(kCell, kCell, scale);
  DrawBlock(s.cr, 0, 0, kCell, Bytes(block.r, block.g, block.b));
  return ToStraight(s.surface);
}

// The ghost piece: a faint light-grey square with a clearer rim, built in straight alpha so that
// its face is exactly grey 241 at alpha 38.
Pixels MakeGhost(int scale) {
  const int size = kCell * scale;
  Pixels out;
  out.width = out.height = size;
  out.rgba.resize(static_cast<size_t>(size) * size * 4);
  for (int y = 0; y < size; ++y) {
    for (int x = 0; x < size; ++x) {
      const int ring = std::min(std::min(x, y), std::min(size - 1 - x, size - 1 - y)) / scale;
      int alpha = 38;
      if (ring == 0) alpha = 150;
      if (ring == 1) alpha = 96;
      if (ring == 2) alpha = 56;
      uint8_t* p = out.At(x, y);
      p[0] = p[1] = p[2] = 241;
      p[3] = static_cast<uint8_t>(alpha);
    }
  }
  return out;
}

// ---------------------------------------------------------------------------------------------
// The window.

void BodyPath(cairo_t* cr) {
  RoundedRect(cr, kBodyX, kBodyY, kBodyW, kBodyH, kBodyRadius);
}

// The orange body with its shadow, without anything on it.
void DrawBody(Surface& s) {
  cairo_t* cr = s.cr;
  DropShadow(
      cr, s.Width(), s.Height(),
      [](cairo_t* c) {
        BodyPath(c);
        cairo_fill(c);
      },
      0, 3, 2, 0.5);
  BodyPath(cr);
  VerticalGradient(cr, kBodyY, kBodyY + kBodyH,
                   {{0, kOrangeTop}, {0.35, kOrangeMid}, {1, kOrangeBottom}});
  cairo_fill(cr);
  // A soft sheen across the top of the body.
  RoundedRect(cr, kBodyX + 3, kBodyY + 3, kBodyW - 6, 80, kBodyRadius - 3);
  cairo_pattern_t* sheen = cairo_pattern_create_linear(0, kBodyY, 0, kBodyY + 80);
  cairo_pattern_add_color_stop_rgba(sheen, 0, 1, 1, 1, 0.28);
  cairo_pattern_add_color_stop_rgba(sheen, 1, 1, 1, 1, 0);
  cairo_set_source(cr, sheen);
  cairo_fill(cr);
  cairo_pattern_destroy(sheen);
  // Rim: a light inner line and a dark outer one.
  RoundedRect(cr, kBodyX + 2, kBodyY + 2, kBodyW - 4, kBodyH - 4, kBodyRadius - 2);
  SetColor(cr, kWhite, 0.35);
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
  RoundedRect(cr, kBodyX + 0.75, kBodyY + 0.75, kBodyW - 1.5, kBodyH - 1.5, kBodyRadius - 0.75);
  SetColor(cr, kOrangeEdge);
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
}

// The board panel, drawn in its own 305 x 531 frame; `cr` already holds the body under it.
void DrawBoardPanel(cairo_t* cr) {
  const double wx = kWellX - kPanelX, wy = kWellY - kPanelY;
  RoundedRect(cr, 0, 0, kPanelW, kPanelH, 7);
  VerticalGradient(cr, 0, kPanelH, {{0, Mix(kBoardRim, kWhite, 0.08)}, {1, kBoardRim}});
  cairo_fill(cr);
  RoundedRect(cr, 0.5, 0.5, kPanelW - 1, kPanelH - 1, 6.5);
  SetColor(cr, Bytes(6, 26, 14));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
  // A light line around the well, so it looks set into the rim.
  cairo_rectangle(cr, wx - 0.5, wy - 0.5, kWellW + 1, kWellH + 1);
  SetColor(cr, kWellLight, 0.35);
  cairo_stroke(cr);

  cairo_save(cr);
  cairo_rectangle(cr, wx, wy, kWellW, kWellH);
  cairo_clip(cr);
  VerticalGradient(cr, wy, wy + kWellH, {{0, Mix(kWell, kBlack, 0.15)}, {1, kWell}});
  cairo_paint(cr);
  // A faint grid on the cell boundaries.
  for (int c = 1; c < kColumns; ++c) cairo_rectangle(cr, wx + c * kCell, wy, 1, kWellH);
  for (int r = 1; r < kRows; ++r) cairo_rectangle(cr, wx, wy + r * kCell, kWellW, 1);
  SetColor(cr, kWellLight, 0.07);
  cairo_fill(cr);
  // The name, large and diagonal, barely lighter than the well.
  cairo_save(cr);
  cairo_translate(cr, wx + kWellW / 2.0, wy + kWellH / 2.0);
  cairo_rotate(cr, -std::atan2(kWellH, kWellW));
  TextPath(cr, "Kestrow", Font{118, PANGO_WEIGHT_HEAVY}, 0, 40);
  SetColor(cr, kWellLight, 0.07);
  cairo_fill_preserve(cr);
  SetColor(cr, kWellLight, 0.10);
  cairo_set_line_width(cr, 2);
  cairo_stroke(cr);
  cairo_restore(cr);
  // Inner shadow along the top and left edges.
  cairo_pattern_t* top = cairo_pattern_create_linear(0, wy, 0, wy + 10);
  cairo_pattern_add_color_stop_rgba(top, 0, 0, 0, 0, 0.35);
  cairo_pattern_add_color_stop_rgba(top, 1, 0, 0, 0, 0);
  cairo_set_source(cr, top);
  cairo_paint(cr);
  cairo_pattern_destroy(top);
  cairo_pattern_t* left = cairo_pattern_create_linear(wx, 0, wx + 8, 0);
  cairo_pattern_add_color_stop_rgba(left, 0, 0, 0, 0, 0.25);
  cairo_pattern_add_color_stop_rgba(left, 1, 0, 0, 0, 0);
  cairo_set_source(cr, left);
  cairo_paint(cr);
  cairo_pattern_destroy(left);
  cairo_restore(cr);
}

// A light rounded card on the body, with a small shadow under it.
void DrawCard(Surface& s, double x, double y, double w, double h) {
  cairo_t* cr = s.cr;
  DropShadow(
      cr, s.Width(), s.Height(),
      [&](cairo_t* c) {
        RoundedRect(c, x, y, w, h, 8);
        cairo_fill(c);
      },
      0, 2, 1, 0.35);
  RoundedRect(cr, x, y, w, h, 8);
  VerticalGradient(cr, y, y + h, {{0, kCardTop}, {1, kCardBottom}});
  cairo_fill(cr);
  RoundedRect(cr, x + 0.5, y + 0.5, w - 1, h - 1, 7.5);
  SetColor(cr, kCardEdge);
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

// A sunken light field where the game writes text or draws the next piece.
void DrawField(cairo_t* cr, double x, double y, double w, double h) {
  RoundedRect(cr, x, y, w, h, 3);
  SetColor(cr, kField);
  cairo_fill(cr);
  cairo_save(cr);
  RoundedRect(cr, x, y, w, h, 3);
  cairo_clip(cr);
  cairo_pattern_t* p = cairo_pattern_create_linear(0, y, 0, y + 5);
  cairo_pattern_add_color_stop_rgba(p, 0, 0.45, 0.25, 0.05, 0.22);
  cairo_pattern_add_color_stop_rgba(p, 1, 0.45, 0.25, 0.05, 0);
  cairo_set_source(cr, p);
  cairo_paint(cr);
  cairo_pattern_destroy(p);
  cairo_restore(cr);
  RoundedRect(cr, x - 0.5, y - 0.5, w + 1, h + 1, 3.5);
  SetColor(cr, Bytes(196, 132, 66));
  cairo_set_line_width(cr, 1);
  cairo_stroke(cr);
}

// The game's name, each letter in the colour of a block, outlined.
void DrawTitle(Surface& s) {
  const Font font{54, PANGO_WEIGHT_HEAVY, PANGO_STYLE_ITALIC};
  const double cx = 462, baseline = 66;
  const char* name = "Kestrow";
  DropShadow(
      s.cr, s.Width(), s.Height(),
      [&](cairo_t* c) {
        TextPath(c, name, font, cx, baseline);
        cairo_set_line_width(c, 6);
        cairo_stroke_preserve(c);
        cairo_fill(c);
      },
      2, 3, 2, 0.45);
  cairo_t* cr = s.cr;
  TextPath(cr, name, font, cx, baseline);
  cairo_set_line_join(cr, CAIRO_LINE_JOIN_ROUND);
  cairo_set_line_width(cr, 5);
  SetColor(cr, Bytes(70, 28, 0));
  cairo_stroke_preserve(cr);
  cairo_fill(cr);

  // Each letter in its own colour, placed where the whole word's layout puts it.
  PangoLayout* word = MakeLayout(cr, name, font);
  const double left = CentredLeft(word, cx);
  const Block* colors[] = {&kBlocks[0], &kBlocks[1], &kBlocks[2], &kBlocks[3],
                           &kBlocks[4], &kBlocks[5], &kBlocks[7]};
  for (int i = 0; name[i]; ++i) {
    PangoRectangle pos;
    pango_layout_index_to_pos(word, i, &pos);
    const char letter[] = {name[i], 0};
    PangoLayout* layout = MakeLayout(cr, letter, font);
    cairo_move_to(cr, left + pos.x / double(PANGO_SCALE), baseline - Measure(layout).baseline);
    pango_cairo_layout_path(cr, layout);
    g_object_unref(layout);
    const Rgb c = Bytes(colors[i]->r, colors[i]->g, colors[i]->b);
    VerticalGradient(cr, baseline - 42, baseline,
                     {{0, Mix(c, kWhite, 0.45)}, {0.5, c}, {1, Mix(c, kBlack, 0.12)}});
    cairo_fill(cr);
  }
  g_object_unref(word);
  TextPath(cr, name, font, cx, baseline);
  SetColor(cr, Bytes(70, 28, 0));
  cairo_set_line_width(cr, 1.5);
  cairo_stroke(cr);
}

constexpr Font kButtonFont{13};
constexpr Font kCaptionFont{11};

double ButtonTop(int k) {
  return kButtonY + kButtonStep * k;
}
// Every caption sits on the same baseline within its 21-pixel button.
constexpr double kButtonBaseline = 15;

// A button face: the normal one is a faint outline, the hot one a bright bar.
void DrawButton(cairo_t* cr, double x, double y, const char* caption, bool hot) {
  if (hot) {
    RoundedRect(cr, x + 0.5, y + 0.5, kButtonW - 1, kButtonH - 1, 5);
    VerticalGradient(
        cr, y, y + kButtonH,
        {{0, Bytes(255, 246, 190)}, {0.5, Bytes(255, 220, 96)}, {1, Bytes(255, 196, 40)}});
    cairo_fill_preserve(cr);
    SetColor(cr, Bytes(160, 78, 6));
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  } else {
    RoundedRect(cr, x + 0.5, y + 0.5, kButtonW - 1, kButtonH - 1, 5);
    SetColor(cr, kWhite, 0.10);
    cairo_fill_preserve(cr);
    SetColor(cr, kOrangeEdge, 0.28);
    cairo_set_line_width(cr, 1);
    cairo_stroke(cr);
  }
  DrawText(cr, caption, kButtonFont, hot ? Bytes(40, 18, 0) : kInk, x, kButtonW,
           y + kButtonBaseline, Align::kCentre);
}

struct Window {
  Pixels fond, fond_opaque;
  std::vector<Pixels> hot_buttons;
};

Window MakeWindow(int scale) {
  Surface body(600, 600, scale);
  DrawBody(body);

  // The opaque board: the body under its rounded corners, then the panel.
  Surface board(kPanelW, kPanelH, scale);
  CopyInto(board, body.surface, kPanelX, kPanelY);
  DrawBoardPanel(board.cr);

  Window out;
  for (int k = 0; k < 5; ++k) {
    Surface hot(kButtonW, kButtonH, scale);
    CopyInto(hot, body.surface, kButtonX, ButtonTop(k));
    DrawButton(hot.cr, 0, 0, kButtonCaptions[k], true);
    out.hot_buttons.push_back(ToStraight(hot.surface));
  }

  Surface fond(600, 600, scale);
  CopyInto(fond, body.surface, 0, 0);
  cairo_t* cr = fond.cr;
  cairo_set_source_surface(cr, board.surface, kPanelX, kPanelY);
  cairo_paint(cr);
  DrawTitle(fond);

  // Next piece, chronometer and score.
  DrawCard(fond, 349, 74, 227, 91);
  DrawField(cr, 374, 80, 64, 64);
  DrawField(cr, 456, 92, 112, 22);
  DrawField(cr, 456, 122, 112, 28);
  DrawText(cr, "Chronomètre", kCaptionFont, kCaption, 456, 112, 89, Align::kCentre);
  DrawText(cr, "Points", kCaptionFont, kCaption, 456, 112, 161, Align::kCentre);

  // The best times, one row in two slightly darker.
  DrawCard(fond, 349, 168, 227, 267);
  for (int i = 1; i < 16; i += 2) cairo_rectangle(cr, 352, 173 + 16 * i, 221, 16);
  SetColor(cr, Bytes(235, 180, 110), 0.22);
  cairo_fill(cr);

  for (int k = 0; k < 5; ++k) DrawButton(cr, kButtonX, ButtonTop(k), kButtonCaptions[k], false);

  out.fond = ToStraight(fond.surface);
  out.fond_opaque = ToStraight(board.surface);
  // The desktop shows through the well: same colours as the opaque board, fixed alpha.
  for (int y = kWellY * scale; y < (kWellY + kWellH) * scale; ++y)
    for (int x = kWellX * scale; x < (kWellX + kWellW) * scale; ++x)
      out.fond.At(x, y)[3] = kWellAlpha;
  return out;
}

// ---------------------------------------------------------------------------------------------
// The icon: four blocks on an orange tile.

Pixels MakeIcon(int size) {
  Surface s(size, size, 1);
  cairo_t* cr = s.cr;
  // Large icons keep a margin for a shadow; small ones use every pixel.
  const double margin = size >= 48 ? std::round(size / 24.0) : 0;
  const double tile = size - 2 * margin;
  const double radius = tile * 0.2;
  if (margin > 0) {
    DropShadow(
        cr, size, size,
        [&](cairo_t* c) {
          RoundedRect(c, margin, margin, tile, tile, radius);
          cairo_fill(c);
        },
        0, margin / 3, std::max(1, static_cast<int>(margin / 4)), 0.45);
  }
  RoundedRect(cr, margin, margin, tile, tile, radius);
  VerticalGradient(cr, margin, margin + tile,
                   {{0, kOrangeTop}, {0.4, kOrangeMid}, {1, kOrangeBottom}});
  cairo_fill(cr);
  const double rim = std::max(1.0, std::round(size / 40.0));
  RoundedRect(cr, margin + rim / 2, margin + rim / 2, tile - rim, tile - rim, radius - rim / 2);
  SetColor(cr, kOrangeEdge);
  cairo_set_line_width(cr, rim);
  cairo_stroke(cr);

  // Two by two blocks, on whole pixels so that they stay crisp at small sizes.
  const int gap = size < 24 ? 0 : std::max(1, size / 48);
  const int inset = static_cast<int>(margin) + std::max(2, static_cast<int>(size * 0.13));
  const int block = (size - 2 * inset - gap) / 2;
  const int start = (size - 2 * block - gap) / 2;
  const Block* colors[] = {&kBlocks[0], &kBlocks[5], &kBlocks[3], &kBlocks[1]};
  for (int i = 0; i < 4; ++i) {
    const Block& b = *colors[i];
    const int x = start + (i % 2) * (block + gap), y = start + (i / 2) * (block + gap);
    DrawBlock(cr, x, y, block, Bytes(b.r, b.g, b.b));
  }
  return ToStraight(s.surface);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s OUTPUT_DIR\n", argv[0]);
    return 2;
  }
  if (!CheckFont()) {
    std::fprintf(stderr, "%s: the font \"%s\" is not installed\n", argv[0], kSans);
    return 1;
  }
  const std::string dir = argv[1];
  bool ok = true;
  auto write = [&](const std::string& name, const Pixels& image) {
    const std::string path = dir + "/" + name + ".png";
    if (!WritePng(path, image)) {
      std::fprintf(stderr, "%s: cannot write %s\n", argv[0], path.c_str());
      ok = false;
    }
  };

  // The window's images at their size, and twice as large ("NAME@2x") for HiDPI displays.
  for (int scale : {1, 2}) {
    const std::string suffix = scale == 1 ? "" : "@2x";
    auto writeScaled = [&](const std::string& name, const Pixels& image) {
      write(name + suffix, image);
    };
    const Window window = MakeWindow(scale);
    writeScaled("Fond", window.fond);
    writeScaled("FondO", window.fond_opaque);
    for (int k = 0; k < 5; ++k) writeScaled(kButtonNames[k], window.hot_buttons[k]);

    for (const Block& block : kBlocks) writeScaled(block.name, MakeBlock(block, scale));
    // The translucent block is the yellow one at half alpha.
    Pixels translucent = MakeBlock(kBlocks[0], scale);
    for (size_t i = 3; i < translucent.rgba.size(); i += 4)
      translucent.rgba[i] = static_cast<uint8_t>((translucent.rgba[i] * 128 + 127) / 255);
    writeScaled("B5", translucent);
    writeScaled("OB", MakeGhost(scale));

    Surface gameOver(234, 149, scale);
    DrawBanner(gameOver, {"Game", "Over"}, 60, 14);
    writeScaled("GO", ToStraight(gameOver.surface));
    Surface bravo(250, 75, scale);
    DrawBanner(bravo, {"Bravo"}, 58, 0);
    writeScaled("BRAVO", ToStraight(bravo.surface));
  }
  for (int size : {256, 128, 48, 32, 16}) write("SYSTRAY_" + std::to_string(size), MakeIcon(size));
  return ok ? 0 : 1;
}
