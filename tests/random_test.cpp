// The ChaCha12 generator and the two random builtins drawn from it.
#include "interpreter/random.hpp"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "interpreter/builtins.hpp"
#include "interpreter/graphics.hpp"

namespace orvane {
namespace {

// Hands out keys whose every byte is the number of the draw (1, 2, ...), counting draws.
struct CountingKeys {
  int* draws;
  RandomSource::Key operator()() const {
    RandomSource::Key key;
    key.fill(static_cast<uint8_t>(++*draws));
    return key;
  }
};

RandomSource::Key zero_key() { return {}; }

std::array<uint32_t, 8> key_words(uint8_t byte) {
  uint32_t w = byte * 0x01010101u;
  return {w, w, w, w, w, w, w, w};
}

// Little-endian words of a hex keystream.
std::vector<uint32_t> words_of(const std::string& hex) {
  std::vector<uint32_t> words;
  for (size_t i = 0; i + 8 <= hex.size(); i += 8) {
    uint32_t w = 0;
    for (int b = 3; b >= 0; --b) w = w << 8 | std::stoul(hex.substr(i + 2 * b, 2), nullptr, 16);
    words.push_back(w);
  }
  return words;
}

TEST(RandomSource, ZeroKeyMatchesChaCha12Keystream) {
  // Two blocks for key 0, nonce 0, counters 0 and 1.
  std::vector<uint32_t> expected = words_of(
      "9bf49a6a0755f953811fce125f2683d50429c3bb49e074147e0089a52eae155f"
      "0564f879d27ae3c02ce82834acfa8c793a629f2ca0de6919610be82f411326be"
      "0bd58841203e74fe86fc71338ce0173dc628ebb719bdcbcc151585214cc089b4"
      "42258dcda14cf111c602b8971b8cc843e91e46ca905151c02744a6b017e69316");
  RandomSource source(zero_key);
  for (size_t i = 0; i < expected.size(); ++i) EXPECT_EQ(source.next_u32(), expected[i]) << i;
  // The same stream as 64-bit outputs, low word first.
  RandomSource wide(zero_key);
  for (uint64_t e :
       {0x53f955076a9af49bull, 0xd583265f12ce1f81ull, 0x1474e049bbc32904ull, 0x5f15ae2ea589007eull})
    EXPECT_EQ(wide.next_u64(), e);
}

TEST(RandomSource, BufferHoldsFourConsecutiveBlocks) {
  int draws = 0;
  RandomSource source(CountingKeys{&draws});
  // Three refills: blocks 0 to 11 of the same key, no gap and no repeat between refills.
  for (uint64_t counter = 0; counter < 12; ++counter) {
    std::array<uint32_t, 16> block = RandomSource::block(key_words(1), counter);
    for (uint32_t word : block) ASSERT_EQ(source.next_u32(), word) << "block " << counter;
  }
  EXPECT_EQ(draws, 1);
}

TEST(RandomSource, OutputStraddlingARefillTakesTheLastWordAsLowHalf) {
  for (size_t odd : {1u, 63u, 127u}) {
    RandomSource a(zero_key), b(zero_key);
    std::vector<uint32_t> words;
    for (size_t i = 0; i < odd + 2; ++i) words.push_back(b.next_u32());
    for (size_t i = 0; i < odd; ++i) a.next_u32();
    uint64_t expected = uint64_t{words[odd + 1]} << 32 | words[odd];
    EXPECT_EQ(a.next_u64(), expected) << odd << " words drawn before";
    // The stream goes on after the straddling output without losing a word.
    EXPECT_EQ(a.next_u32(), b.next_u32());
  }
}

TEST(RandomSource, ReseedsAfterEvery256Refills) {
  constexpr size_t refill = RandomSource::WORDS_PER_REFILL;
  int draws = 0;
  RandomSource source(CountingKeys{&draws});
  EXPECT_EQ(draws, 0);  // the key comes with the first draw
  // Refills 1 to 256 spend the budget of 65536 bytes on the first key.
  for (size_t i = 0; i < 256 * refill; ++i) source.next_u32();
  EXPECT_EQ(draws, 1);
  // Refill 257 finds the budget at zero: a new key, whose stream starts at block 0.
  EXPECT_EQ(source.next_u32(), RandomSource::block(key_words(2), 0)[0]);
  EXPECT_EQ(draws, 2);
  // The budget restarts at 65536 less that refill: 255 more refills, then the next key.
  for (size_t i = 1; i < 256 * refill; ++i) source.next_u32();
  EXPECT_EQ(draws, 2);
  EXPECT_EQ(source.next_u32(), RandomSource::block(key_words(3), 0)[0]);
  EXPECT_EQ(draws, 3);
}

TEST(RandomSource, ReseedInsideAStraddlingOutput) {
  int draws = 0;
  RandomSource source(CountingKeys{&draws});
  for (size_t i = 0; i < 256 * RandomSource::WORDS_PER_REFILL - 1; ++i) source.next_u32();
  uint32_t last_of_first_key = RandomSource::block(key_words(1), 1023)[15];
  uint32_t first_of_second_key = RandomSource::block(key_words(2), 0)[0];
  EXPECT_EQ(source.next_u64(), uint64_t{first_of_second_key} << 32 | last_of_first_key);
  EXPECT_EQ(draws, 2);
}

TEST(RandomSource, OperatingSystemKeysDiffer) {
  EXPECT_NE(RandomSource::os_key(), RandomSource::os_key());
}

TEST(RandomDerivation, UnitIntervalUsesTheTop53Bits) {
  struct Case {
    uint64_t bits;
    double expected;
  } cases[] = {
      {0, 0.0},
      {0x7ff, 0.0},  // the low 11 bits are dropped
      {uint64_t{1} << 11, 0x1.0p-53},
      {uint64_t{1} << 63, 0.5},
      {UINT64_MAX, 1.0 - 0x1.0p-53},  // never 1
  };
  for (const Case& c : cases) EXPECT_EQ(unit_interval(c.bits), c.expected) << c.bits;
}

TEST(RandomDerivation, RangeUsesTheSignedTruncatingRemainder) {
  constexpr int64_t MIN = INT64_MIN, MAX = INT64_MAX;
  struct Case {
    int64_t r, low, high;
    std::optional<int64_t> expected;
  } cases[] = {
      {0, 1, 10, 1},
      {17, 1, 10, 9},  // high itself is out of reach
      {-1, 1, 10, 0},  // negative draws land below low
      {-17, 1, 10, -7},
      {MIN, 1, 10, -7},  // 2^63 rem 9 is 8
      {MAX, 0, 1, 0},
      {7, 10, 7, 11},  // high below low: d is -3, 7 rem -3 is 1
      {5, 3, 3, std::nullopt},
      {MIN, 5, 4, 5},  // MIN rem -1 is 0 (the machine division would trap)
      {7, 5, 4, 5},
      {123, MAX, MIN, MAX},         // d wraps to 1
      {123, MIN, MAX, MIN},         // d wraps to -1
      {5, MAX, MAX - 10, MIN + 4},  // the sum wraps
  };
  for (const Case& c : cases)
    EXPECT_EQ(range_value(static_cast<uint64_t>(c.r), c.low, c.high), c.expected)
        << c.r << " in " << c.low << ".." << c.high;
}

Value call(std::string_view name, std::vector<Value> args) {
  GraphicsContext graphics;
  return *call_builtin(name, std::move(args), graphics);
}

TEST(RandomBuiltins, RandomIsAFloatInTheHalfOpenUnitInterval) {
  double lowest = 1, highest = 0;
  for (int i = 0; i < 100000; ++i) {
    Value v = call("random", {Value::string("ignored")});
    ASSERT_TRUE(v.is(Value::Float));
    ASSERT_GE(v.as_float(), 0.0);
    ASSERT_LT(v.as_float(), 1.0);
    lowest = std::min(lowest, v.as_float());
    highest = std::max(highest, v.as_float());
  }
  // A stuck or narrow generator would not spread this far.
  EXPECT_LT(lowest, 0.001);
  EXPECT_GT(highest, 0.999);
}

TEST(RandomBuiltins, RangeOneToTenCoversMinusSevenToNine) {
  std::set<int64_t> seen;
  for (int i = 0; i < 20000; ++i) {
    Value v = call("random_range", {Value::number(1), Value::real(10.7)});
    ASSERT_TRUE(v.is(Value::Number));
    seen.insert(v.as_number());
  }
  std::set<int64_t> expected;
  for (int64_t n = -7; n <= 9; ++n) expected.insert(n);
  EXPECT_EQ(seen, expected);
}

TEST(RandomBuiltins, RangeMisuseGivesNull) {
  std::vector<Value> misuses[] = {
      {Value::real(3.9), Value::number(3)},  // bounds equal after truncation
      {Value::number(1)},
      {Value::string("1"), Value::number(10)},
  };
  for (auto& args : misuses) EXPECT_TRUE(call("random_range", std::move(args)).is(Value::Null));
}

}  // namespace
}  // namespace orvane
