// Values and strings at the edges: freeing and showing deep nesting, the memory limit's
// contract, and the string builtins' fast paths checked against plain reference versions.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "builtin_cases.hpp"
#include "cli.hpp"
#include "interpreter/builtins.hpp"
#include "interpreter/graphics.hpp"
#include "refuse_allocations.hpp"
#include "support/memory.hpp"
#include "test_support.hpp"

namespace orvane {

std::string map_case(std::string_view text, bool to_upper, size_t limit);

namespace {

using namespace orvane::testing;

// Freeing nested collections must not need memory: it may happen because memory ran out.
TEST(Freeing, NestedCollectionsAreFreedWithoutAllocating) {
  for (int depth : {1, 63, 64, 65, 200, 100000}) {
    Value v = Value::array({Value::string("leaf")});
    for (int i = 0; i < depth; ++i) {
      DictMap map;
      map.insert("k", v);
      v = i % 2 ? Value::array({v, Value::number(i)}) : Value::dict(std::move(map));
    }
    RefuseAllocations refuse;
    v = Value();  // the last reference: everything goes here
  }
  SUCCEED();
}

// The reference display: the plain recursive definition.
std::string reference_display(const Value& v) {
  if (v.is(Value::Array)) {
    std::string out = "[";
    bool first = true;
    for (const Value& item : v.as_array()) {
      if (!first) out += ", ";
      first = false;
      out += reference_display(item);
    }
    return out + "]";
  }
  if (v.is(Value::Dict)) {
    std::string out = "{";
    bool first = true;
    v.as_dict().for_each([&](std::string_view key, const Value& item) {
      if (!first) out += ", ";
      first = false;
      out += key;
      out += ": ";
      out += reference_display(item);
    });
    return out + "}";
  }
  return display(v);
}

Value random_value(std::mt19937& rng, int depth) {
  switch (depth > 0 ? rng() % 6 : rng() % 3) {
    case 0:
      return Value::number(static_cast<int64_t>(rng() % 100) - 50);
    case 1:
      return Value::string(rng() % 2 ? "s" : "");
    case 2:
      return Value::null();
    case 3: {
      std::vector<Value> items;
      for (unsigned n = rng() % 4; n > 0; --n) items.push_back(random_value(rng, depth - 1));
      return Value::array(std::move(items));
    }
    default: {
      DictMap map;
      for (unsigned n = rng() % 4; n > 0; --n)
        map.insert(std::string(1, static_cast<char>('a' + rng() % 5)),
                   random_value(rng, depth - 1));
      return Value::dict(std::move(map));
    }
  }
}

TEST(Showing, NestedCollectionsShowAsTheRecursiveDefinitionSays) {
  std::mt19937 rng(7);
  for (int round = 0; round < 500; ++round) {
    Value v = random_value(rng, 5);
    EXPECT_EQ(display(v), reference_display(v));
  }
  // Empty collections inside others, and dicts whose first entries sit late in the table.
  DictMap late;
  late.insert("zzzzzz", Value::array({}));
  Value nested = Value::array({Value::array({}), Value::dict(late), Value::dict(DictMap())});
  EXPECT_EQ(display(nested), "[[], {zzzzzz: []}, {}]");
}

TEST(MemoryLimit, AFixedLimitAndTheEnvironmentsOwn) {
  set_allocation_limit(1000);
  EXPECT_EQ(allocation_limit(), 1000u);
  EXPECT_NO_THROW(check_allocation(1000));
  EXPECT_THROW(check_allocation(1001), OutOfMemory);
  // An append in place is weighed by the block the array would move to: 62 elements for 40 or
  // 41, 992 bytes.
  set_allocation_limit(900);
  Value items = Value::array(std::vector<Value>(40));  // full
  EXPECT_THROW(append_in_place(items, Value()), OutOfMemory);
  EXPECT_EQ(items.as_array().size(), 40u);  // a refused append changes nothing
  set_allocation_limit(0);
  items = Value::empty_array(42);
  for (int i = 0; i < 40; ++i) append_in_place(items, Value());
  set_allocation_limit(900);
  EXPECT_NO_THROW(append_in_place(items, Value()));  // room already made: nothing moves
  Value shared = items;                              // a shared array is copied before the append
  EXPECT_THROW(append_in_place(items, Value()), OutOfMemory);
  EXPECT_EQ(items.as_array().size(), 41u);
  EXPECT_EQ(items.payload_identity(), shared.payload_identity());
  // Room asked for beyond the growth an append needs is weighed too.
  Value small = Value::empty_array(0);
  EXPECT_THROW(small.make_room_to_append(1000), OutOfMemory);
  EXPECT_EQ(small.as_array().size(), 0u);
  set_allocation_limit(0);
  uint64_t limit = memory::environment_limit();
  EXPECT_EQ(allocation_limit(), limit);
  EXPECT_GT(limit, uint64_t{1} << 24);
  EXPECT_THROW(check_allocation(limit + 1), OutOfMemory);
  EXPECT_NO_THROW(check_allocation(uint64_t{1} << 20));
  // A block that fits the limit but not beside what the process holds is refused too.
  uint64_t resident = memory::resident_bytes();
  ASSERT_GT(resident, 0u);
  EXPECT_THROW(check_allocation(limit - resident / 2), OutOfMemory);
}

TEST(MemoryLimit, ControlGroupFiles) {
  struct Case {
    const char* text;
    uint64_t limit;
  };
  const Case cases[] = {
      {"max\n", UINT64_MAX},
      {"1073741824\n", uint64_t{1} << 30},
      {"536870912", uint64_t{1} << 29},
      {"9223372036854771712\n", UINT64_MAX},  // a v1 group without a limit
      {"", UINT64_MAX},
      {"12x\n", UINT64_MAX},
      {"-1\n", UINT64_MAX},
  };
  for (const Case& c : cases) EXPECT_EQ(memory::parse_cgroup_limit(c.text), c.limit) << c.text;
}

// ---- strings ----

Value call(const char* name, std::vector<Value> args) {
  GraphicsContext g;
  return *call_builtin(name, std::move(args), g);
}

// The characters of `text` from `start` to `end` by the plain walk from the first byte.
std::string reference_slice(const std::string& text, int64_t start, int64_t end) {
  std::vector<size_t> starts;
  for (size_t i = 0; i < text.size(); ++i)
    if ((static_cast<uint8_t>(text[i]) & 0xC0) != 0x80) starts.push_back(i);
  starts.push_back(text.size());
  auto skip = static_cast<uint64_t>(start);
  uint64_t take = static_cast<uint64_t>(end) - static_cast<uint64_t>(start);
  size_t count = starts.size() - 1;
  if (skip >= count || take == 0) return "";
  uint64_t last = take > count - skip ? count : skip + take;
  return text.substr(starts[skip], starts[last] - starts[skip]);
}

TEST(Slicing, FastPathsAgreeWithThePlainWalk) {
  const char* pieces[] = {"a", "Z", " ", "é", "中", "😀", "\x7f"};
  std::mt19937 rng(11);
  for (int round = 0; round < 300; ++round) {
    std::string text;
    bool ascii_only = round % 2 == 0;
    for (unsigned n = rng() % 40; n > 0; --n) text += pieces[rng() % (ascii_only ? 3 : 7)];
    Value v = Value::string(text);
    for (int probe = 0; probe < 20; ++probe) {
      int64_t start = static_cast<int64_t>(rng() % 50) - 5;
      int64_t end = static_cast<int64_t>(rng() % 50) - 5;
      if (probe == 0) end = INT64_MAX;
      if (probe == 1) start = INT64_MIN;
      EXPECT_EQ(display(call("slice", {v, num(start), num(end)})),
                reference_slice(text, start, end))
          << text << " " << start << " " << end;
    }
  }
}

// What a string knows of its characters is forgotten when the text changes in place.
TEST(Slicing, AnAppendInPlaceIsSeen) {
  Value s = Value::string("abcd");
  EXPECT_EQ(display(call("slice", {s, num(1), num(3)})), "bc");  // known to be ASCII now
  s = call("concat", {std::move(s), Value::string("é!")});
  EXPECT_EQ(display(call("slice", {s, num(4), num(6)})), "é!");
  s = call("upper", {std::move(s)});
  EXPECT_EQ(display(call("slice", {s, num(4), num(5)})), "É");
  // The remembered position of a text with wider characters goes with its change, too.
  Value t = Value::string("éaé");
  EXPECT_EQ(display(call("slice", {t, num(2), num(3)})), "é");
  t = call("concat", {std::move(t), Value::string("b")});
  t.mutable_string().insert(0, "ü");
  EXPECT_EQ(display(call("slice", {t, num(2), num(4)})), "aé");
  EXPECT_EQ(display(call("slice", {t, num(0), num(1)})), "ü");
}

TEST(Searching, ContainsAndSplitAgreeWithThePlainSearch) {
  std::mt19937 rng(5);
  for (int round = 0; round < 400; ++round) {
    std::string hay, needle;
    for (unsigned n = rng() % 30; n > 0; --n) hay += "ab"[rng() % 2];
    for (unsigned n = 1 + rng() % 4; n > 0; --n) needle += "ab"[rng() % 2];
    EXPECT_EQ(call("contains", {Value::string(hay), Value::string(needle)}).as_boolean(),
              hay.find(needle) != std::string::npos);
    std::string joined;
    Value split = call("split", {Value::string(hay), Value::string(needle)});
    std::span<const Value> parts = split.as_array();
    size_t expected = 1;
    for (size_t at = hay.find(needle); at != std::string::npos;
         at = hay.find(needle, at + needle.size()))
      ++expected;
    ASSERT_EQ(parts.size(), expected) << hay << " / " << needle;
    for (size_t i = 0; i < parts.size(); ++i) joined += (i ? needle : "") + parts[i].as_string();
    EXPECT_EQ(joined, hay);
  }
  EXPECT_TRUE(call("contains", {str("abc"), str("")}).as_boolean());
}

// A needle that nearly matches everywhere: a plain search compares it almost whole at every
// place. Timed for the record, not asserted.
TEST(Searching, NearlyMatchingNeedles) {
  std::string hay(4 << 20, 'a');
  std::string needle = std::string(1 << 16, 'a') + "b";
  auto t0 = std::chrono::steady_clock::now();
  EXPECT_FALSE(call("contains", {Value::string(hay), Value::string(needle)}).as_boolean());
  EXPECT_EQ(call("split", {Value::string(hay), Value::string(needle)}).as_array().size(), 1u);
  double ms =
      std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
  std::cout << "contains and split, 4 MiB against a 64 KiB near match: " << ms << " ms\n";
}

// Texts without a single ASCII character: every cut must carry the final-sigma context over.
TEST(CaseMapping, FinalSigmaIsExactAcrossAnyCut) {
  const char* texts[] = {
      "ΣΣΣΣΣΣΣΣΣΣΣΣΣΣ",
      "ΟΔΟΣ·ΑΣ·ΣΑ·Σ",
      "Σ\u0308Σ\u0308Σ\u0308Σ\u0308Σ\u0308Σ\u0308",  // sigmas with combining marks between
      "ΑΣ\u0308\u0308\u0308\u0308\u0308\u0308\u0308\u0308Α",
      "ΑΣ\u0308\u0308\u0308\u0308\u0308\u0308\u0308\u0308日",
      "日Σ\u0301\u0301\u0301\u0301ΑΣ\u0301\u0301\u0301\u0301",
      "ΣΑΣ𝐀Σ",
  };
  for (const char* text : texts) {
    std::string whole_lower = map_case(text, false, 1 << 20);
    std::string whole_upper = map_case(text, true, 1 << 20);
    for (size_t limit = 2; limit <= 24; ++limit) {
      EXPECT_EQ(map_case(text, false, limit), whole_lower) << text << " in pieces of " << limit;
      EXPECT_EQ(map_case(text, true, limit), whole_upper) << text << " in pieces of " << limit;
    }
  }
  EXPECT_EQ(map_case("ΑΣ\u0308\u0308Α", false, 4), "ασ\u0308\u0308α");
  EXPECT_EQ(map_case("ΑΣ\u0308\u0308日", false, 4), "ας\u0308\u0308日");
}

// Reading a million characters one at a time, through the binary, in ASCII text and in text
// with two-byte characters. Timed for the record.
TEST(Slicing, AMillionCharactersOneByOne) {
  std::string dir = temp_dir();
  for (const char* last : {"h", "é"}) {
    write_file(dir + "/walk.ov",
               std::string("let s = \"abcdefg") + last +
                   "\"\nwhile len(s) < 2000000 { s = s + s }\n"
                   "s = slice(s, 0, 1000000)\nlet i = 0\nlet n = 0\n"
                   "while i < 1000000 { if slice(s, i, i + 1) == \"" +
                   last + "\" { n = n + 1 } i = i + 1 }\nprint(n, slice(s, 999999, 1000001))\n");
    auto t0 = std::chrono::steady_clock::now();
    RunResult r = run_orvane({"walk.ov"}, "", dir);
    double ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    EXPECT_EQ(r.out, std::string("125000\n") + last + "\n");
    std::cout << "a million characters (" << last << ") read with slice, whole run: " << ms
              << " ms\n";
  }
}

// A file that shrinks while it is read gives what was there when each read happened: a
// prefix of the original, never an error or a crash.
TEST(Reading, AFileThatShrinksWhileItIsRead) {
  std::string dir = temp_dir();
  std::string path = dir + "/shrinking.ov";
  std::string original;
  for (int i = 0; original.size() < (8u << 20); ++i)
    original += "print(" + std::to_string(i) + ")\n";
  for (int round = 0; round < 5; ++round) {
    write_file(path, original);
    std::thread cutter([&] {
      std::this_thread::sleep_for(std::chrono::microseconds(200 * round));
      truncate(path.c_str(), 1000);
    });
    std::string text, error;
    bool ok = read_script(path, uint64_t{1} << 30, text, error);
    cutter.join();
    EXPECT_TRUE(ok) << error;
    EXPECT_GE(text.size(), 1000u);
    EXPECT_EQ(original.compare(0, text.size(), text), 0);
  }
}

}  // namespace
}  // namespace orvane
