#include "interpreter/interpreter.hpp"

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "interpreter/builtins.hpp"
#include "support/interrupt.hpp"
#include "support/output.hpp"
#include "support/stack.hpp"

namespace orvane {

namespace {

uint64_t u(int64_t v) { return static_cast<uint64_t>(v); }
int64_t s(uint64_t v) { return static_cast<int64_t>(v); }

int64_t divide_by_zero() {
  output::write("Error: division by zero\n");
  return 0;
}

// Exponent: the low 32 bits read as unsigned, so -1 acts as 4294967295; squares wrap.
int64_t int_power(int64_t base, int64_t exponent) {
  uint64_t e = static_cast<uint32_t>(exponent);
  uint64_t result = 1;
  uint64_t b = u(base);
  while (e) {
    if (e & 1) result *= b;
    b *= b;
    e >>= 1;
  }
  return s(result);
}

[[gnu::always_inline]] inline Value number_op(int64_t a, TokenKind op, int64_t b) {
  switch (op) {
    case TokenKind::Plus: return Value::number(s(u(a) + u(b)));
    case TokenKind::Minus: return Value::number(s(u(a) - u(b)));
    case TokenKind::Star: return Value::number(s(u(a) * u(b)));
    case TokenKind::Slash:
      if (b == 0) return Value::number(divide_by_zero());
      if (b == -1) return Value::number(s(0 - u(a)));  // the least integer wraps to itself
      return Value::number(a / b);
    case TokenKind::Percent:
      if (b == 0) return Value::number(divide_by_zero());
      if (b == -1) return Value::number(0);
      return Value::number(a % b);
    case TokenKind::StarStar: return Value::number(int_power(a, b));
    case TokenKind::EqualEqual: return Value::boolean(a == b);
    case TokenKind::NotEqual: return Value::boolean(a != b);
    case TokenKind::Less: return Value::boolean(a < b);
    case TokenKind::Greater: return Value::boolean(a > b);
    case TokenKind::LessEqual: return Value::boolean(a <= b);
    case TokenKind::GreaterEqual: return Value::boolean(a >= b);
    default: return Value::null();
  }
}

[[gnu::always_inline]] inline Value float_op(double a, TokenKind op, double b) {
  switch (op) {
    case TokenKind::Plus: return Value::real(a + b);
    case TokenKind::Minus: return Value::real(a - b);
    case TokenKind::Star: return Value::real(a * b);
    case TokenKind::Slash: return Value::real(a / b);
    case TokenKind::Percent: return Value::real(std::fmod(a, b));
    case TokenKind::StarStar: return Value::real(std::pow(a, b));
    // Equality within the tolerance; with a NaN both == and != are false.
    case TokenKind::EqualEqual: return Value::boolean(std::fabs(a - b) < FLOAT_TOLERANCE);
    case TokenKind::NotEqual: return Value::boolean(std::fabs(a - b) >= FLOAT_TOLERANCE);
    case TokenKind::Less: return Value::boolean(a < b);
    case TokenKind::Greater: return Value::boolean(a > b);
    case TokenKind::LessEqual: return Value::boolean(a <= b);
    case TokenKind::GreaterEqual: return Value::boolean(a >= b);
    default: return Value::null();
  }
}

Value string_op(Value left, TokenKind op, const Value& right) {
  switch (op) {
    case TokenKind::Plus: {
      const std::string& r = right.as_string();
      check_allocation(uint64_t{left.as_string().size()} + r.size());
      if (left.is_unique()) {
        // Appending to a string nobody else holds: amortised O(1) for `s = s + t`.
        if (&r == &left.as_string()) {
          std::string copy = r;
          left.mutable_string() += copy;
        } else {
          left.mutable_string() += r;
        }
        return left;
      }
      std::string joined;
      joined.reserve(left.as_string().size() + r.size());
      joined += left.as_string();
      joined += r;
      return Value::string(std::move(joined));
    }
    case TokenKind::EqualEqual: return Value::boolean(left.as_string() == right.as_string());
    case TokenKind::NotEqual: return Value::boolean(left.as_string() != right.as_string());
    default: return Value::null();
  }
}

Value boolean_op(bool a, TokenKind op, bool b) {
  switch (op) {
    case TokenKind::And: return Value::boolean(a && b);
    case TokenKind::Or: return Value::boolean(a || b);
    case TokenKind::EqualEqual: return Value::boolean(a == b);
    case TokenKind::NotEqual: return Value::boolean(a != b);
    default: return Value::null();
  }
}

TokenKind arithmetic_of(TokenKind compound) {
  switch (compound) {
    case TokenKind::PlusAssign: return TokenKind::Plus;
    case TokenKind::MinusAssign: return TokenKind::Minus;
    case TokenKind::StarAssign: return TokenKind::Star;
    case TokenKind::SlashAssign: return TokenKind::Slash;
    default: return compound;
  }
}

// A range bound: Numbers as they are, Floats truncated and saturated, anything else invalid.
std::optional<int64_t> range_bound(const Value& v) {
  if (v.is(Value::Number) || v.is(Value::Float)) return as_integer(v);
  return std::nullopt;
}

bool pattern_matches(const Value& subject, const Value& pattern) {
  if (subject.kind() != pattern.kind()) return false;
  switch (subject.kind()) {
    case Value::Number: return subject.as_number() == pattern.as_number();
    case Value::Float: return std::fabs(subject.as_float() - pattern.as_float()) < FLOAT_TOLERANCE;
    case Value::String: return subject.as_string() == pattern.as_string();
    case Value::Boolean: return subject.as_boolean() == pattern.as_boolean();
    case Value::Null: return true;
    default: return false;
  }
}

// A list of known length kept in the caller's frame; only lists longer than a few items take
// room on the heap. Holds the argument values of a call, among others.
template <class T>
class InlineList {
 public:
  static constexpr size_t INLINE = 4;
  explicit InlineList(size_t capacity)
      : m_data(capacity <= INLINE ? reinterpret_cast<T*>(m_storage)
                                  : static_cast<T*>(::operator new(capacity * sizeof(T)))) {}
  InlineList(const InlineList&) = delete;
  InlineList& operator=(const InlineList&) = delete;
  ~InlineList() {
    for (size_t i = 0; i < m_count; ++i) m_data[i].~T();
    if (m_data != reinterpret_cast<T*>(m_storage)) ::operator delete(m_data);
  }
  // At most the capacity given at construction.
  void push(T v) { new (&m_data[m_count++]) T(std::move(v)); }
  T& operator[](size_t i) { return m_data[i]; }
  std::span<T> span() { return {m_data, m_count}; }

 private:
  alignas(T) unsigned char m_storage[INLINE * sizeof(T)];
  T* m_data;
  size_t m_count = 0;
};

using CallArgs = InlineList<Value>;

}  // namespace

Value binary_op(Value left, TokenKind op, const Value& right) {
  if (left.kind() != right.kind()) return Value::null();  // no promotion between kinds
  switch (left.kind()) {
    case Value::Number: return number_op(left.as_number(), op, right.as_number());
    case Value::Float: return float_op(left.as_float(), op, right.as_float());
    case Value::String: return string_op(std::move(left), op, right);
    case Value::Boolean: return boolean_op(left.as_boolean(), op, right.as_boolean());
    default: return Value::null();
  }
}

// ---- environment ----

Interpreter::Interpreter() : m_stack_limit(stack::limit()) { prepare(); }

void Interpreter::prepare() {
  if (m_names.size() < interned_count()) m_names.resize(interned_count());
}

void Interpreter::assign(NameId name, Value&& value) {
  NameEntry& e = m_names[name];
  if (e.declared_global || m_depth == 0) {
    (e.frame == 0 ? e.value : shadowed_global(name)) = std::move(value);
    return;
  }
  if (e.frame == depth()) {
    e.value = std::move(value);
    return;
  }
  m_shadowed.emplace_back(name, e.frame, std::move(e.value));
  e.value = std::move(value);
  e.frame = depth();
}

Value& Interpreter::shadowed_global(NameId name) {
  // The first time a call shadowed the name, the global went to the stack.
  for (Shadowed& saved : m_shadowed)
    if (saved.name == name && saved.frame == 0) return saved.value;
  return m_names[name].value;  // unreachable: a shadowed name has its global saved
}

void Interpreter::declare_global(NameId name) { m_names[name].declared_global = true; }

Value* Interpreter::own_binding(NameId name) {
  // At depth 0 every binding is a global one, of frame 0.
  NameEntry& e = m_names[name];
  return e.frame == (e.declared_global ? 0 : m_depth) ? &e.value : nullptr;
}

void Interpreter::pop_frame(size_t start) {
  while (m_shadowed.size() > start) {
    Shadowed& saved = m_shadowed.back();
    NameEntry& e = m_names[saved.name];
    e.value.swap(saved.value);
    e.frame = saved.frame;
    m_shadowed.pop_back();  // lets go of the call's own value
  }
  --m_depth;
}

void Interpreter::recover() {
  // Restoring every displaced binding, innermost first, brings back the globals.
  while (m_depth > 0) pop_frame(0);
  m_pending = Value();
  m_flags = 0;
}

Value Interpreter::take_pending() {
  m_flags &= static_cast<uint8_t>(~PENDING);
  return std::move(m_pending);  // a moved-from value is Null
}

Value Interpreter::call_function(const FunctionData& fn, std::span<Value> args) {
  if (!room_for_call()) return give_up();
  size_t start = enter_frame(fn, args);
  return run_frame(fn, start);
}

void Interpreter::raise_failure() const {
  if (m_flags & FAILED) throw RecursionTooDeep{};
}

size_t Interpreter::enter_frame(const FunctionData& fn, std::span<Value> args) {
  size_t start = m_shadowed.size();
  ++m_depth;
  size_t n = std::min(fn.params.size(), args.size());
  for (size_t i = 0; i < n; ++i) assign(fn.params[i], std::move(args[i]));
  return start;
}

Value Interpreter::run_frame(const FunctionData& fn, size_t start) {
  struct FramePop {
    Interpreter& self;
    size_t start;
    ~FramePop() { self.pop_frame(start); }
  } pop{*this, start};
  tick();
  execute_block(fn.body);
  return has_pending() ? take_pending() : Value::null();
}

// ---- plain arithmetic ----

namespace {

// One operation on bare numbers; false for a division by zero, which the general path reports.
[[gnu::always_inline]] inline bool apply(TokenKind op, int64_t x, int64_t y, int64_t& out) {
  if (y == 0 && (op == TokenKind::Slash || op == TokenKind::Percent)) return false;
  out = number_op(x, op, y).as_number();
  return true;
}

[[gnu::always_inline]] inline bool apply(TokenKind op, double x, double y, double& out) {
  out = float_op(x, op, y).as_float();
  return true;
}

// The truth of a comparison of bare numbers; the other operators give Null, which is false.
template <class T>
[[gnu::always_inline]] inline bool compare(TokenKind op, T a, T b) {
  switch (op) {
    case TokenKind::Less: return a < b;
    case TokenKind::Greater: return a > b;
    case TokenKind::LessEqual: return a <= b;
    case TokenKind::GreaterEqual: return a >= b;
    case TokenKind::EqualEqual:
      if constexpr (std::is_same_v<T, double>) return std::fabs(a - b) < FLOAT_TOLERANCE;
      return a == b;
    case TokenKind::NotEqual:
      if constexpr (std::is_same_v<T, double>) return std::fabs(a - b) >= FLOAT_TOLERANCE;
      return a != b;
    default: return false;
  }
}

// Tries the kind the node last met first, then the other, and remembers Floats when they are
// what worked. `attempt(T{})` computes the node on bare values of kind T, or returns false.
template <class Attempt>
[[gnu::always_inline]] inline bool by_hint(const BinaryExpr& e, Attempt&& attempt) {
  if (e.float_hint) return attempt(double{}) || attempt(int64_t{});
  if (attempt(int64_t{})) return true;
  if (!attempt(double{})) return false;
  e.float_hint = true;
  return true;
}

template <class T>
Value bare_value(T v) {
  if constexpr (std::is_same_v<T, double>)
    return Value::real(v);
  else
    return Value::number(v);
}

template <class T>
Value bare_op(T a, TokenKind op, T b) {
  if constexpr (std::is_same_v<T, double>)
    return float_op(a, op, b);
  else
    return number_op(a, op, b);
}

template <class T>
constexpr Expr::Kind LITERAL = std::is_same_v<T, double> ? Expr::Float : Expr::Number;
template <class T>
constexpr Value::Kind KIND = std::is_same_v<T, double> ? Value::Float : Value::Number;

template <class T>
T literal(const Expr& e) {
  if constexpr (std::is_same_v<T, double>)
    return static_cast<const FloatExpr&>(e).value;
  else
    return static_cast<const NumberExpr&>(e).value;
}

template <class T>
T bare(const Value& v) {
  if constexpr (std::is_same_v<T, double>)
    return v.as_float();
  else
    return v.as_number();
}

const Value NULL_VALUE;

// The entry of a Dict under a String literal key, whose hash was computed when parsing; Null
// when absent.
inline const Value& entry(const Value& dict, const Expr& key_literal) {
  const auto& key = static_cast<const StringExpr&>(key_literal);
  const Value* found = dict.as_dict().find(key.text(), key.hash);
  return found ? *found : NULL_VALUE;
}

}  // namespace

template <class T>
[[gnu::always_inline]] inline bool Interpreter::leaf(const Expr& e, T& out) const {
  if (e.kind == Expr::Identifier) {
    const Value& v = lookup_ref(static_cast<const IdentifierExpr&>(e).name);
    out = bare<T>(v);
    return v.is(KIND<T>);
  }
  if (e.kind != LITERAL<T>) return false;
  out = literal<T>(e);
  return true;
}

// Leaves and operations on two leaves are read in place; deeper subtrees recurse only while
// the stack has room.
template <class T>
[[gnu::always_inline]] inline bool Interpreter::plain(const Expr& e, T& out) const {
  if (e.kind != Expr::Binary) return leaf(e, out);  // the likeliest
  const auto& b = static_cast<const BinaryExpr&>(e);
  if (b.leaf_operands) {
    T x, y;
    return leaf(*b.left, x) && leaf(*b.right, y) && apply(b.op, x, y, out);
  }
  return !stack::exhausted(m_stack_limit) && pure(b, out);
}

template <class T>
[[gnu::always_inline]] inline bool Interpreter::operation(const BinaryExpr& b, T& out) const {
  T x, y;
  return plain(*b.left, x) && plain(*b.right, y) && apply(b.op, x, y, out);
}

template <class T>
bool Interpreter::pure(const BinaryExpr& b, T& out) const {
  return operation(b, out);
}

// Names, Number literals, integer arithmetic, indexing and calls evaluated without the
// dispatcher. Skipping its check of an abandoned run changes nothing: reading has no effect,
// a call checks before it runs anything, and the general rule of an operator checks before it
// can report a division.
[[gnu::always_inline]] inline Value Interpreter::evaluate_operand(const Expr& e) {
  switch (e.kind) {
    case Expr::Identifier: return lookup_ref(static_cast<const IdentifierExpr&>(e).name);
    case Expr::Number: return Value::number(static_cast<const NumberExpr&>(e).value);
    case Expr::Binary: {
      const auto& b = static_cast<const BinaryExpr&>(e);
      int64_t n;
      if (b.arithmetic && !b.float_hint && operation(b, n)) return Value::number(n);
      return b.plain_operands ? evaluate_binary(b) : general_binary(b);
    }
    case Expr::Index: {
      const auto& index = static_cast<const IndexExpr&>(e);
      if (index.member) {
        const Value& target = lookup_ref(static_cast<const IdentifierExpr&>(*index.target).name);
        if (target.is(Value::Dict)) return entry(target, *index.index);
      }
      return evaluate_index(index);
    }
    case Expr::Call: return evaluate_call(static_cast<const CallExpr&>(e));
    default: return evaluate(e);
  }
}

template <class T>
[[gnu::always_inline]] inline bool Interpreter::comparison(const BinaryExpr& e,
                                                           bool& result) const {
  T a, b;
  if (!plain(*e.left, a) || !plain(*e.right, b)) return false;
  result = compare(e.op, a, b);
  return true;
}

inline bool Interpreter::test(const Expr& condition) {
  if (condition.kind == Expr::Binary) {
    const auto& e = static_cast<const BinaryExpr&>(condition);
    if (e.plain_operands && !e.arithmetic) {
      // The hint rule of by_hint, spelled out: through a lambda it costs loops about 10%.
      bool result;
      if (e.float_hint) {
        if (comparison<double>(e, result) || comparison<int64_t>(e, result)) return result;
      } else {
        if (comparison<int64_t>(e, result)) return result;
        if (comparison<double>(e, result)) {
          e.float_hint = true;
          return result;
        }
      }
    }
  }
  return is_truthy(evaluate(condition));
}

// ---- statements ----

void Interpreter::tick() {
  if (m_steps_left-- == 0) throw StepBudgetExhausted{};
  if (interrupt::requested()) interrupt::check();
}

void Interpreter::execute_block(const Block& block) {
  for (const StmtPtr& stmt : block) {
    execute(*stmt);
    if (m_flags) return;
  }
}

void Interpreter::execute(const Stmt& stmt) {
  if (m_flags & FAILED) return;
  switch (stmt.kind) {
    case Stmt::Let:
    case Stmt::Assign:
    case Stmt::CompoundAssign: {
      const auto& assign = static_cast<const AssignStmt&>(stmt);
      if (assign.plain_value)
        execute_plain_assign(assign);
      else if (assign.builtin_update)
        execute_builtin_update(assign);
      else
        execute_assign(assign);
      return;
    }
    case Stmt::FunctionDef: {
      const auto& def = static_cast<const FunctionDefStmt&>(stmt);
      assign(def.name, Value::function(def.function));
      return;
    }
    case Stmt::If: execute_if(static_cast<const IfStmt&>(stmt)); return;
    case Stmt::While: execute_while(static_cast<const WhileStmt&>(stmt)); return;
    case Stmt::For: execute_for(static_cast<const ForStmt&>(stmt)); return;
    case Stmt::Match: execute_match(static_cast<const MatchStmt&>(stmt)); return;
    case Stmt::TryCatch: execute_try(static_cast<const TryCatchStmt&>(stmt)); return;
    case Stmt::Return: execute_return(static_cast<const ReturnStmt&>(stmt)); return;
    case Stmt::Break: m_flags |= BREAK; return;
    case Stmt::Continue: m_flags |= CONTINUE; return;
    case Stmt::Global: declare_global(static_cast<const GlobalStmt&>(stmt).name); return;
    case Stmt::Expression: evaluate(*static_cast<const ExpressionStmt&>(stmt).expr); return;
  }
}

void Interpreter::execute_if(const IfStmt& s) {
  if (test(*s.condition))
    execute_block(s.then_branch);
  else if (s.else_branch)
    execute_block(*s.else_branch);
}

void Interpreter::execute_return(const ReturnStmt& s) {
  m_pending = s.value ? evaluate_operand(*s.value) : Value::null();
  m_flags |= PENDING;
}

// `x op= e` with plain `e`, into a binding that already exists: computed on bare numbers and
// written in place, with no value built in between.
bool Interpreter::assign_compound_arithmetic(const AssignStmt& s) {
  if (s.kind != Stmt::CompoundAssign || !BinaryExpr::is_plain(*s.value)) return false;
  Value* slot = own_binding(s.name);
  if (!slot) return false;
  TokenKind op = arithmetic_of(s.op);
  int64_t b, n;
  if (slot->is(Value::Number) && plain(*s.value, b) && apply(op, slot->as_number(), b, n)) {
    slot->set_number(n);
    return true;
  }
  double y, d;
  if (slot->is(Value::Float) && plain(*s.value, y) && apply(op, slot->as_float(), y, d)) {
    slot->set_real(d);
    return true;
  }
  return false;
}

// The likeliest cases, in a small frame, written into the binding that is already there: a
// literal or a name, and arithmetic of the kind it had last time.
void Interpreter::execute_plain_assign(const AssignStmt& s) {
  if (Value* slot = own_binding(s.name)) {
    const Expr& value = *s.value;
    if (value.kind == Expr::Binary) {
      const auto& b = static_cast<const BinaryExpr&>(value);
      if (!b.float_hint) {
        int64_t n;
        if (operation(b, n)) {
          slot->set_number(n);
          return;
        }
      } else {
        double d;
        if (operation(b, d)) {
          slot->set_real(d);
          return;
        }
      }
    } else {
      switch (value.kind) {
        case Expr::Identifier:  // `x = x` too: copying a value onto itself keeps it
          *slot = lookup_ref(static_cast<const IdentifierExpr&>(value).name);
          return;
        case Expr::Number:
          slot->set_number(static_cast<const NumberExpr&>(value).value);
          return;
        case Expr::Float: slot->set_real(static_cast<const FloatExpr&>(value).value); return;
        case Expr::String: *slot = static_cast<const StringExpr&>(value).value; return;
        default:
          *slot = Value::boolean(static_cast<const BooleanExpr&>(value).value);
          return;
      }
    }
  }
  execute_assign(s);
}

void Interpreter::execute_assign(const AssignStmt& s) {
  if (assign_compound_arithmetic(s)) return;
  // Numbers, floats and booleans have no payload to release: the plain path is exact.
  if (s.self_update && lookup_ref(s.name).payload_identity()) {
    if (s.builtin_update)
      execute_builtin_update(s);
    else
      execute_self_update(s);
    return;
  }
  Value result;
  if (s.kind == Stmt::CompoundAssign) {
    Value left = lookup(s.name);
    Value right = evaluate(*s.value);
    result = binary_op(std::move(left), arithmetic_of(s.op), right);
  } else if (s.value->kind == Expr::Binary) {
    result = evaluate_binary(static_cast<const BinaryExpr&>(*s.value));
  } else {
    result = evaluate(*s.value);
  }
  if (m_flags & FAILED) return;  // an abandoned run keeps the variable as it was
  assign(s.name, std::move(result));
}

// `x = x op e`, `x op= e` and `x = builtin(x, ...)`. The current value is read first, the rest
// evaluated, and then, if the variable still holds that very payload in the binding the
// assignment will replace, the binding lets go of it. The operator or builtin then owns the
// only reference and may change it in place. Nothing can observe the released binding: operators
// and builtins read no variables.
void Interpreter::execute_builtin_update(const AssignStmt& s) {
  // Numbers, floats and booleans have no payload to release: the plain path is exact, and it
  // keeps the variable's value should the builtin run out of memory.
  if (!lookup_ref(s.name).payload_identity()) {
    execute_assign(s);
    return;
  }
  const auto& call = static_cast<const CallExpr&>(*s.value);
  Value* slot = own_binding(s.name);
  if (call.builtin == BUILTIN_PUSH && call.args.size() >= 2 && slot && s.leaf_arguments &&
      slot->is(Value::Array)) {
    // `a = push(a, x)`, the commonest update, appends in place without the argument list.
    // Further arguments are literals or names, ignored as push ignores them.
    Value item = evaluate_operand(*call.args[1]);
    check_append(slot->as_array());
    slot->mutable_array().push_back(std::move(item));
    return;
  }
  CallArgs args(call.args.size());
  if (slot && s.leaf_arguments) {
    // Reading names and literals changes no binding: the value can move straight out.
    args.push(Value());
    for (size_t i = 1; i < call.args.size(); ++i) args.push(evaluate_operand(*call.args[i]));
    args[0] = std::move(*slot);
  } else {
    args.push(lookup(s.name));
    for (size_t i = 1; i < call.args.size(); ++i) args.push(evaluate_operand(*call.args[i]));
    if (m_flags & FAILED) return;
    slot = own_binding(s.name);
    if (slot && slot->payload_identity() && slot->payload_identity() == args[0].payload_identity())
      *slot = Value();
  }
  Value result;
  try {
    result = call_builtin_at(call.builtin, args.span(), m_graphics);
  } catch (...) {
    // A builtin that fails leaves its first argument whole: the variable gets it back.
    if (slot && !slot->payload_identity()) *slot = std::move(args[0]);
    throw;
  }
  // Builtins touch no variables: the binding found above is still the one to write.
  if (slot)
    *slot = std::move(result);
  else
    assign(s.name, std::move(result));
}

// The operator form.
void Interpreter::execute_self_update(const AssignStmt& s) {
  // A chain `x op r1 op r2 ...` with x leftmost. Only a String gets here (other kinds take the
  // plain path), and operators on strings and what they yield have no effects, so evaluating
  // every right operand before applying the operators is indistinguishable from interleaving.
  Value left = lookup(s.name);
  if (!left.is(Value::String)) {
    Value result = s.kind == Stmt::CompoundAssign
                       ? binary_op(std::move(left), arithmetic_of(s.op), evaluate(*s.value))
                       : evaluate(*s.value);
    if (!(m_flags & FAILED)) assign(s.name, std::move(result));
    return;
  }
  // The chain's operators, outermost first (none recorded for `x op= e`).
  bool compound = s.kind == Stmt::CompoundAssign;
  size_t count = 1;
  if (!compound)
    for (const Expr* e = static_cast<const BinaryExpr&>(*s.value).left.get();
         e->kind == Expr::Binary; e = static_cast<const BinaryExpr*>(e)->left.get())
      ++count;
  InlineList<const BinaryExpr*> chain(count);
  if (!compound)
    for (const Expr* e = s.value.get(); e->kind == Expr::Binary;
         e = static_cast<const BinaryExpr*>(e)->left.get())
      chain.push(static_cast<const BinaryExpr*>(e));
  // Step i applies the i-th operator from the innermost one out.
  auto op_at = [&](size_t i) { return compound ? arithmetic_of(s.op) : chain[count - 1 - i]->op; };
  CallArgs rights(count);
  for (size_t i = 0; i < count; ++i)
    rights.push(evaluate(compound ? *s.value : *chain[count - 1 - i]->right));
  if (m_flags & FAILED) return;
  // A join too large to make must fail while the variable still holds its value.
  uint64_t joined = left.as_string().size();
  for (size_t i = 0; i < count && op_at(i) == TokenKind::Plus && rights[i].is(Value::String); ++i)
    joined += rights[i].as_string().size();
  check_allocation(joined);
  Value* slot = own_binding(s.name);
  if (slot && slot->payload_identity() == left.payload_identity()) *slot = Value();
  for (size_t i = 0; i < count; ++i) left = binary_op(std::move(left), op_at(i), rights[i]);
  if (slot)
    *slot = std::move(left);
  else
    assign(s.name, std::move(left));
}

void Interpreter::execute_while(const WhileStmt& s) {
  for (;;) {
    tick();
    if (!test(*s.condition)) {
      m_flags &= static_cast<uint8_t>(~BREAK);
      return;
    }
    execute_block(s.body);
    if (m_flags & (PENDING | BREAK | FAILED)) {
      m_flags &= static_cast<uint8_t>(~BREAK);
      return;
    }
    m_flags &= static_cast<uint8_t>(~CONTINUE);
  }
}

void Interpreter::execute_for(const ForStmt& s) {
  Value iterable = evaluate(*s.iterable);
  if (!iterable.is(Value::Array)) return;
  for (const Value& item : iterable.as_array()) {
    tick();
    if (Value* slot = own_binding(s.variable))
      *slot = item;  // the binding from the previous round
    else
      assign(s.variable, item);
    execute_block(s.body);
    if (m_flags & (PENDING | BREAK | FAILED)) break;
    m_flags &= static_cast<uint8_t>(~CONTINUE);
  }
  m_flags &= static_cast<uint8_t>(~BREAK);
}

void Interpreter::execute_match(const MatchStmt& s) {
  Value subject = evaluate(*s.subject);
  for (const MatchArm& arm : s.arms) {
    if (arm.pattern && !pattern_matches(subject, evaluate(*arm.pattern))) continue;
    execute_block(arm.body);
    return;
  }
}

void Interpreter::execute_try(const TryCatchStmt& s) {
  execute_block(s.try_body);
  if (!has_pending() || !m_pending.is(Value::Error)) return;
  Value error = take_pending();
  assign(s.error_name, Value::string(error.as_string()));
  execute_block(s.catch_body);
}

// ---- expressions ----

Value Interpreter::evaluate(const Expr& expr) {
  if (m_flags & FAILED) return Value::null();
  switch (expr.kind) {
    case Expr::Number: return Value::number(static_cast<const NumberExpr&>(expr).value);
    case Expr::Float: return Value::real(static_cast<const FloatExpr&>(expr).value);
    case Expr::String: return static_cast<const StringExpr&>(expr).value;
    case Expr::Boolean: return Value::boolean(static_cast<const BooleanExpr&>(expr).value);
    case Expr::Identifier: return lookup_ref(static_cast<const IdentifierExpr&>(expr).name);
    case Expr::Binary: return evaluate_binary(static_cast<const BinaryExpr&>(expr));
    case Expr::Unary: return evaluate_unary(static_cast<const UnaryExpr&>(expr));
    case Expr::Call: return evaluate_call(static_cast<const CallExpr&>(expr));
    case Expr::Array: return evaluate_array(static_cast<const ArrayExpr&>(expr));
    case Expr::Dict: return evaluate_dict(static_cast<const DictExpr&>(expr));
    case Expr::Index: return evaluate_index(static_cast<const IndexExpr&>(expr));
    case Expr::Range: return evaluate_range(static_cast<const RangeExpr&>(expr));
  }
  return Value::null();
}

Value Interpreter::evaluate_unary(const UnaryExpr& e) {
  if (stack::exhausted(m_stack_limit)) return give_up();
  Value v = evaluate(*e.operand);
  if (e.op == TokenKind::Not) return Value::boolean(!is_truthy(v));
  if (v.is(Value::Number)) return Value::number(s(0 - u(v.as_number())));
  if (v.is(Value::Float)) return Value::real(-v.as_float());
  return Value::null();
}

Value Interpreter::evaluate_array(const ArrayExpr& e) {
  if (stack::exhausted(m_stack_limit)) return give_up();
  std::vector<Value> items;
  items.reserve(e.elements.size());
  for (const ExprPtr& element : e.elements) items.push_back(evaluate(*element));
  return Value::array(std::move(items));
}

// Plain arithmetic is first tried on bare numbers, and so are comparisons of plain operands.
// When that does not apply, the general rule runs, and arithmetic below it skips the attempt
// (it would fail the same way), so no subtree is tried more than once.
Value Interpreter::evaluate_binary(const BinaryExpr& e) {
  if (!e.plain_operands) return general_binary(e);  // no shortcut to try
  Value result;
  auto attempt = [&](auto kind) {
    using T = decltype(kind);
    if (e.arithmetic) {
      T r;
      if (!operation(e, r)) return false;
      result = bare_value(r);
      return true;
    }
    T a, b;
    if (!plain(*e.left, a) || !plain(*e.right, b)) return false;
    result = bare_op(a, e.op, b);
    return true;
  };
  return by_hint(e, attempt) ? result : general_binary(e);
}

[[gnu::always_inline]] inline Value Interpreter::general_operand(const Expr& child) {
  return child.kind == Expr::Binary && static_cast<const BinaryExpr&>(child).arithmetic
             ? general_binary(static_cast<const BinaryExpr&>(child))
             : evaluate_operand(child);
}

Value Interpreter::general_binary(const BinaryExpr& e) {
  // An abandoned run must not report a division here: operands reach this rule without
  // passing the dispatcher's check.
  if ((m_flags & FAILED) || stack::exhausted(m_stack_limit)) return give_up();
  Value left = general_operand(*e.left);
  Value right = general_operand(*e.right);
  if (left.is(Value::Number) && right.is(Value::Number))
    return number_op(left.as_number(), e.op, right.as_number());
  if (left.is(Value::Float) && right.is(Value::Float))
    return float_op(left.as_float(), e.op, right.as_float());
  return binary_op(std::move(left), e.op, right);
}

Value Interpreter::evaluate_call(const CallExpr& call) {
  if (stack::exhausted(m_stack_limit)) return give_up();
  CallArgs args(call.args.size());
  for (const ExprPtr& arg : call.args) args.push(evaluate_operand(*arg));
  if (m_flags & FAILED) return Value::null();
  if (call.builtin >= 0) return call_builtin_at(call.builtin, args.span(), m_graphics);
  // The stack was checked on entry, and is back where it was.
  if (m_depth >= MAX_CALL_DEPTH) return give_up();
  Value callee = lookup_ref(call.name);  // holds the body even if the name is rebound
  if (!callee.is(Value::Function)) return Value::null();
  const FunctionData& fn = *callee.as_function();
  size_t start = enter_frame(fn, args.span());
  return run_frame(fn, start);
}

// The element of a collection, for an index already evaluated.
Value Interpreter::element(const Value& target, const Value& index) {
  if (target.is(Value::Array) && index.is(Value::Number)) {
    const std::vector<Value>& items = target.as_array();
    uint64_t i = u(index.as_number());  // negative indices are out of range
    return i < items.size() ? items[i] : Value::null();
  }
  if (target.is(Value::Dict) && index.is(Value::String)) {
    const Value* found = target.as_dict().find(index.as_string());
    return found ? *found : Value::null();
  }
  return Value::null();
}

Value Interpreter::evaluate_index(const IndexExpr& e) {
  // A named collection indexed by a literal or a name is read in place: nothing in between
  // can rebind the name, so no copy of the collection is needed.
  if (e.target->kind == Expr::Identifier && (e.index->kind == Expr::Identifier ||
                                             e.index->kind == Expr::Number ||
                                             e.index->kind == Expr::String)) {
    const Value& target = lookup_ref(static_cast<const IdentifierExpr&>(*e.target).name);
    if (e.member && target.is(Value::Dict)) return entry(target, *e.index);
    return element(target, evaluate(*e.index));
  }
  Value target = evaluate(*e.target);
  if (e.index->kind == Expr::String && target.is(Value::Dict)) return entry(target, *e.index);
  Value index = evaluate(*e.index);
  return element(target, index);
}

Value Interpreter::evaluate_range(const RangeExpr& e) {
  Value start_value = evaluate(*e.start);
  Value end_value = evaluate(*e.end);
  std::optional<int64_t> start = range_bound(start_value);
  std::optional<int64_t> end = range_bound(end_value);
  if (!start || !end) return Value::null();
  if (*start >= *end) return Value::array({});
  uint64_t count = u(*end) - u(*start);
  if (count > UINT64_MAX / sizeof(Value)) throw OutOfMemory{};
  check_allocation(count * sizeof(Value));
  std::vector<Value> items;
  items.reserve(count);
  for (int64_t i = *start; i < *end; ++i) items.push_back(Value::number(i));
  return Value::array(std::move(items));
}

Value Interpreter::evaluate_dict(const DictExpr& e) {
  DictMap map;
  for (const DictEntry& entry : e.entries) map.insert(entry.key, entry.hash, evaluate(*entry.value));
  return Value::dict(std::move(map));
}

// ---- whole programs ----

void run_program(const Program& program, uint64_t step_budget) {
  NameId main_name = intern("main");
  Interpreter interp;
  interp.set_step_budget(step_budget);
  for (const StmtPtr& stmt : program) {
    if (stmt->kind == Stmt::Let || stmt->kind == Stmt::FunctionDef) interp.execute(*stmt);
    interp.raise_failure();
  }
  Value main_fn = interp.lookup(main_name);
  if (main_fn.is(Value::Function)) {
    interp.call_function(*main_fn.as_function(), {});
    interp.raise_failure();
    return;
  }
  for (const StmtPtr& stmt : program) {
    interp.execute(*stmt);
    interp.raise_failure();
    if (interp.has_pending()) return;
  }
}

}  // namespace orvane
