/* cover_window X Y WIDTH HEIGHT: maps a plain window over that part of the screen, keeps it there
 * for 300 ms, then takes it away, so that whatever lay below must paint itself again. */
#include <X11/Xlib.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

int main(int argc, char** argv) {
  if (argc != 5) {
    fprintf(stderr, "usage: %s X Y WIDTH HEIGHT\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "cannot open display\n");
    return 1;
  }
  XSetWindowAttributes attributes = {0};
  attributes.override_redirect = True;
  attributes.background_pixel = WhitePixel(display, DefaultScreen(display));
  Window cover =
      XCreateWindow(display, DefaultRootWindow(display), atoi(argv[1]), atoi(argv[2]),
                    (unsigned)atoi(argv[3]), (unsigned)atoi(argv[4]), 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, cover);
  XSync(display, False);
  usleep(300000);
  XDestroyWindow(display, cover);
  XSync(display, False);
  XCloseDisplay(display);
  return 0;
}
