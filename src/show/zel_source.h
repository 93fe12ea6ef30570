// The show-level view of a loaded project: its document and main section,
// the options that govern the whole show, the slide order and time table,
// and the choice of the transition into every slide.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>

#include "core/obj.h"
#include "core/strings.h"
#include "show/effect_params.h"
#include "show/effect_pool.h"
#include "show/show_random.h"
#include "show/slide_order.h"
#include "show/slide_times.h"

namespace zel {

class TFileAccessor;
class TIniSection;
class TIniStorage;

// What happens after the last slide ("opt_repeat").
enum class TRepeatMode : uint8_t { Repeat = 0, Close = 1, Stop = 2 };

// The transition that leads into a slide. Class 0 is none.
struct TSlideEffect {
  int32_t effectClass = 0;
  int32_t variant = 0;
  double duration = 0;  // ms
  TEffectParams params;
};

// The player's own file name makes it a screen saver when it ends in ".scr".
bool IsScreenSaverFileName(TStringView playerFileName);

class TZelSource : public TObj {
 public:
  // The document must be given and hold the section "main". Applies the
  // screen-saver overrides (a player named "*.scr"), reads the show options
  // and the effect settings, and builds the slide time table, which raises
  // ESlideTimeError ("Incorrect time") for slide ends that go backwards.
  // What the source owns is freed also when it raises.
  TZelSource(TFileAccessor* accessor, bool ownsAccessor, TIniStorage* document, bool ownsDocument,
             TStringView playerFileName);
  ~TZelSource() override;

  TIniStorage& Document() const { return *fDocument; }
  TIniSection& MainSection() const { return *fMain; }
  // Null when the source was made without one.
  TFileAccessor* Accessor() const { return fAccessor; }

  bool ScreenSaver() const noexcept { return fScreenSaver; }
  bool PauseWhenInactive() const noexcept { return fPauseWhenInactive; }
  TRepeatMode RepeatMode() const noexcept { return fRepeatMode; }
  int32_t SlideCount() const noexcept { return fSlideCount; }
  TRgbColor HiderColor() const noexcept { return fHiderColor; }
  double UnsharpAmount() const noexcept { return fUnsharpAmount; }
  uint8_t UnsharpThreshold() const noexcept { return fUnsharpThreshold; }

  // Global transitions: on only with "opt_fx_enable", a duration and at
  // least one active group.
  bool EffectsEnabled() const noexcept { return fEffectsEnabled; }
  double EffectDuration() const noexcept { return fEffectDuration; }
  const TEffectParams& GlobalEffectParams() const noexcept { return fGlobalParams; }
  // "opt_fx_rollvariants" is "3": the roll direction is drawn per transition.
  bool RandomRollVariants() const noexcept { return fRandomRollVariants; }
  const TEffectPool& EffectPool() const noexcept { return fPool; }

  // The transition into the slide at index (taken modulo the slide count).
  // Every call makes a choice of its own: global choices advance the pool.
  // With no slides this is a programming error.
  TSlideEffect EffectForSlide(int64_t index);
  // The duration of such a choice, 0 when it is no transition; 0 without a
  // choice for every index at or past the slide count unless the show
  // repeats.
  double EffectDurationForSlide(int64_t index);

  // The slide order and the sections it picks.
  const TSlideRandomList& SlideOrder() const { return *fOrder; }
  // "Slide" followed by the slide number at the position + 1, or null.
  TIniSection* SlideSection(int64_t position) const;

  // The time table.
  const TSlideInfoList& SlideInfos() const noexcept { return fTimes.Slides(); }
  double TotalLength() const noexcept { return fTimes.TotalLength(); }
  TSlideInfo SlideTimes(int64_t position) const { return fTimes.SlideTimes(position); }
  TSlideAnchorTimes SlideAnchors(int64_t position) const { return SlideAnchorTimes(SlideTimes(position)); }
  int64_t SlideAtTime(double time) const { return fTimes.SlideAtTime(time); }
  // Later rounds of a repeated show end like the slides they repeat;
  // virtual positions before the show go on.
  TSlideEndBehaviour EndBehaviour(int64_t position) const;
  std::optional<TString> SlideProgram(int64_t position) const;

 private:
  void ApplyScreenSaverOverrides();
  void ReadOptions();
  void ReadEffectSettings();
  int64_t SlideIndex(int64_t index) const;
  TSlideEffect ChooseEffect(int64_t index);

  // Owned objects first, so that they are freed when construction raises.
  std::unique_ptr<TFileAccessor> fOwnedAccessor;
  std::unique_ptr<TIniStorage> fOwnedDocument;
  TFileAccessor* fAccessor;
  TIniStorage* fDocument;
  TIniSection* fMain = nullptr;

  bool fScreenSaver = false;
  bool fPauseWhenInactive = true;
  TRepeatMode fRepeatMode = TRepeatMode::Repeat;
  int32_t fSlideCount = 0;
  TRgbColor fHiderColor;
  double fUnsharpAmount = 0;
  uint8_t fUnsharpThreshold = 0;

  bool fEffectsEnabled = false;
  double fEffectDuration = 0;
  TEffectParams fGlobalParams;
  bool fRandomRollVariants = false;
  // The engine and the slide loader choose transitions from their own
  // threads; every choice changes the pool.
  std::mutex fChoiceLock;
  TShowRandom fRandom;
  TEffectPool fPool{fRandom};

  TRef<TSlideRandomList> fOrder;
  TSlideTimeTable fTimes;
};

}  // namespace zel
