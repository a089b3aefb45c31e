// The virtual machine: runs lowered code on an explicit frame stack, so the depth of user calls
// never depends on the native stack.
//
// Scoping is dynamic: a name reads the innermost binding among all active calls, then the
// globals. It is implemented by shallow binding: every name has one cell holding its innermost
// binding. A call that binds a name saves the cell's previous content on a stack and restores
// it on return. Lookup and assignment are O(1) whatever the call depth.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "interpreter/code.hpp"
#include "interpreter/compiler.hpp"
#include "interpreter/graphics.hpp"
#include "interpreter/host.hpp"
#include "interpreter/stack.hpp"
#include "interpreter/value.hpp"
#include "parser/ast.hpp"
#include "support/interrupt.hpp"

namespace orvane {

// Reported when calls nest deeper than the interpreter allows.
struct RecursionTooDeep {};
// Raised when a run has used up the step budget it was given (the fuzz target sets one).
struct StepBudgetExhausted {};

class Interpreter {
 public:
  // At least this many nested user-function calls always run.
  static constexpr size_t MAX_CALL_DEPTH = 250000;

  Interpreter();
  explicit Interpreter(const LoweringOptions& options);
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  Value lookup(NameId name) const { return lookup_ref(name); }
  // The binding a read of `name` sees, without copying it.
  const Value& lookup_ref(NameId name) const { return m_names[name].value; }
  // Writes the binding that a read of `name` sees from now on; the name's own binding in the
  // current call or scope is written in place.
  void assign(NameId name, Value&& value) {
    if (Value* slot = own_binding(name))
      *slot = std::move(value);
    else
      assign_elsewhere(name, std::move(value));
  }
  void assign(NameId name, const Value& value) {
    if (Value* slot = own_binding(name))
      *slot = value;  // takes hold of the new payload before letting go of the old
    else
      assign_elsewhere(name, Value(value));
  }
  void declare_global(NameId name);
  // Runs a user function in a new scope; surplus arguments are ignored, missing ones unbound.
  Value call_function(const FunctionData& fn, std::span<Value> args);

  // Lowers and runs one top-level statement.
  void execute(const Stmt& stmt);
  // Runs lowered top-level code.
  void run(const Chunk& chunk);
  const LoweringOptions& lowering() const { return m_options; }

  // Makes room for names interned since the last call (after each parse).
  void prepare();
  // Puts the constants of lowered code in their cells, before the code runs.
  void fill_constant_cells(const Chunk& chunk);
  // After an error abandoned a run midway: drops every call scope and the completion state,
  // keeping the globals (the interactive loop goes on with them).
  void recover();

  GraphicsContext& graphics() { return m_graphics; }
  // Limits the run to about `steps` loop rounds and calls; unlimited by default. Code between
  // two of them is straight-line, bounded by the length of the program.
  void set_step_budget(uint64_t steps) {
    m_steps_left = steps;
    m_countdown = 1;
  }

  // The completion state that blocks inspect after their statements.
  bool has_pending() const { return m_flags & PENDING; }
  Value take_pending();
  bool break_flag() const { return m_flags & BREAK; }
  bool continue_flag() const { return m_flags & CONTINUE; }

 private:
  enum Flag : uint8_t { PENDING = 1, BREAK = 2, CONTINUE = 4 };

  // Set in a name's `frame` once the name is declared global.
  static constexpr uint32_t DECLARED_GLOBAL = 0x80000000u;
  // A name's innermost binding. `frame` is the call depth that bound it (0 for a global) with
  // DECLARED_GLOBAL set once the name is declared global, so that one comparison with the
  // current depth tells the current call's own bindings of names not declared global.
  struct NameEntry {
    Value value;
    uint32_t frame = 0;
    uint32_t depth() const { return frame & ~DECLARED_GLOBAL; }
    bool declared_global() const { return frame & DECLARED_GLOBAL; }
  };
  // What a call's binding displaced, restored when the call returns.
  struct Shadowed {
    Shadowed(NameId n, uint32_t f, Value&& v) : name(n), frame(f), value(std::move(v)) {}
    NameId name;
    uint32_t frame;
    Value value;
  };
  // An active chunk: a user call, or top-level code (`call` false), whose caller resumes at
  // `resume`. A frame entered from native code ends the dispatch loop when it finishes.
  struct Frame {
    Frame(const Instr* r, const Chunk* c, Value&& f, size_t s, bool n, const LeafCells* l)
        : resume(r), chunk(c), function(std::move(f)), shadowed_start(s), native(n), leaf(l) {}
    // A call in cells: it keeps nothing alive and displaces nothing.
    Frame(const Instr* r, const Chunk* c, bool n, const LeafCells* l)
        : resume(r), chunk(c), shadowed_start(0), native(n), leaf(l) {}
    const Instr* resume;
    const Chunk* chunk;
    Value function;  // keeps the body alive even if its name is rebound
    size_t shadowed_start;
    bool native;
    const LeafCells* leaf;  // the cells the call binds its variables in, if it has them
  };

  // The binding that both `lookup` reads and `assign` writes for `name`, if there is one.
  Value* own_binding(NameId name) {
    NameEntry& e = m_names[name];
    if (e.frame == m_depth) return &e.value;
    return e.frame == DECLARED_GLOBAL ? &e.value : nullptr;  // declared global, holding the global
  }
  // assign() for a name not bound in the current call: a first binding there, or a global
  // shadowed by a call.
  void assign_elsewhere(NameId name, Value&& value);
  Value& shadowed_global(NameId name);
  void pop_frame(size_t start);
  // Binds a call's parameters in their names' cells, displacing what the cells held.
  void bind_params(const FunctionData& fn, Value* args, size_t argc);
  // Whether a call may bind its variables in `leaf`: not when one of them is declared global,
  // since assigning it must then reach the global. The answer holds until a name is declared.
  bool may_use(const LeafCells& leaf) const {
    return leaf.declared == m_declared_globals ? leaf.usable : work_out_use(leaf);
  }
  bool work_out_use(const LeafCells& leaf) const;
  // Binds a call's variables in its cells, the first `given` of which already hold its
  // arguments: every other one (a parameter without an argument too) to what a read sees,
  // until it is assigned.
  void fill(const LeafCells& leaf, size_t given);
  // Lets go of what a finished call left in its cells.
  void empty(const LeafCells& leaf);
  // A loop round or a call. Stop requests and the step budget are looked at every few
  // thousand of them, when the countdown runs out.
  void tick() {
    if (--m_countdown == 0) look_up();
  }
  void look_up();

  // The dispatch loop, from `ip` until the innermost native frame finishes; returns the value
  // a finishing call left.
  Value dispatch(const Instr* ip);
  // Enters a user call whose `argc` arguments are the top of the stack, letting go of those
  // beyond its parameters; returns where it starts.
  // `callee` keeps the function alive for the call (Null when the caller holds it).
  const Instr* enter_call(const FunctionData& fn, const Value& callee, Value* args, size_t argc,
                          const Instr* resume, bool native);
  NameEntry* open_cells(const FunctionData& fn, const LeafCells& leaf, const Instr* resume,
                        bool native);
  const Instr* enter_cells(const FunctionData& fn, const LeafCells& leaf, const Value& first,
                           const Value& second, size_t argc, const Instr* resume);
  const Instr* start(const FunctionData& fn, const LeafCells* leaf);
  // Makes room for `count` more values above `sp`, which may move.
  Value* reserve(Value* sp, size_t count) {
    return sp + count <= std::to_address(m_stack.end()) ? sp : grow_stack(sp, count);
  }
  Value* grow_stack(Value* sp, size_t count);
  void report_division();
  // The rules the dispatch loop hands out of line.
  void catch_error(NameId name);
  void update(NameId name, TokenKind op, const Value& right);
  void append(NameId name, Value* values, size_t count);
  Value builtin_update(NameId name, int builtin, Value* args, size_t argc);
  Value* push_target(NameId name, uint16_t site);
  void make_push_room(Value& array, uint16_t site);
  void push_generic(NameId name, Value&& item);
  template <class Left>
  void store_binary(NameId name, Left&& left, TokenKind op, const Value& right);
  void binary_in_place(Value& left, TokenKind op, const Value& right);
  bool add_constant(NameId name, int32_t step);

  LoweringOptions m_options;
  std::vector<NameEntry> m_names;
  // The displaced bindings of all active calls, innermost last. An entry whose value went back
  // to its cell holds Null, so popping a call's entries is moving the top.
  Stack<Shadowed> m_shadowed;
  std::vector<Frame> m_frames;
  // The value stack; unused slots hold Null.
  std::vector<Value> m_stack;
  size_t m_stack_top = 0;           // in use below this, between dispatch loops
  uint32_t m_depth = 0;             // active user-function calls
  uint32_t m_declared_globals = 0;  // names declared global so far
  Value m_pending;
  uint8_t m_flags = 0;
  uint64_t m_steps_left = UINT64_MAX;  // steps not yet handed to the countdown
  uint32_t m_countdown = 1;
  GraphicsContext m_graphics;
  Host m_host;
};

}  // namespace orvane
