#include <gtest/gtest.h>

#include "assertion_capture.h"
#include <cstring>

#include "imaging/bitmap.h"
#include "imaging/test_pictures.h"

namespace zel {
namespace {

using AssertionCapture = testing_support::TAssertionCapture;

using testing::PatternImage;
using testing::SamePixels;
using testing::TTestImage;

std::unique_ptr<TBitmap> FromImage(const TTestImage& image) {
  auto bitmap = CreateBitmap(image.Width, image.Height, FormatA8R8G8B8());
  for (int y = 0; y < image.Height; ++y)
    std::memcpy(bitmap->ScanLine(y), &image.Pixels[static_cast<size_t>(y) * image.Width], static_cast<size_t>(image.Width) * 4);
  return bitmap;
}

TEST(BitmapPixels, GetPixelsIsCutAtTheRowEnd) {
  auto bitmap = FromImage(PatternImage(100, 2, 1));
  std::vector<uint8_t> buffer(400);
  EXPECT_EQ(bitmap->GetPixels(90, 1, buffer, 0, 100), 40);
  EXPECT_EQ(std::memcmp(buffer.data(), bitmap->ScanLine(1) + 360, 40), 0);
  std::vector<uint32_t> words(20, 0);
  EXPECT_EQ(bitmap->GetPixels32(95, 0, words, 3, 100), 5);
  EXPECT_EQ(words[3], bitmap->PixelColor(95, 0));
  EXPECT_EQ(words[2], 0u);
}

TEST(BitmapPixels, OutOfRangeReadsAreProgrammingErrors) {
  AssertionCapture capture;
  TDirectBitmap bitmap(10, 10, FormatA8R8G8B8());
  std::vector<uint8_t> buffer(40);
  EXPECT_THROW(bitmap.GetPixels(10, 0, buffer, 0, 1), EAssertionFailed);
  EXPECT_NE(capture.Last().find("TDirectBitmap.GetPixels (X,Y) out of Bitmap.Size"), std::string::npos);
  EXPECT_THROW(bitmap.GetPixels(0, 0, buffer, -1, 1), EAssertionFailed);
  EXPECT_NE(capture.Last().find(".GetPixels - Offset out of Bounds"), std::string::npos);
  EXPECT_THROW(bitmap.GetPixels(0, 0, buffer, 4, 10), EAssertionFailed);
  EXPECT_NE(capture.Last().find(".GetPixels - Not Enought Pixel Buffer Space"), std::string::npos);
  std::vector<uint32_t> words(4);
  EXPECT_THROW(bitmap.GetPixels32(0, 10, words, 0, 1), EAssertionFailed);
  EXPECT_NE(capture.Last().find("TDirectBitmap.GetPixels32 out of Bitmap.Size"), std::string::npos);
  EXPECT_THROW(bitmap.GetPixels32(0, 0, words, 2, 4), EAssertionFailed);
  EXPECT_NE(capture.Last().find("TDirectBitmap.GetPixels32 - Out of Pixel Buffer Bounds"), std::string::npos);
  std::vector<uint8_t> bytes(4);
  EXPECT_THROW(bitmap.GetPixels8(0, 0, bytes, 0, 1), EAssertionFailed);  // wrong pixel size
}

TEST(BitmapDraw, ConvertsBetweenFormats) {
  const TTestImage image = PatternImage(7, 5, 2);
  auto source = FromImage(image);
  auto rgb = CreateBitmap(7, 5, FormatR8G8B8());
  rgb->Assign(*source);
  EXPECT_TRUE(SamePixels(*rgb, image));
  // And back again through a byte-swapped format.
  auto swapped = CreateBitmap(7, 5, PixelFormat(std::string_view("A8B8G8R8")));
  swapped->Assign(*rgb);
  EXPECT_TRUE(SamePixels(*swapped, image));
  EXPECT_EQ(swapped->ScanLine(0)[0], RedOf(image.At(0, 0)));
}

TEST(BitmapDraw, ClipsBothRectanglesTogether) {
  const TTestImage image = PatternImage(4, 4, 3);
  auto source = FromImage(image);
  auto target = CreateBitmap(4, 4, FormatA8R8G8B8());
  target->Fill(target->BoundsRect(), 0x11111111);
  // Destination starts left of and above the bitmap: source moves along.
  target->Draw({-1, -2, 3, 2}, *source, false, {0, 0});
  TTestImage expected(4, 4, 0x11111111);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) expected.At(x, y) = image.At(x + 1, y + 2);
  EXPECT_TRUE(SamePixels(*target, expected));
  // A negative source position moves the destination instead.
  target->Fill(target->BoundsRect(), 0x11111111);
  target->Draw({0, 0, 4, 4}, *source, false, {-2, -1});
  expected = TTestImage(4, 4, 0x11111111);
  for (int y = 1; y < 4; ++y)
    for (int x = 2; x < 4; ++x) expected.At(x, y) = image.At(x - 2, y - 1);
  EXPECT_TRUE(SamePixels(*target, expected));
  // Entirely outside: nothing happens.
  target->Draw({10, 10, 20, 20}, *source, false, {0, 0});
  EXPECT_TRUE(SamePixels(*target, expected));
}

TEST(BitmapDraw, PremultipliesWhenAsked) {
  TTestImage image(2, 1);
  image.At(0, 0) = 0x80FFFFFF;
  image.At(1, 0) = 0xFF123456;
  auto source = FromImage(image);
  auto target = CreateBitmap(2, 1, FormatA8R8G8B8());
  target->Draw(target->BoundsRect(), *source, true, {0, 0});
  EXPECT_EQ(target->PixelColor(0, 0), 0x807F7F7Fu);
  EXPECT_EQ(target->PixelColor(1, 0), 0xFF123456u);
  // A direct bitmap premultiplies as well.
  TDirectBitmap direct(2, 1, FormatA8R8G8B8());
  direct.Draw(direct.BoundsRect(), *source, true, {0, 0});
  EXPECT_EQ(direct.PixelColor(0, 0), 0x807F7F7Fu);
}

TEST(BitmapDraw, ProgressReportsRowsAndCanStop) {
  auto source = FromImage(PatternImage(3, 4, 4));
  auto target = CreateBitmap(3, 4, FormatA8R8G8B8());
  target->Fill(target->BoundsRect(), 0);
  std::vector<float> seen;
  target->SetProgress([&](float f) {
    seen.push_back(f);
    return f < 0.5f;  // stop before the third row
  });
  target->Draw(target->BoundsRect(), *source, false, {0, 0});
  EXPECT_EQ(seen, (std::vector<float>{0.0f, 0.25f, 0.5f}));
  EXPECT_EQ(target->PixelColor(0, 1), source->PixelColor(0, 1));
  EXPECT_EQ(target->PixelColor(0, 2), 0u);
  seen.clear();
  target->SetProgress([&](float f) {
    seen.push_back(f);
    return true;
  });
  target->Draw(target->BoundsRect(), *source, false, {0, 0});
  EXPECT_EQ(seen.back(), 1.0f);
  EXPECT_EQ(seen.size(), 5u);
}

TEST(BitmapFill, ColourIsConvertedToEachPixelSize) {
  const TColor color = 0x80C06030;  // r C0, g 60, b 30
  auto grey = CreateBitmap(3, 2, FormatY8());
  grey->Fill(grey->BoundsRect(), color);
  EXPECT_EQ(grey->ScanLine(1)[2], (0xC0 + 0x60 + 0x30) / 3);
  auto b565 = CreateBitmap(3, 2, FormatB5G6R5());
  b565->Fill(b565->BoundsRect(), color);
  uint16_t v;
  std::memcpy(&v, b565->ScanLine(1) + 4, 2);
  EXPECT_EQ(v, (0x30 >> 3) | ((0x60 >> 2) << 5) | ((0xC0 >> 3) << 11));
  auto b555 = CreateBitmap(3, 2, FormatB5G5R5X1());
  b555->Fill(b555->BoundsRect(), color);
  std::memcpy(&v, b555->ScanLine(0), 2);
  EXPECT_EQ(v, (0x30 >> 3) | ((0x60 >> 3) << 5) | ((0xC0 >> 3) << 10));
  auto rgb = CreateBitmap(3, 2, FormatR8G8B8());
  rgb->Fill(rgb->BoundsRect(), color);
  EXPECT_EQ(rgb->PixelColor(2, 1), 0xFFC06030u);
  auto argb = CreateBitmap(3, 2, FormatA8R8G8B8());
  argb->Fill(argb->BoundsRect(), color);
  EXPECT_EQ(argb->PixelColor(1, 1), color);
}

TEST(BitmapFill, LongRowsAndClippedRectangles) {
  // Rows longer than the prepared run are filled in several copies.
  auto wide = CreateBitmap(2000, 3, FormatR8G8B8());
  wide->Fill(wide->BoundsRect(), 0);
  wide->Fill({-5, 1, 5000, 2}, 0xFF010203);
  for (int x : {0, 1023, 1024, 1999}) {
    EXPECT_EQ(wide->PixelColor(x, 1), 0xFF010203u) << x;
    EXPECT_EQ(wide->PixelColor(x, 0), 0xFF000000u) << x;
    EXPECT_EQ(wide->PixelColor(x, 2), 0xFF000000u) << x;
  }
  float last = -1;
  wide->SetProgress([&](float f) {
    last = f;
    return true;
  });
  wide->Fill({50, 50, 60, 60}, 0xFFFFFFFF);  // outside: nothing, but still reported done
  EXPECT_EQ(last, 1.0f);
}

TEST(BitmapViews, CropSharesTheSourceRows) {
  auto source = FromImage(PatternImage(6, 5, 5));
  TCropBitmap crop(*source, {4, 3, 10, 10});
  EXPECT_EQ(crop.Width(), 2);
  EXPECT_EQ(crop.Height(), 2);
  EXPECT_EQ(crop.PixelColor(1, 1), source->PixelColor(5, 4));
  crop.Fill(crop.BoundsRect(), 0xFFABCDEF);
  EXPECT_EQ(source->PixelColor(4, 3), 0xFFABCDEFu);
  EXPECT_NE(source->PixelColor(3, 3), 0xFFABCDEFu);
}

TEST(BitmapViews, CropOutsideTheSourceIsAProgrammingError) {
  AssertionCapture capture;
  auto source = CreateBitmap(6, 5, FormatA8R8G8B8());
  EXPECT_THROW(TCropBitmap(*source, {6, 0, 9, 4}), EAssertionFailed);
  EXPECT_NE(capture.Last().find("TCropBitmap.Create - Bitmap is Empty"), std::string::npos);
}

TEST(BitmapViews, WrapperAndRefBitmaps) {
  AssertionCapture capture;
  EXPECT_THROW(TSysDirectWrapper(nullptr, false), EAssertionFailed);
  EXPECT_NE(capture.Last().find("TSysDirectWrapper.Create - Bitmap not Assigned"), std::string::npos);

  TDirectBitmap direct(3, 3, FormatR8G8B8());
  {
    TSysDirectWrapper wrapper(&direct, false);
    wrapper.Fill(wrapper.BoundsRect(), 0xFF102030);
  }
  EXPECT_EQ(direct.PixelColor(2, 2), 0xFF102030u);  // not freed, and written through

  // A reference bitmap frees its owner with it.
  struct TOwner : TObj {
    explicit TOwner(bool& gone) : fGone(gone) {}
    ~TOwner() override { fGone = true; }
    bool& fGone;
  };
  bool gone = false;
  std::vector<uint8_t> memory(8, 0x7F);
  {
    TRefBitmap ref(2, 2, FormatY8(), {memory.data(), memory.data() + 4}, std::make_unique<TOwner>(gone));
    ref.Fill({1, 1, 2, 2}, 0xFF000000);
    EXPECT_EQ(memory[5], 0);
    EXPECT_EQ(memory[4], 0x7F);
  }
  EXPECT_TRUE(gone);
  EXPECT_THROW(TRefBitmap(2, 3, FormatY8(), {memory.data()}), EAssertionFailed);
}

TEST(BitmapFactory, CloneCopiesAndReplacementFactoriesAreUsed) {
  auto source = FromImage(PatternImage(5, 4, 6, true));
  auto clone = source->Clone();
  EXPECT_TRUE(BitmapIsClass(*clone, TBitmapClass::Sys));
  EXPECT_TRUE(BitmapIsClass(*clone, TBitmapClass::Direct));
  EXPECT_NE(clone->ScanLine(0), source->ScanLine(0));
  for (int y = 0; y < 4; ++y) EXPECT_EQ(std::memcmp(clone->ScanLine(y), source->ScanLine(y), 20), 0);

  int made = 0;
  auto previous = SetBitmapFactory([&](int w, int h, TCommonPixelFormat* f, const TBitmapProgress&, const TBitmap* s,
                                       TBitmapClass) -> std::unique_ptr<TBitmap> {
    ++made;
    auto b = std::make_unique<TDirectBitmap>(w, h, f);
    if (s) b->Assign(*s);
    return b;
  });
  auto viaFactory = source->CloneAs(FormatR8G8B8(), TBitmapClass::Direct);
  SetBitmapFactory(previous);
  EXPECT_EQ(made, 1);
  EXPECT_NE(dynamic_cast<TDirectBitmap*>(viaFactory.get()), nullptr);
  EXPECT_FALSE(BitmapIsClass(*viaFactory, TBitmapClass::Sys));
  EXPECT_EQ(viaFactory->PixelColor(3, 2), source->PixelColor(3, 2) | 0xFF000000u);
}

}  // namespace
}  // namespace zel
