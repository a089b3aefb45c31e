// The dispatch loop: one case per instruction. The generic rules call into the operators
// module; each specialisation tries its shortcut and otherwise applies the same generic rule.
#include "interpreter/builtins.hpp"
#include "interpreter/operators.hpp"
#include "interpreter/vm.hpp"

namespace orvane {

namespace {

// A range bound: Numbers as they are, Floats truncated and saturated, anything else invalid.
std::optional<int64_t> range_bound(const Value& v) {
  if (v.is(Value::Number) || v.is(Value::Float)) return as_integer(v);
  return std::nullopt;
}

// The element of a collection, for an index already evaluated.
Value element(const Value& target, const Value& index) {
  if (target.is(Value::Array) && index.is(Value::Number)) {
    const std::vector<Value>& items = target.as_array();
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
Value member(const Value& target, const MemberKey& key) {
  if (!target.is(Value::Dict)) return Value::null();
  const Value* found = target.as_dict().find(key.text, key.hash);
  return found ? *found : Value::null();
}

Value make_dict(const Chunk& chunk, const Instr& in, Value* values) {
  DictMap map;
  for (uint32_t i = 0; i < in.b; ++i) {
    const MemberKey& key = chunk.keys[in.a + i];
    map.insert(key.text, key.hash, std::move(values[i]));
  }
  return Value::dict(std::move(map));
}

Value make_range(const Value& start_value, const Value& end_value) {
  std::optional<int64_t> start = range_bound(start_value);
  std::optional<int64_t> end = range_bound(end_value);
  if (!start || !end) return Value::null();
  if (*start >= *end) return Value::array({});
  uint64_t count = static_cast<uint64_t>(*end) - static_cast<uint64_t>(*start);
  if (count > UINT64_MAX / sizeof(Value)) throw OutOfMemory{};
  check_allocation(count * sizeof(Value));
  std::vector<Value> items;
  items.reserve(count);
  for (int64_t i = *start; i < *end; ++i) items.push_back(Value::number(i));
  return Value::array(std::move(items));
}

// A comparison's truth by the generic rule (mixed kinds give Null, which is false).
bool compare(const Value& left, TokenKind op, const Value& right) {
  bool unused = false;
  if (left.is(Value::Number) && right.is(Value::Number))
    return operators::numbers(left.as_number(), op, right.as_number(), unused).as_boolean();
  if (left.is(Value::Float) && right.is(Value::Float))
    return operators::floats(left.as_float(), op, right.as_float()).as_boolean();
  return is_truthy(binary_op(left, op, right));
}

void clear(Value* from, Value* to) {
  for (; from < to; ++from) *from = Value();
}

}  // namespace

Value Interpreter::dispatch(const Instr* ip) {
  Value* sp = m_stack.data() + m_stack_top;
  const Chunk* chunk = m_frames.back().chunk;
  const Instr* code = chunk->code.data();
  const Value* constants = chunk->constants.data();
  const MemberKey* keys = chunk->keys.data();
  NameEntry* names = m_names.data();
  auto leaf = [&](uint32_t a) -> const Value& {
    return (a & LEAF_CONSTANT) ? constants[a & ~LEAF_CONSTANT] : names[a].value;
  };
  auto enter_chunk = [&](const Chunk& entered) {
    chunk = &entered;
    code = entered.code.data();
    constants = entered.constants.data();
    keys = entered.keys.data();
  };
  // Binary operators: Numbers and Floats inline, the rest by the generic rule.
  auto binary = [&](Value& target, Value left, TokenKind op, const Value& right) {
    bool divided_by_zero = false;
    if (left.is(Value::Number) && right.is(Value::Number))
      target = operators::numbers(left.as_number(), op, right.as_number(), divided_by_zero);
    else if (left.is(Value::Float) && right.is(Value::Float))
      target = operators::floats(left.as_float(), op, right.as_float());
    else
      target = binary_op(std::move(left), op, right, &divided_by_zero);
    if (divided_by_zero) report_division();
  };

  for (;;) {
    const Instr& in = *ip;
    TokenKind op = static_cast<TokenKind>(in.x);
    switch (in.op) {
      case Op::Const: *sp++ = constants[in.a]; break;
      case Op::Load: *sp++ = names[in.a].value; break;
      case Op::Store: {
        Value* slot = own_binding(in.a);
        if (slot)
          *slot = std::move(*--sp);
        else
          assign(in.a, std::move(*--sp));
        break;
      }
      case Op::Pop:
        clear(sp - in.b, sp);
        sp -= in.b;
        break;
      case Op::Binary: {
        Value right = std::move(*--sp);
        binary(sp[-1], std::move(sp[-1]), op, right);
        break;
      }
      case Op::Negate: sp[-1] = operators::negate(sp[-1]); break;
      case Op::Not: sp[-1] = operators::logical_not(sp[-1]); break;
      case Op::CallBuiltin: {
        Value* args = sp - in.b;
        Value result = call_builtin_at(static_cast<int>(in.a), std::span<Value>(args, in.b),
                                       m_graphics);
        clear(args, sp);
        sp = args;
        *sp++ = std::move(result);
        break;
      }
      case Op::Call: {
        Value* args = sp - in.b;
        const Value& callee = names[in.a].value;
        if (!callee.is(Value::Function)) {
          clear(args, sp);
          sp = args;
          *sp++ = Value();
          break;
        }
        const FunctionData& fn = *callee.as_function();
        ip = enter_call(fn, callee, args, in.b, ip + 1, false);
        clear(args, sp);
        sp = reserve(args, fn.chunk.max_stack + 1);
        enter_chunk(fn.chunk);
        continue;
      }
      case Op::MakeArray: {
        Value* items = sp - in.b;
        std::vector<Value> list(std::make_move_iterator(items), std::make_move_iterator(sp));
        sp = items;
        *sp++ = Value::array(std::move(list));
        break;
      }
      case Op::MakeDict: {
        Value* values = sp - in.b;
        Value dict = make_dict(*chunk, in, values);
        clear(values, sp);
        sp = values;
        *sp++ = std::move(dict);
        break;
      }
      case Op::Index: {
        Value index = std::move(*--sp);
        sp[-1] = element(sp[-1], index);
        break;
      }
      case Op::Range: {
        Value end = std::move(*--sp);
        sp[-1] = make_range(sp[-1], end);
        break;
      }
      case Op::Jump: ip = code + in.c; continue;
      case Op::JumpIfFalse: {
        Value condition = std::move(*--sp);
        if (!is_truthy(condition)) {
          ip = code + in.c;
          continue;
        }
        break;
      }
      case Op::CheckFlags:
        if (m_flags) {
          ip = code + in.c;
          continue;
        }
        break;
      case Op::Break: m_flags |= BREAK; break;
      case Op::Continue: m_flags |= CONTINUE; break;
      case Op::Return:
        m_pending = std::move(*--sp);
        m_flags |= PENDING;
        break;
      case Op::Global: declare_global(in.a); break;
      case Op::Define: assign(in.a, Value(constants[in.b])); break;
      case Op::Tick: tick(); break;
      case Op::LoopEnd:
        if (m_flags & (PENDING | BREAK)) {
          ip = code + in.c;
          continue;
        }
        m_flags &= static_cast<uint8_t>(~CONTINUE);
        ip = code + in.b;
        continue;
      case Op::ClearBreak: m_flags &= static_cast<uint8_t>(~BREAK); break;
      case Op::ForArray:
        if (!sp[-1].is(Value::Array)) {
          *--sp = Value();
          ip = code + in.c;
          continue;
        }
        *sp++ = Value::number(0);
        break;
      case Op::ForArrayNext: {
        const std::vector<Value>& items = sp[-2].as_array();
        uint64_t i = static_cast<uint64_t>(sp[-1].as_number());
        if (i >= items.size()) {
          ip = code + in.c;
          continue;
        }
        tick();
        if (Value* slot = own_binding(in.a))
          *slot = items[i];  // the binding from the previous round
        else
          assign(in.a, Value(items[i]));
        sp[-1].set_number(static_cast<int64_t>(i + 1));
        break;
      }
      case Op::ForRange: {
        std::optional<int64_t> start = range_bound(sp[-2]);
        std::optional<int64_t> end = range_bound(sp[-1]);
        if (!start || !end) {
          clear(sp - 2, sp);
          sp -= 2;
          ip = code + in.c;
          continue;
        }
        sp[-2] = Value::number(*start);
        sp[-1] = Value::number(*end);
        break;
      }
      case Op::ForRangeNext: {
        int64_t i = sp[-2].as_number();
        if (i >= sp[-1].as_number()) {
          ip = code + in.c;
          continue;
        }
        tick();
        if (Value* slot = own_binding(in.a))
          slot->set_number(i);
        else
          assign(in.a, Value::number(i));
        sp[-2].set_number(i + 1);
        break;
      }
      case Op::MatchTest: {
        Value pattern = std::move(*--sp);
        if (!operators::pattern_matches(sp[-1], pattern)) {
          ip = code + in.c;
          continue;
        }
        break;
      }
      case Op::Catch:
        if (!has_pending() || !m_pending.is(Value::Error)) {
          ip = code + in.c;
          continue;
        }
        catch_error(in.a);
        break;
      case Op::Leave: {
        Value result = has_pending() ? take_pending() : Value();
        Frame& frame = m_frames.back();
        const Instr* resume = frame.resume;
        bool native = frame.native;
        pop_frame(frame.shadowed_start);
        m_frames.pop_back();
        if (native) {
          m_stack_top = static_cast<size_t>(sp - m_stack.data());
          return result;
        }
        enter_chunk(*m_frames.back().chunk);
        ip = resume;
        *sp++ = std::move(result);
        continue;
      }
      case Op::Halt:
        m_frames.pop_back();
        m_stack_top = static_cast<size_t>(sp - m_stack.data());
        return Value();
      case Op::BinaryLL: {
        const Value& left = leaf(in.a);
        const Value& right = leaf(in.b);
        binary(*sp, left, op, right);
        ++sp;
        break;
      }
      case Op::BinarySL: binary(sp[-1], std::move(sp[-1]), op, leaf(in.b)); break;
      case Op::CompareJumpLL:
        if (!compare(leaf(in.a), op, leaf(in.b))) {
          ip = code + in.c;
          continue;
        }
        break;
      case Op::CompareJumpSL: {
        Value left = std::move(*--sp);
        if (!compare(left, op, leaf(in.b))) {
          ip = code + in.c;
          continue;
        }
        break;
      }
      case Op::CompareJumpSS: {
        Value right = std::move(*--sp);
        Value left = std::move(*--sp);
        if (!compare(left, op, right)) {
          ip = code + in.c;
          continue;
        }
        break;
      }
      case Op::UpdateL: {
        const Value& right = leaf(in.b);
        Value* slot = own_binding(in.a);
        if (slot && slot->is(Value::Number) && right.is(Value::Number)) {
          bool divided_by_zero = false;
          slot->set_number(
              operators::numbers(slot->as_number(), op, right.as_number(), divided_by_zero)
                  .as_number());
          if (divided_by_zero) report_division();
        } else if (slot && slot->is(Value::Float) && right.is(Value::Float)) {
          slot->set_real(operators::floats(slot->as_float(), op, right.as_float()).as_float());
        } else {
          update(in.a, op, right);
        }
        break;
      }
      case Op::Append: {
        Value* values = sp - in.b - 1;
        append(in.a, values, in.b);
        clear(values, sp);
        sp = values;
        break;
      }
      case Op::BuiltinUpdate: {
        Value* args = sp - in.b;
        Value result = builtin_update(in.a, static_cast<int>(in.c), args, in.b);
        clear(args, sp);
        sp = args;
        assign(in.a, std::move(result));
        break;
      }
      case Op::Member: sp[-1] = member(sp[-1], keys[in.a]); break;
      case Op::MemberName: *sp++ = member(names[in.a].value, keys[in.b]); break;
      case Op::IndexLL: *sp++ = element(names[in.a].value, leaf(in.b)); break;
    }
    ++ip;
  }
}

}  // namespace orvane
