#include "support/library.hpp"

#include <dlfcn.h>

namespace orvane::library {

const char* open(const char* file, std::initializer_list<Symbol> symbols) {
  void* handle = dlopen(file, RTLD_NOW | RTLD_LOCAL);
  if (!handle) return file;
  for (const Symbol& symbol : symbols) {
    void* found = dlsym(handle, symbol.name);
    if (!found) {
      for (const Symbol& filled : symbols) *filled.slot = nullptr;
      return symbol.name;
    }
    *symbol.slot = found;
  }
  return nullptr;
}

}  // namespace orvane::library
