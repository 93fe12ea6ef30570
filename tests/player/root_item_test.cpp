// The engine's root item: the transition between the first two slides is
// drawn through the drawer and hears of every frame it is part of.
#include "player/root_item.h"

#include <gtest/gtest.h>

#include "draw/draw_transition.h"
#include "draw/null_drawer.h"

namespace zel {
namespace {

class TQuietSlide : public TDrawItem {
 public:
  void Draw(TDeviceDrawer&) override { ++draws; }
  int draws = 0;
};

class TCountingTransition : public TDrawTransition {
 public:
  bool IsEffect() const override { return true; }
  void Prepare(TDeviceDrawer&, TDrawItem*) override {}
  double Time() const override { return 100; }
  double Duration() const override { return 1000; }
  void DrawEffect(TDeviceDrawer&, TDrawItem*, TDrawItem*) override { ++draws; }
  void AfterDraw(TDeviceDrawer&) override { ++afterDraws; }
  int draws = 0;
  int afterDraws = 0;
};

TEST(RootItem, TheTransitionHearsOfEveryFrameItIsPartOf) {
  TNullDrawer drawer;
  TQuietSlide a, b;
  TCountingTransition transition;
  TRootItem root;
  root.SetScene({&a, &b}, &transition, false);
  drawer.Draw(root);
  drawer.Draw(root);
  EXPECT_EQ(transition.draws, 2);
  EXPECT_EQ(transition.afterDraws, 2);
  // Once the transition is over, the slide alone and no more news.
  root.SetScene({&b}, nullptr, false);
  drawer.Draw(root);
  EXPECT_EQ(transition.afterDraws, 2);
  EXPECT_EQ(b.draws, 1);
}

}  // namespace
}  // namespace zel
