#include "player/slide_producer.h"

#include <algorithm>
#include <cmath>
#include <string>

#include "core/log.h"
#include "ini/ini_document.h"
#include "show/slide_background.h"
#include "show/zel_dialog.h"
#include "show/zel_source.h"

namespace zel {

namespace {

// The blank before the first slide lasts from here to 0.
constexpr double kBlankStart = -1073741823;

int32_t RoundToInt(double value) {
  return static_cast<int32_t>(std::clamp(std::lround(value), -2147483647L, 2147483647L));
}

// One pixel more on an odd side that is smaller than the frame's.
int32_t EvenWithin(int32_t side, int32_t frameSide) { return side % 2 != 0 && side < frameSide ? side + 1 : side; }

TObjectSize FixedArea(const TSlideAreaInput& in) {
  const double frameAspect = in.frameHeight > 0 ? static_cast<double>(in.frameWidth) / in.frameHeight : in.aspect;
  if (frameAspect > in.aspect) {
    const double height = std::min(in.designHeight, in.frameHeight);
    return {RoundToInt(height * in.aspect), RoundToInt(height)};
  }
  const double width = std::min(in.designWidth, in.frameWidth);
  return {RoundToInt(width), RoundToInt(in.aspect > 0 ? width / in.aspect : 0)};
}

double Rounded(double time) { return std::round(time); }

}  // namespace

TObjectSize SlideAreaFor(const TSlideAreaInput& in) {
  if (in.frameWidth <= 0 || in.frameHeight <= 0 || !(in.aspect > 0) || !std::isfinite(in.aspect)) return {0, 0};
  if (in.fixedSize) return FixedArea(in);
  const double scaleX = in.scaleX > 0 ? in.scaleX : 100, scaleY = in.scaleY > 0 ? in.scaleY : 100;
  // The frame at 100 percent, and an area of the slides' aspect as tall.
  const double vw = in.frameWidth / scaleX * 100, vh = in.frameHeight / scaleY * 100;
  double aw = vh * in.aspect, ah = vh;
  const double factor =
      in.fill == TFillMode::Fit ? std::min(vw / aw, vh / ah) : 1 / std::min(aw / vw, ah / vh);
  if (factor != 1) {
    aw *= factor;
    ah *= factor;
  }
  return {EvenWithin(RoundToInt(aw * scaleX / 100), in.frameWidth),
          EvenWithin(RoundToInt(ah * scaleY / 100), in.frameHeight)};
}

TSlideProducer::TSlideProducer(TZelSource* source, bool owns) : fSource(source), fOwnsSource(owns), fHost(source) {}

TSlideProducer::~TSlideProducer() {
  if (fOwnsSource) delete fSource;
}

void TSlideProducer::SetFrame(int32_t width, int32_t height, TFillMode fill, float scaleX, float scaleY) {
  const TIniSection& main = fSource->MainSection();
  TSlideAreaInput in;
  in.frameWidth = width;
  in.frameHeight = height;
  in.fill = fill;
  in.scaleX = scaleX;
  in.scaleY = scaleY;
  in.designWidth = main.ReadInteger(u"opt_scr_width", 0);
  in.designHeight = main.ReadInteger(u"opt_scr_height", 0);
  in.fixedSize = main.ReadBool(u"opt_scr_fullfixedsize", false);
  if (main.ReadInteger(u"MinorVersion", 13) > 12) {
    if (in.designHeight <= 0) throw EPresentationError("ZeroSize of Presentation!");
    in.aspect = static_cast<double>(in.designWidth) / in.designHeight;
  } else {
    in.aspect = height > 0 ? static_cast<double>(width) / height : 1;
    in.aspect = main.ReadFloat(u"opt_scr_ratio", in.aspect);
  }
  fFrameWidth = width;
  fFrameHeight = height;
  fFill = fill;
  fScaleX = scaleX;
  fScaleY = scaleY;
  fAspect = in.aspect;
  fArea = SlideAreaFor(in);
  fHost.SetViewBounds(width, height);
}

TRect TSlideProducer::DrawingRect() const {
  const int left = static_cast<int>(std::lround(fFrameWidth / 2.0 - fArea.width / 2.0));
  const int top = static_cast<int>(std::lround(fFrameHeight / 2.0 - fArea.height / 2.0));
  const TRect area = TRect::FromSize(left, top, fArea.width, fArea.height);
  const TRect cut = area.Intersect({0, 0, fFrameWidth, fFrameHeight});
  return cut.IsEmpty() ? TRect{} : cut;
}

void TSlideProducer::LayOut(TZelSlide& slide) const {
  // The slide keeps the show's design size, so that its objects keep their
  // proportions in any window; its key-point scale makes it fill the slide
  // area, and it lies on the frame's centre. A project without a design
  // size lays its slides out at the area's size.
  const TIniSection& main = fSource->MainSection();
  TObjectSize size{main.ReadInteger(u"opt_scr_width", 0), main.ReadInteger(u"opt_scr_height", 0)};
  if (size.width <= 0 || size.height <= 0) size = fArea;
  const float scaleX = size.width > 0 ? static_cast<float>(fArea.width * 100.0 / size.width) : 100;
  const float scaleY = size.height > 0 ? static_cast<float>(fArea.height * 100.0 / size.height) : 100;
  slide.SetLayout(size, scaleX, scaleY, {fFrameWidth / 2.0, fFrameHeight / 2.0, 0});
}

std::unique_ptr<TZelSlide> TSlideProducer::BuildSlide(int64_t n, int64_t round) {
  if (n < 0) return BuildBlankSlide();
  if (fSource->SlideCount() <= 0) throw EPresentationError("No Slides in Presentation");
  try {
    return BuildShowSlide(n % fSource->SlideCount(), round);
  } catch (const EAbort&) {
    throw;
  } catch (const std::exception& e) {
    // The window goes on without the slide.
    Log().Write("slide " + std::to_string(n) + " not built: " + ExceptionClassName(e) + ": " + e.what());
    return nullptr;
  }
}

std::unique_ptr<TZelSlide> TSlideProducer::BuildShowSlide(int64_t n, int64_t round) {
  const TIniSection* section = fSource->SlideSection(n);
  if (!section) return nullptr;
  const int64_t absolute = n + round * fSource->SlideCount();
  auto slide = std::make_unique<TZelSlide>(&fHost, absolute);
  LayOut(*slide);
  const TSlideInfo record = SlideRecord(absolute);
  slide->Load(fSource->MainSection(), *section, true, record);
  slide->SetFilter(TZelFilter(fSource->EffectForSlide(n)));
  // Placed once here, on the loading thread: its pictures are asked for
  // and the largest sizes measured before the engine first draws it.
  slide->SetTimeAndUpdate(record.start);
  return slide;
}

std::unique_ptr<TZelSlide> TSlideProducer::BuildBlankSlide() {
  auto slide = std::make_unique<TZelSlide>(&fHost, -1);
  LayOut(*slide);
  slide->SetTimes(kBlankStart, 0, 0, 0);
  const TIniSection* first = fSource->SlideCount() > 0 ? fSource->SlideSection(0) : nullptr;
  const TBackgroundDescriptor background = ReadSlideBackground(fSource->MainSection(), first);
  slide->SetBackground(0, background);
  slide->SetBackground(1, background);
  return slide;
}

TSlideInfo TSlideProducer::SlideRecord(int64_t k) const {
  if (fSource->SlideCount() <= 0) return {};
  return fSource->SlideTimes(k);
}

TRef<TDrawContainer> TSlideProducer::MakeContainer(int64_t k) {
  ZEL_ASSERT(fTiming, "TSlideProducer.CurrentTiming not Assigned");
  const int32_t count = std::max(1, fSource->SlideCount());
  const int64_t round = k >= 0 ? k / count : 0;
  const int64_t n = k >= 0 ? k % count : -1;
  Log().Write(std::string(39, '.') + " " + std::to_string(k));
  std::unique_ptr<TZelSlide> slide = BuildSlide(n, round);
  return MakeRef<TDrawContainer>(fTiming, k, SlideRecord(k), static_cast<double>(round) * fSource->TotalLength(),
                                 std::move(slide));
}

TSlideRange TSlideProducer::FindSlidesAt(double time) {
  // Without slides only slide 0 is asked for, and its build refuses.
  const int32_t count = fSource->SlideCount();
  if (count <= 0) return {0, 0};
  const double x = Rounded(time);
  const auto visibleUntil = [this](int64_t k) { return Rounded(SlideRecord(k).outEnd); };
  const double length = fSource->TotalLength();
  int64_t r = fLastIndex;
  // Far behind (a seek back after a long run): whole rounds at once.
  if (length > 0 && r > 0) {
    const double rounds = std::floor((visibleUntil(r) - x) / length) - 1;
    if (rounds > 0) r = std::max<int64_t>(0, r - static_cast<int64_t>(std::min(rounds, 1e12)) * count);
  }
  // Slide -1 reaches back to the beginning of time, so the walk back ends
  // there at the latest.
  while (r > -1 && visibleUntil(r - 1) > x) --r;
  // Far ahead (a repeating show an hour on, a seek far past the end):
  // whole rounds at once, then slide by slide.
  if (r < 0 && visibleUntil(r) < x) r = 0;
  if (length > 0 && r >= 0) {
    const double rounds = std::floor((x - visibleUntil(r)) / length) - 1;
    if (rounds > 0) r += static_cast<int64_t>(std::min(rounds, 1e12)) * count;
  }
  // Slides of no length (every end at 0) never move the visibility end on:
  // the walk is bounded.
  for (int steps = 0; visibleUntil(r) < x && steps < 100000; ++steps) ++r;
  fLastIndex = r;
  TSlideRange range{r, r};
  const TSlideInfo next = SlideRecord(r + 1);
  if (Rounded(next.start) <= x && Rounded(next.outEnd) >= x) range.last = r + 1;
  return range;
}

std::unique_ptr<TZelDialog> TSlideProducer::BuildDialog(TStringView name) {
  TIniStorage& project = fSource->Document();
  const TIniSection& main = fSource->MainSection();
  const int32_t count = main.ReadInteger(u"opt_customdialogscount", 0);
  TString sectionName = TString(u"dialog_") + TString(name);
  for (int32_t i = 1; i <= count; ++i) {
    if (main.ReadString(u"custom_dialog" + IntToStr(i), u"NotFound") == name) {
      sectionName = u"dialog_" + IntToStr(i) + u"_";
      break;
    }
  }
  const TIniSection* section = project.FindSection(sectionName);
  if (!section) return nullptr;
  auto dialog = std::make_unique<TZelDialog>(&fHost, TString(name), section->ReadBool(u"DialogPause", false));
  LayOut(*dialog);
  dialog->Load(main, *section, true, {0, 0, 0, 0, 0, u""});
  dialog->SetTimeAndUpdate(0);
  return dialog;
}

}  // namespace zel
