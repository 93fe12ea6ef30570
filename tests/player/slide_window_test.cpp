// The slide window: the slide area, which slides are visible at a time,
// the window the cache keeps, the loader's set-up and hand-over, and
// stopping a loader in the middle of a build.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "core/exceptions.h"
#include "player/slide_loader.h"
#include "show/show_project_support.h"
#include "show/zel_dialog.h"
#include "show/zel_source.h"

namespace zel {
namespace {

using show_testing::ParseProject;

std::unique_ptr<TZelSource> SourceOf(const std::string& text) {
  return std::make_unique<TZelSource>(nullptr, false, ParseProject(text).release(), true, u"/opt/show/zelplayer");
}

// count slides of `length` ms each, every transition `effect` ms.
std::string Show(int count, int length, int effect, bool repeat, const std::string& extra = "") {
  std::string text = "[Main]\nopt_slidescount=" + std::to_string(count) + "\nopt_scr_width=800\nopt_scr_height=600\n";
  for (int i = 1; i <= count; ++i) text += "opt_synchpos" + std::to_string(i) + "=" + std::to_string(i * length) + "\n";
  if (effect > 0) text += "opt_fx_enable=1\nopt_fx_time=" + std::to_string(effect) + "\nopt_fx_eff2=1\n";
  text += repeat ? "opt_repeat=repeat\n" : "opt_repeat=stop\n";
  text += extra;
  for (int i = 1; i <= count; ++i) text += "[Slide" + std::to_string(i) + "]\n";
  return text;
}

TEST(SlideArea, FitAndCoverKeepTheSlidesAspect) {
  TSlideAreaInput in;
  in.frameWidth = 1920;
  in.frameHeight = 1200;
  in.aspect = 16.0 / 9;
  EXPECT_EQ(SlideAreaFor(in), (TObjectSize{1920, 1080}));
  in.fill = TFillMode::Cover;
  // 2133.33 x 1200: a width larger than the frame's stays as it is.
  EXPECT_EQ(SlideAreaFor(in), (TObjectSize{2133, 1200}));
  // A scale changes the frame the area is fitted to by as much as the
  // area itself: the fitted area stays.
  in.fill = TFillMode::Fit;
  in.scaleX = in.scaleY = 50;
  EXPECT_EQ(SlideAreaFor(in), (TObjectSize{1920, 1080}));
}

TEST(SlideArea, AnOddSideSmallerThanTheFrameGrowsByOne) {
  TSlideAreaInput in;
  in.frameWidth = 1001;
  in.frameHeight = 1000;
  in.aspect = 4.0 / 3;  // 1001 x 750.75: the width is the frame's own
  EXPECT_EQ(SlideAreaFor(in), (TObjectSize{1001, 751 + 1}));
  in.frameWidth = 1000;
  in.frameHeight = 1001;
  in.aspect = 1.0 / 3;  // 333.67 x 1001
  EXPECT_EQ(SlideAreaFor(in), (TObjectSize{334, 1001}));
  in.aspect = 0.333;  // 333.33: 333 is odd and smaller, so 334
  EXPECT_EQ(SlideAreaFor(in).width, 334);
}

TEST(SlideArea, FixedSizeIsNeverEnlarged) {
  TSlideAreaInput in;
  in.fixedSize = true;
  in.designWidth = 800;
  in.designHeight = 600;
  in.aspect = 800.0 / 600;
  in.frameWidth = 1920;
  in.frameHeight = 1080;
  EXPECT_EQ(SlideAreaFor(in), (TObjectSize{800, 600}));
  in.frameWidth = 640;
  in.frameHeight = 400;  // wider than the design: the height decides
  EXPECT_EQ(SlideAreaFor(in), (TObjectSize{533, 400}));
  in.frameWidth = 400;
  in.frameHeight = 1000;
  EXPECT_EQ(SlideAreaFor(in), (TObjectSize{400, 300}));
}

TEST(SlideProducer, DesignSizeOrTheOldRatioGiveTheAspect) {
  auto source = SourceOf(Show(1, 1000, 0, false));
  TSlideProducer producer(source.get(), false);
  producer.SetFrame(1000, 1000, TFillMode::Fit, 100, 100);
  EXPECT_EQ(producer.SlideArea(), (TObjectSize{1000, 750}));
  EXPECT_EQ(producer.DrawingRect(), (TRect{0, 125, 1000, 875}));

  auto old = SourceOf(Show(1, 1000, 0, false, "MinorVersion=12\nopt_scr_ratio=1.5\n"));
  TSlideProducer oldProducer(old.get(), false);
  oldProducer.SetFrame(1200, 1200, TFillMode::Fit, 100, 100);
  EXPECT_EQ(oldProducer.SlideArea(), (TObjectSize{1200, 800}));

  auto zero = SourceOf("[Main]\nopt_slidescount=1\nopt_synchpos1=1000\nopt_scr_width=800\nopt_scr_height=0\n");
  TSlideProducer zeroProducer(zero.get(), false);
  try {
    zeroProducer.SetFrame(100, 100, TFillMode::Fit, 100, 100);
    FAIL() << "a design height of 0 was taken";
  } catch (const EPresentationError& e) {
    EXPECT_STREQ(e.what(), "ZeroSize of Presentation!");
  }
}

// A loader stepped by hand, counting its hand-overs.
class SlideWindow : public ::testing::Test {
 protected:
  void Open(const std::string& project) {
    fLoader.reset();
    fSource = SourceOf(project);
    fTiming = MakeRef<TTiming>();
    fLoader = std::make_unique<TZelSlideLoader>(fSource.get(), 3, false, fTiming, nullptr,
                                                TZelSlideLoader::TScreenSize{800, 600});
    fHandOvers = 0;
    fLoader->SetHandOver([this](std::unique_ptr<TSlideData> window) {
      ++fHandOvers;
      fLastWindow = std::move(window);
    });
  }
  // The window at the time once the loader has nothing more to build.
  std::vector<int64_t> Settle(double time) {
    fTiming->SetCurrentTime(time);
    for (int i = 0; i < 20 && fLoader->Step(); ++i) {
    }
    std::vector<int64_t> numbers;
    for (const auto& container : fLoader->Cache().Containers()) numbers.push_back(container->Number());
    return numbers;
  }
  using Numbers = std::vector<int64_t>;

  std::unique_ptr<TZelSource> fSource;
  TRef<TTiming> fTiming;
  std::unique_ptr<TZelSlideLoader> fLoader;
  int fHandOvers = 0;
  std::unique_ptr<TSlideData> fLastWindow;
};

TEST_F(SlideWindow, TheStartFillsOneSlidePerStep) {
  Open(Show(10, 5000, 0, false));
  fTiming->SetCurrentTime(1);
  EXPECT_TRUE(fLoader->Step());
  EXPECT_EQ(fLoader->Cache().Containers().size(), 1u);
  EXPECT_FALSE(fLoader->WindowComplete());
  EXPECT_TRUE(fLoader->Step());
  EXPECT_TRUE(fLoader->Step());
  EXPECT_FALSE(fLoader->Step());
  EXPECT_TRUE(fLoader->WindowComplete());
  EXPECT_EQ(Settle(1), (Numbers{0, 1, 2}));
  EXPECT_EQ(fHandOvers, 3);
  ASSERT_NE(fLastWindow, nullptr);
  EXPECT_EQ(fLastWindow->Count(), 3);
  // The blank before the show is what shows at 0.
  Open(Show(10, 5000, 0, false));
  EXPECT_EQ(Settle(0), (Numbers{-1, 0, 1}));
  const TDrawContainer& blank = *fLoader->Cache().Containers()[0];
  ASSERT_NE(blank.Slide(), nullptr);
  EXPECT_EQ(blank.Record().start, -1073741823);
  EXPECT_TRUE(blank.Slide()->Children().empty());
}

TEST_F(SlideWindow, DuringATransitionBothSlidesAndTheNextAreHeld) {
  Open(Show(10, 5000, 1000, false));
  // Slide 5 starts at 25,000; slide 4 stays visible until 26,000.
  EXPECT_EQ(Settle(24000), (Numbers{4, 5, 6}));
  EXPECT_EQ(fLoader->Producer().FindSlidesAt(25500).first, 4);
  EXPECT_EQ(fLoader->Producer().FindSlidesAt(25500).last, 5);
  EXPECT_EQ(Settle(25500), (Numbers{4, 5, 6}));
  EXPECT_EQ(Settle(26001), (Numbers{5, 6, 7}));
  const TDrawContainer& five = *fLoader->Cache().Containers()[0];
  EXPECT_EQ(five.Record().start, 25000);
  EXPECT_EQ(five.Record().outEnd, 31000);
}

TEST_F(SlideWindow, ARepeatingShowWrapsIntoItsNextRound) {
  Open(Show(3, 5000, 0, true));
  EXPECT_EQ(Settle(14000), (Numbers{2, 3, 4}));
  const auto& containers = fLoader->Cache().Containers();
  // Slide 0 of the second round, one show length on.
  EXPECT_EQ(containers[1]->Record().start, 15000);
  EXPECT_EQ(containers[1]->RoundOffset(), 15000);
  ASSERT_NE(containers[1]->Slide(), nullptr);
  EXPECT_EQ(containers[1]->Slide()->Start(), 15000);

  Open(Show(1, 4000, 0, true));
  EXPECT_EQ(Settle(100), (Numbers{0, 1, 2}));
  EXPECT_EQ(fLoader->Cache().Containers()[2]->Record().start, 8000);
}

TEST_F(SlideWindow, FarAheadAndBeforeTheShow) {
  Open(Show(5, 5000, 0, true));
  EXPECT_EQ(Settle(1e9), (Numbers{199999, 200000, 200001}));
  EXPECT_EQ(Settle(-50), (Numbers{-1, 0, 1}));
  // A seek frees everything outside the new window but the last container
  // standing, then builds the new window.
  Open(Show(20, 5000, 0, false));
  Settle(1);
  fTiming->SetCurrentTime(50001);
  fLoader->Step();
  EXPECT_EQ(fLoader->Cache().Containers().size(), 2u);
  EXPECT_EQ(Settle(50001), (Numbers{10, 11, 12}));
}

TEST_F(SlideWindow, AFailedBuildLeavesAGapAndTheWindowGoesOn) {
  Open(Show(5, 5000, 0, false) + "object A: Box\n  object K: KeyPoint\n    Time=100\n  end\nend\n");
  // The last slide section holds the object; its build fails.
  SetSlideLoadingCallback([](TZelSlide& slide) -> bool {
    if (slide.Index() == 4) throw std::runtime_error("refused");
    return true;
  });
  struct TReset {
    ~TReset() { SetSlideLoadingCallback(nullptr); }
  } reset;
  EXPECT_EQ(Settle(16000), (Numbers{3, 4, 5}));
  const auto& containers = fLoader->Cache().Containers();
  EXPECT_NE(containers[0]->Slide(), nullptr);
  EXPECT_EQ(containers[1]->Slide(), nullptr);
  EXPECT_FALSE(fLoader->Step());
}

TEST_F(SlideWindow, WindowSettingsFromTheProject) {
  Open(Show(1, 1000, 0, false));
  EXPECT_EQ(fLoader->DisplayMode(), 1);
  EXPECT_EQ(fLoader->WindowStyle(), TWindowStyle::FullScreen);
  EXPECT_EQ(fLoader->FrameWidth(), 800);
  EXPECT_EQ(fLoader->Title(), u"ZelShow");
  Open(Show(1, 1000, 0, false, "opt_scr_full=0\nopt_withoutborder=0\nprojectname=Trip\nopt_scr_caption=My trip\n"));
  EXPECT_EQ(fLoader->WindowStyle(), TWindowStyle::Bordered);
  EXPECT_EQ(fLoader->Title(), u"My trip");
  EXPECT_EQ(fLoader->FrameWidth(), 800);
  Open(Show(1, 1000, 0, false, "opt_scr_full=0\nprojectname=Trip\n"));
  EXPECT_EQ(fLoader->WindowStyle(), TWindowStyle::Borderless);
  EXPECT_EQ(fLoader->Title(), u"Trip");
  Open(Show(1, 1000, 0, false, "opt_scr_full=7\nopt_scr_width=300\n"));
  EXPECT_EQ(fLoader->WindowStyle(), TWindowStyle::Borderless);
  EXPECT_EQ(fLoader->FrameWidth(), 800);  // the screen's, as mode 2
  fLoader->SetFrameSize(3, 2000);
  EXPECT_EQ(fLoader->FrameWidth(), 10);
}

TEST_F(SlideWindow, AShowWithoutSlidesIsRefused) {
  Open("[Main]\nopt_slidescount=0\nopt_scr_width=800\nopt_scr_height=600\n");
  fTiming->SetCurrentTime(100);
  try {
    fLoader->Step();
    FAIL() << "built a slide of a show without slides";
  } catch (const EPresentationError& e) {
    EXPECT_STREQ(e.what(), "No Slides in Presentation");
  }
}

TEST_F(SlideWindow, MakingAContainerWithoutTimingIsAProgrammingError) {
  auto source = SourceOf(Show(2, 1000, 0, false));
  TSlideProducer producer(source.get(), false);
  producer.SetFrame(800, 600, TFillMode::Fit, 100, 100);
  EXPECT_THROW(producer.MakeContainer(0), EAssertionFailed);
}

TEST(SlideDialogs, CustomNamesHelpAndMissingOnes) {
  auto source = SourceOf(
      "[Main]\nopt_slidescount=1\nopt_synchpos1=1000\nopt_scr_width=800\nopt_scr_height=600\n"
      "opt_customdialogscount=2\ncustom_dialog2=Contact\n"
      "[Slide1]\n[dialog_2_]\nDialogPause=1\nobject A: Box\n  Size=10,10\nend\n[dialog_help]\n");
  TSlideProducer producer(source.get(), false);
  producer.SetFrame(800, 600, TFillMode::Fit, 100, 100);
  auto contact = producer.BuildDialog(u"Contact");
  ASSERT_NE(contact, nullptr);
  EXPECT_TRUE(contact->PausesShow());
  EXPECT_EQ(contact->DialogName(), u"Contact");
  EXPECT_EQ(contact->Children().size(), 1u);
  auto help = producer.BuildDialog(u"help");
  ASSERT_NE(help, nullptr);
  EXPECT_FALSE(help->PausesShow());
  EXPECT_EQ(producer.BuildDialog(u"Order"), nullptr);
}

TEST(SlideLoaderThread, StoppingDropsTheSlideBeingBuilt) {
  // Slide 1 has many key-point times; each visit of the size pass waits a
  // little, so its build takes seconds unless it is stopped.
  std::string objects = "object A: Box\n";
  for (int i = 0; i < 200; ++i) objects += "  object K" + std::to_string(i) + ": KeyPoint\n    Time=" +
                                            std::to_string(i * 10) + "\n  end\n";
  objects += "end\n";
  auto source = SourceOf(Show(1, 5000, 0, false) + objects);
  std::atomic<int> visits{0};
  std::atomic<bool> stopping{false};
  std::atomic<int> visitsAfterStop{0};
  SetSlideLoadingCallback([&](TZelSlide&) {
    ++visits;
    if (stopping) ++visitsAfterStop;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    return true;
  });
  {
    auto timing = MakeRef<TTiming>();
    timing->SetCurrentTime(1);
    TZelSlideLoader loader(source.get(), 3, false, timing, nullptr, {800, 600});
    ASSERT_TRUE(loader.Start());
    while (visits < 3) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    stopping = true;
    loader.Stop();
    EXPECT_TRUE(loader.Cache().Containers().empty());
  }
  SetSlideLoadingCallback(nullptr);
  // At most the visit under way when the stop came.
  EXPECT_LE(visitsAfterStop.load(), 1);
}

}  // namespace
}  // namespace zel
