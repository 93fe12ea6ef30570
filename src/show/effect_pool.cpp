#include "show/effect_pool.h"

#include <set>

#include "ini/ini_document.h"

#include "show/effect_params.h"

namespace zel {

namespace {

// The custom effects named by the last group's string, a comma-separated
// list of numbers; numbers outside the described ones are ignored. Each
// description is taken once, in ascending order.
TString CustomEffectsOf(const TIniIdentList& main, TStringView numbers) {
  const int64_t described = main.ReadInteger(u"opt_fx_custom_count", 0);
  std::set<int64_t> marked;
  for (const TString& item : IniSplitList(numbers))
    if (const auto n = TryStrToInt(item); n && *n >= 0 && *n < described) marked.insert(*n);
  TString text;
  bool first = true;
  for (const int64_t n : marked) {
    if (!first) text += u'|';
    first = false;
    text += main.ReadString(u"opt_fx_custom" + IntToStr(n), u"");
  }
  return text;
}

}  // namespace

bool TEffectPool::Read(const TIniIdentList& main, bool globalOn) {
  fActive.clear();
  for (int32_t g = 0; g < kEffectGroupCount; ++g) {
    TEffGroup& group = fGroups[static_cast<size_t>(g)];
    group.text = main.ReadString(u"opt_fx_eff" + IntToStr(g + 1), u"");
    group.charCount = static_cast<int32_t>(group.text.size());
    group.mask = 0;
    for (const char16_t c : group.text) group.mask |= static_cast<uint16_t>(1u << (EffectVariantOfChar(c) - 1));
    if (group.mask != 0) fActive.push_back(g);
  }
  fCustomEffects = globalOn ? CustomEffectsOf(main, fGroups[kCustomEffectClass].text) : TString();
  fOn = globalOn && !fActive.empty();
  if (!fActive.empty()) Shuffle();
  return fOn;
}

void TEffectPool::Shuffle() {
  fRandom.Randomize();
  const size_t n = fActive.size();
  for (size_t i = 0; i + 1 < n; ++i) {
    const size_t r = fRandom.Next(static_cast<uint32_t>(n - i));
    if (r != i) std::swap(fActive[i], fActive[r]);
  }
}

TEffectChoice TEffectPool::Choose() {
  if (!fOn) return {};
  const size_t k = static_cast<size_t>(fCounter % fActive.size());
  ++fCounter;
  if (k == 0) Shuffle();
  const int32_t groupNumber = fActive[k];
  const TEffGroup& group = fGroups[static_cast<size_t>(groupNumber)];
  const auto count = static_cast<uint32_t>(group.charCount);
  uint32_t b = fRandom.Next(count);
  // Move b to the neighbouring position when its evenness does not match
  // the alternation flag.
  if ((b % 2 == 0) != fAlternation) b = b + 1 == count ? 0 : b + 1;
  fAlternation = !fAlternation;
  return {groupNumber, EffectVariantOfChar(group.text[b])};
}

}  // namespace zel
