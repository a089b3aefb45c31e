#include "interpreter/leaf_cells.hpp"

#include <vector>

#include "support/intern.hpp"

namespace orvane {

namespace {

// Calls each of an instruction's fields that may name a variable, with whether it is written.
template <class Visit>
void for_each_name(Instr& in, Visit visit) {
  NameFields fields = name_fields(in.op);
  uint32_t* operands[] = {&in.a, &in.b, &in.c};
  for (int i = 0; i < 3; ++i) {
    uint8_t bit = static_cast<uint8_t>(1 << i);
    if ((fields.read | fields.leaf | fields.written) & bit)
      visit(*operands[i], static_cast<bool>(fields.written & bit));
  }
}

}  // namespace

std::unique_ptr<const LeafCells> leaf_cells(const FunctionData& fn) {
  for (const Instr& in : fn.chunk.code)
    if (in.op == Op::Call || in.op == Op::CallLeaves || in.op == Op::Global) return nullptr;
  // The variables, each marked with its place among them plus one.
  thread_local std::vector<uint32_t> place;
  if (place.size() < interned_count()) place.resize(interned_count());
  auto cells = std::make_unique<LeafCells>();
  std::vector<NameId>& names = cells->names;
  auto add = [&](NameId variable) {
    if (place[variable]) return false;
    names.push_back(variable);
    place[variable] = static_cast<uint32_t>(names.size());
    return true;
  };
  bool twice = false;
  for (NameId param : fn.params) twice |= !add(param);
  if (twice) {  // the later parameter's binding would win: left to the usual way
    for (NameId variable : names) place[variable] = 0;
    return nullptr;
  }
  cells->code = fn.chunk.code;
  for (Instr& in : cells->code)
    for_each_name(in, [&](uint32_t name, bool written) {
      if (written) add(name);
    });
  cells->first_cell = unnamed(names.size());
  for (Instr& in : cells->code)
    for_each_name(in, [&](uint32_t& name, bool) {
      if (name < place.size() && place[name]) name = cells->cell(place[name] - 1);
    });
  for (NameId variable : names) place[variable] = 0;
  return cells;
}

}  // namespace orvane
