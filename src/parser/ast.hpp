// The syntax tree: what was written, nothing more. Every node owns its children; nothing changes
// a tree after parsing. Names are interned; how anything runs is decided by the lowering pass.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "lexer/token.hpp"
#include "support/intern.hpp"

namespace orvane {

struct Expr;
struct Stmt;
using ExprPtr = std::unique_ptr<Expr>;
using StmtPtr = std::unique_ptr<Stmt>;
using Block = std::vector<StmtPtr>;

struct Expr {
  enum Kind : uint8_t {
    Number,
    Float,
    String,
    Boolean,
    Identifier,
    Binary,
    Unary,
    Call,
    Array,
    Dict,
    Index,
    Range
  };
  explicit Expr(Kind k) : kind(k) {}
  virtual ~Expr() = default;
  const Kind kind;
};

struct NumberExpr : Expr {
  explicit NumberExpr(int64_t v) : Expr(Number), value(v) {}
  int64_t value;
};
struct FloatExpr : Expr {
  explicit FloatExpr(double v) : Expr(Float), value(v) {}
  double value;
};
// A string literal, also the key of a member access.
struct StringExpr : Expr {
  explicit StringExpr(std::string t) : Expr(String), m_text(std::move(t)) {}
  const std::string& text() const { return m_text; }

 private:
  std::string m_text;
};
struct BooleanExpr : Expr {
  explicit BooleanExpr(bool v) : Expr(Boolean), value(v) {}
  bool value;
};
struct IdentifierExpr : Expr {
  explicit IdentifierExpr(NameId n) : Expr(Identifier), name(n) {}
  NameId name;
};
// Frees the left spine of a chain (`a + b + c...`, `x.a.a...`) in a loop: such chains may be a
// million links long, far deeper than the native stack allows recursion.
void free_chain(std::unique_ptr<Expr>& head);

// The operator is kept as its token kind, the only part of the token anything consults.
struct BinaryExpr : Expr {
  BinaryExpr(ExprPtr l, TokenKind o, ExprPtr r)
      : Expr(Binary), left(std::move(l)), right(std::move(r)), op(o) {}
  ~BinaryExpr() override { free_chain(left); }
  ExprPtr left, right;
  TokenKind op;
};
struct UnaryExpr : Expr {
  UnaryExpr(TokenKind o, ExprPtr e) : Expr(Unary), operand(std::move(e)), op(o) {}
  ExprPtr operand;
  TokenKind op;
};
struct CallExpr : Expr {
  CallExpr(NameId n, std::vector<ExprPtr> a) : Expr(Call), name(n), args(std::move(a)) {}
  NameId name;
  std::vector<ExprPtr> args;
};
struct ArrayExpr : Expr {
  explicit ArrayExpr(std::vector<ExprPtr> e) : Expr(Array), elements(std::move(e)) {}
  std::vector<ExprPtr> elements;
};
struct DictEntry {
  std::string key;
  ExprPtr value;
};
struct DictExpr : Expr {
  explicit DictExpr(std::vector<DictEntry> e) : Expr(Dict), entries(std::move(e)) {}
  std::vector<DictEntry> entries;
};
struct IndexExpr : Expr {
  IndexExpr(ExprPtr t, ExprPtr i) : Expr(Index), target(std::move(t)), index(std::move(i)) {}
  ~IndexExpr() override { free_chain(target); }
  ExprPtr target, index;
};
struct RangeExpr : Expr {
  RangeExpr(ExprPtr s, ExprPtr e) : Expr(Range), start(std::move(s)), end(std::move(e)) {}
  ExprPtr start, end;
};

// Parameters and body of a function definition.
struct FunctionDecl {
  std::vector<NameId> params;
  Block body;
};

struct MatchArm {
  ExprPtr pattern;  // null for the wildcard "_"
  Block body;
};

struct Stmt {
  enum Kind : uint8_t {
    Let,
    Assign,
    CompoundAssign,
    FunctionDef,
    If,
    While,
    For,
    Match,
    TryCatch,
    Return,
    Break,
    Continue,
    Global,
    Expression
  };
  explicit Stmt(Kind k) : kind(k) {}
  virtual ~Stmt() = default;
  const Kind kind;
};

// Let, Assign and CompoundAssign. `op` is the compound token (PlusAssign...) or Assign.
struct AssignStmt : Stmt {
  AssignStmt(Kind k, NameId n, TokenKind o, ExprPtr v)
      : Stmt(k), name(n), op(o), value(std::move(v)) {}
  NameId name;
  TokenKind op;
  ExprPtr value;
};
struct FunctionDefStmt : Stmt {
  FunctionDefStmt(NameId n, std::unique_ptr<FunctionDecl> f)
      : Stmt(FunctionDef), name(n), function(std::move(f)) {}
  NameId name;
  std::unique_ptr<FunctionDecl> function;
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
