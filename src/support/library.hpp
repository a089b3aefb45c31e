// Shared libraries opened when first needed, so that a run that never needs one starts without
// it and the libraries it brings along.
#pragma once

#include <initializer_list>

namespace orvane::library {

// A name to look up and the pointer it fills (a function or variable pointer, seen as void*).
struct Symbol {
  const char* name;
  void** slot;
};

// Opens `file` and fills every symbol's slot. Returns nullptr when all were found; otherwise
// the name of the file or symbol that was missing, with no slot filled.
const char* open(const char* file, std::initializer_list<Symbol> symbols);

}  // namespace orvane::library
