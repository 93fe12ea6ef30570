#include "player/real_slide_filter.h"

#include <cmath>
#include <mutex>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/log.h"
#include "core/streams.h"
#include "effects/alpha_filter.h"
#include "ini/ini_parser.h"
#include "package/file_accessor.h"
#include "show/picture_object.h"
#include "show/show_random.h"
#include "show/zel_slide.h"
#include "show/zel_source.h"

namespace zel {

namespace {

constexpr int32_t kCustomClass = 18;
constexpr int32_t kBackgroundOfA = 1;
constexpr int32_t kBackgroundOfB = 2;
constexpr int32_t kBothBackgrounds = 3;

// The section of the effect's project that holds its own settings.
constexpr TStringView kSettingsSection = u"slide1";

std::mutex gChoiceLock;

TShowRandom& ChoiceRandom() {
  static TShowRandom random;
  return random;
}

TString PickName(const std::vector<TString>& names) {
  std::lock_guard guard(gChoiceLock);
  return PickCustomEffect(names, ChoiceRandom());
}

// Set while an effect's show is being built on this thread: a scene that
// asks for a custom effect of its own would build shows without end.
thread_local bool tBuilding = false;

class TBuilding {
 public:
  TBuilding() { tBuilding = true; }
  ~TBuilding() { tBuilding = false; }
  TBuilding(const TBuilding&) = delete;
  TBuilding& operator=(const TBuilding&) = delete;
};

template <class Visit>
void EachObject(const TZelObject& root, Visit&& visit) {
  for (TZelObject* child : root.Children()) {
    visit(*child);
    EachObject(*child, visit);
  }
}

int32_t RoundToInt(double value) { return static_cast<int32_t>(std::lround(value)); }

// The effect-buffer pictures are laid out at the owning slide's scale: the
// producer scales the whole scene by it once more, which their key points
// undo, so a buffer stays as large as the slide it shows.
void UnscaleEffectBuffers(TZelSlide& scene, double scaleX, double scaleY) {
  if (!(scaleX > 0) || !(scaleY > 0)) return;
  EachObject(scene, [&](TZelObject& object) {
    auto* image = dynamic_cast<TZelImage*>(&object);
    if (!image || image->EffectBufferNumber() == 0) return;
    TKeyPoints& points = image->KeyPoints();
    // Without key points the picture stays at its own values, which are
    // scaled alike.
    if (points.Count() == 0) {
      const TKeyPointValues& own = points.Current();
      points.SetCurrentValue(TKeyValue::ScaleX, static_cast<float>(own.ScaleX() / scaleX * 100));
      points.SetCurrentValue(TKeyValue::ScaleY, static_cast<float>(own.ScaleY() / scaleY * 100));
    }
    for (int32_t i = 0; i < points.Count(); ++i) {
      TKeyPoint& point = points.KeyPoint(i);
      point.SetValue(TKeyValue::ScaleX, static_cast<float>(point.Values().ScaleX() / scaleX * 100));
      point.SetValue(TKeyValue::ScaleY, static_cast<float>(point.Values().ScaleY() / scaleY * 100));
    }
  });
}

}  // namespace

std::unique_ptr<TRealSlideFilter> TRealSlideFilter::Open(TStream& stream, TFileAccessor& accessor,
                                                         TObjectSize slideSize, double scaleX, double scaleY) {
  auto project = std::make_unique<TIniFile>();
  if (!project->LoadFromStream(stream) || !project->FindSection(u"main")) return nullptr;
  std::unique_ptr<TRealSlideFilter> filter(
      new TRealSlideFilter(std::move(project), accessor, slideSize, scaleX, scaleY));
  if (!filter->Build()) return nullptr;
  return filter;
}

TRealSlideFilter::TRealSlideFilter(std::unique_ptr<TIniStorage> project, TFileAccessor& accessor,
                                   TObjectSize slideSize, double scaleX, double scaleY)
    : fScaleX(scaleX), fScaleY(scaleY) {
  fCoverMode = project->ReadBool(kSettingsSection, u"CoverMode", false);
  SetTransparentBackground(project->ReadBool(kSettingsSection, u"TransparentBg", false));
  fBackgroundMode = project->ReadInteger(kSettingsSection, u"CustomEffBg", 0);
  // The source owns the clone and the project from here on, also when it
  // raises; the producer owns the source.
  auto source = std::make_unique<TZelSource>(accessor.Clone().release(), true, project.release(), true, u"");
  fProducer = std::make_unique<TSlideProducer>(source.get(), true);
  source.release();
  fProducer->SetFrame(RoundToInt(slideSize.width * scaleX / 100), RoundToInt(slideSize.height * scaleY / 100),
                      fCoverMode ? TFillMode::Cover : TFillMode::Fit, static_cast<float>(scaleX),
                      static_cast<float>(scaleY));
}

TRealSlideFilter::~TRealSlideFilter() {
  // The scene's objects reach the producer's host while they go.
  FreeEffectSlide();
}

bool TRealSlideFilter::Build() {
  if (fProducer->Source().SlideCount() <= 0) return false;
  std::unique_ptr<TZelSlide> scene = fProducer->BuildSlide(0, 1);
  if (!scene) return false;
  // The scene is drawn directly, never through a transition of its own; a
  // custom one is dropped so that nothing ever builds it.
  if (scene->Filter().EffectClass() == kCustomClass) scene->SetFilter(TZelFilter());
  UnscaleEffectBuffers(*scene, fScaleX, fScaleY);
  scene->SetTimeAndUpdate(scene->Start());
  SetEffectSlide(std::move(scene));
  return true;
}

void TRealSlideFilter::AttachBuffers(TCustomD3DEffecter& effecter) {
  if (TZelSlide* scene = EffectSlide()) AttachEffectBuffers(*scene, effecter);
}

void TRealSlideFilter::DetachBuffers() {
  if (TZelSlide* scene = EffectSlide()) DetachEffectBuffers(*scene);
}

void TRealSlideFilter::BindDrawer(TDeviceDrawer& drawer) {
  if (TZelSlide* scene = EffectSlide()) scene->PreparePictures(drawer);
}

void TRealSlideFilter::SetProgress(double progress) {
  TZelSlide* scene = EffectSlide();
  if (!scene) return;
  const double time = scene->Start() + (scene->End() - scene->Start()) * progress;
  scene->SetTimeAndUpdate(time);
  fLastProgress = static_cast<float>(progress);
  Log().WriteFloat("set slide eff. time: ", time);
}

void TRealSlideFilter::TakeBackgrounds(TZelSlide* outgoing, TZelSlide* incoming) {
  TZelSlide* scene = EffectSlide();
  if (!scene) return;
  switch (fBackgroundMode) {
    case kBackgroundOfA:
      if (outgoing) scene->SetBackground(0, outgoing->Background(0));
      break;
    case kBackgroundOfB:
      if (incoming) scene->SetBackground(0, incoming->Background(0));
      break;
    case kBothBackgrounds:
      if (outgoing) scene->SetBackground(0, outgoing->Background(0));
      if (incoming) scene->SetBackground(1, incoming->Background(0));
      // The incoming slide's background comes in as the effect runs.
      scene->SetCrossFade(CrossFadeAlpha(fLastProgress));
      break;
    default:
      break;
  }
}

void TRealSlideFilter::AfterDraw(TDeviceDrawer& drawer) {
  if (TZelSlide* scene = EffectSlide()) scene->AfterDraw(drawer);
}

// --- The hook -------------------------------------------------------------------

std::unique_ptr<TDrawFilter> MakeRealSlideFilter(TZelSlide& slide, TStringView effects, const TEffectParams& params) {
  (void)params;
  if (tBuilding) return nullptr;
  const std::vector<TString> names = CustomEffectNames(effects);
  if (names.empty()) return nullptr;
  const TString name = PickName(names);
  TZelSlideHost* host = slide.SlideHost();
  TZelSource* show = host ? host->Source() : nullptr;
  TFileAccessor* accessor = show ? show->Accessor() : nullptr;
  if (!accessor) return nullptr;
  std::unique_ptr<TStream> stream = accessor->OpenStream(name);
  if (!stream) return nullptr;
  TBuilding building;
  try {
    return TRealSlideFilter::Open(*stream, *accessor, slide.Size(), slide.ScaleX(), slide.ScaleY());
  } catch (const EAbort&) {
    throw;  // a loading thread being stopped
  } catch (const std::exception& e) {
    // The transition plays as a cross-fade; the project needs mending.
    Log().Write("custom effect " + StringToUtf8(name) + " not made: " + ExceptionClassName(e) + ": " + e.what());
    return nullptr;
  }
}

void InstallCustomEffects() { SetCustomEffectHook(MakeRealSlideFilter); }

void ReseedCustomEffectChoice(uint64_t seed) {
  std::lock_guard guard(gChoiceLock);
  ChoiceRandom() = TShowRandom(seed);
}

}  // namespace zel
