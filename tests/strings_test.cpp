// The string and collection builtins: byte and character measures, case mapping, display-form
// searching, and collections that are rebuilt without touching a shared original.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <vector>

#include "builtin_cases.hpp"
#include "interpreter/builtins.hpp"
#include "interpreter/graphics.hpp"

namespace orvane {

// The case mapper, cutting the text into pieces of at most `limit` bytes.
std::string map_case(std::string_view text, bool to_upper, size_t limit);

namespace {

using namespace orvane::testing;

Value arr(std::vector<Value> items) { return Value::array(std::move(items)); }

TEST(StringBuiltins, LenCountsBytesElementsAndEntries) {
  DictMap two;
  two.insert("a", num(1));
  two.insert("b", num(2));
  two.insert("a", num(3));
  expect_results({
      {"len", {str("héllo")}, num(6)},
      {"len", {str("😀")}, num(4)},
      {"len", {arr({})}, num(0)},
      {"len", {arr({str("ab"), arr({num(1), num(2)})})}, num(2)},
      {"len", {Value::dict(two)}, num(2)},
      {"len", {num(12345)}, Value::null()},
      {"len", {}, Value::null()},
  });
}

TEST(StringBuiltins, CaseMappingIsFullAndLocaleIndependent) {
  expect_results({
      {"upper", {str("Hello, World 42")}, str("HELLO, WORLD 42")},
      {"lower", {str("Hello, World 42")}, str("hello, world 42")},
      {"upper", {str("straße")}, str("STRASSE")},
      {"upper", {str("ﬁne ﬄ")}, str("FINE FFL")},
      {"upper", {str("ŉ")}, str("ʼN")},
      {"upper", {str("ΐ")}, str("\u0399\u0308\u0301")},  // one letter, three characters
      {"upper", {str("ǆ")}, str("Ǆ")},
      // Root locale: no Turkish dotted and dotless i tailoring.
      {"upper", {str("i ı")}, str("I I")},
      {"lower", {str("İ")}, str("i\u0307")},
      // Final sigma: at the end of a word, not inside, not standing alone.
      {"lower", {str("ΟΔΟΣ")}, str("οδος")},
      {"lower", {str("ΟΔΟΣ ΣΑ Σ")}, str("οδος σα σ")},
      {"lower", {str("ΟΔΟΣ.")}, str("οδος.")},
      {"lower", {str("ΑΣ'Α")}, str("ασ'α")},  // the apostrophe is case-ignorable
      {"lower", {str("ΑΣ1")}, str("ας1")},
      {"upper", {str("ς")}, str("Σ")},
      {"upper", {str("日本語 123 😀 ٣")}, str("日本語 123 😀 ٣")},
      {"upper", {num(1)}, Value::null()},
      {"lower", {arr({str("A")})}, Value::null()},
  });
}

TEST(StringBuiltins, CaseMappingOfLongTextsCutsWhereNoContextCrosses) {
  // Words joined by case-ignorable punctuation, separated by pairs of blanks every few words.
  std::string text;
  const char* words[] = {"ΟΔΟΣ", "ΑΣ'Σ", "Σ.Α", "aΣ", "ß:Σ", "ΣΣ", "Σ^", "x`Σ'"};
  for (int i = 0; i < 60; ++i) {
    text += words[i % 8];
    text += (i % 3 == 2) ? "  " : ".";
  }
  std::string whole_lower = map_case(text, false, text.size());
  std::string whole_upper = map_case(text, true, text.size());
  for (size_t limit = 50; limit <= 100; ++limit) {
    EXPECT_EQ(map_case(text, false, limit), whole_lower) << "pieces of " << limit;
    EXPECT_EQ(map_case(text, true, limit), whole_upper) << "pieces of " << limit;
  }
  // Without a safe place to cut, a piece still ends on a character boundary.
  EXPECT_EQ(map_case("ééééé", true, 3), "ÉÉÉÉÉ");
}

TEST(StringBuiltins, SliceCountsCharacters) {
  expect_results({
      {"slice", {str("héllo"), num(0), num(2)}, str("hé")},
      {"slice", {str("hello"), num(1), num(3)}, str("el")},
      {"slice", {str("hello"), num(3), num(1)}, str("lo")},  // wrapped count: to the end
      {"slice", {str("hello"), num(-1), num(3)}, str("")},   // negative start: past the end
      {"slice", {str("hello"), num(2), num(100)}, str("llo")},
      {"slice", {str("hello"), flt(1.9), flt(3.9)}, str("el")},
      {"slice", {str("hello"), num(2), num(2)}, str("")},
      {"slice", {str("hello"), num(0), num(-1)}, str("hello")},
      {"slice", {str("hello"), flt(NAN), num(2)}, str("he")},
      {"slice", {str("hello"), num(1), flt(1e300)}, str("ello")},
      {"slice", {str("日本語テキスト"), num(2), num(4)}, str("語テ")},
      {"slice", {str("a😀b"), num(1), num(2)}, str("😀")},
      {"slice", {str("ééé"), num(2), num(6)}, str("é")},  // 6 bytes, but only 3 characters
      {"slice", {str("ab"), num(INT64_MAX), num(INT64_MIN)}, str("")},
      {"slice", {arr({num(1)}), num(0), num(1)}, Value::null()},
      {"slice", {str("hello"), str("1"), num(3)}, Value::null()},
      {"slice", {str("hello"), num(1)}, Value::null()},
  });
}

TEST(StringBuiltins, SplitKeepsEmptyPiecesAndWorksOnDisplayForms) {
  struct SplitCase {
    Value text, separator;
    std::vector<std::string> pieces;
  } cases[] = {
      {str("a,,b"), str(","), {"a", "", "b"}},
      {str(",a,"), str(","), {"", "a", ""}},
      {str("aaa"), str("aa"), {"", "a"}},
      {str("aaaa"), str("aa"), {"", "", ""}},
      {str("abc"), str("x"), {"abc"}},
      {str(""), str(","), {""}},
      {str("abc"), str(""), {"", "a", "b", "c", ""}},
      {str("héé"), str(""), {"", "h", "é", "é", ""}},
      {str(""), str(""), {"", ""}},
      {num(12345), num(3), {"12", "45"}},
      {arr({num(1), str("a")}), str(", "), {"[1", "a]"}},
      {Value::boolean(true), str("u"), {"tr", "e"}},
      {Value::null(), str(""), {"", "n", "u", "l", "l", ""}},
  };
  for (SplitCase& c : cases) {
    std::string label = display(c.text) + " by '" + display(c.separator) + "'";
    Value got = call("split", {c.text, c.separator});
    ASSERT_TRUE(got.is(Value::Array)) << label;
    std::vector<std::string> pieces;
    for (const Value& piece : got.as_array()) {
      EXPECT_TRUE(piece.is(Value::String)) << label;
      pieces.push_back(display(piece));
    }
    EXPECT_EQ(pieces, c.pieces) << label;
  }
  EXPECT_TRUE(call("split", {str("abc")}).is(Value::Null));
}

TEST(StringBuiltins, ConcatAndContainsUseDisplayForms) {
  expect_results({
      {"concat", {}, str("")},
      {"concat", {num(1), str("x"), Value::boolean(true)}, str("1xtrue")},
      {"concat", {Value::null(), flt(2.5), arr({num(1), str("a")})}, str("null2.5[1, a]")},
      {"contains", {str("hello"), str("")}, Value::boolean(true)},
      {"contains", {str("abc"), str("abcd")}, Value::boolean(false)},
      {"contains", {str("héllo"), str("é")}, Value::boolean(true)},
      {"contains", {arr({num(12)}), num(1)}, Value::boolean(true)},
      {"contains", {arr({num(1), num(2)}), str(", ")}, Value::boolean(true)},
      {"contains", {num(12345), num(234)}, Value::boolean(true)},
      {"contains", {str("a null"), Value::null()}, Value::boolean(true)},
      {"contains", {str("abc"), Value::null()}, Value::boolean(false)},
      {"contains", {str("abc")}, Value::null()},
  });
}

TEST(StringBuiltins, CollectionBuiltins) {
  expect_results({
      {"push", {arr({num(1)}), num(2)}, arr({num(1), num(2)})},
      {"push", {str("a"), num(1)}, Value::null()},
      {"push", {arr({num(1)})}, Value::null()},
      {"pop", {arr({num(1), num(2), num(3)})}, num(3)},
      {"pop", {arr({})}, Value::null()},
      {"pop", {str("abc")}, Value::null()},
      {"reverse", {arr({num(1), str("b"), flt(2.5)})}, arr({flt(2.5), str("b"), num(1)})},
      {"reverse", {str("ab")}, Value::null()},
      {"reverse", {}, Value::null()},
  });
}

// The variable's copy stands for a shared payload: a builtin that changed it in place would
// change what another variable sees.
TEST(StringBuiltins, SharedArgumentsAreNeverChanged) {
  Value array = arr({num(1), num(2)});
  Value text = str("ab");
  EXPECT_EQ(display(call("push", {array, num(3)})), "[1, 2, 3]");
  EXPECT_EQ(display(call("push", {array, array})), "[1, 2, [1, 2]]");
  EXPECT_EQ(display(call("reverse", {array})), "[2, 1]");
  EXPECT_EQ(display(call("pop", {array})), "2");
  EXPECT_EQ(display(call("concat", {text, text})), "abab");
  EXPECT_EQ(display(call("upper", {text})), "AB");
  EXPECT_EQ(display(array), "[1, 2]");
  EXPECT_EQ(display(text), "ab");
}

// `a = push(a, x)` hands over the only reference; the append must reuse it to stay O(1).
TEST(StringBuiltins, UniquelyOwnedPayloadsAreReused) {
  GraphicsContext graphics;
  // A uniquely held array with room grows where it is.
  Value with_room = Value::empty_array(2);
  append_in_place(with_room, num(1));
  std::vector<Value> args = {with_room, num(2)};
  with_room = Value();
  const void* array_payload = args[0].payload_identity();
  Value pushed = call_builtin_at(builtin_index("push"), args, graphics);
  EXPECT_EQ(pushed.payload_identity(), array_payload);
  EXPECT_EQ(display(pushed), "[1, 2]");

  args = {str("ab"), str("cd"), num(1)};
  const void* string_payload = args[0].payload_identity();
  Value joined = call_builtin_at(builtin_index("concat"), args, graphics);
  EXPECT_EQ(joined.payload_identity(), string_payload);
  EXPECT_EQ(display(joined), "abcd1");
}

}  // namespace
}  // namespace orvane
