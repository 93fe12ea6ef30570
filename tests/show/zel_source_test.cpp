// The show source: creation, show options, screen-saver overrides and the
// choice of the transition into each slide.
#include <gtest/gtest.h>

#include <set>

#include "core/obj.h"
#include "show/show_project_support.h"
#include "show/zel_source.h"

namespace zel {
namespace {

using show_testing::ParseProject;
using show_testing::TScopedRandomSeed;

// A source that owns its document, made from project text.
std::unique_ptr<TZelSource> SourceOf(const std::string& text, TStringView player = u"/opt/show/zelplayer") {
  return std::make_unique<TZelSource>(nullptr, false, ParseProject(text).release(), true, player);
}

class QuietAssertions : public ::testing::Test {
 protected:
  void SetUp() override {
    fOld = SetAssertionHook([this](const std::string& report) { fReports.push_back(report); });
  }
  void TearDown() override { SetAssertionHook(fOld); }
  std::vector<std::string> fReports;

 private:
  TAssertionHook fOld;
};

using SourceCreation = QuietAssertions;

TEST_F(SourceCreation, NeedsADocumentWithAMainSection) {
  EXPECT_THROW(TZelSource(nullptr, false, nullptr, false, u"player"), EAssertionFailed);
  EXPECT_THROW(SourceOf("[Slide1]\npicture=a.jpg\n"), EAssertionFailed);
  EXPECT_EQ(fReports.size(), 2u);
  EXPECT_NO_THROW(SourceOf("[MAIN]\n"));
}

TEST_F(SourceCreation, KeepsADocumentItDoesNotOwn) {
  auto doc = ParseProject("[main]\nopt_slidescount=0\n");
  { TZelSource source(nullptr, false, doc.get(), false, u"player"); EXPECT_EQ(&source.Document(), doc.get()); }
  // Still usable: the source wrote its screen-saver switch into it.
  EXPECT_EQ(doc->ReadString(u"main", u"opt_ssaver", u""), u"0");
}

TEST(ShowOptions, DefaultsOfAnEmptyMainSection) {
  const auto source = SourceOf("[main]\n");
  EXPECT_FALSE(source->ScreenSaver());
  EXPECT_TRUE(source->PauseWhenInactive());
  EXPECT_EQ(source->RepeatMode(), TRepeatMode::Repeat);
  EXPECT_EQ(source->SlideCount(), 0);
  EXPECT_EQ(source->HiderColor(), TRgbColor{});
  EXPECT_EQ(source->UnsharpAmount(), 0);
  EXPECT_EQ(source->UnsharpThreshold(), 0);
  EXPECT_FALSE(source->EffectsEnabled());
  EXPECT_EQ(source->EffectDuration(), 0);
  EXPECT_EQ(source->TotalLength(), 0);
  EXPECT_TRUE(source->SlideInfos().empty());
}

TEST(ShowOptions, ReadsTheMainKeys) {
  const auto source = SourceOf(
      "[main]\nopt_pausewheninactive=0\nopt_repeat=close\nopt_scr_hidercolor=65535\n"
      "opt_scr_unsharpamount=1.5\nopt_scr_unsharpthreshold=12\n");
  EXPECT_FALSE(source->PauseWhenInactive());
  EXPECT_EQ(source->RepeatMode(), TRepeatMode::Close);
  EXPECT_EQ(source->HiderColor(), (TRgbColor{255, 255, 0}));
  EXPECT_DOUBLE_EQ(source->UnsharpAmount(), 1.5);
  EXPECT_EQ(source->UnsharpThreshold(), 12);
}

TEST(ShowOptions, RepeatModeIsMatchedExactly) {
  EXPECT_EQ(SourceOf("[main]\nopt_repeat=stop\n")->RepeatMode(), TRepeatMode::Stop);
  EXPECT_EQ(SourceOf("[main]\nopt_repeat=Stop\n")->RepeatMode(), TRepeatMode::Repeat);
  EXPECT_EQ(SourceOf("[main]\nopt_repeat=halt\n")->RepeatMode(), TRepeatMode::Repeat);
}

TEST(ShowOptions, UnsharpThresholdSaturatesInEightBits) {
  EXPECT_EQ(SourceOf("[main]\nopt_scr_unsharpthreshold=300\n")->UnsharpThreshold(), 255);
  EXPECT_EQ(SourceOf("[main]\nopt_scr_unsharpthreshold=-4\n")->UnsharpThreshold(), 0);
}

TEST(ShowOptions, NegativeSlideCountMeansNoSlides) {
  EXPECT_EQ(SourceOf("[main]\nopt_slidescount=-3\n")->SlideCount(), 0);
}

TEST(ScreenSaverMode, ChosenByThePlayersFileName) {
  EXPECT_TRUE(IsScreenSaverFileName(u"SHOW.SCR"));
  EXPECT_TRUE(IsScreenSaverFileName(u"/home/me/show.Scr"));
  EXPECT_FALSE(IsScreenSaverFileName(u"show.scr.exe"));
  EXPECT_FALSE(IsScreenSaverFileName(u"scr"));
  EXPECT_FALSE(IsScreenSaverFileName(u""));
}

TEST(ScreenSaverMode, OverridesAreWrittenIntoTheMainSection) {
  const auto source = SourceOf("[main]\nopt_repeat=stop\nopt_fcp=1\nopt_scr_full=0\n", u"SHOW.SCR");
  EXPECT_TRUE(source->ScreenSaver());
  const TIniSection& main = source->MainSection();
  EXPECT_EQ(main.ReadString(u"opt_ssaver", u""), u"1");
  EXPECT_EQ(main.ReadString(u"opt_fcp", u""), u"0");
  EXPECT_EQ(main.ReadString(u"opt_hidecursor", u""), u"1");
  EXPECT_EQ(main.ReadString(u"opt_scr_full", u""), u"1");
  EXPECT_EQ(main.ReadString(u"opt_repeat", u""), u"repeat");
  // The options are read after the overrides.
  EXPECT_EQ(source->RepeatMode(), TRepeatMode::Repeat);
}

TEST(ScreenSaverMode, OtherwiseOnlyTheSwitchIsCleared) {
  const auto source = SourceOf("[main]\nopt_ssaver=1\nopt_repeat=stop\nopt_fcp=1\n", u"show");
  const TIniSection& main = source->MainSection();
  EXPECT_EQ(main.ReadString(u"opt_ssaver", u""), u"0");
  EXPECT_EQ(main.ReadString(u"opt_fcp", u""), u"1");
  EXPECT_EQ(main.FindKey(u"opt_hidecursor"), nullptr);
  EXPECT_EQ(source->RepeatMode(), TRepeatMode::Stop);
}

// Three slides, five seconds each, with a pool of one group.
std::string ThreeSlides(const std::string& mainExtra, const std::string& slides = "") {
  return "[main]\nopt_slidescount=3\nopt_synchpos1=5000\nopt_synchpos2=10000\nopt_synchpos3=15000\n" +
         mainExtra + "[Slide1]\n[Slide2]\n[Slide3]\n" + slides;
}

TEST(GlobalTransitions, EnabledWithoutDurationGivesNone) {
  const auto source = SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=0\nopt_fx_eff2=1\n"));
  EXPECT_FALSE(source->EffectsEnabled());
  for (int i = 0; i < 6; ++i) {
    const TSlideEffect e = source->EffectForSlide(i);
    EXPECT_EQ(e.effectClass, 0);
    EXPECT_EQ(e.duration, 0);
  }
  EXPECT_EQ(source->SlideInfos()[1].inEffect, 0);
}

TEST(GlobalTransitions, DurationWithoutEnableGivesNone) {
  const auto source = SourceOf(ThreeSlides("opt_fx_time=700\nopt_fx_eff2=1\n"));
  EXPECT_FALSE(source->EffectsEnabled());
  EXPECT_EQ(source->EffectForSlide(0).effectClass, 0);
}

TEST(GlobalTransitions, PoolChoiceWithTheGlobalDuration) {
  const auto source = SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff4=C\nopt_fx_swapdepth=9\n"));
  EXPECT_TRUE(source->EffectsEnabled());
  EXPECT_EQ(source->EffectDuration(), 700);
  const TSlideEffect e = source->EffectForSlide(1);
  EXPECT_EQ(e.effectClass, 3);
  EXPECT_EQ(e.variant, 11);
  EXPECT_EQ(e.duration, 700);
  EXPECT_FLOAT_EQ(e.params.swapDepth, 9);
}

TEST(GlobalTransitions, LandingOnGroupZeroIsNoTransition) {
  const auto source = SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff1=1\n"));
  const TSlideEffect e = source->EffectForSlide(0);
  EXPECT_EQ(e.effectClass, 0);
  EXPECT_EQ(e.duration, 0);
  EXPECT_EQ(source->EffectDurationForSlide(0), 0);
}

TEST(GlobalTransitions, SeedIsDrawnPerTransition) {
  const auto source = SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff2=1\n"));
  std::set<int32_t> seeds;
  for (int i = 0; i < 50; ++i) {
    const int32_t seed = source->EffectForSlide(i).params.seed;
    EXPECT_GE(seed, 0);
    EXPECT_LT(seed, 4096 * 4096);
    seeds.insert(seed);
  }
  EXPECT_GT(seeds.size(), 40u);
}

TEST(GlobalTransitions, RollDirectionDrawnWhenVariantsAreThree) {
  const auto source =
      SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff2=1\nopt_fx_rollvariants=3\n"));
  EXPECT_TRUE(source->RandomRollVariants());
  std::set<bool> seen;
  for (int i = 0; i < 60; ++i) seen.insert(source->EffectForSlide(i).params.rollVariants);
  EXPECT_EQ(seen.size(), 2u);
  const auto fixed = SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff2=1\nopt_fx_rollvariants=0\n"));
  for (int i = 0; i < 20; ++i) EXPECT_FALSE(fixed->EffectForSlide(i).params.rollVariants);
}

TEST(GlobalTransitions, ReproducibleUnderAFixedSeed) {
  std::string pool = "opt_fx_enable=1\nopt_fx_time=700\nopt_fx_rollvariants=3\n";
  for (int g = 2; g <= 19; ++g) pool += "opt_fx_eff" + std::to_string(g) + "=1357ACEG\n";
  auto run = [&pool](const char* seed) {
    TScopedRandomSeed guard{std::string(seed)};
    const auto source = SourceOf(ThreeSlides(pool));
    std::vector<std::tuple<int32_t, int32_t, int32_t, bool>> choices;
    for (int i = 0; i < 60; ++i) {
      const TSlideEffect e = source->EffectForSlide(i);
      choices.emplace_back(e.effectClass, e.variant, e.params.seed, e.params.rollVariants);
    }
    return std::make_pair(source->EffectPool().ActiveGroups(), choices);
  };
  const auto first = run("2024");
  EXPECT_EQ(run("2024"), first);
  EXPECT_NE(run("2025"), first);
}

const char* const kPersonal = "UsePersonal=1\nPers_Effect=1\n";

TEST(PersonalTransitions, ClassAndVariantOfTheSlide) {
  const auto source = SourceOf(ThreeSlides("", std::string("[Slide2]\n") + kPersonal +
                                                   "Effect_Class=5\nEffect_Type=b\nEffectTime=800\n"));
  const TSlideEffect e = source->EffectForSlide(1);
  EXPECT_EQ(e.effectClass, 5);
  EXPECT_EQ(e.variant, 10);
  EXPECT_EQ(e.duration, 800);
  // The index is taken modulo the slide count.
  EXPECT_EQ(source->EffectForSlide(4).variant, 10);
  EXPECT_EQ(source->EffectForSlide(-2).effectClass, 5);
}

TEST(PersonalTransitions, EmptyTypeIsVariantOne) {
  const auto source =
      SourceOf(ThreeSlides("", std::string("[Slide1]\n") + kPersonal + "Effect_Class=7\nEffectTime=300\n"));
  const TSlideEffect e = source->EffectForSlide(0);
  EXPECT_EQ(e.effectClass, 7);
  EXPECT_EQ(e.variant, 1);
}

TEST(PersonalTransitions, NeedBothSwitches) {
  const auto source = SourceOf(ThreeSlides(
      "", "[Slide1]\nUsePersonal=1\nEffect_Class=5\nEffectTime=800\n[Slide2]\nPers_Effect=1\nEffect_Class=5\n"));
  EXPECT_EQ(source->EffectForSlide(0).effectClass, 0);
  EXPECT_EQ(source->EffectForSlide(1).effectClass, 0);
}

TEST(PersonalTransitions, ClassZeroIsNoneEvenWithGlobalTransitions) {
  const auto source = SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff2=1\n",
                                           std::string("[Slide3]\n") + kPersonal + "Effect_Class=0\nEffectTime=900\n"));
  EXPECT_EQ(source->EffectForSlide(2).effectClass, 0);
  EXPECT_EQ(source->EffectForSlide(1).effectClass, 1);
}

TEST(PersonalTransitions, FromThePoolWithTheSlidesDuration) {
  const auto source = SourceOf(ThreeSlides(
      "opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff9=1\nopt_fx_swapwidth=2\n",
      std::string("[Slide1]\n") + kPersonal + "Effect_Class=-1\nEffectTime=1200\nEffectSwapWidth=5\n"));
  const TSlideEffect e = source->EffectForSlide(0);
  EXPECT_EQ(e.effectClass, 8);
  EXPECT_EQ(e.duration, 1200);
  // The global parameters stay.
  EXPECT_FLOAT_EQ(e.params.swapWidth, 2);
}

TEST(PersonalTransitions, FromAnEmptyPoolIsNone) {
  const auto source =
      SourceOf(ThreeSlides("", std::string("[Slide1]\n") + kPersonal + "Effect_Class=-1\nEffectTime=1200\n"));
  EXPECT_EQ(source->EffectForSlide(0).effectClass, 0);
  EXPECT_EQ(source->EffectDurationForSlide(0), 0);
}

TEST(PersonalTransitions, CustomEffectOfTheSlide) {
  const auto source = SourceOf(ThreeSlides("opt_fx_custom2=wipe:star\n",
                                           std::string("[Slide1]\n") + kPersonal +
                                               "Effect_Class=18\nEffect_Type=2\nEffectTime=600\nEffectSwapDepth=3\n"));
  const TSlideEffect e = source->EffectForSlide(0);
  EXPECT_EQ(e.effectClass, 18);
  EXPECT_EQ(e.variant, 0);
  EXPECT_EQ(e.duration, 600);
  EXPECT_EQ(e.params.customEffects, u"wipe:star");
  EXPECT_FLOAT_EQ(e.params.swapDepth, 3);
}

TEST(PersonalTransitions, SlideParametersOverGlobalOnes) {
  const auto source = SourceOf(ThreeSlides(
      "opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff2=1\nopt_fx_swapdepth=9\nopt_fx_center_x=20\n",
      std::string("[Slide1]\n") + kPersonal +
          "Effect_Class=5\nEffectTime=800\nEffectCenterX=75\nEffectUseSmoothline=1\nEffectSmoothline=30\n"));
  const TSlideEffect e = source->EffectForSlide(0);
  EXPECT_EQ(e.params.centerX, 75);
  EXPECT_FLOAT_EQ(e.params.swapDepth, 9);
  EXPECT_FLOAT_EQ(e.params.smoothLine, 0.03f);
}

TEST(PersonalTransitions, SmoothLineOnlyWhenTheSlideAsks) {
  const auto source = SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff2=1\nopt_fx_smoothline=50\n",
                                           "[Slide1]\nEffectSmoothline=30\n[Slide2]\nEffectUseSmoothline=1\n"
                                           "EffectSmoothline=30\n"));
  EXPECT_FLOAT_EQ(source->EffectForSlide(0).params.smoothLine, 0.05f);
  EXPECT_FLOAT_EQ(source->EffectForSlide(1).params.smoothLine, 0.03f);
}

TEST(PersonalTransitions, NegativeDurationCountsAsNone) {
  const auto source =
      SourceOf(ThreeSlides("", std::string("[Slide1]\n") + kPersonal + "Effect_Class=5\nEffectTime=-500\n"));
  EXPECT_EQ(source->EffectForSlide(0).duration, 0);
  EXPECT_EQ(source->SlideInfos()[0].inEffect, 0);
}

TEST(EffectDurations, PastTheLastSlideDependsOnRepeat) {
  const std::string slide1 = std::string("[Slide1]\n") + kPersonal + "Effect_Class=5\nEffectTime=800\n";
  const auto stop = SourceOf(ThreeSlides("opt_repeat=stop\n", slide1));
  EXPECT_EQ(stop->EffectDurationForSlide(3), 0);
  EXPECT_EQ(stop->EffectDurationForSlide(0), 800);
  const auto repeat = SourceOf(ThreeSlides("opt_repeat=repeat\n", slide1));
  EXPECT_EQ(repeat->EffectDurationForSlide(3), 800);
  EXPECT_EQ(repeat->EffectDurationForSlide(4), 0);
}

TEST(EffectDurations, EachCallIsAChoiceOfItsOwn) {
  const auto source = SourceOf(ThreeSlides("opt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff2=1\nopt_fx_eff3=1\n"));
  const uint64_t before = source->EffectPool().ChoiceCount();
  EXPECT_EQ(source->EffectDurationForSlide(1), 700);
  EXPECT_EQ(source->EffectPool().ChoiceCount(), before + 1);
}

using EffectsWithoutSlides = QuietAssertions;

TEST_F(EffectsWithoutSlides, AreAProgrammingError) {
  const auto source = SourceOf("[main]\nopt_fx_enable=1\nopt_fx_time=700\nopt_fx_eff2=1\n");
  EXPECT_THROW(source->EffectForSlide(0), EAssertionFailed);
  EXPECT_EQ(fReports.size(), 1u);
}

}  // namespace
}  // namespace zel
