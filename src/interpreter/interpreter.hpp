// Running whole programs: hoisting, then `main` or every top-level statement.
#pragma once

#include <cstdint>

#include "interpreter/operators.hpp"
#include "interpreter/vm.hpp"
#include "parser/ast.hpp"

namespace orvane {

// Hoists lets and function definitions, then calls main if it exists, or else runs every
// top-level statement until a top-level return. `step_budget` bounds the work (see
// Interpreter::set_step_budget).
void run_program(const Program& program, uint64_t step_budget = UINT64_MAX);

}  // namespace orvane
