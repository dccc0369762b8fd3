// Cost of one push of the 600 x 600 surface to the X server (run under Xvfb).
#include <benchmark/benchmark.h>
#include <cairo.h>

#include "platform/pixels.h"
#include "platform/windows.h"

namespace {

intptr_t PlainWindowProc(WindowHandle, uint32_t, intptr_t, intptr_t) {
  return 0;
}

void QuitLoop(WindowHandle, uint32_t, uintptr_t, uint32_t) {
  PlatformPostQuitMessage(0);
}

struct PushFixture {
  WindowHandle window;
  cairo_surface_t* surface;
  cairo_t* cr;
};

PushFixture OpenWindow() {
  PlatformStart();
  PushFixture fixture{};
  fixture.window = PlatformCreateLayeredWindow("Kestrow", 212, 84, 600, 600, PlainWindowProc);
  fixture.surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, 600, 600);
  fixture.cr = cairo_create(fixture.surface);
  cairo_set_source_rgba(fixture.cr, 0.9, 0.5, 0.1, 0.9);
  cairo_paint(fixture.cr);
  // Let the window be mapped before measuring.
  PlatformSetTimer(fixture.window, 9, 200, QuitLoop);
  PlatformRunMessageLoop();
  return fixture;
}

void Push(const PushFixture& fixture, PixelRect changed) {
  cairo_surface_flush(fixture.surface);
  PlatformUpdateLayeredWindow(fixture.window, cairo_image_surface_get_data(fixture.surface), 600,
                              600, cairo_image_surface_get_stride(fixture.surface), 1, changed);
}

// The chronometer's box changes, as on every game tick.
void PushSmallChange(benchmark::State& state) {
  static PushFixture fixture = OpenWindow();
  double shade = 0;
  for (auto _ : state) {
    shade = shade > 0.9 ? 0 : shade + 0.05;
    cairo_set_source_rgba(fixture.cr, shade, shade, shade, 1);
    cairo_rectangle(fixture.cr, 457, 92, 110, 22);
    cairo_fill(fixture.cr);
    Push(fixture, {457, 92, 110, 22});
  }
}
BENCHMARK(PushSmallChange);

// Every pixel changes, as at the first composition.
void PushWholeSurface(benchmark::State& state) {
  static PushFixture fixture = OpenWindow();
  double shade = 0;
  for (auto _ : state) {
    shade = shade > 0.9 ? 0 : shade + 0.05;
    cairo_set_source_rgba(fixture.cr, shade, 0.4, 0.2, 1);
    cairo_paint(fixture.cr);
    Push(fixture, {0, 0, 600, 600});
  }
}
BENCHMARK(PushWholeSurface);

}  // namespace

BENCHMARK_MAIN();
