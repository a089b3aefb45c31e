// The forgiving recursive-descent parser: statements that do not fit their form are left out,
// a missing expression becomes the number 0, and nothing is ever reported.
#pragma once

#include "lexer/token.hpp"
#include "parser/ast.hpp"

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

  static Program parse_program(const TokenList& tokens);

 private:
  explicit Parser(const TokenList& tokens);

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
};

}  // namespace orvane
