// SDL2 loaded at run time by name, by the first call the game controllers or the audio output
// make, after the window is up: with the audio-server and sound-file libraries it depends on,
// it weighs some twenty libraries on the start-up path. Each function the backends use is
// defined here with SDL's own name and declaration; it loads the library when first called and
// forwards to the function of that name in it. Without the library each returns its failure,
// so that there are no controllers and the audio output is the silent one.
#include <SDL.h>

#include "base/shared_library.h"

// Every function the backends use: its result, name, parameters, the arguments that forward
// them, and what it returns when the library cannot be loaded.
#define KESTROW_SDL_FUNCTIONS(X)                                                                   \
  X(int, SDL_InitSubSystem, (Uint32 flags), (flags), -1)                                           \
  X(void, SDL_QuitSubSystem, (Uint32 flags), (flags), )                                            \
  X(Uint32, SDL_WasInit, (Uint32 flags), (flags), 0)                                               \
  X(SDL_bool, SDL_SetHint, (const char* name, const char* value), (name, value), SDL_FALSE)        \
  X(SDL_bool, SDL_SetHintWithPriority,                                                             \
    (const char* name, const char* value, SDL_HintPriority priority), (name, value, priority),     \
    SDL_FALSE)                                                                                     \
  X(SDL_AudioDeviceID, SDL_OpenAudioDevice,                                                        \
    (const char* device, int capture, const SDL_AudioSpec* wanted, SDL_AudioSpec* obtained,        \
     int allowedChanges),                                                                          \
    (device, capture, wanted, obtained, allowedChanges), 0)                                        \
  X(void, SDL_CloseAudioDevice, (SDL_AudioDeviceID device), (device), )                            \
  X(void, SDL_PauseAudioDevice, (SDL_AudioDeviceID device, int pause), (device, pause), )          \
  X(const char*, SDL_GetCurrentAudioDriver, (void), (), nullptr)                                   \
  X(int, SDL_PollEvent, (SDL_Event * event), (event), 0)                                           \
  X(SDL_GameController*, SDL_GameControllerOpen, (int index), (index), nullptr)                    \
  X(void, SDL_GameControllerClose, (SDL_GameController * controller), (controller), )              \
  X(SDL_Joystick*, SDL_GameControllerGetJoystick, (SDL_GameController * controller), (controller), \
    nullptr)                                                                                       \
  X(SDL_JoystickID, SDL_JoystickGetDeviceInstanceID, (int index), (index), -1)                     \
  X(SDL_JoystickID, SDL_JoystickInstanceID, (SDL_Joystick * joystick), (joystick), -1)

namespace {

#define KESTROW_FUNCTION_ID(result, name, parameters, arguments, failure) name##Function,
enum SdlFunction { KESTROW_SDL_FUNCTIONS(KESTROW_FUNCTION_ID) kFunctionCount };
#undef KESTROW_FUNCTION_ID

#define KESTROW_FUNCTION_NAME(result, name, parameters, arguments, failure) #name,
constexpr const char* kFunctions[kFunctionCount] = {KESTROW_SDL_FUNCTIONS(KESTROW_FUNCTION_NAME)};
#undef KESTROW_FUNCTION_NAME

// The file name carries the version the program was built with.
SharedLibrary library{KESTROW_SDL2_FILE};
void* addresses[kFunctionCount] = {};

}  // namespace

#define KESTROW_FORWARD(result, name, parameters, arguments, failure)              \
  extern "C" result name parameters {                                              \
    if (!LoadSharedLibrary(library, kFunctions, addresses)) return failure;        \
    return reinterpret_cast<decltype(&name)>(addresses[name##Function]) arguments; \
  }
KESTROW_SDL_FUNCTIONS(KESTROW_FORWARD)
#undef KESTROW_FORWARD
