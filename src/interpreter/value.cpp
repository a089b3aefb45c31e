#include "interpreter/value.hpp"

#include <sys/random.h>

#include <charconv>
#include <cmath>
#include <cstring>


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

Value Value::string(std::string text) {
  auto* o = make_object<StringObject>();
  o->text = std::move(text);
  Value v(String, 0);
  v.m_u.p = o;
  return v;
}

Value Value::error(std::string message) {
  Value v = string(std::move(message));
  v.m_kind = Error;
  return v;
}

Value Value::array(std::vector<Value> items) {
  auto* o = make_object<ArrayObject>();
  o->items = std::move(items);
  Value v(Array, 0);
  v.m_u.p = o;
  return v;
}

Value Value::dict(DictMap map) {
  auto* o = make_object<DictObject>();
  o->map = std::move(map);
  Value v(Dict, 0);
  v.m_u.p = o;
  return v;
}

Value Value::function(std::shared_ptr<const FunctionData> fn) {
  auto* o = make_object<FunctionObject>();
  o->fn = std::move(fn);
  Value v(Function, 0);
  v.m_u.p = o;
  return v;
}

Value Value::rect(RectShape r) {
  auto* o = make_object<BoxObject<RectShape>>();
  o->shape = r;
  Value v(Rect, 0);
  v.m_u.p = o;
  return v;
}

Value Value::circle(CircleShape c) {
  auto* o = make_object<BoxObject<CircleShape>>();
  o->shape = c;
  Value v(Circle, 0);
  v.m_u.p = o;
  return v;
}

Value Value::triangle(TriangleShape t) {
  auto* o = make_object<BoxObject<TriangleShape>>();
  o->shape = t;
  Value v(Triangle, 0);
  v.m_u.p = o;
  return v;
}

Value Value::color(ColorRGB c) {
  Value v(Color, 0);
  v.m_u.c = c;
  return v;
}

namespace {

void delete_payload(Value::Kind kind, HeapObject* p) {
  switch (kind) {
    case Value::String:
    case Value::Error: delete static_cast<StringObject*>(p); break;
    case Value::Array: delete static_cast<ArrayObject*>(p); break;
    case Value::Dict: delete static_cast<DictObject*>(p); break;
    case Value::Function: delete static_cast<FunctionObject*>(p); break;
    case Value::Rect: delete static_cast<BoxObject<RectShape>*>(p); break;
    case Value::Circle: delete static_cast<BoxObject<CircleShape>*>(p); break;
    case Value::Triangle: delete static_cast<BoxObject<TriangleShape>*>(p); break;
    default: break;
  }
}

}  // namespace

// Freeing a collection frees its elements, which may be collections nested millions deep
// (`a = [a]` in a loop). Past a few levels the payloads wait in a list that the outermost
// call works through, so the native stack never grows with the nesting.
void Value::destroy() {
  constexpr int MAX_NESTED_FREES = 64;
  thread_local int depth = 0;
  thread_local std::vector<std::pair<Kind, HeapObject*>> waiting;
  if (depth >= MAX_NESTED_FREES) {
    waiting.emplace_back(m_kind, m_u.p);
    return;
  }
  ++depth;
  delete_payload(m_kind, m_u.p);
  if (depth == 1) {
    while (!waiting.empty()) {
      auto [kind, p] = waiting.back();
      waiting.pop_back();
      delete_payload(kind, p);
    }
  }
  --depth;
}

std::string& Value::mutable_string() {
  if (m_u.p->refs != 1) *this = string(as_string());
  return static_cast<StringObject*>(m_u.p)->text;
}

std::vector<Value>& Value::mutable_array() {
  if (m_u.p->refs != 1) *this = array(as_array());
  return static_cast<ArrayObject*>(m_u.p)->items;
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

void DictMap::insert(std::string_view key, uint64_t h, Value value) {
  if ((m_count + 1) * 4 > m_slots.size() * 3) grow();
  size_t mask = m_slots.size() - 1;
  for (size_t i = h & mask;; i = (i + 1) & mask) {
    Slot& s = m_slots[i];
    if (!s.used) {
      s.key = key;
      s.value = std::move(value);
      s.hash = h;
      s.used = true;
      ++m_count;
      return;
    }
    if (s.hash == h && s.key == key) {
      s.value = std::move(value);
      return;
    }
  }
}

void DictMap::grow() {
  std::vector<Slot> old = std::move(m_slots);
  m_slots = std::vector<Slot>(old.empty() ? 8 : old.size() * 2);
  size_t mask = m_slots.size() - 1;
  for (Slot& s : old) {
    if (!s.used) continue;
    size_t i = s.hash & mask;
    while (m_slots[i].used) i = (i + 1) & mask;
    m_slots[i] = std::move(s);
  }
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

// Collections nested deeper than this are not shown: like one too long to hold, that is
// reported as running out of memory (display recurses once per level).
constexpr int MAX_DISPLAY_NESTING = 10000;

void append_display(std::string& out, const Value& v) {
  thread_local int nesting = 0;
  struct Level {
    Level() {
      if (++nesting > MAX_DISPLAY_NESTING) {
        --nesting;
        throw OutOfMemory{};
      }
    }
    ~Level() { --nesting; }
  } level;
  switch (v.kind()) {
    case Value::Number: append_int(out, v.as_number()); break;
    case Value::Float: append_float(out, v.as_float()); break;
    case Value::String: out += v.as_string(); break;
    case Value::Boolean: out += v.as_boolean() ? "true" : "false"; break;
    case Value::Array: {
      out += '[';
      bool first = true;
      for (const Value& item : v.as_array()) {
        if (!first) out += ", ";
        first = false;
        append_display(out, item);
        // Arrays holding themselves many times over display exponentially long.
        check_allocation(out.size());
      }
      out += ']';
      break;
    }
    case Value::Dict: {
      out += '{';
      bool first = true;
      v.as_dict().for_each([&](std::string_view key, const Value& item) {
        if (!first) out += ", ";
        first = false;
        out += key;
        out += ": ";
        append_display(out, item);
        check_allocation(out.size());
      });
      out += '}';
      break;
    }
    case Value::Function: out += "<function>"; break;
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
    case Value::Null: out += "null"; break;
    case Value::Error:
      out += "Error: ";
      out += v.as_string();
      break;
  }
}

std::string display(const Value& v) {
  if (v.is(Value::String)) return v.as_string();
  std::string out;
  append_display(out, v);
  return out;
}

std::string_view type_name(const Value& v) {
  static constexpr std::string_view names[] = {
      "number",  "float",   "string",  "boolean", "array",   "dict", "unknown",
      "unknown", "unknown", "unknown", "unknown", "null",    "unknown"};
  return names[v.kind()];
}

bool is_truthy(const Value& v) {
  switch (v.kind()) {
    case Value::Number: return v.as_number() != 0;
    case Value::Float: return v.as_float() != 0.0;
    case Value::Boolean: return v.as_boolean();
    case Value::Null:
    case Value::Error: return false;
    default: return true;
  }
}

namespace {
uint64_t g_allocation_limit = MAX_ALLOCATION_BYTES;
}  // namespace

void set_allocation_limit(uint64_t bytes) { g_allocation_limit = bytes; }

void check_allocation(uint64_t bytes) {
  if (bytes > g_allocation_limit) throw OutOfMemory{};
}

}  // namespace orvane
