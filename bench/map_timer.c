/* map_timer SETTLE_MS PROGRAM [ARG]...: starts PROGRAM and prints, on one line, the milliseconds
 * from its start to the first MapNotify of a 600 x 600 top-level window, and its resident memory
 * in kB SETTLE_MS later; then ends it with SIGTERM. Needs an X display without a window manager
 * (the window is a direct child of the root). */
#include <X11/Xlib.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

static double NowMs(void) {
  struct timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  return now.tv_sec * 1000.0 + now.tv_nsec / 1e6;
}

static long ResidentKb(pid_t pid) {
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/status", (int)pid);
  FILE* status = fopen(path, "r");
  if (!status) return -1;
  char line[256];
  long kb = -1;
  while (fgets(line, sizeof line, status)) {
    if (strncmp(line, "VmRSS:", 6) == 0) kb = strtol(line + 6, NULL, 10);
  }
  fclose(status);
  return kb;
}

int main(int argc, char** argv) {
  if (argc < 3) {
    fprintf(stderr, "usage: %s SETTLE_MS PROGRAM [ARG]...\n", argv[0]);
    return 2;
  }
  Display* display = XOpenDisplay(NULL);
  if (!display) {
    fprintf(stderr, "cannot open display\n");
    return 1;
  }
  Window root = DefaultRootWindow(display);
  XSelectInput(display, root, SubstructureNotifyMask);
  XSync(display, False);
  double start = NowMs();
  pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[2], argv + 2);
    _exit(127);
  }
  double mapped = -1;
  while (mapped < 0) {
    XEvent event;
    XNextEvent(display, &event);
    if (event.type != MapNotify) continue;
    XWindowAttributes attributes;
    if (!XGetWindowAttributes(display, event.xmap.window, &attributes)) continue;
    if (attributes.width == 600 && attributes.height == 600) mapped = NowMs() - start;
  }
  usleep((useconds_t)atoi(argv[1]) * 1000);
  printf("%.1f %ld\n", mapped, ResidentKb(pid));
  kill(pid, SIGTERM);
  waitpid(pid, NULL, 0);
  XCloseDisplay(display);
  return 0;
}
