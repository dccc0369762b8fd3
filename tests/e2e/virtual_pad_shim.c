// A game controller for the end-to-end tests, preloaded into the real program
// (LD_PRELOAD=this library). It plugs one of SDL's virtual controllers into the SDL2 the program
// loads and works its buttons as told by lines written to a FIFO:
//   plug                  waits until the program has loaded SDL2 and started its game
//                         controllers, plugs the pad in and waits until the program opened it
//   press BUTTON          pushes and lets go, each seen by the program's next poll
//   down BUTTON / up BUTTON
// BUTTON is south, east, west, north, back, start, rightshoulder, up, down, left or right.
// Each line done is answered with "ok LINE" (or "error LINE: why") appended to a status file.
// KESTROW_PAD_FIFO and KESTROW_PAD_STATUS name the two files; without them the library does
// nothing. Both and LD_PRELOAD are cleared at once, so that the program's own children do not
// get the pad.
#include <SDL.h>
#include <dlfcn.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

// How long each wait lasts at most, in steps of kStepMs.
enum { kStepMs = 50, kLoadWaitMs = 30000, kSeenWaitMs = 20000 };

#define PAD_FUNCTIONS(X)          \
  X(SDL_WasInit)                  \
  X(SDL_GetError)                 \
  X(SDL_JoystickAttachVirtual)    \
  X(SDL_JoystickOpen)             \
  X(SDL_JoystickInstanceID)       \
  X(SDL_JoystickSetVirtualButton) \
  X(SDL_JoystickGetButton)        \
  X(SDL_GameControllerFromInstanceID)

struct PadLibrary {
#define PAD_FIELD(name) __typeof__(&name) name;
  PAD_FUNCTIONS(PAD_FIELD)
#undef PAD_FIELD
};

struct PadButtonName {
  const char* name;
  SDL_GameControllerButton button;
};

static const struct PadButtonName kButtons[] = {
    {"south", SDL_CONTROLLER_BUTTON_A},
    {"east", SDL_CONTROLLER_BUTTON_B},
    {"west", SDL_CONTROLLER_BUTTON_X},
    {"north", SDL_CONTROLLER_BUTTON_Y},
    {"back", SDL_CONTROLLER_BUTTON_BACK},
    {"start", SDL_CONTROLLER_BUTTON_START},
    {"rightshoulder", SDL_CONTROLLER_BUTTON_RIGHTSHOULDER},
    {"up", SDL_CONTROLLER_BUTTON_DPAD_UP},
    {"down", SDL_CONTROLLER_BUTTON_DPAD_DOWN},
    {"left", SDL_CONTROLLER_BUTTON_DPAD_LEFT},
    {"right", SDL_CONTROLLER_BUTTON_DPAD_RIGHT},
};

static char* fifoPath;
static char* statusPath;
static struct PadLibrary sdl;
static SDL_Joystick* pad;

static void SleepStep(void) {
  struct timespec step = {0, kStepMs * 1000000L};
  nanosleep(&step, NULL);
}

// The SDL2 the program has loaded, never one of our own: NULL until it is there.
static void* LoadedSdl(void) {
  return dlopen(KESTROW_SDL2_FILE, RTLD_NOW | RTLD_NOLOAD);
}

static int FindFunctions(void* library) {
#define PAD_LOOKUP(name)                               \
  sdl.name = (__typeof__(&name))dlsym(library, #name); \
  if (sdl.name == NULL) return 0;
  PAD_FUNCTIONS(PAD_LOOKUP)
#undef PAD_LOOKUP
  return 1;
}

static int ControllersStarted(void) {
  return sdl.SDL_WasInit(SDL_INIT_GAMECONTROLLER) != 0;
}

static int ProgramOpenedPad(void) {
  return sdl.SDL_GameControllerFromInstanceID(sdl.SDL_JoystickInstanceID(pad)) != NULL;
}

// Calls READY every step until it is true; 0 after waitMs.
static int WaitFor(int (*ready)(void), int waitMs) {
  for (int waited = 0; waited < waitMs; waited += kStepMs) {
    if (ready()) return 1;
    SleepStep();
  }
  return ready();
}

static const char* Plug(void) {
  void* library = NULL;
  for (int waited = 0; library == NULL && waited < kLoadWaitMs; waited += kStepMs) {
    library = LoadedSdl();
    if (library == NULL) SleepStep();
  }
  if (library == NULL) return "the program did not load SDL2";
  if (!FindFunctions(library)) return "a function is missing from SDL2";
  if (!WaitFor(ControllersStarted, kLoadWaitMs)) return "game controllers never started";
  int index = sdl.SDL_JoystickAttachVirtual(SDL_JOYSTICK_TYPE_GAMECONTROLLER,
                                            SDL_CONTROLLER_AXIS_MAX, SDL_CONTROLLER_BUTTON_MAX, 0);
  if (index < 0) return sdl.SDL_GetError();
  pad = sdl.SDL_JoystickOpen(index);
  if (pad == NULL) return sdl.SDL_GetError();
  if (!WaitFor(ProgramOpenedPad, kSeenWaitMs)) return "the program did not open the pad";
  return NULL;
}

// Sets a button and waits until SDL's state shows it, which happens in the program's poll that
// also hands it the press or release.
static const char* SetButton(const char* name, Uint8 value) {
  if (pad == NULL) return "no pad plugged in";
  for (size_t i = 0; i < sizeof kButtons / sizeof kButtons[0]; ++i) {
    if (strcmp(name, kButtons[i].name) != 0) continue;
    if (sdl.SDL_JoystickSetVirtualButton(pad, kButtons[i].button, value) != 0) {
      return sdl.SDL_GetError();
    }
    for (int waited = 0; waited < kSeenWaitMs; waited += kStepMs) {
      if (sdl.SDL_JoystickGetButton(pad, kButtons[i].button) == value) return NULL;
      SleepStep();
    }
    return "the program did not poll the pad";
  }
  return "unknown button";
}

static const char* Run(const char* line) {
  char verb[16], button[32];
  if (strcmp(line, "plug") == 0) return Plug();
  if (sscanf(line, "%15s %31s", verb, button) != 2) return "unknown command";
  if (strcmp(verb, "down") == 0) return SetButton(button, 1);
  if (strcmp(verb, "up") == 0) return SetButton(button, 0);
  if (strcmp(verb, "press") != 0) return "unknown command";
  const char* failure = SetButton(button, 1);
  return failure != NULL ? failure : SetButton(button, 0);
}

static void Answer(const char* line, const char* failure) {
  FILE* status = fopen(statusPath, "a");
  if (status == NULL) return;
  if (failure == NULL) {
    fprintf(status, "ok %s\n", line);
  } else {
    fprintf(status, "error %s: %s\n", line, failure);
  }
  fclose(status);
}

static void* ServeCommands(void* unused) {
  (void)unused;
  FILE* commands = fopen(fifoPath, "r");
  if (commands == NULL) return NULL;
  char* line = NULL;
  size_t size = 0;
  ssize_t length;
  while ((length = getline(&line, &size, commands)) > 0) {
    if (line[length - 1] == '\n') line[length - 1] = '\0';
    Answer(line, Run(line));
  }
  free(line);
  fclose(commands);
  return NULL;
}

__attribute__((constructor)) static void StartVirtualPad(void) {
  const char* fifo = getenv("KESTROW_PAD_FIFO");
  const char* status = getenv("KESTROW_PAD_STATUS");
  if (fifo == NULL || status == NULL) return;
  fifoPath = strdup(fifo);
  statusPath = strdup(status);
  unsetenv("KESTROW_PAD_FIFO");
  unsetenv("KESTROW_PAD_STATUS");
  unsetenv("LD_PRELOAD");
  pthread_t thread;
  if (pthread_create(&thread, NULL, ServeCommands, NULL) == 0) pthread_detach(thread);
}
