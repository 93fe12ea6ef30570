#include "show/show_random.h"

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <limits>

namespace zel {

namespace {

// Two re-seeds within one clock tick must still differ, so every seed also
// takes a process-wide serial number; SplitMix64 spreads the bits.
uint64_t ClockSeed() {
  static std::atomic<uint64_t> serial{0};
  uint64_t z = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count()) +
               0x9E3779B97F4A7C15ull * (serial.fetch_add(1, std::memory_order_relaxed) + 1);
  z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
  z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
  return z ^ (z >> 31);
}

}  // namespace

std::optional<uint64_t> FixedRandomSeed() {
  const char* text = std::getenv("ZEL_RANDOM_SEED");
  if (!text || !*text) return std::nullopt;
  uint64_t value = 0;
  for (const char* p = text; *p; ++p) {
    if (*p < '0' || *p > '9') return std::nullopt;
    const uint64_t digit = static_cast<uint64_t>(*p - '0');
    if (value > (std::numeric_limits<uint64_t>::max() - digit) / 10) return std::nullopt;
    value = value * 10 + digit;
  }
  return value;
}

TShowRandom::TShowRandom() {
  if (const auto seed = FixedRandomSeed()) {
    fEngine.seed(*seed);
    fFixed = true;
  } else {
    fEngine.seed(ClockSeed());
  }
}

void TShowRandom::Randomize() {
  if (!fFixed) fEngine.seed(ClockSeed());
}

uint32_t TShowRandom::Next(uint32_t bound) {
  if (bound == 0) return 0;
  // Lemire's multiply-and-reject: exact uniformity and the same sequence on
  // every standard library (std::uniform_int_distribution is not portable).
  uint64_t product = static_cast<uint64_t>(static_cast<uint32_t>(fEngine() >> 32)) * bound;
  uint32_t low = static_cast<uint32_t>(product);
  if (low < bound) {
    const uint32_t threshold = static_cast<uint32_t>(-bound) % bound;
    while (low < threshold) {
      product = static_cast<uint64_t>(static_cast<uint32_t>(fEngine() >> 32)) * bound;
      low = static_cast<uint32_t>(product);
    }
  }
  return static_cast<uint32_t>(product >> 32);
}

}  // namespace zel
