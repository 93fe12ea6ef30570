// Where next, previous and go-to take the show.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "player/slide_navigation.h"
#include "show/show_project_support.h"
#include "show/zel_source.h"

namespace zel {
namespace {

// Four slides of 5 s; transitions of `effect` ms.
std::unique_ptr<TZelSource> Show(int effect, bool repeat) {
  std::string text =
      "[Main]\nopt_slidescount=4\nopt_synchpos1=5000\nopt_synchpos2=10000\nopt_synchpos3=15000\n"
      "opt_synchpos4=20000\n";
  if (effect > 0) text += "opt_fx_enable=1\nopt_fx_time=" + std::to_string(effect) + "\nopt_fx_eff2=1\n";
  text += repeat ? "opt_repeat=repeat\n" : "opt_repeat=stop\n";
  text += "[Slide1]\n[Slide2]\n[Slide3]\n[Slide4]\n";
  return std::make_unique<TZelSource>(nullptr, false, show_testing::ParseProject(text).release(), true,
                                      u"zelplayer");
}

TEST(SlideNavigation, PreviousWithinHalfASecondGoesToTheSlideBefore) {
  auto show = Show(1000, false);
  // Slide 2 begins at 10,000; its transition ends at 11,000.
  EXPECT_EQ(PreviousSlideTarget(*show, 11400), 6000);
  EXPECT_EQ(PreviousSlideTarget(*show, 11600), 11000);
  // From the second slide, back to the show's start.
  EXPECT_EQ(PreviousSlideTarget(*show, 6200), 0);
  EXPECT_EQ(PreviousSlideTarget(*show, 300), 0);
}

TEST(SlideNavigation, NextGoesToTheNextSlidesStartAndStopsAtTheEnd) {
  auto show = Show(1000, false);
  EXPECT_EQ(NextSlideTarget(*show, 7000, false), 10000);
  // Paused: past the transition, so the slide shows whole.
  EXPECT_EQ(NextSlideTarget(*show, 7000, true), 11000);
  // On the last slide of a show that stops: the end position.
  EXPECT_EQ(NextSlideTarget(*show, 17000, false), 20000);
  EXPECT_EQ(NextSlideTarget(*show, 20000, false), 20000);
  // Without transitions, a millisecond into the slide.
  auto plain = Show(0, true);
  EXPECT_EQ(NextSlideTarget(*plain, 7000, false), 10001);
  // A repeating show goes on into its next round.
  EXPECT_EQ(NextSlideTarget(*plain, 17000, false), 20001);
}

TEST(SlideNavigation, GoToSlide) {
  auto show = Show(1000, false);
  EXPECT_EQ(GoToSlideTarget(*show, 2), 10000);
  EXPECT_EQ(GoToSlideTarget(*show, -3), 0);
  auto plain = Show(0, false);
  EXPECT_EQ(GoToSlideTarget(*plain, 2), 10001);
  // The end position of a show that stops has no millisecond added.
  EXPECT_EQ(GoToSlideTarget(*plain, 4), 20000);
  EXPECT_EQ(CurrentSlideIndex(*plain, 12000), 2);
}

}  // namespace
}  // namespace zel
