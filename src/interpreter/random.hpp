// The generator behind `random` and `random_range`: the ChaCha12 keystream, read as
// little-endian 32-bit words, four blocks at a time, rekeyed from the operating system after
// every 64 KiB of output.
#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <optional>

namespace orvane {

class RandomSource {
 public:
  using Key = std::array<uint8_t, 32>;
  // Supplies a fresh 256-bit key; called at the first draw and at every reseed.
  using KeySource = std::function<Key()>;

  // Bytes of output after which the next refill draws a fresh key.
  static constexpr int64_t RESEED_BUDGET = 65536;
  static constexpr size_t BLOCKS_PER_REFILL = 4;
  static constexpr size_t WORDS_PER_REFILL = BLOCKS_PER_REFILL * 16;

  // The default key source is the operating system (getrandom).
  RandomSource();
  explicit RandomSource(KeySource key_source);

  uint32_t next_u32();
  // Two words, the first as the low half; may straddle a refill.
  uint64_t next_u64();

  // The calling thread's generator, created on first use.
  static RandomSource& for_thread();

  // 32 bytes from the operating system's random source.
  static Key os_key();

  // One ChaCha12 block for `key` (as little-endian words) at block `counter`, nonce zero.
  static std::array<uint32_t, 16> block(const std::array<uint32_t, 8>& key, uint64_t counter);

 private:
  void refill();
  void rekey();

  KeySource m_key_source;
  std::array<uint32_t, 8> m_key{};
  uint64_t m_counter = 0;
  int64_t m_budget = RESEED_BUDGET;
  bool m_keyed = false;
  std::array<uint32_t, WORDS_PER_REFILL> m_buffer{};
  size_t m_next = WORDS_PER_REFILL;
};

// A Float in [0, 1) from the top 53 bits of a 64-bit output.
double unit_interval(uint64_t bits);

// low + (r rem (high - low)) with r the output read as signed, wrapping in 64 bits; the result
// may lie below low. Empty when high equals low (no remainder exists).
std::optional<int64_t> range_value(uint64_t bits, int64_t low, int64_t high);

}  // namespace orvane
