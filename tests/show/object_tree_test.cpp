// The object tree of a slide: reading objects from the project, placement,
// when objects are shown, hit testing and re-reading by GUID.
#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "ini/ini_document.h"
#include "show/object_kinds.h"
#include "show/show_project_support.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"

namespace zel {
namespace {

using show_testing::ParseProject;

constexpr double kEps = 1e-9;

// A slide of the given size at 100 % whose centre is the middle of a view
// of the same size, read from the section "Slide1" of the project text.
class SlideTree : public ::testing::Test {
 protected:
  void Build(const std::string& slideText, int32_t width = 800, int32_t height = 600, double start = 0,
             double end = 10000) {
    project = ParseProject("[Main]\nopt_slidescount=1\n[Slide1]\n" + slideText);
    host.SetViewBounds(width, height);
    slide = std::make_unique<TZelSlide>(&host, 0);
    slide->SetLayout({width, height}, 100, 100, {width / 2.0, height / 2.0, 0});
    TSlideInfo times;
    times.start = start;
    times.end = end;
    slide->Load(*project->FindSection(u"Main"), *project->FindSection(u"Slide1"), true, times);
  }
  TZelObject& Child(size_t index, TZelObject* parent = nullptr) {
    const auto children = (parent ? parent : slide.get())->Children();
    EXPECT_LT(index, children.size());
    return *children[index];
  }
  void At(double t) { slide->SetTimeAndUpdate(t); }

  std::unique_ptr<TIniFile> project;
  TZelSlideHost host;
  std::unique_ptr<TZelSlide> slide;
};

TEST_F(SlideTree, ChildrenComeInProjectOrderAndUnknownTypesAreLeftOutWithTheirSubtree) {
  Build(
      "object A: Image\nend\n"
      "object S: Sprite\n  object Inner: Image\n  end\nend\n"
      "object B: TEXT\n  object C: box\n  end\n  object D: Frame\n  end\nend\n"
      "object E: viewport\nend\n");
  ASSERT_EQ(slide->Children().size(), 3u);
  EXPECT_EQ(Child(0).Name(), u"A");
  EXPECT_EQ(Child(1).Name(), u"B");
  EXPECT_EQ(Child(1).TypeName(), u"text");
  EXPECT_NE(dynamic_cast<TZelText*>(&Child(1)), nullptr);
  ASSERT_EQ(Child(1).Children().size(), 2u);
  EXPECT_NE(dynamic_cast<TZelBox*>(&Child(0, &Child(1))), nullptr);
  EXPECT_NE(dynamic_cast<TZelFrame*>(&Child(1, &Child(1))), nullptr);
  EXPECT_EQ(Child(1, &Child(1)).Parent(), &Child(1));
  EXPECT_NE(dynamic_cast<TZelViewPort*>(&Child(2)), nullptr);
  EXPECT_EQ(slide->Name(), u"Slide1");
}

TEST_F(SlideTree, CommonKeysHaveTheirDefaultsAndTextCastsAShadow) {
  Build(
      "object A: Image\nend\n"
      "object B: Text\nend\n"
      "object C: Image\n  FitMode=cover\n  PosMode=ABSOLUTE\n  ShadowEnable=1\n  ShadowColor=10,20,30\n"
      "  HideMode=3\n  ChildInvis=1\n  Action=Next\n  TranspForClick=1\n  DeltaTime2=250\nend\n");
  const TZelObject& a = Child(0);
  EXPECT_EQ(a.FitMode(), TFitMode::PlaceInto);
  EXPECT_EQ(a.PositionMode(), TPlaceMode::Percent);
  EXPECT_EQ(a.CenterMode(), TPlaceMode::Percent);
  EXPECT_FALSE(a.Shadow().enabled);
  EXPECT_EQ(a.Shadow().size, 16);
  EXPECT_EQ(a.Shadow().opacity, 59);
  EXPECT_FLOAT_EQ(a.Shadow().distance, 1.5f);
  EXPECT_EQ(a.Shadow().angle, 45);
  EXPECT_EQ(a.Shadow().color, (TRgbColor{0, 0, 0}));
  EXPECT_FALSE(a.HideFront());
  EXPECT_FALSE(a.HideBack());
  EXPECT_EQ(a.Guid().size(), 38u);
  EXPECT_NE(a.Guid(), Child(1).Guid());
  EXPECT_TRUE(Child(1).Shadow().enabled);

  const TZelObject& c = Child(2);
  EXPECT_EQ(c.FitMode(), TFitMode::Cover);
  EXPECT_EQ(c.PositionMode(), TPlaceMode::Absolute);
  EXPECT_TRUE(c.Shadow().enabled);
  EXPECT_EQ(c.Shadow().color, (TRgbColor{10, 20, 30}));
  EXPECT_TRUE(c.HideFront());
  EXPECT_TRUE(c.HideBack());
  EXPECT_TRUE(c.ChildInvisible());
  EXPECT_EQ(c.Action(), u"Next");
  EXPECT_TRUE(c.TransparentForClick());
  EXPECT_EQ(c.DeltaTime2(), 250);
}

TEST_F(SlideTree, KeyPointsReadTheirValuesAndAnchors) {
  Build(
      "object A: Image\n"
      "  object KP: KeyPoint\n    Time=0\n    Angle=90\n    Position=10,-20\n    Color=255,0,0\n  end\n"
      "  object KP2: keypoint\n    Time=-1000\n    Origin=slideend\n    Angle=0\n    Opacity=0\n  end\n"
      "end\n",
      800, 600, 2000, 8000);
  TZelObject& a = Child(0);
  ASSERT_EQ(a.KeyPoints().Count(), 2);
  EXPECT_EQ(a.KeyPoints().KeyPointTime(0), 2000);
  EXPECT_EQ(a.KeyPoints().KeyPointTime(1), 7000);  // slide end 8000 without an outgoing transition
  At(2000);
  EXPECT_NEAR(a.Angle(), std::numbers::pi / 2, 1e-6);
  EXPECT_EQ(a.PositionX(), 10);
  EXPECT_EQ(a.PositionY(), -20);
  EXPECT_EQ(a.Color().red, 255);
  EXPECT_EQ(a.Color().green, 0);
  At(4500);
  EXPECT_NEAR(a.Angle(), std::numbers::pi / 4, 1e-6);
  EXPECT_NEAR(a.Opacity(), 50, 1e-4);
  // The second key point named no colour: white.
  EXPECT_EQ(a.Color().green, 128);
}

TEST_F(SlideTree, FitFactorsPlaceIntoAndCover) {
  Build("object A: Image\nend\nobject B: Image\n  FitMode=Cover\nend\nobject C: Image\nend\n", 800, 800);
  Child(0).SetSize({400, 300});
  Child(1).SetSize({400, 300});
  Child(2).SetSize({0, 300});
  At(0);
  EXPECT_NEAR(Child(0).EffectiveScaleX(), 2, kEps);
  EXPECT_NEAR(Child(0).EffectiveScaleY(), 2, kEps);
  EXPECT_NEAR(Child(1).EffectiveScaleX(), 8.0 / 3.0, kEps);
  EXPECT_EQ(Child(2).EffectiveScaleX(), 0);
  // With all angles 0 the axes are the scales.
  EXPECT_EQ(Child(0).XAxis(), (T3DVector{2, 0, 0}));
  EXPECT_EQ(Child(0).YAxis().y, 2);
  const auto corners = Child(0).Corners();
  EXPECT_NEAR(corners[1].x - corners[0].x, 800, kEps);
  EXPECT_NEAR(corners[3].y - corners[0].y, 600, kEps);
}

TEST_F(SlideTree, PositionAndCentreInPercentAndAbsolute) {
  Build(
      "object A: Image\n  object KP: KeyPoint\n    Position=100,0\n  end\nend\n"
      "object B: Image\n  object KP: KeyPoint\n    CenterPos=-100,-100\n  end\nend\n"
      "object C: Image\n  PosMode=Absolute\n  object KP: KeyPoint\n    Position=30,40\n  end\nend\n"
      "object D: Image\n  object KP: KeyPoint\n    CenterPos=100,100\n    ZPos=100\n  end\nend\n");
  for (size_t i = 0; i < 4; ++i) Child(i).SetSize({400, 300});
  At(0);
  // Half the parent's width to the right of the slide's origin (its centre).
  EXPECT_EQ(Child(0).Origin(), (T3DVector{400 + 400, 300, 0}));
  EXPECT_EQ(Child(1).CornerOffset(), (TFloatPoint{0, 0}));
  EXPECT_EQ(Child(2).Origin(), (T3DVector{430, 340, 0}));
  EXPECT_EQ(Child(3).CornerOffset(), (TFloatPoint{-400, -300}));
  // Depth: ZPos x parent height / 200 along the slide's depth axis.
  EXPECT_NEAR(Child(3).Origin().z, 100 * 600 / 200.0 * slide->DepthScale(), kEps);
  EXPECT_NEAR(slide->DepthScale(), std::tan(std::numbers::pi / 6), kEps);
}

TEST_F(SlideTree, RotationRowsFollowTheAngles) {
  Build(
      "object A: Image\n  object KP: KeyPoint\n    Angle=90\n  end\nend\n"
      "object B: Image\n  object KP: KeyPoint\n    AngleX=30\n    AngleY=60\n    ScaleX=50\n  end\nend\n");
  Child(0).SetSize({800, 600});
  Child(1).SetSize({800, 600});
  At(0);
  EXPECT_NEAR(Child(0).XAxis().x, 0, 1e-6);
  EXPECT_NEAR(Child(0).XAxis().y, 1, 1e-6);
  EXPECT_NEAR(Child(0).YAxis().x, -1, 1e-6);
  EXPECT_NEAR(Child(0).YAxis().y, 0, 1e-6);

  const double sx = std::sin(std::numbers::pi / 6), cx = std::cos(std::numbers::pi / 6);
  const double sy = std::sin(std::numbers::pi / 3), cy = std::cos(std::numbers::pi / 3);
  const TFrameMatrix& m = Child(1).FrameMatrix();
  EXPECT_NEAR(m[0].x, 0.5 * cy, 1e-6);
  EXPECT_NEAR(m[0].z, 0.5 * sy, 1e-6);
  EXPECT_NEAR(m[1].x, sx * sy, 1e-6);
  EXPECT_NEAR(m[1].z, -sx * cy, 1e-6);
  EXPECT_NEAR(m[2].x, -cx * sy, 1e-6);
  EXPECT_NEAR(m[2].z, cx * cy, 1e-6);
  // The world axes carry the depth scale in their third component.
  EXPECT_NEAR(Child(1).XAxis().z, m[0].z * slide->DepthScale(), 1e-9);
}

TEST_F(SlideTree, ChildrenAreFramedByTheirParent) {
  Build(
      "object P: Image\n  object KP: KeyPoint\n    Angle=90\n    Position=50,0\n  end\n"
      "  object K: Image\n    PosMode=Absolute\n    object KP: KeyPoint\n      Position=10,0\n    end\n  end\nend\n");
  TZelObject& parent = Child(0);
  parent.SetSize({400, 300});
  Child(0, &parent).SetSize({400, 300});
  At(0);
  // The parent is fitted 2x into the 800 x 600 slide and turned by 90
  // degrees: ten of its units to its right are twenty pixels downwards.
  const T3DVector& p = parent.Origin();
  EXPECT_NEAR(Child(0, &parent).Origin().x, p.x, 1e-6);
  EXPECT_NEAR(Child(0, &parent).Origin().y, p.y + 20, 1e-6);
  // The child fits its 400 x 300 parent exactly, so its axes are the parent's.
  EXPECT_NEAR(Child(0, &parent).XAxis().y, 2, 1e-6);
}

TEST_F(SlideTree, ShownFromDeltaTime1AfterTheSlideBegins) {
  Build("object A: Image\n  DeltaTime1=500\n  DeltaTime2=1000\nend\n", 800, 600, 10000, 20000);
  At(10499);
  EXPECT_FALSE(Child(0).ShownInTime());
  At(10500);
  EXPECT_TRUE(Child(0).ShownInTime());
  At(19000);
  EXPECT_TRUE(Child(0).ShownInTime());
  At(19001);
  EXPECT_FALSE(Child(0).ShownInTime());
  EXPECT_TRUE(slide->ShownInTime());
}

TEST_F(SlideTree, HideModeFollowsWhichSideFacesTheViewer) {
  Build(
      "object Front: Image\n  HideMode=2\nend\n"
      "object Turned: Image\n  HideMode=2\n  object KP: KeyPoint\n    AngleY=180\n  end\nend\n"
      "object NoFront: Image\n  HideMode=1\nend\n"
      "object Card: Image\n  HideMode=2\n  ChildInvis=1\n  object KP: KeyPoint\n    AngleY=180\n  end\n"
      "  object Inside: Image\n  end\nend\n"
      "object Open: Image\n  HideMode=2\n  object KP: KeyPoint\n    AngleY=180\n  end\n"
      "  object Inside: Image\n  end\nend\n");
  for (TZelObject* child : slide->Children()) child->SetSize({100, 100});
  At(0);
  EXPECT_TRUE(Child(0).VisibleByFacing());
  EXPECT_FALSE(Child(1).VisibleByFacing());
  EXPECT_FALSE(Child(1).Drawable());
  EXPECT_FALSE(Child(2).VisibleByFacing());
  EXPECT_TRUE(Child(0, &Child(3)).HiddenByParent());
  EXPECT_FALSE(Child(0, &Child(3)).Drawable());
  EXPECT_FALSE(Child(0, &Child(4)).HiddenByParent());
}

TEST_F(SlideTree, HitTestingTakesTheTopmostAndIgnoresTheTimeWindow) {
  Build(
      "object Under: Image\n  FitMode=None\nend\n"
      "object Over: Image\n  FitMode=None\n  DeltaTime1=5000\nend\n"
      "object Aside: Image\n  FitMode=None\n  object KP: KeyPoint\n    Position=-100,-100\n  end\n"
      "  object Nested: Image\n    FitMode=None\n  end\nend\n");
  for (TZelObject* child : slide->Children()) child->SetSize({100, 100});
  Child(0, &Child(2)).SetSize({10, 10});
  At(0);
  ASSERT_FALSE(Child(1).Drawable());
  // The later sibling wins, though it is not shown yet.
  EXPECT_EQ(slide->HitTest(400, 300), &Child(1));
  // Borders count.
  EXPECT_EQ(slide->HitTest(350, 250), &Child(1));
  EXPECT_EQ(slide->HitTest(349, 250), nullptr);
  // A caller's filter passes over the ones it refuses.
  EXPECT_EQ(slide->HitTest(400, 300, [&](const TZelObject& o) { return &o != &Child(1); }), &Child(0));
  // A child is tried before its parent; outside the child, the parent.
  EXPECT_EQ(slide->HitTest(0, 0), &Child(0, &Child(2)));
  EXPECT_EQ(slide->HitTest(40, 40), &Child(2));
  // The slide itself is never hit.
  EXPECT_EQ(slide->HitTest(790, 590), nullptr);
}

TEST_F(SlideTree, HitTestingFollowsATurnedPlaneThroughTheCamera) {
  Build("object A: Image\n  object KP: KeyPoint\n    AngleY=60\n  end\nend\n");
  Child(0).SetSize({400, 400});
  At(0);
  // Seen at an angle the object is narrower than it is high.
  const auto corners = Child(0).Corners();
  EXPECT_LT(std::abs(corners[1].x - corners[0].x), 401);
  EXPECT_EQ(slide->HitTest(400, 300), &Child(0));
  EXPECT_EQ(slide->HitTest(400, 300 + 180), &Child(0));
  EXPECT_EQ(slide->HitTest(400 + 350, 300), nullptr);
}

TEST_F(SlideTree, ReReadingKeepsObjectsWithTheirGuid) {
  Build(
      "object A: Image\n  GUID={A}\n  object KP: KeyPoint\n    Opacity=10\n  end\nend\n"
      "object B: Image\n  GUID={B}\nend\n"
      "object C: Image\nend\n");
  TZelObject* a = &Child(0);
  TZelObject* b = &Child(1);
  EXPECT_EQ(a->Guid(), u"{A}");
  auto changed = ParseProject(
      "[Slide1]\nobject B2: Image\n  GUID={B}\nend\n"
      "object A2: Image\n  GUID={A}\n  object KP: KeyPoint\n    Opacity=70\n  end\nend\n"
      "object N: Box\nend\n");
  slide->ReadFromProject(*changed->FindSection(u"Slide1"));
  ASSERT_EQ(slide->Children().size(), 3u);
  EXPECT_EQ(&Child(0), b);
  EXPECT_EQ(Child(0).Name(), u"B2");
  EXPECT_EQ(&Child(1), a);
  EXPECT_EQ(a->KeyPoints().Count(), 1);
  At(0);
  EXPECT_EQ(a->Opacity(), 70);
  EXPECT_NE(dynamic_cast<TZelBox*>(&Child(2)), nullptr);
}

TEST_F(SlideTree, CornersInflateOutwardAndOpacityComesFromTheSlide) {
  Build("object A: Image\n  object KP: KeyPoint\n    Opacity=40\n  end\nend\n");
  Child(0).SetSize({200, 100});
  At(0);
  const auto plain = Child(0).Corners();
  const auto inflated = Child(0).Corners(3);
  EXPECT_NEAR(inflated[0].x, plain[0].x - 3, kEps);
  EXPECT_NEAR(inflated[0].y, plain[0].y - 3, kEps);
  EXPECT_NEAR(inflated[2].x, plain[2].x + 3, kEps);
  EXPECT_NEAR(inflated[2].y, plain[2].y + 3, kEps);
  EXPECT_FLOAT_EQ(Child(0).EffectiveOpacity(), 40);
}

TEST_F(SlideTree, ChangeMarksFollowTheDrawnState) {
  Build(
      "object A: Image\n  object KP: KeyPoint\n    Time=0\n  end\n  object KP: KeyPoint\n    Time=1000\n"
      "    Position=50,0\n  end\nend\n"
      "object Still: Image\nend\n");
  Child(0).SetSize({100, 100});
  Child(1).SetSize({100, 100});
  At(0);
  At(500);
  EXPECT_TRUE(Child(0).TransformChanged());
  EXPECT_FALSE(Child(1).TransformChanged());
  At(500);
  EXPECT_FALSE(Child(0).TransformChanged());
}

TEST_F(SlideTree, ReReadingFreesWhatIsNotMetAgainAndRemakesChangedKinds) {
  Build(
      "object A: Image\n  GUID={A}\nend\n"
      "object D1: Image\n  GUID={D}\nend\n"
      "object D2: Image\n  GUID={D}\nend\n"
      "object K: Image\n  GUID={K}\nend\n");
  TZelObject* a = &Child(0);
  TZelObject* d1 = &Child(1);
  auto changed = ParseProject(
      "[Slide1]\nobject A: Box\n  GUID={A}\nend\n"
      "object D: MainImage\n  GUID={D}\nend\n"
      "object K: Sprite\n  GUID={K}\nend\n");
  slide->ReadFromProject(*changed->FindSection(u"Slide1"));
  // The second object of a GUID and the one whose type is now unknown are
  // freed (the sanitizer build reports a leak otherwise); a GUID whose kind
  // changed gets an object of the new kind.
  ASSERT_EQ(slide->Children().size(), 2u);
  EXPECT_NE(&Child(0), a);
  EXPECT_NE(dynamic_cast<TZelBox*>(&Child(0)), nullptr);
  EXPECT_EQ(&Child(1), d1);
  EXPECT_EQ(Child(1).TypeName(), u"mainimage");
}

TEST_F(SlideTree, RotationRowsStayAScaledRotation) {
  Build("object A: Image\nend\n");
  TZelObject& a = Child(0);
  a.SetSize({800, 600});
  std::mt19937 random(7);
  std::uniform_real_distribution<float> angle(-7, 7);
  for (int i = 0; i < 200; ++i) {
    a.KeyPoints().SetCurrentValue(TKeyValue::Angle, angle(random));
    a.KeyPoints().SetCurrentValue(TKeyValue::AngleX, angle(random));
    a.KeyPoints().SetCurrentValue(TKeyValue::AngleY, angle(random));
    a.KeyPoints().SetCurrentValue(TKeyValue::ScaleX, 50);
    a.UpdateTransform(false);
    const TFrameMatrix& m = a.FrameMatrix();
    EXPECT_NEAR(Length(m[0]), 0.5, 1e-6);
    EXPECT_NEAR(Length(m[1]), 1, 1e-6);
    EXPECT_NEAR(Length(m[2]), 1, 1e-6);
    EXPECT_NEAR(Dot(m[0], m[1]), 0, 1e-6);
    EXPECT_NEAR(Dot(m[0], m[2]), 0, 1e-6);
    EXPECT_NEAR(Dot(m[1], m[2]), 0, 1e-6);
    // Never mirrored: the depth row is x times y in this frame.
    EXPECT_NEAR(Dot(Cross(m[0], m[1]), m[2]), 0.5, 1e-6);
  }
  // A quarter turn in the plane, then a quarter turn about y: the x axis
  // points away from the viewer.
  a.KeyPoints().SetCurrentValue(TKeyValue::Angle, static_cast<float>(std::numbers::pi / 2));
  a.KeyPoints().SetCurrentValue(TKeyValue::AngleX, 0);
  a.KeyPoints().SetCurrentValue(TKeyValue::AngleY, static_cast<float>(std::numbers::pi / 2));
  a.UpdateTransform(false);
  EXPECT_NEAR(a.FrameMatrix()[0].z, 0.5, 1e-6);
  EXPECT_NEAR(a.FrameMatrix()[1].x, -1, 1e-6);
  EXPECT_NEAR(a.FrameMatrix()[2].y, -1, 1e-6);
}

TEST_F(SlideTree, NothingBehindTheEyeIsHit) {
  Build(
      "object Behind: Image\n  FitMode=None\n  object KP: KeyPoint\n    ZPos=-600\n  end\nend\n"
      "object Far: Image\n  FitMode=None\n  object KP: KeyPoint\n    ZPos=200\n  end\nend\n");
  Child(0).SetSize({100, 100});
  Child(1).SetSize({100, 100});
  At(0);
  ASSERT_LT(Child(0).Origin().z, host.EyePosition().z);
  EXPECT_EQ(slide->HitTest(400, 300), &Child(1));
}

TEST_F(SlideTree, FlatFramesAskTheHostsFilter) {
  Build("object Flat: Image\n  FitMode=None\nend\nobject Whole: Image\n  FitMode=None\nend\n");
  Child(0).SetSize({100, 0});
  Child(1).SetSize({10, 10});
  At(0);
  ASSERT_EQ(Child(0).InverseDeterminant(), 0);
  std::vector<TString> asked;
  host.SetHitFilter([&](const TZelObject& object) {
    asked.push_back(object.Name());
    return true;
  });
  // Only the flat one needs the host's word; a rectangle without height
  // holds no point.
  EXPECT_EQ(slide->HitTest(400, 300), &Child(1));
  EXPECT_TRUE(asked.empty());
  EXPECT_EQ(slide->HitTest(440, 300), nullptr);
  EXPECT_EQ(asked, std::vector<TString>{u"Flat"});
  host.SetHitFilter({});
}

TEST_F(SlideTree, ChildInvisHidesTheWholeSubtree) {
  Build(
      "object Card: Image\n  HideMode=2\n  ChildInvis=1\n  object KP: KeyPoint\n    AngleY=180\n  end\n"
      "  object Mid: Image\n    object Leaf: Image\n    end\n  end\nend\n");
  Child(0).SetSize({100, 100});
  At(0);
  TZelObject& mid = Child(0, &Child(0));
  EXPECT_TRUE(mid.HiddenByParent());
  EXPECT_TRUE(Child(0, &mid).HiddenByParent());
}

}  // namespace
}  // namespace zel
