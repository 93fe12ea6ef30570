// The picture maker of the slides: file pictures and their placeholder,
// masks, text pictures, effect buffer pictures and the generated masks and
// shadows.
#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "core/exceptions.h"
#include "core/log.h"
#include "imaging/image_lib_store.h"
#include "imaging/picture_loading.h"
#include "imaging/pixel_format.h"
#include "log_capture.h"
#include "package/package_test_support.h"
#include "show/slide_pictures.h"
#include "textout/font_fixture.h"
#include "textout/text_params.h"

namespace zel {
namespace {

using testing_support::TTempFolder;

using TLogLines = testing_support::TLogCapture;

std::unique_ptr<TBitmap> SolidBitmap(int width, int height, TCommonPixelFormat* format, TColor colour) {
  auto bitmap = std::make_unique<TDirectBitmap>(width, height, format);
  bitmap->Fill(bitmap->BoundsRect(), colour);
  return bitmap;
}

uint8_t MaskValue(TImage& mask, int level, int x, int y) { return mask.GetMipLevel(level)->ScanLine(y)[x]; }

class SlidePictures : public ::testing::Test {
 protected:
  void SetUp() override { InstallPictureLoading(); }

  TString Name(const std::string& file) const { return Utf8ToString(folder.File(file)); }

  void WritePng(const std::string& file, const TBitmap& picture) const {
    auto stream = TFileStream::CreateWrite(folder.File(file));
    SavePng(picture, *stream);
  }

  // A picture of the accessor that only this test's provider answers.
  std::unique_ptr<TCallbackHandle> Provide(const TString& name, std::unique_ptr<TBitmap> bitmap) {
    TRef<TRefObj> store(MakeRef<TWrapperBitmapStore>(name, std::move(bitmap)).Get());
    return accessor.RegisterPictureProvider(
        [name, store](TStringView asked) -> TRef<TRefObj> { return asked == name ? store : nullptr; });
  }

  TTempFolder folder;
  TFileAccessor accessor{MakeRef<TRealFileSource>()};
  TSlidePictureMaker maker{&accessor};
};

// ---------------------------------------------------------------------------

TEST_F(SlidePictures, AFileGivesItsPicture) {
  WritePng("sun.png", *SolidBitmap(30, 20, FormatA8R8G8B8(), MakeColor(200, 100, 50)));
  auto picture = maker.Make(Name("sun.png"));
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Width(), 30);
  EXPECT_EQ(picture->Height(), 20);
  EXPECT_EQ(picture->GetMipLevel(0)->PixelColor(29, 19), MakeColor(200, 100, 50));
}

TEST_F(SlidePictures, AMissingFileGivesTheAccessorsPlaceholder) {
  auto picture = maker.Make(Name("none.png"));
  ASSERT_NE(picture, nullptr);
  const auto cached = accessor.LoadPicture(Name("none.png"));
  ASSERT_TRUE(cached.has_value());
  EXPECT_TRUE(cached->IsPlaceholder());
  EXPECT_EQ(static_cast<TRefObj*>(&picture->Store()), cached->Store().Get());
  EXPECT_GT(picture->Width(), 0);
}

TEST_F(SlidePictures, EmptyNamesAndFilesWithoutAnAccessorGiveNothing) {
  WritePng("sun.png", *SolidBitmap(4, 4, FormatA8R8G8B8(), MakeColor(1, 2, 3)));
  EXPECT_EQ(maker.Make(u""), nullptr);
  TSlidePictureMaker bare(nullptr);
  EXPECT_EQ(bare.Make(Name("sun.png")), nullptr);
  EXPECT_EQ(bare.Make(u"Mask: " + Name("sun.png")), nullptr);
  // Generated pictures need no accessor.
  EXPECT_NE(bare.Make(u"TextWithSize:10:10:x"), nullptr);
}

TEST_F(SlidePictures, APictureFileHoldsItsCachedCopyOnlyWhileItLives) {
  WritePng("sun.png", *SolidBitmap(4, 4, FormatA8R8G8B8(), MakeColor(1, 2, 3)));
  const int before = PictureHandleCount();
  auto mask = maker.Make(u"Mask: " + Name("sun.png"));
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(PictureHandleCount(), before + 1);
  // The source is still there when the mask is first read.
  EXPECT_EQ(MaskValue(*mask, 0, 3, 3), 255);
  mask.reset();
  EXPECT_EQ(PictureHandleCount(), before);
}

// ---------------------------------------------------------------------------

TEST_F(SlidePictures, MaskOfAPictureWithAlphaIsItsAlphaAtEveryLevel) {
  // Alpha grows to the right while the colour darkens, so a mask taken
  // from the brightness would run the other way.
  TDirectBitmap picture(10, 6, FormatA8R8G8B8());
  for (int y = 0; y < 6; ++y)
    for (int x = 0; x < 10; ++x) {
      const uint32_t alpha = x < 5 ? 255 : 0;
      const uint32_t grey = 255 - 25 * x;
      reinterpret_cast<uint32_t*>(picture.ScanLine(y))[x] = MakeColor(grey, grey, grey, x == 0 ? 128 : alpha);
    }
  WritePng("alpha.png", picture);
  auto mask = maker.Make(u"Mask: " + Name("alpha.png"));
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask->Format(), FormatA8());
  EXPECT_EQ(mask->Width(), 10);
  EXPECT_EQ(mask->Height(), 6);
  const TBitmap* level0 = mask->GetMipLevel(0);
  EXPECT_EQ(level0->Format(), FormatA8());
  EXPECT_EQ(MaskValue(*mask, 0, 0, 2), 128);
  EXPECT_EQ(MaskValue(*mask, 0, 4, 5), 255);
  EXPECT_EQ(MaskValue(*mask, 0, 5, 0), 0);
  EXPECT_EQ(MaskValue(*mask, 0, 9, 5), 0);

  // Level 1 is half the size and follows the picture's own level 1.
  const TBitmap* level1 = mask->GetMipLevel(1);
  ASSERT_EQ(level1->Width(), 5);
  ASSERT_EQ(level1->Height(), 3);
  EXPECT_GT(MaskValue(*mask, 1, 1, 1), 200);
  EXPECT_EQ(MaskValue(*mask, 1, 4, 1), 0);
  auto source = maker.Make(Name("alpha.png"));
  const TBitmap* sourceLevel1 = source->GetMipLevel(1, FormatA8R8G8B8());
  for (int y = 0; y < 3; ++y)
    for (int x = 0; x < 5; ++x)
      EXPECT_EQ(MaskValue(*mask, 1, x, y), AlphaOf(sourceLevel1->PixelColor(x, y))) << x << "," << y;
}

TEST_F(SlidePictures, MaskOfAGreyPictureIsItsGreyLevels) {
  auto grey = std::make_unique<TDirectBitmap>(4, 2, FormatY8());
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 4; ++x) grey->ScanLine(y)[x] = static_cast<uint8_t>(10 + 60 * x + y);
  const auto provided = Provide(u"grey.pic", std::move(grey));
  auto mask = maker.Make(u"Mask: grey.pic");
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask->GetMipLevel(0)->Format(), FormatA8());
  EXPECT_EQ(MaskValue(*mask, 0, 0, 0), 10);
  EXPECT_EQ(MaskValue(*mask, 0, 3, 0), 190);
  EXPECT_EQ(MaskValue(*mask, 0, 2, 1), 131);
  EXPECT_EQ(mask->GetMipLevel(1)->Width(), 2);
}

TEST_F(SlidePictures, MaskOfAColourPictureWithoutAlphaIsItsBrightness) {
  auto colour = std::make_unique<TDirectBitmap>(3, 1, FormatR8G8B8());
  colour->Fill(TRect{0, 0, 1, 1}, MakeColor(255, 255, 255));
  colour->Fill(TRect{1, 0, 2, 1}, MakeColor(0, 0, 0));
  colour->Fill(TRect{2, 0, 3, 1}, MakeColor(0, 255, 0));
  const auto provided = Provide(u"colour.pic", std::move(colour));
  auto mask = maker.Make(u"Mask: colour.pic");
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(MaskValue(*mask, 0, 0, 0), 255);
  EXPECT_EQ(MaskValue(*mask, 0, 1, 0), 0);
  // Green weighs more than half of the brightness.
  EXPECT_NEAR(MaskValue(*mask, 0, 2, 0), 150, 3);
}

TEST_F(SlidePictures, MasksOfNothingAreNothingAndMasksOfMasksAreTheMask) {
  EXPECT_EQ(maker.Make(u"Mask: "), nullptr);
  EXPECT_EQ(maker.Make(u"Mask: Button: b"), nullptr);
  EXPECT_NE(maker.Make(u"Mask: " + Name("none.png")), nullptr);  // the placeholder's mask
  auto mask = maker.Make(u"Mask: Mask: TextWithSize:20:10:x");
  ASSERT_NE(mask, nullptr);
  EXPECT_EQ(mask->Width(), 20);
  EXPECT_EQ(MaskValue(*mask, 0, 0, 0), 255);  // the opaque stand-in
}

// ---------------------------------------------------------------------------

TEST_F(SlidePictures, TextWithSizeHasTheSizeOfItsName) {
  auto picture = maker.Make(u"TextWithSize:100:50:hi");
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(picture->Width(), 100);
  EXPECT_EQ(picture->Height(), 50);
  EXPECT_EQ(maker.Make(u"TextWithSize:0:50:hi"), nullptr);
}

int OpaquePixels(TImage& picture) {
  const TBitmap* bitmap = picture.GetMipLevel(0, FormatA8R8G8B8());
  int opaque = 0;
  for (int y = 0; y < bitmap->Height(); ++y)
    for (int x = 0; x < bitmap->Width(); ++x) opaque += AlphaOf(bitmap->PixelColor(x, y)) == 255 ? 1 : 0;
  return opaque;
}

TEST_F(SlidePictures, TextNamesAreRenderedWithAndWithoutAShow) {
  testing::RegisterTestFonts();
  TTextParams params;
  params.FontName = u"Arial";
  params.Size = 0.25;
  const TString name = BuildTextPictureName(params, {u"Hi"});
  TSlidePictureMaker bare(nullptr);
  for (TSlidePictureMaker* m : {&maker, &bare}) {
    auto picture = m->Make(name);
    ASSERT_NE(picture, nullptr);
    EXPECT_GT(picture->Width(), 2);
    EXPECT_GT(OpaquePixels(*picture), 5);
    // The host is kept: a second text works as well.
    EXPECT_NE(m->Make(BuildTextPictureName(params, {u"Again"})), nullptr);
  }
}

// ---------------------------------------------------------------------------

TEST_F(SlidePictures, EffectBufferIsScaledToTheShowArea) {
  TDirectBitmap buffer(2, 2, FormatA8R8G8B8());
  auto* top = reinterpret_cast<uint32_t*>(buffer.ScanLine(0));
  auto* bottom = reinterpret_cast<uint32_t*>(buffer.ScanLine(1));
  top[0] = MakeColor(255, 0, 0), top[1] = MakeColor(0, 255, 0);
  bottom[0] = MakeColor(0, 0, 255), bottom[1] = MakeColor(255, 255, 255, 128);
  std::vector<int> asked;
  maker.SetShowArea(8, 6);
  maker.SetEffectBufferSource([&](int number) -> TBitmap* {
    asked.push_back(number);
    return number == 3 ? &buffer : nullptr;
  });
  auto picture = maker.Make(u"SlideEffectBuffer3");
  ASSERT_NE(picture, nullptr);
  EXPECT_EQ(asked, std::vector<int>{3});
  EXPECT_EQ(picture->Width(), 8);
  EXPECT_EQ(picture->Height(), 6);
  const TBitmap* bitmap = picture->GetMipLevel(0, FormatA8R8G8B8());
  EXPECT_EQ(bitmap->PixelColor(0, 0), MakeColor(255, 0, 0));
  EXPECT_EQ(bitmap->PixelColor(3, 2), MakeColor(255, 0, 0));
  EXPECT_EQ(bitmap->PixelColor(4, 2), MakeColor(0, 255, 0));
  EXPECT_EQ(bitmap->PixelColor(3, 3), MakeColor(0, 0, 255));
  EXPECT_EQ(bitmap->PixelColor(7, 5), MakeColor(255, 255, 255, 128));
}

TEST_F(SlidePictures, WithoutABufferTheEffectBufferIsTransparent) {
  maker.SetShowArea(5, 4);
  TSlidePictureMaker answeringNone(&accessor);
  answeringNone.SetShowArea(5, 4);
  answeringNone.SetEffectBufferSource([](int) -> TBitmap* { return nullptr; });
  for (TSlidePictureMaker* m : {&maker, &answeringNone}) {
    auto picture = m->Make(u"SlideEffectBuffer0");
    ASSERT_NE(picture, nullptr);
    ASSERT_EQ(picture->Width(), 5);
    ASSERT_EQ(picture->Height(), 4);
    const TBitmap* bitmap = picture->GetMipLevel(0, FormatA8R8G8B8());
    for (int y = 0; y < 4; ++y)
      for (int x = 0; x < 5; ++x) EXPECT_EQ(bitmap->PixelColor(x, y), 0u);
  }
}

TEST_F(SlidePictures, EffectBuffersNeedAShowAreaAndOneDigit) {
  int asked = 0;
  maker.SetEffectBufferSource([&](int) -> TBitmap* { return ++asked, nullptr; });
  EXPECT_EQ(maker.Make(u"SlideEffectBuffer1"), nullptr);
  maker.SetShowArea(0, 10);
  EXPECT_EQ(maker.Make(u"SlideEffectBuffer1"), nullptr);
  TSlidePictureMaker bare(nullptr);
  bare.SetShowArea(10, 10);
  bare.SetEffectBufferSource([&](int) -> TBitmap* { return ++asked, nullptr; });
  // Other names of this form are files, and without a show there are none.
  EXPECT_EQ(bare.Make(u"SlideEffectBuffer12"), nullptr);
  EXPECT_EQ(bare.Make(u"SlideEffectBufferX"), nullptr);
  EXPECT_EQ(asked, 0);
}

TEST_F(SlidePictures, AFailingPictureIsLoggedOnceAndGivesNothing) {
  TLogLines log;
  maker.SetShowArea(4, 4);
  maker.SetEffectBufferSource([](int) -> TBitmap* { throw TCommonException("buffer lost"); });
  EXPECT_EQ(maker.Make(u"Mask: SlideEffectBuffer2"), nullptr);
  EXPECT_EQ(log.Containing("buffer lost"), 1);
}

// ---------------------------------------------------------------------------

TEST_F(SlidePictures, GeneratedMasksAreSharedWhileInUse) {
  std::unique_ptr<TImage> first = maker.Make(u"PresetedMask:100:50:1:0:0");
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->Width(), 100);
  EXPECT_EQ(first->Height(), 50);
  // A hard-edged ellipse: its middle shows, its corners hide.
  EXPECT_EQ(MaskValue(*first, 0, 50, 25), 255);
  EXPECT_EQ(MaskValue(*first, 0, 0, 0), 0);
  std::unique_ptr<TImage> second = maker.Make(u"PresetedMask:100:50:1:0:0");
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(&first->Store(), &second->Store());
  // Once every copy is gone the next request makes it again.
  first.reset();
  second.reset();
  std::unique_ptr<TImage> third = maker.Make(u"PresetedMask:100:50:1:0:0");
  ASSERT_NE(third, nullptr);
  EXPECT_EQ(third->Width(), 100);
}

TEST_F(SlidePictures, ShadowOfAGeneratedPicture) {
  std::unique_ptr<TImage> shadow =
      maker.Make(u"Shadow: 0:0:100:50:0:0:255:4:0:8:255:255:0:0:255:100.00:0:PresetedMask:100:50:0:0:0");
  ASSERT_NE(shadow, nullptr);
  // Larger than its source by the blur's margins on every side.
  EXPECT_GT(shadow->Width(), 100);
  EXPECT_GT(shadow->Height(), 50);
  TBitmap* pixels = shadow->GetMipLevel(0, FormatA8R8G8B8());
  const uint32_t middle = pixels->PixelColor(shadow->Width() / 2, shadow->Height() / 2);
  EXPECT_EQ(middle >> 24, 255u);
  EXPECT_EQ((middle >> 16) & 255, 255u);  // red, as the name asks
  EXPECT_EQ(pixels->PixelColor(0, 0) >> 24, 0u);
}

TEST_F(SlidePictures, GeneratedNamesThatGiveNothing) {
  // No theme in the show and no "aqua" either; a shadow of a missing picture.
  EXPECT_EQ(maker.Make(u"Button: nothing:0:100:0:0:0"), nullptr);
  EXPECT_EQ(maker.Make(u"Shadow: 0:0:10:10:0:0:255:4:0:8:255:255:0:0:0:100.00:0:TextWithSize:"), nullptr);
  EXPECT_EQ(maker.Make(u"PresetedMask:0:0:0:0:0"), nullptr);
  // Sizes that are no numbers are 512.
  std::unique_ptr<TImage> defaulted = maker.Make(u"PresetedMask:x:y:0:0:0");
  ASSERT_NE(defaulted, nullptr);
  EXPECT_EQ(defaulted->Width(), 512);
}

}  // namespace
}  // namespace zel
