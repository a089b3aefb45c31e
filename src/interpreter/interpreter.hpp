// The tree-walking interpreter: environment, calls, statements and expressions.
//
// Scoping is dynamic: a name reads the innermost binding among all active calls, then the
// globals. It is implemented by shallow binding: every name has one cell holding its innermost
// binding. A call that binds a name saves the cell's previous content on a stack and restores
// it on return. Lookup and assignment are O(1) whatever the call depth.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "interpreter/graphics.hpp"
#include "interpreter/value.hpp"
#include "parser/ast.hpp"
#include "support/stack.hpp"

namespace orvane {

// Reported when calls nest deeper than the interpreter allows. Inside the interpreter the
// failure is a flag that stops everything, as a pending return does, so that it never has to
// unwind hundreds of thousands of native frames; raise_failure turns it into this exception
// once the stack is shallow again.
struct RecursionTooDeep {};
// Raised when a run has used up the step budget it was given (the fuzz target sets one).
struct StepBudgetExhausted {};

class Interpreter {
 public:
  // At least this many nested user-function calls always run.
  static constexpr size_t MAX_CALL_DEPTH = 250000;

  Interpreter();
  Interpreter(const Interpreter&) = delete;
  Interpreter& operator=(const Interpreter&) = delete;

  Value lookup(NameId name) const { return lookup_ref(name); }
  // The binding a read of `name` sees, without copying it.
  const Value& lookup_ref(NameId name) const {
    return m_names[name].value;
  }
  void assign(NameId name, Value&& value);
  void assign(NameId name, const Value& value) { assign(name, Value(value)); }
  void declare_global(NameId name);
  // Runs a user function in a new scope; surplus arguments are ignored, missing ones unbound.
  Value call_function(const FunctionData& fn, std::span<Value> args);

  void execute(const Stmt& stmt);
  // Throws RecursionTooDeep when the last statement or call was abandoned for lack of room.
  void raise_failure() const;
  // Runs statements until one leaves a return pending or a break or continue flag set.
  void execute_block(const Block& block);
  Value evaluate(const Expr& expr);

  // Makes room for names interned since the last call (after each parse).
  void prepare();
  // After an error abandoned a run midway: drops every call scope and the completion state,
  // keeping the globals (the interactive loop goes on with them).
  void recover();

  GraphicsContext& graphics() { return m_graphics; }
  // Limits the run to about `steps` loop rounds and calls; unlimited by default. Code between
  // two of them is straight-line, bounded by the length of the program.
  void set_step_budget(uint64_t steps) { m_steps_left = steps; }

  // The completion state that statement lists inspect after every statement.
  bool has_pending() const { return m_flags & PENDING; }
  Value take_pending();
  bool break_flag() const { return m_flags & BREAK; }
  bool continue_flag() const { return m_flags & CONTINUE; }

 private:
  enum Flag : uint8_t { PENDING = 1, BREAK = 2, CONTINUE = 4, FAILED = 8 };

  bool room_for_call() const {
    return m_depth < MAX_CALL_DEPTH && !stack::exhausted(m_stack_limit);
  }
  // Abandons the run: every statement and expression from here on does nothing.
  Value give_up() {
    m_flags |= FAILED;
    return Value::null();
  }

  // A name's innermost binding; `frame` is the call depth that bound it, 0 for a global.
  struct NameEntry {
    Value value;
    uint32_t frame = 0;
    bool declared_global = false;
  };
  // What a call's binding displaced, restored when the call returns.
  struct Shadowed {
    Shadowed(NameId n, uint32_t f, Value&& v) : name(n), frame(f), value(std::move(v)) {}
    NameId name;
    uint32_t frame;
    Value value;
  };

  // The binding that both `lookup` reads and `assign` writes for `name`, if there is one.
  Value* own_binding(NameId name);
  // Ends the innermost call, whose displaced bindings begin at `start`.
  void pop_frame(size_t start);
  uint32_t depth() const { return m_depth; }
  // The global binding of a name whose cell a local binding currently holds.
  Value& shadowed_global(NameId name);

  void tick();
  // Each statement rule lives out of line, keeping execute a light dispatcher.
  [[gnu::noinline]] void execute_plain_assign(const AssignStmt& s);
  [[gnu::noinline]] void execute_assign(const AssignStmt& s);
  bool assign_compound_arithmetic(const AssignStmt& s);
  [[gnu::noinline]] void execute_builtin_update(const AssignStmt& s);
  [[gnu::noinline]] void execute_self_update(const AssignStmt& s);
  [[gnu::noinline]] void execute_if(const IfStmt& s);
  [[gnu::noinline]] void execute_return(const ReturnStmt& s);
  [[gnu::noinline]] void execute_while(const WhileStmt& s);
  [[gnu::noinline]] void execute_for(const ForStmt& s);
  [[gnu::noinline]] void execute_match(const MatchStmt& s);
  [[gnu::noinline]] void execute_try(const TryCatchStmt& s);

  // The larger expression rules live out of line, so that evaluate itself stays a light
  // dispatcher whose simple cases need no stack frame.
  [[gnu::noinline]] Value evaluate_binary(const BinaryExpr& e);
  [[gnu::noinline]] Value evaluate_unary(const UnaryExpr& e);
  [[gnu::noinline]] Value evaluate_array(const ArrayExpr& e);
  // The truth of a condition, without building a Boolean for plain comparisons.
  [[gnu::always_inline]] bool test(const Expr& condition);
  // Plain arithmetic on bare numbers (T is int64_t for Numbers, double for Floats): a literal,
  // a name holding a value of that kind, or an arithmetic subtree of those. False when a leaf
  // is of another kind, a division by zero is met or the stack runs short; nothing observable
  // has happened then, and the general path evaluates the subtree (and reports the division).
  // `operation` computes one operation in the caller's frame; `pure` is its out-of-line twin
  // for subtrees, `leaf` reads a literal or a name.
  template <class T> bool leaf(const Expr& e, T& out) const;
  template <class T> bool plain(const Expr& e, T& out) const;
  template <class T> bool operation(const BinaryExpr& b, T& out) const;
  template <class T> bool pure(const BinaryExpr& b, T& out) const;
  // A comparison of plain operands of kind T, computed when both are of that kind.
  template <class T> bool comparison(const BinaryExpr& e, bool& result) const;
  Value evaluate_operand(const Expr& e);
  Value general_binary(const BinaryExpr& e);
  // An operand of the general rule; arithmetic below it skips the attempt on bare numbers.
  Value general_operand(const Expr& child);
  [[gnu::noinline]] Value evaluate_call(const CallExpr& call);
  // A call in two halves; enter_frame returns where the call's displaced bindings begin.
  size_t enter_frame(const FunctionData& fn, std::span<Value> args);
  Value run_frame(const FunctionData& fn, size_t start);
  [[gnu::noinline]] Value evaluate_index(const IndexExpr& e);
  static Value element(const Value& target, const Value& index);
  [[gnu::noinline]] Value evaluate_range(const RangeExpr& e);
  [[gnu::noinline]] Value evaluate_dict(const DictExpr& e);

  std::vector<NameEntry> m_names;
  // Displaced bindings of all active calls, innermost last.
  std::vector<Shadowed> m_shadowed;
  uint32_t m_depth = 0;  // active user-function calls
  Value m_pending;
  uint8_t m_flags = 0;
  uint64_t m_steps_left = UINT64_MAX;
  const char* m_stack_limit;
  GraphicsContext m_graphics;
};

// Applies a binary operator; the left operand is taken by value so that a uniquely owned
// string can be appended to in place.
Value binary_op(Value left, TokenKind op, const Value& right);

// Hoists lets and function definitions, then calls main if it exists, or else runs every
// top-level statement until a top-level return. `step_budget` bounds the work (see
// Interpreter::set_step_budget).
void run_program(const Program& program, uint64_t step_budget = UINT64_MAX);

}  // namespace orvane
