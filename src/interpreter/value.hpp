// Run-time values. A Value is a 16-byte tag and payload word; strings, arrays, dicts, functions,
// errors and the larger shapes live behind an intrusive, non-atomic reference count. Payloads are
// immutable while shared, so sharing is observably the same as the deep copy the language
// promises; a payload changes in place only when its count is one.
#pragma once

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cstring>
#include <memory>
#include <new>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace orvane {

struct FunctionData;  // a lowered function (interpreter/code.hpp)

struct RectShape {
  int32_t x, y;
  uint32_t w, h;
};
struct CircleShape {
  int32_t x, y;
  uint32_t r;
};
struct TriangleShape {
  int32_t x1, y1, x2, y2, x3, y3;
};
struct ColorRGB {
  uint8_t r, g, b;
};

// Float equality everywhere means an absolute difference below this (2^-52).
inline constexpr double FLOAT_TOLERANCE = 2.220446049250313e-16;

struct HeapObject {
  uint32_t refs = 1;
  // Free for the payload's own use: a string keeps here what it knows of its characters.
  uint32_t spare = 0;
};

class DictMap;
struct StringObject;
struct ArrayObject;
struct DictObject;
struct FunctionObject;

class Value {
 public:
  // The kinds held in the value itself come first, so that one comparison tells the others.
  enum Kind : uint8_t {
    Number,
    Float,
    Boolean,
    Color,
    Null,
    String,  // the first kind with a payload behind a reference count
    Error,
    Array,
    Dict,
    Function,
    Rect,
    Circle,
    Triangle
  };

  Value() : m_kind(Null) { m_payload = 0; }
  ~Value() {
    if (is_heap()) release();
  }
  Value(const Value& other) : m_kind(other.m_kind), m_payload(other.m_payload) {
    if (is_heap()) ++heap()->refs;
  }
  Value(Value&& other) noexcept : m_kind(other.m_kind), m_payload(other.m_payload) {
    other.m_kind = Null;
  }
  // Both assignments take hold of the new payload before letting go of the old one, which
  // may own the source (`v = element of v`).
  Value& operator=(const Value& other) {
    if (other.is_heap()) ++other.heap()->refs;
    if (is_heap()) release();
    m_kind = other.m_kind;
    m_payload = other.m_payload;
    return *this;
  }
  Value& operator=(Value&& other) noexcept {
    Kind kind = other.m_kind;
    Payload payload = other.m_payload;
    other.m_kind = Null;
    if (is_heap()) release();
    m_kind = kind;
    m_payload = payload;
    return *this;
  }
  void swap(Value& other) noexcept {
    std::swap(m_kind, other.m_kind);
    std::swap(m_payload, other.m_payload);
  }

  // Makes the value Null, letting go of any payload.
  void clear() {
    if (is_heap()) release();
    m_kind = Null;
  }
  // Replace the value in place with a Number or a Float, letting go of any payload.
  void set_number(int64_t v) {
    if (is_heap()) release();
    m_kind = Number;
    m_payload = static_cast<uint64_t>(v);
  }
  // For a value known to be a Number (a loop's counter): a new number, with no check.
  void renumber(int64_t v) { m_payload = static_cast<uint64_t>(v); }
  void set_real(double v) {
    if (is_heap()) release();
    m_kind = Float;
    m_payload = std::bit_cast<uint64_t>(v);
  }

  static Value number(int64_t v) { return Value(Number, v); }
  static Value real(double v) {
    Value r(Float, 0);
    r.m_payload = std::bit_cast<uint64_t>(v);
    return r;
  }
  static Value boolean(bool v) { return Value(Boolean, v ? 1 : 0); }
  static Value null() { return Value(); }
  static Value string(std::string text);
  static Value array(std::vector<Value> items);
  // An array of `count` values moved from `items`.
  static Value array(Value* items, size_t count);
  // An empty array with room for `capacity` elements.
  static Value empty_array(size_t capacity);
  // The array of the `count` Numbers counting up from `start`.
  static Value counting(int64_t start, size_t count);
  static Value dict(DictMap map);
  // A dict with the layout and values of `model`, then values[i] moved into entry entries[i].
  static Value dict(const DictMap& model, std::span<const uint32_t> entries, Value* values);
  static Value function(std::shared_ptr<const FunctionData> fn);
  static Value rect(RectShape r);
  static Value circle(CircleShape c);
  static Value triangle(TriangleShape t);
  static Value color(ColorRGB c);
  static Value error(std::string message);

  Kind kind() const { return m_kind; }
  bool is(Kind k) const { return m_kind == k; }

  int64_t as_number() const { return static_cast<int64_t>(m_payload); }
  double as_float() const { return std::bit_cast<double>(m_payload); }
  bool as_boolean() const { return m_payload != 0; }
  ColorRGB as_color() const {
    return {static_cast<uint8_t>(m_payload), static_cast<uint8_t>(m_payload >> 8),
            static_cast<uint8_t>(m_payload >> 16)};
  }
  const std::string& as_string() const;  // String and Error
  std::span<const Value> as_array() const;
  const DictMap& as_dict() const;
  const std::shared_ptr<const FunctionData>& as_function() const;
  const RectShape& as_rect() const;
  const CircleShape& as_circle() const;
  const TriangleShape& as_triangle() const;

  // True when nobody else shares this value's payload, so it may be changed in place.
  bool is_unique() const { return !is_heap() || heap()->refs == 1; }
  // Whether a String's text is all ASCII, so that characters and bytes coincide. Worked out on
  // the first call and kept with the text.
  bool is_ascii() const;
  // The byte offset at which character `index` of a String starts, or the text's length when
  // it has no such character. The last answer is remembered, so reading a text character by
  // character walks it once rather than from the start every time.
  size_t character_offset(uint64_t index) const;
  // Writable access for uniquely owned payloads; copies the payload first when shared.
  std::string& mutable_string();
  std::span<Value> mutable_array();
  // Appends to an Array, in place when nobody else holds it; see append_in_place.
  void append(Value&& item);
  // Whether append() would write in place, with no new block.
  bool has_room_to_append() const;
  // append() for an Array that has room to append.
  void append_within_room(Value&& item);
  // For an Array that has no room to append: moves it to a block of its own with room for
  // `capacity` elements, or for more when that is too few.
  void make_room_to_append(size_t capacity);

  // The elements an Array has room for before its block must grow.
  size_t array_capacity() const;

  // The identity of the shared payload, for "is this still the same object" checks.
  const void* payload_identity() const { return is_heap() ? heap() : nullptr; }

 private:
  Value(Kind k, int64_t i) : m_kind(k) { m_payload = static_cast<uint64_t>(i); }
  bool is_heap() const { return m_kind >= String; }
  void release() {
    if (--heap()->refs == 0) destroy(m_kind, heap());
  }
  // Frees the payload of a `kind` whose last reference has gone. Never allocates, never throws.
  // It is given the payload rather than the value, so that a temporary value never has its
  // address taken and the compiler can keep it in registers.
  static void destroy(Kind kind, HeapObject* payload) noexcept;
  // Gives an Array a payload of its own with room for `capacity` elements, copying the
  // elements when the payload is shared and moving the block otherwise.
  void make_room(size_t capacity);

  // The payload is one word whatever the kind: a Number, a Float's bits, a Color's bytes or the
  // address of a HeapObject. A word rather than a union, so that the compiler keeps a
  // temporary value in registers rather than in memory.
  using Payload = uint64_t;
  HeapObject* heap() const { return reinterpret_cast<HeapObject*>(m_payload); }
  void set_heap(const HeapObject* p) { m_payload = reinterpret_cast<uint64_t>(p); }
  Kind m_kind;
  Payload m_payload;
};

// The keys of a dict and where each one's value lives: a string-keyed hash table with
// per-process seeded hashing, shared by every dict made from one literal. Keys are never
// removed, so plain linear probing suffices. Each layout has an identity of its own, never
// reused, so a cache keyed on it cannot mistake a new layout for an old one at the same address.
struct DictLayout {
  struct Slot {
    std::string key;
    uint64_t hash = 0;
    uint32_t entry = 0;  // the index of the key's value
    bool used = false;
  };
  uint32_t refs = 1;
  uint64_t identity;
  std::vector<Slot> slots;
  size_t count = 0;

  DictLayout();
  DictLayout(const DictLayout& other);
  // The slot holding `key`, or SIZE_MAX.
  size_t find(std::string_view key, uint64_t h) const;
  // The entry of `key`, added as the next entry when absent; the table may grow.
  uint32_t entry_of(std::string_view key, uint64_t h);
  void grow();
};

// A dict: its layout, shared while nobody adds a key, and its values in entry order.
// Iteration follows the table's slots: an order that has nothing to do with insertion and
// differs from run to run.
class DictMap {
 public:
  DictMap() = default;
  DictMap(const DictMap& other) : m_layout(other.m_layout), m_values(other.m_values) {
    if (m_layout) ++m_layout->refs;
  }
  DictMap(DictMap&& other) noexcept
      : m_layout(std::exchange(other.m_layout, nullptr)), m_values(std::move(other.m_values)) {}
  DictMap& operator=(DictMap other) noexcept {
    std::swap(m_layout, other.m_layout);
    m_values.swap(other.m_values);
    return *this;
  }
  ~DictMap() { drop_layout(); }

  static uint64_t hash(std::string_view key);

  size_t size() const { return m_values.size(); }
  const Value* find(std::string_view key) const { return find(key, hash(key)); }
  const Value* find(std::string_view key, uint64_t h) const {
    if (!m_layout) return nullptr;
    size_t slot = m_layout->find(key, h);
    return slot == SIZE_MAX ? nullptr : &m_values[m_layout->slots[slot].entry];
  }
  // Inserts or replaces.
  void insert(std::string_view key, Value value) { insert(key, hash(key), std::move(value)); }
  void insert(std::string_view key, uint64_t h, Value value);
  // The entry of `key`, inserting it with a Null value when absent. A copy of the map keeps its
  // layout, so values can then be put straight into a copy's entries.
  uint32_t entry_of(std::string_view key, uint64_t h);
  void set_at(uint32_t entry, Value value) { m_values[entry] = std::move(value); }
  // Becomes a copy of `model`, in the room this map's values had.
  void copy_from(const DictMap& model) {
    if (model.m_layout) ++model.m_layout->refs;
    drop_layout();
    m_layout = model.m_layout;
    m_values.assign(model.m_values.begin(), model.m_values.end());
  }
  // Becomes empty, keeping the room its values had.
  void empty_out() noexcept {
    drop_layout();
    m_values.clear();
  }
  size_t room() const { return m_values.capacity(); }
  // What a member cache keys on, and the value it then reads.
  uint64_t layout_identity() const { return m_layout ? m_layout->identity : 0; }
  const Value& value_of_entry(uint32_t entry) const { return m_values[entry]; }
  uint32_t entry_at_slot(size_t slot) const { return m_layout->slots[slot].entry; }
  size_t find_slot(std::string_view key, uint64_t h) const {
    return m_layout ? m_layout->find(key, h) : SIZE_MAX;
  }

  template <class F>
  void for_each(F&& f) const {
    for (size_t i = next_position(0); i < end_position(); i = next_position(i + 1))
      f(key_at(i), value_at(i));
  }

  // A walk in the same order as for_each, one entry at a time: the first entry at or after
  // position `i`, or end_position() when there is none.
  size_t next_position(size_t i) const {
    while (i < end_position() && !m_layout->slots[i].used) ++i;
    return i;
  }
  size_t end_position() const { return m_layout ? m_layout->slots.size() : 0; }
  std::string_view key_at(size_t i) const { return m_layout->slots[i].key; }
  const Value& value_at(size_t i) const { return m_values[m_layout->slots[i].entry]; }

 private:
  void drop_layout() noexcept {
    if (m_layout && --m_layout->refs == 0) delete m_layout;
    m_layout = nullptr;
  }
  // The layout, made or copied first so that this map alone holds it.
  DictLayout& own_layout();

  DictLayout* m_layout = nullptr;
  std::vector<Value> m_values;
};

struct StringObject : HeapObject {
  std::string text;
};
// An array's elements follow its header in one block, which grows by reallocation: a Value
// holds nothing that points into itself, so it may move by its bytes.
struct ArrayObject : HeapObject {
  size_t size = 0;
  size_t capacity = 0;
  Value* items() { return reinterpret_cast<Value*>(this + 1); }
  const Value* items() const { return reinterpret_cast<const Value*>(this + 1); }
};
static_assert(sizeof(ArrayObject) % alignof(Value) == 0);
struct DictObject : HeapObject {
  DictMap map;
};
struct FunctionObject : HeapObject {
  std::shared_ptr<const FunctionData> fn;
};
template <class T>
struct BoxObject : HeapObject {
  T shape;
};

// Keys are short: compared in place, a few overlapping words at a time, rather than through a
// library call.
inline bool same_text(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  size_t n = a.size();
  const char* p = a.data();
  const char* q = b.data();
  auto word = [](const char* at, auto bytes) {
    decltype(bytes) w;
    std::memcpy(&w, at, sizeof w);
    return w;
  };
  if (n >= 8) {
    for (size_t i = 0; i + 8 < n; i += 8)
      if (word(p + i, uint64_t{}) != word(q + i, uint64_t{})) return false;
    return word(p + n - 8, uint64_t{}) == word(q + n - 8, uint64_t{});
  }
  if (n >= 4)
    return word(p, uint32_t{}) == word(q, uint32_t{}) &&
           word(p + n - 4, uint32_t{}) == word(q + n - 4, uint32_t{});
  for (size_t i = 0; i < n; ++i)
    if (p[i] != q[i]) return false;
  return true;
}

inline size_t DictLayout::find(std::string_view key, uint64_t h) const {
  if (slots.empty()) return SIZE_MAX;
  size_t mask = slots.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    const Slot& s = slots[i];
    if (!s.used) return SIZE_MAX;
    if (s.hash == h && same_text(s.key, key)) return i;
  }
}

// Payload accessors, here so that they inline where values are read.
inline const std::string& Value::as_string() const {
  return static_cast<StringObject*>(heap())->text;
}
inline std::span<const Value> Value::as_array() const {
  const auto* o = static_cast<const ArrayObject*>(heap());
  return {o->items(), o->size};
}
inline size_t Value::array_capacity() const {
  return static_cast<const ArrayObject*>(heap())->capacity;
}
inline std::span<Value> Value::mutable_array() {
  auto* o = static_cast<ArrayObject*>(heap());
  if (o->refs != 1) make_room(o->size);
  o = static_cast<ArrayObject*>(heap());
  return {o->items(), o->size};
}
inline const DictMap& Value::as_dict() const { return static_cast<DictObject*>(heap())->map; }
inline const std::shared_ptr<const FunctionData>& Value::as_function() const {
  return static_cast<FunctionObject*>(heap())->fn;
}
inline const RectShape& Value::as_rect() const {
  return static_cast<BoxObject<RectShape>*>(heap())->shape;
}
inline const CircleShape& Value::as_circle() const {
  return static_cast<BoxObject<CircleShape>*>(heap())->shape;
}
inline const TriangleShape& Value::as_triangle() const {
  return static_cast<BoxObject<TriangleShape>*>(heap())->shape;
}

// The byte offset `count` characters after `pos` (a character start in valid UTF-8), or the
// end of the text.
size_t skip_characters(std::string_view text, size_t pos, uint64_t count);

// The text form in which print shows a value.
std::string display(const Value& v);
void append_display(std::string& out, const Value& v);
// Shortest round-trip digits laid out in full positional notation.
void append_float(std::string& out, double d);
std::string_view type_name(const Value& v);
bool is_truthy(const Value& v);

// Thrown where an allocation cannot be made (a huge range or string).
struct OutOfMemory {};
// Replaces the limit taken from the environment by a fixed one (the fuzz target and tests lower
// it); 0 goes back to the environment's.
void set_allocation_limit(uint64_t bytes);
// The limit in force, in bytes.
uint64_t allocation_limit();
// Call before making or growing a block whose size the script decides (a range, a split, a join,
// an append in place), with the size in bytes of the whole block after growing. Throws
// OutOfMemory, before anything changes, when the block would exceed the memory the environment
// allows (address-space and data limits, the control group, physical memory) or, for a large
// block, would not fit beside what the process already holds. An allocation that still fails
// throws std::bad_alloc, which the run reports the same way.
void check_allocation_against_limits(uint64_t bytes);
// Sizes up to this fit under every limit without a closer look; 0 until the first check.
inline uint64_t g_always_fits = 0;
inline void check_allocation(uint64_t bytes) {
  if (bytes > g_always_fits) check_allocation_against_limits(bytes);
}
// The room an Array gets when it must grow past `size` elements. Doubling keeps the moves few
// while an array is built element by element: 6, 14, 30, 62 and so on, which with the header
// make blocks the allocator serves best (128, 256, 512 bytes and so on, its own header
// included). Past 1,022 elements an array grows by half, so that a large one leaves at most a
// third of its block unused; large blocks grow by remapping their pages rather than by copying.
inline constexpr size_t LAST_DOUBLED_CAPACITY = 1022;
inline size_t grown_capacity(size_t size) {
  static_assert(sizeof(ArrayObject) == 24, "the block sizes allow for this header");
  if (size >= LAST_DOUBLED_CAPACITY) return size + size / 2;
  return std::max<size_t>(6, std::bit_ceil(size + 3) - 2);
}
// The room one step down those that growing gives.
inline size_t smaller_capacity(size_t capacity) { return capacity >= 14 ? capacity / 2 - 1 : 0; }
// Appends `item` to the Array `array`, in place when nobody else holds it. A refused append
// changes nothing.
inline void append_in_place(Value& array, Value&& item) { array.append(std::move(item)); }

inline bool Value::has_room_to_append() const {
  const auto* o = static_cast<const ArrayObject*>(heap());
  return o->refs == 1 && o->size < o->capacity;
}

// A shared array is copied into a block with room to grow; a unique one grows only when full.
// Either way the block it moves to is weighed first.
inline void Value::make_room_to_append(size_t capacity) {
  capacity = std::max(capacity, grown_capacity(static_cast<ArrayObject*>(heap())->size));
  check_allocation(uint64_t{capacity} * sizeof(Value));
  make_room(capacity);
}

inline void Value::append_within_room(Value&& item) {
  auto* o = static_cast<ArrayObject*>(heap());
  new (o->items() + o->size) Value(std::move(item));
  ++o->size;
}

inline void Value::append(Value&& item) {
  if (!has_room_to_append()) make_room_to_append(0);
  append_within_room(std::move(item));
}

}  // namespace orvane
