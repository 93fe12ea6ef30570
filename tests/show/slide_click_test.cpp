// Clicks on a slide: looks of buttons and texts, the pressed mark, and
// which action a click carries out.
#include "show/slide_click.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "ini/ini_document.h"
#include "show/object_kinds.h"
#include "show/show_project_support.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"

namespace zel {
namespace {

using show_testing::ParseProject;

constexpr uint8_t kLeft = 1, kRight = 4;
constexpr uint32_t kLeftHeld = 16, kRightHeld = 32;

// An 800 x 600 slide; every child 100 x 100 at the centre unless moved by
// its key point.
class SlideClicks : public ::testing::Test {
 protected:
  void Build(const std::string& slideText) {
    project = ParseProject("[Main]\nopt_slidescount=1\n[Slide1]\n" + slideText);
    host.SetViewBounds(800, 600);
    slide = std::make_unique<TZelSlide>(&host, 0);
    slide->SetLayout({800, 600}, 100, 100, {400, 300, 0});
    TSlideInfo times;
    times.end = 10000;
    slide->Load(*project->FindSection(u"Main"), *project->FindSection(u"Slide1"), true, times);
    for (TZelObject* child : slide->Children()) child->SetSize({100, 100});
    slide->SetTimeAndUpdate(0);
  }
  TZelObject& Child(size_t index) { return *slide->Children()[index]; }
  TClickResult Event(TClickEvent event, float x, float y, uint8_t button = 0, uint32_t held = 0,
                     bool allowed = true) {
    return ClickOnSlide(*slide, {x, y, event, button, held}, allowed);
  }
  TClickResult Click(float x, float y) {
    Event(TClickEvent::Down, x, y, kLeft, kLeftHeld);
    return Event(TClickEvent::Up, x, y, kLeft, 0);
  }

  std::unique_ptr<TIniFile> project;
  TZelSlideHost host;
  std::unique_ptr<TZelSlide> slide;
};

const char* const kTwoButtons =
    "object Next: Button\n  FitMode=None\n  Action=nextslide\n"
    "  object KP: KeyPoint\n    Position=-50,0\n  end\nend\n"
    "object Back: Button\n  FitMode=None\n  Action=prevslide\n"
    "  object KP: KeyPoint\n    Position=50,0\n  end\nend\n";

TEST_F(SlideClicks, PressAndReleaseOnAButtonCarriesOutItsAction) {
  Build(kTwoButtons);
  const TClickResult down = Event(TClickEvent::Down, 200, 300, kLeft, kLeftHeld);
  EXPECT_EQ(down.hit, &Child(0));
  EXPECT_FALSE(down.carriedOut);
  EXPECT_EQ(Child(0).ClickLook(), TClickLook::Pressed);
  EXPECT_TRUE(Child(0).PressedMark());
  const TClickResult up = Event(TClickEvent::Up, 200, 300, kLeft, 0);
  EXPECT_TRUE(up.carriedOut);
  EXPECT_EQ(up.action.kind, TActionKind::NextSlide);
  EXPECT_EQ(up.actionText, u"nextslide");
  EXPECT_EQ(Child(0).ClickLook(), TClickLook::Hover);
  EXPECT_FALSE(Child(0).PressedMark());
}

TEST_F(SlideClicks, PressOnOneAndReleaseOnAnotherRunsNothingNowOrLater) {
  Build(kTwoButtons);
  Event(TClickEvent::Down, 200, 300, kLeft, kLeftHeld);
  EXPECT_FALSE(Event(TClickEvent::Up, 600, 300, kLeft, 0).carriedOut);
  // The first button's mark went with the release: going back and
  // releasing there again runs nothing either.
  EXPECT_FALSE(Child(0).PressedMark());
  EXPECT_FALSE(Event(TClickEvent::Up, 200, 300, kLeft, 0).carriedOut);
  // A release over nothing also clears the marks.
  Event(TClickEvent::Down, 200, 300, kLeft, kLeftHeld);
  EXPECT_EQ(Event(TClickEvent::Up, 10, 10, kLeft, 0).hit, nullptr);
  EXPECT_FALSE(Event(TClickEvent::Up, 200, 300, kLeft, 0).carriedOut);
}

TEST_F(SlideClicks, HoverAndPressedLooksFollowThePointer) {
  Build(kTwoButtons);
  Event(TClickEvent::Move, 200, 300);
  EXPECT_EQ(Child(0).ClickLook(), TClickLook::Hover);
  Event(TClickEvent::Move, 600, 300, 0, kLeftHeld);
  EXPECT_EQ(Child(0).ClickLook(), TClickLook::Normal);
  EXPECT_EQ(Child(1).ClickLook(), TClickLook::Pressed);
  Event(TClickEvent::Move, 400, 100);
  EXPECT_EQ(Child(1).ClickLook(), TClickLook::Normal);
}

TEST_F(SlideClicks, AnotherButtonHeldOrActionsOffDoNothing) {
  Build(kTwoButtons);
  Event(TClickEvent::Move, 200, 300);
  const TClickResult right = Event(TClickEvent::Down, 200, 300, kLeft, kLeftHeld | kRightHeld);
  EXPECT_EQ(right.hit, nullptr);
  EXPECT_EQ(Child(0).ClickLook(), TClickLook::Normal);
  EXPECT_FALSE(Child(0).PressedMark());
  // The right button alone neither presses nor clicks.
  Event(TClickEvent::Down, 200, 300, kRight, kRightHeld);
  EXPECT_FALSE(Event(TClickEvent::Up, 200, 300, kRight, 0).carriedOut);
  // Actions off: no look, no action.
  Event(TClickEvent::Down, 200, 300, kLeft, kLeftHeld, false);
  EXPECT_FALSE(Event(TClickEvent::Up, 200, 300, kLeft, 0, false).carriedOut);
  EXPECT_EQ(Child(0).ClickLook(), TClickLook::Normal);
}

TEST_F(SlideClicks, TransparentObjectsLetTheClickThroughOthersTakeIt) {
  Build(
      "object Go: Button\n  FitMode=None\n  Action=gotoslide(2)\nend\n"
      "object Label: Text\n  FitMode=None\n  TranspForClick=1\nend\n");
  const TClickResult through = Click(400, 300);
  EXPECT_EQ(through.hit, &Child(0));
  EXPECT_EQ(through.action, (TZelActionInfo{TActionKind::GoToSlide, 2, u"2"}));

  // A picture without an action on top takes the click: it carries out
  // its empty action, and the caller falls back to the mouse mapping.
  Build(
      "object Go: Button\n  FitMode=None\n  Action=exit\nend\n"
      "object Photo: Image\n  FitMode=None\nend\n");
  const TClickResult blocked = Click(400, 300);
  EXPECT_EQ(blocked.hit, &Child(1));
  EXPECT_TRUE(blocked.carriedOut);
  EXPECT_TRUE(blocked.action.Empty());
}

TEST_F(SlideClicks, ObjectsWithoutLooksStillCarryOutTheirActions) {
  Build("object Photo: Image\n  FitMode=None\n  Action=exit\nend\n");
  Event(TClickEvent::Move, 400, 300);
  EXPECT_EQ(Child(0).ClickLook(), TClickLook::Normal);
  EXPECT_EQ(Click(400, 300).action.kind, TActionKind::Exit);
}

TEST_F(SlideClicks, ResettingClearsMarksAndLooks) {
  Build(kTwoButtons);
  Event(TClickEvent::Down, 200, 300, kLeft, kLeftHeld);
  ResetClickState(*slide);
  EXPECT_FALSE(Child(0).PressedMark());
  EXPECT_EQ(Child(0).ClickLook(), TClickLook::Normal);
  EXPECT_FALSE(Event(TClickEvent::Up, 200, 300, kLeft, 0).carriedOut);
}

}  // namespace
}  // namespace zel
