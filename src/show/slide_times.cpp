#include "show/slide_times.h"

#include <algorithm>
#include <cmath>

#include "core/obj.h"
#include "ini/ini_document.h"

namespace zel {

const char* const kIncorrectTimeMessage = "Incorrect time";

TSlideAnchorTimes SlideAnchorTimes(const TSlideInfo& info) {
  return TSlideAnchorTimes(info.start, info.end, info.inEffect, info.outEffect);
}

TString SlideIdOf(const TIniIdentList* slideSection) {
  if (!slideSection) return {};
  TString id = slideSection->ReadString(u"slideid", u"");
  if (!id.empty()) return id;
  // Pictures are named with Windows folders ("C:\Photos\Trip\img_01.jpg").
  TString name = slideSection->ReadString(u"picture", u"");
  while (!name.empty() && name.back() == u'\\') name.pop_back();
  if (const size_t slash = name.rfind(u'\\'); slash != TString::npos) name.erase(0, slash + 1);
  if (const size_t dot = name.rfind(u'.'); dot != TString::npos) name.erase(dot);
  return name;
}

TSlideTimeTable TSlideTimeTable::Build(const TIniIdentList& main, int32_t count, const TSectionAt& sectionAt,
                                       const TEffectDurationAt& effectDurationAt) {
  TSlideTimeTable table;
  table.fSlides.reserve(static_cast<size_t>(std::max(count, 0)));
  double prev = 0;
  for (int32_t i = 0; i < count; ++i) {
    const double e = main.ReadInteger(u"opt_synchpos" + IntToStr(int64_t{i} + 1), 0);
    if (e < prev) throw ESlideTimeError(kIncorrectTimeMessage);
    TSlideInfo info;
    info.start = prev;
    info.end = e;
    info.inEffect = std::min(effectDurationAt(i), info.end - info.start);
    info.outEffect = effectDurationAt(i + 1);
    info.outEnd = info.end + info.outEffect;
    info.slideId = SlideIdOf(sectionAt(i));
    table.fSlides.push_back(std::move(info));
    table.fEnds.push_back(e);
    prev = e;
  }
  table.fTotal = prev;
  return table;
}

TSlideInfo TSlideTimeTable::SlideTimes(int64_t position) const {
  ZEL_ASSERT(!fSlides.empty(), "Slide times asked without slides");
  const auto count = static_cast<int64_t>(fSlides.size());
  TSlideInfo info;
  if (position == -1) {
    info.start = kBeforeShowStart;
    info.outEffect = fSlides.front().inEffect;
    info.outEnd = info.outEffect;
    return info;
  }
  if (position < -1) {
    info.start = kFarBeforeShowStart;
    info.end = info.outEnd = kBeforeShowStart;
    return info;
  }
  info = fSlides[static_cast<size_t>(position % count)];
  const double shift = static_cast<double>(position / count) * fTotal;
  info.start += shift;
  info.end += shift;
  info.outEnd += shift;
  return info;
}

int64_t TSlideTimeTable::SlideAtTime(double time) const {
  ZEL_ASSERT(!fSlides.empty(), "Slide times asked without slides");
  const auto count = static_cast<int64_t>(fSlides.size());
  if (std::isnan(time) || (time >= kBeforeShowStart && time <= 0)) return -1;
  if (time < kBeforeShowStart) return -2;
  if (fTotal <= 0) return count - 1;
  // Slides follow each other without gaps, so the first position whose end
  // is not before the time is the one: its start is the previous end. Find
  // the round first, then the slide inside it.
  constexpr double kMaxRounds = 9007199254740992.0;  // 2^53: positions stay exact
  double rounds = std::floor(time / fTotal);
  if (rounds * static_cast<double>(count) >= kMaxRounds) rounds = std::floor(kMaxRounds / static_cast<double>(count));
  double local = time - rounds * fTotal;
  // A time on a round's boundary belongs to the end of the round before.
  if (local <= 0 && rounds > 0) {
    rounds -= 1;
    local = fTotal;
  }
  local = std::min(local, fTotal);
  const auto slide = std::lower_bound(fEnds.begin(), fEnds.end(), local) - fEnds.begin();
  return static_cast<int64_t>(rounds) * count + std::min<int64_t>(slide, count - 1);
}

TSlideEndBehaviour SlideEndBehaviourOf(const TIniIdentList* slideSection, const TIniIdentList& main,
                                       const TSlideInfo& times) {
  if (slideSection && slideSection->ReadBool(u"UsePersonal", false)) {
    const TIniIdent* action = slideSection->FindKey(u"Pers_EndAction");
    if (!action) return {};
    const TStringView value = action->ValueView();
    if (value == u"pause") return {true, 0};
    if (value == u"loop") {
      const double length = times.end - times.start - times.inEffect;
      // A loop of no length would replay the slide for ever without moving.
      return length > 0 ? TSlideEndBehaviour{false, length} : TSlideEndBehaviour{};
    }
    if (!value.empty()) return {};
  }
  return {main.ReadString(u"opt_manualshow", u"") == u"1", 0};
}

std::optional<TString> SlideProgramOf(const TIniIdentList* slideSection) {
  if (!slideSection || !slideSection->ReadBool(u"UsePersonal", false) ||
      !slideSection->ReadBool(u"Pers_RunApp", false))
    return std::nullopt;
  TString program = slideSection->ReadString(u"RunAppFN", u"");
  if (program.empty()) return std::nullopt;
  return program;
}

}  // namespace zel
