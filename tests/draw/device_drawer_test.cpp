// The parts of drawing that do not need a device: frame framing,
// letterboxing, the canvas, borders and the transition decision.
#include <gtest/gtest.h>

#include <stdexcept>
#include <vector>

#include "draw/null_drawer.h"

namespace zel {
namespace {

class TBoxRecorder : public TNullDrawer {
 public:
  struct TBox {
    float width, height;
    TFloatPoint anchor;
    uint32_t color;
    bool antialiased;
  };
  std::vector<TBox> boxes;
  void DrawBox(const TBoxDrawParams& params, const T3DVector&, const T3DVector&, const T3DVector&,
               const TFloatPoint& anchor) override {
    boxes.push_back({params.width, params.height, anchor, params.color1, params.antialias[0] != 0});
  }
};

class TNamedItem : public TDrawItem {
 public:
  explicit TNamedItem(std::vector<char>& drawn, char name) : fDrawn(drawn), fName(name) {}
  void Draw(TDeviceDrawer&) override { fDrawn.push_back(fName); }

 private:
  std::vector<char>& fDrawn;
  char fName;
};

class TFixedTransition : public TDrawTransition {
 public:
  bool effect = true;
  double time = 0, duration = 1000;
  int prepared = 0, effects = 0;
  TDrawItem* preparedWith = nullptr;
  bool IsEffect() const override { return effect; }
  void Prepare(TDeviceDrawer&, TDrawItem* slideA) override {
    ++prepared;
    preparedWith = slideA;
  }
  double Time() const override { return time; }
  double Duration() const override { return duration; }
  void DrawEffect(TDeviceDrawer&, TDrawItem*, TDrawItem*) override { ++effects; }
};

TEST(DeviceDrawer, ViewSizeIsAppliedAtTheNextFrame) {
  TNullDrawer drawer;
  drawer.SetScreen(1024, 768);
  std::vector<char> drawn;
  TNamedItem item(drawn, 'a');
  drawer.SetViewSize(800, 600);
  EXPECT_EQ(drawer.ViewRect(), TRect{});
  drawer.Draw(item);
  EXPECT_EQ(drawer.ViewRect(), (TRect{112, 84, 912, 684}));
  // Centred in the clip rectangle when one is set; rounding to nearest.
  drawer.SetClipRect({100, 100, 501, 301});
  drawer.SetViewSize(200, 100);
  drawer.Draw(item);
  EXPECT_EQ(drawer.ViewRect(), (TRect{201, 151, 401, 251}));
  // An empty size changes nothing.
  drawer.SetViewSize(0, 100);
  drawer.Draw(item);
  EXPECT_EQ(drawer.ViewRect(), (TRect{201, 151, 401, 251}));
}

TEST(DeviceDrawer, FrameStagesAndAfterDrawAlsoWhenDrawingFails) {
  TNullDrawer drawer;
  std::vector<TFrameStage> stages;
  drawer.SetFrameNotification([&](TDeviceDrawer&, TDrawItem*, TFrameStage stage) { stages.push_back(stage); });
  class TFailing : public TDrawItem {
   public:
    int after = 0;
    void Draw(TDeviceDrawer&) override { throw std::runtime_error("broken"); }
    void AfterDraw(TDeviceDrawer&) override { ++after; }
  } failing;
  EXPECT_THROW(drawer.Draw(failing), std::runtime_error);
  EXPECT_EQ(failing.after, 1);
  EXPECT_EQ(stages, (std::vector<TFrameStage>{TFrameStage::FrameBegin, TFrameStage::BeforeItem}));
  // The drawer is usable again: a later frame is complete.
  stages.clear();
  std::vector<char> drawn;
  TNamedItem item(drawn, 'a');
  EXPECT_TRUE(drawer.Draw(item));
  EXPECT_EQ(stages, (std::vector<TFrameStage>{TFrameStage::FrameBegin, TFrameStage::BeforeItem,
                                              TFrameStage::AfterItem, TFrameStage::FrameEnd}));
  // Not ready: nothing is drawn and Present's refusal is the answer.
  drawer.SetReady(false);
  EXPECT_FALSE(drawer.Draw(item));
  EXPECT_EQ(drawn.size(), 1u);
}

TEST(DeviceDrawer, CanvasDefaultsToTheScreen) {
  TNullDrawer drawer;
  drawer.SetScreen(1280, 720);
  EXPECT_EQ(drawer.CanvasRect(), (TRect{0, 0, 1280, 720}));
  EXPECT_EQ(drawer.CanvasSize(), (TPoint{1280, 720}));
  EXPECT_FALSE(drawer.CanvasSizeSet());
  drawer.SetCanvas({160, 0, 1120, 720}, {800, 600});
  EXPECT_EQ(drawer.CanvasRect(), (TRect{160, 0, 1120, 720}));
  EXPECT_EQ(drawer.CanvasSize(), (TPoint{800, 600}));
  // An inverted rectangle means the whole screen, a size that is not
  // positive the rectangle's own.
  drawer.SetCanvas({500, 0, 100, 720}, {0, 600});
  EXPECT_EQ(drawer.CanvasRect(), (TRect{0, 0, 1280, 720}));
  EXPECT_EQ(drawer.CanvasSize(), (TPoint{1280, 720}));
}

TEST(DeviceDrawer, BorderIsFourStripsThatNeverOverlap) {
  TBoxRecorder drawer;
  TDrawPlane plane{{10, 20, 0}, {1, 0, 0}, {0, 1, 0}, {50, 25}};
  drawer.DrawBorder(plane, true, 80, 0xFF112233, {100, 50}, {4, 3, 6, 5});
  ASSERT_EQ(drawer.boxes.size(), 4u);
  float area = 0;
  for (const auto& box : drawer.boxes) {
    area += box.width * box.height;
    EXPECT_EQ(box.color, 0xFF112233u);
    EXPECT_TRUE(box.antialiased);
  }
  // The strips cover the frame's area exactly once.
  EXPECT_FLOAT_EQ(area, 100 * 50 - (100 - 4 - 6) * (50 - 3 - 5));
  // Top strip at the rectangle's corner; right strip moved to its place.
  EXPECT_EQ(drawer.boxes[0].anchor, (TFloatPoint{50, 25}));
  EXPECT_FLOAT_EQ(drawer.boxes[0].width, 100);
  EXPECT_EQ(drawer.boxes[2].anchor, (TFloatPoint{50 - 94, 25 - 3}));
  EXPECT_FLOAT_EQ(drawer.boxes[2].height, 42);
  EXPECT_EQ(drawer.boxes[3].anchor, (TFloatPoint{50, 25 - 45}));
  // Zero widths draw no strip at all.
  drawer.boxes.clear();
  drawer.DrawBorder(plane, false, 100, 0xFF000000, {100, 50}, {0, 2, 0, 0});
  EXPECT_EQ(drawer.boxes.size(), 1u);
}

TEST(DeviceDrawer, TransitionDrawsOutgoingEffectOrIncoming) {
  TNullDrawer drawer;
  std::vector<char> drawn;
  TNamedItem a(drawn, 'a'), b(drawn, 'b');
  TFixedTransition transition;
  auto drawWith = [&](double time) {
    transition.time = time;
    drawn.clear();
    drawer.DrawTransition(&a, &b, transition);
  };
  drawWith(0);
  EXPECT_EQ(transition.effects, 1);
  EXPECT_TRUE(drawn.empty());
  EXPECT_EQ(transition.preparedWith, &a);
  drawWith(999.9);
  EXPECT_EQ(transition.effects, 2);
  // The end of the range belongs to the incoming slide, as does a time
  // before the start.
  drawWith(1000);
  EXPECT_EQ(drawn, std::vector<char>{'b'});
  drawWith(-1);
  EXPECT_EQ(drawn, std::vector<char>{'b'});
  EXPECT_EQ(transition.effects, 2);
  transition.effect = false;
  drawWith(500);
  EXPECT_EQ(drawn, std::vector<char>{'a'});
  // Missing slides are skipped.
  transition.effect = true;
  transition.time = 2000;
  drawer.DrawTransition(&a, nullptr, transition);
}

}  // namespace
}  // namespace zel
