// The syntax tree. Every node owns its children; nothing changes a tree after parsing.
// Names are interned; calls of builtin names carry their table index, resolved once here.
#pragma once

#include <memory>
#include <optional>
#include <vector>

#include "interpreter/value.hpp"
#include "lexer/token.hpp"
#include "parser/intern.hpp"

namespace orvane {

struct Expr;
struct Stmt;
using ExprPtr = std::unique_ptr<Expr>;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Expr {
  enum Kind : uint8_t {
    Number, Float, String, Boolean, Identifier, Binary, Unary, Call, Array, Dict, Index, Range
  };
  explicit Expr(Kind k) : kind(k) {}
  virtual ~Expr() = default;
  const Kind kind;
};

inline bool is_literal_or_name(const Expr& e) {
  return e.kind == Expr::Number || e.kind == Expr::Float || e.kind == Expr::String ||
         e.kind == Expr::Boolean || e.kind == Expr::Identifier;
}

struct NumberExpr : Expr {
  explicit NumberExpr(int64_t v) : Expr(Number), value(v) {}
  int64_t value;
};
struct FloatExpr : Expr {
  explicit FloatExpr(double v) : Expr(Float), value(v) {}
  double value;
};
// A string literal, also the key of a member access: the text is kept as a ready value with
// its dict hash.
struct StringExpr : Expr {
  explicit StringExpr(std::string text)
      : Expr(String), hash(DictMap::hash(text)), value(Value::string(std::move(text))) {}
  const std::string& text() const { return value.as_string(); }
  uint64_t hash;
  Value value;
};
struct BooleanExpr : Expr {
  explicit BooleanExpr(bool v) : Expr(Boolean), value(v) {}
  bool value;
};
struct IdentifierExpr : Expr {
  explicit IdentifierExpr(NameId n) : Expr(Identifier), name(n) {}
  NameId name;
};
// The operator is kept as its token kind, the only part of the token anything consults.
// `arithmetic` marks + - * / % ** applied to literals, names and other such operations only:
// a subtree the interpreter may compute on plain numbers, since reading it has no effect.
struct BinaryExpr : Expr {
  BinaryExpr(ExprPtr l, TokenKind o, ExprPtr r)
      : Expr(Binary), left(std::move(l)), right(std::move(r)), op(o),
        plain_operands(is_plain(*left) && is_plain(*right)),
        leaf_operands(is_leaf(*left) && is_leaf(*right)),
        arithmetic(plain_operands && is_arithmetic(o)) {}
  ExprPtr left, right;
  TokenKind op;
  bool plain_operands;  // both operands are literals, names or arithmetic
  bool leaf_operands;   // both operands are Number or Float literals or names
  bool arithmetic;
  // Whether this operation last ran on Floats: a guess the interpreter may keep, to try the
  // likelier kind first. It never changes a result.
  mutable bool float_hint = false;

  static bool is_arithmetic(TokenKind k) {
    return k == TokenKind::Plus || k == TokenKind::Minus || k == TokenKind::Star ||
           k == TokenKind::Slash || k == TokenKind::Percent || k == TokenKind::StarStar;
  }
  static bool is_leaf(const Expr& e) {
    return e.kind == Number || e.kind == Float || e.kind == Identifier;
  }
  static bool is_plain(const Expr& e) {
    return e.kind == Number || e.kind == Float || e.kind == Identifier ||
           (e.kind == Binary && static_cast<const BinaryExpr&>(e).arithmetic);
  }
};
struct UnaryExpr : Expr {
  UnaryExpr(TokenKind o, ExprPtr e) : Expr(Unary), operand(std::move(e)), op(o) {}
  ExprPtr operand;
  TokenKind op;
};
// `builtin` is the builtin table index of the callee name, or -1.
struct CallExpr : Expr {
  CallExpr(NameId n, int b, std::vector<ExprPtr> a)
      : Expr(Call), name(n), builtin(b), args(std::move(a)) {}
  NameId name;
  int builtin;
  std::vector<ExprPtr> args;
  // Whether every argument after the first is a literal or a name: reading them has no effect.
  bool later_arguments_are_leaves() const {
    for (size_t i = 1; i < args.size(); ++i)
      if (!is_literal_or_name(*args[i])) return false;
    return true;
  }
};
struct ArrayExpr : Expr {
  explicit ArrayExpr(std::vector<ExprPtr> e) : Expr(Array), elements(std::move(e)) {}
  std::vector<ExprPtr> elements;
};
struct DictEntry {
  std::string key;
  uint64_t hash;
  ExprPtr value;
};
struct DictExpr : Expr {
  explicit DictExpr(std::vector<DictEntry> e) : Expr(Dict), entries(std::move(e)) {}
  std::vector<DictEntry> entries;
};
struct IndexExpr : Expr {
  IndexExpr(ExprPtr t, ExprPtr i)
      : Expr(Index), target(std::move(t)), index(std::move(i)),
        member(target->kind == Identifier && index->kind == String) {}
  ExprPtr target, index;
  // `name.key` or `name["key"]`: read in place, with the key's hash computed once.
  bool member;
};
struct RangeExpr : Expr {
  RangeExpr(ExprPtr s, ExprPtr e) : Expr(Range), start(std::move(s)), end(std::move(e)) {}
  ExprPtr start, end;
};

// Parameters and body of a function definition, shared by every function value made from it,
// so calls never copy a body and a value outlives the program text that defined it.
struct FunctionData {
  std::vector<NameId> params;
  Block body;
};

struct MatchArm {
  ExprPtr pattern;  // null for the wildcard "_"
  Block body;
};

struct Stmt {
  enum Kind : uint8_t {
    Let, Assign, CompoundAssign, FunctionDef, If, While, For, Match, TryCatch, Return, Break,
    Continue, Global, Expression
  };
  explicit Stmt(Kind k) : kind(k) {}
  virtual ~Stmt() = default;
  const Kind kind;
};

// Let, Assign and CompoundAssign. `op` is the compound token (PlusAssign...) or Assign.
// `self_update` marks `x = x + e`, `x += e` and `x = builtin(x, ...)`: the variable's own
// reference may be released before the operator or builtin runs, so the update is in place.
struct AssignStmt : Stmt {
  AssignStmt(Kind k, NameId n, TokenKind o, ExprPtr v)
      : Stmt(k), name(n), op(o), value(std::move(v)),
        plain_value(k != CompoundAssign &&
                    (value->kind == Expr::Binary
                         ? static_cast<const BinaryExpr&>(*value).arithmetic
                         : is_literal_or_name(*value))) {}
  NameId name;
  TokenKind op;
  ExprPtr value;
  bool self_update = false;
  // `x = builtin(x, ...)`, and whether the other arguments are all literals or names.
  bool builtin_update = false;
  bool leaf_arguments = false;
  // `x = e` with `e` a literal, a name or plain arithmetic (first tried on bare numbers).
  bool plain_value;
};
struct FunctionDefStmt : Stmt {
  FunctionDefStmt(NameId n, std::shared_ptr<const FunctionData> f)
      : Stmt(FunctionDef), name(n), function(std::move(f)) {}
  NameId name;
  std::shared_ptr<const FunctionData> function;
};
struct IfStmt : Stmt {
  IfStmt(ExprPtr c, Block t, std::optional<Block> e)
      : Stmt(If), condition(std::move(c)), then_branch(std::move(t)), else_branch(std::move(e)) {}
  ExprPtr condition;
  Block then_branch;
  std::optional<Block> else_branch;
};
struct WhileStmt : Stmt {
  WhileStmt(ExprPtr c, Block b) : Stmt(While), condition(std::move(c)), body(std::move(b)) {}
  ExprPtr condition;
  Block body;
};
struct ForStmt : Stmt {
  ForStmt(NameId v, ExprPtr i, Block b)
      : Stmt(For), variable(v), iterable(std::move(i)), body(std::move(b)) {}
  NameId variable;
  ExprPtr iterable;
  Block body;
};
struct MatchStmt : Stmt {
  MatchStmt(ExprPtr s, std::vector<MatchArm> a)
      : Stmt(Match), subject(std::move(s)), arms(std::move(a)) {}
  ExprPtr subject;
  std::vector<MatchArm> arms;
};
struct TryCatchStmt : Stmt {
  TryCatchStmt(Block t, NameId n, Block c)
      : Stmt(TryCatch), try_body(std::move(t)), error_name(n), catch_body(std::move(c)) {}
  Block try_body;
  NameId error_name;
  Block catch_body;
};
struct ReturnStmt : Stmt {
  explicit ReturnStmt(ExprPtr v) : Stmt(Return), value(std::move(v)) {}
  ExprPtr value;  // null when absent
};
struct GlobalStmt : Stmt {
  explicit GlobalStmt(NameId n) : Stmt(Global), name(n) {}
  NameId name;
};
struct ExpressionStmt : Stmt {
  explicit ExpressionStmt(ExprPtr e) : Stmt(Expression), expr(std::move(e)) {}
  ExprPtr expr;
};
// Break and Continue carry nothing beyond their kind.

using Program = Block;

}  // namespace orvane
