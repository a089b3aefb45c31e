// Values: display forms, type names, truth, sharing of payloads, dict tables, and the float
// text checked against a slow reference over many doubles.
#include "interpreter/value.hpp"

#include <gtest/gtest.h>

#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <random>
#include <string>

namespace orvane {
namespace {

Value str(const char* s) { return Value::string(s); }
Value arr(std::vector<Value> items) { return Value::array(std::move(items)); }
Value one_entry_dict(const char* key, Value v) {
  DictMap m;
  m.insert(key, std::move(v));
  return Value::dict(std::move(m));
}
Value some_function() { return Value::function(nullptr); }

constexpr int64_t MIN_INT = std::numeric_limits<int64_t>::min();
constexpr int64_t MAX_INT = std::numeric_limits<int64_t>::max();
const double NAN_VALUE = std::numeric_limits<double>::quiet_NaN();
const double INF = std::numeric_limits<double>::infinity();

struct DisplayRow {
  const char* label;
  Value value;
  const char* text;
};

TEST(Display, EveryKind) {
  const DisplayRow rows[] = {
      {"zero", Value::number(0), "0"},
      {"negative", Value::number(-42), "-42"},
      {"least integer", Value::number(MIN_INT), "-9223372036854775808"},
      {"greatest integer", Value::number(MAX_INT), "9223372036854775807"},
      {"integral float", Value::real(3.0), "3"},
      {"string", str("hello"), "hello"},
      {"string with quotes", str("say \"hi\"\n"), "say \"hi\"\n"},
      {"empty string", str(""), ""},
      {"true", Value::boolean(true), "true"},
      {"false", Value::boolean(false), "false"},
      {"null", Value::null(), "null"},
      {"empty array", arr({}), "[]"},
      {"empty dict", Value::dict({}), "{}"},
      {"strings unquoted inside", arr({str("a")}), "[a]"},
      {"empty strings inside", arr({str(""), str("")}), "[, ]"},
      {"mixed",
       arr({Value::number(1), str("a"), arr({Value::real(2.5), Value::boolean(true)}),
            Value::null()}),
       "[1, a, [2.5, true], null]"},
      {"empty collections inside", arr({arr({}), Value::dict({})}), "[[], {}]"},
      {"dict", one_entry_dict("x", Value::number(1)), "{x: 1}"},
      {"dict holding collections",
       one_entry_dict("k", arr({Value::number(1), one_entry_dict("n", str("v"))})),
       "{k: [1, {n: v}]}"},
      {"function", some_function(), "<function>"},
      {"functions inside", arr({some_function()}), "[<function>]"},
      {"rect", Value::rect({10, 20, 30, 40}), "Rect(10, 20, 30, 40)"},
      {"rect extremes", Value::rect({-2147483647 - 1, -1, 4294967295u, 0}),
       "Rect(-2147483648, -1, 4294967295, 0)"},
      {"color", Value::color({255, 0, 0}), "Color(255, 0, 0)"},
      {"circle", Value::circle({100, -100, 4294967295u}), "Circle(100, -100, 4294967295)"},
      {"triangle", Value::triangle({0, 0, 10, 0, 5, -8}), "Triangle(0, 0, 10, 0, 5, -8)"},
      {"error", Value::error("boom"), "Error: boom"},
      {"error inside", arr({Value::error("")}), "[Error: ]"},
  };
  for (const DisplayRow& row : rows) EXPECT_EQ(display(row.value), row.text) << row.label;
}

TEST(Display, DictEntriesInTheTableOrderWhichCopiesKeep) {
  DictMap m;
  m.insert("a", Value::number(1));
  m.insert("b", Value::number(2));
  m.insert("a", Value::number(3));  // replaces, keeps one entry
  Value d = Value::dict(std::move(m));
  std::string text = display(d);
  EXPECT_TRUE(text == "{a: 3, b: 2}" || text == "{b: 2, a: 3}") << text;
  Value copy = d;
  EXPECT_EQ(display(copy), text);
}

TEST(DictMap, FindsEveryKeyAfterGrowing) {
  DictMap m;
  for (int i = 0; i < 1000; ++i) m.insert("key" + std::to_string(i), Value::number(i));
  for (int i = 0; i < 1000; i += 2) m.insert("key" + std::to_string(i), Value::number(-i));
  EXPECT_EQ(m.size(), 1000u);
  for (int i = 0; i < 1000; ++i) {
    const Value* v = m.find("key" + std::to_string(i));
    ASSERT_NE(v, nullptr) << i;
    EXPECT_EQ(v->as_number(), i % 2 ? i : -i);
  }
  EXPECT_EQ(m.find("key1000"), nullptr);
  EXPECT_EQ(m.find(""), nullptr);
  size_t seen = 0;
  m.for_each([&](std::string_view, const Value&) { ++seen; });
  EXPECT_EQ(seen, 1000u);
}

// Copies share one layout of keys until one of them gains a key; a member cache keys on the
// layout's identity, so the copy that gained a key must no longer claim the old identity.
TEST(DictMap, ACopyThatGainsAKeyLeavesTheOriginalAlone) {
  DictMap original;
  original.insert("x", Value::number(1));
  DictMap copy = original;
  EXPECT_EQ(copy.layout_identity(), original.layout_identity());
  copy.insert("x", Value::number(5));  // replacing keeps the layout
  EXPECT_EQ(copy.layout_identity(), original.layout_identity());
  copy.insert("y", Value::number(2));
  EXPECT_NE(copy.layout_identity(), original.layout_identity());
  EXPECT_EQ(original.size(), 1u);
  EXPECT_EQ(original.find("y"), nullptr);
  EXPECT_EQ(original.find("x")->as_number(), 1);
  EXPECT_EQ(copy.find("x")->as_number(), 5);
  EXPECT_EQ(copy.find("y")->as_number(), 2);
  DictMap alone;
  alone.insert("x", Value::number(1));
  uint64_t before = alone.layout_identity();
  alone.insert("z", Value::number(3));  // a layout held once changes in place, under a new name
  EXPECT_NE(alone.layout_identity(), before);
}

TEST(DictMap, KeysCompareByteForByte) {
  DictMap m;
  m.insert("a", Value::number(1));
  m.insert("A", Value::number(2));
  m.insert(std::string_view("a\0b", 3), Value::number(3));
  EXPECT_EQ(m.size(), 3u);
  EXPECT_EQ(m.find("a")->as_number(), 1);
  EXPECT_EQ(m.find("A")->as_number(), 2);
  EXPECT_EQ(m.find(std::string_view("a\0b", 3))->as_number(), 3);
  EXPECT_EQ(m.find(std::string_view("a\0c", 3)), nullptr);
}

// Keys are compared a word at a time, with overlapping reads at the ends: a difference in any
// one byte must tell two keys apart, at every length, even when their hashes collide.
TEST(DictMap, KeysDifferingInAnyOneByteAreDistinctEvenWithTheSameHash) {
  for (size_t n = 0; n <= 24; ++n) {
    std::string key;
    for (size_t i = 0; i < n; ++i) key += static_cast<char>('a' + i);
    DictMap m;
    m.insert(key, Value::number(1));
    uint64_t h = DictMap::hash(key);
    ASSERT_NE(m.find(key, h), nullptr) << n;
    for (size_t i = 0; i < n; ++i) {
      std::string other = key;
      other[i] = static_cast<char>(other[i] ^ 1);
      EXPECT_EQ(m.find(other, h), nullptr) << "length " << n << ", byte " << i;
    }
    EXPECT_EQ(m.find(key + "x", h), nullptr) << n;
  }
}

TEST(TypeName, EveryKind) {
  const std::pair<Value, const char*> rows[] = {
      {Value::number(1), "number"},
      {Value::real(1.0), "float"},
      {str("s"), "string"},
      {Value::boolean(false), "boolean"},
      {arr({}), "array"},
      {Value::dict({}), "dict"},
      {some_function(), "unknown"},
      {Value::rect({0, 0, 0, 0}), "unknown"},
      {Value::color({0, 0, 0}), "unknown"},
      {Value::circle({0, 0, 0}), "unknown"},
      {Value::triangle({0, 0, 0, 0, 0, 0}), "unknown"},
      {Value::null(), "null"},
      {Value::error("e"), "unknown"},
  };
  for (const auto& [value, name] : rows) EXPECT_EQ(type_name(value), name) << display(value);
}

TEST(Truth, EveryKind) {
  const std::pair<Value, bool> rows[] = {
      {Value::number(0), false},
      {Value::number(1), true},
      {Value::number(-1), true},
      {Value::number(MIN_INT), true},
      {Value::real(0.0), false},
      {Value::real(-0.0), false},
      {Value::real(5e-324), true},
      {Value::real(NAN_VALUE), true},
      {Value::real(-INF), true},
      {str(""), true},
      {str("0"), true},
      {Value::boolean(false), false},
      {Value::boolean(true), true},
      {arr({}), true},
      {Value::dict({}), true},
      {some_function(), true},
      {Value::rect({0, 0, 0, 0}), true},
      {Value::color({0, 0, 0}), true},
      {Value::circle({0, 0, 0}), true},
      {Value::triangle({0, 0, 0, 0, 0, 0}), true},
      {Value::null(), false},
      {Value::error("e"), false},
  };
  for (const auto& [value, truthy] : rows)
    EXPECT_EQ(is_truthy(value), truthy) << type_name(value) << " " << display(value);
}

// Copies share a payload; writing through one of them must never show in the others.
TEST(Sharing, WritingASharedPayloadCopiesItFirst) {
  Value a = str("abc");
  Value b = a;
  EXPECT_FALSE(a.is_unique());
  b.mutable_string() += "d";
  EXPECT_EQ(a.as_string(), "abc");
  EXPECT_EQ(b.as_string(), "abcd");
  EXPECT_TRUE(a.is_unique());

  Value xs = arr({Value::number(1)});
  Value ys = xs;
  Value inner = arr({xs});
  append_in_place(ys, Value::number(2));
  EXPECT_EQ(display(xs), "[1]");
  EXPECT_EQ(display(ys), "[1, 2]");
  EXPECT_EQ(display(inner), "[[1]]");
}

TEST(Sharing, AUniquePayloadIsChangedInPlace) {
  Value a = str("abc");
  const void* before = a.payload_identity();
  a.mutable_string() += "d";
  EXPECT_EQ(a.payload_identity(), before);
  EXPECT_EQ(a.as_string(), "abcd");
}

// Blocks of arrays that went are made over for new arrays: each starts empty with the room it
// asked for, and filling it to that room disturbs no other array, whatever sizes went before.
TEST(Sharing, ArraysMadeAfterOthersWentStartEmptyAndKeepToTheirRoom) {
  for (int round = 0; round < 3; ++round) {
    {
      std::vector<Value> gone;
      for (size_t capacity : {0, 1, 2, 6, 14, 30, 62, 63})
        for (int k = 0; k < 40; ++k) {
          Value a = Value::empty_array(capacity);
          for (size_t i = 0; i < capacity; ++i) append_in_place(a, str("x"));
          gone.push_back(std::move(a));
        }
    }
    std::vector<Value> made;
    for (size_t capacity : {63, 62, 30, 14, 6, 2, 1, 0}) {
      Value a = Value::empty_array(capacity);
      EXPECT_EQ(a.as_array().size(), 0u);
      EXPECT_EQ(a.array_capacity(), capacity);
      for (size_t i = 0; i < capacity; ++i) append_in_place(a, Value::number(int64_t(i)));
      made.push_back(std::move(a));
    }
    for (const Value& a : made) {
      std::span<const Value> items = a.as_array();
      for (size_t i = 0; i < items.size(); ++i) ASSERT_EQ(items[i].as_number(), int64_t(i));
      EXPECT_TRUE(a.is_unique());
    }
  }
}

// Dicts that went are made over for new ones: each holds exactly its model's keys, with the
// values put in and the model's others, whatever dicts (with nested collections) went before.
TEST(Sharing, DictsMadeAfterOthersWentHoldOnlyTheirOwnEntries) {
  auto model_of = [](std::vector<const char*> keys) {
    DictMap m;
    for (const char* k : keys) m.insert(k, str("model"));
    return m;
  };
  DictMap wide = model_of({"a", "b", "c", "d", "e", "f", "g"});
  DictMap narrow = model_of({"x", "y"});
  auto entries = [](const DictMap& m, std::vector<const char*> keys) {
    std::vector<uint32_t> out;
    for (const char* k : keys) out.push_back(DictMap(m).entry_of(k, DictMap::hash(k)));
    return out;
  };
  std::vector<uint32_t> wide_entries = entries(wide, {"a", "g"});
  std::vector<uint32_t> narrow_entries = entries(narrow, {"y"});
  for (int round = 0; round < 3; ++round) {
    {
      std::vector<Value> gone;
      for (int k = 0; k < 100; ++k) {
        Value values[] = {arr({str("nested")}), one_entry_dict("n", Value::number(k))};
        gone.push_back(Value::dict(wide, wide_entries, values));
      }
    }
    std::vector<Value> made;
    for (int k = 0; k < 100; ++k) {
      Value values[] = {Value::number(k)};
      made.push_back(Value::dict(narrow, narrow_entries, values));
    }
    for (int k = 0; k < 100; ++k) {
      const DictMap& m = made[size_t(k)].as_dict();
      ASSERT_EQ(m.size(), 2u);
      ASSERT_EQ(m.find("x")->as_string(), "model");
      ASSERT_EQ(m.find("y")->as_number(), k);
      EXPECT_EQ(m.find("a"), nullptr);
      EXPECT_TRUE(made[size_t(k)].is_unique());
    }
  }
}

// Strings that went are made over for new ones, which know nothing of them: not their text,
// nor whether it was all ASCII, nor their kind (an error's text is a string's too).
TEST(Sharing, StringsMadeAfterOthersWentKnowNothingOfThem) {
  for (int round = 0; round < 3; ++round) {
    {
      std::vector<Value> gone;
      for (int k = 0; k < 300; ++k) {
        Value s = k % 2 ? Value::string(std::string(40, 'x') + "\xc3\xa9") : Value::error("é");
        EXPECT_FALSE(s.is_ascii());
        gone.push_back(std::move(s));
      }
    }
    std::vector<Value> made;
    for (int k = 0; k < 300; ++k) made.push_back(Value::string(std::to_string(k)));
    for (int k = 0; k < 300; ++k) {
      const Value& s = made[size_t(k)];
      ASSERT_TRUE(s.is(Value::String));
      ASSERT_EQ(s.as_string(), std::to_string(k));
      EXPECT_TRUE(s.is_ascii());
      EXPECT_TRUE(s.is_unique());
    }
  }
}

TEST(Sharing, ErrorsKeepTheirKindWhenCopied) {
  Value e = Value::error("m");
  Value copy = e;
  EXPECT_TRUE(copy.is(Value::Error));
  EXPECT_EQ(copy.as_string(), "m");
}

// ---- float text ----

// The slow reference: the shortest digit string that reads back as the same double, laid out
// positionally digit by digit. printf gives the nearest string of each length; the least length
// at which that one reads back is found by bisection (a longer nearest string is never farther
// away). Only below a power of two is the gap narrower than above, and only there can a shorter
// string that is not the nearest of its length read back, so those lengths are tried linearly.
std::string add_one(std::string digits, int delta) {
  // delta is +1 or -1 on a decimal digit string; may grow or shrink its length.
  int i = static_cast<int>(digits.size()) - 1;
  if (delta > 0) {
    while (i >= 0 && digits[i] == '9') digits[i--] = '0';
    if (i < 0)
      digits.insert(digits.begin(), '1');
    else
      ++digits[i];
  } else {
    while (i >= 0 && digits[i] == '0') digits[i--] = '9';
    if (i < 0) return "";
    --digits[i];
  }
  size_t first = digits.find_first_not_of('0');
  return first == std::string::npos ? "" : digits.substr(first);
}

bool reads_back(const std::string& digits, long exponent, double d) {
  std::string text = digits + "e" + std::to_string(exponent);
  return std::strtod(text.c_str(), nullptr) == d;
}

// The nearest string of `length` digits: digits times ten to the exponent.
void nearest(double d, int length, std::string& digits, long& exponent) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*e", length - 1, d);
  std::string text(buf);
  size_t e = text.find('e');
  digits.clear();
  for (char c : text.substr(0, e))
    if (c != '.') digits += c;
  exponent = std::strtol(text.c_str() + e + 1, nullptr, 10) - (length - 1);
}

std::string lay_out(std::string digits, long exponent) {
  while (digits.size() > 1 && digits.back() == '0') {
    digits.pop_back();
    ++exponent;
  }
  if (exponent >= 0) return digits + std::string(static_cast<size_t>(exponent), '0');
  long before_point = static_cast<long>(digits.size()) + exponent;
  if (before_point > 0)
    return digits.substr(0, static_cast<size_t>(before_point)) + "." +
           digits.substr(static_cast<size_t>(before_point));
  return "0." + std::string(static_cast<size_t>(-before_point), '0') + digits;
}

std::string reference_float(double d) {
  if (std::isnan(d)) return "NaN";
  if (std::isinf(d)) return d > 0 ? "inf" : "-inf";
  std::string sign = std::signbit(d) ? "-" : "";
  d = std::fabs(d);
  if (d == 0) return sign + "0";
  std::string digits;
  long exponent;
  int low = 1, high = 17;
  while (low < high) {
    int mid = (low + high) / 2;
    nearest(d, mid, digits, exponent);
    if (reads_back(digits, exponent, d))
      high = mid;
    else
      low = mid + 1;
  }
  uint64_t bits;
  std::memcpy(&bits, &d, sizeof d);
  bool power_of_two = (bits & ((uint64_t{1} << 52) - 1)) == 0 && (bits >> 52) > 1;
  for (int length = 1; power_of_two && length < low; ++length) {
    nearest(d, length, digits, exponent);
    for (int delta : {-1, 1}) {
      std::string other = add_one(digits, delta);
      if (!other.empty() && reads_back(other, exponent, d)) return sign + lay_out(other, exponent);
    }
  }
  nearest(d, low, digits, exponent);
  return sign + lay_out(digits, exponent);
}

TEST(FloatText, FixedCases) {
  const std::pair<double, const char*> rows[] = {
      {3.0, "3"},
      {1.5, "1.5"},
      {0.1, "0.1"},
      {-2.5, "-2.5"},
      {1e21, "1000000000000000000000"},
      {1e23, "100000000000000000000000"},
      {1e-7, "0.0000001"},
      {123456.789, "123456.789"},
      {0.30000000000000004, "0.30000000000000004"},
      {9007199254740993.0, "9007199254740992"},
      {-0.0, "-0"},
      {0.0, "0"},
      {NAN_VALUE, "NaN"},
      {-NAN_VALUE, "NaN"},
      {INF, "inf"},
      {-INF, "-inf"},
  };
  for (const auto& [d, text] : rows) EXPECT_EQ(display(Value::real(d)), text) << text;
  EXPECT_EQ(display(Value::real(5e-324)), "0." + std::string(323, '0') + "5");
  std::string max_text = display(Value::real(DBL_MAX));
  EXPECT_EQ(max_text, "17976931348623157" + std::string(292, '0'));
}

void expect_matches_reference(double d, int& failures) {
  std::string got = display(Value::real(d));
  std::string want = reference_float(d);
  if (got != want && ++failures <= 10) {
    uint64_t bits;
    std::memcpy(&bits, &d, sizeof d);
    ADD_FAILURE() << "bits 0x" << std::hex << bits << ": got " << got << ", want " << want;
  }
}

TEST(FloatText, MatchesTheReferenceOnRandomBitPatterns) {
  std::mt19937_64 rng(20240611);
  int failures = 0;
  for (int i = 0; i < 150000; ++i) {
    uint64_t bits = rng();
    double d;
    std::memcpy(&d, &bits, sizeof d);
    expect_matches_reference(d, failures);
  }
  EXPECT_EQ(failures, 0);
}

TEST(FloatText, MatchesTheReferenceOnEverydayMagnitudes) {
  std::mt19937_64 rng(7);
  std::uniform_real_distribution<double> mantissa(1.0, 10.0);
  std::uniform_int_distribution<int> power(-30, 30);
  std::uniform_int_distribution<int64_t> small(-99999999, 99999999);
  std::uniform_int_distribution<int> places(0, 12);
  int failures = 0;
  for (int i = 0; i < 75000; ++i) {
    // Values of every size, and short decimals such as a script would write.
    expect_matches_reference(mantissa(rng) * std::pow(10.0, power(rng)), failures);
    expect_matches_reference(static_cast<double>(small(rng)) / std::pow(10.0, places(rng)),
                             failures);
  }
  EXPECT_EQ(failures, 0);
}

TEST(FloatText, MatchesTheReferenceAtPowersOfTwoAndTheirNeighbours) {
  // Powers of two have a narrower gap below than above: the shortest text may not be the
  // nearest one of its length.
  int failures = 0;
  for (int e = -1074; e <= 1023; ++e) {
    double d = std::ldexp(1.0, e);
    expect_matches_reference(d, failures);
    expect_matches_reference(std::nextafter(d, 0.0), failures);
    expect_matches_reference(std::nextafter(d, INF), failures);
    expect_matches_reference(-d, failures);
  }
  for (double d : {DBL_MIN, DBL_MAX, DBL_TRUE_MIN, DBL_EPSILON, 1e22, 1e23, 5e-324, 1.7e308})
    expect_matches_reference(d, failures);
  EXPECT_EQ(failures, 0);
}

// Collections nested far deeper than the native stack could recurse: freeing them works, and
// so does showing them (this runs on the test's ordinary stack).
TEST(Values, NestingDeeperThanTheStackIsFreedAndShown) {
  Value v = Value::array({});
  for (int i = 0; i < 2000000; ++i) v = Value::array({v});
  EXPECT_EQ(display(v), std::string(2000001, '[') + std::string(2000001, ']'));
  Value copy = v;
  v = Value();
  EXPECT_TRUE(copy.is(Value::Array));
  copy = Value::number(1);  // the last reference: the whole chain is freed here
  EXPECT_EQ(display(copy), "1");
}

}  // namespace
}  // namespace orvane
