#include "support/icu.hpp"

#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>

#include "support/output.hpp"

namespace orvane::icu {

namespace {

// ICU's headers rename every function after the library's version (u_charType becomes
// u_charType_72), so the name to look up is the macro's expansion.
#define ORVANE_ICU_TEXT(x) #x
#define ORVANE_ICU_NAME(x) ORVANE_ICU_TEXT(x)
// clang-format 14 never settles on a layout for this list.
// clang-format off
#define ORVANE_ICU_FUNCTIONS(X)                                               \
  X(has_binary_property, u_hasBinaryProperty) X(char_type, u_charType)      \
  X(case_map_open, ucasemap_open) X(case_map_close, ucasemap_close)         \
  X(to_upper, ucasemap_utf8ToUpper) X(to_lower, ucasemap_utf8ToLower)
// clang-format on

struct Library {
#define ORVANE_ICU_POINTER(ours, theirs) decltype(&::theirs) ours = nullptr;
  ORVANE_ICU_FUNCTIONS(ORVANE_ICU_POINTER)
#undef ORVANE_ICU_POINTER
};

[[noreturn]] void unavailable(const char* what) {
  output::flush();
  std::fprintf(stderr, "Error: cannot load the Unicode library: %s\n", what);
  std::exit(1);
}

Library load() {
  const char* file = "libicuuc.so." U_ICU_VERSION_SHORT;
  void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!handle) unavailable(file);
  Library lib;
#define ORVANE_ICU_LOAD(ours, theirs)                                                      \
  lib.ours = reinterpret_cast<decltype(lib.ours)>(dlsym(handle, ORVANE_ICU_NAME(theirs))); \
  if (!lib.ours) unavailable(ORVANE_ICU_NAME(theirs));
  ORVANE_ICU_FUNCTIONS(ORVANE_ICU_LOAD)
#undef ORVANE_ICU_LOAD
  return lib;
}

const Library& library() {
  static const Library lib = load();
  return lib;
}

}  // namespace

#define ORVANE_ICU_GETTER(ours, theirs) \
  decltype(&::theirs) ours() { return library().ours; }
ORVANE_ICU_FUNCTIONS(ORVANE_ICU_GETTER)
#undef ORVANE_ICU_GETTER

}  // namespace orvane::icu
