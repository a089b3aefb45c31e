#include "parser/parser.hpp"

namespace orvane {

namespace {

const Token EOF_TOKEN(TokenKind::Eof);

bool is_name(const Token& t) { return t.kind() == TokenKind::Identifier; }

// Binding strength of the binary operators, loosest first.
enum Level { NONE, OR, AND, EQUALITY, COMPARISON, RANGE, ADDITIVE, MULTIPLICATIVE, POWER };

int level_of(TokenKind k) {
  switch (k) {
    case TokenKind::Or:
      return OR;
    case TokenKind::And:
      return AND;
    case TokenKind::EqualEqual:
    case TokenKind::NotEqual:
      return EQUALITY;
    case TokenKind::Less:
    case TokenKind::Greater:
    case TokenKind::LessEqual:
    case TokenKind::GreaterEqual:
      return COMPARISON;
    case TokenKind::Plus:
    case TokenKind::Minus:
      return ADDITIVE;
    case TokenKind::Star:
    case TokenKind::Slash:
    case TokenKind::Percent:
      return MULTIPLICATIVE;
    case TokenKind::StarStar:
      return POWER;
    default:
      return NONE;
  }
}

bool is_compound(TokenKind k) {
  return k == TokenKind::PlusAssign || k == TokenKind::MinusAssign || k == TokenKind::StarAssign ||
         k == TokenKind::SlashAssign;
}

}  // namespace

Parser::Nest::Nest(Parser& p) : m_parser(p) {
  if (++m_parser.m_depth > MAX_NESTING) throw NestingTooDeep{};
}

Parser::Parser(const TokenList& tokens, ParseObserver* observer)
    : m_tokens(tokens), m_observer(observer) {}

Program Parser::parse_program(const TokenList& tokens, ParseObserver* observer) {
  Parser p(tokens, observer);
  Program program;
  while (!p.check(TokenKind::Eof)) {
    size_t start = p.m_pos;
    if (StmtPtr s = p.parse_statement())
      program.push_back(std::move(s));
    else
      p.note_left_out(start);
    if (p.m_pos == start) p.advance();  // a token nothing can take is skipped
  }
  return program;
}

const Token& Parser::peek(size_t ahead) const {
  size_t at = m_pos + ahead;
  return at < m_tokens.size() ? m_tokens[at] : EOF_TOKEN;
}

bool Parser::accept(TokenKind kind) {
  if (!check(kind)) return false;
  advance();
  return true;
}

Block Parser::parse_block() {
  Block block;
  while (!check(TokenKind::RightBrace) && !check(TokenKind::Eof)) {
    size_t start = m_pos;
    if (StmtPtr s = parse_statement())
      block.push_back(std::move(s));
    else
      note_left_out(start);
    if (m_pos == start) advance();
  }
  return block;
}

bool Parser::parse_braced(Block& out) {
  size_t open = m_pos;
  if (!accept(TokenKind::LeftBrace)) return false;
  out = parse_block();
  // A missing closing brace is not an error.
  accept_closer(TokenKind::RightBrace, open, Forgiven::BlockNotClosed);
  return true;
}

StmtPtr Parser::parse_statement() {
  Nest nest(*this);
  switch (peek().kind()) {
    case TokenKind::Let:
      return parse_let();
    case TokenKind::Def:
      return parse_def();
    case TokenKind::Return:
      return parse_return();
    case TokenKind::If:
      return parse_if();
    case TokenKind::While:
      return parse_while();
    case TokenKind::For:
      return parse_for();
    case TokenKind::Match:
      return parse_match();
    case TokenKind::Try:
      return parse_try();
    case TokenKind::Global:
      return parse_global();
    case TokenKind::Break:
      advance();
      accept_semicolon();
      return std::make_unique<Stmt>(Stmt::Break);
    case TokenKind::Continue:
      advance();
      accept_semicolon();
      return std::make_unique<Stmt>(Stmt::Continue);
    case TokenKind::Identifier: {
      TokenKind next = peek(1).kind();
      if (next == TokenKind::Assign || is_compound(next)) {
        NameId name = peek().name();
        advance();
        advance();
        return parse_assignment(next == TokenKind::Assign ? Stmt::Assign : Stmt::CompoundAssign,
                                name, next);
      }
      break;
    }
    default:
      break;
  }
  size_t start = m_pos;
  ExprPtr e = parse_expression();
  if (m_pos == start && !check(TokenKind::Semicolon)) return nullptr;  // nothing could begin here
  if (m_pos == start) note(Forgiven::EmptyStatement, start);
  accept_semicolon();
  return std::make_unique<ExpressionStmt>(std::move(e));
}

StmtPtr Parser::parse_assignment(Stmt::Kind kind, NameId name, TokenKind op) {
  ExprPtr value = parse_expression();
  accept_semicolon();
  return std::make_unique<AssignStmt>(kind, name, op, std::move(value));
}

StmtPtr Parser::parse_let() {
  advance();
  if (!is_name(peek())) return nullptr;
  NameId name = peek().name();
  advance();
  if (!accept(TokenKind::Assign)) return nullptr;
  return parse_assignment(Stmt::Let, name, TokenKind::Assign);
}

StmtPtr Parser::parse_def() {
  advance();
  if (!is_name(peek())) return nullptr;
  NameId name = peek().name();
  advance();
  if (!accept(TokenKind::LeftParen)) return nullptr;
  auto fn = std::make_unique<FunctionDecl>();
  fn->params = parse_parameters();
  if (!accept(TokenKind::RightParen)) return nullptr;
  if (!parse_braced(fn->body)) return nullptr;
  return std::make_unique<FunctionDefStmt>(name, std::move(fn));
}

std::vector<NameId> Parser::parse_parameters() {
  std::vector<NameId> params;
  while (is_name(peek())) {
    params.push_back(peek().name());
    advance();
    accept(TokenKind::Comma);
  }
  return params;
}

StmtPtr Parser::parse_return() {
  advance();
  ExprPtr value;
  if (!check(TokenKind::RightBrace) && !check(TokenKind::Semicolon) && !check(TokenKind::Eof))
    value = parse_expression();
  accept_semicolon();
  return std::make_unique<ReturnStmt>(std::move(value));
}

StmtPtr Parser::parse_if() {
  advance();
  ExprPtr condition = parse_expression();
  Block then_branch;
  if (!parse_braced(then_branch)) return nullptr;
  std::optional<Block> else_branch;
  if (accept(TokenKind::Else)) {
    // "else" without "{" is dropped: there is no else-if form.
    Block b;
    if (parse_braced(b))
      else_branch = std::move(b);
    else
      note(Forgiven::ElseDropped, m_pos - 1);
  }
  return std::make_unique<IfStmt>(std::move(condition), std::move(then_branch),
                                  std::move(else_branch));
}

StmtPtr Parser::parse_while() {
  advance();
  ExprPtr condition = parse_expression();
  Block body;
  if (!parse_braced(body)) return nullptr;
  return std::make_unique<WhileStmt>(std::move(condition), std::move(body));
}

StmtPtr Parser::parse_for() {
  advance();
  if (!is_name(peek())) return nullptr;
  NameId variable = peek().name();
  advance();
  if (!accept(TokenKind::In)) return nullptr;
  ExprPtr iterable = parse_expression();
  Block body;
  if (!parse_braced(body)) return nullptr;
  return std::make_unique<ForStmt>(variable, std::move(iterable), std::move(body));
}

StmtPtr Parser::parse_match() {
  advance();
  ExprPtr subject = parse_expression();
  size_t open = m_pos;
  if (!accept(TokenKind::LeftBrace)) return nullptr;
  std::vector<MatchArm> arms;
  while (!check(TokenKind::RightBrace) && !check(TokenKind::Eof)) {
    size_t start = m_pos;
    MatchArm arm;
    if (is_name(peek()) && peek().text() == "_") {
      advance();
    } else {
      arm.pattern = parse_expression();
    }
    if (accept(TokenKind::FatArrow)) {
      if (check(TokenKind::LeftBrace)) {
        Nest nest(*this);
        parse_braced(arm.body);
      } else {
        size_t body = m_pos;
        arm.body.push_back(std::make_unique<ExpressionStmt>(parse_expression()));
        note(Forgiven::UnbracedArm, body, m_pos);
      }
      accept_semicolon();
      arms.push_back(std::move(arm));
    } else if (m_pos != start) {
      note(Forgiven::ArmLeftOut, start, m_pos);
    }
    if (m_pos == start) {
      note(Forgiven::ArmTokenSkipped, start);
      advance();  // a token that can begin no arm is skipped
    }
  }
  accept_closer(TokenKind::RightBrace, open, Forgiven::BlockNotClosed);
  return std::make_unique<MatchStmt>(std::move(subject), std::move(arms));
}

StmtPtr Parser::parse_try() {
  advance();
  Block try_body;
  if (!parse_braced(try_body)) return nullptr;
  if (!accept(TokenKind::Catch)) return nullptr;
  if (!is_name(peek())) return nullptr;
  NameId name = peek().name();
  advance();
  Block catch_body;
  if (!parse_braced(catch_body)) return nullptr;
  return std::make_unique<TryCatchStmt>(std::move(try_body), name, std::move(catch_body));
}

StmtPtr Parser::parse_global() {
  advance();
  if (!is_name(peek())) return nullptr;
  NameId name = peek().name();
  advance();
  accept_semicolon();
  return std::make_unique<GlobalStmt>(name);
}

// ---- expressions ----

ExprPtr Parser::parse_expression() { return parse_binary(OR); }

// Precedence climbing: one loop per call, every operator left-associative. A range takes
// additive operands, and only an operand of a comparison may be one: "a..b..c" and
// "a < b..c..d" leave the second ".." to whoever comes next.
ExprPtr Parser::parse_binary(int min_level) {
  ExprPtr left = parse_unary();
  bool range_closed = false;  // a range or a looser operator was applied: no range follows
  int chain = 0;
  for (;;) {
    bool range = check(TokenKind::Dot) && peek(1).kind() == TokenKind::Dot;
    TokenKind op = peek().kind();
    int level = range ? RANGE : level_of(op);
    if (level == NONE || level < min_level || (range && range_closed)) break;
    if (level <= RANGE) range_closed = true;
    if (++chain > MAX_CHAIN) throw NestingTooDeep{};
    advance();
    if (range) advance();
    ExprPtr right = parse_binary(level + 1);
    if (range)
      left = std::make_unique<RangeExpr>(std::move(left), std::move(right));
    else
      left = std::make_unique<BinaryExpr>(std::move(left), op, std::move(right));
  }
  return left;
}

ExprPtr Parser::parse_unary() {
  if (check(TokenKind::Minus) || check(TokenKind::Not)) {
    Nest nest(*this);
    TokenKind op = peek().kind();
    advance();
    ExprPtr operand = parse_unary();
    return std::make_unique<UnaryExpr>(op, std::move(operand));
  }
  return parse_postfix();
}

ExprPtr Parser::parse_postfix() {
  ExprPtr e = parse_primary();
  int chain = 0;
  for (;;) {
    if (check(TokenKind::Dot)) {
      if (peek(1).kind() == TokenKind::Dot) break;  // a range: leave both dots
      advance();
      if (is_name(peek())) {
        auto key = std::make_unique<StringExpr>(peek().text());
        advance();
        e = std::make_unique<IndexExpr>(std::move(e), std::move(key));
      } else {
        note(Forgiven::DotDropped, m_pos - 1);
      }
    } else if (check(TokenKind::LeftBracket)) {
      Nest nest(*this);
      size_t open = m_pos;
      advance();
      ExprPtr index = parse_expression();
      accept_closer(TokenKind::RightBracket, open);
      e = std::make_unique<IndexExpr>(std::move(e), std::move(index));
    } else if (check(TokenKind::LeftParen)) {
      Nest nest(*this);
      size_t open = m_pos;
      advance();
      std::vector<ExprPtr> args = parse_expression_list();
      accept_closer(TokenKind::RightParen, open);
      // Only plain names can be called; other callees keep themselves and drop the arguments.
      if (e->kind == Expr::Identifier) {
        NameId name = static_cast<IdentifierExpr&>(*e).name;
        e = std::make_unique<CallExpr>(name, std::move(args));
      } else {
        note(Forgiven::ArgumentsDropped, open, m_pos);
      }
    } else {
      break;
    }
    if (++chain > MAX_CHAIN) throw NestingTooDeep{};
  }
  return e;
}

ExprPtr Parser::parse_primary() {
  const Token& t = peek();
  switch (t.kind()) {
    case TokenKind::Number:
      advance();
      return std::make_unique<NumberExpr>(t.integer());
    case TokenKind::Float:
      advance();
      return std::make_unique<FloatExpr>(t.real());
    case TokenKind::String:
      advance();
      return std::make_unique<StringExpr>(t.text());
    case TokenKind::True:
      advance();
      return std::make_unique<BooleanExpr>(true);
    case TokenKind::False:
      advance();
      return std::make_unique<BooleanExpr>(false);
    case TokenKind::Identifier:
      advance();
      return std::make_unique<IdentifierExpr>(t.name());
    case TokenKind::LeftParen: {
      Nest nest(*this);
      size_t open = m_pos;
      advance();
      ExprPtr inner = parse_expression();
      accept_closer(TokenKind::RightParen, open);
      return inner;
    }
    case TokenKind::LeftBracket: {
      Nest nest(*this);
      size_t open = m_pos;
      advance();
      std::vector<ExprPtr> elements = parse_expression_list();
      accept_closer(TokenKind::RightBracket, open);
      return std::make_unique<ArrayExpr>(std::move(elements));
    }
    case TokenKind::LeftBrace: {
      Nest nest(*this);
      advance();
      return parse_dict();
    }
    default:
      note(Forgiven::MissingExpression, m_pos);
      return std::make_unique<NumberExpr>(0);  // placeholder, nothing consumed
  }
}

std::vector<ExprPtr> Parser::parse_expression_list() {
  std::vector<ExprPtr> list;
  while (!check(TokenKind::RightParen) && !check(TokenKind::RightBracket) &&
         !check(TokenKind::RightBrace) && !check(TokenKind::Eof)) {
    size_t start = m_pos;
    ExprPtr e = parse_expression();
    if (m_pos == start && !check(TokenKind::Comma)) {
      note(Forgiven::ElementSkipped, start);
      advance();  // a token no expression can take is skipped, not turned into elements
      continue;
    }
    list.push_back(std::move(e));
    accept(TokenKind::Comma);
  }
  return list;
}

ExprPtr Parser::parse_dict() {
  size_t open = m_pos - 1;
  std::vector<DictEntry> entries;
  while (!check(TokenKind::RightBrace) && !check(TokenKind::Eof)) {
    if (!is_name(peek())) {
      note(Forgiven::KeySkipped, m_pos);
      advance();  // keys are bare names; anything else is skipped
      continue;
    }
    std::string key = peek().text();
    advance();
    if (!accept(TokenKind::Colon)) {
      note(Forgiven::KeyDropped, m_pos - 1);
      continue;
    }
    ExprPtr value = parse_expression();
    entries.push_back(DictEntry{std::move(key), std::move(value)});
    accept(TokenKind::Comma);
  }
  accept_closer(TokenKind::RightBrace, open);
  return std::make_unique<DictExpr>(std::move(entries));
}

}  // namespace orvane
