// The lowering pass: turns syntax into code for the virtual machine. Names resolve to their
// binding cells, builtin names to their table entries, literals to constants, and every
// specialisation is chosen here, once; with specialisations off, every construct takes its
// generic rule.
#pragma once

#include <memory>

#include "interpreter/code.hpp"
#include "parser/ast.hpp"

namespace orvane {

struct LoweringOptions {
  bool specialise = true;
};

// The options the environment asks for: ORVANE_GENERIC=1 turns every specialisation off.
LoweringOptions lowering_options_from_environment();

// One top-level statement, run on its own and ending with Halt. Its blocks stop early on a
// pending return or a set break or continue flag; the statement itself runs to its end.
Chunk lower_statement(const Stmt& stmt, const LoweringOptions& options);

// A function definition's body, ending with Leave.
std::shared_ptr<const FunctionData> lower_function(const FunctionDecl& decl,
                                                   const LoweringOptions& options);

}  // namespace orvane
