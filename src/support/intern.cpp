#include "support/intern.hpp"

#include <deque>
#include <unordered_map>

namespace orvane {

namespace {

struct Interner {
  std::deque<std::string> names;  // stable addresses for the map's keys
  std::unordered_map<std::string_view, NameId> ids;
};

Interner& interner() {
  static Interner i;
  return i;
}

}  // namespace

NameId intern(std::string_view name) {
  Interner& in = interner();
  auto it = in.ids.find(name);
  if (it != in.ids.end()) return it->second;
  auto id = static_cast<NameId>(in.names.size());
  in.names.emplace_back(name);
  in.ids.emplace(in.names.back(), id);
  return id;
}

NameId unnamed() {
  Interner& in = interner();
  in.names.emplace_back();
  return static_cast<NameId>(in.names.size() - 1);
}

const std::string& name_text(NameId id) { return interner().names[id]; }

size_t interned_count() { return interner().names.size(); }

}  // namespace orvane
