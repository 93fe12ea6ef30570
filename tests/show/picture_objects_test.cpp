// Picture, mask, box and viewport objects read from a project: their sizes,
// animation, resolution level and what they hand the drawer; and the
// slide's backgrounds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "draw/null_drawer.h"
#include "imaging/bitmap_store.h"
#include "imaging/pixel_format.h"
#include "ini/ini_document.h"
#include "show/object_kinds.h"
#include "show/show_project_support.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"

namespace zel {
namespace {

using show_testing::ParseProject;

// Pictures by name: "W x H" gives a plain picture of that size; names
// listed as animated carry a strip of frames as an animated file does.
class TPictureHost : public TZelSlideHost {
 public:
  std::unique_ptr<TImage> RequestPicture(TStringView name) override {
    requests.emplace_back(name);
    if (name.starts_with(u"Mask: ")) name.remove_prefix(6);
    int w = 0, h = 0;
    if (std::sscanf(StringToUtf8(name).c_str(), "%d x %d", &w, &h) != 2 || w <= 0 || h <= 0) return nullptr;
    auto bitmap = std::make_unique<TDirectBitmap>(w, h, FormatA8R8G8B8());
    auto store = MakeRef<TWrapperBitmapStore>(TString(name), std::move(bitmap));
    if (name.find(u"strip") != TStringView::npos) {
      auto tag = std::make_unique<TTilesTag>();
      tag->Columns = 4;
      tag->Rows = 1;
      tag->Durations = u"50,150,50,250";
      tag->LoopCount = 2;
      store->Attach(std::move(tag));
    }
    return std::make_unique<TImage>(store);
  }
  std::vector<TString> requests;
};

// Keeps what was handed over.
class TRecordingDrawer : public TNullDrawer {
 public:
  struct TImageCall {
    TImage* picture;
    T3DVector position;
    TImageDrawParams params;
    T3DVector axisX, axisY;
    TFloatPoint anchor;
  };
  struct TBoxCall {
    TBoxDrawParams params;
    T3DVector position;
    TFloatPoint anchor;
  };
  void DrawImage(TImage& picture, const T3DVector& position, const TImageDrawParams& params, const T3DVector& axisX,
                 const T3DVector& axisY, const TFloatPoint& anchor) override {
    TNullDrawer::DrawImage(picture, position, params, axisX, axisY, anchor);
    images.push_back({&picture, position, params, axisX, axisY, anchor});
  }
  void DrawBox(const TBoxDrawParams& params, const T3DVector& position, const T3DVector& axisX, const T3DVector& axisY,
               const TFloatPoint& anchor) override {
    TNullDrawer::DrawBox(params, position, axisX, axisY, anchor);
    boxes.push_back({params, position, anchor});
  }
  void DrawMask(std::span<const TMaskLayer> layers, TDrawItem& item, const TMaskGrid* grid) override {
    maskLayers.assign(layers.begin(), layers.end());
    TNullDrawer::DrawMask(layers, item, grid);
  }
  std::vector<TImageCall> images;
  std::vector<TBoxCall> boxes;
  std::vector<TMaskLayer> maskLayers;
};

class PictureObjects : public ::testing::Test {
 protected:
  // One slide of 800 x 600 holding the objects' text.
  TZelSlide& Load(const std::string& objects, double start = 0) {
    fProject = ParseProject("[Main]\nopt_slidescount=1\n[Slide1]\n" + objects);
    fSlide = std::make_unique<TZelSlide>(&fHost, 0);
    fSlide->SetLayout({800, 600}, 100, 100, {400, 300, 0});
    fSlide->Load(*fProject->FindSection(u"Main"), *fProject->FindSection(u"Slide1"), true,
                 {start, start + 10000, 0, 0, start + 10000, u""});
    fSlide->SetTimeAndUpdate(start);
    return *fSlide;
  }
  template <typename T>
  T& Child(int i) {
    auto* object = dynamic_cast<T*>(fSlide->Children()[static_cast<size_t>(i)]);
    EXPECT_NE(object, nullptr);
    return *object;
  }
  void DrawSlide() {
    fDrawer = std::make_unique<TRecordingDrawer>();
    fDrawer->SetScreen(800, 600);
    fDrawer->Draw(*fSlide);
  }

  TPictureHost fHost;
  std::unique_ptr<TIniFile> fProject;
  std::unique_ptr<TZelSlide> fSlide;
  std::unique_ptr<TRecordingDrawer> fDrawer;
};

TEST_F(PictureObjects, KeysAndDefaults) {
  Load("object A: Image\n  ImageName=400 x 300\nend\n"
       "object B: MainImage\n  ImageName=400 x 300\n  Antialiased=0\n  Filtering=nearest\n  MipLodBias=-1.5\n"
       "  ImageIndex=3\n  EnableBorder=1\n  BorderWidth=10\n  BorderColor=10,20,30,40\nend\n");
  const TZelImage& a = Child<TZelImage>(0);
  EXPECT_TRUE(a.Antialiased());
  EXPECT_EQ(a.Filtering(), TPictureFiltering::Default);
  EXPECT_EQ(a.ImageIndex(), kImageIndexNotSet);
  EXPECT_EQ(a.Size(), (TObjectSize{400, 300}));
  const TZelImage& b = Child<TZelImage>(1);
  EXPECT_FALSE(b.Antialiased());
  EXPECT_EQ(b.Filtering(), TPictureFiltering::Nearest);
  EXPECT_FLOAT_EQ(b.MipLodBias(), -1.5f);
  EXPECT_EQ(b.ImageIndex(), 3);
  EXPECT_EQ(b.BorderParams().borderColor, 0x280A141Eu);
  EXPECT_EQ(b.Size(), (TObjectSize{460, 360}));
}

TEST_F(PictureObjects, CropKeysWithFourAndSixNumbers) {
  Load("object A: Image\n  ImageName=400 x 300\n  EnableCrop=1\n  CropRect=10,0,10,0\nend\n"
       "object B: Image\n  ImageName=400 x 300\n  EnableCrop=1\n  CropRect=0,0,0,0,10,10\nend\n");
  EXPECT_EQ(Child<TZelImage>(0).Size(), (TObjectSize{340, 300}));
  EXPECT_EQ(Child<TZelImage>(1).Size(), (TObjectSize{320, 300}));
  EXPECT_FLOAT_EQ(Child<TZelImage>(1).Framing().source.left, 40);
}

TEST_F(PictureObjects, DrawsBorderThenPictureAnchoredAtTheShownPart) {
  // 400 x 300 with a 30-pixel border: the object is 460 x 360, centred
  // on the slide and placed 1:1 (fit None).
  Load("object A: Image\n  ImageName=400 x 300\n  FitMode=None\n  EnableBorder=1\n  BorderWidth=10\n"
       "  BorderColor=255,0,0,255\nend\n");
  DrawSlide();
  // The slide's own background first, then the border's four strips.
  ASSERT_EQ(fDrawer->boxes.size(), 5u);
  const auto& top = fDrawer->boxes[1];
  EXPECT_EQ(top.params.color1, 0xFFFF0000u);
  EXPECT_FLOAT_EQ(top.params.width, 460);
  EXPECT_FLOAT_EQ(top.params.height, 30);
  ASSERT_EQ(fDrawer->images.size(), 1u);
  const auto& picture = fDrawer->images[0];
  // The origin is the object's centre: picture pixel (200, 150) lies there.
  EXPECT_NEAR(picture.position.x, 400, 1e-6);
  EXPECT_NEAR(picture.position.y, 300, 1e-6);
  EXPECT_NEAR(picture.anchor.x, 200, 1e-4);
  EXPECT_NEAR(picture.anchor.y, 150, 1e-4);
  EXPECT_EQ(picture.params.antialiased, 1);
  EXPECT_EQ(picture.params.smooth, 1);
  EXPECT_EQ(picture.params.tint, 0);
}

TEST_F(PictureObjects, LevelFollowsTheLargestDrawnSize) {
  // 4,000 x 3,000 placed into a 750 x 562.5 box: wanted 1,000 x 750, so
  // level 1.
  Load("object F: Frame\n  Size=750,600\n  FitMode=None\n"
       "  object A: Image\n    ImageName=4000 x 3000\n  end\nend\n");
  const TZelImage& picture = dynamic_cast<const TZelImage&>(*fSlide->Children()[0]->Children()[0]);
  EXPECT_NEAR(picture.LargestDrawnWidth(), 750, 0.01);
  EXPECT_EQ(picture.Level(), 1);
  DrawSlide();
  ASSERT_FALSE(fDrawer->images.empty());
  EXPECT_EQ(fDrawer->images.back().params.level, 1);
}

TEST_F(PictureObjects, AnimationWalksTheFramesFromTheSlidesStart) {
  Load("object A: Image\n  ImageName=400 x 200\n  AnimColumns=4\n  AnimRows=2\n  AnimCount=8\n"
       "  AnimInterval=100,200\n  AnimRepCount=1\nend\n",
       5000);
  TZelImage& a = Child<TZelImage>(0);
  EXPECT_EQ(a.Size(), (TObjectSize{100, 100}));
  const struct {
    double time;
    int frame;
  } steps[] = {{5000, 0}, {5100, 0}, {5101, 1}, {5300, 1}, {5301, 2}, {6499, 7}, {9000, 7}};
  for (const auto& step : steps) {
    fSlide->SetTimeAndUpdate(step.time);
    EXPECT_EQ(a.CurrentFrame(), step.frame) << step.time;
  }
  // Frame 5 (column 1, row 1) in the gutter view.
  fSlide->SetTimeAndUpdate(6000);
  ASSERT_EQ(a.CurrentFrame(), 5);
  DrawSlide();
  const auto& call = fDrawer->images.back();
  EXPECT_FLOAT_EQ(call.params.source.left, 100 + 2 + 1);
  EXPECT_FLOAT_EQ(call.params.source.top, 100 + 2 + 1);
  EXPECT_EQ(call.params.antialiased, 0);
  EXPECT_EQ(call.params.columns, 4);
  EXPECT_EQ(call.params.level, 0);
}

TEST_F(PictureObjects, AnimCountZeroTakesTheFilesOwnFrames) {
  Load("object A: Image\n  ImageName=400 x 100 strip\nend\n");
  TZelImage& a = Child<TZelImage>(0);
  EXPECT_EQ(a.Animation().columns, 4);
  EXPECT_EQ(a.Animation().count, 4);
  EXPECT_EQ(a.Animation().repeatCount, 2);
  EXPECT_EQ(a.Size(), (TObjectSize{100, 100}));
  fSlide->SetTimeAndUpdate(60);
  EXPECT_EQ(a.CurrentFrame(), 1);
  // Two passes of 500 ms, then the last frame stays.
  fSlide->SetTimeAndUpdate(1200);
  EXPECT_EQ(a.CurrentFrame(), 3);
}

TEST_F(PictureObjects, TheOldPictureStaysUntilTheNewOneLoads) {
  Load("object A: Image\n  ImageName=400 x 300\nend\n");
  TZelImage& a = Child<TZelImage>(0);
  TImage* first = a.Picture();
  ASSERT_NE(first, nullptr);
  a.SetImageName(u"nothing here");
  EXPECT_EQ(a.Picture(), first);
  fSlide->SetTimeAndUpdate(0);
  EXPECT_EQ(a.Picture(), first);
  EXPECT_EQ(a.LoadedName(), u"400 x 300");
  a.SetImageName(u"200 x 100");
  fSlide->SetTimeAndUpdate(0);
  EXPECT_EQ(a.LoadedName(), u"200 x 100");
  EXPECT_EQ(a.Size(), (TObjectSize{200, 100}));
}

TEST_F(PictureObjects, EffectBufferAndMaskNames) {
  Load("object A: Image\n  ImageName=400 x 300\n  ReplaceWithEffectBuffer=2\nend\n"
       "object V: ViewPort\n  object M: Mask\n    ImageName=mask.png\n  end\nend\n");
  EXPECT_NE(std::find(fHost.requests.begin(), fHost.requests.end(), TString(u"SlideEffectBuffer2")),
            fHost.requests.end());
  EXPECT_NE(std::find(fHost.requests.begin(), fHost.requests.end(), TString(u"Mask: mask.png")), fHost.requests.end());
}

TEST_F(PictureObjects, BoxesMapTheirFillModes) {
  Load("object A: Box\n  Size=200,100\n  Color1=255,0,0\n  Alpha1=128\n  Color2=0,0,255\nend\n"
       "object B: Frame\n  Size=200,100\n  FillMode=HGradient\n  Color1=255,0,0\n  Color2=0,0,255\n"
       "  Antialiased=1\nend\n"
       "object C: Box\n  Size=10,10\n  FillMode=hgradient\nend\n");
  const TZelBox& a = Child<TZelBox>(0);
  EXPECT_EQ(a.Size(), (TObjectSize{200, 100}));
  EXPECT_EQ(a.DrawParams().gradientType, 8);
  EXPECT_EQ(a.DrawParams().color1, 0x80FF0000u);
  const TBoxDrawParams b = Child<TZelBox>(1).DrawParams();
  EXPECT_EQ(b.gradientType, 6);
  EXPECT_EQ(b.color2, 0xFF0000FFu);
  EXPECT_EQ(b.antialias[3], 1);
  // The fill mode's name must match exactly.
  EXPECT_EQ(Child<TZelBox>(2).FillMode(), TBoxFillMode::Solid);
  EXPECT_EQ(GradientTypeOf(TBoxFillMode::VGradient), 5);
  EXPECT_EQ(GradientTypeOf(TBoxFillMode::TLBRGradient), 0);
  EXPECT_EQ(GradientTypeOf(TBoxFillMode::TRBLGradient), 1);
}

TEST_F(PictureObjects, ViewportsDrawOnlyThroughAShownMask) {
  const std::string viewport =
      "object V: ViewPort\n  Size=800,600\n"
      "  object M: Mask\n    ImageName=400 x 300\n    object K: KeyPoint\n      Opacity=%d\n    end\n  end\n"
      "  object B: Box\n    Size=100,100\n  end\nend\n";
  char text[512];
  std::snprintf(text, sizeof text, viewport.c_str(), 0);
  Load(text);
  DrawSlide();
  EXPECT_EQ(fDrawer->Counts().masks, 0);
  // Only the slide's background: neither the box nor the mask.
  EXPECT_EQ(fDrawer->boxes.size(), 1u);

  std::snprintf(text, sizeof text, viewport.c_str(), 50);
  Load(text);
  DrawSlide();
  EXPECT_EQ(fDrawer->Counts().masks, 1);
  ASSERT_EQ(fDrawer->maskLayers.size(), 1u);
  EXPECT_FLOAT_EQ(fDrawer->maskLayers[0].imageParams.opacity, 50);
  EXPECT_EQ(fDrawer->maskLayers[0].imageParams.antialiased, 0);
  // The box is drawn once, through the mask; the mask never by itself.
  EXPECT_EQ(fDrawer->boxes.size(), 2u);
  EXPECT_TRUE(fDrawer->images.empty());
}

TEST_F(PictureObjects, ViewportWithoutMasksDrawsNothing) {
  Load("object V: ViewPort\n  object B: Box\n    Size=100,100\n  end\nend\n");
  DrawSlide();
  EXPECT_EQ(fDrawer->boxes.size(), 1u);
}

TEST_F(PictureObjects, BadKeysDrawSomethingSensibleOrNothing) {
  Load("object A: Image\n  ImageName=400 x 300\n  AnimColumns=0\n  AnimRows=-3\n  AnimCount=-1\n  AnimInterval=x\nend\n"
       "object B: Image\n  ImageName=400 x 300\n  EnableBorder=1\n  BorderWidth=-5\nend\n"
       "object C: Image\n  ImageName=400 x 300\n  EnableCrop=1\n  CropRect=60,60,60,60\nend\n"
       "object D: Image\n  ImageName=\nend\n");
  EXPECT_EQ(Child<TZelImage>(0).Size(), (TObjectSize{400, 300}));
  EXPECT_EQ(Child<TZelImage>(1).Size(), (TObjectSize{400, 300}));
  EXPECT_EQ(Child<TZelImage>(2).Size(), (TObjectSize{400, 300}));
  EXPECT_EQ(Child<TZelImage>(3).Picture(), nullptr);
  DrawSlide();
  EXPECT_EQ(fDrawer->images.size(), 3u);
}

TEST_F(PictureObjects, SlideBackgroundsCrossFade) {
  Load("");
  TBackgroundDescriptor red;
  red.color1 = {255, 0, 0};
  TBackgroundDescriptor gradient;
  gradient.kind = TBackgroundKind::Gradient1;
  gradient.color1 = {0, 255, 0};
  gradient.color2 = {0, 0, 255};
  fSlide->SetBackground(0, red);
  fSlide->SetBackground(1, gradient);
  fSlide->SetCrossFade(51);
  DrawSlide();
  ASSERT_EQ(fDrawer->boxes.size(), 2u);
  const auto& first = fDrawer->boxes[0];
  EXPECT_EQ(first.params.gradientType, 8);
  EXPECT_EQ(first.params.color1, 0xFFFF0000u);
  EXPECT_NEAR(first.params.opacity, 80, 1e-4);
  // The slide's rectangle and two units more on every side.
  EXPECT_FLOAT_EQ(first.params.width, 804);
  EXPECT_NEAR(first.anchor.x, 402, 1e-4);
  const auto& second = fDrawer->boxes[1];
  EXPECT_EQ(second.params.gradientType, 6);
  EXPECT_EQ(second.params.color2, 0xFF0000FFu);
  EXPECT_NEAR(second.params.opacity, 20, 1e-4);
}

TEST_F(PictureObjects, PictureBackgroundsTileFromTheCentreAndKeepTwoPictures) {
  Load("");
  TBackgroundDescriptor tiles;
  tiles.kind = TBackgroundKind::Picture;
  tiles.imageName = u"200 x 100";
  // The slide is narrower for its height than the picture: the tile is
  // 25 % of its height, 150 units, and 300 wide.
  tiles.size = 25;
  fSlide->SetBackground(0, tiles);
  DrawSlide();
  // ceil(800 / 300 / 2) = 2 columns each side of the centre one, and
  // ceil(600 / 150 / 2) = 2 rows: 5 x 5.
  ASSERT_EQ(fDrawer->images.size(), 25u);
  // The centre tile covers (250, 225) to (550, 375): the slide's centre
  // is its picture pixel (100, 50).
  const auto& centre = fDrawer->images[12];
  EXPECT_NEAR(centre.anchor.x, 100, 1e-3);
  EXPECT_NEAR(centre.anchor.y, 50, 1e-3);
  EXPECT_NEAR(centre.axisX.x, 1.5, 1e-9);
  EXPECT_EQ(centre.params.level, 0);

  for (const char* name : {"300 x 100", "400 x 100", "200 x 100"}) {
    tiles.imageName = Utf8ToString(name);
    fSlide->SetBackground(0, tiles);
    DrawSlide();
  }
  // At most two kept: the first one was dropped and asked for again.
  EXPECT_EQ(std::count(fHost.requests.begin(), fHost.requests.end(), TString(u"200 x 100")), 2);
}

TEST(BackgroundLevel, HalvesWhileBothSidesStayAboveTwiceTheDrawnSize) {
  EXPECT_EQ(BackgroundLevel(4000, 3000, 1000, 750), 0);
  EXPECT_EQ(BackgroundLevel(4000, 3000, 900, 700), 1);
  EXPECT_EQ(BackgroundLevel(4000, 3000, 100, 100), 3);
  EXPECT_EQ(BackgroundLevel(4000, 3000, 0, 0), 12);
}

}  // namespace
}  // namespace zel
