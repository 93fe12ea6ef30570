// The layer above the slides: placements, dialogs opening, closing and
// fading in virtual time, the dialogs that hold the show, hit testing.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "core/clock.h"
#include "draw/null_drawer.h"
#include "player/engine_data.h"
#include "player/third_slide.h"
#include "show/show_project_support.h"
#include "show/zel_dialog.h"
#include "show/zel_source.h"

namespace zel {
namespace {

using show_testing::ParseProject;

TEST(ItemPlacement, TheNinePlacesOnAWideFrame) {
  const TRect frame{0, 0, 1280, 720};
  const struct {
    int code;
    TPoint at;
  } places[] = {{0, {0, 0}},      {1, {576, 0}},    {2, {1152, 0}},   {3, {1152, 324}}, {4, {1152, 648}},
                {5, {576, 648}}, {6, {0, 648}},    {7, {0, 324}},    {8, {576, 324}}};
  for (const auto& place : places) {
    EXPECT_EQ(PlaceItem(PlacementFor(place.code, 0), frame, 128, 72), place.at) << place.code;
  }
  // An offset of 10 % moves the corner inward by 5 % of the frame.
  EXPECT_EQ(PlaceItem(PlacementFor(0, 10), frame, 128, 72), (TPoint{64, 36}));
  // Within a letterboxed rectangle.
  EXPECT_EQ(PlaceItem(PlacementFor(8, 0), TRect{100, 0, 1180, 720}, 100, 100), (TPoint{590, 310}));
}

TEST(ItemPlacement, TheLogoNumbersItsPlacesItsOwnWay) {
  EXPECT_EQ(LogoPlacementCode(0), 7);  // Left
  EXPECT_EQ(LogoPlacementCode(3), 5);  // Bottom
  EXPECT_EQ(LogoPlacementCode(4), 8);  // the centre
  EXPECT_EQ(LogoPlacementCode(5), 0);  // Left-Top
  EXPECT_EQ(LogoPlacementCode(8), 6);  // Left-Bottom
  EXPECT_EQ(LogoPlacementCode(-1), 8);
  EXPECT_EQ(LogoPlacementCode(12), 8);
}

class ThirdSlideDialogs : public ::testing::Test {
 protected:
  void SetUp() override {
    fSource = std::make_unique<TZelSource>(
        nullptr, false,
        ParseProject("[Main]\nopt_slidescount=1\nopt_synchpos1=1000\nopt_scr_width=800\nopt_scr_height=600\n"
                     "opt_customdialogscount=1\ncustom_dialog1=order\n[Slide1]\n"
                     "[dialog_help]\nobject B: Box\n  Size=100,100\n  FitMode=None\n  Action=nextslide\nend\n"
                     "[dialog_1_]\nDialogPause=1\n")
            .release(),
        true, u"zelplayer");
    fLayer = std::make_unique<TThirdSlide>(*fSource, TRect{0, 0, 800, 600}, 800, 600, 0xFF000000);
    fDrawer.SetScreen(800, 600);
  }
  // A frame: the layer drawn, then time ms later a tick.
  void Frame(uint64_t ms) {
    fDrawer.Draw(*fLayer);
    fClock.Advance(ms);
    fLayer->SetTime(0);
  }
  float Opacity(size_t i = 0) const { return fLayer->Dialogs().at(i)->DialogOpacity(); }

  TVirtualClock fClock{5000, false};
  TClockOverride fUse{fClock};
  std::unique_ptr<TZelSource> fSource;
  std::unique_ptr<TThirdSlide> fLayer;
  TNullDrawer fDrawer;
};

TEST_F(ThirdSlideDialogs, ADialogFadesInOverTwoHundredMilliseconds) {
  fLayer->OpenDialog(u"help");
  ASSERT_TRUE(fLayer->DialogOpen());
  // Nothing fades before the dialog was drawn once.
  fLayer->SetTime(0);
  EXPECT_EQ(Opacity(), 0);
  Frame(0);  // the first tick after the drawing starts the fade
  EXPECT_EQ(Opacity(), 0);
  Frame(100);
  EXPECT_FLOAT_EQ(Opacity(), 50);
  Frame(100);
  EXPECT_FLOAT_EQ(Opacity(), 100);
  EXPECT_FALSE(fLayer->HoldsShow());
}

TEST_F(ThirdSlideDialogs, OpeningAnOpenDialogClosesIt) {
  fLayer->OpenDialog(u"help");
  Frame(0);
  Frame(200);
  fLayer->OpenDialog(u"help");
  EXPECT_EQ(fLayer->Dialogs().size(), 1u);
  Frame(0);
  Frame(100);
  EXPECT_FLOAT_EQ(Opacity(), 50);
  Frame(100);
  EXPECT_FALSE(fLayer->DialogOpen());
}

TEST_F(ThirdSlideDialogs, ClosedWhileFadingInItGoesOutFromWhereItWas) {
  fLayer->OpenDialog(u"help");
  Frame(0);
  Frame(60);
  ASSERT_FLOAT_EQ(Opacity(), 30);
  fLayer->CloseDialog();
  Frame(0);
  Frame(100);  // 100 - 50 = 50, but it never rises above 30
  EXPECT_FLOAT_EQ(Opacity(), 30);
  Frame(50);
  EXPECT_FLOAT_EQ(Opacity(), 25);
  Frame(50);
  EXPECT_FALSE(fLayer->DialogOpen());
}

TEST_F(ThirdSlideDialogs, APausingDialogHoldsTheShowUntilNavigationClosesIt) {
  fLayer->OpenDialog(u"order");
  ASSERT_TRUE(fLayer->DialogOpen());
  EXPECT_TRUE(fLayer->HoldsShow());
  Frame(0);
  Frame(200);
  fLayer->CloseDialogsForNavigation();
  Frame(0);
  Frame(200);
  EXPECT_FALSE(fLayer->DialogOpen());
  EXPECT_FALSE(fLayer->HoldsShow());
}

TEST_F(ThirdSlideDialogs, UnknownDialogsAndOpeningDuringAFadeOut) {
  fLayer->OpenDialog(u"nothing");
  EXPECT_FALSE(fLayer->DialogOpen());
  fLayer->OpenDialog(u"help");
  Frame(0);
  Frame(200);
  fLayer->CloseDialog();
  // While one fades out, a new one is not taken.
  fLayer->OpenDialog(u"order");
  EXPECT_EQ(fLayer->Dialogs().size(), 1u);
}

TEST_F(ThirdSlideDialogs, TheTopmostDialogTakesTheMouse) {
  fLayer->OpenDialog(u"help");
  Frame(0);
  TMouseData mouse;
  mouse.X = 400;
  mouse.Y = 300;
  bool took = false;
  const auto action = fLayer->HitTest(mouse, took);
  EXPECT_TRUE(took);
  ASSERT_TRUE(action.has_value());
  EXPECT_EQ(*action, u"nextslide");
  mouse.X = 10;
  EXPECT_FALSE(fLayer->HitTest(mouse, took).has_value());
  EXPECT_FALSE(took);
}

}  // namespace
}  // namespace zel
