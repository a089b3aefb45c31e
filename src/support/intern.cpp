#include "support/intern.hpp"

#include <deque>
#include <unordered_map>
#include <vector>

namespace orvane {

namespace {

struct Interner {
  std::deque<std::string> texts;          // stable addresses for the map's keys
  std::vector<const std::string*> names;  // by number; unnamed ones share `no_text`
  std::unordered_map<std::string_view, NameId> ids;
  const std::string no_text;
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
  in.texts.emplace_back(name);
  in.names.push_back(&in.texts.back());
  in.ids.emplace(in.texts.back(), id);
  return id;
}

NameId unnamed(size_t count) {
  Interner& in = interner();
  auto first = static_cast<NameId>(in.names.size());
  in.names.resize(in.names.size() + count, &in.no_text);
  return first;
}

const std::string& name_text(NameId id) { return *interner().names[id]; }

size_t interned_count() { return interner().names.size(); }

}  // namespace orvane
