// The time table: slide times for every position, the slide at a time,
// slide identifiers, end behaviour and slide programs.
#include <gtest/gtest.h>

#include <random>

#include "show/show_project_support.h"
#include "show/zel_source.h"

namespace zel {
namespace {

using show_testing::ParseProject;

std::unique_ptr<TZelSource> SourceOf(const std::string& text) {
  return std::make_unique<TZelSource>(nullptr, false, ParseProject(text).release(), true, u"zelplayer");
}

// Slides ending at 5,000, 9,000 and 15,000 with 1,000 ms transitions.
std::string ExampleShow(const std::string& repeat, const std::string& extra = "") {
  return "[main]\nopt_slidescount=3\nopt_synchpos1=5000\nopt_synchpos2=9000\nopt_synchpos3=15000\n"
         "opt_fx_enable=1\nopt_fx_time=1000\nopt_fx_eff2=1\nopt_repeat=" +
         repeat + "\n" + extra + "[Slide1]\n[Slide2]\n[Slide3]\n";
}

void ExpectTimes(const TSlideInfo& info, double start, double end, double in, double out, double outEnd) {
  EXPECT_EQ(info.start, start);
  EXPECT_EQ(info.end, end);
  EXPECT_EQ(info.inEffect, in);
  EXPECT_EQ(info.outEffect, out);
  EXPECT_EQ(info.outEnd, outEnd);
}

TEST(TimeTable, ThreeSlidesThatRepeat) {
  const auto source = SourceOf(ExampleShow("repeat"));
  ASSERT_EQ(source->SlideInfos().size(), 3u);
  ExpectTimes(source->SlideTimes(0), 0, 5000, 1000, 1000, 6000);
  ExpectTimes(source->SlideTimes(1), 5000, 9000, 1000, 1000, 10000);
  // The last slide leads into the first one of the next round.
  ExpectTimes(source->SlideTimes(2), 9000, 15000, 1000, 1000, 16000);
  EXPECT_EQ(source->TotalLength(), 15000);
  ExpectTimes(source->SlideTimes(4), 20000, 24000, 1000, 1000, 25000);
  ExpectTimes(source->SlideTimes(8), 39000, 45000, 1000, 1000, 46000);
}

TEST(TimeTable, StopLeavesTheLastSlideWithoutOutgoingTransition) {
  const auto source = SourceOf(ExampleShow("stop"));
  ExpectTimes(source->SlideTimes(2), 9000, 15000, 1000, 0, 15000);
  ExpectTimes(source->SlideTimes(1), 5000, 9000, 1000, 1000, 10000);
}

TEST(TimeTable, VirtualSlidesBeforeTheShow) {
  const auto source = SourceOf(ExampleShow("repeat"));
  ExpectTimes(source->SlideTimes(-1), -1073741823.0, 0, 0, 1000, 1000);
  ExpectTimes(source->SlideTimes(-2), -2147483647.0, -1073741823.0, 0, 0, -1073741823.0);
  ExpectTimes(source->SlideTimes(-50), -2147483647.0, -1073741823.0, 0, 0, -1073741823.0);
}

TEST(TimeTable, IncomingTransitionIsCutToTheSlideLength) {
  const auto source = SourceOf(
      "[main]\nopt_slidescount=2\nopt_synchpos1=4000\nopt_synchpos2=6000\n[Slide1]\n"
      "[Slide2]\nUsePersonal=1\nPers_Effect=1\nEffect_Class=3\nEffectTime=3000\n");
  const TSlideInfo second = source->SlideTimes(1);
  EXPECT_EQ(second.inEffect, 2000);
  // The slide before keeps the whole transition as its outgoing one.
  EXPECT_EQ(source->SlideTimes(0).outEffect, 3000);
  EXPECT_EQ(source->SlideTimes(0).outEnd, 7000);
}

TEST(TimeTable, AnchorsOfASlide) {
  const auto source = SourceOf(ExampleShow("repeat"));
  const TSlideAnchorTimes anchors = source->SlideAnchors(4);
  EXPECT_EQ(anchors.AnchorTime(TKeyPointAnchor::SlideBegin), 20000);
  EXPECT_EQ(anchors.AnchorTime(TKeyPointAnchor::PrevEffectEnd), 21000);
  EXPECT_EQ(anchors.AnchorTime(TKeyPointAnchor::NextEffectBegin), 24000);
  EXPECT_EQ(anchors.AnchorTime(TKeyPointAnchor::SlideEnd), 25000);
}

TEST(TimeTableErrors, DecreasingEndTimesAreIncorrect) {
  try {
    SourceOf("[main]\nopt_slidescount=3\nopt_synchpos1=5000\nopt_synchpos2=4000\nopt_synchpos3=9000\n");
    FAIL() << "no error";
  } catch (const ESlideTimeError& e) {
    EXPECT_STREQ(e.what(), "Incorrect time");
  }
  // A missing end counts as 0, before the slide's start.
  EXPECT_THROW(SourceOf("[main]\nopt_slidescount=2\nopt_synchpos1=5000\n"), ESlideTimeError);
  EXPECT_THROW(SourceOf("[main]\nopt_slidescount=1\nopt_synchpos1=-1\n"), ESlideTimeError);
}

TEST(TimeTableErrors, EqualEndTimesAreSlidesOfNoLength) {
  const auto source = SourceOf("[main]\nopt_slidescount=3\nopt_synchpos1=0\nopt_synchpos2=3000\nopt_synchpos3=3000\n");
  ExpectTimes(source->SlideTimes(0), 0, 0, 0, 0, 0);
  ExpectTimes(source->SlideTimes(2), 3000, 3000, 0, 0, 3000);
}

class QuietAssertions : public ::testing::Test {
 protected:
  void SetUp() override { fOld = SetAssertionHook([](const std::string&) {}); }
  void TearDown() override { SetAssertionHook(fOld); }

 private:
  TAssertionHook fOld;
};
using TimeTableWithoutSlides = QuietAssertions;

TEST_F(TimeTableWithoutSlides, AskingIsAProgrammingError) {
  const auto source = SourceOf("[main]\n");
  EXPECT_THROW(source->SlideTimes(0), EAssertionFailed);
  EXPECT_THROW(source->SlideAtTime(10), EAssertionFailed);
}

TEST(SlideAtTime, AroundTheStartOfTheShow) {
  const auto source = SourceOf(ExampleShow("repeat"));
  EXPECT_EQ(source->SlideAtTime(-10), -1);
  EXPECT_EQ(source->SlideAtTime(0), -1);
  EXPECT_EQ(source->SlideAtTime(1), 0);
  EXPECT_EQ(source->SlideAtTime(-1073741823.0), -1);
  EXPECT_EQ(source->SlideAtTime(-1073741824.0), -2);
  EXPECT_EQ(source->SlideAtTime(-1e300), -2);
}

TEST(SlideAtTime, BoundariesBelongToTheEarlierSlide) {
  const auto source = SourceOf(ExampleShow("repeat"));
  EXPECT_EQ(source->SlideAtTime(5000), 0);
  EXPECT_EQ(source->SlideAtTime(5000.5), 1);
  EXPECT_EQ(source->SlideAtTime(9000), 1);
  EXPECT_EQ(source->SlideAtTime(15000), 2);
  EXPECT_EQ(source->SlideAtTime(15001), 3);
  EXPECT_EQ(source->SlideAtTime(20000), 3);
  EXPECT_EQ(source->SlideAtTime(20001), 4);
  EXPECT_EQ(source->SlideAtTime(30000), 5);
  EXPECT_EQ(source->SlideAtTime(3.0e7 + 1), 6000);
}

TEST(SlideAtTime, AgreesWithTheSlideTimesEverywhere) {
  const auto source = SourceOf(
      "[main]\nopt_slidescount=5\nopt_synchpos1=0\nopt_synchpos2=1200\nopt_synchpos3=1200\n"
      "opt_synchpos4=4000\nopt_synchpos5=4500\n");
  std::mt19937 gen(5);
  std::uniform_real_distribution<double> time(0.001, 60000);
  for (int i = 0; i < 2000; ++i) {
    const double t = i < 40 ? i * 250.0 + 1 : time(gen);
    const int64_t k = source->SlideAtTime(t);
    const TSlideInfo at = source->SlideTimes(k);
    ASSERT_LE(at.start, t) << t;
    ASSERT_GE(at.end, t) << t;
    // No earlier position contains the time.
    ASSERT_LT(source->SlideTimes(k - 1).end, t) << t;
  }
}

TEST(SlideAtTime, AShowWithoutLengthDoesNotHang) {
  const auto source = SourceOf("[main]\nopt_slidescount=2\nopt_synchpos1=0\nopt_synchpos2=0\n");
  EXPECT_EQ(source->SlideAtTime(0), -1);
  EXPECT_EQ(source->SlideAtTime(500), 1);
}

TEST(SlideAtTime, NotANumberGivesTheStart) {
  const auto source = SourceOf(ExampleShow("repeat"));
  EXPECT_EQ(source->SlideAtTime(std::nan("")), -1);
}

TEST(SlideIds, FromTheKeyOrThePictureName) {
  EXPECT_EQ(SlideIdOf(nullptr), u"");
  const auto doc = ParseProject(
      "[a]\nslideid=Intro\npicture=C:\\x\\y.jpg\n[b]\nslideid=\npicture=C:\\Photos\\Trip\\img_01.jpg\n"
      "[c]\npicture=C:\\Photos\\Trip\\\n[d]\npicture=plain.name.png\n[e]\npicture=noext\n[f]\n");
  EXPECT_EQ(SlideIdOf(doc->FindSection(u"a")), u"Intro");
  EXPECT_EQ(SlideIdOf(doc->FindSection(u"b")), u"img_01");
  EXPECT_EQ(SlideIdOf(doc->FindSection(u"c")), u"Trip");
  EXPECT_EQ(SlideIdOf(doc->FindSection(u"d")), u"plain.name");
  EXPECT_EQ(SlideIdOf(doc->FindSection(u"e")), u"noext");
  EXPECT_EQ(SlideIdOf(doc->FindSection(u"f")), u"");
}

TEST(SlideIds, InTheTimeTable) {
  const auto source = SourceOf(
      "[main]\nopt_slidescount=3\nopt_synchpos1=1\nopt_synchpos2=2\nopt_synchpos3=3\n"
      "[Slide1]\npicture=C:\\Photos\\Trip\\img_01.jpg\n[Slide3]\nslideid=last\n");
  EXPECT_EQ(source->SlideInfos()[0].slideId, u"img_01");
  EXPECT_EQ(source->SlideInfos()[1].slideId, u"");
  EXPECT_EQ(source->SlideInfos()[2].slideId, u"last");
  EXPECT_EQ(source->SlideTimes(5).slideId, u"last");
}

std::string EndShow(const std::string& mainExtra, const std::string& slide1) {
  return "[main]\nopt_slidescount=2\nopt_synchpos1=4000\nopt_synchpos2=6000\n" + mainExtra +
         "[Slide1]\n" + slide1 + "[Slide2]\nUsePersonal=1\nPers_Effect=1\nEffect_Class=3\nEffectTime=1000\n";
}

TEST(SlideEnds, LoopRepeatsTheSlideAfterItsIncomingTransition) {
  // Slide 2 lasts 2,000 ms with a 1,000 ms transition into it.
  const auto source = SourceOf(EndShow("", "") + "Pers_EndAction=loop\n");
  EXPECT_EQ(source->EndBehaviour(1), (TSlideEndBehaviour{false, 1000}));
  EXPECT_EQ(source->EndBehaviour(3), (TSlideEndBehaviour{false, 1000}));
  EXPECT_EQ(source->EndBehaviour(0), TSlideEndBehaviour{});
}

TEST(SlideEnds, LoopOfFourSecondsWithOneSecondTransition) {
  const auto source = SourceOf(
      "[main]\nopt_slidescount=2\nopt_synchpos1=1000\nopt_synchpos2=5000\n[Slide1]\n"
      "[Slide2]\nUsePersonal=1\nPers_Effect=1\nEffect_Class=3\nEffectTime=1000\nPers_EndAction=loop\n");
  EXPECT_EQ(source->EndBehaviour(1).loopLength, 3000);
}

TEST(SlideEnds, PersonalActions) {
  EXPECT_TRUE(SourceOf(EndShow("", "UsePersonal=1\nPers_EndAction=pause\n"))->EndBehaviour(0).stops);
  // Exact, case-sensitive words; anything else goes on, even in a manual show.
  EXPECT_FALSE(SourceOf(EndShow("opt_manualshow=1\n", "UsePersonal=1\nPers_EndAction=Pause\n"))->EndBehaviour(0).stops);
  EXPECT_FALSE(SourceOf(EndShow("opt_manualshow=1\n", "UsePersonal=1\n"))->EndBehaviour(0).stops);
  // An empty action follows the show's rule.
  EXPECT_TRUE(SourceOf(EndShow("opt_manualshow=1\n", "UsePersonal=1\nPers_EndAction=\n"))->EndBehaviour(0).stops);
  EXPECT_FALSE(SourceOf(EndShow("", "UsePersonal=1\nPers_EndAction=\n"))->EndBehaviour(0).stops);
}

TEST(SlideEnds, ManualShowStopsAtEverySlide) {
  const auto manual = SourceOf(EndShow("opt_manualshow=1\n", ""));
  EXPECT_TRUE(manual->EndBehaviour(0).stops);
  EXPECT_TRUE(manual->EndBehaviour(2).stops);
  EXPECT_FALSE(manual->EndBehaviour(-1).stops);
  EXPECT_FALSE(SourceOf(EndShow("opt_manualshow=true\n", ""))->EndBehaviour(0).stops);
  // Without personal settings the slide's own action is not looked at.
  EXPECT_FALSE(SourceOf(EndShow("", "Pers_EndAction=pause\n"))->EndBehaviour(0).stops);
}

TEST(SlideEnds, LoopOfNoLengthGoesOn) {
  // The transition into slide 2 fills the whole slide.
  const auto source = SourceOf(
      "[main]\nopt_slidescount=2\nopt_synchpos1=1000\nopt_synchpos2=1500\n[Slide1]\n"
      "[Slide2]\nUsePersonal=1\nPers_Effect=1\nEffect_Class=3\nEffectTime=1000\nPers_EndAction=loop\n");
  EXPECT_EQ(source->EndBehaviour(1), TSlideEndBehaviour{});
}

TEST(SlidePrograms, OnlyWithPersonalSettingsAndTheSwitch) {
  const auto source = SourceOf(
      "[main]\nopt_slidescount=4\nopt_synchpos1=1\nopt_synchpos2=2\nopt_synchpos3=3\nopt_synchpos4=4\n"
      "[Slide1]\nUsePersonal=1\nPers_RunApp=1\nRunAppFN=C:\\Tools\\run.exe\n"
      "[Slide2]\nPers_RunApp=1\nRunAppFN=a.exe\n[Slide3]\nUsePersonal=1\nRunAppFN=a.exe\n"
      "[Slide4]\nUsePersonal=1\nPers_RunApp=1\nRunAppFN=\n");
  EXPECT_EQ(source->SlideProgram(0), std::optional<TString>(u"C:\\Tools\\run.exe"));
  EXPECT_EQ(source->SlideProgram(4), std::optional<TString>(u"C:\\Tools\\run.exe"));
  EXPECT_FALSE(source->SlideProgram(1).has_value());
  EXPECT_FALSE(source->SlideProgram(2).has_value());
  EXPECT_FALSE(source->SlideProgram(3).has_value());
  EXPECT_FALSE(source->SlideProgram(-1).has_value());
}

}  // namespace
}  // namespace zel
