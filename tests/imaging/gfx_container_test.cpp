#include <gtest/gtest.h>

#include "core/streams.h"
#include "imaging/gfx_bitmap_store.h"
#include "imaging/image_loader.h"
#include "imaging/test_pictures.h"

namespace zel {
namespace {

using testing::DeflateRawBytes;
using testing::MakeBmp;
using testing::MakeGfx;
using testing::MakeGfxForBmp;
using testing::PatternImage;
using testing::SamePixels;
using testing::TBmpLayout;
using testing::TTestImage;

std::unique_ptr<TImage> Load(const std::vector<uint8_t>& file, const char16_t* name = u"picture.vxgfx") {
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(file));
  stream.SetPosition(0);
  return LoadImage(stream, name);
}

std::vector<uint8_t> Bmp32(const TTestImage& image) {
  TBmpLayout layout;
  layout.Width = image.Width;
  layout.Height = image.Height;
  layout.Bits = 32;
  layout.Pixels = image.Pixels;
  return MakeBmp(layout);
}

TEST(GfxContainer, InflatesTheBmpInside) {
  const TTestImage image = PatternImage(12, 8, 4, true);
  auto picture = Load(MakeGfxForBmp(Bmp32(image), 12, 8));
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Width(), 12);
  EXPECT_EQ(picture->Height(), 8);
  EXPECT_EQ(picture->Format(), FormatA8R8G8B8());
  EXPECT_TRUE(SamePixels(*picture->GetMipLevel(0), image));
  auto* store = dynamic_cast<TGfxBitmapStore*>(&picture->Store());
  ASSERT_NE(store, nullptr);
  ASSERT_NE(store->Field(u"Author"), nullptr);
  EXPECT_EQ(*store->Field(u"Author"), u"tests");
  EXPECT_EQ(*store->Field(u"file"), u"picture.bmp");
}

TEST(GfxContainer, TwentyFourBitContentBecomesTheRecordedFormat) {
  const TTestImage image = PatternImage(5, 5, 6);
  TBmpLayout layout;
  layout.Width = 5;
  layout.Height = 5;
  layout.Bits = 24;
  layout.Pixels = image.Pixels;
  auto picture = Load(MakeGfxForBmp(MakeBmp(layout), 5, 5), u"x.bmp");  // found under ".bmp" too
  ASSERT_TRUE(picture);
  TBitmap* level0 = picture->GetMipLevel(0);
  EXPECT_EQ(level0->Format(), FormatA8R8G8B8());
  EXPECT_TRUE(SamePixels(*level0, image));
}

TEST(GfxContainer, DamagedContentShowsGreen) {
  auto file = MakeGfxForBmp(Bmp32(PatternImage(30, 20, 7)), 30, 20);
  file.resize(file.size() - 40);  // the deflated data ends too soon
  auto picture = Load(file);
  ASSERT_TRUE(picture);
  EXPECT_TRUE(SamePixels(*picture->GetMipLevel(0), TTestImage(30, 20, kGfxPlaceholderColor)));

  // Deflated data that is not a BMP at all.
  auto notBmp = MakeGfx({{"File", "a"}, {"Width", "3"}, {"Height", "2"}, {"OriginalSize", "9"}},
                        DeflateRawBytes(std::vector<uint8_t>(100, 'x')));
  picture = Load(notBmp);
  ASSERT_TRUE(picture);
  EXPECT_TRUE(SamePixels(*picture->GetMipLevel(0), TTestImage(3, 2, kGfxPlaceholderColor)));

  // Data that inflates far beyond any picture of the stated size.
  auto bomb = MakeGfx({{"File", "a"}, {"Width", "2"}, {"Height", "2"}, {"OriginalSize", "9"}},
                      DeflateRawBytes(std::vector<uint8_t>(4 << 20, 0)));
  picture = Load(bomb);
  ASSERT_TRUE(picture);
  EXPECT_TRUE(SamePixels(*picture->GetMipLevel(0), TTestImage(2, 2, kGfxPlaceholderColor)));
}

TEST(GfxContainer, TurnedPicturesKeepTheirSizeConsistent) {
  const TTestImage image = PatternImage(6, 4, 9, true);
  const auto good = MakeGfxForBmp(Bmp32(image), 6, 4);
  auto damaged = good;
  damaged.resize(damaged.size() - 30);
  for (const std::vector<uint8_t>* file : {&good, static_cast<const std::vector<uint8_t>*>(&damaged)}) {
    TMemoryStream stream;
    stream.Write(std::span<const uint8_t>(*file));
    stream.SetPosition(0);
    TLoadParams params;
    params.Orientation = 6;
    auto picture = LoadImage(stream, u"turned.vxgfx", params);
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width(), 4);
    EXPECT_EQ(picture->Height(), 6);
    TBitmap* level0 = picture->GetMipLevel(0);
    EXPECT_EQ(level0->Width(), 4);
    EXPECT_EQ(level0->Height(), 6);
    if (file == &good) EXPECT_EQ(level0->PixelColor(0, 0), image.At(0, 3));
    else EXPECT_EQ(level0->PixelColor(3, 5), kGfxPlaceholderColor);
  }
}

TEST(GfxContainer, MissingFieldsOrSignatureDecline) {
  const auto payload = DeflateRawBytes(Bmp32(PatternImage(2, 2, 1)));
  using Fields = std::vector<std::pair<std::string, std::string>>;
  const Fields full = {{"File", "a"}, {"Width", "2"}, {"Height", "2"}, {"OriginalSize", "9"}};
  ASSERT_TRUE(Load(MakeGfx(full, payload)));
  for (size_t skip = 0; skip < full.size(); ++skip) {
    Fields fields = full;
    fields.erase(fields.begin() + static_cast<std::ptrdiff_t>(skip));
    EXPECT_FALSE(Load(MakeGfx(fields, payload))) << full[skip].first;
  }
  EXPECT_FALSE(Load(MakeGfx({{"File", "a"}, {"Width", "two"}, {"Height", "2"}, {"OriginalSize", "9"}}, payload)));
  EXPECT_FALSE(Load(MakeGfx({{"File", "a"}, {"Width", "0"}, {"Height", "2"}, {"OriginalSize", "9"}}, payload)));
  auto wrong = MakeGfx(full, payload);
  wrong[0] = 'W';
  EXPECT_FALSE(Load(wrong));
  // Cut inside the fields.
  const auto file = MakeGfx(full, payload);
  for (size_t cut : {size_t{3}, size_t{5}, size_t{9}, size_t{20}})
    EXPECT_FALSE(Load(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut)))) << cut;
}

}  // namespace
}  // namespace zel
