// The synthesizer library loaded at run time by name. The program is not linked with
// FluidSynth: each function it uses is defined here with FluidSynth's own name and declaration,
// and forwards to the function of that name in the library, looked up when the library is
// loaded.
#include <fluidsynth.h>

#include "base/shared_library.h"
#include "game/synth_library.h"

// Every function the program uses: its result, name, parameters and the arguments that
// forward them.
#define KESTROW_SYNTH_FUNCTIONS(X)                                                             \
  X(fluid_log_function_t, fluid_set_log_function,                                              \
    (int level, fluid_log_function_t function, void* data), (level, function, data))           \
  X(fluid_settings_t*, new_fluid_settings, (void), ())                                         \
  X(void, delete_fluid_settings, (fluid_settings_t * settings), (settings))                    \
  X(int, fluid_settings_setnum, (fluid_settings_t * settings, const char* name, double value), \
    (settings, name, value))                                                                   \
  X(int, fluid_settings_setint, (fluid_settings_t * settings, const char* name, int value),    \
    (settings, name, value))                                                                   \
  X(fluid_synth_t*, new_fluid_synth, (fluid_settings_t * settings), (settings))                \
  X(void, delete_fluid_synth, (fluid_synth_t * synth), (synth))                                \
  X(int, fluid_synth_sfload, (fluid_synth_t * synth, const char* file, int resetPresets),      \
    (synth, file, resetPresets))                                                               \
  X(fluid_sfloader_t*, new_fluid_defsfloader, (fluid_settings_t * settings), (settings))       \
  X(int, fluid_sfloader_set_callbacks,                                                         \
    (fluid_sfloader_t * loader, fluid_sfloader_callback_open_t open,                           \
     fluid_sfloader_callback_read_t read, fluid_sfloader_callback_seek_t seek,                 \
     fluid_sfloader_callback_tell_t tell, fluid_sfloader_callback_close_t close),              \
    (loader, open, read, seek, tell, close))                                                   \
  X(void, fluid_synth_add_sfloader, (fluid_synth_t * synth, fluid_sfloader_t * loader),        \
    (synth, loader))                                                                           \
  X(int, fluid_synth_get_active_voice_count, (fluid_synth_t * synth), (synth))                 \
  X(int, fluid_synth_write_s16,                                                                \
    (fluid_synth_t * synth, int length, void* left, int leftOffset, int leftIncrement,         \
     void* right, int rightOffset, int rightIncrement),                                        \
    (synth, length, left, leftOffset, leftIncrement, right, rightOffset, rightIncrement))      \
  X(int, fluid_synth_noteon, (fluid_synth_t * synth, int channel, int key, int velocity),      \
    (synth, channel, key, velocity))                                                           \
  X(int, fluid_synth_noteoff, (fluid_synth_t * synth, int channel, int key),                   \
    (synth, channel, key))                                                                     \
  X(int, fluid_synth_program_change, (fluid_synth_t * synth, int channel, int program),        \
    (synth, channel, program))

namespace {

#define KESTROW_FUNCTION_ID(result, name, parameters, arguments) name##Function,
enum SynthFunction { KESTROW_SYNTH_FUNCTIONS(KESTROW_FUNCTION_ID) kFunctionCount };
#undef KESTROW_FUNCTION_ID

#define KESTROW_FUNCTION_NAME(result, name, parameters, arguments) #name,
constexpr const char* kFunctions[kFunctionCount] = {KESTROW_SYNTH_FUNCTIONS(KESTROW_FUNCTION_NAME)};
#undef KESTROW_FUNCTION_NAME

// The file name carries the version the program was built with.
SharedLibrary library{KESTROW_FLUIDSYNTH_FILE};
void* addresses[kFunctionCount] = {};

}  // namespace

bool LoadSynthLibrary() {
  return LoadSharedLibrary(library, kFunctions, addresses);
}

// Defines `name` with the declaration FluidSynth's headers give it, forwarding its arguments.
#define KESTROW_FORWARD(result, name, parameters, arguments)                       \
  extern "C" result name parameters {                                              \
    return reinterpret_cast<decltype(&name)>(addresses[name##Function]) arguments; \
  }
KESTROW_SYNTH_FUNCTIONS(KESTROW_FORWARD)
#undef KESTROW_FORWARD
