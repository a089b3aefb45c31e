// Names interned to small integers, so the interpreter finds a variable by index.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace orvane {

using NameId = uint32_t;

// Process-wide: names keep their numbers for the whole run (the interactive loop parses
// entry after entry into one interpreter).
NameId intern(std::string_view name);
// A new number that no text interns to: a variable that no source names. Its text is empty.
// With a count, the first of that many such numbers in a row.
NameId unnamed(size_t count = 1);
const std::string& name_text(NameId id);
size_t interned_count();

}  // namespace orvane
