// Text objects read from a project: their lines and keys, macros filled in
// from the slide, their own size, placement by the parent's height, the
// render scale and the picture they ask for; and button faces' widths.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <memory>
#include <string>

#include "draw/null_drawer.h"
#include "imaging/bitmap_store.h"
#include "imaging/pixel_format.h"
#include "ini/ini_document.h"
#include "show/key_point.h"
#include "show/object_kinds.h"
#include "show/show_project_support.h"
#include "show/zel_slide.h"
#include "show/zel_slide_host.h"
#include "show/zel_source.h"
#include "textout/font_fixture.h"
#include "textout/text_params.h"

namespace zel {
namespace {

using show_testing::ParseProject;

class RecordingDrawer : public TNullDrawer {
 public:
  struct TImageCall {
    TImage* picture;
    T3DVector position;
    TImageDrawParams params;
    T3DVector axisX, axisY;
    TFloatPoint anchor;
  };
  void DrawImage(TImage& picture, const T3DVector& position, const TImageDrawParams& params, const T3DVector& axisX,
                 const T3DVector& axisY, const TFloatPoint& anchor) override {
    TNullDrawer::DrawImage(picture, position, params, axisX, axisY, anchor);
    images.push_back({&picture, position, params, axisX, axisY, anchor});
  }
  std::vector<TImageCall> images;
};

class TextObjects : public ::testing::Test {
 protected:
  void SetUp() override { testing::RegisterTestFonts(); }

  // Slide `position` of a show of `count` slides of 800 x 600, holding the objects.
  TZelSlide& Load(const std::string& objects, int64_t position = 0, int count = 1) {
    std::string project = "[Main]\nopt_slidescount=" + std::to_string(count) + "\n";
    for (int i = 1; i <= count; ++i) project += "[Slide" + std::to_string(i) + "]\n";
    project += "[Slide" + std::to_string(position + 1) + "]\n" + objects;
    fSource = std::make_unique<TZelSource>(nullptr, false, ParseProject(project).release(), true, u"zelplayer");
    fHost = std::make_unique<TZelSlideHost>(fSource.get());
    fHost->SetViewBounds(800, 600);
    fSlide = std::make_unique<TZelSlide>(fHost.get(), position);
    fSlide->SetLayout({800, 600}, 100, 100, {400, 300, 0});
    fSlide->Load(fSource->MainSection(), *fSource->SlideSection(position), true, {0, 10000, 0, 0, 10000, u""});
    fSlide->SetTimeAndUpdate(0);
    return *fSlide;
  }
  template <typename T>
  T& Child(size_t i) {
    auto* object = dynamic_cast<T*>(fSlide->Children()[i]);
    EXPECT_NE(object, nullptr);
    return *object;
  }

  std::unique_ptr<TZelSource> fSource;
  std::unique_ptr<TZelSlideHost> fHost;
  std::unique_ptr<TZelSlide> fSlide;
};

TEST_F(TextObjects, DefaultsAndKeys) {
  Load("object A: Text\nend\n"
       "object B: Text\n  Text=\"Hello^&World\"\n  FontStyle=Bold, Italic\n  TextAlign=right\n  LineSpacing=50\n"
       "  TextColor=255,0,0\n  ShadowEnable=0\nend\n"
       "object C: Text\n  Text=x^y\n  FontStyle=bold\nend\n");
  const TZelText& a = Child<TZelText>(0);
  EXPECT_EQ(a.Lines(), std::vector<TString>{u"Text"});
  EXPECT_EQ(a.FontName(), u"Arial");
  EXPECT_EQ(a.Alignment(), 1);
  EXPECT_EQ(a.LineSpacing(), 0);
  EXPECT_EQ(a.Colors()[0], 0xFFFFFFu);
  EXPECT_TRUE(a.Shadow().enabled);
  EXPECT_FALSE(a.Antialiased());
  const TZelText& b = Child<TZelText>(1);
  EXPECT_EQ(b.Lines(), (std::vector<TString>{u"Hello", u"World"}));
  EXPECT_EQ(b.Style(), fsBold | fsItalic);
  EXPECT_EQ(b.Alignment(), 2);
  EXPECT_EQ(b.LineSpacing(), 50);
  EXPECT_EQ(b.Colors()[1], 0xFF0000u);  // hover follows the normal colour
  EXPECT_FALSE(b.Shadow().enabled);
  const TZelText& c = Child<TZelText>(2);
  EXPECT_EQ(c.Lines(), std::vector<TString>{u"x^y"});
  EXPECT_EQ(c.Style(), 0);  // style words are exact
}

TEST_F(TextObjects, MacrosFollowTheSlideAndItsMainPicture) {
  Load("object P: Image\n  ImageName=C:\\Photos\\Trip\\img_01.jpg\n  ImageIndex=0\nend\n"
       "object T: Text\n  Text=Slide <%slideindex%> of <%SlidesCount%>^&<%MainImg.FolderName%>/<%MainImg.FileName%>\n"
       "end\nobject E: Text\n  Text=<%MainImg.Exif.Comment%>\nend\n",
       2, 10);
  EXPECT_EQ(Child<TZelText>(1).ExpandedLines(), (std::vector<TString>{u"Slide 3 of 10", u"Trip/img_01"}));
  // No comment in a picture that cannot be read: a single space.
  EXPECT_EQ(Child<TZelText>(2).ExpandedLines(), std::vector<TString>{u" "});
}

TEST_F(TextObjects, MainPictureNeedsAnImageIndex) {
  Load("object P: Image\n  ImageName=first.jpg\nend\n"
       "object F: Frame\n  object Q: Image\n    ImageName=Deep\\second.jpg\n    ImageIndex=4\n  end\nend\n"
       "object T: Text\n  Text=<%MainImg.FileNameExt%>\nend\n");
  EXPECT_EQ(Child<TZelText>(2).ExpandedLines(), std::vector<TString>{u"second.jpg"});
}

TEST_F(TextObjects, PlacedByTheParentsHeightKeepingProportions) {
  Load("object T: Text\n  Text=Hello\n  object KP: KeyPoint\n    ScaleX=20\n    ScaleY=10\n  end\nend\n");
  const TZelText& text = Child<TZelText>(0);
  const TTextSize size = text.TextSize();
  ASSERT_GT(size.height, 0);
  // Scale y 10: the text is 10 % of the 600-pixel slide high; scale x 20
  // makes it twice as wide as its proportions.
  EXPECT_NEAR(Length(text.YAxis()) * size.height, 60, 1e-6);
  EXPECT_NEAR(Length(text.XAxis()) / Length(text.YAxis()), 2, 1e-9);
  // Rendered at the pixels per text unit of its largest drawn size (the
  // larger scale, 20).
  EXPECT_NEAR(text.RenderScale() * size.height, 120, 1e-6);
  const TParsedTextName parsed = ParseTextPictureName(text.TextPictureName());
  EXPECT_NEAR(parsed.Params.Size, text.RenderScale(), 1e-5);
  EXPECT_EQ(parsed.Lines, std::vector<TString>{u"Hello"});
}

TEST_F(TextObjects, HeightChangeScalesTheKeyPoints) {
  Load("object T: Text\n  Text=One\n  object KP: KeyPoint\n    ScaleX=10\n    ScaleY=10\n  end\nend\n");
  TZelText& text = Child<TZelText>(0);
  const double oneLine = text.TextSize().height;
  const double lineOnScreen = Length(text.YAxis()) * oneLine;
  text.SetText(u"One^&Two");
  fSlide->SetTimeAndUpdate(0);
  const double q = text.TextSize().height / oneLine;
  ASSERT_GT(q, 1.5);
  EXPECT_NEAR(text.KeyPoints().KeyPoint(0).Values().ScaleY(), 10 * q, 1e-3);
  EXPECT_NEAR(text.KeyPoints().KeyPoint(0).Values().ScaleX(), 10 * q, 1e-3);
  // Each line keeps its size on the screen.
  EXPECT_NEAR(Length(text.YAxis()) * oneLine, lineOnScreen, 1e-3);
}

TEST_F(TextObjects, UnequalColoursRenderWhiteAndTint) {
  Load("object A: Text\n  Text=A\n  TextColor=255,0,0\nend\n"
       "object B: Text\n  Text=B\n  TextColor=255,0,0\n  TextColorHover=0,0,255\n  ShadowEnable=0\nend\n");
  EXPECT_EQ(ParseTextPictureName(Child<TZelText>(0).TextPictureName()).Params.Colour, 0xFFFF0000u);
  TZelText& b = Child<TZelText>(1);
  const TString before = b.TextPictureName();
  EXPECT_EQ(ParseTextPictureName(before).Params.Colour, 0xFFFFFFFFu);
  b.SetClickLook(TClickLook::Hover);
  fSlide->SetTimeAndUpdate(0);
  EXPECT_EQ(b.TextPictureName(), before);  // a look change renders nothing again
  RecordingDrawer drawer;
  drawer.SetScreen(800, 600);
  drawer.Draw(b);
  ASSERT_EQ(drawer.images.size(), 1u);
  EXPECT_EQ(drawer.images[0].params.tint, 1);
  EXPECT_EQ(drawer.images[0].params.tintColor.blue, 255);
  EXPECT_EQ(drawer.images[0].params.tintColor.red, 0);
}

TEST_F(TextObjects, DrawnPictureCoversTheTextBox) {
  Load("object T: Text\n  Text=Hello\n  ShadowEnable=0\n  object KP: KeyPoint\n    ScaleY=10\n  end\nend\n");
  const TZelText& text = Child<TZelText>(0);
  RecordingDrawer drawer;
  drawer.SetScreen(800, 600);
  drawer.Draw(*fSlide);
  ASSERT_EQ(drawer.images.size(), 1u);
  const auto& call = drawer.images[0];
  ASSERT_NE(call.picture, nullptr);
  // One picture pixel is 1 / render scale text units: the picture (less its
  // two-pixel margin) is as high as the text on the screen.
  EXPECT_NEAR(Length(call.axisY) * (call.picture->Height() - 2), 60, 2);
  EXPECT_NEAR(Length(call.axisY) * text.RenderScale(), Length(text.YAxis()), 1e-6);
}

TEST_F(TextObjects, ShadowFollowsTheGlyphsAndLiesAlongTheAngle) {
  Load("object T: Text\n  Text=Hello\n  ShadowColor=255,0,0\n  ShadowDistance=10\n  ShadowAngle=0\n"
       "  ShadowOpacity=80\n  object KP: KeyPoint\n    ScaleX=10\n    ScaleY=10\n  end\nend\n");
  RecordingDrawer drawer;
  drawer.SetScreen(800, 600);
  drawer.Draw(*fSlide);
  ASSERT_EQ(drawer.images.size(), 2u);
  const auto& shadow = drawer.images[0];
  const auto& text = drawer.images[1];
  EXPECT_FLOAT_EQ(shadow.params.opacity, 80);
  // Shape of the letters, not of their box: most of the shadow picture is
  // clear, and where it is dense it is the shadow's colour.
  TBitmap* pixels = shadow.picture->GetMipLevel(0, FormatA8R8G8B8());
  int dense = 0, total = 0;
  for (int y = 0; y < pixels->Height(); ++y)
    for (int x = 0; x < pixels->Width(); ++x, ++total) {
      const uint32_t c = pixels->PixelColor(x, y);
      if ((c >> 24) > 100) {
        ++dense;
        EXPECT_EQ(c & 0xFFFFFF, 0xFF0000u);
      }
    }
  EXPECT_GT(dense, 0);
  EXPECT_LT(dense * 2, total);
  // Angle 0 moves it to the right only; the shadow and the text share their
  // scale.
  EXPECT_GT(shadow.position.x, text.position.x + 1);
  EXPECT_NEAR(shadow.position.y, text.position.y, 1e-9);
  EXPECT_NEAR(Length(shadow.axisX), Length(text.axisX), 1e-9);
}

TEST_F(TextObjects, OnlyOneTextCommentPerSlide) {
  Load("object A: TextComment\n  Text=a\nend\nobject B: TextComment\n  Text=b\nend\nobject C: Text\nend\n");
  EXPECT_FALSE(Child<TZelText>(0).IsTextComment());
  EXPECT_TRUE(Child<TZelText>(1).IsTextComment());
  EXPECT_FALSE(Child<TZelText>(2).IsTextComment());
  Child<TZelText>(2).SetTextComment(true);
  EXPECT_FALSE(Child<TZelText>(1).IsTextComment());
}

TEST(TextRenderScale, HalvedIntoTheTextureLimits) {
  EXPECT_DOUBLE_EQ(LimitedRenderScale(2, {1000, 100}), 2);
  // 40,000 wide at scale 1: halved once to 20,000.
  EXPECT_DOUBLE_EQ(LimitedRenderScale(1, {40000, 10}), 0.5);
  // 5,000 x 5,000 at 1 is 25 million pixels: halved to 6.25 million.
  EXPECT_DOUBLE_EQ(LimitedRenderScale(1, {5000, 5000}), 0.5);
}

TEST(TextRenderScale, DegenerateInputNeverHangs) {
  const double inf = std::numeric_limits<double>::infinity();
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(LimitedRenderScale(0, {100, 100}), 0);
  EXPECT_EQ(LimitedRenderScale(-1, {100, 100}), 0);
  EXPECT_EQ(LimitedRenderScale(nan, {100, 100}), 0);
  EXPECT_EQ(LimitedRenderScale(inf, {100, 100}), 0);
  EXPECT_EQ(LimitedRenderScale(1, {inf, 100}), 0);
  EXPECT_EQ(LimitedRenderScale(1, {nan, 100}), 0);
  EXPECT_DOUBLE_EQ(LimitedRenderScale(3, {0, 0}), 3);
  EXPECT_GT(LimitedRenderScale(1e300, {1e300, 1e300}), 0);
}

TEST(ButtonFace, WidthRule) {
  // A theme 40 high with a minimum width of 300 % and a short caption.
  EXPECT_EQ(ButtonFaceWidth(40, 300, 100, 0.5, 100), 120);
  // A long caption (aspect 6) at full scale with a 100 % offset: 240 + 40.
  EXPECT_EQ(ButtonFaceWidth(40, 0, 100, 6, 100), 280);
  // Caption scale x 50: c = 50, h - round(20) = 20: 20 x 6 + 40.
  EXPECT_EQ(ButtonFaceWidth(40, 0, 100, 6, 50), 160);
  // Never narrower than it is high.
  EXPECT_EQ(ButtonFaceWidth(40, 0, 0, 0, 100), 40);
}

TEST(ButtonFace, HugeMinimumWidthIsClamped) {
  const int32_t width = ButtonFaceWidth(40, 1e12, 100, 1, 100);
  EXPECT_GT(width, 40);
  EXPECT_LE(width, 16384);
  EXPECT_LE(ButtonFaceWidth(40, std::numeric_limits<double>::infinity(), 100, 1, 100), 16384);
}

TEST_F(TextObjects, ButtonWithoutAnyThemeHasNoFaceButItsCaption) {
  Load("object B: Button\n  Theme=nothing\n  object C: Text\n    Text=Go\n    TextColor=255,0,0\n  end\nend\n");
  TZelButton& button = Child<TZelButton>(0);
  EXPECT_EQ(button.Face(TClickLook::Normal), nullptr);
  EXPECT_EQ(button.Size().height, kFacelessButtonHeight);
  ASSERT_NE(button.Caption(), nullptr);
  EXPECT_EQ(button.Caption()->CaptionOf(), &button);
  EXPECT_TRUE(button.Caption()->TransparentForClick());
  EXPECT_FALSE(button.Caption()->Shadow().enabled);
}

}  // namespace
}  // namespace zel

namespace zel {
namespace {

// A host whose pictures are plain ones of the size their name says ("W x H").
class TSizedPictureHost : public TZelSlideHost {
 public:
  using TZelSlideHost::TZelSlideHost;
  std::unique_ptr<TImage> RequestPicture(TStringView name) override {
    int w = 0, h = 0;
    if (std::sscanf(StringToUtf8(name).c_str(), "%d x %d", &w, &h) != 2 || w <= 0 || h <= 0)
      return TZelSlideHost::RequestPicture(name);
    auto bitmap = std::make_unique<TDirectBitmap>(w, h, FormatA8R8G8B8());
    return std::make_unique<TImage>(MakeRef<TWrapperBitmapStore>(TString(name), std::move(bitmap)));
  }
};

TEST(RasterizedText, UsesItsReadyPictureAtTheBlackBoxSize) {
  auto project = show_testing::ParseProject(
      "[Main]\nopt_slidescount=1\n[Slide1]\n"
      "object A: Text\n  Text=One^&Two\n  Rasterize=1\n  ImageName=400 x 100\n  BlackBoxSize=200,50\n"
      "  LineSpacing=100\nend\n"
      "object B: Text\n  Rasterize=1\n  ImageName=300 x 60\nend\n");
  TZelSource source(nullptr, false, project.release(), true, u"zelplayer");
  TSizedPictureHost host(&source);
  host.SetViewBounds(800, 600);
  TZelSlide slide(&host, 0);
  slide.SetLayout({800, 600}, 100, 100, {400, 300, 0});
  slide.Load(source.MainSection(), *source.SlideSection(0), true, {0, 10000, 0, 0, 10000, u""});
  slide.SetTimeAndUpdate(0);
  const auto& a = dynamic_cast<const TZelText&>(*slide.Children()[0]);
  EXPECT_TRUE(a.Rasterized());
  EXPECT_EQ(a.TextPictureName(), u"");
  EXPECT_EQ(a.TextSize(), (TTextSize{200, 50}));
  ASSERT_NE(a.Picture(), nullptr);
  EXPECT_EQ(a.Picture()->Width(), 400);
  // Two lines with half a line between them: 50 / (2 + 0.5).
  EXPECT_DOUBLE_EQ(a.FontSize(), 20);
  // Without a black-box size the picture's own size.
  const auto& b = dynamic_cast<const TZelText&>(*slide.Children()[1]);
  EXPECT_EQ(b.TextSize(), (TTextSize{300, 60}));
}

}  // namespace
}  // namespace zel
