// The show's pool of global transitions: the effect groups named by the
// main section, the order in which the active groups take turns, and the
// choice of the next global transition.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

#include "core/strings.h"
#include "show/show_random.h"

namespace zel {

class TIniIdentList;

inline constexpr int32_t kEffectGroupCount = 19;
// The class whose variants are the show's custom effects.
inline constexpr int32_t kCustomEffectClass = 18;

// One effect class in the pool ("opt_fx_eff" followed by class + 1): the
// variants it holds as a mask (bit v - 1 for variant v) and the string that
// lists them, one character per variant entry.
struct TEffGroup {
  uint16_t mask = 0;
  int32_t charCount = 0;
  TString text;
};

// A transition class and variant; class 0 is no transition.
struct TEffectChoice {
  int32_t effectClass = 0;
  int32_t variant = 0;
  bool operator==(const TEffectChoice&) const = default;
};

class TEffectPool {
 public:
  explicit TEffectPool(TShowRandom& random) : fRandom(random) {}

  // Reads the groups and, when globalOn, the custom effect descriptions;
  // shuffles the active groups. Returns whether global transitions stay on
  // (they go off when no group is active).
  bool Read(const TIniIdentList& main, bool globalOn);

  // The next global transition: the active groups take turns in their
  // shuffled order (shuffled anew at the start of every round), and within
  // a group consecutive choices alternate between even and odd positions of
  // its string. Class 0, variant 0 when global transitions are off.
  TEffectChoice Choose();

  bool On() const noexcept { return fOn; }
  const std::array<TEffGroup, kEffectGroupCount>& Groups() const noexcept { return fGroups; }
  // Group numbers in their current play order.
  const std::vector<int32_t>& ActiveGroups() const noexcept { return fActive; }
  // The descriptions of the custom effects the pool names, joined by "|".
  const TString& CustomEffects() const noexcept { return fCustomEffects; }
  // Flips with every global choice.
  bool Alternation() const noexcept { return fAlternation; }
  uint64_t ChoiceCount() const noexcept { return fCounter; }

 private:
  void Shuffle();

  TShowRandom& fRandom;
  std::array<TEffGroup, kEffectGroupCount> fGroups;
  std::vector<int32_t> fActive;
  TString fCustomEffects;
  uint64_t fCounter = 0;
  bool fAlternation = false;
  bool fOn = false;
};

}  // namespace zel
