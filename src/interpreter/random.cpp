#include "interpreter/random.hpp"

#include <sys/random.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace orvane {

namespace {

constexpr uint32_t rotl(uint32_t x, int n) { return (x << n) | (x >> (32 - n)); }

inline void quarter_round(uint32_t* s, int a, int b, int c, int d) {
  s[a] += s[b];
  s[d] = rotl(s[d] ^ s[a], 16);
  s[c] += s[d];
  s[b] = rotl(s[b] ^ s[c], 12);
  s[a] += s[b];
  s[d] = rotl(s[d] ^ s[a], 8);
  s[c] += s[d];
  s[b] = rotl(s[b] ^ s[c], 7);
}

constexpr int CHACHA_ROUNDS = 12;

// Fills `key` from getrandom, retrying after interruptions and short reads.
bool fill_from_getrandom(RandomSource::Key& key) {
  size_t got = 0;
  while (got < key.size()) {
    ssize_t n = getrandom(key.data() + got, key.size() - got, 0);
    if (n < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    got += static_cast<size_t>(n);
  }
  return true;
}

}  // namespace

std::array<uint32_t, 16> RandomSource::block(const std::array<uint32_t, 8>& key, uint64_t counter) {
  // "expand 32-byte k", then the key, the 64-bit counter and the 64-bit nonce (zero).
  std::array<uint32_t, 16> input = {0x61707865,
                                    0x3320646e,
                                    0x79622d32,
                                    0x6b206574,
                                    key[0],
                                    key[1],
                                    key[2],
                                    key[3],
                                    key[4],
                                    key[5],
                                    key[6],
                                    key[7],
                                    static_cast<uint32_t>(counter),
                                    static_cast<uint32_t>(counter >> 32),
                                    0,
                                    0};
  std::array<uint32_t, 16> s = input;
  for (int i = 0; i < CHACHA_ROUNDS; i += 2) {
    quarter_round(s.data(), 0, 4, 8, 12);
    quarter_round(s.data(), 1, 5, 9, 13);
    quarter_round(s.data(), 2, 6, 10, 14);
    quarter_round(s.data(), 3, 7, 11, 15);
    quarter_round(s.data(), 0, 5, 10, 15);
    quarter_round(s.data(), 1, 6, 11, 12);
    quarter_round(s.data(), 2, 7, 8, 13);
    quarter_round(s.data(), 3, 4, 9, 14);
  }
  for (size_t i = 0; i < 16; ++i) s[i] += input[i];
  return s;
}

RandomSource::Key RandomSource::os_key() {
  Key key{};
  if (fill_from_getrandom(key)) return key;
  // No kernel randomness (a very old kernel or a seccomp sandbox): a clock- and
  // address-derived key keeps the interpreter running; these numbers are not for secrets.
  uint64_t seed =
      static_cast<uint64_t>(std::chrono::high_resolution_clock::now().time_since_epoch().count());
  seed ^= reinterpret_cast<uintptr_t>(&key);
  for (size_t i = 0; i < key.size(); i += 8) {
    seed += 0x9E3779B97F4A7C15ull;
    uint64_t z = seed;
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    z ^= z >> 31;
    std::memcpy(key.data() + i, &z, 8);
  }
  return key;
}

RandomSource::RandomSource() : RandomSource(&RandomSource::os_key) {}

RandomSource::RandomSource(KeySource key_source) : m_key_source(std::move(key_source)) {}

RandomSource& RandomSource::for_thread() {
  static thread_local RandomSource source;
  return source;
}

void RandomSource::rekey() {
  Key bytes = m_key_source();
  for (size_t i = 0; i < m_key.size(); ++i)
    m_key[i] = uint32_t{bytes[4 * i]} | uint32_t{bytes[4 * i + 1]} << 8 |
               uint32_t{bytes[4 * i + 2]} << 16 | uint32_t{bytes[4 * i + 3]} << 24;
  // A new key starts a new keystream.
  m_counter = 0;
  m_keyed = true;
}

void RandomSource::refill() {
  if (!m_keyed) {
    rekey();
    m_budget -= static_cast<int64_t>(sizeof m_buffer);
  } else if (m_budget <= 0) {
    rekey();
    m_budget = RESEED_BUDGET - static_cast<int64_t>(sizeof m_buffer);
  } else {
    m_budget -= static_cast<int64_t>(sizeof m_buffer);
  }
  for (size_t b = 0; b < BLOCKS_PER_REFILL; ++b) {
    std::array<uint32_t, 16> words = block(m_key, m_counter++);
    std::memcpy(m_buffer.data() + 16 * b, words.data(), sizeof words);
  }
  m_next = 0;
}

uint32_t RandomSource::next_u32() {
  if (m_next == m_buffer.size()) refill();
  return m_buffer[m_next++];
}

uint64_t RandomSource::next_u64() {
  if (m_next + 2 <= m_buffer.size()) {
    uint64_t low = m_buffer[m_next];
    uint64_t high = m_buffer[m_next + 1];
    m_next += 2;
    return high << 32 | low;
  }
  // Zero or one word left: the low half comes first, refilling in between if needed.
  uint64_t low = next_u32();
  uint64_t high = next_u32();
  return high << 32 | low;
}

double unit_interval(uint64_t bits) { return static_cast<double>(bits >> 11) * 0x1.0p-53; }

std::optional<int64_t> range_value(uint64_t bits, int64_t low, int64_t high) {
  auto r = static_cast<int64_t>(bits);
  auto d = static_cast<int64_t>(static_cast<uint64_t>(high) - static_cast<uint64_t>(low));
  if (d == 0) return std::nullopt;
  // INT64_MIN rem -1 is 0, but the machine division would trap.
  int64_t rem = d == -1 ? 0 : r % d;
  return static_cast<int64_t>(static_cast<uint64_t>(low) + static_cast<uint64_t>(rem));
}

}  // namespace orvane
