// libcurl loaded at run time by name: each function the program uses is defined here with
// libcurl's own name and declaration, and forwards to the function of that name in the library.
#include <curl/curl.h>

#include <cstdarg>

#include "base/shared_library.h"
#include "scores/curl_library.h"

// The functions forwarded as they are: result, name, parameters, arguments. curl_global_init
// and curl_easy_init load the library first; curl_easy_setopt takes a variable argument.
#define KESTROW_CURL_FUNCTIONS(X)                                                        \
  X(CURLcode, curl_easy_perform, (CURL * curl), (curl))                                  \
  X(void, curl_easy_cleanup, (CURL * curl), (curl))                                      \
  X(curl_slist*, curl_slist_append, (curl_slist * list, const char* text), (list, text)) \
  X(void, curl_slist_free_all, (curl_slist * list), (list))

namespace {

#define KESTROW_FUNCTION_ID(result, name, parameters, arguments) name##Function,
enum CurlFunction {
  curl_global_initFunction,
  curl_easy_initFunction,
  curl_easy_setoptFunction,
  KESTROW_CURL_FUNCTIONS(KESTROW_FUNCTION_ID) kFunctionCount
};
#undef KESTROW_FUNCTION_ID

#define KESTROW_FUNCTION_NAME(result, name, parameters, arguments) #name,
constexpr const char* kFunctions[kFunctionCount] = {"curl_global_init", "curl_easy_init",
                                                    "curl_easy_setopt",
                                                    KESTROW_CURL_FUNCTIONS(KESTROW_FUNCTION_NAME)};
#undef KESTROW_FUNCTION_NAME

// The file name carries the version the program was built with.
SharedLibrary library{KESTROW_CURL_FILE};
void* addresses[kFunctionCount] = {};

using SetOption = CURLcode (*)(CURL*, CURLoption, ...);

}  // namespace

bool LoadCurlLibrary() {
  return LoadSharedLibrary(library, kFunctions, addresses);
}

extern "C" CURLcode curl_global_init(long flags) {
  if (!LoadCurlLibrary()) return CURLE_FAILED_INIT;
  return reinterpret_cast<decltype(&curl_global_init)>(addresses[curl_global_initFunction])(flags);
}

extern "C" CURL* curl_easy_init() {
  if (!LoadCurlLibrary()) return nullptr;
  return reinterpret_cast<decltype(&curl_easy_init)>(addresses[curl_easy_initFunction])();
}

// The option's number tells the type of its one argument.
extern "C" CURLcode(curl_easy_setopt)(CURL* curl, CURLoption option, ...) {
  auto setOption = reinterpret_cast<SetOption>(addresses[curl_easy_setoptFunction]);
  va_list arguments;
  va_start(arguments, option);
  CURLcode result;
  if (option < CURLOPTTYPE_OBJECTPOINT) {
    result = setOption(curl, option, va_arg(arguments, long));
  } else if (option < CURLOPTTYPE_FUNCTIONPOINT) {
    result = setOption(curl, option, va_arg(arguments, void*));
  } else if (option < CURLOPTTYPE_OFF_T) {
    result = setOption(curl, option, va_arg(arguments, void (*)()));
  } else if (option < CURLOPTTYPE_BLOB) {
    result = setOption(curl, option, va_arg(arguments, curl_off_t));
  } else {
    result = setOption(curl, option, va_arg(arguments, void*));
  }
  va_end(arguments);
  return result;
}

#define KESTROW_FORWARD(result, name, parameters, arguments)                       \
  extern "C" result name parameters {                                              \
    return reinterpret_cast<decltype(&name)>(addresses[name##Function]) arguments; \
  }
KESTROW_CURL_FUNCTIONS(KESTROW_FORWARD)
#undef KESTROW_FORWARD
