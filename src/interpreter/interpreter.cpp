#include "interpreter/interpreter.hpp"

#include <cmath>

#include "interpreter/builtins.hpp"
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

Value number_op(int64_t a, TokenKind op, int64_t b) {
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

Value float_op(double a, TokenKind op, double b) {
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

Value Interpreter::lookup(NameId name) const {
  const NameEntry& e = m_names[name];
  return e.locals.empty() ? e.global : e.locals.back().value;
}

void Interpreter::assign(NameId name, Value value) {
  NameEntry& e = m_names[name];
  if (e.declared_global || m_frame_starts.empty()) {
    e.global = std::move(value);
    return;
  }
  auto frame = static_cast<uint32_t>(m_frame_starts.size());
  if (!e.locals.empty() && e.locals.back().frame == frame) {
    e.locals.back().value = std::move(value);
    return;
  }
  e.locals.push_back(LocalBinding{frame, std::move(value)});
  m_bound.push_back(name);
}

void Interpreter::declare_global(NameId name) { m_names[name].declared_global = true; }

Value* Interpreter::own_binding(NameId name) {
  NameEntry& e = m_names[name];
  if (e.declared_global || m_frame_starts.empty()) return e.locals.empty() ? &e.global : nullptr;
  auto frame = static_cast<uint32_t>(m_frame_starts.size());
  if (!e.locals.empty() && e.locals.back().frame == frame) return &e.locals.back().value;
  return nullptr;
}

void Interpreter::pop_frame() {
  size_t start = m_frame_starts.back();
  for (size_t i = m_bound.size(); i > start; --i) m_names[m_bound[i - 1]].locals.pop_back();
  m_bound.resize(start);
  m_frame_starts.pop_back();
}

void Interpreter::recover() {
  while (!m_frame_starts.empty()) pop_frame();
  m_args.clear();
  m_pending = Value();
  m_flags = 0;
}

Value Interpreter::take_pending() {
  m_flags &= static_cast<uint8_t>(~PENDING);
  Value v = std::move(m_pending);
  m_pending = Value();
  return v;
}

Value Interpreter::call_function(const FunctionData& fn, std::span<Value> args) {
  enter_frame(fn, args);
  return run_frame(fn);
}

void Interpreter::enter_frame(const FunctionData& fn, std::span<Value> args) {
  if (m_frame_starts.size() >= MAX_CALL_DEPTH || stack::exhausted(m_stack_limit))
    throw RecursionTooDeep{};
  m_frame_starts.push_back(m_bound.size());
  size_t n = std::min(fn.params.size(), args.size());
  for (size_t i = 0; i < n; ++i) assign(fn.params[i], std::move(args[i]));
}

Value Interpreter::run_frame(const FunctionData& fn) {
  struct FramePop {
    Interpreter& self;
    ~FramePop() { self.pop_frame(); }
  } pop{*this};
  execute_block(fn.body);
  return has_pending() ? take_pending() : Value::null();
}

// ---- statements ----

void Interpreter::execute_block(const Block& block) {
  for (const StmtPtr& stmt : block) {
    execute(*stmt);
    if (m_flags) return;
  }
}

void Interpreter::execute(const Stmt& stmt) {
  switch (stmt.kind) {
    case Stmt::Let:
    case Stmt::Assign:
    case Stmt::CompoundAssign: execute_assign(static_cast<const AssignStmt&>(stmt)); return;
    case Stmt::FunctionDef: {
      const auto& def = static_cast<const FunctionDefStmt&>(stmt);
      assign(def.name, Value::function(def.function));
      return;
    }
    case Stmt::If: {
      const auto& s = static_cast<const IfStmt&>(stmt);
      if (is_truthy(evaluate(*s.condition)))
        execute_block(s.then_branch);
      else if (s.else_branch)
        execute_block(*s.else_branch);
      return;
    }
    case Stmt::While: execute_while(static_cast<const WhileStmt&>(stmt)); return;
    case Stmt::For: execute_for(static_cast<const ForStmt&>(stmt)); return;
    case Stmt::Match: execute_match(static_cast<const MatchStmt&>(stmt)); return;
    case Stmt::TryCatch: execute_try(static_cast<const TryCatchStmt&>(stmt)); return;
    case Stmt::Return: {
      const auto& s = static_cast<const ReturnStmt&>(stmt);
      Value v = s.value ? evaluate(*s.value) : Value::null();
      m_pending = std::move(v);
      m_flags |= PENDING;
      return;
    }
    case Stmt::Break: m_flags |= BREAK; return;
    case Stmt::Continue: m_flags |= CONTINUE; return;
    case Stmt::Global: declare_global(static_cast<const GlobalStmt&>(stmt).name); return;
    case Stmt::Expression: evaluate(*static_cast<const ExpressionStmt&>(stmt).expr); return;
  }
}

void Interpreter::execute_assign(const AssignStmt& s) {
  if (s.self_update) {
    execute_self_update(s);
    return;
  }
  assign(s.name, evaluate(*s.value));
}

// `x = x op e`, `x op= e` and `x = builtin(x, ...)`. The current value is read first, the rest
// evaluated, and then, if the variable still holds that very payload in the binding the
// assignment will replace, the binding lets go of it. The operator or builtin then owns the
// only reference and may change it in place. Nothing can observe the released binding: operators
// and builtins read no variables.
void Interpreter::execute_self_update(const AssignStmt& s) {
  if (s.value->kind == Expr::Call) {
    const auto& call = static_cast<const CallExpr&>(*s.value);
    size_t base = m_args.size();
    m_args.push_back(lookup(s.name));
    for (size_t i = 1; i < call.args.size(); ++i) {
      Value v = evaluate(*call.args[i]);
      m_args.push_back(std::move(v));
    }
    Value* slot = own_binding(s.name);
    if (slot && slot->payload_identity() && slot->payload_identity() == m_args[base].payload_identity())
      *slot = Value();
    assign(s.name, call_builtin_with(call.builtin, base));
    return;
  }
  Value left;
  const Expr* right_expr;
  TokenKind op;
  if (s.kind == Stmt::CompoundAssign) {
    left = lookup(s.name);
    right_expr = s.value.get();
    op = arithmetic_of(s.op);
  } else {
    const auto& bin = static_cast<const BinaryExpr&>(*s.value);
    left = lookup(s.name);
    right_expr = bin.right.get();
    op = bin.op;
  }
  Value right = evaluate(*right_expr);
  // A join too large to make must fail while the variable still holds its value.
  if (op == TokenKind::Plus && left.is(Value::String) && right.is(Value::String))
    check_allocation(uint64_t{left.as_string().size()} + right.as_string().size());
  Value* slot = own_binding(s.name);
  if (slot && slot->payload_identity() && slot->payload_identity() == left.payload_identity())
    *slot = Value();
  assign(s.name, binary_op(std::move(left), op, right));
}

void Interpreter::execute_while(const WhileStmt& s) {
  for (;;) {
    if (!is_truthy(evaluate(*s.condition))) {
      m_flags &= static_cast<uint8_t>(~BREAK);
      return;
    }
    execute_block(s.body);
    if (m_flags & (PENDING | BREAK)) {
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
    assign(s.variable, item);
    execute_block(s.body);
    if (m_flags & (PENDING | BREAK)) break;
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
  switch (expr.kind) {
    case Expr::Number: return Value::number(static_cast<const NumberExpr&>(expr).value);
    case Expr::Float: return Value::real(static_cast<const FloatExpr&>(expr).value);
    case Expr::String: return static_cast<const StringExpr&>(expr).value;
    case Expr::Boolean: return Value::boolean(static_cast<const BooleanExpr&>(expr).value);
    case Expr::Identifier: return lookup(static_cast<const IdentifierExpr&>(expr).name);
    case Expr::Binary: {
      const auto& e = static_cast<const BinaryExpr&>(expr);
      if (stack::exhausted(m_stack_limit)) throw RecursionTooDeep{};
      Value left = evaluate(*e.left);
      Value right = evaluate(*e.right);
      if (left.is(Value::Number) && right.is(Value::Number))
        return number_op(left.as_number(), e.op, right.as_number());
      return binary_op(std::move(left), e.op, right);
    }
    case Expr::Unary: {
      const auto& e = static_cast<const UnaryExpr&>(expr);
      if (stack::exhausted(m_stack_limit)) throw RecursionTooDeep{};
      Value v = evaluate(*e.operand);
      if (e.op == TokenKind::Not) return Value::boolean(!is_truthy(v));
      if (v.is(Value::Number)) return Value::number(s(0 - u(v.as_number())));
      if (v.is(Value::Float)) return Value::real(-v.as_float());
      return Value::null();
    }
    case Expr::Call: return evaluate_call(static_cast<const CallExpr&>(expr));
    case Expr::Array: {
      const auto& e = static_cast<const ArrayExpr&>(expr);
      if (stack::exhausted(m_stack_limit)) throw RecursionTooDeep{};
      std::vector<Value> items;
      items.reserve(e.elements.size());
      for (const ExprPtr& element : e.elements) items.push_back(evaluate(*element));
      return Value::array(std::move(items));
    }
    case Expr::Dict: return evaluate_dict(static_cast<const DictExpr&>(expr));
    case Expr::Index: return evaluate_index(static_cast<const IndexExpr&>(expr));
    case Expr::Range: return evaluate_range(static_cast<const RangeExpr&>(expr));
  }
  return Value::null();
}

Value Interpreter::call_builtin_with(int builtin, size_t base) {
  struct ArgsPop {
    std::vector<Value>& args;
    size_t base;
    ~ArgsPop() { args.resize(base); }
  } pop{m_args, base};
  return call_builtin_at(builtin, std::span<Value>(m_args.data() + base, m_args.size() - base),
                         m_graphics);
}

Value Interpreter::evaluate_call(const CallExpr& call) {
  if (stack::exhausted(m_stack_limit)) throw RecursionTooDeep{};
  size_t base = m_args.size();
  for (const ExprPtr& arg : call.args) {
    Value v = evaluate(*arg);
    m_args.push_back(std::move(v));
  }
  if (call.builtin >= 0) return call_builtin_with(call.builtin, base);
  Value callee = lookup(call.name);
  if (!callee.is(Value::Function)) {
    m_args.resize(base);
    return Value::null();
  }
  // Bind the arguments, then free their stack slots before the body runs nested calls.
  enter_frame(*callee.as_function(), std::span<Value>(m_args.data() + base, m_args.size() - base));
  m_args.resize(base);
  return run_frame(*callee.as_function());
}

Value Interpreter::evaluate_index(const IndexExpr& e) {
  Value target = evaluate(*e.target);
  if (e.index->kind == Expr::String && target.is(Value::Dict)) {
    // Member access and literal keys: the key's hash was computed once, when parsing.
    const auto& key = static_cast<const StringExpr&>(*e.index);
    const Value* found = target.as_dict().find(key.text(), key.hash);
    return found ? *found : Value::null();
  }
  Value index = evaluate(*e.index);
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

Value Interpreter::evaluate_range(const RangeExpr& e) {
  Value start_value = evaluate(*e.start);
  Value end_value = evaluate(*e.end);
  std::optional<int64_t> start = range_bound(start_value);
  std::optional<int64_t> end = range_bound(end_value);
  if (!start || !end) return Value::null();
  if (*start >= *end) return Value::array({});
  uint64_t count = u(*end) - u(*start);
  if (count > MAX_ALLOCATION_BYTES / sizeof(Value)) throw OutOfMemory{};
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

void run_program(const Program& program) {
  NameId main_name = intern("main");
  Interpreter interp;
  for (const StmtPtr& stmt : program)
    if (stmt->kind == Stmt::Let || stmt->kind == Stmt::FunctionDef) interp.execute(*stmt);
  Value main_fn = interp.lookup(main_name);
  if (main_fn.is(Value::Function)) {
    interp.call_function(*main_fn.as_function(), {});
    return;
  }
  for (const StmtPtr& stmt : program) {
    interp.execute(*stmt);
    if (interp.has_pending()) return;
  }
}

}  // namespace orvane
