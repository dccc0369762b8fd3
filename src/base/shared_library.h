// Libraries opened at run time by file name, for features that the first frame does not need:
// they cost neither start-up time nor memory until then.
#pragma once

#include <mutex>
#include <span>

// One library, opened at most once, from whichever thread first needs it.
struct SharedLibrary {
  const char* file;
  std::once_flag attempt{};
  bool loaded = false;
};

// Opens the library the first time and looks up every function named in `functions` into
// `addresses`, all at once, so that a library lacking one of them is refused here rather than
// failing when that function is first called. False, with the library closed again, when the
// file does not open or a function is missing; the later calls give the first one's answer.
bool LoadSharedLibrary(SharedLibrary& library, std::span<const char* const> functions,
                       std::span<void*> addresses);
