#include "parser/dump.hpp"

#include <charconv>

#include "lexer/token.hpp"

namespace orvane {

namespace {

void put(std::string& out, const Expr& e);
void put(std::string& out, const Stmt& s);

void put_block(std::string& out, const Block& block) {
  out += '{';
  for (size_t i = 0; i < block.size(); ++i) {
    if (i) out += ' ';
    put(out, *block[i]);
  }
  out += '}';
}

void put_quoted(std::string& out, std::string_view text) {
  out += '"';
  for (char c : text) {
    switch (c) {
      case '"':
        out += "\\\"";
        break;
      case '\\':
        out += "\\\\";
        break;
      case '\n':
        out += "\\n";
        break;
      case '\t':
        out += "\\t";
        break;
      case '\r':
        out += "\\r";
        break;
      default:
        out += c;
    }
  }
  out += '"';
}

void put_float(std::string& out, double v) {
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  std::string text(buf, res.ptr);
  if (text.find_first_of(".ein") == std::string::npos) text += ".0";  // keep 2.0 apart from 2
  out += text;
}

// "(head a b ...)" over any children that `put` can print.
template <class... Parts>
void put_list(std::string& out, std::string_view head, const Parts&... parts) {
  out += '(';
  out += head;
  ((out += ' ', put(out, parts)), ...);
  out += ')';
}

void put(std::string& out, const Expr& e) {
  switch (e.kind) {
    case Expr::Number:
      out += std::to_string(static_cast<const NumberExpr&>(e).value);
      return;
    case Expr::Float:
      put_float(out, static_cast<const FloatExpr&>(e).value);
      return;
    case Expr::String:
      put_quoted(out, static_cast<const StringExpr&>(e).text());
      return;
    case Expr::Boolean:
      out += static_cast<const BooleanExpr&>(e).value ? "true" : "false";
      return;
    case Expr::Identifier:
      out += name_text(static_cast<const IdentifierExpr&>(e).name);
      return;
    case Expr::Binary: {
      const auto& b = static_cast<const BinaryExpr&>(e);
      put_list(out, token_kind_name(b.op), *b.left, *b.right);
      return;
    }
    case Expr::Unary: {
      const auto& u = static_cast<const UnaryExpr&>(e);
      put_list(out, token_kind_name(u.op), *u.operand);
      return;
    }
    case Expr::Call: {
      const auto& c = static_cast<const CallExpr&>(e);
      out += "(call ";
      out += name_text(c.name);
      for (const ExprPtr& a : c.args) {
        out += ' ';
        put(out, *a);
      }
      out += ')';
      return;
    }
    case Expr::Array: {
      out += "(array";
      for (const ExprPtr& a : static_cast<const ArrayExpr&>(e).elements) {
        out += ' ';
        put(out, *a);
      }
      out += ')';
      return;
    }
    case Expr::Dict: {
      out += "(dict";
      for (const DictEntry& entry : static_cast<const DictExpr&>(e).entries) {
        out += " (" + entry.key + ' ';
        put(out, *entry.value);
        out += ')';
      }
      out += ')';
      return;
    }
    case Expr::Index: {
      const auto& i = static_cast<const IndexExpr&>(e);
      put_list(out, "index", *i.target, *i.index);
      return;
    }
    case Expr::Range: {
      const auto& r = static_cast<const RangeExpr&>(e);
      put_list(out, "range", *r.start, *r.end);
      return;
    }
  }
}

void put(std::string& out, const Stmt& s) {
  switch (s.kind) {
    case Stmt::Let:
    case Stmt::Assign:
    case Stmt::CompoundAssign: {
      const auto& a = static_cast<const AssignStmt&>(s);
      out += '(';
      out += s.kind == Stmt::Let ? std::string_view("let") : token_kind_name(a.op);
      out += ' ' + name_text(a.name) + ' ';
      put(out, *a.value);
      out += ')';
      return;
    }
    case Stmt::FunctionDef: {
      const auto& f = static_cast<const FunctionDefStmt&>(s);
      out += "(def " + name_text(f.name) + " (";
      for (size_t i = 0; i < f.function->params.size(); ++i) {
        if (i) out += ' ';
        out += name_text(f.function->params[i]);
      }
      out += ") ";
      put_block(out, f.function->body);
      out += ')';
      return;
    }
    case Stmt::If: {
      const auto& i = static_cast<const IfStmt&>(s);
      out += "(if ";
      put(out, *i.condition);
      out += ' ';
      put_block(out, i.then_branch);
      if (i.else_branch) {
        out += ' ';
        put_block(out, *i.else_branch);
      }
      out += ')';
      return;
    }
    case Stmt::While: {
      const auto& w = static_cast<const WhileStmt&>(s);
      out += "(while ";
      put(out, *w.condition);
      out += ' ';
      put_block(out, w.body);
      out += ')';
      return;
    }
    case Stmt::For: {
      const auto& f = static_cast<const ForStmt&>(s);
      out += "(for " + name_text(f.variable) + ' ';
      put(out, *f.iterable);
      out += ' ';
      put_block(out, f.body);
      out += ')';
      return;
    }
    case Stmt::Match: {
      const auto& m = static_cast<const MatchStmt&>(s);
      out += "(match ";
      put(out, *m.subject);
      for (const MatchArm& arm : m.arms) {
        out += " (=> ";
        if (arm.pattern)
          put(out, *arm.pattern);
        else
          out += '_';
        out += ' ';
        put_block(out, arm.body);
        out += ')';
      }
      out += ')';
      return;
    }
    case Stmt::TryCatch: {
      const auto& t = static_cast<const TryCatchStmt&>(s);
      out += "(try ";
      put_block(out, t.try_body);
      out += ' ' + name_text(t.error_name) + ' ';
      put_block(out, t.catch_body);
      out += ')';
      return;
    }
    case Stmt::Return: {
      const auto& r = static_cast<const ReturnStmt&>(s);
      if (r.value)
        put_list(out, "return", *r.value);
      else
        out += "(return)";
      return;
    }
    case Stmt::Break:
      out += "(break)";
      return;
    case Stmt::Continue:
      out += "(continue)";
      return;
    case Stmt::Global:
      out += "(global " + name_text(static_cast<const GlobalStmt&>(s).name) + ')';
      return;
    case Stmt::Expression:
      put_list(out, "expr", *static_cast<const ExpressionStmt&>(s).expr);
      return;
  }
}

}  // namespace

std::string quote(std::string_view text) {
  std::string out;
  put_quoted(out, text);
  return out;
}

std::string dump(const Expr& expr) {
  std::string out;
  put(out, expr);
  return out;
}

std::string dump(const Stmt& stmt) {
  std::string out;
  put(out, stmt);
  return out;
}

std::string dump(const Block& block) {
  std::string out;
  put_block(out, block);
  return out;
}

std::string dump_program(const Program& program) {
  std::string out;
  for (size_t i = 0; i < program.size(); ++i) {
    if (i) out += ' ';
    put(out, *program[i]);
  }
  return out;
}

}  // namespace orvane
