#include "support/icu.hpp"

#include <cstdio>
#include <cstdlib>

#include "support/library.hpp"
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
  Library lib;
#define ORVANE_ICU_SYMBOL(ours, theirs) \
  {ORVANE_ICU_NAME(theirs), reinterpret_cast<void**>(&lib.ours)},
  const char* missing =
      library::open("libicuuc.so." U_ICU_VERSION_SHORT, {ORVANE_ICU_FUNCTIONS(ORVANE_ICU_SYMBOL)});
#undef ORVANE_ICU_SYMBOL
  if (missing) unavailable(missing);
  return lib;
}

const Library& loaded() {
  static const Library lib = load();
  return lib;
}

}  // namespace

#define ORVANE_ICU_GETTER(ours, theirs) \
  decltype(&::theirs) ours() { return loaded().ours; }
ORVANE_ICU_FUNCTIONS(ORVANE_ICU_GETTER)
#undef ORVANE_ICU_GETTER

}  // namespace orvane::icu
