// Cells for the variables of functions that call no user function: the lowering pass's last
// step for a function body.
#pragma once

#include <memory>

#include "interpreter/code.hpp"

namespace orvane {

// The cells of a lowered function that calls no user function and declares no global, or
// nothing for any other. A function with a parameter named twice gets none either.
std::unique_ptr<const LeafCells> leaf_cells(const FunctionData& fn);

}  // namespace orvane
