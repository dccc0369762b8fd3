#include "base/shared_library.h"

#include <dlfcn.h>

namespace {

bool LookUp(void* handle, std::span<const char* const> functions, std::span<void*> addresses) {
  for (size_t function = 0; function < functions.size(); ++function) {
    addresses[function] = dlsym(handle, functions[function]);
    if (addresses[function] == nullptr) return false;
  }
  return true;
}

bool Open(const char* file, std::span<const char* const> functions, std::span<void*> addresses) {
  void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (handle == nullptr) return false;
  if (LookUp(handle, functions, addresses)) return true;
  dlclose(handle);
  return false;
}

}  // namespace

bool LoadSharedLibrary(SharedLibrary& library, std::span<const char* const> functions,
                       std::span<void*> addresses) {
  std::call_once(library.attempt,
                 [&] { library.loaded = Open(library.file, functions, addresses); });
  return library.loaded;
}
