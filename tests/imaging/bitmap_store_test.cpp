#include <gtest/gtest.h>

#include "assertion_capture.h"
#include <cstring>
#include <thread>

#include "core/streams.h"
#include "imaging/bitmap_store.h"
#include "imaging/image_loader.h"
#include "imaging/test_pictures.h"

namespace zel {
namespace {

using AssertionCapture = testing_support::TAssertionCapture;

using testing::PatternImage;
using testing::SamePixels;
using testing::TTestImage;

std::unique_ptr<TBitmap> FromImage(const TTestImage& image, TCommonPixelFormat* format = FormatA8R8G8B8()) {
  auto argb = CreateBitmap(image.Width, image.Height, FormatA8R8G8B8());
  for (int y = 0; y < image.Height; ++y)
    std::memcpy(argb->ScanLine(y), &image.Pixels[static_cast<size_t>(y) * image.Width], static_cast<size_t>(image.Width) * 4);
  return format == FormatA8R8G8B8() ? std::move(argb) : argb->CloneAs(format, TBitmapClass::None);
}

TRef<TBitmapStore> StoreOf(const TTestImage& image, TCommonPixelFormat* format = FormatR8G8B8()) {
  return MakeRef<TWrapperBitmapStore>(u"test", FromImage(image, format));
}

TEST(BitmapStoreLevels, LevelsAreMadeOnceAndCached) {
  auto store = StoreOf(PatternImage(9, 7, 1));
  TBitmap* level0 = store->GetMipLevel(0);
  EXPECT_EQ(store->GetMipLevel(0), level0);
  TBitmap* level2 = store->GetMipLevel(2);
  EXPECT_EQ(level2->Width(), 3);
  EXPECT_EQ(level2->Height(), 2);
  EXPECT_EQ(store->GetMipLevel(2), level2);
  EXPECT_EQ(store->CachedBitmapCount(1), 1);  // made on the way, once
  // Another format is a cached copy of the native bitmap.
  TBitmap* argb = store->GetMipLevel(0, FormatA8R8G8B8());
  EXPECT_NE(argb, level0);
  EXPECT_EQ(argb->Format(), FormatA8R8G8B8());
  EXPECT_EQ(store->GetMipLevel(0, FormatA8R8G8B8()), argb);
  EXPECT_EQ(store->CachedBitmapCount(0), 2);
  EXPECT_EQ(argb->PixelColor(4, 3), level0->PixelColor(4, 3));
}

TEST(BitmapStoreLevels, WrappedDirectBitmapsServeDirectRequests) {
  auto store = StoreOf(PatternImage(4, 4, 9));
  TBitmap* native = store->GetMipLevel(0);
  ASSERT_NE(dynamic_cast<TSysDirectWrapper*>(native), nullptr);
  EXPECT_EQ(store->GetMipLevel(0, nullptr, TBitmapClass::Direct), native);
  EXPECT_EQ(store->GetMipLevel(0, FormatR8G8B8(), TBitmapClass::Sys), native);
  EXPECT_EQ(store->CachedBitmapCount(0), 1);
  // A plain direct bitmap is no TSysBitmap: a Sys request gets a copy.
  auto direct = MakeRef<TWrapperBitmapStore>(u"direct", std::make_unique<TDirectBitmap>(3, 3, FormatR8G8B8()));
  TBitmap* plain = direct->GetMipLevel(0, nullptr, TBitmapClass::Direct);
  TBitmap* sys = direct->GetMipLevel(0, nullptr, TBitmapClass::Sys);
  EXPECT_NE(plain, sys);
  EXPECT_NE(dynamic_cast<TSysBitmap*>(sys), nullptr);
  EXPECT_EQ(direct->CachedBitmapCount(0), 2);
}

TEST(BitmapStoreLevels, HalvingSizesRoundUp) {
  auto store = StoreOf(PatternImage(5, 3, 2));
  const int expected[][2] = {{5, 3}, {3, 2}, {2, 1}, {1, 1}, {1, 1}};
  for (int level = 0; level < 5; ++level) {
    TBitmap* b = store->GetMipLevel(level);
    EXPECT_EQ(b->Width(), expected[level][0]) << level;
    EXPECT_EQ(b->Height(), expected[level][1]) << level;
  }
  auto single = StoreOf(PatternImage(1, 1, 3));
  EXPECT_EQ(single->GetMipLevel(1)->Width(), 1);
  EXPECT_EQ(single->GetMipLevel(1)->PixelColor(0, 0), single->GetMipLevel(0)->PixelColor(0, 0));
}

TEST(BitmapStoreLevels, HalvingIsTheBinomialAverage) {
  // Uniform pictures stay uniform.
  TTestImage flat(6, 6, 0xFF336699);
  EXPECT_TRUE(SamePixels(*StoreOf(flat)->GetMipLevel(1), TTestImage(3, 3, 0xFF336699)));
  // Two columns 0 and 128: the left tap is clamped onto column 0, so the
  // weights are 3 to 1: (3 * 0 + 128) / 4 = 32.
  TTestImage columns(2, 2, 0xFF000000);
  columns.At(1, 0) = columns.At(1, 1) = 0xFF808080;
  EXPECT_EQ(StoreOf(columns)->GetMipLevel(1)->PixelColor(0, 0), 0xFF202020u);
  // A single bright pixel at (2, 2) of a 5 x 5 picture is the centre tap of
  // new pixel (1, 1), weight 4/16, and out of reach of the corners.
  TTestImage dot(5, 5, 0xFF000000);
  dot.At(2, 2) = 0xFFF0F0F0;
  auto dotStore = StoreOf(dot);
  TBitmap* half = dotStore->GetMipLevel(1);
  EXPECT_EQ(half->PixelColor(1, 1), 0xFF3C3C3Cu);  // 0xF0 * 4 / 16
  EXPECT_EQ(half->PixelColor(0, 0), 0xFF000000u);  // taps 0..1 never reach column 2
  EXPECT_EQ(half->PixelColor(2, 2), 0xFF000000u);
}

TEST(BitmapStoreLevels, AlphaPicturesHalveIn32Bits) {
  TTestImage image(4, 4, 0x80FF0000);
  auto store = StoreOf(image, FormatA8R8G8B8());
  TBitmap* half = store->GetMipLevel(1);
  EXPECT_EQ(half->Format(), FormatA8R8G8B8());
  EXPECT_EQ(half->PixelColor(1, 1), 0x80FF0000u);
  auto opaque = StoreOf(image, FormatR8G8B8());
  EXPECT_EQ(opaque->GetMipLevel(1)->Format(), FormatR8G8B8());
}

TEST(BitmapStoreLevels, ProgressCanStopAReduction) {
  auto store = StoreOf(PatternImage(8, 8, 4));
  store->SetProgress([](float f) { return f < 0.3f; });
  EXPECT_THROW(store->GetMipLevel(1), EAbort);
  store->SetProgress({});
  EXPECT_EQ(store->GetMipLevel(1)->Width(), 4);  // a later request still works
}

class TBrokenStore : public TBitmapStore {
 public:
  TBrokenStore(bool wrongLevel) : TBitmapStore(u"broken", 2, 2, FormatR8G8B8()), fWrongLevel(wrongLevel) {}

 protected:
  TLevelBitmap CreateLevel(int level, TCommonPixelFormat*, TBitmapClass) override {
    if (!fWrongLevel) return {};
    return TLevelBitmap::Own(CreateBitmap(2, 2, FormatR8G8B8()), level + 1);
  }

 private:
  bool fWrongLevel;
};

TEST(BitmapStoreLevels, BrokenStoresAreProgrammingErrors) {
  AssertionCapture capture;
  auto missing = MakeRef<TBrokenStore>(false);
  EXPECT_THROW(missing->GetMipLevel(3), EAssertionFailed);
  EXPECT_NE(capture.Last().find("\"TBrokenStore.GetMipLevel(3)\" Not Assigned"), std::string::npos);
  auto wrong = MakeRef<TBrokenStore>(true);
  EXPECT_THROW(wrong->GetMipLevel(0), EAssertionFailed);
  EXPECT_NE(capture.Last().find("Incorrect MipLevelIndex"), std::string::npos);
  auto store = StoreOf(PatternImage(2, 2, 5));
  EXPECT_THROW(store->GetMipLevel(-1), EAssertionFailed);
  EXPECT_NE(capture.Last().find("TSysBitmapStore.GetMipLevel - Index<0"), std::string::npos);
}

TEST(BitmapStoreLevels, ConcurrentRequestsGetTheSameBitmap) {
  auto store = StoreOf(PatternImage(300, 200, 6));
  TBitmap* results[4] = {};
  std::vector<std::thread> threads;
  for (int i = 0; i < 4; ++i) threads.emplace_back([&, i] { results[i] = store->GetMipLevel(2, FormatA8R8G8B8()); });
  for (auto& t : threads) t.join();
  for (int i = 1; i < 4; ++i) EXPECT_EQ(results[i], results[0]);
  EXPECT_EQ(store->CachedBitmapCount(2), 2);
}

TEST(LevelForSize, FindsTheLastLevelAboveTheTarget) {
  EXPECT_EQ(LevelForSize(4000, 3000, 1024, 768), 1);
  EXPECT_EQ(LevelForSize(800, 600, 1024, 768), 0);
  EXPECT_EQ(LevelForSize(4000, 500, 1024, 768), 0);  // already below in one dimension
  EXPECT_EQ(LevelForSize(8192, 8192, 1, 1), 12);
  AssertionCapture capture;
  EXPECT_THROW(LevelForSize(100, 100, 0, 10), EAssertionFailed);
}

TEST(ImageHandles, HandlesShareTheStoreAndOwnTheirCompanions) {
  auto store = StoreOf(PatternImage(4, 2, 7));
  TBitmapStore* raw = store.Get();
  struct TCompanion : TObj {
    explicit TCompanion(int& count) : fCount(count) { ++fCount; }
    ~TCompanion() override { --fCount; }
    int& fCount;
  };
  int alive = 0;
  auto image = std::make_unique<TImage>(std::move(store));
  EXPECT_EQ(raw->RefCount(), 1);
  image->Attached().push_back(std::make_unique<TCompanion>(alive));
  auto second = image->Share();
  EXPECT_EQ(raw->RefCount(), 2);
  EXPECT_EQ(second->Width(), 4);
  EXPECT_EQ(second->Height(), 2);
  EXPECT_EQ(second->Format(), FormatR8G8B8());
  EXPECT_EQ(second->GetMipLevel(0), image->GetMipLevel(0));
  image.reset();
  EXPECT_EQ(alive, 0);
  EXPECT_EQ(raw->RefCount(), 1);
  EXPECT_EQ(second->GetMipLevel(1)->Width(), 2);
}

TEST(Orientation, HooksTurnThePicture) {
  TTestImage image(3, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) image.At(x, y) = 0xFF000000u | static_cast<uint32_t>(y * 16 + x);
  auto bitmap = FromImage(image);
  auto cw = RotateBitmap(*bitmap, 6);
  ASSERT_EQ(cw->Width(), 2);
  ASSERT_EQ(cw->Height(), 3);
  // Clockwise: the bottom-left corner comes to the top-left.
  EXPECT_EQ(cw->PixelColor(0, 0), image.At(0, 1));
  EXPECT_EQ(cw->PixelColor(1, 0), image.At(0, 0));
  EXPECT_EQ(cw->PixelColor(0, 2), image.At(2, 1));
  auto ccw = RotateBitmap(*bitmap, 8);
  EXPECT_EQ(ccw->PixelColor(0, 0), image.At(2, 0));
  EXPECT_EQ(ccw->PixelColor(1, 2), image.At(0, 1));
  auto half = RotateBitmap(*bitmap, 3);
  EXPECT_EQ(half->PixelColor(0, 0), image.At(2, 1));
  EXPECT_EQ(half->PixelColor(2, 1), image.At(0, 0));
  EXPECT_FALSE(OrientationHook(1));
  EXPECT_FALSE(OrientationHook(2));
  EXPECT_TRUE(OrientationHook(6));
}

TEST(Orientation, LoadedPicturesReportTheTurnedSize) {
  const TTestImage image = PatternImage(5, 3, 8);
  testing::TBmpLayout layout;
  layout.Width = 5;
  layout.Height = 3;
  layout.Pixels = image.Pixels;
  const auto bmp = testing::MakeBmp(layout);
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(bmp));
  for (int code : {6, 8}) {
    stream.SetPosition(0);
    TLoadParams params;
    params.Orientation = code;
    auto picture = LoadImage(stream, u"turned.bmp", params);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width(), 3);
    EXPECT_EQ(picture->Height(), 5);
    TBitmap* level0 = picture->GetMipLevel(0);
    EXPECT_EQ(level0->Width(), 3);
    EXPECT_EQ(level0->PixelColor(0, 0), code == 6 ? image.At(0, 2) : image.At(4, 0));
    EXPECT_EQ(picture->GetMipLevel(1)->Width(), 2);
  }
}

}  // namespace
}  // namespace zel
