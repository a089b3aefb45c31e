#include "interpreter/interpreter.hpp"

#include "interpreter/compiler.hpp"

namespace orvane {

void run_program(const Program& program, uint64_t step_budget) {
  NameId main_name = intern("main");
  Interpreter interp;
  interp.set_step_budget(step_budget);
  std::vector<Chunk> chunks;
  chunks.reserve(program.size());
  for (const StmtPtr& stmt : program) chunks.push_back(lower_statement(*stmt, interp.lowering()));
  for (size_t i = 0; i < program.size(); ++i)
    if (program[i]->kind == Stmt::Let || program[i]->kind == Stmt::FunctionDef)
      interp.run(chunks[i]);
  Value main_fn = interp.lookup(main_name);
  if (main_fn.is(Value::Function)) {
    interp.call_function(*main_fn.as_function(), {});
    return;
  }
  for (const Chunk& chunk : chunks) {
    interp.run(chunk);
    if (interp.has_pending()) return;
  }
}

}  // namespace orvane
