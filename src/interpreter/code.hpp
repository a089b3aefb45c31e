// Lowered code: what the lowering pass produces and the virtual machine runs. A chunk is a list
// of instructions for a stack machine, with the constants and member keys they refer to.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "interpreter/value.hpp"
#include "support/intern.hpp"

namespace orvane {

enum class Op : uint8_t {
  // The generic rules, one per construct.
  Const,   // push constants[a]
  Load,    // push the binding of name a
  Store,   // pop into name a
  Pop,     // drop b values
  Binary,  // pop right and left, push left (op x) right
  Negate,
  Not,
  CallBuiltin,  // builtin a on the top b values
  Call,         // user function bound to name a on the top b values
  MakeArray,    // from the top b values
  MakeDict,     // a copy of dicts[a] with the top b values put in its slots
  Index,        // pop index and target
  Range,        // pop end and start, push the array
  Jump,         // to c
  JumpIfFalse,  // pop; to c when not truthy
  CheckFlags,   // to c when a return is pending or a break or continue flag is set
  Break,
  Continue,
  Return,   // pop into the pending return value
  Global,   // name a assigns to its global binding from now on
  Define,   // bind name a to the function constants[b]
  Tick,     // a loop round: step budget and stop requests
  LoopEnd,  // after a loop body: to c when it must stop, else to b
  ClearBreak,
  ForArray,      // top is the iterable; not an array: pop it and go to c; else push a counter
  ForArrayNext,  // next element into name a, or to c when done
  ForRange,      // pop end and start; invalid bounds: to c; else push the counter and the end
  ForRangeNext,  // next number into name a, or to c when done
  MatchTest,     // pop a pattern; to c unless it matches the subject below it
  Catch,         // a pending error goes into name a as text; otherwise to c
  Leave,         // end of a function body: its result goes to the caller
  Halt,          // end of top-level code
  // Specialisations chosen by the lowering pass; each falls back to the generic rule.
  BinaryLL,           // push leaf a (op x) leaf b
  BinarySL,           // pop left, push left (op x) leaf b
  CompareJumpLL,      // to c unless leaf a (op x) leaf b
  CompareJumpSL,      // pop left; to c unless left (op x) leaf b
  CompareJumpSS,      // pop right and left; to c unless left (op x) right
  UpdateL,            // name a = name a (op x) leaf b, in place
  AddConstant,        // name a = name a (op x) constants[b], a Number, by adding c, a signed
                      // 32-bit step
  Append,             // name a = top b+1 values joined by +, the first being name a's value
  BuiltinUpdate,      // name a = builtin c on the top b values, the first being name a's value
  Push,               // name a = push(name a, popped value), appending in place
  Member,             // pop a dict, push its entry keys[a]
  MemberName,         // push the entry keys[b] of the dict bound to name a
  IndexLL,            // push name a [leaf b], read in place
  IndexName,          // replace the top with name a [top], read in place
  WhileLoop,          // LoopEnd whose head b is a Tick, entered without a dispatch
  ForRangeLoop,       // LoopEnd whose head b is a ForRangeNext, entered without a dispatch
  ForArrayLoop,       // LoopEnd whose head b is a ForArrayNext, entered without a dispatch
  BinaryLS,           // pop right, push leaf b (op x) right
  BinaryLLTo,         // name c = leaf a (op x) leaf b
  BinarySLTo,         // name c = popped (op x) leaf b
  BinaryLSTo,         // name c = leaf b (op x) popped
  BinaryTo,           // name c = popped left (op x) popped right
  StoreLeaf,          // name a = leaf b
  MatchLeaf,          // to c unless leaf b matches the subject on top
  PushLeaf,           // name a = push(name a, leaf b), appending in place
  PushIndex,          // name a = push(name a, name b [leaf c]), appending in place
  ReturnLeave,        // end the call with the top as its result, dropping the b - 1 values below
                      // it; clears the break flag when x is 1
  BinarySI,           // pop left, push left (op x) name a [leaf b]
  IndexLLTo,          // name c = name a [leaf b]
  IndexNameTo,        // name c = name a [popped]
  MemberNameTo,       // name c = the entry keys[b] of the dict bound to name a
  ReturnLeaf,         // ReturnLeave with leaf a as the result, the b values below it dropped
  PushIndexName,      // name a = push(name a, name b [popped]), appending in place
  BinarySM,           // pop left, push left (op x) the entry keys[b] of the dict bound to name a
  MatchTable,         // on to the arm of tables[a] that the subject on top matches
  AddConstantLoop,    // AddConstant, then on into the loop end that follows
  CallLeaves,         // Call of name a on x leaves, b and then c (c is b when x is 1)
  CallBuiltinLeaves,  // builtin a, which only reads its arguments, on x leaves b and c, read
                      // where they are (c is b when x is 1)
  // The same loop ends for loops that start with the flags clear and hold nothing that could set
  // one: they go on into their head without looking at the flags.
  WhileLoopUnflagged,
  ForRangeLoopUnflagged,
  ForArrayLoopUnflagged,
  LengthLeaf,  // push len(leaf b), an array's size read in place
  // A test of `p or q or ...`, comparisons of leaves, which is true when one is true and none
  // is Null: leaf a (op x) leaf b is one of them, whose comparison's bit is the low byte of
  // bits. To c when it is Null, on to the next when it is false (the next must tell), and
  // on by the high byte of bits when it is true (the others must be no Null).
  OrTestLL,
  NullJumpLL,      // to c when leaf a (op x) leaf b is Null
  JumpUnlessLeaf,  // to c unless leaf b is truthy (x 0) or unless it is not (x 1, for `not b`)
  JumpIfTrue,      // pop; to c when truthy (for `not ...`)
};

// Whether an instruction's b is a jump target, and whether its c is one: a loop end's b is the
// loop's head and its c the way out. In finished code a target is counted from the instruction
// itself, as a signed 32-bit offset, so that the machine needs no pointer to the start of the
// code.
constexpr bool jumps_by_b(Op op) {
  return op == Op::LoopEnd || op == Op::WhileLoop || op == Op::ForRangeLoop ||
         op == Op::ForArrayLoop || op == Op::WhileLoopUnflagged ||
         op == Op::ForRangeLoopUnflagged || op == Op::ForArrayLoopUnflagged;
}
constexpr bool jumps_by_c(Op op) {
  switch (op) {
    case Op::Jump:
    case Op::JumpIfFalse:
    case Op::CheckFlags:
    case Op::ForArray:
    case Op::ForArrayNext:
    case Op::ForRange:
    case Op::ForRangeNext:
    case Op::MatchTest:
    case Op::Catch:
    case Op::CompareJumpLL:
    case Op::CompareJumpSL:
    case Op::CompareJumpSS:
    case Op::MatchLeaf:
    case Op::OrTestLL:
    case Op::NullJumpLL:
    case Op::JumpUnlessLeaf:
    case Op::JumpIfTrue:
      return true;
    default:
      return jumps_by_b(op);
  }
}

// Which of an instruction's fields a, b and c name a variable (as bits 1, 2 and 4): `read`
// names one that is read, `leaf` a leaf operand (a variable, or a constant's cell), `written`
// one that is assigned.
struct NameFields {
  uint8_t read = 0, leaf = 0, written = 0;
};
inline constexpr uint8_t FIELD_A = 1, FIELD_B = 2, FIELD_C = 4;
constexpr NameFields name_fields(Op op) {
  switch (op) {
    case Op::Load:
    case Op::Call:
    case Op::MemberName:
    case Op::IndexName:
    case Op::BinarySM:
      return {FIELD_A, 0, 0};
    case Op::Store:
    case Op::Global:
    case Op::Define:
    case Op::ForArrayNext:
    case Op::ForRangeNext:
    case Op::Catch:
    case Op::AddConstant:
    case Op::Append:
    case Op::BuiltinUpdate:
    case Op::Push:
    case Op::AddConstantLoop:
      return {0, 0, FIELD_A};
    case Op::BinaryLL:
    case Op::CompareJumpLL:
    case Op::OrTestLL:
    case Op::NullJumpLL:
      return {0, FIELD_A | FIELD_B, 0};
    case Op::BinarySL:
    case Op::CompareJumpSL:
    case Op::BinaryLS:
    case Op::MatchLeaf:
    case Op::LengthLeaf:
    case Op::JumpUnlessLeaf:
      return {0, FIELD_B, 0};
    case Op::UpdateL:
    case Op::StoreLeaf:
    case Op::PushLeaf:
      return {0, FIELD_B, FIELD_A};
    case Op::IndexLL:
    case Op::BinarySI:
      return {FIELD_A, FIELD_B, 0};
    case Op::CallLeaves:
      return {FIELD_A, FIELD_B | FIELD_C, 0};
    case Op::CallBuiltinLeaves:
      return {0, FIELD_B | FIELD_C, 0};
    case Op::BinaryLLTo:
      return {0, FIELD_A | FIELD_B, FIELD_C};
    case Op::BinarySLTo:
    case Op::BinaryLSTo:
      return {0, FIELD_B, FIELD_C};
    case Op::BinaryTo:
      return {0, 0, FIELD_C};
    case Op::PushIndex:
      return {FIELD_B, FIELD_C, FIELD_A};
    case Op::IndexLLTo:
      return {FIELD_A, FIELD_B, FIELD_C};
    case Op::IndexNameTo:
    case Op::MemberNameTo:
      return {FIELD_A, 0, FIELD_C};
    case Op::ReturnLeaf:
      return {0, FIELD_A, 0};
    case Op::PushIndexName:
      return {FIELD_B, 0, FIELD_A};
    case Op::Const:
    case Op::Pop:
    case Op::Binary:
    case Op::Negate:
    case Op::Not:
    case Op::CallBuiltin:
    case Op::MakeArray:
    case Op::MakeDict:
    case Op::Index:
    case Op::Range:
    case Op::Jump:
    case Op::JumpIfFalse:
    case Op::CheckFlags:
    case Op::Break:
    case Op::Continue:
    case Op::Return:
    case Op::Tick:
    case Op::LoopEnd:
    case Op::ClearBreak:
    case Op::ForArray:
    case Op::ForRange:
    case Op::MatchTest:
    case Op::Leave:
    case Op::Halt:
    case Op::CompareJumpSS:
    case Op::Member:
    case Op::WhileLoop:
    case Op::ForRangeLoop:
    case Op::ForArrayLoop:
    case Op::WhileLoopUnflagged:
    case Op::ForRangeLoopUnflagged:
    case Op::ForArrayLoopUnflagged:
    case Op::ReturnLeave:
    case Op::MatchTable:
    case Op::JumpIfTrue:
      return {};
  }
  return {};
}

struct Instr {
  Op op;
  uint8_t x = 0;      // an operator's TokenKind
  uint16_t bits = 0;  // a comparison's operators::ComparisonBit, or a push's site
  uint32_t a = 0, b = 0, c = 0;
};

// A member key with its dict hash, computed once, and the entry it was last found at in a dict
// of the layout identified by `layout`: dicts made by one literal share a layout, so a read in a
// loop finds its entry without probing.
struct MemberKey {
  std::string text;
  uint64_t hash;
  mutable uint64_t layout = 0;
  mutable uint32_t entry = 0;
};

// A dict literal's keys laid out once: every dict it makes starts as a copy of `map`, sharing
// its layout, and its i-th value goes to `entries[i]` (a key written twice has one entry; the
// later value wins).
struct DictShape {
  DictMap map;
  std::vector<uint32_t> entries;
};

// A `match` whose patterns are Number, String or Boolean literals: the arms in order, each with
// the offset of its body from the instruction that searches them, and where a subject that
// matches none goes. Each arm keeps its pattern's kind and a key to compare first: a Number
// itself, a Boolean as 0 or 1, a String's first eight bytes.
struct MatchTable {
  struct Arm {
    Value pattern;
    int32_t offset;
    Value::Kind kind;
    uint64_t key;
  };
  std::vector<Arm> arms;
  int32_t otherwise = 0;
};

// The key of a match table's arm for a pattern, or for a subject, of one of its kinds.
inline uint64_t match_key(const Value& v) {
  if (v.is(Value::Number)) return static_cast<uint64_t>(v.as_number());
  if (v.is(Value::Boolean)) return v.as_boolean();
  std::string_view text = v.as_string();
  uint64_t key = 0;
  std::memcpy(&key, text.data(), std::min<size_t>(text.size(), sizeof key));
  return key;
}

// What an `x = push(x, v)` site learnt of the arrays it builds: the room to make when it starts
// one, and how many it started.
struct PushSite {
  uint32_t room = 0;
  uint32_t starts = 0;
};

// A name that no text interns to, holding constants[constant] of its chunk while the chunk may
// run, so that a leaf operand is read the same way whether it is a variable or a literal.
// Nothing assigns it.
struct ConstantCell {
  NameId cell;
  uint32_t constant;
};

struct Chunk {
  std::vector<Instr> code;
  std::vector<Value> constants;
  std::vector<ConstantCell> constant_cells;
  std::vector<MemberKey> keys;
  std::vector<DictShape> dicts;
  std::vector<MatchTable> tables;
  // Per `x = push(x, v)` site, numbered from 1 by the instruction's bits: the room it makes
  // for the arrays it starts, learnt from those it built before.
  mutable std::vector<PushSite> push_sites;
  // The site that started an array last: one built by several sites in turn grows at a later
  // site, and the room it needed is learnt by the site that started it as well.
  mutable uint16_t last_start = 0;
  uint32_t max_stack = 0;  // values this code pushes at most at once
  // Where a call or a top-level run starts when it finds a break, continue or return flag set;
  // 0 when the code makes no assumption about the flags.
  uint32_t flagged_entry = 0;
};

// A function that calls no user function keeps the variables it assigns in cells of its own:
// names that no other code refers to. While it runs no other user code runs, so nothing could
// see its bindings, and a call needs to displace nothing. `code` is the chunk's code with each such
// name replaced by its cell; `names[i]` is the variable of `cell(i)`, the parameters first, in
// order. The cells are numbered in a row from `first_cell`.
struct LeafCells {
  std::vector<Instr> code;
  std::vector<NameId> names;
  NameId first_cell = 0;
  NameId cell(size_t i) const { return first_cell + static_cast<NameId>(i); }
  bool is_cell(uint32_t name) const { return name - first_cell < names.size(); }
  // Whether calls may use the cells (none of the names is declared global), as last worked out
  // when `declared` names in all were declared global.
  mutable uint32_t declared = UINT32_MAX;
  mutable bool usable = false;
};

// A lowered function, shared by every function value made from its definition, so that a value
// outlives the program text that defined it.
struct FunctionData {
  std::vector<NameId> params;
  Chunk chunk;
  std::unique_ptr<const LeafCells> leaf;  // for a function that calls none
};

}  // namespace orvane
