#include <gtest/gtest.h>

#include "core/streams.h"
#include "imaging/bmp_decoder.h"
#include "imaging/test_pictures.h"

namespace zel {
namespace {

using testing::MakeBmp;
using testing::PatternImage;
using testing::SamePixels;
using testing::TBmpLayout;
using testing::TTestImage;

// Indexes that use every palette entry, and the picture they make.
TBmpLayout PalettedLayout(int bits, int width, int height, uint32_t seed) {
  TBmpLayout layout;
  layout.Width = width;
  layout.Height = height;
  layout.Bits = bits;
  const int entries = 1 << bits;
  for (int i = 0; i < entries; ++i) layout.Palette.push_back(0xFF000000u | ((static_cast<uint32_t>(i) * 2654435761u + seed) & 0xFFFFFF));
  for (int i = 0; i < width * height; ++i) layout.Indexes.push_back(static_cast<uint8_t>((i * 7 + i / width) % entries));
  return layout;
}

TTestImage ExpectedOf(const TBmpLayout& layout) {
  TTestImage image(layout.Width, layout.Height);
  for (size_t i = 0; i < layout.Indexes.size(); ++i) image.Pixels[i] = layout.Palette[layout.Indexes[i]] | 0xFF000000u;
  return image;
}

uint32_t Widen5(uint32_t v) { return v ? (v << 3) | 7 : 0; }
uint32_t Widen6(uint32_t v) { return v ? (v << 2) | 3 : 0; }

TEST(BmpDepths, PalettedDepthsMapThroughThePalette) {
  for (int bits : {1, 4, 8})
    for (int width : {1, 3, 8, 13, 33}) {
      SCOPED_TRACE("bits " + std::to_string(bits) + " width " + std::to_string(width));
      const TBmpLayout layout = PalettedLayout(bits, width, 5, 11);
      auto bitmap = DecodeBmp(MakeBmp(layout));
      ASSERT_TRUE(bitmap);
      EXPECT_EQ(bitmap->Format(), FormatR8G8B8());
      EXPECT_TRUE(SamePixels(*bitmap, ExpectedOf(layout)));
    }
}

TEST(BmpDepths, ShortPalettesLeaveMissingEntriesBlack) {
  TBmpLayout layout = PalettedLayout(8, 4, 4, 3);
  layout.Palette.resize(4);
  layout.ColorsUsed = 4;
  for (auto& index : layout.Indexes) index = index % 6;  // 4 and 5 are beyond the palette
  auto bitmap = DecodeBmp(MakeBmp(layout));
  ASSERT_TRUE(bitmap);
  TTestImage expected(4, 4);
  for (size_t i = 0; i < layout.Indexes.size(); ++i)
    expected.Pixels[i] = layout.Indexes[i] < 4 ? layout.Palette[layout.Indexes[i]] | 0xFF000000u : 0xFF000000u;
  EXPECT_TRUE(SamePixels(*bitmap, expected));
}

TEST(BmpDepths, TrueColourDepthsKeepTheirBytes) {
  for (bool topDown : {false, true}) {
    SCOPED_TRACE(topDown ? "top-down" : "bottom-up");
    const TTestImage image = PatternImage(7, 4, 21, true);
    TBmpLayout layout;
    layout.Width = 7;
    layout.Height = 4;
    layout.TopDown = topDown;
    layout.Pixels = image.Pixels;
    layout.Bits = 24;
    auto rgb = DecodeBmp(MakeBmp(layout));
    ASSERT_TRUE(rgb);
    EXPECT_EQ(rgb->Format(), FormatR8G8B8());
    TTestImage opaque = image;
    for (auto& p : opaque.Pixels) p |= 0xFF000000u;
    EXPECT_TRUE(SamePixels(*rgb, opaque));
    layout.Bits = 32;
    auto argb = DecodeBmp(MakeBmp(layout));
    ASSERT_TRUE(argb);
    EXPECT_EQ(argb->Format(), FormatA8R8G8B8());
    EXPECT_TRUE(SamePixels(*argb, image));
    layout.Compression = 3;
    auto fields = DecodeBmp(MakeBmp(layout));
    ASSERT_TRUE(fields);
    EXPECT_TRUE(SamePixels(*fields, image));
  }
}

TEST(BmpDepths, SixteenBitPicturesKeepRedHigh) {
  const TTestImage image = PatternImage(5, 3, 31);
  for (uint32_t green : {0x03E0u, 0x07E0u}) {
    for (int compression : {0, 3}) {
      if (green == 0x07E0 && compression == 0) continue;  // 5-6-5 needs bit fields
      SCOPED_TRACE("green mask " + std::to_string(green) + " compression " + std::to_string(compression));
      TBmpLayout layout;
      layout.Width = 5;
      layout.Height = 3;
      layout.Bits = 16;
      layout.Compression = compression;
      layout.GreenMask = green;
      layout.Pixels = image.Pixels;
      auto bitmap = DecodeBmp(MakeBmp(layout));
      ASSERT_TRUE(bitmap);
      const bool six = green == 0x07E0;
      EXPECT_EQ(bitmap->Format(), six ? FormatB5G6R5() : FormatB5G5R5X1());
      TTestImage expected(5, 3);
      for (size_t i = 0; i < image.Pixels.size(); ++i) {
        const uint32_t c = image.Pixels[i];
        const uint32_t r = Widen5(((c >> 16) & 0xFF) >> 3);
        const uint32_t g = six ? Widen6(((c >> 8) & 0xFF) >> 2) : Widen5(((c >> 8) & 0xFF) >> 3);
        const uint32_t b = Widen5((c & 0xFF) >> 3);
        expected.Pixels[i] = 0xFF000000u | (r << 16) | (g << 8) | b;
      }
      EXPECT_TRUE(SamePixels(*bitmap, expected));
    }
  }
}

TEST(BmpCompression, Rle8AndRle4ExpandToThePalette) {
  for (int bits : {8, 4}) {
    SCOPED_TRACE(bits);
    TBmpLayout layout = PalettedLayout(bits, 21, 6, 5);
    // Long runs and short literal stretches side by side.
    for (int y = 0; y < 6; ++y)
      for (int x = 0; x < 10; ++x) layout.Indexes[static_cast<size_t>(y) * 21 + x] = static_cast<uint8_t>(y % (1 << bits));
    layout.Compression = bits == 8 ? 1 : 2;
    auto bitmap = DecodeBmp(MakeBmp(layout));
    ASSERT_TRUE(bitmap);
    EXPECT_TRUE(SamePixels(*bitmap, ExpectedOf(layout)));
  }
}

TEST(BmpCompression, Rle8DeltaSkipsPixels) {
  TBmpLayout layout = PalettedLayout(8, 4, 3, 9);
  layout.Compression = 1;
  auto file = MakeBmp(layout);
  // Hand-made data: bottom row "1 1", a delta of (1, 1), then "2" and the end.
  const uint32_t offset = file[10] | (file[11] << 8);
  file.resize(offset);
  for (uint8_t b : {2, 1, 0, 2, 1, 1, 1, 2, 0, 1}) file.push_back(b);
  auto bitmap = DecodeBmp(file);
  ASSERT_TRUE(bitmap);
  const uint32_t p0 = layout.Palette[0] | 0xFF000000u, p1 = layout.Palette[1] | 0xFF000000u, p2 = layout.Palette[2] | 0xFF000000u;
  TTestImage expected(4, 3, p0);
  expected.At(0, 2) = expected.At(1, 2) = p1;  // bottom row
  expected.At(3, 1) = p2;                      // x 2 + 1, one row up
  EXPECT_TRUE(SamePixels(*bitmap, expected));
}

TEST(BmpRefusals, UnsupportedHeadersGiveNothing) {
  const TBmpLayout good = PalettedLayout(8, 4, 4, 1);
  auto patch16 = [](std::vector<uint8_t> f, size_t at, uint16_t v) {
    f[at] = static_cast<uint8_t>(v);
    f[at + 1] = static_cast<uint8_t>(v >> 8);
    return f;
  };
  const auto file = MakeBmp(good);
  ASSERT_TRUE(DecodeBmp(file));
  EXPECT_FALSE(DecodeBmp(patch16(file, 0, 0x4D43)));  // signature
  EXPECT_FALSE(DecodeBmp(patch16(file, 26, 2)));      // planes
  EXPECT_FALSE(DecodeBmp(patch16(file, 28, 7)));      // bit count
  EXPECT_FALSE(DecodeBmp(patch16(file, 30, 2)));      // RLE4 with 8 bits
  EXPECT_FALSE(DecodeBmp(patch16(file, 30, 4)));      // JPEG inside
  EXPECT_FALSE(DecodeBmp(patch16(patch16(file, 22, 0), 24, 0)));  // height 0
  EXPECT_FALSE(DecodeBmp(patch16(patch16(file, 18, 0), 20, 0x8000)));  // negative width
  TBmpLayout odd;
  odd.Width = 2;
  odd.Height = 2;
  odd.Bits = 16;
  odd.Compression = 3;
  odd.GreenMask = 0x0FF0;
  odd.Pixels.assign(4, 0);
  EXPECT_FALSE(DecodeBmp(MakeBmp(odd)));
}

TEST(BmpRefusals, TruncatedAndDamagedFilesGiveNothingAndRestoreThePosition) {
  std::vector<TBmpLayout> layouts = {PalettedLayout(1, 9, 4, 1), PalettedLayout(4, 9, 4, 2), PalettedLayout(8, 9, 4, 3)};
  TBmpLayout rle = PalettedLayout(8, 9, 4, 4);
  rle.Compression = 1;
  layouts.push_back(rle);
  TBmpLayout rle4 = PalettedLayout(4, 9, 4, 4);
  rle4.Compression = 2;
  layouts.push_back(rle4);
  TBmpLayout color;
  color.Width = 9;
  color.Height = 4;
  color.Pixels = PatternImage(9, 4, 1).Pixels;
  for (int bits : {16, 24, 32}) {
    color.Bits = bits;
    layouts.push_back(color);
  }
  for (const auto& layout : layouts) {
    const auto file = MakeBmp(layout);
    SCOPED_TRACE("bits " + std::to_string(layout.Bits) + " compression " + std::to_string(layout.Compression));
    for (size_t cut : {size_t{0}, size_t{10}, size_t{30}, size_t{54}, file.size() / 2, file.size() - 1}) {
      std::vector<uint8_t> part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
      EXPECT_FALSE(DecodeBmp(part)) << "cut at " << cut;
      TMemoryStream stream;
      stream.Write(std::span<const uint8_t>(part));
      stream.SetPosition(std::min<int64_t>(3, static_cast<int64_t>(cut)));
      const int64_t before = stream.GetPosition();
      EXPECT_FALSE(DecodeBmp(stream));
      EXPECT_EQ(stream.GetPosition(), before);
    }
  }
}

TEST(BmpRefusals, HugeHeadersAreRefusedWithoutAllocating) {
  TBmpLayout layout = PalettedLayout(8, 4, 4, 1);
  layout.Compression = 1;
  auto file = MakeBmp(layout);
  // A 60000 x 60000 RLE picture of a few bytes.
  for (size_t at : {size_t{18}, size_t{22}}) {
    file[at] = 0x60;
    file[at + 1] = 0xEA;
    file[at + 2] = 0;
    file[at + 3] = 0;
  }
  EXPECT_FALSE(DecodeBmp(file));
}

}  // namespace
}  // namespace zel
