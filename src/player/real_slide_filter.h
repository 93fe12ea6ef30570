// The custom transitions as this player makes them: each is a small show
// project of its own, opened by name through the show's file accessor and
// built by a slide producer like any show; its first slide is the scene
// that plays with the outgoing and incoming slides. Installing the custom
// effects puts the hook that makes them in place for the catalogue.
#pragma once

#include <cstdint>
#include <memory>

#include "effects/custom_effect.h"
#include "player/slide_producer.h"

namespace zel {

class TFileAccessor;
class TIniStorage;
class TStream;

class TRealSlideFilter : public TSlideEffFilter {
 public:
  // The effect read from the stream for a slide of the size and key-point
  // scale (percent) given; its pictures are opened through a clone of the
  // accessor. None when the stream holds no show or the show has no slide
  // to play. Raises what the show raises for a broken project.
  static std::unique_ptr<TRealSlideFilter> Open(TStream& stream, TFileAccessor& accessor, TObjectSize slideSize,
                                                double scaleX, double scaleY);
  ~TRealSlideFilter() override;

  // "CoverMode", "TransparentBg" (the base's flag) and "CustomEffBg" of
  // the project's "slide1".
  bool CoverMode() const noexcept { return fCoverMode; }
  int32_t BackgroundMode() const noexcept { return fBackgroundMode; }
  double ScaleX() const noexcept { return fScaleX; }
  double ScaleY() const noexcept { return fScaleY; }
  // The progress last set.
  float LastProgress() const noexcept { return fLastProgress; }
  TSlideProducer& Producer() const noexcept { return *fProducer; }

  // Stand-ins for the work targets on the scene's effect-buffer pictures.
  void AttachBuffers(TCustomD3DEffecter& effecter) override;
  void DetachBuffers() override;
  // The scene's pictures onto the drawer.
  void BindDrawer(TDeviceDrawer& drawer) override;
  // The scene at start + (end - start) x progress, logged.
  void SetProgress(double progress) override;
  // By "CustomEffBg": 1 the outgoing slide's background, 2 the incoming
  // one's, 3 both cross-faded by the last progress; else the scene's own.
  void TakeBackgrounds(TZelSlide* outgoing, TZelSlide* incoming) override;
  void AfterDraw(TDeviceDrawer& drawer) override;

 private:
  TRealSlideFilter(std::unique_ptr<TIniStorage> project, TFileAccessor& accessor, TObjectSize slideSize, double scaleX,
                   double scaleY);
  // Slide 0 of round 1 as the scene; false when the show has none.
  bool Build();

  double fScaleX;
  double fScaleY;
  bool fCoverMode = false;
  int32_t fBackgroundMode = 0;
  float fLastProgress = 0;
  std::unique_ptr<TSlideProducer> fProducer;
};

// The hook: a name drawn from the custom effects text, opened through the
// slide's show. None (a cross-fade) for no name, a slide without a show or
// accessor, a name that does not open, a project that gives no scene, and
// for a custom effect asked for while one is being built.
std::unique_ptr<TDrawFilter> MakeRealSlideFilter(TZelSlide& slide, TStringView effects, const TEffectParams& params);

// Installs the hook for the catalogue's class 18.
void InstallCustomEffects();

// The draws among several names come from one generator for the process,
// seeded like the show's (ZEL_RANDOM_SEED or the clock); this gives it a
// seed of its own, so a sequence of choices can be reproduced.
void ReseedCustomEffectChoice(uint64_t seed);

}  // namespace zel
