#include "interpreter/vm.hpp"

#include <algorithm>

#include "interpreter/builtins.hpp"
#include "interpreter/operators.hpp"
#include "support/interrupt.hpp"
#include "support/output.hpp"

namespace orvane {

namespace {

constexpr size_t INITIAL_STACK = 1024;

}  // namespace

// ---- environment ----

Interpreter::Interpreter() : Interpreter(lowering_options_from_environment()) {}

Interpreter::Interpreter(const LoweringOptions& options)
    : m_options(options), m_stack(INITIAL_STACK), m_host(m_graphics, RandomSource::for_thread()) {
  prepare();
}

void Interpreter::prepare() {
  if (m_names.size() < interned_count()) m_names.resize(interned_count());
}

void Interpreter::assign_elsewhere(NameId name, Value&& value) {
  NameEntry& e = m_names[name];
  if (e.declared_global() || m_depth == 0) {
    (e.depth() == 0 ? e.value : shadowed_global(name)) = std::move(value);
    return;
  }
  if (e.frame == m_depth) {
    e.value = std::move(value);
    return;
  }
  m_shadowed.push(name, e.frame, std::move(e.value));
  e.value = std::move(value);
  e.frame = m_depth;
}

bool Interpreter::work_out_use(const LeafCells& leaf) const {
  leaf.usable = std::none_of(leaf.names.begin(), leaf.names.end(),
                             [&](NameId name) { return m_names[name].declared_global(); });
  leaf.declared = m_declared_globals;
  return leaf.usable;
}

Value& Interpreter::shadowed_global(NameId name) {
  // The first time a call shadowed the name, the global went to the stack.
  for (Shadowed& saved : m_shadowed)
    if (saved.name == name && saved.frame == 0) return saved.value;
  return m_names[name].value;  // unreachable: a shadowed name has its global saved
}

// The tick that ran the countdown out: it takes a step of the budget like any other, and the
// next few thousand are handed out at once. A stop request waits at most that long.
void Interpreter::look_up() {
  constexpr uint64_t BATCH = 4096;
  m_countdown = 1;  // should this tick throw, the next one looks again
  if (interrupt::requested()) interrupt::check();
  if (m_steps_left == 0) throw StepBudgetExhausted{};
  --m_steps_left;
  uint64_t granted = std::min(m_steps_left, BATCH);
  m_steps_left -= granted;
  m_countdown = static_cast<uint32_t>(granted + 1);
}

void Interpreter::declare_global(NameId name) {
  NameEntry& e = m_names[name];
  if (!e.declared_global()) ++m_declared_globals;
  e.frame |= DECLARED_GLOBAL;
}

Value Interpreter::take_pending() {
  m_flags &= static_cast<uint8_t>(~PENDING);
  return std::move(m_pending);  // a moved-from value is Null
}

void Interpreter::report_division() { output::write("Error: division by zero\n"); }

// ---- entry points ----

void Interpreter::execute(const Stmt& stmt) {
  prepare();
  Chunk chunk = lower_statement(stmt, m_options);
  run(chunk);
}

void Interpreter::run(const Chunk& chunk) {
  prepare();
  fill_constant_cells(chunk);
  // Top-level code runs once, so its own literals go when it ends, as they did with the chunk;
  // the functions it defined keep theirs.
  struct EmptyAfter {
    std::vector<NameEntry>& names;
    const Chunk& chunk;
    ~EmptyAfter() {
      for (const ConstantCell& c : chunk.constant_cells) names[c.cell].value.clear();
    }
  } empty_after{m_names, chunk};
  reserve(m_stack.data() + m_stack_top, chunk.max_stack + 1);
  m_frames.emplace_back(nullptr, &chunk, Value(), m_shadowed.size(), true, nullptr);
  dispatch(chunk.code.data() + (m_flags ? chunk.flagged_entry : 0));
}

// The cells of the chunk and of every function defined in it, however deeply.
void Interpreter::fill_constant_cells(const Chunk& chunk) {
  std::vector<const Chunk*> chunks = {&chunk};
  while (!chunks.empty()) {
    const Chunk& next = *chunks.back();
    chunks.pop_back();
    for (const ConstantCell& c : next.constant_cells)
      m_names[c.cell].value = next.constants[c.constant];
    for (const Value& v : next.constants)
      if (v.is(Value::Function)) chunks.push_back(&v.as_function()->chunk);
  }
}

Value* Interpreter::grow_stack(Value* sp, size_t count) {
  size_t used = static_cast<size_t>(sp - m_stack.data());
  if (used + count > m_stack.size()) m_stack.resize(std::max(m_stack.size() * 2, used + count));
  return m_stack.data() + used;
}

// ---- rules kept out of the dispatch loop ----

void Interpreter::catch_error(NameId name) {
  Value error = take_pending();
  assign(name, Value::string(error.as_string()));
}

// The generic rule of `x = x op right`, after the in-place attempt did not apply.
void Interpreter::update(NameId name, TokenKind op, const Value& right) {
  if (op == TokenKind::Plus) {
    Value values[2] = {lookup(name), right};
    append(name, values, 1);
    return;
  }
  bool divided_by_zero = false;
  Value result = binary_op(lookup(name), op, right, &divided_by_zero);
  if (divided_by_zero) report_division();
  assign(name, std::move(result));
}

// `x = values[0] + values[1] + ... + values[count]`, values[0] having been read from x. When
// all are strings the join is sized first (so a refused join leaves x as it was), x lets go of
// its payload and the string grows in place. Otherwise the generic rule applies, left to right.
void Interpreter::append(NameId name, Value* values, size_t count) {
  Value& left = values[0];
  bool strings = left.is(Value::String);
  uint64_t size = strings ? left.as_string().size() : 0;
  for (size_t i = 1; strings && i <= count; ++i) {
    strings = values[i].is(Value::String);
    if (strings) size += values[i].as_string().size();
  }
  if (!strings) {
    bool divided_by_zero = false;
    for (size_t i = 1; i <= count; ++i)
      left = binary_op(std::move(left), TokenKind::Plus, values[i], &divided_by_zero);
    assign(name, std::move(left));
    return;
  }
  check_allocation(size);
  Value* slot = own_binding(name);
  bool released = slot && slot->payload_identity() == left.payload_identity();
  if (released) *slot = Value();
  try {
    std::string& text = left.mutable_string();
    text.reserve(size);
    for (size_t i = 1; i <= count; ++i) text += values[i].as_string();
  } catch (...) {
    if (released) *slot = std::move(left);  // a failed reserve changed nothing
    throw;
  }
  assign(name, std::move(left));
}

// `x = builtin(x, ...)`: x lets go of its payload so that the builtin may change it in place,
// and gets it back should the builtin fail before taking it.
Value Interpreter::builtin_update(NameId name, int builtin, Value* args, size_t argc) {
  Value* slot = own_binding(name);
  const void* identity = args[0].payload_identity();
  bool released = slot && identity && slot->payload_identity() == identity;
  if (released) *slot = Value();
  try {
    return call_builtin_at(builtin, std::span<Value>(args, argc), m_host);
  } catch (...) {
    if (released && args[0].payload_identity() == identity) *slot = std::move(args[0]);
    throw;
  }
}

// Before `x = push(x, item)` when x's array has no room to take the item in place. A shared one
// (an array literal, or one assigned from elsewhere) is copied into a new block with the room
// that the site's arrays needed; a full one grows as any array does, and the site learns the
// room it reached. Every eighth start halves the room, so that one large array does not size
// all that follow. Rooms stay among those that growing step by step gives, so arrays end with
// no more room than they would have had, and blocks of few sizes come and go. An array that
// grows at a site other than the one that started it (the last to start one in this code)
// teaches both.
void Interpreter::make_push_room(Value& array, uint16_t site) {
  if (site == 0) return array.make_room_to_append(0);
  const Chunk& chunk = *m_frames.back().chunk;
  PushSite& learnt = chunk.push_sites[site - 1];
  if (!array.is_unique()) {
    size_t room = learnt.room;
    if (++learnt.starts % 8 == 0) learnt.room = static_cast<uint32_t>(smaller_capacity(room));
    chunk.last_start = site;
    return array.make_room_to_append(room);
  }
  size_t room = grown_capacity(array.as_array().size());
  // Past the doubling sizes growing costs little, and the room learnt stops there.
  auto reached = static_cast<uint32_t>(std::min(room, LAST_DOUBLED_CAPACITY));
  learnt.room = std::max(learnt.room, reached);
  if (chunk.last_start != 0 && chunk.last_start != site) {
    PushSite& starter = chunk.push_sites[chunk.last_start - 1];
    starter.room = std::max(starter.room, reached);
  }
  array.make_room_to_append(room);
}

// The generic rule of `x = push(x, item)`.
void Interpreter::push_generic(NameId name, Value&& item) {
  Value args[2] = {lookup(name), std::move(item)};
  assign(name, call_builtin_at(BUILTIN_PUSH, std::span<Value>(args, 2), m_host));
}

}  // namespace orvane
