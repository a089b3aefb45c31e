// Checks that need the syntax tree. The tree carries no positions, so its lets, calls and
// definitions are matched, in source order and by name, with the tokens that wrote them.
#include <algorithm>
#include <map>
#include <set>

#include "interpreter/builtins.hpp"
#include "lint/checks.hpp"

namespace orvane::lint {

namespace {

// A let, call or definition of the tree, with the token that begins it once matched.
struct Anchor {
  enum Kind { Let, Call, Def } kind;
  NameId name;
  const void* node;
  bool top_level = false;
  size_t token = 0;
};

// Builtins whose effect a second run repeats: output, input, the window and its frame.
bool has_effect(std::string_view builtin) {
  static constexpr std::string_view EFFECTS[] = {"print",   "input", "window", "clear",
                                                 "present", "draw",  "fill"};
  return std::find(std::begin(EFFECTS), std::end(EFFECTS), builtin) != std::end(EFFECTS);
}

// Every let, call and definition in source order: a node comes before its children, children
// in the order they were written.
class AnchorWalk {
 public:
  std::vector<Anchor> run(const Program& program) {
    for (const StmtPtr& s : program) statement(*s, true);
    return std::move(m_anchors);
  }
  std::vector<Anchor> run(const Expr& e) {
    expression(e);
    return std::move(m_anchors);
  }
  std::vector<Anchor> run_block(const Block& b) {
    block(b);
    return std::move(m_anchors);
  }

 private:
  void block(const Block& b) {
    for (const StmtPtr& s : b) statement(*s, false);
  }

  void statement(const Stmt& s, bool top_level) {
    switch (s.kind) {
      case Stmt::Let:
      case Stmt::Assign:
      case Stmt::CompoundAssign: {
        const auto& a = static_cast<const AssignStmt&>(s);
        if (s.kind == Stmt::Let) m_anchors.push_back({Anchor::Let, a.name, &a, top_level});
        expression(*a.value);
        break;
      }
      case Stmt::FunctionDef: {
        const auto& f = static_cast<const FunctionDefStmt&>(s);
        m_anchors.push_back({Anchor::Def, f.name, &f});
        block(f.function->body);
        break;
      }
      case Stmt::If: {
        const auto& i = static_cast<const IfStmt&>(s);
        expression(*i.condition);
        block(i.then_branch);
        if (i.else_branch) block(*i.else_branch);
        break;
      }
      case Stmt::While: {
        const auto& w = static_cast<const WhileStmt&>(s);
        expression(*w.condition);
        block(w.body);
        break;
      }
      case Stmt::For: {
        const auto& f = static_cast<const ForStmt&>(s);
        expression(*f.iterable);
        block(f.body);
        break;
      }
      case Stmt::Match: {
        const auto& m = static_cast<const MatchStmt&>(s);
        expression(*m.subject);
        for (const MatchArm& arm : m.arms) {
          if (arm.pattern) expression(*arm.pattern);
          block(arm.body);
        }
        break;
      }
      case Stmt::TryCatch: {
        const auto& t = static_cast<const TryCatchStmt&>(s);
        block(t.try_body);
        block(t.catch_body);
        break;
      }
      case Stmt::Return: {
        const auto& r = static_cast<const ReturnStmt&>(s);
        if (r.value) expression(*r.value);
        break;
      }
      case Stmt::Expression:
        expression(*static_cast<const ExpressionStmt&>(s).expr);
        break;
      case Stmt::Break:
      case Stmt::Continue:
      case Stmt::Global:
        break;
    }
  }

  // With a stack of its own: an operator chain nests as deep as it is long.
  void expression(const Expr& root) {
    std::vector<const Expr*> todo{&root};
    auto later = [&](const std::vector<ExprPtr>& list) {
      for (auto it = list.rbegin(); it != list.rend(); ++it) todo.push_back(it->get());
    };
    while (!todo.empty()) {
      const Expr& e = *todo.back();
      todo.pop_back();
      switch (e.kind) {
        case Expr::Binary: {
          const auto& b = static_cast<const BinaryExpr&>(e);
          todo.push_back(b.right.get());
          todo.push_back(b.left.get());
          break;
        }
        case Expr::Unary:
          todo.push_back(static_cast<const UnaryExpr&>(e).operand.get());
          break;
        case Expr::Call: {
          const auto& c = static_cast<const CallExpr&>(e);
          m_anchors.push_back({Anchor::Call, c.name, &c});
          later(c.args);
          break;
        }
        case Expr::Array:
          later(static_cast<const ArrayExpr&>(e).elements);
          break;
        case Expr::Dict: {
          const auto& entries = static_cast<const DictExpr&>(e).entries;
          for (auto it = entries.rbegin(); it != entries.rend(); ++it)
            todo.push_back(it->value.get());
          break;
        }
        case Expr::Index: {
          const auto& i = static_cast<const IndexExpr&>(e);
          todo.push_back(i.index.get());
          todo.push_back(i.target.get());
          break;
        }
        case Expr::Range: {
          const auto& r = static_cast<const RangeExpr&>(e);
          todo.push_back(r.end.get());
          todo.push_back(r.start.get());
          break;
        }
        default:
          break;
      }
    }
  }

  std::vector<Anchor> m_anchors;
};

struct Candidate {
  Anchor::Kind kind;
  NameId name;
  size_t token;
};

// Tokens that the parser dropped with what it left out, skipped or discarded.
std::vector<bool> discarded_tokens(const Parsed& parsed) {
  std::vector<std::pair<size_t, size_t>> ranges;
  for (const Event& e : parsed.events) {
    switch (e.what) {
      case Forgiven::StatementLeftOut:
      case Forgiven::ArmLeftOut:
      case Forgiven::ArgumentsDropped:
      case Forgiven::TokenSkipped:
      case Forgiven::ElementSkipped:
      case Forgiven::ArmTokenSkipped:
      case Forgiven::KeySkipped:
      case Forgiven::KeyDropped:
        ranges.emplace_back(e.at, e.end);
        break;
      default:
        break;
    }
  }
  return covered(ranges, parsed.tokens.size());
}

// Tokens that may have written a let, a call or a definition the tree holds.
std::vector<Candidate> candidates(const Parsed& parsed) {
  const TokenList& t = parsed.tokens;
  std::vector<bool> gone = discarded_tokens(parsed);
  std::vector<Candidate> out;
  for (size_t i = 0; i + 1 < t.size(); ++i) {
    if (gone[i]) continue;
    TokenKind k = t[i].kind();
    bool named = t[i + 1].kind() == TokenKind::Identifier;
    if (k == TokenKind::Let && named) {
      out.push_back({Anchor::Let, t[i + 1].name(), i});
    } else if (k == TokenKind::Def && named) {
      out.push_back({Anchor::Def, t[i + 1].name(), i + 1});
    } else if (k == TokenKind::Identifier && t[i + 1].kind() == TokenKind::LeftParen) {
      // A name after these is no callee: a member key, a definition, a declaration.
      TokenKind before = i > 0 ? t[i - 1].kind() : TokenKind::Eof;
      if (before != TokenKind::Dot && before != TokenKind::Def && before != TokenKind::Global)
        out.push_back({Anchor::Call, t[i].name(), i});
    }
  }
  return out;
}

// Gives each anchor the first candidate of its kind and name after the last match.
void place(std::vector<Anchor>& anchors, const std::vector<Candidate>& found) {
  std::map<std::pair<int, NameId>, std::vector<size_t>> by_key;  // candidate indexes
  for (size_t c = 0; c < found.size(); ++c) by_key[{found[c].kind, found[c].name}].push_back(c);
  size_t cursor = 0, last = 0;
  for (Anchor& a : anchors) {
    auto list = by_key.find({a.kind, a.name});
    if (list != by_key.end()) {
      auto next = std::lower_bound(list->second.begin(), list->second.end(), cursor);
      if (next != list->second.end()) {
        cursor = *next + 1;
        last = found[*next].token;
      }
    }
    a.token = last;  // without a match (not expected), the last place known
  }
}

// Whether the top level binds "main" to a function, following its lets and definitions in
// order as the hoisting pass does.
bool binds_main(const Program& program) {
  std::set<NameId> functions;
  for (const StmtPtr& s : program) {
    if (s->kind == Stmt::FunctionDef) {
      functions.insert(static_cast<const FunctionDefStmt&>(*s).name);
    } else if (s->kind == Stmt::Let) {
      const auto& let = static_cast<const AssignStmt&>(*s);
      bool copies_function =
          let.value->kind == Expr::Identifier &&
          functions.count(static_cast<const IdentifierExpr&>(*let.value).name) > 0;
      if (copies_function)
        functions.insert(let.name);
      else
        functions.erase(let.name);
    }
  }
  return functions.count(intern("main")) > 0;
}

// The user functions that may print, read input or draw when called: those that call such a
// builtin, and those that call such a function. A builtin's name always means the builtin.
std::set<NameId> functions_with_effects(const std::vector<Anchor>& anchors) {
  std::map<NameId, std::vector<NameId>> callers;  // callee -> functions calling it
  std::vector<NameId> todo;
  for (const Anchor& a : anchors) {
    if (a.kind != Anchor::Def || find_builtin(name_text(a.name))) continue;
    const auto& def = *static_cast<const FunctionDefStmt*>(a.node);
    for (const Anchor& call : AnchorWalk().run_block(def.function->body)) {
      if (call.kind != Anchor::Call) continue;
      if (has_effect(name_text(call.name)))
        todo.push_back(a.name);
      else
        callers[call.name].push_back(a.name);
    }
  }
  std::set<NameId> effects;
  while (!todo.empty()) {
    NameId f = todo.back();
    todo.pop_back();
    if (!effects.insert(f).second) continue;
    for (NameId caller : callers[f]) todo.push_back(caller);
  }
  return effects;
}

// The first call in `e` whose effect a second run repeats. Empty when there is none.
std::string repeated_call(const Expr& e, const std::set<NameId>& effects) {
  for (const Anchor& call : AnchorWalk().run(e)) {
    const std::string& name = name_text(call.name);
    if (has_effect(name) || (!find_builtin(name) && effects.count(call.name))) return name;
  }
  return {};
}

void check_arity(const Anchor& a, std::vector<Note>& notes) {
  const auto& call = *static_cast<const CallExpr*>(a.node);
  const BuiltinEntry* entry = find_builtin(name_text(a.name));
  if (!entry || call.args.size() >= entry->min_args) return;
  std::string need =
      std::to_string(entry->min_args) + (entry->min_args == 1 ? " argument" : " arguments");
  notes.push_back({a.token, code(name_text(a.name)) + " needs at least " + need + ", got " +
                                std::to_string(call.args.size()) + ": the call gives null"});
}

void check_hidden(const Anchor& a, std::vector<Note>& notes) {
  if (!find_builtin(name_text(a.name))) return;
  const std::string& name = name_text(a.name);
  notes.push_back({a.token, "function " + code(name) + " is never called: calls of " + code(name) +
                                " always go to the builtin"});
}

void check_twice(const Anchor& a, const std::set<NameId>& effects, std::vector<Note>& notes) {
  std::string call = repeated_call(*static_cast<const AssignStmt*>(a.node)->value, effects);
  if (call.empty()) return;
  notes.push_back({a.token, code("let " + name_text(a.name)) +
                                " runs twice, hoisted and again in order, as the script has no "
                                "`main`: " +
                                code(call) + " is called both times"});
}

}  // namespace

void check_tree(const Parsed& parsed, std::vector<Note>& notes) {
  std::vector<Anchor> anchors = AnchorWalk().run(parsed.program);
  place(anchors, candidates(parsed));
  bool twice = !binds_main(parsed.program);
  std::set<NameId> effects;
  if (twice) effects = functions_with_effects(anchors);
  for (const Anchor& a : anchors) {
    if (a.kind == Anchor::Call) check_arity(a, notes);
    if (a.kind == Anchor::Def) check_hidden(a, notes);
    if (a.kind == Anchor::Let && a.top_level && twice) check_twice(a, effects, notes);
  }
}

}  // namespace orvane::lint
