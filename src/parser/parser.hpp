// The forgiving recursive-descent parser: statements that do not fit their form are left out,
// a missing expression becomes the number 0, and nothing is ever reported.
#pragma once

#include "lexer/token.hpp"
#include "parser/ast.hpp"
#include "parser/observer.hpp"

namespace orvane {

// Deeper nesting than the parser accepts (parentheses, brackets, braces, prefixes, blocks,
// or an operator chain longer than the limit).
struct NestingTooDeep {};

class Parser {
 public:
  // At least this many levels of nesting always parse.
  static constexpr int MAX_NESTING = 2048;
  // Operator and postfix chains are loops, not nesting; this only bounds their length.
  static constexpr int MAX_CHAIN = 10000000;

  // `observer`, when given, hears of every input the parser forgives; the result is the same.
  static Program parse_program(const TokenList& tokens, ParseObserver* observer = nullptr);

 private:
  Parser(const TokenList& tokens, ParseObserver* observer);

  // Reached only where the input is forgiven, never on the way of well-formed code.
  void note(Forgiven what, size_t at, size_t end) {
    if (m_observer) m_observer->forgiven(what, at, end);
  }
  void note(Forgiven what, size_t at) { note(what, at, at + 1); }
  // After a statement attempt from `start` gave nothing.
  void note_left_out(size_t start) {
    note(m_pos == start ? Forgiven::TokenSkipped : Forgiven::StatementLeftOut, start,
         m_pos == start ? start + 1 : m_pos);
  }
  // Accepts the closer of the bracket or brace at `open`.
  void accept_closer(TokenKind closer, size_t open, Forgiven what = Forgiven::CloserMissing) {
    if (!accept(closer)) note(what, open, m_pos);
  }

  const Token& peek(size_t ahead = 0) const;
  bool check(TokenKind kind) const { return peek().kind() == kind; }
  void advance() { ++m_pos; }
  bool accept(TokenKind kind);

  Block parse_block();
  StmtPtr parse_statement();
  StmtPtr parse_let();
  StmtPtr parse_def();
  StmtPtr parse_return();
  StmtPtr parse_if();
  StmtPtr parse_while();
  StmtPtr parse_for();
  StmtPtr parse_match();
  StmtPtr parse_try();
  StmtPtr parse_global();
  StmtPtr parse_assignment(Stmt::Kind kind, NameId name, TokenKind op);
  std::vector<NameId> parse_parameters();
  // "{" block "}" with the closing brace optional; false when the "{" is missing.
  bool parse_braced(Block& out);
  void accept_semicolon() { accept(TokenKind::Semicolon); }

  ExprPtr parse_expression();
  std::vector<ExprPtr> parse_expression_list();
  // Binary operators binding at least as tightly as `min_level` (see parser.cpp).
  ExprPtr parse_binary(int min_level);
  ExprPtr parse_unary();
  ExprPtr parse_postfix();
  ExprPtr parse_primary();
  ExprPtr parse_dict();

  // Counts one level of nesting for as long as it lives.
  class Nest {
   public:
    explicit Nest(Parser& p);
    ~Nest() { --m_parser.m_depth; }

   private:
    Parser& m_parser;
  };

  const TokenList& m_tokens;
  size_t m_pos = 0;
  int m_depth = 0;
  ParseObserver* m_observer;
};

}  // namespace orvane
