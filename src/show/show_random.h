// The random numbers of a show: the transition pool's shuffles and draws
// and the random slide order.
//
// Every generator is seeded from the clock, so that transitions and slide
// orders differ between runs. When the environment variable
// ZEL_RANDOM_SEED holds a number, each generator starts from that number
// instead and later re-seeding leaves its sequence alone, so that a run can
// be reproduced exactly.
#pragma once

#include <cstdint>
#include <optional>
#include <random>

namespace zel {

// The seed ZEL_RANDOM_SEED asks for, or nothing when it is unset or not a
// decimal number.
std::optional<uint64_t> FixedRandomSeed();

class TShowRandom {
 public:
  // Seeded from ZEL_RANDOM_SEED when set, else from the clock.
  TShowRandom();
  explicit TShowRandom(uint64_t seed) : fEngine(seed), fFixed(true) {}

  // Seeds anew from the clock; a generator with a fixed seed keeps going.
  void Randomize();
  // Uniform in 0 ... bound - 1 (0 when bound is 0), without modulo bias.
  uint32_t Next(uint32_t bound);
  bool Fixed() const noexcept { return fFixed; }

 private:
  std::mt19937_64 fEngine;
  bool fFixed = false;
};

}  // namespace zel
