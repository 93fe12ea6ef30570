// The slide object: its times, background, depth scale, the largest drawn
// sizes of its objects, and how it draws through the drawer.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <stdexcept>
#include <string>
#include <vector>

#include "draw/null_drawer.h"
#include "ini/ini_document.h"
#include "show/object_kinds.h"
#include "show/show_project_support.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"
#include "log_capture.h"

namespace zel {
namespace {

using show_testing::ParseProject;

std::unique_ptr<TZelSlide> LoadSlide(TIniFile& project, TZelSlideHost& host, int64_t index, const char16_t* section,
                                     bool timesGiven = false, TSlideInfo times = {}) {
  auto slide = std::make_unique<TZelSlide>(&host, index);
  slide->SetLayout({800, 600}, 100, 100, {400, 300, 0});
  slide->Load(*project.FindSection(u"Main"), *project.FindSection(section), timesGiven, times);
  return slide;
}

TEST(ZelSlide, TimesComeFromTheShowUnlessGiven) {
  auto project = ParseProject(
      "[Main]\nopt_slidescount=3\nopt_synchpos1=5000\nopt_synchpos2=9000\nopt_synchpos3=15000\n"
      "[Slide1]\n[Slide2]\n[Slide3]\n");
  TZelSlideHost host;
  TSlideInfo effects;
  effects.inEffect = 1000;
  effects.outEffect = 500;
  auto first = LoadSlide(*project, host, 0, u"Slide1", false, effects);
  EXPECT_EQ(first->Start(), 0);
  EXPECT_EQ(first->End(), 5000);
  auto second = LoadSlide(*project, host, 1, u"Slide2", false, effects);
  EXPECT_EQ(second->Start(), 5000);
  EXPECT_EQ(second->End(), 9000);
  EXPECT_EQ(second->Anchors().AnchorTime(TKeyPointAnchor::PrevEffectEnd), 6000);
  EXPECT_EQ(second->Anchors().AnchorTime(TKeyPointAnchor::SlideEnd), 9500);
  // Just past the last slide: it starts where the show ends and lasts
  // nothing; further on, both are 0.
  auto after = LoadSlide(*project, host, 3, u"Slide3", false, effects);
  EXPECT_EQ(after->Start(), 15000);
  EXPECT_EQ(after->End(), 15000);
  auto beyond = LoadSlide(*project, host, 7, u"Slide3", false, effects);
  EXPECT_EQ(beyond->Start(), 0);
  EXPECT_EQ(beyond->End(), 0);

  TSlideInfo given{20000, 24000, 1000, 1000, 25000, u""};
  auto repeated = LoadSlide(*project, host, 4, u"Slide2", true, given);
  EXPECT_EQ(repeated->Start(), 20000);
  EXPECT_EQ(repeated->End(), 24000);
  repeated->SetTime(21000, true);
  EXPECT_EQ(repeated->TimeInSlide(), 1000);
}

TEST(ZelSlide, KeyPointsMoveWithTheSlidesTimes) {
  auto project = ParseProject(
      "[Main]\nopt_slidescount=1\n[Slide1]\nobject A: Image\n"
      "  object K: KeyPoint\n    Origin=NextEffectBegin\n    Time=-500\n  end\nend\n");
  TZelSlideHost host;
  auto slide = LoadSlide(*project, host, 0, u"Slide1", true, {0, 4000, 0, 0, 4000, u""});
  const TZelObject& a = *slide->Children()[0];
  EXPECT_EQ(a.KeyPoints().KeyPointTime(0), 3500);
  slide->SetTimes(10000, 16000, 0, 0);
  EXPECT_EQ(a.KeyPoints().KeyPointTime(0), 15500);
}

TEST(ZelSlide, BackgroundDescriptors) {
  auto project = ParseProject(
      "[Main]\nopt_slidescount=5\nopt_bstyle=1\nopt_bname=255\n"
      "[Slide1]\n"
      "[Slide2]\nUsePersonal=1\nPers_Fon=1\nbstyle=2\nbname=Pictures\\sky.jpg\nbsize=50\n"
      "[Slide3]\nUsePersonal=1\nPers_Fon=1\nbstyle=2\nbname=\n"
      "[Slide4]\nUsePersonal=1\nPers_Fon=1\nbstyle=3\nbcolorstyle=1\nbcolor1=65280\nbcolor2=16711680\n"
      "[Slide5]\nUsePersonal=1\nPers_Fon=0\nbstyle=7\n"
      "[Slide6]\nUsePersonal=1\nPers_Fon=1\nbstyle=3\nbcolorstyle=2\nbcolor1=255\n"
      "[Slide7]\nUsePersonal=1\nPers_Fon=1\nbstyle=3\nbcolorstyle=3\nbcolor1=255\n");
  TZelSlideHost host;
  const auto background = [&](const char16_t* section) {
    return LoadSlide(*project, host, 0, section)->Background(0);
  };
  EXPECT_EQ(background(u"Slide1").kind, TBackgroundKind::Solid);
  EXPECT_EQ(background(u"Slide1").color1, (TRgbColor{255, 0, 0}));
  const TBackgroundDescriptor picture = background(u"Slide2");
  EXPECT_EQ(picture.kind, TBackgroundKind::Picture);
  EXPECT_EQ(picture.imageName, u"Pictures\\sky.jpg");
  EXPECT_EQ(picture.size, 50);
  EXPECT_EQ(background(u"Slide3"), TBackgroundDescriptor{});  // a picture without a name: black
  const TBackgroundDescriptor gradient = background(u"Slide4");
  EXPECT_EQ(gradient.kind, TBackgroundKind::Gradient2);
  EXPECT_EQ(gradient.color1, (TRgbColor{0, 255, 0}));
  EXPECT_EQ(gradient.color2, (TRgbColor{0, 0, 255}));
  // Personal settings without their own background use the show's.
  EXPECT_EQ(background(u"Slide5").color1, (TRgbColor{255, 0, 0}));
  EXPECT_EQ(background(u"Slide6").kind, TBackgroundKind::Gradient1);
  EXPECT_EQ(background(u"Slide6").color1, (TRgbColor{255, 0, 0}));
  EXPECT_EQ(background(u"Slide7"), TBackgroundDescriptor{});
}

TEST(ZelSlide, DepthScaleFromTheEyeDistance) {
  auto project = ParseProject("[Main]\nopt_slidescount=1\n[Slide1]\n");
  TZelSlideHost host;
  host.SetViewBounds(800, 600);
  auto slide = LoadSlide(*project, host, 0, u"Slide1");
  slide->SetTimeAndUpdate(0);
  const double tan30 = std::tan(std::numbers::pi / 6);
  EXPECT_NEAR(slide->DepthScale(), tan30, 1e-12);
  host.SetViewBounds(1600, 1200);
  slide->SetLayout({800, 600}, 200, 200, {800, 600, 0});
  slide->SetTimeAndUpdate(0);
  EXPECT_NEAR(slide->DepthScale(), tan30, 1e-12);
  host.SetViewBounds(800, 0);
  slide->SetTimeAndUpdate(0);
  EXPECT_NEAR(slide->DepthScale(), tan30, 1e-12);
}

class LargestSize : public ::testing::Test {
 protected:
  void SetUp() override {
    project = ParseProject(
        "[Main]\nopt_slidescount=1\n[Slide1]\n"
        "object Grow: Image\n"
        "  object K1: KeyPoint\n    Time=0\n    ScaleX=50\n    ScaleY=50\n  end\n"
        "  object K2: KeyPoint\n    Time=2000\n    ScaleX=150\n    ScaleY=100\n  end\n"
        "  object K3: KeyPoint\n    Time=4000\n    ScaleX=100\n    ScaleY=100\n  end\nend\n"
        "object Near: Image\n"
        "  object K1: KeyPoint\n    Time=1000\n    ZPos=-100\n  end\nend\n"
        "object Still: Image\nend\n");
    host.SetViewBounds(800, 600);
    slide = LoadSlide(*project, host, 0, u"Slide1", true, {0, 5000, 0, 0, 5000, u""});
    for (TZelObject* child : slide->Children()) child->SetSize({400, 300});
  }
  TZelObject& Child(size_t i) { return *slide->Children()[i]; }

  std::unique_ptr<TIniFile> project;
  TZelSlideHost host;
  std::unique_ptr<TZelSlide> slide;
};

TEST_F(LargestSize, TheLargestSizeOverTheKeyPointTimes) {
  slide->SetTimeAndUpdate(3000);
  // Fitted 2x into the slide: 800 x 600 at 100 %, 1200 x 600 at its peak.
  EXPECT_NEAR(Child(0).LargestDrawnWidth(), 1200, 1e-3);
  EXPECT_NEAR(Child(0).LargestDrawnHeight(), 600, 1e-3);
  EXPECT_NEAR(Child(2).LargestDrawnWidth(), 800, 1e-3);
  EXPECT_EQ(slide->LargestDrawnWidth(), 800);
  // The pass leaves the slide at the time it had.
  EXPECT_NEAR(Child(0).ScaleX(), 125, 1e-3);
  EXPECT_TRUE(slide->ShownInTime());
}

TEST_F(LargestSize, NearerObjectsAreDrawnLarger) {
  slide->SetTimeAndUpdate(0);
  // ZPos -100 in a 600-high parent lies 300 x tan 30 in front of the
  // slide; the eye is 600 in front.
  const double depth = -300 * std::tan(std::numbers::pi / 6);
  EXPECT_NEAR(Child(1).NearestDepth(), depth, 1e-6);
  const double factor = 1 / (1 - depth / -600.0);
  EXPECT_NEAR(Child(1).LargestDrawnWidth(), 800 * factor, 1e-3);
}

TEST_F(LargestSize, RunsAgainOnlyAfterAChange) {
  int visits = 0;
  SetSlideLoadingCallback([&](TZelSlide&) {
    ++visits;
    return true;
  });
  slide->SetTimeAndUpdate(0);
  EXPECT_EQ(visits, 4);  // 0, 2000, 4000, 1000
  slide->SetTimeAndUpdate(500);
  EXPECT_EQ(visits, 4);
  Child(0).KeyPoints().KeyPoint(1).SetValue(TKeyValue::ScaleX, 300);
  slide->SetTimeAndUpdate(500);
  EXPECT_EQ(visits, 8);
  EXPECT_NEAR(Child(0).LargestDrawnWidth(), 2400, 1e-3);
  // What changed is still marked for the drawer.
  EXPECT_TRUE(Child(0).ContentChanged());
  SetSlideLoadingCallback({});
}

TEST_F(LargestSize, EachTimeIsVisitedOnceAndANewSizeCountsAsAChange) {
  // A key point of "Still" at a time "Grow" already has.
  Child(2).KeyPoints().AddKeyPoint(TKeyPointAnchor::SlideBegin, 2000);
  int visits = 0;
  SetSlideLoadingCallback([&](TZelSlide&) {
    ++visits;
    return true;
  });
  slide->SetTimeAndUpdate(0);
  EXPECT_EQ(visits, 4);
  Child(2).SetSize({100, 300});
  slide->SetTimeAndUpdate(0);
  SetSlideLoadingCallback({});
  EXPECT_EQ(visits, 8);
  // Fitted 2x: 200 wide.
  EXPECT_NEAR(Child(2).LargestDrawnWidth(), 200, 1e-3);
}

TEST_F(LargestSize, ChangeMarksCompareWithTheLastFrameNotThePass) {
  slide->SetTimeAndUpdate(3000);
  slide->SetTimeAndUpdate(3000);
  ASSERT_FALSE(Child(0).TransformChanged());
  // A change starts the pass, which visits other times (1,000 last); the
  // update after it still sees "Grow" where the last frame had it.
  Child(1).KeyPoints().KeyPoint(0).SetValue(TKeyValue::Opacity, 20);
  slide->SetTimeAndUpdate(3000);
  EXPECT_FALSE(Child(0).TransformChanged());
  EXPECT_TRUE(Child(1).TransformChanged());
}

TEST_F(LargestSize, TheLoadingCallbackCanStopThePass) {
  int visits = 0;
  SetSlideLoadingCallback([&](TZelSlide&) { return ++visits < 2; });
  slide->SetTimeAndUpdate(0);
  SetSlideLoadingCallback({});
  EXPECT_EQ(visits, 2);
  // Only the first time was measured.
  EXPECT_NEAR(Child(0).LargestDrawnWidth(), 400, 1e-3);
  EXPECT_NEAR(Child(0).ScaleX(), 50, 1e-3);
}

// Records what the tree asks of the drawer.
class TRecordingDrawer : public TNullDrawer {
 public:
  std::vector<std::string> log;
  bool ready = true;

  bool BeginFrame() override {
    log.push_back("begin");
    return true;
  }
  bool Present() override {
    log.push_back("present");
    return true;
  }
  bool IsReady() const override { return ready; }
  bool Draw(TDrawItem& item) override {
    if (auto* object = dynamic_cast<TZelObject*>(&item)) log.push_back("draw " + std::string(object->Name().begin(), object->Name().end()));
    return TDeviceDrawer::Draw(item);
  }
};

class TThrowingItem : public TDrawItem {
 public:
  int afterDraw = 0;
  void Draw(TDeviceDrawer&) override { throw std::runtime_error("broken"); }
  void AfterDraw(TDeviceDrawer&) override { ++afterDraw; }
};

TEST(Drawing, ChildrenFollowTheirParentInProjectOrder) {
  auto project = ParseProject(
      "[Main]\nopt_slidescount=1\n[Slide1]\nobject A: Image\n  object A1: Image\n  end\nend\nobject B: Text\nend\n");
  TZelSlideHost host;
  auto slide = LoadSlide(*project, host, 0, u"Slide1");
  slide->SetTimeAndUpdate(0);
  TRecordingDrawer drawer;
  std::vector<TFrameStage> stages;
  drawer.SetFrameNotification([&](TDeviceDrawer&, TDrawItem*, TFrameStage stage) { stages.push_back(stage); });
  EXPECT_TRUE(drawer.Draw(*slide));
  EXPECT_EQ(drawer.log, (std::vector<std::string>{"draw Slide1", "begin", "draw A", "draw A1", "draw B", "present"}));
  // Every item between its own two notifications, the frame's end last.
  ASSERT_EQ(stages.size(), 9u);
  EXPECT_EQ(stages.front(), TFrameStage::BeforeItem);
  EXPECT_EQ(stages.back(), TFrameStage::FrameEnd);
  EXPECT_FALSE(slide->IsChanged());
}

// An object of a kind that draws, and one whose drawing fails.
class TDrawingObject : public TZelObject {
 public:
  TDrawingObject(TZelObject* parent, bool fails) : TZelObject(parent, u""), fFails(fails) {}
  int drawn = 0;

 protected:
  void DrawSelf(TDeviceDrawer&) override {
    ++drawn;
    if (fFails) throw std::runtime_error("no picture");
  }

 private:
  bool fFails;
};

TEST(Drawing, OnlyDrawableObjectsDrawAndAFailureStaysWithTheObject) {
  auto project = ParseProject("[Main]\nopt_slidescount=1\n[Slide1]\n");
  TZelSlideHost host;
  auto slide = LoadSlide(*project, host, 0, u"Slide1", true, {1000, 5000, 0, 0, 5000, u""});
  auto* failing = new TDrawingObject(slide.get(), true);
  auto* inside = new TDrawingObject(failing, false);
  auto* later = new TDrawingObject(slide.get(), false);
  failing->SetName(u"failing");
  later->SetName(u"later");
  TRecordingDrawer drawer;
  slide->SetTimeAndUpdate(500);  // before the slide's time: nothing is shown
  EXPECT_TRUE(drawer.Draw(*slide));
  EXPECT_EQ(failing->drawn + inside->drawn + later->drawn, 0);
  slide->SetTimeAndUpdate(2000);
  EXPECT_TRUE(drawer.Draw(*slide));
  EXPECT_EQ(failing->drawn, 1);
  EXPECT_EQ(inside->drawn, 1);
  EXPECT_EQ(later->drawn, 1);
  // The failure is logged once, not every frame.
  testing_support::TLogCapture log;
  EXPECT_TRUE(drawer.Draw(*slide));
  EXPECT_EQ(failing->drawn, 2);
  EXPECT_EQ(log.Containing("object failing not drawn: no picture"), 0);
}

TEST(Drawing, AFailingObjectSaysSoOnce) {
  auto project = ParseProject("[Main]\nopt_slidescount=1\n[Slide1]\n");
  TZelSlideHost host;
  auto slide = LoadSlide(*project, host, 0, u"Slide1", true, {0, 5000, 0, 0, 5000, u""});
  auto* failing = new TDrawingObject(slide.get(), true);
  failing->SetName(u"failing");
  slide->SetTimeAndUpdate(100);
  testing_support::TLogCapture log;
  TRecordingDrawer drawer;
  for (int i = 0; i < 3; ++i) EXPECT_TRUE(drawer.Draw(*slide));
  EXPECT_EQ(failing->drawn, 3);
  EXPECT_EQ(log.Containing("object failing not drawn: no picture"), 1);
}

TEST(Drawing, AfterDrawRunsWhenTheItemFails) {
  TRecordingDrawer drawer;
  TThrowingItem item;
  EXPECT_THROW(drawer.Draw(item), std::runtime_error);
  EXPECT_EQ(item.afterDraw, 1);
  // The drawer is at the top level again: the next frame is framed anew.
  drawer.log.clear();
  drawer.ready = false;
  EXPECT_TRUE(drawer.Draw(item));
  EXPECT_EQ(drawer.log, (std::vector<std::string>{"begin", "present"}));
  EXPECT_EQ(item.afterDraw, 2);
}

}  // namespace
}  // namespace zel
