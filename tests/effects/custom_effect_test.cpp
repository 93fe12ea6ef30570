// Custom transitions (class 18): the list of names and the choice among
// them, opening the effect's project through the show's accessor, its
// "slide1" settings, the scene's frame and effect-buffer sizes, the
// backgrounds it takes, its positioning, the work targets' stand-ins on
// its pictures, and frames drawn on the offscreen GL driver.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "draw/null_drawer.h"
#include "drawer_test_support.h"
#include "effects/alpha_filter.h"
#include "effects/custom_effect.h"
#include "effects/transition_catalogue.h"
#include "log_capture.h"
#include "package/file_accessor.h"
#include "player/real_slide_filter.h"
#include "player/slide_producer.h"
#include "show/picture_object.h"
#include "show/show_project_support.h"
#include "show/show_random.h"
#include "show/zel_slide.h"
#include "show/zel_source.h"

namespace zel {
namespace {

using show_testing::ParseProject;
using testing_support::TLogCapture;

const ::testing::Environment* const kOffscreen =
    ::testing::AddGlobalTestEnvironment(new testing_support::TOffscreenEnvironment);

constexpr int kEffectClass = 18;
const TRect kView{0, 0, 256, 192};

// Project texts by name.
class TTextSource : public TFileSource {
 public:
  explicit TTextSource(std::map<TString, std::string> files) : fFiles(std::move(files)) {}
  std::unique_ptr<TStream> Open(TStringView name) override {
    const auto found = fFiles.find(TString(name));
    if (found == fFiles.end()) return nullptr;
    return std::make_unique<TStringStream>(found->second);
  }

 private:
  std::map<TString, std::string> fFiles;
};

// An effect's project: one slide of 2 s on a 256 x 192 design, with the
// settings and objects given for its "Slide1".
std::string EffectProject(const std::string& slide, const std::string& main = "") {
  return "[Main]\nopt_slidescount=1\nopt_scr_width=256\nopt_scr_height=192\nopt_synchpos1=2000\n" + main +
         "[Slide1]\n" + slide;
}

// The show that plays the effect: slide 1 red, slide 2 blue with the
// custom transition into it; the effects text is "opt_fx_custom1".
std::string ShowProject(const std::string& effects, const std::string& incomingObjects = "") {
  return "[Main]\nopt_slidescount=2\nopt_scr_width=256\nopt_scr_height=192\nopt_synchpos1=3000\nopt_synchpos2=6000\n"
         "opt_fx_custom1=" + effects + "\n"
         "[Slide1]\nUsePersonal=1\nPers_Fon=1\nbstyle=1\nbname=255\n"
         "[Slide2]\nUsePersonal=1\nPers_Fon=1\nbstyle=1\nbname=16711680\n"
         "Pers_Effect=1\nEffect_Class=18\nEffect_Type=1\nEffectTime=1000\n" + incomingObjects;
}

// A show's two slides built from its project, laid out on a frame, with
// the files its custom effects open.
class TShow {
 public:
  TShow(const std::string& project, std::map<TString, std::string> files, int frameWidth = 256,
        int frameHeight = 192)
      : fAccessor(MakeRef<TTextSource>(std::move(files))),
        fSource(&fAccessor, false, ParseProject(project).release(), true, u""),
        fProducer(&fSource, false) {
    fProducer.SetFrame(frameWidth, frameHeight, TFillMode::Fit, 100, 100);
    fA = fProducer.BuildSlide(0, 0);
    fB = fProducer.BuildSlide(1, 0);
  }
  TZelSlide& A() const { return *fA; }
  TZelSlide& B() const { return *fB; }
  // The transition into B as the catalogue makes it when it is first drawn.
  std::unique_ptr<TDrawFilter> MakeEffect() const {
    const TZelFilter& filter = fB->Filter();
    return MakeTransition(kView, filter.EffectClass(), filter.Variant(), fA.get(), filter.Params(), filter.Duration());
  }

 private:
  TFileAccessor fAccessor;
  TZelSource fSource;
  TSlideProducer fProducer;
  std::unique_ptr<TZelSlide> fA, fB;
};

TRealSlideFilter* AsReal(const std::unique_ptr<TDrawFilter>& filter) {
  return dynamic_cast<TRealSlideFilter*>(filter.get());
}

bool IsCrossFade(const std::unique_ptr<TDrawFilter>& filter) {
  return dynamic_cast<TAlphaFilter*>(filter.get()) != nullptr;
}

TBackgroundDescriptor Solid(uint8_t red, uint8_t green, uint8_t blue) {
  TBackgroundDescriptor background;
  background.color1 = {red, green, blue};
  return background;
}

class CustomEffects : public ::testing::Test {
 protected:
  void SetUp() override { InstallCustomEffects(); }
  void TearDown() override { SetCustomEffectHook(nullptr); }
};

// --- The names and the choice ---------------------------------------------------

TEST(CustomEffectNames, EmptyItemsAreLeftOut) {
  EXPECT_EQ(CustomEffectNames(u"a.zel|b.zel||c d.zel|"), (std::vector<TString>{u"a.zel", u"b.zel", u"c d.zel"}));
  EXPECT_EQ(CustomEffectNames(u"|one.zel"), (std::vector<TString>{u"one.zel"}));
  EXPECT_TRUE(CustomEffectNames(u"|").empty());
  EXPECT_TRUE(CustomEffectNames(u"||").empty());
  EXPECT_TRUE(CustomEffectNames(u"").empty());
}

TEST(CustomEffectChoice, ASingleNameIsAlwaysTakenWithoutADraw) {
  const std::vector<TString> names{u"only.zel"};
  TShowRandom random(5), untouched(5);
  for (int i = 0; i < 20; ++i) EXPECT_EQ(PickCustomEffect(names, random), u"only.zel");
  // The generator went on where an unused one stands.
  EXPECT_EQ(random.Next(1000000), untouched.Next(1000000));
  EXPECT_EQ(PickCustomEffect({}, random), u"");
}

TEST(CustomEffectChoice, EachOfThreeNamesIsDrawn) {
  const std::vector<TString> names{u"a", u"b", u"c"};
  TShowRandom random(20240611);
  std::map<TString, int> counts;
  for (int i = 0; i < 300; ++i) ++counts[PickCustomEffect(names, random)];
  ASSERT_EQ(counts.size(), 3u);
  // Uniform: about 100 each.
  for (const auto& [name, count] : counts) EXPECT_GE(count, 60) << StringToUtf8(name);
}

// --- Making the effect ------------------------------------------------------------

TEST_F(CustomEffects, OneNameIsOpenedFromTheShow) {
  TShow show(ShowProject("wipe.zel"), {{u"wipe.zel", EffectProject("")}});
  ASSERT_EQ(show.B().Filter().EffectClass(), kEffectClass);
  auto filter = show.MakeEffect();
  TRealSlideFilter* real = AsReal(filter);
  ASSERT_NE(real, nullptr);
  ASSERT_NE(real->EffectSlide(), nullptr);
  EXPECT_EQ(filter->EffectClass(), kEffectClass);
  EXPECT_FLOAT_EQ(filter->Duration(), 1000);
  // The defaults of a "slide1" without settings.
  EXPECT_FALSE(real->CoverMode());
  EXPECT_FALSE(real->TransparentBackground());
  EXPECT_EQ(real->BackgroundMode(), 0);
}

TEST_F(CustomEffects, EachOfThreeNamesIsPickedAnewForEveryTransition) {
  // The three projects tell themselves apart by their background mode.
  TShow show(ShowProject("one.zel|two.zel|three.zel"),
             {{u"one.zel", EffectProject("CustomEffBg=1\n")},
              {u"two.zel", EffectProject("CustomEffBg=2\n")},
              {u"three.zel", EffectProject("CustomEffBg=3\n")}});
  ReseedCustomEffectChoice(77);
  std::map<int, int> counts;
  for (int i = 0; i < 60; ++i) {
    auto filter = show.MakeEffect();
    ASSERT_NE(AsReal(filter), nullptr);
    ++counts[AsReal(filter)->BackgroundMode()];
  }
  EXPECT_EQ(counts.size(), 3u);
  for (const auto& [mode, count] : counts) EXPECT_GE(count, 5) << mode;
}

TEST_F(CustomEffects, ASingleNameIsPickedEveryTime) {
  TShow show(ShowProject("|two.zel|"),
             {{u"one.zel", EffectProject("CustomEffBg=1\n")}, {u"two.zel", EffectProject("CustomEffBg=2\n")}});
  for (int i = 0; i < 20; ++i) {
    auto filter = show.MakeEffect();
    ASSERT_NE(AsReal(filter), nullptr);
    EXPECT_EQ(AsReal(filter)->BackgroundMode(), 2);
  }
}

TEST_F(CustomEffects, NoNameOrNoProjectIsACrossFade) {
  const std::map<TString, std::string> files{{u"wipe.zel", EffectProject("")}, {u"notes.txt", "just text\n"},
                                             {u"empty.zel", "[Main]\nopt_slidescount=0\n"}};
  for (const char* effects : {"|", "", "missing.zel", "notes.txt", "empty.zel"}) {
    TShow show(ShowProject(effects), files);
    auto filter = show.MakeEffect();
    ASSERT_NE(filter, nullptr) << effects;
    EXPECT_TRUE(IsCrossFade(filter)) << effects;
    // Still the transition the show asked for, with its timing.
    EXPECT_EQ(filter->EffectClass(), kEffectClass);
    EXPECT_FLOAT_EQ(filter->Duration(), 1000);
  }
}

TEST_F(CustomEffects, WithoutTheHookOrASlideItIsACrossFade) {
  TShow show(ShowProject("wipe.zel"), {{u"wipe.zel", EffectProject("")}});
  SetCustomEffectHook(nullptr);
  EXPECT_TRUE(IsCrossFade(show.MakeEffect()));
  // An item that is not a slide has no show to open an effect from: the
  // hook is not asked.
  int asked = 0;
  SetCustomEffectHook([&](TZelSlide&, TStringView, const TEffectParams&) -> std::unique_ptr<TDrawFilter> {
    ++asked;
    return nullptr;
  });
  testing_support::TLambdaItem item([](TDeviceDrawer&) {});
  EXPECT_TRUE(IsCrossFade(MakeTransition(kView, kEffectClass, 0, &item, show.B().Filter().Params(), 1000)));
  EXPECT_EQ(asked, 0);
  EXPECT_TRUE(IsCrossFade(show.MakeEffect()));
  EXPECT_EQ(asked, 1);
}

TEST_F(CustomEffects, SlideOneSettingsAreRead) {
  TShow show(ShowProject("wipe.zel"),
             {{u"wipe.zel", EffectProject("CoverMode=1\nTransparentBg=1\nCustomEffBg=3\n")}});
  auto filter = show.MakeEffect();
  TRealSlideFilter* real = AsReal(filter);
  ASSERT_NE(real, nullptr);
  EXPECT_TRUE(real->CoverMode());
  EXPECT_TRUE(real->TransparentBackground());
  EXPECT_EQ(real->BackgroundMode(), 3);
  EXPECT_EQ(real->Producer().FillMode(), TFillMode::Cover);
}

TEST_F(CustomEffects, TheFrameIsTheSlideAtItsScale) {
  // A 256 x 192 design on a 331 x 248 frame: the slides' key-point scale
  // is 129.x percent.
  TShow show(ShowProject("wipe.zel"), {{u"wipe.zel", EffectProject("")}}, 331, 248);
  const double scaleX = show.A().ScaleX(), scaleY = show.A().ScaleY();
  ASSERT_GT(scaleX, 125);
  auto filter = show.MakeEffect();
  TRealSlideFilter* real = AsReal(filter);
  ASSERT_NE(real, nullptr);
  EXPECT_DOUBLE_EQ(real->ScaleX(), scaleX);
  EXPECT_DOUBLE_EQ(real->ScaleY(), scaleY);
  EXPECT_EQ(real->Producer().FrameSize(),
            (TObjectSize{static_cast<int32_t>(std::lround(256 * scaleX / 100)),
                         static_cast<int32_t>(std::lround(192 * scaleY / 100))}));
  EXPECT_EQ(real->Producer().FillMode(), TFillMode::Fit);
}

TEST_F(CustomEffects, EffectBufferPicturesUndoTheSlideScale) {
  // The show's slides are at 125 percent (320 x 240 for a 256 x 192 design).
  const std::string objects =
      "object Buffer: Image\n  ReplaceWithEffectBuffer=2\n"
      "  object K1: KeyPoint\n    Time=0\n    ScaleX=50\n    ScaleY=80\n  end\n"
      "  object K2: KeyPoint\n    Time=1000\n    ScaleX=100\n    ScaleY=100\n  end\n"
      "  object Nested: Image\n    ReplaceWithEffectBuffer=1\n"
      "    object K3: KeyPoint\n      Time=0\n      ScaleX=25\n    end\n  end\n"
      "end\n"
      "object Plain: Image\n  object K4: KeyPoint\n    Time=0\n    ScaleX=50\n  end\nend\n"
      "object Bare: Image\n  ReplaceWithEffectBuffer=1\nend\n";
  TShow show(ShowProject("wipe.zel"), {{u"wipe.zel", EffectProject(objects)}}, 320, 240);
  ASSERT_FLOAT_EQ(show.A().ScaleX(), 125);
  auto filter = show.MakeEffect();
  ASSERT_NE(AsReal(filter), nullptr);
  TZelSlide& scene = *AsReal(filter)->EffectSlide();
  ASSERT_EQ(scene.Children().size(), 3u);
  const TKeyPoints& buffer = scene.Children()[0]->KeyPoints();
  ASSERT_EQ(buffer.Count(), 2);
  EXPECT_FLOAT_EQ(buffer.KeyPoint(0).Values().ScaleX(), 40);
  EXPECT_FLOAT_EQ(buffer.KeyPoint(0).Values().ScaleY(), 64);
  EXPECT_FLOAT_EQ(buffer.KeyPoint(1).Values().ScaleX(), 80);
  EXPECT_FLOAT_EQ(buffer.KeyPoint(1).Values().ScaleY(), 80);
  // At any depth.
  ASSERT_EQ(scene.Children()[0]->Children().size(), 1u);
  EXPECT_FLOAT_EQ(scene.Children()[0]->Children()[0]->KeyPoints().KeyPoint(0).Values().ScaleX(), 20);
  // A picture that is no buffer keeps its sizes.
  EXPECT_FLOAT_EQ(scene.Children()[1]->KeyPoints().KeyPoint(0).Values().ScaleX(), 50);
  // A buffer without key points has its own values scaled alike.
  const TKeyPoints& bare = scene.Children()[2]->KeyPoints();
  ASSERT_EQ(bare.Count(), 0);
  EXPECT_FLOAT_EQ(bare.Current().ScaleX(), 80);
  EXPECT_FLOAT_EQ(bare.Current().ScaleY(), 80);
}

TEST_F(CustomEffects, TheScenesOwnCustomTransitionIsDropped) {
  // The effect's slide asks for a custom transition into itself.
  const std::string self =
      EffectProject("UsePersonal=1\nPers_Effect=1\nEffect_Class=18\nEffect_Type=1\nEffectTime=500\n",
                    "opt_fx_custom1=self.zel\n");
  TShow show(ShowProject("self.zel"), {{u"self.zel", self}});
  // The same project as a show of its own does ask for it.
  TZelSource asShow(nullptr, false, ParseProject(self).release(), true, u"");
  ASSERT_EQ(asShow.EffectForSlide(0).effectClass, kEffectClass);
  auto filter = show.MakeEffect();
  ASSERT_NE(AsReal(filter), nullptr);
  TZelSlide& scene = *AsReal(filter)->EffectSlide();
  EXPECT_EQ(scene.Filter().EffectClass(), 0);
  EXPECT_FALSE(scene.Filter().IsEffect());
}

TEST_F(CustomEffects, NoCustomEffectIsMadeWhileOneIsBuilt) {
  TShow show(ShowProject("wipe.zel"), {{u"wipe.zel", EffectProject("")}});
  // Asked from inside the build of the effect's scene (the slides' pacing
  // hook runs there), a custom effect is refused.
  int asked = 0, made = 0;
  SetSlideLoadingCallback([&](TZelSlide&) {
    ++asked;
    made += MakeRealSlideFilter(show.A(), u"wipe.zel", {}) ? 1 : 0;
    return true;
  });
  auto filter = show.MakeEffect();
  SetSlideLoadingCallback(nullptr);
  ASSERT_NE(AsReal(filter), nullptr);
  EXPECT_GT(asked, 0);
  EXPECT_EQ(made, 0);
  // Outside a build it is made.
  EXPECT_NE(MakeRealSlideFilter(show.A(), u"wipe.zel", {}), nullptr);
}

TEST_F(CustomEffects, SetProgressPositionsTheSceneAndLogsIt) {
  TShow show(ShowProject("wipe.zel"), {{u"wipe.zel", EffectProject("")}});
  auto filter = show.MakeEffect();
  TRealSlideFilter* real = AsReal(filter);
  ASSERT_NE(real, nullptr);
  TZelSlide& scene = *real->EffectSlide();
  const double start = scene.Start(), end = scene.End();
  ASSERT_LT(start, end);
  TLogCapture log;
  real->SetProgress(0.25);
  const double expected = start + (end - start) * 0.25;
  EXPECT_DOUBLE_EQ(scene.TimeInSlide(), expected - start);
  EXPECT_FLOAT_EQ(real->LastProgress(), 0.25f);
  EXPECT_EQ(log.Count("set slide eff. time: " + FormatLogFloat(expected)), 1);
  real->SetProgress(1);
  EXPECT_DOUBLE_EQ(scene.TimeInSlide(), end - start);
  EXPECT_EQ(log.Count("set slide eff. time: " + FormatLogFloat(end)), 1);
  EXPECT_EQ(log.Containing("set slide eff. time: "), 2);
}

TEST_F(CustomEffects, TakeBackgroundsFollowsTheMode) {
  std::map<TString, std::string> files;
  // The scene's own background is green.
  for (int mode = 0; mode <= 4; ++mode)
    files[u"mode" + IntToStr(mode) + u".zel"] =
        EffectProject("CustomEffBg=" + std::to_string(mode) + "\n", "opt_bstyle=1\nopt_bname=65280\n");
  const TBackgroundDescriptor red = Solid(255, 0, 0), blue = Solid(0, 0, 255), green = Solid(0, 255, 0);
  std::vector<TBackgroundDescriptor> first, second;
  std::vector<uint8_t> factors;
  for (int mode = 0; mode <= 4; ++mode) {
    TShow show(ShowProject("mode" + std::to_string(mode) + ".zel"), files);
    ASSERT_EQ(show.A().Background(0), red);
    ASSERT_EQ(show.B().Background(0), blue);
    auto filter = show.MakeEffect();
    TRealSlideFilter* real = AsReal(filter);
    ASSERT_NE(real, nullptr) << mode;
    TZelSlide& scene = *real->EffectSlide();
    ASSERT_EQ(scene.Background(0), green);
    real->SetProgress(0.25);
    real->TakeBackgrounds(&show.A(), &show.B());
    first.push_back(scene.Background(0));
    second.push_back(scene.Background(1));
    factors.push_back(scene.CrossFade());
  }
  // 0 and unknown modes: the scene's own.
  EXPECT_EQ(first[0], green);
  EXPECT_EQ(factors[0], 0);
  EXPECT_EQ(first[4], green);
  EXPECT_EQ(factors[4], 0);
  // 1: the outgoing slide's; 2: the incoming slide's, alone.
  EXPECT_EQ(first[1], red);
  EXPECT_EQ(factors[1], 0);
  EXPECT_EQ(first[2], blue);
  EXPECT_EQ(factors[2], 0);
  // 3: the outgoing at 0.75 under the incoming at 0.25.
  EXPECT_EQ(first[3], red);
  EXPECT_EQ(second[3], blue);
  EXPECT_EQ(factors[3], 64);
}

TEST_F(CustomEffects, TheSceneIsDrawnOnDrawersWithoutWorkTargets) {
  // A drawer without work targets draws both slides; the scene is not
  // positioned, and nothing is attached.
  TShow show(ShowProject("wipe.zel"), {{u"wipe.zel", EffectProject("")}});
  auto filter = show.MakeEffect();
  ASSERT_NE(AsReal(filter), nullptr);
  TNullDrawer drawer;
  drawer.SetScreen(256, 192);
  TLogCapture log;
  filter->SetTime(500);
  filter->Draw(drawer, &show.A(), &show.B());
  filter->AfterDraw(drawer);
  EXPECT_EQ(log.Containing("set slide eff. time: "), 0);
}

// --- On the offscreen GL driver --------------------------------------------------

class CustomEffectDrawing : public testing_support::GLDrawerTest {
 protected:
  void SetUp() override {
    GLDrawerTest::SetUp();
    InstallTransitions();
    InstallCustomEffects();
  }
  void TearDown() override {
    SetCustomEffectHook(nullptr);
    SetTransitionFactory(nullptr);
    GLDrawerTest::TearDown();
  }

  // The pixels at a grid of points inside the view.
  std::vector<TColor> Probe() const {
    std::vector<TColor> pixels;
    for (int y = 8; y < Height(); y += 16)
      for (int x = 8; x < Width(); x += 16) pixels.push_back(Pixel(x, y));
    return pixels;
  }

  // Both slides at a show time, then one frame.
  void DrawSlides(TShow& show, double time, const std::function<void(TDeviceDrawer&)>& draw) {
    show.A().SetTimeAndUpdate(time);
    show.B().SetTimeAndUpdate(time);
    DrawFrame(draw);
  }
};

// The incoming slide: blue with a yellow box off the centre.
const char* const kBoxedSlide =
    "object Box: Box\n  Size=64,48\n  FitMode=None\n  Color1=255,255,0\n"
    "  object K: KeyPoint\n    Time=0\n    Position=-56,-40\n  end\nend\n";

TEST_F(CustomEffectDrawing, TheIncomingSlideFillsTheViewThroughItsPicture) {
  TShow show(ShowProject("wipe.zel", kBoxedSlide),
             {{u"wipe.zel", EffectProject("object Buffer: Image\n  ReplaceWithEffectBuffer=2\nend\n")}});
  const double time = show.B().Start() + 500;
  // What the incoming slide looks like on its own.
  DrawSlides(show, time, [&](TDeviceDrawer& drawer) { drawer.Draw(show.B()); });
  const std::vector<TColor> incoming = Probe();
  // The box breaks both symmetries, so a flipped or shifted picture shows.
  int boxed = 0;
  for (TColor pixel : incoming) boxed += pixel == 0xFFFFFF00 ? 1 : 0;
  ASSERT_GT(boxed, 0);
  ASSERT_LT(boxed, static_cast<int>(incoming.size()) / 4);
  ASSERT_NE(Pixel(Width() / 2 - 56, Height() / 2 - 40), Pixel(Width() / 2 + 56, Height() / 2 - 40));
  ASSERT_NE(Pixel(Width() / 2 - 56, Height() / 2 - 40), Pixel(Width() / 2 - 56, Height() / 2 + 40));

  TZelFilter& transition = show.B().Filter();
  transition.SetTime(500);
  DrawSlides(show, time, [&](TDeviceDrawer& drawer) { drawer.DrawTransition(&show.A(), &show.B(), transition); });
  auto* real = dynamic_cast<TRealSlideFilter*>(transition.Effect());
  ASSERT_NE(real, nullptr);
  const std::vector<TColor> drawn = Probe();
  ASSERT_EQ(drawn.size(), incoming.size());
  for (size_t i = 0; i < drawn.size(); ++i) EXPECT_COLOR_NEAR(drawn[i], incoming[i], 2) << "probe " << i;
  // Half way through the scene.
  EXPECT_DOUBLE_EQ(real->EffectSlide()->TimeInSlide(),
                   (real->EffectSlide()->End() - real->EffectSlide()->Start()) * 0.5);
  // Afterwards: the stand-in is off the picture, the targets back in the
  // pool, and both slides draw their backgrounds again.
  auto& buffer = dynamic_cast<TZelImage&>(*real->EffectSlide()->Children()[0]);
  ASSERT_NE(buffer.Picture(), nullptr);
  for (const auto& attached : buffer.Picture()->Attached())
    EXPECT_EQ(dynamic_cast<TEffectBufferTexture*>(attached.get()), nullptr);
  EXPECT_EQ(fDrawer->Effecter().WorkTarget(1), nullptr);
  EXPECT_EQ(fDrawer->Effecter().WorkTarget(2), nullptr);
  EXPECT_FALSE(show.A().NoBackground());
  EXPECT_FALSE(show.B().NoBackground());
}

TEST_F(CustomEffectDrawing, ATransparentBackgroundLeavesTheSlidesBackgroundsOut) {
  // The scene is green; the incoming slide shows only its box over it.
  TShow show(ShowProject("clear.zel", kBoxedSlide),
             {{u"clear.zel", EffectProject("TransparentBg=1\nobject Buffer: Image\n  ReplaceWithEffectBuffer=2\nend\n",
                                           "opt_bstyle=1\nopt_bname=65280\n")}});
  const double time = show.B().Start() + 500;
  DrawSlides(show, time, [&](TDeviceDrawer& drawer) { drawer.Draw(show.B()); });
  const TColor box = Pixel(Width() / 2 - 56, Height() / 2 - 40);
  const TColor away = Pixel(Width() / 2 + 56, Height() / 2 + 40);
  ASSERT_EQ(box, 0xFFFFFF00);
  ASSERT_EQ(away, 0xFF0000FF);

  TZelFilter& transition = show.B().Filter();
  transition.SetTime(500);
  DrawSlides(show, time, [&](TDeviceDrawer& drawer) { drawer.DrawTransition(&show.A(), &show.B(), transition); });
  EXPECT_COLOR_NEAR(Pixel(Width() / 2 - 56, Height() / 2 - 40), box, 2);
  EXPECT_COLOR_NEAR(Pixel(Width() / 2 + 56, Height() / 2 + 40), 0xFF00FF00, 2);
  EXPECT_FALSE(show.B().NoBackground());
}

TEST_F(CustomEffectDrawing, OnlyTheStandInsComeAndGo) {
  const std::string objects =
      "object Out: Image\n  ReplaceWithEffectBuffer=1\nend\n"
      "object In: Image\n  ReplaceWithEffectBuffer=2\n"
      "  object Nested: Image\n    ReplaceWithEffectBuffer=1\n  end\nend\n"
      "object Other: Image\n  ReplaceWithEffectBuffer=3\nend\n"
      "object Shape: Mask\n  ReplaceWithEffectBuffer=2\nend\n";
  TShow show(ShowProject("wipe.zel"), {{u"wipe.zel", EffectProject(objects)}});
  auto filter = show.MakeEffect();
  TRealSlideFilter* real = AsReal(filter);
  ASSERT_NE(real, nullptr);
  TZelSlide& scene = *real->EffectSlide();
  const auto picture = [&](TZelObject* object) { return dynamic_cast<TZelImage&>(*object).Picture(); };
  TImage* out = picture(scene.Children()[0]);
  TImage* in = picture(scene.Children()[1]);
  TImage* nested = picture(scene.Children()[1]->Children()[0]);
  TImage* other = picture(scene.Children()[2]);
  TImage* mask = picture(scene.Children()[3]);
  for (TImage* image : {out, in, nested, other, mask}) ASSERT_NE(image, nullptr);
  // What the pictures carry of their own: a plain companion and a texture.
  struct TCompanion : TObj {};
  in->Attached().push_back(std::make_unique<TCompanion>());
  in->Attached().push_back(std::make_unique<TRenderTargetTexture>(&fDrawer->Screen()));
  const auto standIns = [](TImage* image) {
    std::vector<TEffectBufferTexture*> found;
    for (const auto& attached : image->Attached())
      if (auto* standIn = dynamic_cast<TEffectBufferTexture*>(attached.get())) found.push_back(standIn);
    return found;
  };
  DrawFrame([&](TDeviceDrawer&) {
    TCustomD3DEffecter& effecter = fDrawer->Effecter();
    effecter.AcquireTargets(true);
    ASSERT_NE(effecter.WorkTarget(1), nullptr);
    ASSERT_NE(effecter.WorkTarget(2), nullptr);
    const size_t before = in->Attached().size();
    real->AttachBuffers(effecter);
    ASSERT_EQ(standIns(out).size(), 1u);
    EXPECT_EQ(&standIns(out)[0]->Target(), effecter.WorkTarget(1));
    ASSERT_EQ(standIns(in).size(), 1u);
    EXPECT_EQ(&standIns(in)[0]->Target(), effecter.WorkTarget(2));
    EXPECT_EQ(in->Attached().size(), before + 1);
    ASSERT_EQ(standIns(nested).size(), 1u);
    EXPECT_EQ(&standIns(nested)[0]->Target(), effecter.WorkTarget(1));
    // Only buffers 1 and 2 exist, and only plain pictures show them.
    EXPECT_TRUE(standIns(other).empty());
    EXPECT_TRUE(standIns(mask).empty());
    // The stand-in addresses the target's texels as the target does.
    EXPECT_EQ(standIns(in)[0]->ScaleX(), effecter.WorkTarget(2)->ScaleX());
    EXPECT_EQ(standIns(in)[0]->GetTexture(), effecter.WorkTarget(2)->GetTexture());
    real->DetachBuffers();
    for (TImage* image : {out, in, nested, other, mask}) EXPECT_TRUE(standIns(image).empty());
    EXPECT_EQ(in->Attached().size(), before);
    effecter.ReleaseTargets();
  });
  // The picture's own companions stayed.
  int companions = 0, textures = 0;
  for (const auto& attached : in->Attached()) {
    companions += dynamic_cast<TCompanion*>(attached.get()) ? 1 : 0;
    textures += dynamic_cast<TRenderTargetTexture*>(attached.get()) ? 1 : 0;
  }
  EXPECT_EQ(companions, 1);
  EXPECT_EQ(textures, 1);
}

}  // namespace
}  // namespace zel
