// The dispatch loop: one case per instruction. The generic rules call into the operators
// module; each specialisation tries its shortcut and otherwise applies the same generic rule.
#include "interpreter/builtins.hpp"
#include "interpreter/operators.hpp"
#include "interpreter/vm.hpp"

namespace orvane {

namespace {

// A range bound: Numbers as they are, Floats truncated and saturated, anything else invalid.
std::optional<int64_t> range_bound(const Value& v) {
  if (v.is(Value::Number)) return v.as_number();
  if (v.is(Value::Float)) return as_integer(v);
  return std::nullopt;
}

// The element of a collection, for an index already evaluated.
[[gnu::always_inline]] inline Value element(const Value& target, const Value& index) {
  if (target.is(Value::Array) && index.is(Value::Number)) {
    std::span<const Value> items = target.as_array();
    uint64_t i = static_cast<uint64_t>(index.as_number());  // negative indices are out of range
    return i < items.size() ? items[i] : Value::null();
  }
  if (target.is(Value::Dict) && index.is(Value::String)) {
    const Value* found = target.as_dict().find(index.as_string());
    return found ? *found : Value::null();
  }
  return Value::null();
}

// The entry of a dict under a member key; Null when absent or when `target` is no dict.
[[gnu::always_inline]] inline Value member(const Value& target, const MemberKey& key) {
  if (!target.is(Value::Dict)) return Value::null();
  const DictMap& map = target.as_dict();
  if (map.layout_identity() == key.layout && key.layout != 0) return map.value_of_entry(key.entry);
  size_t slot = map.find_slot(key.text, key.hash);
  if (slot == SIZE_MAX) return Value::null();
  key.layout = map.layout_identity();
  key.entry = map.entry_at_slot(slot);
  return map.value_of_entry(key.entry);
}

Value make_range(const Value& start_value, const Value& end_value) {
  std::optional<int64_t> start = range_bound(start_value);
  std::optional<int64_t> end = range_bound(end_value);
  if (!start || !end) return Value::null();
  if (*start >= *end) return Value::empty_array(0);
  uint64_t count = static_cast<uint64_t>(*end) - static_cast<uint64_t>(*start);
  if (count > UINT64_MAX / sizeof(Value)) throw OutOfMemory{};
  check_allocation(count * sizeof(Value));
  return Value::counting(*start, count);
}

TokenKind operator_of(const Instr* in) { return static_cast<TokenKind>(in->x); }

// Outcomes of a binary operator written into a slot.
enum Outcome { NOT_DIRECT, DONE, DIVIDED_BY_ZERO };

// What needs no allocation, computed straight into `target` (which may be `left`): any
// operator on two Numbers, two Floats or two Booleans, the comparisons of two Strings, and
// operands of different kinds, which give Null.
[[gnu::always_inline]] inline Outcome direct(Value& target, const Value& left, TokenKind op,
                                             const Value& right) {
  Value::Kind kind = left.kind();
  if (kind != right.kind()) [[unlikely]] {
    target.clear();
    return DONE;
  }
  if (kind == Value::Number) [[likely]] {
    bool divided_by_zero = false;
    target = operators::numbers(left.as_number(), op, right.as_number(), divided_by_zero);
    return divided_by_zero ? DIVIDED_BY_ZERO : DONE;
  }
  if (kind == Value::Float) {
    target = operators::floats(left.as_float(), op, right.as_float());
    return DONE;
  }
  if (kind == Value::Boolean) {
    target = operators::booleans(left.as_boolean(), op, right.as_boolean());
    return DONE;
  }
  if (kind == Value::String && op != TokenKind::Plus) {
    target = operators::string_comparison(left.as_string(), op, right.as_string());
    return DONE;
  }
  return NOT_DIRECT;
}

// The generic rule into `target`; `left` is taken by value so a string may grow in place.
[[gnu::noinline]] Outcome generic(Value& target, Value left, TokenKind op, const Value& right) {
  bool divided_by_zero = false;
  target = binary_op(std::move(left), op, right, &divided_by_zero);
  return divided_by_zero ? DIVIDED_BY_ZERO : DONE;
}

// A comparison's truth by the generic rule (mixed kinds give Null, which is false); `bit` is
// the operator's own.
[[gnu::always_inline]] inline bool compare(const Value& left, TokenKind op, uint16_t bit,
                                           const Value& right) {
  Value::Kind kind = left.kind();
  if (kind != right.kind()) [[unlikely]]
    return false;  // Null
  if (kind == Value::Number) [[likely]]
    return operators::comparisons(left.as_number(), right.as_number()) & bit;
  if (kind == Value::Float) return operators::comparisons(left.as_float(), right.as_float()) & bit;
  if (kind == Value::String)  // an ordering of strings is Null, which is false
    return operators::comparisons(left.as_string(), right.as_string()) & bit;
  return is_truthy(binary_op(left, op, right));
}

// A comparison's outcome by the generic rule: 1 when true, 0 when false, -1 when Null. The
// same rule as compare(), which the branches of the loop use and keeps apart for their speed.
[[gnu::always_inline]] inline int compare_or_null(const Value& left, TokenKind op, uint16_t bit,
                                                  const Value& right) {
  Value::Kind kind = left.kind();
  if (kind != right.kind()) return -1;
  if (kind == Value::Number)
    return (operators::comparisons(left.as_number(), right.as_number()) & bit) != 0;
  if (kind == Value::Float)
    return (operators::comparisons(left.as_float(), right.as_float()) & bit) != 0;
  if (kind == Value::String) {  // an ordering of strings is Null
    uint8_t equality = bit & (operators::EQ | operators::NE);
    return equality ? (operators::comparisons(left.as_string(), right.as_string()) & equality) != 0
                    : -1;
  }
  Value result = binary_op(left, op, right);
  return result.is(Value::Boolean) ? result.as_boolean() : -1;
}

// The truth of a value, a Boolean's told first. (JumpIfFalse calls is_truthy itself: inlined
// there, this cost 1 % more instructions to programs that test no such condition.)
[[gnu::always_inline]] inline bool truthy(const Value& v) {
  return v.is(Value::Boolean) ? v.as_boolean() : is_truthy(v);
}

// The offset of the first arm whose pattern `subject` matches, or of where none does. A
// pattern matches a subject of its own kind and value; the keys tell most arms apart.
[[gnu::noinline]] int32_t matching_arm(const MatchTable& table, const Value& subject) {
  Value::Kind kind = subject.kind();
  if (kind != Value::Number && kind != Value::String && kind != Value::Boolean)
    return table.otherwise;
  uint64_t key = match_key(subject);
  for (const MatchTable::Arm& arm : table.arms)
    if (arm.kind == kind && arm.key == key &&
        (kind != Value::String || operators::pattern_matches(subject, arm.pattern)))
      return arm.offset;
  return table.otherwise;
}

[[gnu::always_inline]] inline void clear(Value* from, Value* to) {
  for (; from < to; ++from) from->clear();
}

}  // namespace

// An operator's result written straight into the binding of `name`, as Store would.
template <class Left>
[[gnu::always_inline]] inline void Interpreter::store_binary(NameId name, Left&& left, TokenKind op,
                                                             const Value& right) {
  Value* slot = own_binding(name);
  Value scratch;
  Value& target = slot ? *slot : scratch;
  Outcome outcome = direct(target, left, op, right);
  if (outcome == NOT_DIRECT) outcome = generic(target, std::forward<Left>(left), op, right);
  if (!slot) assign(name, std::move(scratch));
  if (outcome == DIVIDED_BY_ZERO) report_division();
}

// `left = left op right`, for a left operand on the stack.
[[gnu::always_inline]] inline void Interpreter::binary_in_place(Value& left, TokenKind op,
                                                                const Value& right) {
  Outcome outcome = direct(left, left, op, right);
  if (outcome == NOT_DIRECT) outcome = generic(left, std::move(left), op, right);
  if (outcome == DIVIDED_BY_ZERO) report_division();
}

// `x op= k` for a Number constant k, done as adding `step` to a Number in x's own binding;
// false when x's own binding holds no Number, and the generic rule must apply. The caller
// looks the constant up only then.
[[gnu::always_inline]] inline bool Interpreter::add_constant(NameId name, int32_t step) {
  Value* slot = own_binding(name);
  if (!slot || !slot->is(Value::Number)) [[unlikely]]
    return false;
  uint64_t sum = static_cast<uint64_t>(slot->as_number()) + static_cast<uint64_t>(int64_t{step});
  slot->renumber(static_cast<int64_t>(sum));
  return true;
}

// `x = push(x, item)`: an array in x's own binding grows in place (copied first if shared);
// anything else takes the generic rule. This returns x's array with room made for the item,
// or nothing for the generic rule. The caller reads the item only then, so that no value is
// held across a call: an item read in place is the same before and after, unless it is x's
// own binding, which is pushed from the stack.
[[gnu::always_inline]] inline Value* Interpreter::push_target(NameId name, uint16_t site) {
  Value* slot = own_binding(name);
  if (!slot || !slot->is(Value::Array)) [[unlikely]]
    return nullptr;
  if (!slot->has_room_to_append()) make_push_room(*slot, site);
  return slot;
}

[[gnu::always_inline]] inline void Interpreter::fill(const LeafCells& leaf, size_t given) {
  NameEntry* names = m_names.data();
  NameEntry* cells = names + leaf.first_cell;
  const NameId* variables = leaf.names.data();
  size_t count = leaf.names.size();
  uint32_t depth = m_depth;
  for (size_t i = 0; i < given; ++i) cells[i].frame = depth;
  for (size_t i = given; i < count; ++i) {
    cells[i].frame = depth;
    cells[i].value = names[variables[i]].value;
  }
}

[[gnu::always_inline]] inline void Interpreter::empty(const LeafCells& leaf) {
  NameEntry* cells = m_names.data() + leaf.first_cell;
  for (size_t i = 0, count = leaf.names.size(); i < count; ++i) cells[i].value.clear();
}

// Calls are entered and left here, beside the loop that inlines them.
[[gnu::always_inline]] inline const Instr* Interpreter::enter_call(const FunctionData& fn,
                                                                   const Value& callee, Value* args,
                                                                   size_t argc, const Instr* resume,
                                                                   bool native) {
  if (m_depth >= MAX_CALL_DEPTH) throw RecursionTooDeep{};
  const LeafCells* leaf = fn.leaf && may_use(*fn.leaf) ? fn.leaf.get() : nullptr;
  size_t params = fn.params.size();
  // A call in cells assigns nothing but its cells: the name it was called by keeps the function
  // alive until it returns, and it displaces nothing.
  if (leaf) {
    size_t given = std::min(params, argc);
    NameEntry* cells = open_cells(fn, *leaf, resume, native);
    for (size_t i = 0; i < given; ++i) cells[i].value = std::move(args[i]);  // left empty
    fill(*leaf, given);
  } else {
    m_frames.emplace_back(resume, &fn.chunk, Value(callee), m_shadowed.size(), native, leaf);
    ++m_depth;
    bind_params(fn, args, argc);
  }
  if (argc > params) clear(args + params, args + argc);  // the others were moved
  return start(fn, leaf);
}

// The frame of a call in cells, and its cells, which are empty.
[[gnu::always_inline]] inline Interpreter::NameEntry* Interpreter::open_cells(
    const FunctionData& fn, const LeafCells& leaf, const Instr* resume, bool native) {
  m_frames.emplace_back(resume, &fn.chunk, native, &leaf);
  ++m_depth;
  return m_names.data() + leaf.first_cell;
}

// A call in cells on one or two arguments read where they are (`second` is read when `argc`
// is 2), as a call that found them on the stack.
[[gnu::always_inline]] inline const Instr* Interpreter::enter_cells(
    const FunctionData& fn, const LeafCells& leaf, const Value& first, const Value& second,
    size_t argc, const Instr* resume) {
  if (m_depth >= MAX_CALL_DEPTH) throw RecursionTooDeep{};
  size_t given = std::min(fn.params.size(), argc);
  NameEntry* cells = open_cells(fn, leaf, resume, false);
  if (given > 0) cells[0].value = first;  // the cells were left empty
  if (given > 1) cells[1].value = second;
  fill(leaf, given);
  return start(fn, &leaf);
}

// Where an entered call starts: its code's second entry when a flag is set.
[[gnu::always_inline]] inline const Instr* Interpreter::start(const FunctionData& fn,
                                                              const LeafCells* leaf) {
  tick();
  const Instr* code = leaf ? leaf->code.data() : fn.chunk.code.data();
  return code + (m_flags ? fn.chunk.flagged_entry : 0);
}

// A parameter's first binding in a new call displaces the cell's content.
[[gnu::always_inline]] inline void Interpreter::bind_params(const FunctionData& fn, Value* args,
                                                            size_t argc) {
  size_t n = std::min(fn.params.size(), argc);
  for (size_t i = 0; i < n; ++i) {
    NameEntry& e = m_names[fn.params[i]];
    if (e.declared_global() || e.frame == m_depth) {
      assign(fn.params[i], std::move(args[i]));
      continue;
    }
    m_shadowed.push(fn.params[i], e.frame, std::move(e.value));
    e.value.swap(args[i]);  // the cell was left empty: nothing to let go of
    e.frame = m_depth;
  }
}

[[gnu::always_inline]] inline void Interpreter::pop_frame(size_t start) {
  Shadowed* first = m_shadowed.at(start);
  for (Shadowed* saved = m_shadowed.end(); saved != first;) {
    --saved;
    NameEntry& e = m_names[saved->name];
    e.value = std::move(saved->value);
    e.frame = saved->frame | (e.frame & DECLARED_GLOBAL);  // declared during the call, it stays
  }
  m_shadowed.drop_to(first);
  --m_depth;
}

Value Interpreter::call_function(const FunctionData& fn, std::span<Value> args) {
  prepare();
  reserve(m_stack.data() + m_stack_top, fn.chunk.max_stack + 1);
  return dispatch(enter_call(fn, Value(), args.data(), args.size(), nullptr, true));
}

void Interpreter::recover() {
  // Restoring every displaced binding, innermost first, brings back the globals.
  for (const Frame& frame : m_frames)
    if (frame.leaf) empty(*frame.leaf);
  while (m_depth > 0) pop_frame(0);
  m_frames.clear();
  for (Value& v : m_stack) v = Value();
  m_stack_top = 0;
  m_pending = Value();
  m_flags = 0;
}

Value Interpreter::dispatch(const Instr* ip) {
  Value* sp = m_stack.data() + m_stack_top;
  // The running code's chunk, for its constants and member keys: one register for both.
  const Chunk* chunk = m_frames.back().chunk;
  NameEntry* names = m_names.data();
  size_t argc = 0;  // of the call being entered
  // No lambda here captures these locals: one that the compiler did not inline would make them
  // live in memory, reloaded by every handler.
#define LEAF(operand) (names[(operand)].value)
#define ENTER_CHUNK(entered) (chunk = &(entered))
#define CONSTANT(index) (chunk->constants[(index)])
#define KEY(index) (chunk->keys[(index)])
  // `x = push(x, item)` for the instruction's x and site, `item` read once x's array has room.
#define PUSH(item)                                              \
  do {                                                          \
    if (Value* array = push_target(ip->a, ip->bits)) [[likely]] \
      array->append_within_room(item);                          \
    else                                                        \
      push_generic(ip->a, item);                                \
  } while (false)
  // Threaded dispatch: each handler jumps straight to the next one, in the order of Op.
#define HANDLER(name) __extension__&& op_##name
  static const void* const HANDLERS[] = {
      HANDLER(Const),
      HANDLER(Load),
      HANDLER(Store),
      HANDLER(Pop),
      HANDLER(Binary),
      HANDLER(Negate),
      HANDLER(Not),
      HANDLER(CallBuiltin),
      HANDLER(Call),
      HANDLER(MakeArray),
      HANDLER(MakeDict),
      HANDLER(Index),
      HANDLER(Range),
      HANDLER(Jump),
      HANDLER(JumpIfFalse),
      HANDLER(CheckFlags),
      HANDLER(Break),
      HANDLER(Continue),
      HANDLER(Return),
      HANDLER(Global),
      HANDLER(Define),
      HANDLER(Tick),
      HANDLER(LoopEnd),
      HANDLER(ClearBreak),
      HANDLER(ForArray),
      HANDLER(ForArrayNext),
      HANDLER(ForRange),
      HANDLER(ForRangeNext),
      HANDLER(MatchTest),
      HANDLER(Catch),
      HANDLER(Leave),
      HANDLER(Halt),
      HANDLER(BinaryLL),
      HANDLER(BinarySL),
      HANDLER(CompareJumpLL),
      HANDLER(CompareJumpSL),
      HANDLER(CompareJumpSS),
      HANDLER(UpdateL),
      HANDLER(AddConstant),
      HANDLER(Append),
      HANDLER(BuiltinUpdate),
      HANDLER(Push),
      HANDLER(Member),
      HANDLER(MemberName),
      HANDLER(IndexLL),
      HANDLER(IndexName),
      HANDLER(WhileLoop),
      HANDLER(ForRangeLoop),
      HANDLER(ForArrayLoop),
      HANDLER(BinaryLS),
      HANDLER(BinaryLLTo),
      HANDLER(BinarySLTo),
      HANDLER(BinaryLSTo),
      HANDLER(BinaryTo),
      HANDLER(StoreLeaf),
      HANDLER(MatchLeaf),
      HANDLER(PushLeaf),
      HANDLER(PushIndex),
      HANDLER(ReturnLeave),
      HANDLER(BinarySI),
      HANDLER(IndexLLTo),
      HANDLER(IndexNameTo),
      HANDLER(MemberNameTo),
      HANDLER(ReturnLeaf),
      HANDLER(PushIndexName),
      HANDLER(BinarySM),
      HANDLER(MatchTable),
      HANDLER(AddConstantLoop),
      HANDLER(CallLeaves),
      HANDLER(CallBuiltinLeaves),
      HANDLER(WhileLoopUnflagged),
      HANDLER(ForRangeLoopUnflagged),
      HANDLER(ForArrayLoopUnflagged),
      HANDLER(LengthLeaf),
      HANDLER(OrTestLL),
      HANDLER(NullJumpLL),
      HANDLER(JumpUnlessLeaf),
      HANDLER(JumpIfTrue),
  };
#undef HANDLER
#define DISPATCH() __extension__({ goto* HANDLERS[static_cast<uint8_t>(ip->op)]; })
#define NEXT()  \
  do {          \
    ++ip;       \
    DISPATCH(); \
  } while (false)

  DISPATCH();
op_Const : {
  *sp++ = CONSTANT(ip->a);
  NEXT();
}
op_Load : {
  *sp++ = names[ip->a].value;
  NEXT();
}
op_Store : {
  assign(ip->a, std::move(*--sp));
  NEXT();
}
op_Pop : {
  clear(sp - ip->b, sp);
  sp -= ip->b;
  NEXT();
}
op_Binary : {
  binary_in_place(sp[-2], operator_of(ip), sp[-1]);
  (--sp)->clear();
  NEXT();
}
op_Negate : {
  sp[-1] = operators::negate(sp[-1]);
  NEXT();
}
op_Not : {
  sp[-1] = operators::logical_not(sp[-1]);
  NEXT();
}
op_CallBuiltin : {
  {
    Value* args = sp - ip->b;
    Value result = call_builtin_at(static_cast<int>(ip->a), std::span<Value>(args, ip->b), m_host);
    clear(args, sp);
    sp = args;
    *sp++ = std::move(result);
  }
  NEXT();
}
op_CallBuiltinLeaves : {
  if (ip->x == 1) {
    *sp = call_builtin_reading(static_cast<int>(ip->a), ReadArgs(&LEAF(ip->b), 1), m_host);
  } else {
    const Value pair[2] = {LEAF(ip->b), LEAF(ip->c)};  // side by side, as the builtin reads them
    *sp = call_builtin_reading(static_cast<int>(ip->a), ReadArgs(pair, 2), m_host);
  }
  ++sp;
  NEXT();
}
op_LengthLeaf : {
  {
    const Value& v = LEAF(ip->b);
    if (v.is(Value::Array)) [[likely]]
      *sp = Value::number(static_cast<int64_t>(v.as_array().size()));
    else
      *sp = call_builtin_reading(BUILTIN_LEN, ReadArgs(&v, 1), m_host);
  }
  ++sp;
  NEXT();
}
op_CallLeaves : {
  {
    const Value& callee = names[ip->a].value;
    if (!callee.is(Value::Function)) [[unlikely]] {
      *sp++ = Value();  // reading the leaves has no effect
      NEXT();
    }
    const FunctionData& fn = *callee.as_function();
    const LeafCells* leaf = fn.leaf.get();
    if (leaf && may_use(*leaf)) [[likely]] {
      // A function in cells takes the leaves straight into its cells.
      ip = enter_cells(fn, *leaf, LEAF(ip->b), LEAF(ip->c), ip->x, ip + 1);
      sp = reserve(sp, fn.chunk.max_stack + 1);
      ENTER_CHUNK(fn.chunk);
      DISPATCH();
    }
  }
  // The arguments go where Loads would have put them; the slots above the top hold Null.
  sp[0] = LEAF(ip->b);
  if (ip->x == 2) sp[1] = LEAF(ip->c);
  sp += ip->x;
  argc = ip->x;
  goto call;
}
op_Call : { argc = ip->b; }
call : {
  Value* args = sp - argc;
  const Value& callee = names[ip->a].value;
  if (!callee.is(Value::Function)) {
    clear(args, sp);
    sp = args;
    *sp++ = Value();
    NEXT();
  }
  const FunctionData& fn = *callee.as_function();
  ip = enter_call(fn, callee, args, argc, ip + 1, false);
  sp = reserve(args, fn.chunk.max_stack + 1);
  ENTER_CHUNK(fn.chunk);
  DISPATCH();
}
op_MakeArray : {
  {
    Value* items = sp - ip->b;
    Value array = Value::array(items, ip->b);
    sp = items;
    *sp++ = std::move(array);
  }
  NEXT();
}
op_MakeDict : {
  {
    Value* values = sp - ip->b;
    const DictShape& shape = chunk->dicts[ip->a];
    Value dict = Value::dict(shape.map, shape.entries, values);
    clear(values, sp);
    sp = values;
    *sp++ = std::move(dict);
  }
  NEXT();
}
op_Index : {
  sp[-2] = element(sp[-2], sp[-1]);
  (--sp)->clear();
  NEXT();
}
op_Range : {
  sp[-2] = make_range(sp[-2], sp[-1]);
  (--sp)->clear();
  NEXT();
}
op_Jump : {
  ip += static_cast<int32_t>(ip->c);
  DISPATCH();
}
op_JumpIfFalse : {
  bool truth = is_truthy(sp[-1]);
  (--sp)->clear();
  if (!truth) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_CheckFlags : {
  if (m_flags) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_Break : {
  m_flags |= BREAK;
  NEXT();
}
op_Continue : {
  m_flags |= CONTINUE;
  NEXT();
}
op_Return : {
  m_pending = std::move(*--sp);
  m_flags |= PENDING;
  NEXT();
}
op_Global : {
  declare_global(ip->a);
  NEXT();
}
op_Define : {
  assign(ip->a, Value(CONSTANT(ip->b)));
  NEXT();
}
op_Tick : {
  tick();
  NEXT();
}
op_LoopEnd : {
  if (m_flags & (PENDING | BREAK)) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  m_flags &= static_cast<uint8_t>(~CONTINUE);
  ip += static_cast<int32_t>(ip->b);
  DISPATCH();
}
op_ClearBreak : {
  m_flags &= static_cast<uint8_t>(~BREAK);
  NEXT();
}
op_ForArray : {
  if (!sp[-1].is(Value::Array)) {
    (--sp)->clear();
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  *sp++ = Value::number(0);
  NEXT();
}
op_ForArrayNext : {
  std::span<const Value> items = sp[-2].as_array();
  uint64_t i = static_cast<uint64_t>(sp[-1].as_number());
  if (i >= items.size()) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  tick();
  assign(ip->a, items[i]);
  sp[-1].renumber(static_cast<int64_t>(i + 1));
  NEXT();
}
op_ForRange : {
  std::optional<int64_t> start = range_bound(sp[-2]);
  std::optional<int64_t> end = range_bound(sp[-1]);
  if (!start || !end) {
    clear(sp - 2, sp);
    sp -= 2;
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  sp[-2] = Value::number(*start);
  sp[-1] = Value::number(*end);
  NEXT();
}
op_ForRangeNext : {
  int64_t i = sp[-2].as_number();
  if (i >= sp[-1].as_number()) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  tick();
  if (Value* slot = own_binding(ip->a)) [[likely]]
    slot->set_number(i);
  else
    assign_elsewhere(ip->a, Value::number(i));
  sp[-2].renumber(i + 1);
  NEXT();
}
op_MatchTest : {
  bool matches = operators::pattern_matches(sp[-2], sp[-1]);
  (--sp)->clear();
  if (!matches) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_Catch : {
  if (!has_pending() || !m_pending.is(Value::Error)) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  catch_error(ip->a);
  NEXT();
}
#define LOOP_END(head_handler)                    \
  do {                                            \
    if (m_flags) {                                \
      if (m_flags & (PENDING | BREAK)) {          \
        ip += static_cast<int32_t>(ip->c);        \
        DISPATCH();                               \
      }                                           \
      m_flags &= static_cast<uint8_t>(~CONTINUE); \
    }                                             \
    ip += static_cast<int32_t>(ip->b);            \
    goto head_handler;                            \
  } while (false)
op_WhileLoop:
  LOOP_END(op_Tick);
op_ForRangeLoop:
  LOOP_END(op_ForRangeNext);
op_ForArrayLoop:
  LOOP_END(op_ForArrayNext);
#undef LOOP_END
op_WhileLoopUnflagged:
  ip += static_cast<int32_t>(ip->b);
  goto op_Tick;
op_ForRangeLoopUnflagged:
  ip += static_cast<int32_t>(ip->b);
  goto op_ForRangeNext;
op_ForArrayLoopUnflagged:
  ip += static_cast<int32_t>(ip->b);
  goto op_ForArrayNext;
op_ReturnLeave : {
  if (ip->b == 1) {
    --sp;  // the result is where the arguments started
  } else {
    Value* base = sp - ip->b;  // where the arguments started
    Value result = std::move(sp[-1]);
    clear(base, sp - 1);
    sp = base;
    *sp = std::move(result);
  }
  if (ip->x) m_flags &= static_cast<uint8_t>(~BREAK);
  goto leave;
}
op_ReturnLeaf : {
  {
    Value result = LEAF(ip->a);  // read before the call's bindings go
    Value* base = sp - ip->b;
    clear(base, sp);
    sp = base;
    *sp = std::move(result);
    if (ip->x) m_flags &= static_cast<uint8_t>(~BREAK);
  }
  goto leave;
}
op_Leave : {
  // The result goes to the slot the arguments started at, kept free for it.
  *sp = has_pending() ? take_pending() : Value();
}
leave : {
  Frame& frame = m_frames.back();
  const Instr* resume = frame.resume;
  bool native = frame.native;
  if (frame.leaf) {
    empty(*frame.leaf);
    --m_depth;
  } else {
    pop_frame(frame.shadowed_start);
  }
  m_frames.pop_back();
  if (native) {
    m_stack_top = static_cast<size_t>(sp - m_stack.data());
    return std::move(*sp);
  }
  ENTER_CHUNK(*m_frames.back().chunk);
  ip = resume;
  ++sp;
  DISPATCH();
}
op_Halt : {
  m_frames.pop_back();
  m_stack_top = static_cast<size_t>(sp - m_stack.data());
  return Value();
}
op_BinaryLL : {
  const Value& left = LEAF(ip->a);
  const Value& right = LEAF(ip->b);
  Outcome outcome = direct(*sp, left, operator_of(ip), right);
  if (outcome == NOT_DIRECT) outcome = generic(*sp, left, operator_of(ip), right);
  ++sp;
  if (outcome == DIVIDED_BY_ZERO) report_division();
  NEXT();
}
op_BinarySL : {
  binary_in_place(sp[-1], operator_of(ip), LEAF(ip->b));
  NEXT();
}
op_CompareJumpLL : {
  if (!compare(LEAF(ip->a), operator_of(ip), ip->bits, LEAF(ip->b))) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_OrTestLL : {
  int truth = compare_or_null(LEAF(ip->a), operator_of(ip), ip->bits & 0xFF, LEAF(ip->b));
  ip += truth < 0 ? static_cast<int32_t>(ip->c) : truth ? ip->bits >> 8 : 1;
  DISPATCH();
}
op_NullJumpLL : {
  if (compare_or_null(LEAF(ip->a), operator_of(ip), ip->bits, LEAF(ip->b)) < 0) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_CompareJumpSL : {
  bool holds = compare(sp[-1], operator_of(ip), ip->bits, LEAF(ip->b));
  (--sp)->clear();
  if (!holds) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_CompareJumpSS : {
  bool holds = compare(sp[-2], operator_of(ip), ip->bits, sp[-1]);
  clear(sp - 2, sp);
  sp -= 2;
  if (!holds) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_UpdateL : {
  const Value& right = LEAF(ip->b);
  Value* slot = own_binding(ip->a);
  if (slot && slot->is(Value::Number) && right.is(Value::Number)) {
    bool divided_by_zero = false;
    slot->set_number(
        operators::numbers(slot->as_number(), operator_of(ip), right.as_number(), divided_by_zero)
            .as_number());
    if (divided_by_zero) report_division();
  } else if (slot && slot->is(Value::Float) && right.is(Value::Float)) {
    slot->set_real(
        operators::floats(slot->as_float(), operator_of(ip), right.as_float()).as_float());
  } else {
    update(ip->a, operator_of(ip), right);
  }
  NEXT();
}
op_AddConstant : {
  if (!add_constant(ip->a, static_cast<int32_t>(ip->c)))
    update(ip->a, operator_of(ip), CONSTANT(ip->b));
  NEXT();
}
op_AddConstantLoop : {
  if (!add_constant(ip->a, static_cast<int32_t>(ip->c)))
    update(ip->a, operator_of(ip), CONSTANT(ip->b));
  ++ip;
  DISPATCH();
}
op_Append : {
  Value* values = sp - ip->b - 1;
  Value* slot = ip->b == 1 ? own_binding(ip->a) : nullptr;
  // Numbers and Floats are summed straight into the binding; + never divides.
  if (!slot || direct(*slot, values[0], TokenKind::Plus, values[1]) == NOT_DIRECT)
    append(ip->a, values, ip->b);
  clear(values, sp);
  sp = values;
  NEXT();
}
op_BuiltinUpdate : {
  {
    Value* args = sp - ip->b;
    Value result = builtin_update(ip->a, static_cast<int>(ip->c), args, ip->b);
    clear(args, sp);
    sp = args;
    assign(ip->a, std::move(result));
  }
  NEXT();
}
op_BinaryLS : {
  const Value& left = LEAF(ip->b);
  Outcome outcome = direct(sp[-1], left, operator_of(ip), sp[-1]);
  if (outcome == NOT_DIRECT) outcome = generic(sp[-1], left, operator_of(ip), sp[-1]);
  if (outcome == DIVIDED_BY_ZERO) report_division();
  NEXT();
}
op_BinaryLLTo : {
  store_binary(ip->c, LEAF(ip->a), operator_of(ip), LEAF(ip->b));
  NEXT();
}
op_BinarySLTo : {
  store_binary(ip->c, std::move(sp[-1]), operator_of(ip), LEAF(ip->b));
  (--sp)->clear();
  NEXT();
}
op_BinaryLSTo : {
  store_binary(ip->c, LEAF(ip->b), operator_of(ip), sp[-1]);
  (--sp)->clear();
  NEXT();
}
op_BinaryTo : {
  store_binary(ip->c, std::move(sp[-2]), operator_of(ip), sp[-1]);
  clear(sp - 2, sp);
  sp -= 2;
  NEXT();
}
op_StoreLeaf : {
  assign(ip->a, LEAF(ip->b));  // a copy, made before the binding lets go of its value
  NEXT();
}
op_MatchLeaf : {
  if (!operators::pattern_matches(sp[-1], LEAF(ip->b))) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_PushLeaf : {
  PUSH(Value(LEAF(ip->b)));
  NEXT();
}
op_PushIndex : {
  PUSH(element(names[ip->b].value, LEAF(ip->c)));
  NEXT();
}
op_Push : {
  PUSH(std::move(*--sp));
  sp->clear();
  NEXT();
}
op_Member : {
  sp[-1] = member(sp[-1], KEY(ip->a));
  NEXT();
}
op_MemberName : {
  *sp++ = member(names[ip->a].value, KEY(ip->b));
  NEXT();
}
op_IndexLL : {
  *sp++ = element(names[ip->a].value, LEAF(ip->b));
  NEXT();
}
op_IndexName : {
  sp[-1] = element(names[ip->a].value, sp[-1]);
  NEXT();
}
op_BinarySI : {
  binary_in_place(sp[-1], operator_of(ip), element(names[ip->a].value, LEAF(ip->b)));
  NEXT();
}
op_BinarySM : {
  binary_in_place(sp[-1], operator_of(ip), member(names[ip->a].value, KEY(ip->b)));
  NEXT();
}
op_PushIndexName : {
  PUSH(element(names[ip->b].value, sp[-1]));
  (--sp)->clear();
  NEXT();
}
op_MatchTable : {
  ip += matching_arm(chunk->tables[ip->a], sp[-1]);
  DISPATCH();
}
op_IndexLLTo : {
  assign(ip->c, element(names[ip->a].value, LEAF(ip->b)));
  NEXT();
}
op_IndexNameTo : {
  assign(ip->c, element(names[ip->a].value, sp[-1]));
  (--sp)->clear();
  NEXT();
}
op_MemberNameTo : {
  assign(ip->c, member(names[ip->a].value, KEY(ip->b)));
  NEXT();
}
op_JumpIfTrue : {
  bool truth = truthy(sp[-1]);
  (--sp)->clear();
  if (truth) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
op_JumpUnlessLeaf : {
  if (truthy(LEAF(ip->b)) == static_cast<bool>(ip->x)) {
    ip += static_cast<int32_t>(ip->c);
    DISPATCH();
  }
  NEXT();
}
#undef NEXT
#undef DISPATCH
#undef ENTER_CHUNK
#undef CONSTANT
#undef KEY
#undef PUSH
#undef LEAF
}

}  // namespace orvane
