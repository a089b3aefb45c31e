#include "interpreter/compiler.hpp"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "interpreter/builtins.hpp"
#include "interpreter/leaf_cells.hpp"
#include "interpreter/operators.hpp"

namespace orvane {

namespace {

// `-2`, `-0.5`: a negative number is written as a minus before a literal, and taken as a
// literal itself, worked out by the same rule as any minus.
bool is_negative_literal(const Expr& e) {
  if (e.kind != Expr::Unary) return false;
  const auto& u = static_cast<const UnaryExpr&>(e);
  return u.op == TokenKind::Minus &&
         (u.operand->kind == Expr::Number || u.operand->kind == Expr::Float);
}

bool is_leaf(const Expr& e) {
  return e.kind == Expr::Number || e.kind == Expr::Float || e.kind == Expr::String ||
         e.kind == Expr::Boolean || e.kind == Expr::Identifier || is_negative_literal(e);
}

bool is_leaf_comparison(const Expr& e) {
  if (e.kind != Expr::Binary) return false;
  const auto& b = static_cast<const BinaryExpr&>(e);
  return operators::comparison_bit(b.op) && is_leaf(*b.left) && is_leaf(*b.right);
}

// The operands of `p and q and ...` (or of `p or q or ...`), leftmost first. The chain is
// walked, not recursed, however long it is.
std::vector<const Expr*> joined_operands(const BinaryExpr& condition, TokenKind joiner) {
  std::vector<const Expr*> found;
  const Expr* at = &condition;
  while (at->kind == Expr::Binary && static_cast<const BinaryExpr*>(at)->op == joiner) {
    const auto* b = static_cast<const BinaryExpr*>(at);
    found.push_back(b->right.get());
    at = b->left.get();
  }
  found.push_back(at);
  std::reverse(found.begin(), found.end());
  return found;
}

// The value of a literal leaf.
Value literal(const Expr& e) {
  switch (e.kind) {
    case Expr::Unary:
      return operators::negate(literal(*static_cast<const UnaryExpr&>(e).operand));
    case Expr::Number:
      return Value::number(static_cast<const NumberExpr&>(e).value);
    case Expr::Float:
      return Value::real(static_cast<const FloatExpr&>(e).value);
    case Expr::String:
      return Value::string(static_cast<const StringExpr&>(e).text());
    default:
      return Value::boolean(static_cast<const BooleanExpr&>(e).value);
  }
}

bool is_name(const Expr& e, NameId name) {
  return e.kind == Expr::Identifier && static_cast<const IdentifierExpr&>(e).name == name;
}

bool is_arithmetic(TokenKind k) {
  return k == TokenKind::Plus || k == TokenKind::Minus || k == TokenKind::Star ||
         k == TokenKind::Slash || k == TokenKind::Percent || k == TokenKind::StarStar;
}

TokenKind arithmetic_of(TokenKind compound) {
  switch (compound) {
    case TokenKind::PlusAssign:
      return TokenKind::Plus;
    case TokenKind::MinusAssign:
      return TokenKind::Minus;
    case TokenKind::StarAssign:
      return TokenKind::Star;
    case TokenKind::SlashAssign:
      return TokenKind::Slash;
    default:
      return compound;
  }
}

// The builtin table index of a name, remembered per name: calls are many, names few.
int builtin_of(NameId name) {
  static std::vector<int> known;  // -2: not looked up yet
  if (name >= known.size()) known.resize(name + 1 + known.size() / 2, -2);
  if (known[name] == -2) known[name] = builtin_index(name_text(name));
  return known[name];
}

// Whether `e` is small (a few dozen nodes at most) and `allowed` holds of every node. The bound
// keeps the check's cost per site constant.
template <class Allowed>
bool is_short_and(const Expr& e, Allowed allowed) {
  constexpr size_t MAX_NODES = 32;
  std::vector<const Expr*> pending{&e};
  for (size_t seen = 0; !pending.empty(); ++seen) {
    if (seen == MAX_NODES) return false;
    const Expr& at = *pending.back();
    pending.pop_back();
    if (!allowed(at)) return false;
    switch (at.kind) {
      case Expr::Binary:
        pending.push_back(static_cast<const BinaryExpr&>(at).left.get());
        pending.push_back(static_cast<const BinaryExpr&>(at).right.get());
        break;
      case Expr::Index:
        pending.push_back(static_cast<const IndexExpr&>(at).target.get());
        pending.push_back(static_cast<const IndexExpr&>(at).index.get());
        break;
      case Expr::Unary:
        pending.push_back(static_cast<const UnaryExpr&>(at).operand.get());
        break;
      case Expr::Range:
        pending.push_back(static_cast<const RangeExpr&>(at).start.get());
        pending.push_back(static_cast<const RangeExpr&>(at).end.get());
        break;
      case Expr::Call:
        for (const ExprPtr& arg : static_cast<const CallExpr&>(at).args)
          pending.push_back(arg.get());
        break;
      case Expr::Array:
        for (const ExprPtr& element : static_cast<const ArrayExpr&>(at).elements)
          pending.push_back(element.get());
        break;
      case Expr::Dict:
        for (const DictEntry& entry : static_cast<const DictExpr&>(at).entries)
          pending.push_back(entry.value.get());
        break;
      default:  // a leaf
        break;
    }
  }
  return true;
}

// Whether `e` is short and calls no user function. Nothing else can change a binding (builtins
// never assign), so such an expression may be evaluated before a name that the generic order
// reads first.
bool is_short_and_call_free(const Expr& e) {
  return is_short_and(e, [](const Expr& at) {
    return at.kind != Expr::Call || builtin_of(static_cast<const CallExpr&>(at).name) >= 0;
  });
}

// Whether evaluating `e` can be left out unseen: it is short, calls nothing, allocates nothing
// (no `+`, which joins strings, and no literal collection) and divides nothing (no division by
// zero to report).
bool is_effect_free(const Expr& e) {
  return is_short_and(e, [](const Expr& at) {
    if (at.kind == Expr::Binary) {
      TokenKind op = static_cast<const BinaryExpr&>(at).op;
      return op != TokenKind::Plus && op != TokenKind::Slash && op != TokenKind::Percent;
    }
    return at.kind == Expr::Index || at.kind == Expr::Unary || is_leaf(at);
  });
}

// A comparison whose operands are short and call no user function.
bool is_call_free_comparison(const Expr& e) {
  if (e.kind != Expr::Binary) return false;
  const auto& b = static_cast<const BinaryExpr&>(e);
  return operators::comparison_bit(b.op) && is_short_and_call_free(*b.left) &&
         is_short_and_call_free(*b.right);
}

// Whether a statement is small and defines no function, so that lowering it twice costs
// little: counts the statements within it against `budget`.
bool is_small_statement(const Stmt& s, int& budget) {
  if (--budget < 0 || s.kind == Stmt::FunctionDef) return false;
  auto small = [&](const Block& b) {
    for (const StmtPtr& inner : b)
      if (!is_small_statement(*inner, budget)) return false;
    return true;
  };
  switch (s.kind) {
    case Stmt::If: {
      const auto& i = static_cast<const IfStmt&>(s);
      return small(i.then_branch) && (!i.else_branch || small(*i.else_branch));
    }
    case Stmt::While:
      return small(static_cast<const WhileStmt&>(s).body);
    case Stmt::For:
      return small(static_cast<const ForStmt&>(s).body);
    case Stmt::Match:
      for (const MatchArm& arm : static_cast<const MatchStmt&>(s).arms)
        if (!small(arm.body)) return false;
      return true;
    case Stmt::TryCatch: {
      const auto& t = static_cast<const TryCatchStmt&>(s);
      return small(t.try_body) && small(t.catch_body);
    }
    default:
      return true;
  }
}

uint8_t op_code(TokenKind k) { return static_cast<uint8_t>(k); }

// Lowers statements and expressions into one chunk.
class Lowering {
 public:
  Lowering(Chunk& chunk, const LoweringOptions& options, bool function_body)
      : m_chunk(chunk), m_options(options), m_function_body(function_body) {}

  // A block stops after any statement that leaves a return pending or a flag set, and after
  // its first statement whatever it did when the flags may have been set on entry.
  void block(const Block& stmts, uint32_t* second = nullptr);
  void statement(const Stmt& s);
  void finish(Op last);
  void function_body(const Block& body);
  void top_level(const Stmt& s);

 private:
  size_t emit(Instr i, int effect);
  uint32_t here() const { return static_cast<uint32_t>(m_chunk.code.size()); }
  // Points a jump lowered earlier here; NO_JUMP, where nothing jumps, is let be. Jumps of one
  // condition to one place are chained until then: each target holds the jump before it plus
  // one, and the first 0.
  void land(size_t jump) {
    while (jump != NO_JUMP) {
      uint32_t before = m_chunk.code[jump].c;
      m_chunk.code[jump].c = here();
      jump = before == 0 ? NO_JUMP : before - 1;
    }
  }
  // Chains a jump of a condition to the one before it, for land().
  size_t chain(size_t jump, size_t before) {
    if (before != NO_JUMP) m_chunk.code[jump].c = static_cast<uint32_t>(before + 1);
    return jump;
  }
  static constexpr size_t NO_JUMP = SIZE_MAX;
  uint32_t constant(Value v);
  uint32_t key(const std::string& text);
  // A new `x = push(x, v)` site's number; 0, no site, once a chunk has 65,535.
  uint16_t push_site();
  // The leaf operand of a name or a literal; a literal gets a cell of its own.
  uint32_t leaf(const Expr& e);
  NameId constant_cell(uint32_t index);
  bool specialise() const { return m_options.specialise; }

  void expr(const Expr& e);
  void node(const Expr& e);
  // `a[i]`, `a[i + 1]` and `d.key` on a name, with a short index that calls no user function.
  void indexed_name(const IndexExpr& x);
  void dict_literal(const DictExpr& d);
  void link(const Expr& e);
  void call(const CallExpr& c);
  bool literal_array(const ArrayExpr& a);
  bool match_table(const MatchStmt& s);
  // Lowers a condition; returns the jump taken when it is false, to be landed by the caller,
  // or NO_JUMP for a literal that is always true.
  size_t jump_unless(const Expr& condition);
  // `p and q and ...` of comparisons and `p or q or ...` of comparisons of leaves, as jumps
  // chained for land(); NO_JUMP, with nothing lowered, for any other condition.
  size_t jump_unless_both(const BinaryExpr& condition);
  size_t jump_unless_either(const BinaryExpr& condition);
  // The instruction `op` on a comparison of two leaves.
  size_t leaf_comparison(Op op, const Expr& e);
  // A comparison as a jump taken unless it is true.
  size_t jump_unless_compared(const BinaryExpr& b);

  void assign(const AssignStmt& s);
  void store(NameId name);
  bool update(const AssignStmt& s);
  bool append(const AssignStmt& s);
  bool builtin_update(const AssignStmt& s);
  void if_statement(const IfStmt& s);
  void while_statement(const WhileStmt& s);
  void for_statement(const ForStmt& s);
  // The flags' state where a loop starts: whether they are certainly clear, and how many
  // statements that may set one had been lowered.
  struct Unflagged {
    bool clean;
    uint64_t setters;
  };
  Unflagged unflagged_start() const;
  void clear_break(Unflagged start);
  void loop_body(const Block& body, Op next, NameId variable, size_t start, Unflagged unflagged);
  void match_statement(const MatchStmt& s);
  void try_statement(const TryCatchStmt& s);
  void flag_setter(Op op, int effect) {
    emit({op}, effect);
    may_set_flags();
  }
  void may_set_flags() {
    ++m_flag_setters;
    m_clean = false;
  }
  void loop_end(Op fused, uint32_t head, Unflagged unflagged);

  Chunk& m_chunk;
  const LoweringOptions& m_options;
  int64_t m_depth = 0;
  const bool m_function_body;
  int m_loops = 0;       // loops around the statement being lowered
  int m_try_bodies = 0;  // try bodies around it
  // Calls, returns, breaks and continues lowered so far: the statements that may set flags.
  uint64_t m_flag_setters = 0;
  // Whether the flags are certainly clear where code is being added. A function or a top-level
  // statement may start with flags set: an argument's call or an earlier statement can leave a
  // stray break.
  bool m_clean = false;
  // Checks left out because the flags were clear on a block's entry.
  uint64_t m_skipped_checks = 0;
};

size_t Lowering::emit(Instr i, int effect) {
  m_chunk.code.push_back(i);
  m_depth += effect;
  if (m_depth > static_cast<int64_t>(m_chunk.max_stack))
    m_chunk.max_stack = static_cast<uint32_t>(m_depth);
  return m_chunk.code.size() - 1;
}

uint32_t Lowering::constant(Value v) {
  m_chunk.constants.push_back(std::move(v));
  return static_cast<uint32_t>(m_chunk.constants.size() - 1);
}

uint32_t Lowering::key(const std::string& text) {
  m_chunk.keys.push_back(MemberKey{text, DictMap::hash(text)});
  return static_cast<uint32_t>(m_chunk.keys.size() - 1);
}

uint16_t Lowering::push_site() {
  if (m_chunk.push_sites.size() == UINT16_MAX) return 0;
  m_chunk.push_sites.emplace_back();
  return static_cast<uint16_t>(m_chunk.push_sites.size());
}

uint32_t Lowering::leaf(const Expr& e) {
  if (e.kind == Expr::Identifier) return static_cast<const IdentifierExpr&>(e).name;
  return constant_cell(constant(literal(e)));
}

NameId Lowering::constant_cell(uint32_t index) {
  NameId cell = unnamed();
  m_chunk.constant_cells.push_back({cell, index});
  return cell;
}

// Chains (`a + b + c...`, `x.a.b...`) are lowered in a loop down their left spine, so a
// million links need no deeper native stack than one.
void Lowering::expr(const Expr& e) {
  std::vector<const Expr*> links;
  const Expr* at = &e;
  for (;;) {
    if (at->kind == Expr::Binary) {
      const auto& b = static_cast<const BinaryExpr&>(*at);
      if (specialise() && is_leaf(*b.left) && is_leaf(*b.right)) break;
      links.push_back(at);
      at = b.left.get();
    } else if (at->kind == Expr::Index) {
      const auto& x = static_cast<const IndexExpr&>(*at);
      if (specialise() && x.target->kind == Expr::Identifier && is_short_and_call_free(*x.index))
        break;
      links.push_back(at);
      at = x.target.get();
    } else {
      break;
    }
  }
  auto it = links.rbegin();
  if (specialise() && it != links.rend() && is_leaf(*at) && (*it)->kind == Expr::Binary) {
    // A leaf on the left of a larger right operand is read after that operand when the
    // operand cannot change it: a constant, or an operand that calls no user function.
    const auto& b = static_cast<const BinaryExpr&>(**it);
    if (at->kind != Expr::Identifier || is_short_and_call_free(*b.right)) {
      expr(*b.right);
      emit({Op::BinaryLS, op_code(b.op), 0, 0, leaf(*at)}, 0);
      ++it;
    } else {
      node(*at);
    }
  } else {
    node(*at);
  }
  for (; it != links.rend(); ++it) link(**it);
}

// The outer half of a chain link, its left part already on the stack.
void Lowering::link(const Expr& e) {
  if (e.kind == Expr::Binary) {
    const auto& b = static_cast<const BinaryExpr&>(e);
    if (specialise() && is_leaf(*b.right)) {
      emit({Op::BinarySL, op_code(b.op), 0, 0, leaf(*b.right)}, 0);
      return;
    }
    if (specialise() && b.right->kind == Expr::Index) {  // `... + a[i]`, `... + d.key`
      const auto& x = static_cast<const IndexExpr&>(*b.right);
      if (x.target->kind == Expr::Identifier && is_leaf(*x.index)) {
        NameId target = static_cast<const IdentifierExpr&>(*x.target).name;
        if (x.index->kind == Expr::String)
          emit({Op::BinarySM, op_code(b.op), 0, target,
                key(static_cast<const StringExpr&>(*x.index).text())},
               0);
        else
          emit({Op::BinarySI, op_code(b.op), 0, target, leaf(*x.index)}, 0);
        return;
      }
    }
    expr(*b.right);
    emit({Op::Binary, op_code(b.op)}, -1);
    return;
  }
  const auto& x = static_cast<const IndexExpr&>(e);
  if (specialise() && x.index->kind == Expr::String) {
    emit({Op::Member, 0, 0, key(static_cast<const StringExpr&>(*x.index).text())}, 0);
    return;
  }
  expr(*x.index);
  emit({Op::Index}, -1);
}

void Lowering::node(const Expr& e) {
  switch (e.kind) {
    case Expr::Identifier:
      emit({Op::Load, 0, 0, static_cast<const IdentifierExpr&>(e).name}, 1);
      return;
    case Expr::Number:
    case Expr::Float:
    case Expr::String:
    case Expr::Boolean:
      emit({Op::Const, 0, 0, constant(literal(e))}, 1);
      return;
    case Expr::Binary: {  // both operands are leaves
      const auto& b = static_cast<const BinaryExpr&>(e);
      uint32_t left = leaf(*b.left);
      emit({Op::BinaryLL, op_code(b.op), 0, left, leaf(*b.right)}, 1);
      return;
    }
    case Expr::Index:  // a name indexed by a short expression that calls no user function
      indexed_name(static_cast<const IndexExpr&>(e));
      return;
    case Expr::Unary: {
      if (specialise() && is_negative_literal(e)) {
        emit({Op::Const, 0, 0, constant(literal(e))}, 1);
        return;
      }
      const auto& u = static_cast<const UnaryExpr&>(e);
      expr(*u.operand);
      emit({u.op == TokenKind::Not ? Op::Not : Op::Negate}, 0);
      return;
    }
    case Expr::Call:
      call(static_cast<const CallExpr&>(e));
      return;
    case Expr::Array: {
      const auto& a = static_cast<const ArrayExpr&>(e);
      if (specialise() && literal_array(a)) return;
      for (const ExprPtr& element : a.elements) expr(*element);
      int n = static_cast<int>(a.elements.size());
      emit({Op::MakeArray, 0, 0, 0, static_cast<uint32_t>(n)}, 1 - n);
      return;
    }
    case Expr::Dict:
      dict_literal(static_cast<const DictExpr&>(e));
      return;
    case Expr::Range: {
      const auto& r = static_cast<const RangeExpr&>(e);
      expr(*r.start);
      expr(*r.end);
      emit({Op::Range}, -1);
      return;
    }
  }
}

void Lowering::indexed_name(const IndexExpr& x) {
  NameId target = static_cast<const IdentifierExpr&>(*x.target).name;
  if (x.index->kind == Expr::String) {
    emit({Op::MemberName, 0, 0, target, key(static_cast<const StringExpr&>(*x.index).text())}, 1);
  } else if (is_leaf(*x.index)) {
    emit({Op::IndexLL, 0, 0, target, leaf(*x.index)}, 1);
  } else {
    expr(*x.index);
    emit({Op::IndexName, 0, 0, target}, 0);
  }
}

// The values go on the stack; the keys are laid out once, in the literal's shape.
void Lowering::dict_literal(const DictExpr& d) {
  for (const DictEntry& entry : d.entries) expr(*entry.value);
  DictShape shape;
  for (const DictEntry& entry : d.entries)
    shape.entries.push_back(shape.map.entry_of(entry.key, DictMap::hash(entry.key)));
  m_chunk.dicts.push_back(std::move(shape));
  int n = static_cast<int>(d.entries.size());
  uint32_t index = static_cast<uint32_t>(m_chunk.dicts.size() - 1);
  emit({Op::MakeDict, 0, 0, index, static_cast<uint32_t>(n)}, 1 - n);
}

// An array of literals is made once, as a constant: every evaluation shares its payload, which
// the first change copies.
bool Lowering::literal_array(const ArrayExpr& a) {
  for (const ExprPtr& element : a.elements)
    if (!is_leaf(*element) || element->kind == Expr::Identifier) return false;
  std::vector<Value> items;
  for (const ExprPtr& element : a.elements) items.push_back(literal(*element));
  emit({Op::Const, 0, 0, constant(Value::array(std::move(items)))}, 1);
  return true;
}

// Builtin names win over user functions, so a builtin call is settled here.
void Lowering::call(const CallExpr& c) {
  int n = static_cast<int>(c.args.size());
  int builtin = builtin_of(c.name);
  if (specialise() && (n == 1 || n == 2) && (builtin < 0 || reads_only(builtin)) &&
      std::all_of(c.args.begin(), c.args.end(), [](const ExprPtr& a) { return is_leaf(*a); })) {
    uint32_t first = leaf(*c.args[0]);
    uint32_t second = n == 2 ? leaf(*c.args[1]) : first;
    if (builtin == BUILTIN_LEN && n == 1) {
      emit({Op::LengthLeaf, 0, 0, 0, first}, 1);
      return;
    }
    if (builtin >= 0) {
      emit({Op::CallBuiltinLeaves, static_cast<uint8_t>(n), 0, static_cast<uint32_t>(builtin),
            first, second},
           1);
      return;
    }
    emit({Op::CallLeaves, static_cast<uint8_t>(n), 0, c.name, first, second}, n);  // its peak
    m_depth -= n - 1;
    may_set_flags();
    return;
  }
  for (const ExprPtr& arg : c.args) expr(*arg);
  if (builtin >= 0) {
    emit({Op::CallBuiltin, 0, 0, static_cast<uint32_t>(builtin), static_cast<uint32_t>(n)}, 1 - n);
    return;
  }
  emit({Op::Call, 0, 0, c.name, static_cast<uint32_t>(n)}, 1 - n);
  may_set_flags();
}

size_t Lowering::jump_unless(const Expr& condition) {
  if (specialise() && is_leaf(condition) && condition.kind != Expr::Identifier &&
      is_truthy(literal(condition)))
    return NO_JUMP;  // `while true`
  if (specialise() && condition.kind == Expr::Binary) {
    const auto& b = static_cast<const BinaryExpr&>(condition);
    if (b.op == TokenKind::And || b.op == TokenKind::Or) {
      size_t jumps = b.op == TokenKind::And ? jump_unless_both(b) : jump_unless_either(b);
      if (jumps != NO_JUMP) return jumps;
    }
    if (operators::comparison_bit(b.op)) return jump_unless_compared(b);
  }
  if (specialise() && condition.kind == Expr::Identifier)
    return emit({Op::JumpUnlessLeaf, 0, 0, 0, leaf(condition)}, 0);
  if (specialise() && condition.kind == Expr::Unary &&
      static_cast<const UnaryExpr&>(condition).op == TokenKind::Not) {
    // `not x` is true just when x is not truthy.
    const Expr& operand = *static_cast<const UnaryExpr&>(condition).operand;
    if (is_leaf(operand)) return emit({Op::JumpUnlessLeaf, 1, 0, 0, leaf(operand)}, 0);
    expr(operand);
    return emit({Op::JumpIfTrue}, -1);
  }
  expr(condition);
  return emit({Op::JumpIfFalse}, -1);
}

size_t Lowering::jump_unless_compared(const BinaryExpr& b) {
  uint16_t bit = operators::comparison_bit(b.op);
  if (is_leaf(*b.left) && is_leaf(*b.right)) return leaf_comparison(Op::CompareJumpLL, b);
  if (is_leaf(*b.left) && (b.left->kind != Expr::Identifier || is_short_and_call_free(*b.right))) {
    // A leaf on the left is read after a right operand that cannot change it, as the right
    // operand of the mirrored comparison.
    expr(*b.right);
    TokenKind mirrored = operators::mirrored(b.op);
    return emit({Op::CompareJumpSL, op_code(mirrored), operators::comparison_bit(mirrored), 0,
                 leaf(*b.left)},
                -1);
  }
  expr(*b.left);
  if (is_leaf(*b.right))
    return emit({Op::CompareJumpSL, op_code(b.op), bit, 0, leaf(*b.right)}, -1);
  expr(*b.right);
  return emit({Op::CompareJumpSS, op_code(b.op), bit}, -2);
}

size_t Lowering::leaf_comparison(Op op, const Expr& e) {
  const auto& b = static_cast<const BinaryExpr&>(e);
  uint32_t left = leaf(*b.left);
  return emit({op, op_code(b.op), operators::comparison_bit(b.op), left, leaf(*b.right)}, 0);
}

// Comparisons give a Boolean or Null, so `p and q` is true just when both are true, and a false
// one may skip the others when leaving them out is unseen. Those that call nothing change no
// binding, so they may be tested in any order: one that may report a division is tested first.
size_t Lowering::jump_unless_both(const BinaryExpr& condition) {
  std::vector<const Expr*> operands = joined_operands(condition, TokenKind::And);
  auto effect = operands.end();
  for (auto it = operands.begin(); it != operands.end(); ++it) {
    if (!is_call_free_comparison(**it)) return NO_JUMP;
    if (is_effect_free(**it)) continue;
    if (effect != operands.end()) return NO_JUMP;
    effect = it;
  }
  if (effect != operands.end()) std::rotate(operands.begin(), effect, effect + 1);
  size_t jumps = NO_JUMP;
  for (const Expr* operand : operands)
    jumps = chain(jump_unless_compared(static_cast<const BinaryExpr&>(*operand)), jumps);
  return jumps;
}

// `p or q or ...` is true when one is true and none is Null. The tests run in order until one
// is true, then the rest are tested for Null; the last one tested in order must be true.
size_t Lowering::jump_unless_either(const BinaryExpr& condition) {
  constexpr size_t MOST = 100;  // so that the distance to the Null tests fits a byte
  std::vector<const Expr*> operands = joined_operands(condition, TokenKind::Or);
  if (operands.size() > MOST || !std::all_of(operands.begin(), operands.end(),
                                             [](const Expr* e) { return is_leaf_comparison(*e); }))
    return NO_JUMP;
  size_t n = operands.size();
  size_t jumps = NO_JUMP;
  for (size_t k = 0; k + 1 < n; ++k) {
    jumps = chain(leaf_comparison(Op::OrTestLL, *operands[k]), jumps);
    m_chunk.code[jumps].bits |= static_cast<uint16_t>(n << 8);  // to the Null test of the next
  }
  jumps = chain(leaf_comparison(Op::CompareJumpLL, *operands[n - 1]), jumps);
  for (size_t k = 1; k < n; ++k)
    jumps = chain(leaf_comparison(Op::NullJumpLL, *operands[k]), jumps);
  return jumps;
}

// Past a check that let the block go on, the flags are clear; a statement that lowers nothing
// able to set a flag leaves them as they were. So the check after the first statement is
// needed only when the flags may have been set on entry.
void Lowering::block(const Block& stmts, uint32_t* second) {
  if (stmts.empty()) return;
  bool entry_clean = specialise() && m_clean;
  std::vector<size_t> exits;
  for (size_t i = 0; i < stmts.size(); ++i) {
    if (i == 1 && second) *second = here();
    bool clean = i == 0 ? entry_clean : true;
    m_clean = clean;
    uint64_t before = m_flag_setters;
    statement(*stmts[i]);
    bool sets = m_flag_setters != before;
    if (((i == 0 && !entry_clean) || sets) && i + 1 < stmts.size())
      exits.push_back(emit({Op::CheckFlags}, 0));
    else if (i == 0 && i + 1 < stmts.size())
      ++m_skipped_checks;
    m_clean = clean && !sets;
  }
  for (size_t exit : exits) land(exit);
  if (!exits.empty()) m_clean = false;  // the checks that stopped the block land here
}

void Lowering::statement(const Stmt& s) {
  switch (s.kind) {
    case Stmt::Let:
    case Stmt::Assign:
    case Stmt::CompoundAssign:
      assign(static_cast<const AssignStmt&>(s));
      return;
    case Stmt::FunctionDef: {
      const auto& def = static_cast<const FunctionDefStmt&>(s);
      uint32_t fn = constant(Value::function(lower_function(*def.function, m_options)));
      emit({Op::Define, 0, 0, def.name, fn}, 0);
      return;
    }
    case Stmt::If:
      if_statement(static_cast<const IfStmt&>(s));
      return;
    case Stmt::While:
      while_statement(static_cast<const WhileStmt&>(s));
      return;
    case Stmt::For:
      for_statement(static_cast<const ForStmt&>(s));
      return;
    case Stmt::Match:
      match_statement(static_cast<const MatchStmt&>(s));
      return;
    case Stmt::TryCatch:
      try_statement(static_cast<const TryCatchStmt&>(s));
      return;
    case Stmt::Return: {
      const auto& r = static_cast<const ReturnStmt&>(s);
      bool direct = specialise() && m_function_body && m_try_bodies == 0;
      uint8_t clear_break = m_loops > 0 ? 1 : 0;
      if (direct && r.value && is_leaf(*r.value)) {
        uint32_t result = leaf(*r.value);
        emit({Op::ReturnLeaf, clear_break, 0, result, static_cast<uint32_t>(m_depth)}, 0);
        return;
      }
      if (r.value)
        expr(*r.value);
      else
        emit({Op::Const, 0, 0, constant(Value::null())}, 1);
      // Outside a try body nothing between here and the end of the function looks at a
      // pending return, so the call ends at once, the way the loops it leaves would leave the
      // flags: with the break flag clear.
      if (direct) {
        emit({Op::ReturnLeave, clear_break, 0, 0, static_cast<uint32_t>(m_depth)}, -1);
        return;
      }
      flag_setter(Op::Return, -1);
      return;
    }
    case Stmt::Break:
      flag_setter(Op::Break, 0);
      return;
    case Stmt::Continue:
      flag_setter(Op::Continue, 0);
      return;
    case Stmt::Global:
      emit({Op::Global, 0, 0, static_cast<const GlobalStmt&>(s).name}, 0);
      return;
    case Stmt::Expression:
      expr(*static_cast<const ExpressionStmt&>(s).expr);
      emit({Op::Pop, 0, 0, 0, 1}, -1);
      return;
  }
}

void Lowering::assign(const AssignStmt& s) {
  if (specialise() && (update(s) || append(s) || builtin_update(s))) return;
  if (s.kind == Stmt::CompoundAssign) {
    // The variable is read before the right side runs.
    emit({Op::Load, 0, 0, s.name}, 1);
    expr(*s.value);
    emit({Op::Binary, op_code(arithmetic_of(s.op))}, -1);
  } else {
    expr(*s.value);
  }
  store(s.name);
}

// Pops the value just computed into `name`. An operator or a read of an element that computed
// it writes its result to the binding itself instead.
void Lowering::store(NameId name) {
  Instr& last = m_chunk.code.back();
  if (specialise()) {
    Op fused = last.op == Op::BinaryLL     ? Op::BinaryLLTo
               : last.op == Op::BinarySL   ? Op::BinarySLTo
               : last.op == Op::BinaryLS   ? Op::BinaryLSTo
               : last.op == Op::Binary     ? Op::BinaryTo
               : last.op == Op::IndexLL    ? Op::IndexLLTo
               : last.op == Op::IndexName  ? Op::IndexNameTo
               : last.op == Op::MemberName ? Op::MemberNameTo
                                           : last.op;
    if (fused != last.op) {
      last.op = fused;
      last.c = name;
      --m_depth;  // the result is never pushed
      return;
    }
    if (last.op == Op::Load || last.op == Op::Const) {  // `x = y`, `x = 1`
      uint32_t source = last.op == Op::Load ? last.a : constant_cell(last.a);
      last = {Op::StoreLeaf, 0, 0, name, source};
      --m_depth;
      return;
    }
  }
  emit({Op::Store, 0, 0, name}, -1);
}

// `x op= leaf` and `x = x op leaf`, computed into the binding in place.
bool Lowering::update(const AssignStmt& s) {
  TokenKind op;
  const Expr* right;
  if (s.kind == Stmt::CompoundAssign) {
    op = arithmetic_of(s.op);
    right = s.value.get();
  } else {
    if (s.value->kind != Expr::Binary) return false;
    const auto& b = static_cast<const BinaryExpr&>(*s.value);
    if (!is_arithmetic(b.op) || !is_name(*b.left, s.name)) return false;
    op = b.op;
    right = b.right.get();
  }
  // A text on the right makes no number: `s = s + "x"` is an append.
  if (!is_leaf(*right) || right->kind == Expr::String) return false;
  Value constant_right = right->kind == Expr::Identifier ? Value() : literal(*right);
  if (constant_right.is(Value::Number) && (op == TokenKind::Plus || op == TokenKind::Minus)) {
    // Subtracting k adds -k: the same in wrapping arithmetic, even for the least integer.
    int64_t k = constant_right.as_number();
    uint64_t addend = static_cast<uint64_t>(k);
    if (op == TokenKind::Minus) addend = 0 - addend;
    auto step = static_cast<int64_t>(addend);
    if (step >= INT32_MIN && step <= INT32_MAX) {  // the instruction holds the step itself
      uint32_t original = constant(constant_right);
      emit({Op::AddConstant, op_code(op), 0, s.name, original, static_cast<uint32_t>(step)}, 0);
      return true;
    }
  }
  emit({Op::UpdateL, op_code(op), 0, s.name, leaf(*right)}, 0);
  return true;
}

// `x += e` and `x = x + e1 + l2 + ... + ln` with l2...ln literals or other names: every right
// operand is evaluated while x still holds its value (reading a literal or another name has no
// effect), and then a string in x may grow in place.
bool Lowering::append(const AssignStmt& s) {
  std::vector<const Expr*> rights;
  if (s.kind == Stmt::CompoundAssign) {
    if (s.op != TokenKind::PlusAssign) return false;
    rights.push_back(s.value.get());
  } else {
    const Expr* at = s.value.get();
    while (at->kind == Expr::Binary && static_cast<const BinaryExpr*>(at)->op == TokenKind::Plus) {
      rights.push_back(static_cast<const BinaryExpr*>(at)->right.get());
      at = static_cast<const BinaryExpr*>(at)->left.get();
    }
    if (rights.empty() || !is_name(*at, s.name)) return false;
    for (size_t i = 0; i + 1 < rights.size(); ++i)  // all but the first, which is last here
      if (!is_leaf(*rights[i]) || is_name(*rights[i], s.name)) return false;
  }
  emit({Op::Load, 0, 0, s.name}, 1);
  for (auto it = rights.rbegin(); it != rights.rend(); ++it) expr(**it);
  int n = static_cast<int>(rights.size());
  emit({Op::Append, 0, 0, s.name, static_cast<uint32_t>(n)}, -(n + 1));
  return true;
}

// `x = builtin(x, ...)`: the builtin may change x's payload in place.
bool Lowering::builtin_update(const AssignStmt& s) {
  if (s.kind == Stmt::CompoundAssign || s.value->kind != Expr::Call) return false;
  const auto& c = static_cast<const CallExpr&>(*s.value);
  int builtin = builtin_of(c.name);
  if (builtin < 0 || c.args.empty() || !is_name(*c.args[0], s.name)) return false;
  // An item read in place is read after x's array has made room for it; x itself is pushed
  // from the stack, as a value that shares x's array from before the push.
  if (builtin == BUILTIN_PUSH && c.args.size() == 2 && is_leaf(*c.args[1]) &&
      !is_name(*c.args[1], s.name)) {
    emit({Op::PushLeaf, 0, push_site(), s.name, leaf(*c.args[1])}, 0);
    return true;
  }
  if (builtin == BUILTIN_PUSH && c.args.size() == 2 && c.args[1]->kind == Expr::Index) {
    // `x = push(x, a[i])`, how an array is built from another: the element goes straight
    // from one array to the other.
    const auto& x = static_cast<const IndexExpr&>(*c.args[1]);
    if (x.target->kind == Expr::Identifier && is_leaf(*x.index) && x.index->kind != Expr::String) {
      NameId source = static_cast<const IdentifierExpr&>(*x.target).name;
      emit({Op::PushIndex, 0, push_site(), s.name, source, leaf(*x.index)}, 0);
      return true;
    }
  }
  if (builtin == BUILTIN_PUSH && c.args.size() == 2 && is_short_and_call_free(*c.args[1])) {
    // Nothing the pushed expression does can change x, so x need not be read before it.
    expr(*c.args[1]);
    Instr& last = m_chunk.code.back();
    if (last.op == Op::IndexName) {  // `x = push(x, a[i + 1])`: the element goes straight across
      last = {Op::PushIndexName, 0, push_site(), s.name, last.a};
      --m_depth;
      return true;
    }
    emit({Op::Push, 0, push_site(), s.name}, -1);
    return true;
  }
  for (const ExprPtr& arg : c.args) expr(*arg);
  int n = static_cast<int>(c.args.size());
  emit({Op::BuiltinUpdate, 0, 0, s.name, static_cast<uint32_t>(n), static_cast<uint32_t>(builtin)},
       -n);
  return true;
}

// Ends the chunk. A jump to a jump goes straight to the last one's target, and a jump to the
// end of a loop becomes that end. Then every target, so far an instruction's index, is counted
// from the instruction that jumps.
void Lowering::finish(Op last) {
  emit({last}, 0);
  std::vector<Instr>& code = m_chunk.code;
  for (Instr& in : code) {
    if (!specialise() || in.op != Op::Jump) continue;
    for (size_t hops = 0; code[in.c].op == Op::Jump && hops < code.size(); ++hops)
      in.c = code[in.c].c;
    if (jumps_by_b(code[in.c].op)) in = code[in.c];
  }
  for (uint32_t i = 0; i < code.size(); ++i) {
    if (jumps_by_c(code[i].op)) code[i].c -= i;
    if (jumps_by_b(code[i].op)) code[i].b -= i;
  }
}

// A call starts with the flags clear but for a stray flag left by an argument's call, which
// stops the body after its first statement (unless that statement clears it). So the body is
// lowered for clear flags, and a small first statement is lowered a second time, for a call
// that finds a flag set: it runs, its flags are checked, and the call goes on into the body's
// second statement or ends.
void Lowering::function_body(const Block& body) {
  int budget = 16;
  if (!specialise() || body.size() < 2 || !is_small_statement(*body[0], budget)) {
    block(body);
    finish(Op::Leave);
    return;
  }
  m_clean = true;
  uint32_t second = 0;
  uint64_t skipped = m_skipped_checks;
  block(body, &second);
  if (m_skipped_checks == skipped) {  // the same code serves both kinds of call
    finish(Op::Leave);
    return;
  }
  uint32_t leave = here();
  emit({Op::Leave}, 0);
  m_chunk.flagged_entry = here();
  m_clean = false;
  statement(*body[0]);
  emit({Op::CheckFlags, 0, 0, 0, 0, leave}, 0);
  emit({Op::Jump, 0, 0, 0, 0, second}, 0);
  finish(Op::Leave);
}

// A top-level statement likewise, when it is small: a stray flag left by an earlier statement
// is rare, and a run that finds one starts at the statement's second lowering.
void Lowering::top_level(const Stmt& s) {
  int budget = 16;
  bool twice = specialise() && is_small_statement(s, budget);
  m_clean = twice;
  uint64_t skipped = m_skipped_checks;
  statement(s);
  if (twice && m_skipped_checks != skipped) {
    emit({Op::Halt}, 0);
    m_chunk.flagged_entry = here();
    m_clean = false;
    statement(s);
  }
  finish(Op::Halt);
}

void Lowering::if_statement(const IfStmt& s) {
  size_t otherwise = jump_unless(*s.condition);
  bool tested = m_clean;
  block(s.then_branch);
  if (!s.else_branch) {
    land(otherwise);
    return;
  }
  size_t end = emit({Op::Jump}, 0);
  land(otherwise);
  m_clean = tested;
  block(*s.else_branch);
  land(end);
}

void Lowering::while_statement(const WhileStmt& s) {
  Unflagged unflagged = unflagged_start();
  uint32_t head = here();
  emit({Op::Tick}, 0);
  size_t exit = jump_unless(*s.condition);
  ++m_loops;
  block(s.body);
  --m_loops;
  size_t end = here();
  loop_end(Op::WhileLoop, head, unflagged);
  land(exit);
  land(end);
  clear_break(unflagged);
}

// Where a loop starts with the flags clear and nothing in it can set one, the break flag is
// clear when the loop ends and needs no clearing.
Lowering::Unflagged Lowering::unflagged_start() const {
  return {specialise() && m_clean, m_flag_setters};
}

void Lowering::clear_break(Unflagged start) {
  if (!start.clean || m_flag_setters != start.setters)
    emit({Op::ClearBreak}, 0);
  else
    ++m_skipped_checks;  // a run that finds a flag set takes the second entry
}

// The end of a loop body: LoopEnd, or the form of it that knows the instruction at the loop's
// head and goes on into it without a second dispatch.
void Lowering::loop_end(Op fused, uint32_t head, Unflagged unflagged) {
  // A body that ends by counting (`i += 1`) goes from the count into the loop end without a
  // dispatch; what jumps to the loop end still finds it there.
  Instr& last = m_chunk.code.back();
  if (specialise() && here() > head && last.op == Op::AddConstant) last.op = Op::AddConstantLoop;
  if (unflagged.clean && m_flag_setters == unflagged.setters) {
    fused = fused == Op::WhileLoop      ? Op::WhileLoopUnflagged
            : fused == Op::ForRangeLoop ? Op::ForRangeLoopUnflagged
                                        : Op::ForArrayLoopUnflagged;
  }
  emit({specialise() ? fused : Op::LoopEnd, 0, 0, 0, head}, 0);
}

// A range is counted through without building the array nobody else can see.
void Lowering::for_statement(const ForStmt& s) {
  Unflagged unflagged = unflagged_start();
  size_t start;
  Op next;
  if (s.iterable->kind == Expr::Range) {
    const auto& r = static_cast<const RangeExpr&>(*s.iterable);
    expr(*r.start);
    expr(*r.end);
    start = emit({Op::ForRange}, 0);
    next = Op::ForRangeNext;
  } else {
    expr(*s.iterable);
    start = emit({Op::ForArray}, 1);
    next = Op::ForArrayNext;
  }
  loop_body(s.body, next, s.variable, start, unflagged);
}

void Lowering::loop_body(const Block& body, Op next, NameId variable, size_t start,
                         Unflagged unflagged) {
  uint32_t head = here();
  size_t step = emit({next, 0, 0, variable}, 0);
  ++m_loops;
  block(body);
  --m_loops;
  size_t end = here();
  loop_end(next == Op::ForRangeNext ? Op::ForRangeLoop : Op::ForArrayLoop, head, unflagged);
  land(step);
  land(end);
  clear_break(unflagged);
  emit({Op::Pop, 0, 0, 0, 2}, -2);
  land(start);
}

void Lowering::match_statement(const MatchStmt& s) {
  expr(*s.subject);
  if (specialise() && match_table(s)) return;
  std::vector<size_t> ends;
  for (const MatchArm& arm : s.arms) {
    size_t test = SIZE_MAX;
    if (arm.pattern && specialise() && is_leaf(*arm.pattern)) {
      test = emit({Op::MatchLeaf, 0, 0, 0, leaf(*arm.pattern)}, 0);
    } else if (arm.pattern) {
      expr(*arm.pattern);
      test = emit({Op::MatchTest}, -1);
    }
    bool tested = m_clean;  // the next arm is tried without this one's body having run
    block(arm.body);
    m_clean = tested;
    ends.push_back(emit({Op::Jump}, 0));
    if (test != SIZE_MAX) land(test);
  }
  for (size_t end : ends) land(end);
  emit({Op::Pop, 0, 0, 0, 1}, -1);
}

// A `match` whose arms up to the first wildcard all have patterns that are Number, String or
// Boolean literals: one instruction tries them in order and goes to the arm that matches. Arms
// after a wildcard are never reached, so they are not lowered.
bool Lowering::match_table(const MatchStmt& s) {
  size_t literals = 0;
  for (const MatchArm& arm : s.arms) {
    if (!arm.pattern) break;
    const Expr& pattern = *arm.pattern;
    Expr::Kind kind = is_negative_literal(pattern)
                          ? static_cast<const UnaryExpr&>(pattern).operand->kind
                          : pattern.kind;
    if (kind != Expr::Number && kind != Expr::String && kind != Expr::Boolean) return false;
    ++literals;
  }
  if (literals < 2) return false;
  auto index = static_cast<uint32_t>(m_chunk.tables.size());
  m_chunk.tables.emplace_back();
  size_t search = emit({Op::MatchTable, 0, 0, index}, 0);
  auto offset = [&] { return static_cast<int32_t>(here() - search); };
  std::vector<size_t> ends;
  bool tested = m_clean;  // each arm is entered straight from the search
  for (const MatchArm& arm : s.arms) {
    MatchTable& table = m_chunk.tables[index];
    if (arm.pattern) {
      Value pattern = literal(*arm.pattern);
      uint64_t key = match_key(pattern);
      table.arms.push_back({pattern, offset(), pattern.kind(), key});
    } else {
      table.otherwise = offset();
    }
    block(arm.body);
    m_clean = tested;
    ends.push_back(emit({Op::Jump}, 0));
    if (!arm.pattern) break;
  }
  if (s.arms.size() == literals) m_chunk.tables[index].otherwise = offset();
  for (size_t end : ends) land(end);
  emit({Op::Pop, 0, 0, 0, 1}, -1);
  return true;
}

void Lowering::try_statement(const TryCatchStmt& s) {
  ++m_try_bodies;
  block(s.try_body);
  --m_try_bodies;
  size_t skip = emit({Op::Catch, 0, 0, s.error_name}, 0);
  m_clean = false;
  block(s.catch_body);
  land(skip);
}

}  // namespace

LoweringOptions lowering_options_from_environment() {
  const char* generic = std::getenv("ORVANE_GENERIC");
  return LoweringOptions{!(generic && std::strcmp(generic, "1") == 0)};
}

Chunk lower_statement(const Stmt& stmt, const LoweringOptions& options) {
  Chunk chunk;
  Lowering lowering(chunk, options, false);
  lowering.top_level(stmt);
  return chunk;
}

std::shared_ptr<const FunctionData> lower_function(const FunctionDecl& decl,
                                                   const LoweringOptions& options) {
  auto fn = std::make_shared<FunctionData>();
  fn->params = decl.params;
  Lowering lowering(fn->chunk, options, true);
  lowering.function_body(decl.body);
  if (options.specialise) fn->leaf = leaf_cells(*fn);
  return fn;
}

}  // namespace orvane
