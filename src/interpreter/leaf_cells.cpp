#include "interpreter/leaf_cells.hpp"

#include <string>
#include <unordered_map>

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
    bool leaf = fields.leaf & bit;
    if (leaf && (*operands[i] & LEAF_CONSTANT)) continue;
    if ((fields.read & bit) || leaf || (fields.written & bit))
      visit(*operands[i], static_cast<bool>(fields.written & bit));
  }
}

// A name that no source text can write, unique to this cell.
NameId new_cell(NameId variable) {
  static uint64_t made = 0;
  return intern("cell " + std::to_string(++made) + " " + name_text(variable));
}

}  // namespace

std::unique_ptr<const LeafCells> leaf_cells(const FunctionData& fn) {
  auto cells = std::make_unique<LeafCells>();
  std::unordered_map<NameId, NameId> cell_of;
  auto add = [&](NameId variable) {
    if (cell_of.count(variable)) return false;
    NameId cell = new_cell(variable);
    cell_of.emplace(variable, cell);
    cells->names.push_back(variable);
    cells->cells.push_back(cell);
    return true;
  };
  for (NameId param : fn.params)
    if (!add(param)) return nullptr;  // the later parameter's binding would win
  cells->code = fn.chunk.code;
  for (Instr& in : cells->code) {
    if (in.op == Op::Call || in.op == Op::Global) return nullptr;
    for_each_name(in, [&](uint32_t name, bool written) {
      if (written) add(name);
    });
  }
  for (Instr& in : cells->code)
    for_each_name(in, [&](uint32_t& name, bool) {
      auto found = cell_of.find(name);
      if (found != cell_of.end()) name = found->second;
    });
  return cells;
}

}  // namespace orvane
