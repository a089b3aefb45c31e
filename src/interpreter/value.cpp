#include "interpreter/value.hpp"

#include <sys/random.h>

#include <atomic>
#include <bit>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "support/memory.hpp"

namespace orvane {

namespace {

template <class T>
T* make_object() {
  return new T();
}

uint64_t process_seed() {
  static const uint64_t seed = [] {
    uint64_t s = 0;
    if (getrandom(&s, sizeof s, 0) != static_cast<ssize_t>(sizeof s))
      s = reinterpret_cast<uintptr_t>(&s) ^ 0x9E3779B97F4A7C15ull;
    return s | 1;
  }();
  return seed;
}

uint64_t mix(uint64_t h) {
  h ^= h >> 33;
  h *= 0xff51afd7ed558ccdull;
  h ^= h >> 33;
  h *= 0xc4ceb9fe1a85ec53ull;
  h ^= h >> 33;
  return h;
}

}  // namespace

namespace {

size_t block_bytes(size_t capacity) { return sizeof(ArrayObject) + capacity * sizeof(Value); }

// A payload that went (a dead collection waiting to be freed, or a spare object) is free to
// hold in its count the link to the next one of its list.
static_assert(sizeof(HeapObject) >= sizeof(HeapObject*));
void set_next_dead(HeapObject* dead, HeapObject* next) noexcept {
  std::memcpy(static_cast<void*>(dead), &next, sizeof next);
}
HeapObject* next_dead(const HeapObject* dead) noexcept {
  HeapObject* next;
  std::memcpy(&next, static_cast<const void*>(dead), sizeof next);
  return next;
}

// Whether payloads that go are kept for reuse. A sanitizer build keeps none, so that it sees
// every block's use.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool KEEP_SPARES = false;
#else
constexpr bool KEEP_SPARES = true;
#endif

// Blocks of small arrays, kept for the next array of the same capacity when an array goes.
// Without them, programs that build short arrays and drop them (a new arrangement per step, a
// node per level) spent up to a twelfth of their instructions in the allocator, whose own cache
// holds only seven blocks of a size. At most KEPT_BYTES wait here; what is left at exit goes
// with the process.
class SpareBlocks {
 public:
  static constexpr size_t LARGEST = 62;  // elements
  static constexpr size_t KEPT_BYTES = KEEP_SPARES ? 256 * 1024 : 0;

  // A kept block for `capacity` elements, or null.
  void* take(size_t capacity) {
    if (capacity > LARGEST) return nullptr;
    Spare* spare = m_spares[capacity];
    if (!spare) return nullptr;
    m_spares[capacity] = spare->next;
    m_bytes -= block_bytes(capacity);
    return spare;
  }
  // Keeps `block`, for `capacity` elements, unless enough blocks wait already.
  bool keep(void* block, size_t capacity) {
    if (capacity > LARGEST || m_bytes + block_bytes(capacity) > KEPT_BYTES) return false;
    m_spares[capacity] = new (block) Spare{m_spares[capacity]};
    m_bytes += block_bytes(capacity);
    return true;
  }

 private:
  struct Spare {
    Spare* next;
  };
  Spare* m_spares[LARGEST + 1] = {};
  size_t m_bytes = 0;
};
constinit thread_local SpareBlocks t_spare_blocks;

// Strings and dicts kept for the next ones of their kind when they go: a program that makes
// short texts or records and drops them (a word per step, a new body per step) otherwise spends
// up to a tenth of its instructions in the allocator. A kept object is empty (a dict keeps the
// room its values had) and linked to the next like a dead one.
template <class T, size_t Kept>
class SpareObjects {
 public:
  static constexpr size_t KEPT = KEEP_SPARES ? Kept : 0;

  // A kept object, as new, or a new one.
  T* take() {
    T* o = m_first;
    if (!o) return make_object<T>();
    m_first = static_cast<T*>(next_dead(o));
    --m_count;
    o->refs = 1;
    o->spare = 0;
    return o;
  }
  // Whether enough objects wait already: one that goes is then deleted.
  bool full() const { return m_count >= KEPT; }
  // Keeps the emptied `o`, when not full.
  void keep(T* o) {
    set_next_dead(o, m_first);
    m_first = o;
    ++m_count;
  }

 private:
  T* m_first = nullptr;
  size_t m_count = 0;
};
constinit thread_local SpareObjects<DictObject, 64> t_spare_dicts;
constinit thread_local SpareObjects<StringObject, 256> t_spare_strings;
// A kept dict's values keep their room, up to this many.
constexpr size_t LARGEST_KEPT_DICT = 64;

void* new_block(size_t capacity) {
  if (void* block = t_spare_blocks.take(capacity)) return block;
  return std::malloc(block_bytes(capacity));
}

void free_block(ArrayObject* o) noexcept {
  if (!t_spare_blocks.keep(o, o->capacity)) std::free(o);
}

// A block for an array header and `capacity` elements.
ArrayObject* array_block(size_t capacity) {
  if (capacity > (SIZE_MAX - sizeof(ArrayObject)) / sizeof(Value)) throw std::bad_alloc();
  void* block = new_block(capacity);
  if (!block) throw std::bad_alloc();
  return new (block) ArrayObject{{}, 0, capacity};
}

// `old` moved into a block for `capacity` elements. The elements move by their bytes: a large
// block is reallocated, which remaps its pages rather than copying them, and a small one is
// copied, which the allocator's caches make quicker.
ArrayObject* array_block(size_t capacity, ArrayObject* old) {
  constexpr size_t LARGE = 64 * 1024;
  if (capacity > (SIZE_MAX - sizeof(ArrayObject)) / sizeof(Value)) throw std::bad_alloc();
  size_t used = block_bytes(old->size);
  void* block = used >= LARGE ? std::realloc(old, block_bytes(capacity)) : new_block(capacity);
  if (!block) throw std::bad_alloc();
  if (used < LARGE) {
    std::memcpy(block, static_cast<void*>(old), used);
    free_block(old);
  }
  auto* o = static_cast<ArrayObject*>(block);
  o->capacity = capacity;
  return o;
}

void free_array(ArrayObject* o) noexcept {
  std::destroy_n(o->items(), o->size);  // a collection among them joins the queue
  free_block(o);
}

}  // namespace

Value Value::string(std::string text) {
  auto* o = t_spare_strings.take();
  o->text = std::move(text);
  Value v(String, 0);
  v.set_heap(o);
  return v;
}

Value Value::error(std::string message) {
  Value v = string(std::move(message));
  v.m_kind = Error;
  return v;
}

Value Value::empty_array(size_t capacity) {
  Value v(Array, 0);
  v.set_heap(array_block(capacity));
  return v;
}

Value Value::counting(int64_t start, size_t count) {
  Value v = empty_array(count);
  auto* o = static_cast<ArrayObject*>(v.heap());
  Value* items = o->items();
  for (size_t i = 0; i < count; ++i)
    new (items + i) Value(Number, static_cast<int64_t>(static_cast<uint64_t>(start) + i));
  o->size = count;
  return v;
}

Value Value::array(Value* items, size_t count) {
  Value v = empty_array(count);
  auto* o = static_cast<ArrayObject*>(v.heap());
  std::uninitialized_move_n(items, count, o->items());
  o->size = count;
  return v;
}

Value Value::array(std::vector<Value> items) { return array(items.data(), items.size()); }

void Value::make_room(size_t capacity) {
  auto* o = static_cast<ArrayObject*>(heap());
  if (o->refs == 1) {
    set_heap(array_block(capacity, o));
    return;
  }
  ArrayObject* c = array_block(capacity);
  std::uninitialized_copy_n(o->items(), o->size, c->items());
  c->size = o->size;
  set_heap(c);
  --o->refs;  // it was shared, so somebody else still holds it
}

Value Value::dict(DictMap map) {
  auto* o = t_spare_dicts.take();
  o->map = std::move(map);
  Value v(Dict, 0);
  v.set_heap(o);
  return v;
}

Value Value::dict(const DictMap& model, std::span<const uint32_t> entries, Value* values) {
  auto* o = t_spare_dicts.take();
  Value v(Dict, 0);
  v.set_heap(o);  // from here `v` lets go of the dict should copying fail
  o->map.copy_from(model);
  for (size_t i = 0; i < entries.size(); ++i) o->map.set_at(entries[i], std::move(values[i]));
  return v;
}

Value Value::function(std::shared_ptr<const FunctionData> fn) {
  auto* o = make_object<FunctionObject>();
  o->fn = std::move(fn);
  Value v(Function, 0);
  v.set_heap(o);
  return v;
}

Value Value::rect(RectShape r) {
  auto* o = make_object<BoxObject<RectShape>>();
  o->shape = r;
  Value v(Rect, 0);
  v.set_heap(o);
  return v;
}

Value Value::circle(CircleShape c) {
  auto* o = make_object<BoxObject<CircleShape>>();
  o->shape = c;
  Value v(Circle, 0);
  v.set_heap(o);
  return v;
}

Value Value::triangle(TriangleShape t) {
  auto* o = make_object<BoxObject<TriangleShape>>();
  o->shape = t;
  Value v(Triangle, 0);
  v.set_heap(o);
  return v;
}

Value Value::color(ColorRGB c) {
  Value v(Color, 0);
  v.m_payload = c.r | (uint64_t{c.g} << 8) | (uint64_t{c.b} << 16);
  return v;
}

namespace {

void delete_payload(Value::Kind kind, HeapObject* p) {
  switch (kind) {
    case Value::String:
    case Value::Error: {
      auto* s = static_cast<StringObject*>(p);
      if (t_spare_strings.full()) {
        delete s;
      } else {
        std::string().swap(s->text);  // its text goes now
        t_spare_strings.keep(s);
      }
      break;
    }
    case Value::Array:
      free_array(static_cast<ArrayObject*>(p));
      break;
    case Value::Dict:
      delete static_cast<DictObject*>(p);
      break;
    case Value::Function:
      delete static_cast<FunctionObject*>(p);
      break;
    case Value::Rect:
      delete static_cast<BoxObject<RectShape>*>(p);
      break;
    case Value::Circle:
      delete static_cast<BoxObject<CircleShape>*>(p);
      break;
    case Value::Triangle:
      delete static_cast<BoxObject<TriangleShape>*>(p);
      break;
    default:
      break;
  }
}

}  // namespace

namespace {

// The last character position asked of a string, forgotten when that string changes or goes.
struct CharacterMark {
  const HeapObject* payload = nullptr;
  uint64_t index = 0;
  size_t offset = 0;
};
CharacterMark g_mark;

void forget_mark(const HeapObject* payload) {
  if (g_mark.payload == payload) g_mark.payload = nullptr;
}

// Collections whose last reference has gone and whose elements are still to be let go.
struct DeadLists {
  HeapObject* arrays = nullptr;
  HeapObject* dicts = nullptr;
  bool draining = false;
};
thread_local DeadLists t_dead;

}  // namespace

// Freeing a collection frees its elements, which may be collections nested millions deep
// (`a = [a]` in a loop). A collection is queued instead of freed on the spot, and the outermost
// call works through the queue: the native stack never grows with the nesting, and the queue
// lives in the dead payloads themselves, so nothing is allocated.
void Value::destroy(Kind kind, HeapObject* payload) noexcept {
  if (kind != Array && kind != Dict) {
    forget_mark(payload);
    delete_payload(kind, payload);
    return;
  }
  DeadLists& dead = t_dead;
  HeapObject*& list = kind == Array ? dead.arrays : dead.dicts;
  set_next_dead(payload, list);
  list = payload;
  if (dead.draining) return;
  dead.draining = true;
  while (dead.arrays || dead.dicts) {
    if (dead.arrays) {
      auto* array = static_cast<ArrayObject*>(dead.arrays);
      dead.arrays = next_dead(array);
      free_array(array);
    } else {
      auto* dict = static_cast<DictObject*>(dead.dicts);
      dead.dicts = next_dead(dict);
      if (t_spare_dicts.full() || dict->map.room() > LARGEST_KEPT_DICT) {
        delete dict;  // a collection among its values joins the queue
      } else {
        dict->map.empty_out();  // likewise
        t_spare_dicts.keep(dict);
      }
    }
  }
  dead.draining = false;
}

namespace {

// What a string's spare word says of its text.
enum AsciiState : uint32_t { ASCII_UNKNOWN = 0, ASCII_ONLY = 1, NOT_ASCII = 2 };

bool all_ascii(std::string_view text) {
  size_t i = 0;
  for (; i + 8 <= text.size(); i += 8) {
    uint64_t word;
    std::memcpy(&word, text.data() + i, 8);
    if (word & 0x8080808080808080ull) return false;
  }
  for (; i < text.size(); ++i)
    if (static_cast<uint8_t>(text[i]) >= 0x80) return false;
  return true;
}

bool is_continuation(char byte) { return (static_cast<uint8_t>(byte) & 0xC0) == 0x80; }

// The number of bytes in the word that begin a character.
int character_starts(uint64_t word) {
  // A continuation byte has its top bit set and the next one clear.
  uint64_t continuation = word & ~(word << 1) & 0x8080808080808080ull;
  return 8 - std::popcount(continuation);
}

// The start of the character `count` characters before `pos`, or 0.
size_t back_characters(std::string_view text, size_t pos, uint64_t count) {
  for (; count > 0 && pos > 0; --count) {
    --pos;
    while (pos > 0 && is_continuation(text[pos])) --pos;
  }
  return pos;
}

}  // namespace

// Whole words are counted at a time.
size_t skip_characters(std::string_view text, size_t pos, uint64_t count) {
  while (pos + 8 <= text.size()) {
    uint64_t word;
    std::memcpy(&word, text.data() + pos, 8);
    auto starts = static_cast<uint64_t>(character_starts(word));
    if (starts > count) break;
    count -= starts;
    pos += 8;
  }
  // The answer is the first character start once `count` of them have been passed.
  for (; pos < text.size(); ++pos) {
    if (is_continuation(text[pos])) continue;
    if (count == 0) return pos;
    --count;
  }
  return text.size();
}

size_t Value::character_offset(uint64_t index) const {
  std::string_view text = as_string();
  size_t offset;
  if (g_mark.payload != heap()) {
    offset = skip_characters(text, 0, index);
  } else if (index >= g_mark.index) {
    offset = skip_characters(text, g_mark.offset, index - g_mark.index);
  } else if (g_mark.index - index < index) {
    offset = back_characters(text, g_mark.offset, g_mark.index - index);
  } else {
    offset = skip_characters(text, 0, index);
  }
  if (offset < text.size()) g_mark = {heap(), index, offset};
  return offset;
}

bool Value::is_ascii() const {
  auto* o = static_cast<StringObject*>(heap());
  if (o->spare == ASCII_UNKNOWN) o->spare = all_ascii(o->text) ? ASCII_ONLY : NOT_ASCII;
  return o->spare == ASCII_ONLY;
}

std::string& Value::mutable_string() {
  if (heap()->refs != 1) *this = string(as_string());
  auto* o = static_cast<StringObject*>(heap());
  o->spare = ASCII_UNKNOWN;  // the caller may change the text
  forget_mark(o);
  return o->text;
}

uint64_t DictMap::hash(std::string_view key) {
  uint64_t h = process_seed() ^ (key.size() * 0x9E3779B97F4A7C15ull);
  size_t i = 0;
  for (; i + 8 <= key.size(); i += 8) {
    uint64_t chunk;
    std::memcpy(&chunk, key.data() + i, 8);
    h = (h ^ chunk) * 0x100000001b3ull;
    h = (h << 29) | (h >> 35);
  }
  uint64_t tail = 0;
  std::memcpy(&tail, key.data() + i, key.size() - i);
  return mix(h ^ tail);
}

namespace {

uint64_t next_layout_identity() {
  static std::atomic<uint64_t> last{0};
  return last.fetch_add(1, std::memory_order_relaxed) + 1;
}

}  // namespace

DictLayout::DictLayout() : identity(next_layout_identity()) {}

DictLayout::DictLayout(const DictLayout& other)
    : identity(next_layout_identity()), slots(other.slots), count(other.count) {}

uint32_t DictLayout::entry_of(std::string_view key, uint64_t h) {
  size_t found = find(key, h);
  if (found != SIZE_MAX) return slots[found].entry;
  if ((count + 1) * 4 > slots.size() * 3) grow();
  identity = next_layout_identity();  // a layout with another key is another layout
  size_t mask = slots.size() - 1;
  size_t i = h & mask;
  while (slots[i].used) i = (i + 1) & mask;
  slots[i].key = key;
  slots[i].hash = h;
  slots[i].entry = static_cast<uint32_t>(count);
  slots[i].used = true;
  return static_cast<uint32_t>(count++);
}

void DictLayout::grow() {
  std::vector<Slot> old = std::move(slots);
  slots = std::vector<Slot>(old.empty() ? 8 : old.size() * 2);
  size_t mask = slots.size() - 1;
  for (Slot& s : old) {
    if (!s.used) continue;
    size_t i = s.hash & mask;
    while (slots[i].used) i = (i + 1) & mask;
    slots[i] = std::move(s);
  }
}

DictLayout& DictMap::own_layout() {
  if (!m_layout) {
    m_layout = new DictLayout();
  } else if (m_layout->refs > 1) {
    DictLayout* copy = new DictLayout(*m_layout);
    --m_layout->refs;
    m_layout = copy;
  }
  return *m_layout;
}

uint32_t DictMap::entry_of(std::string_view key, uint64_t h) {
  size_t slot = find_slot(key, h);
  if (slot != SIZE_MAX) return entry_at_slot(slot);  // a known key keeps the shared layout
  uint32_t entry = own_layout().entry_of(key, h);
  if (entry == m_values.size()) m_values.emplace_back();
  return entry;
}

void DictMap::insert(std::string_view key, uint64_t h, Value value) {
  m_values[entry_of(key, h)] = std::move(value);
}

void append_float(std::string& out, double d) {
  if (std::isnan(d)) {
    out += "NaN";
    return;
  }
  if (std::isinf(d)) {
    out += d > 0 ? "inf" : "-inf";
    return;
  }
  if (d == 0) {
    out += std::signbit(d) ? "-0" : "0";
    return;
  }
  // Shortest round-trip digits come from the scientific form "[-]D[.DDD]e[+-]XX".
  char buf[64];
  auto res = std::to_chars(buf, buf + sizeof buf, d, std::chars_format::scientific);
  std::string_view text(buf, res.ptr - buf);
  if (text.front() == '-') {
    out += '-';
    text.remove_prefix(1);
  }
  size_t e = text.find('e');
  std::string digits;
  for (char c : text.substr(0, e))
    if (c != '.') digits += c;
  int exponent = 0;
  std::from_chars(text.data() + e + 1 + (text[e + 1] == '+'), text.data() + text.size(), exponent);
  // Number of digits before the decimal point.
  long point = static_cast<long>(exponent) + 1;
  long n = static_cast<long>(digits.size());
  if (point <= 0) {
    out += "0.";
    out.append(static_cast<size_t>(-point), '0');
    out += digits;
  } else if (point >= n) {
    out += digits;
    out.append(static_cast<size_t>(point - n), '0');
  } else {
    out.append(digits, 0, static_cast<size_t>(point));
    out += '.';
    out.append(digits, static_cast<size_t>(point));
  }
}

namespace {

void append_int(std::string& out, int64_t v) {
  char buf[24];
  auto res = std::to_chars(buf, buf + sizeof buf, v);
  out.append(buf, res.ptr);
}

template <class... Ints>
void append_fields(std::string& out, const char* name, Ints... fields) {
  out += name;
  out += '(';
  bool first = true;
  for (int64_t f : {static_cast<int64_t>(fields)...}) {
    if (!first) out += ", ";
    first = false;
    append_int(out, f);
  }
  out += ')';
}

}  // namespace

namespace {

// Shows a value that holds no elements.
void append_scalar(std::string& out, const Value& v) {
  switch (v.kind()) {
    case Value::Number:
      append_int(out, v.as_number());
      break;
    case Value::Float:
      append_float(out, v.as_float());
      break;
    case Value::String:
      out += v.as_string();
      break;
    case Value::Boolean:
      out += v.as_boolean() ? "true" : "false";
      break;
    case Value::Function:
      out += "<function>";
      break;
    case Value::Rect: {
      const RectShape& r = v.as_rect();
      append_fields(out, "Rect", r.x, r.y, r.w, r.h);
      break;
    }
    case Value::Color: {
      ColorRGB c = v.as_color();
      append_fields(out, "Color", c.r, c.g, c.b);
      break;
    }
    case Value::Circle: {
      const CircleShape& c = v.as_circle();
      append_fields(out, "Circle", c.x, c.y, c.r);
      break;
    }
    case Value::Triangle: {
      const TriangleShape& t = v.as_triangle();
      append_fields(out, "Triangle", t.x1, t.y1, t.x2, t.y2, t.x3, t.y3);
      break;
    }
    case Value::Null:
      out += "null";
      break;
    case Value::Error:
      out += "Error: ";
      out += v.as_string();
      break;
    case Value::Array:
    case Value::Dict:
      break;
  }
}

// A collection being shown: where its walk stands.
struct Showing {
  const Value* collection;
  size_t position;  // the next element's index, or the next dict position
};

}  // namespace

// Collections are walked with a stack of their own rather than by recursion, so any nesting
// can be shown. Arrays holding themselves many times over display exponentially long: the
// text's growth is checked against the memory limit as it goes.
void append_display(std::string& out, const Value& v) {
  if (!v.is(Value::Array) && !v.is(Value::Dict)) return append_scalar(out, v);
  std::vector<Showing> stack;
  const Value* next = &v;
  size_t next_check = 0;
  for (;;) {
    if (next) {
      if (next->is(Value::Array) || next->is(Value::Dict)) {
        out += next->is(Value::Array) ? '[' : '{';
        stack.push_back({next, 0});
      } else {
        append_scalar(out, *next);
      }
      next = nullptr;
      // Checked each time the text has grown by a sixteenth or so.
      if (out.size() >= next_check) {
        check_allocation(out.size());
        next_check = out.size() + out.size() / 16 + 4096;
      }
    }
    if (stack.empty()) return;
    Showing& top = stack.back();
    const Value& c = *top.collection;
    if (c.is(Value::Array)) {
      std::span<const Value> items = c.as_array();
      if (top.position < items.size()) {
        if (top.position > 0) out += ", ";
        next = &items[top.position++];
        continue;
      }
      out += ']';
    } else {
      const DictMap& map = c.as_dict();
      size_t at = map.next_position(top.position);
      if (at < map.end_position()) {
        if (top.position > 0) out += ", ";
        out += map.key_at(at);
        out += ": ";
        top.position = at + 1;
        next = &map.value_at(at);
        continue;
      }
      out += '}';
    }
    stack.pop_back();
  }
}

std::string display(const Value& v) {
  if (v.is(Value::String)) return v.as_string();
  std::string out;
  append_display(out, v);
  return out;
}

std::string_view type_name(const Value& v) {
  switch (v.kind()) {
    case Value::Number:
      return "number";
    case Value::Float:
      return "float";
    case Value::String:
      return "string";
    case Value::Boolean:
      return "boolean";
    case Value::Array:
      return "array";
    case Value::Dict:
      return "dict";
    case Value::Null:
      return "null";
    default:
      return "unknown";
  }
}

bool is_truthy(const Value& v) {
  switch (v.kind()) {
    case Value::Number:
      return v.as_number() != 0;
    case Value::Float:
      return v.as_float() != 0.0;
    case Value::Boolean:
      return v.as_boolean();
    case Value::Null:
    case Value::Error:
      return false;
    default:
      return true;
  }
}

namespace {

uint64_t g_fixed_limit = 0;  // 0: the environment decides
// Blocks from this size on are also weighed against what the process already holds.
constexpr uint64_t LARGE_BLOCK = uint64_t{8} << 20;
// How long a reading of the resident size is trusted before it is taken again.
constexpr auto RESIDENT_FRESHNESS = std::chrono::milliseconds(1);

// Whether `bytes` more fit beside what the process holds, under `limit`. The reading is
// reused for a short while, so a loop of large appends does not read it every round.
bool fits_beside_resident(uint64_t bytes, uint64_t limit) {
  using Clock = std::chrono::steady_clock;
  static Clock::time_point taken;
  static uint64_t resident = 0;
  Clock::time_point now = Clock::now();
  if (resident == 0 || now - taken > RESIDENT_FRESHNESS) {
    resident = memory::resident_bytes();
    taken = now;
  }
  return resident <= limit && bytes <= limit - resident;
}

}  // namespace

void set_allocation_limit(uint64_t bytes) {
  g_fixed_limit = bytes;
  g_always_fits = 0;  // the next check works it out again
}

uint64_t allocation_limit() { return g_fixed_limit ? g_fixed_limit : memory::environment_limit(); }

void check_allocation_against_limits(uint64_t bytes) {
  if (g_fixed_limit) {
    if (bytes > g_fixed_limit) throw OutOfMemory{};
    g_always_fits = g_fixed_limit;
    return;
  }
  uint64_t limit = memory::environment_limit();
  if (bytes > limit) throw OutOfMemory{};
  if (bytes >= LARGE_BLOCK && !fits_beside_resident(bytes, limit)) throw OutOfMemory{};
  g_always_fits = std::min(limit, LARGE_BLOCK - 1);
}

}  // namespace orvane
