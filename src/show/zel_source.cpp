#include "show/zel_source.h"

#include <algorithm>
#include <array>

#include "ini/ini_document.h"
#include "package/file_accessor.h"

namespace zel {

namespace {

const std::array<TString, 3> kRepeatModeNames = {u"repeat", u"close", u"stop"};

}  // namespace

bool IsScreenSaverFileName(TStringView playerFileName) {
  constexpr TStringView kSuffix = u".scr";
  return playerFileName.size() >= kSuffix.size() &&
         SameText(playerFileName.substr(playerFileName.size() - kSuffix.size()), kSuffix);
}

TZelSource::TZelSource(TFileAccessor* accessor, bool ownsAccessor, TIniStorage* document, bool ownsDocument,
                       TStringView playerFileName)
    : fOwnedAccessor(ownsAccessor ? accessor : nullptr),
      fOwnedDocument(ownsDocument ? document : nullptr),
      fAccessor(accessor),
      fDocument(document),
      fScreenSaver(IsScreenSaverFileName(playerFileName)) {
  ZEL_ASSERT(fDocument != nullptr, "TZelSource: no project document");
  fMain = fDocument->FindSection(u"main");
  ZEL_ASSERT(fMain != nullptr, "TZelSource: the project has no main section");
  ApplyScreenSaverOverrides();
  ReadOptions();
  ReadEffectSettings();
  fOrder = TSlideRandomList::ForMainSection(*fMain);
  fTimes = TSlideTimeTable::Build(
      *fMain, fSlideCount, [this](int32_t position) -> const TIniIdentList* { return SlideSection(position); },
      [this](int32_t position) { return EffectDurationForSlide(position); });
}

TZelSource::~TZelSource() = default;

void TZelSource::ApplyScreenSaverOverrides() {
  // The rest of the player reads these from the document afterwards.
  auto set = [this](TStringView key, TStringView value) { fMain->FindOrCreateKey(key)->SetValue(value); };
  if (!fScreenSaver) {
    set(u"opt_ssaver", u"0");
    return;
  }
  set(u"opt_ssaver", u"1");
  set(u"opt_fcp", u"0");
  set(u"opt_hidecursor", u"1");
  set(u"opt_scr_full", u"1");
  set(u"opt_repeat", u"repeat");
}

void TZelSource::ReadOptions() {
  fPauseWhenInactive = fMain->ReadBool(u"opt_pausewheninactive", true);
  fRepeatMode = static_cast<TRepeatMode>(fMain->ReadIndex(u"opt_repeat", kRepeatModeNames, 0));
  // A negative count would make every slide look-up fail; it means none.
  fSlideCount = std::max(fMain->ReadInteger(u"opt_slidescount", 0), 0);
  fHiderColor = RgbFromInteger(fMain->ReadInteger(u"opt_scr_hidercolor", 0));
  fUnsharpAmount = fMain->ReadFloat(u"opt_scr_unsharpamount", 0);
  // Kept in 8 bits; out-of-range values saturate instead of wrapping round.
  fUnsharpThreshold = static_cast<uint8_t>(std::clamp(fMain->ReadInteger(u"opt_scr_unsharpthreshold", 0), 0, 255));
}

void TZelSource::ReadEffectSettings() {
  const bool enabled = fMain->ReadBool(u"opt_fx_enable", false);
  const int32_t time = enabled ? fMain->ReadInteger(u"opt_fx_time", 0) : 0;
  // A negative duration would put transitions before their slides.
  bool on = enabled && time > 0;
  fGlobalParams = ReadGlobalEffectParams(*fMain, on);
  if (on) fRandomRollVariants = fMain->ReadString(u"opt_fx_rollvariants", u"1") == u"3";
  on = fPool.Read(*fMain, on);
  fGlobalParams.customEffects = fPool.CustomEffects();
  fEffectsEnabled = on;
  fEffectDuration = on ? time : 0;
}

int64_t TZelSource::SlideIndex(int64_t index) const {
  ZEL_ASSERT(fSlideCount > 0, "TZelSource: effect asked without slides");
  const int64_t index0 = index % fSlideCount;
  return index0 < 0 ? index0 + fSlideCount : index0;
}

TIniSection* TZelSource::SlideSection(int64_t position) const {
  const int32_t number = fOrder ? fOrder->SlideNumber(position) : static_cast<int32_t>(position);
  if (number < 0) return nullptr;
  return fDocument->FindSection(u"Slide" + IntToStr(int64_t{number} + 1));
}

TSlideEffect TZelSource::EffectForSlide(int64_t index) {
  std::lock_guard guard(fChoiceLock);
  return ChooseEffect(index);
}

TSlideEffect TZelSource::ChooseEffect(int64_t index) {
  const int64_t i = SlideIndex(index);
  TSlideEffect effect;
  effect.duration = fEffectDuration;
  effect.params = fGlobalParams;
  if (fRandomRollVariants) effect.params.rollVariants = (fRandom.Next(1000) > 500) != fPool.Alternation();

  const TIniSection* slide = SlideSection(i);
  bool perSlide = false;
  auto takeGlobal = [&] {
    const TEffectChoice choice = fPool.Choose();
    effect.effectClass = choice.effectClass;
    effect.variant = choice.variant;
  };
  if (slide && slide->ReadBool(u"UsePersonal", false) && slide->ReadBool(u"Pers_Effect", false)) {
    const int32_t effectClass = slide->ReadInteger(u"Effect_Class", 0);
    const double time = std::max(slide->ReadInteger(u"EffectTime", 0), 0);
    const TString type = slide->ReadString(u"Effect_Type", u"");
    if (effectClass == -1) {
      takeGlobal();
      effect.duration = time;
    } else if (effectClass == kCustomEffectClass) {
      effect.effectClass = effectClass;
      effect.variant = 0;
      effect.params.customEffects = fMain->ReadString(u"opt_fx_custom" + type, u"");
      effect.duration = time;
      perSlide = true;
    } else if (effectClass != 0) {
      effect.effectClass = effectClass;
      effect.variant = type.empty() ? 1 : EffectVariantOfChar(type.front());
      effect.duration = time;
      perSlide = true;
    }
  } else {
    takeGlobal();
  }

  if (effect.effectClass == 0) {
    effect.variant = 0;
    effect.duration = 0;
  } else if (slide) {
    if (slide->ReadBool(u"EffectUseSmoothline", false)) ApplySlideSmoothLine(*slide, effect.params);
    if (perSlide) ApplySlideEffectParams(*slide, effect.params);
  }
  effect.params.seed = static_cast<int32_t>(fRandom.Next(4096) * 4096 + fRandom.Next(4096));
  return effect;
}

double TZelSource::EffectDurationForSlide(int64_t index) {
  if (index >= fSlideCount && fRepeatMode != TRepeatMode::Repeat) return 0;
  std::lock_guard guard(fChoiceLock);
  const TSlideEffect effect = ChooseEffect(index);
  return effect.effectClass > 0 ? effect.duration : 0;
}

TSlideEndBehaviour TZelSource::EndBehaviour(int64_t position) const {
  if (position < 0 || fSlideCount == 0) return {};
  return SlideEndBehaviourOf(SlideSection(position % fSlideCount), *fMain, SlideTimes(position));
}

std::optional<TString> TZelSource::SlideProgram(int64_t position) const {
  if (position < 0 || fSlideCount == 0) return std::nullopt;
  return SlideProgramOf(SlideSection(position % fSlideCount));
}

}  // namespace zel
