#include <gtest/gtest.h>
#include <zlib.h>

#include "core/streams.h"
#include "imaging/image_lib_store.h"
#include "imaging/image_loader.h"
#include "imaging/jpeg_bitmap_store.h"
#include "imaging/pixel_format.h"
#include "imaging/test_pictures.h"

namespace zel {
namespace {

using testing::MakeJpeg;
using testing::MakePngColor;
using testing::MakePngGrey;
using testing::MakePngPalette;
using testing::PatternImage;
using testing::SamePixels;
using testing::TTestImage;

std::unique_ptr<TImage> Load(const std::vector<uint8_t>& file, const char16_t* name) {
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(file));
  stream.SetPosition(0);
  return LoadImage(stream, name);
}

// A smooth picture, which JPEG keeps close.
TTestImage Gradient(int width, int height) {
  TTestImage image(width, height);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.At(x, y) = MakeColor(static_cast<uint32_t>(x * 255 / std::max(1, width - 1)),
                                 static_cast<uint32_t>(y * 255 / std::max(1, height - 1)),
                                 static_cast<uint32_t>(128 + (x - y) / 4), 255);
  return image;
}

TEST(PngPictures, ColourWithAndWithoutAlpha) {
  for (bool interlaced : {false, true})
    for (int depth : {8, 16}) {
      SCOPED_TRACE(std::string(interlaced ? "interlaced " : "") + std::to_string(depth));
      const TTestImage rgba = PatternImage(13, 9, 3, true);
      auto withAlpha = Load(MakePngColor(rgba, true, interlaced, depth), u"a.png");
      ASSERT_TRUE(withAlpha);
      EXPECT_EQ(withAlpha->Format(), FormatA8R8G8B8());
      EXPECT_TRUE(SamePixels(*withAlpha->GetMipLevel(0), rgba));
      TTestImage opaque = rgba;
      for (auto& p : opaque.Pixels) p |= 0xFF000000u;
      auto rgb = Load(MakePngColor(rgba, false, interlaced, depth), u"b.png");
      ASSERT_TRUE(rgb);
      EXPECT_EQ(rgb->Format(), FormatR8G8B8());
      EXPECT_EQ(rgb->GetMipLevel(0)->Format(), FormatR8G8B8());
      EXPECT_TRUE(SamePixels(*rgb->GetMipLevel(0), opaque));
    }
}

TEST(PngPictures, WrittenSmallOrFastTheyReadBackTheSame) {
  TDirectBitmap bitmap(37, 11, FormatA8R8G8B8());
  for (int y = 0; y < 11; ++y)
    for (int x = 0; x < 37; ++x)
      reinterpret_cast<uint32_t*>(bitmap.ScanLine(y))[x] = MakeColor(x * 7, y * 23, (x * y) & 0xFF, 255);
  for (TPngWriting writing : {TPngWriting::Small, TPngWriting::FastOpaque}) {
    TMemoryStream stream;
    SavePng(bitmap, stream, writing);
    stream.SetPosition(0);
    auto image = LoadImage(stream, u"frame.png");
    ASSERT_TRUE(image);
    // Fast frames drop the alpha byte: 24 bits a pixel.
    EXPECT_EQ(image->Format(), writing == TPngWriting::FastOpaque ? FormatR8G8B8() : FormatA8R8G8B8());
    const TBitmap& read = *image->GetMipLevel(0);
    for (int y = 0; y < 11; ++y)
      for (int x = 0; x < 37; ++x) ASSERT_EQ(read.PixelColor(x, y), bitmap.PixelColor(x, y)) << x << "," << y;
  }
}

TEST(PngPictures, PaletteWithTransparency) {
  const std::vector<uint32_t> palette = {0xFF102030, 0x80405060, 0x00708090, 0xFFFFFFFF};
  std::vector<uint8_t> indexes;
  for (int i = 0; i < 7 * 5; ++i) indexes.push_back(static_cast<uint8_t>((i * 3 + i / 7) % 4));
  TTestImage expected(7, 5);
  for (size_t i = 0; i < indexes.size(); ++i) expected.Pixels[i] = palette[indexes[i]];
  for (int depth : {2, 8}) {
    auto image = Load(MakePngPalette(7, 5, indexes, palette, depth), u"p.png");
    ASSERT_TRUE(image);
    EXPECT_EQ(image->Format(), FormatA8R8G8B8());
    EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), expected));
  }
  // An opaque palette gives 24 bits.
  const std::vector<uint32_t> solid = {0xFF102030, 0xFF405060, 0xFF708090, 0xFFFFFFFF};
  auto image = Load(MakePngPalette(7, 5, indexes, solid), u"q.png");
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Format(), FormatR8G8B8());
  for (size_t i = 0; i < indexes.size(); ++i) expected.Pixels[i] = solid[indexes[i]];
  EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), expected));
}

TEST(PngPictures, GreyBecomesColour) {
  std::vector<uint8_t> greys;
  for (int i = 0; i < 6 * 4; ++i) greys.push_back(static_cast<uint8_t>(i * 11));
  TTestImage expected(6, 4);
  for (size_t i = 0; i < greys.size(); ++i) expected.Pixels[i] = MakeColor(greys[i], greys[i], greys[i], 255);
  auto image = Load(MakePngGrey(6, 4, greys), u"g.png");
  ASSERT_TRUE(image);
  EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), expected));
  auto alpha = Load(MakePngGrey(6, 4, greys, true), u"ga.png");
  ASSERT_TRUE(alpha);
  for (int y = 0; y < 4; ++y)
    for (int x = 0; x < 6; ++x) expected.At(x, y) = SetAlpha(expected.At(x, y), static_cast<uint32_t>(x * 40));
  EXPECT_TRUE(SamePixels(*alpha->GetMipLevel(0), expected));
}

TEST(PngPictures, TruncatedFilesGiveNoPicture) {
  const auto file = MakePngColor(PatternImage(20, 20, 5, true), true);
  for (size_t cut : {size_t{0}, size_t{8}, size_t{20}, size_t{40}, file.size() / 2, file.size() - 13, file.size() - 1})
    EXPECT_FALSE(Load(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut)), u"t.png"))
        << cut;
}

TEST(PngPictures, DamagedChunksGiveNoPicture) {
  const auto file = MakePngColor(PatternImage(20, 20, 6, true), true);
  ASSERT_TRUE(Load(file, u"d.png"));
  // Scribbling over the compressed rows (the IDAT chunk follows the 33
  // bytes of signature and header) breaks the chunk's check sum.
  auto scribbled = file;
  for (size_t i = 60; i < 90; ++i) scribbled[i] ^= 0x5A;
  EXPECT_FALSE(Load(scribbled, u"d.png"));
  // A chunk length running past the end of the file.
  auto longChunk = file;
  longChunk[33] = 0x7F;
  EXPECT_FALSE(Load(longChunk, u"d.png"));
}

TEST(PngPictures, DataThatFailsToInflateRaisesOnDecoding) {
  auto file = MakePngColor(PatternImage(20, 20, 7, true), true);
  // Damage the deflate stream inside the IDAT chunk and give the chunk the
  // check sum of its new content, so that only inflating can tell.
  const size_t idat = 33;
  const uint32_t length = (uint32_t{file[idat]} << 24) | (uint32_t{file[idat + 1]} << 16) |
                          (uint32_t{file[idat + 2]} << 8) | file[idat + 3];
  ASSERT_EQ(std::string(file.begin() + idat + 4, file.begin() + idat + 8), "IDAT");
  for (size_t i = idat + 8 + 2; i < idat + 8 + length; ++i) file[i] = 0xFF;
  const uint32_t crc = static_cast<uint32_t>(crc32(0L, file.data() + idat + 4, length + 4));
  for (int k = 0; k < 4; ++k) file[idat + 8 + length + k] = static_cast<uint8_t>(crc >> (24 - 8 * k));
  auto image = Load(file, u"i.png");
  ASSERT_TRUE(image);  // every chunk is whole
  EXPECT_THROW(image->GetMipLevel(0), EImageError);
}

TEST(JpegPictures, ColourDecodesCloseToTheOriginal) {
  const TTestImage image = Gradient(40, 24);
  for (bool progressive : {false, true}) {
    auto picture = Load(MakeJpeg(image, 98, false, progressive), u"c.jpg");
    ASSERT_TRUE(picture);
    EXPECT_EQ(picture->Width(), 40);
    EXPECT_EQ(picture->Height(), 24);
    EXPECT_EQ(picture->Format(), FormatB8G8R8());  // what the store records for colour
    TBitmap* level0 = picture->GetMipLevel(0);
    EXPECT_EQ(level0->Format(), FormatR8G8B8());
    EXPECT_TRUE(SamePixels(*level0, image, 8));
    auto* store = dynamic_cast<TJpegBitmapStore*>(&picture->Store());
    ASSERT_NE(store, nullptr);
    EXPECT_EQ(store->Progressive(), progressive);
  }
}

TEST(JpegPictures, GreyDecodesToRepeatedBytes) {
  TTestImage image(16, 16);
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x) {
      const uint32_t v = static_cast<uint32_t>(x * 16);
      image.At(x, y) = MakeColor(v, v, v, 255);
    }
  auto picture = Load(MakeJpeg(image, 98, true), u"g.jpeg");
  ASSERT_TRUE(picture);
  EXPECT_EQ(picture->Format(), FormatY8());
  TBitmap* level0 = picture->GetMipLevel(0);
  EXPECT_TRUE(SamePixels(*level0, image, 6));
  for (int x = 0; x < 16; ++x) {
    const TColor c = level0->PixelColor(x, 5);
    EXPECT_EQ(RedOf(c), GreenOf(c));
    EXPECT_EQ(GreenOf(c), BlueOf(c));
  }
}

TEST(JpegPictures, ReducedLevelsUseTheDecoderScaling) {
  const TTestImage image = Gradient(203, 97);
  auto picture = Load(MakeJpeg(image, 95), u"big.jpg");
  ASSERT_TRUE(picture);
  int w = 203, h = 97;
  for (int level = 0; level <= 5; ++level) {
    SCOPED_TRACE(level);
    TBitmap* bitmap = picture->GetMipLevel(level);
    EXPECT_EQ(bitmap->Width(), w);
    EXPECT_EQ(bitmap->Height(), h);
    // The middle pixel of a reduced level shows the gradient at the place
    // it stands for: levels 0 to 3 come from the decoder's scaling (pixel
    // centres at (x + 0.5) * 2^level - 0.5), smaller ones are halved from
    // level 3 (centred on every second pixel).
    auto centre = [&](int x) {
      const double scale = 1 << std::min(level, 3);
      const double x3 = level <= 3 ? x : x * static_cast<double>(1 << (level - 3));
      return (x3 + 0.5) * scale - 0.5;
    };
    const TColor got = bitmap->PixelColor(w / 2, h / 2);
    EXPECT_NEAR(static_cast<double>(RedOf(got)), centre(w / 2) * 255 / 202, 8);
    EXPECT_NEAR(static_cast<double>(GreenOf(got)), centre(h / 2) * 255 / 96, 8);
    w = (w + 1) / 2;
    h = (h + 1) / 2;
  }
}

TEST(JpegPictures, ProgressIsReportedAndCanStop) {
  auto picture = Load(MakeJpeg(Gradient(64, 64), 90, false, true), u"p.jpg");
  ASSERT_TRUE(picture);
  std::vector<float> seen;
  picture->Store().SetProgress([&](float f) {
    seen.push_back(f);
    return true;
  });
  picture->GetMipLevel(0);
  ASSERT_FALSE(seen.empty());
  EXPECT_EQ(seen.back(), 1.0f);
  for (size_t i = 1; i < seen.size(); ++i) EXPECT_LE(seen[i - 1], seen[i] + 1e-6f);

  auto stopped = Load(MakeJpeg(Gradient(64, 64), 90, false, true), u"s.jpg");
  stopped->Store().SetProgress([](float) { return false; });
  EXPECT_THROW(stopped->GetMipLevel(0), EAbort);
}

TEST(JpegPictures, TruncatedAndDamagedFiles) {
  const auto file = MakeJpeg(Gradient(48, 48), 90);
  for (size_t cut : {size_t{0}, size_t{2}, size_t{100}, file.size() / 2, file.size() - 1})
    EXPECT_FALSE(Load(std::vector<uint8_t>(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut)), u"t.jpg"))
        << cut;
  // A header that the library refuses: the loader declines.
  auto badHeader = file;
  for (size_t i = 2; i < 40; ++i) badHeader[i] = 0xFF;
  EXPECT_FALSE(Load(badHeader, u"h.jpg"));
  // A known-bad frame: zero width.
  auto damaged = file;
  for (size_t i = 0; i + 8 < damaged.size(); ++i)
    if (damaged[i] == 0xFF && damaged[i + 1] == 0xC0) {
      damaged[i + 7] = 0;
      damaged[i + 8] = 0;
      break;
    }
  EXPECT_FALSE(Load(damaged, u"z.jpg"));
  EXPECT_THROW(DecodeJpeg(damaged.data(), damaged.size(), 0), EJpegError);
}

TEST(JpegPictures, FastDecodingStaysClose) {
  const TTestImage image = Gradient(32, 32);
  const auto file = MakeJpeg(image, 98);
  SetJpegFastDecoding(true);
  auto fast = DecodeJpeg(file.data(), file.size(), 0);
  SetJpegFastDecoding(false);
  EXPECT_TRUE(SamePixels(*fast, image, 12));
}

}  // namespace
}  // namespace zel
