#include <gtest/gtest.h>

#include "core/streams.h"
#include "imaging/gif_decoder.h"
#include "imaging/image_loader.h"
#include "imaging/test_pictures.h"

namespace zel {
namespace {

using testing::MakeGif;
using testing::SamePixels;
using testing::TGifFrameLayout;
using testing::TGifLayout;
using testing::TTestImage;

const std::vector<uint32_t> kPalette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF,
                                        0xFFFFFF00, 0xFF00FFFF, 0xFFFF00FF, 0xFFFFFFFF};

std::unique_ptr<TImage> Load(const std::vector<uint8_t>& file, const char16_t* name = u"picture.gif") {
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(file));
  stream.SetPosition(0);
  return LoadImage(stream, name);
}

TGifFrameLayout Frame(int left, int top, int width, int height, uint32_t seed) {
  TGifFrameLayout frame;
  frame.Left = left;
  frame.Top = top;
  frame.Width = width;
  frame.Height = height;
  for (int i = 0; i < width * height; ++i) frame.Indexes.push_back(static_cast<uint8_t>((i * 5 + seed + i / 3) % 8));
  return frame;
}

TTestImage Expected(const TGifFrameLayout& frame, const std::vector<uint32_t>& palette) {
  TTestImage image(frame.Width, frame.Height);
  for (size_t i = 0; i < frame.Indexes.size(); ++i) {
    const uint32_t c = frame.Indexes[i] < palette.size() ? palette[frame.Indexes[i]] : 0;
    image.Pixels[i] = frame.Indexes[i] == frame.Transparent ? (c & 0x00FFFFFF) : c;
  }
  return image;
}

TEST(GifSingleImage, DecodesThroughTheGlobalPalette) {
  for (bool v87 : {false, true}) {
    TGifLayout layout;
    layout.Width = 11;
    layout.Height = 7;
    layout.GlobalPalette = kPalette;
    layout.Version87 = v87;
    layout.Frames.push_back(Frame(0, 0, 11, 7, 1));
    layout.Frames[0].GraphicControl = !v87;
    auto image = Load(MakeGif(layout));
    ASSERT_TRUE(image);
    TBitmap* bitmap = image->GetMipLevel(0);
    EXPECT_EQ(bitmap->Format(), FormatA8R8G8B8());
    EXPECT_TRUE(SamePixels(*bitmap, Expected(layout.Frames[0], kPalette)));
    EXPECT_EQ(image->Store().FindAttached<TTilesTag>(), nullptr);
  }
}

TEST(GifSingleImage, TransparentIndexGetsAlphaZero) {
  TGifLayout layout;
  layout.Width = 6;
  layout.Height = 4;
  layout.GlobalPalette = kPalette;
  layout.Frames.push_back(Frame(0, 0, 6, 4, 2));
  layout.Frames[0].Transparent = 3;
  layout.Frames[0].Indexes[0] = layout.Frames[0].Indexes[9] = 3;
  auto image = Load(MakeGif(layout));
  ASSERT_TRUE(image);
  const TTestImage expected = Expected(layout.Frames[0], kPalette);
  EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), expected));
  int transparent = 0;
  for (uint32_t p : expected.Pixels) transparent += (p >> 24) == 0;
  EXPECT_GT(transparent, 0);
}

TEST(GifSingleImage, InterlacedRowsComeBackInOrder) {
  for (int height : {1, 2, 5, 9, 17}) {
    SCOPED_TRACE(height);
    TGifLayout layout;
    layout.Width = 3;
    layout.Height = height;
    layout.GlobalPalette = kPalette;
    layout.Frames.push_back(Frame(0, 0, 3, height, 3));
    // Every row different, so that a misplaced row shows.
    for (int y = 0; y < height; ++y) layout.Frames[0].Indexes[static_cast<size_t>(y) * 3] = static_cast<uint8_t>(y % 8);
    layout.Frames[0].Interlaced = true;
    auto image = Load(MakeGif(layout));
    ASSERT_TRUE(image);
    EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), Expected(layout.Frames[0], kPalette)));
  }
}

TEST(GifSingleImage, LocalPaletteAndMissingEntries) {
  TGifLayout layout;
  layout.Width = 4;
  layout.Height = 4;
  layout.GlobalPalette = kPalette;
  TGifFrameLayout frame = Frame(0, 0, 4, 4, 4);
  frame.LocalPalette = {0xFF123456, 0xFF654321, 0xFFABCDEF};  // padded to 4 entries in the file
  for (auto& index : frame.Indexes) index %= 4;
  layout.Frames.push_back(frame);
  auto image = Load(MakeGif(layout));
  ASSERT_TRUE(image);
  std::vector<uint32_t> palette = frame.LocalPalette;
  palette.push_back(0xFF000000);  // the writer pads with black
  EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), Expected(frame, palette)));
}

TEST(GifLzw, LongPicturesFillTheCodeTable) {
  // Random data defines a new code almost every pixel, so the table fills
  // and the writer clears it again several times; the long runs at the end
  // exercise the code that is defined while being used.
  TGifLayout layout;
  layout.Width = 256;
  layout.Height = 96;
  std::vector<uint32_t> palette(256);
  for (size_t i = 0; i < 256; ++i) palette[i] = 0xFF000000u | static_cast<uint32_t>(i * 0x010203);
  layout.GlobalPalette = palette;
  TGifFrameLayout frame;
  frame.Width = 256;
  frame.Height = 96;
  uint32_t state = 7;
  for (int i = 0; i < 256 * 96; ++i) {
    state = state * 1103515245u + 12345u;
    frame.Indexes.push_back(i > 256 * 80 ? 9 : static_cast<uint8_t>(state >> 16));
  }
  layout.Frames.push_back(frame);
  auto image = Load(MakeGif(layout));
  ASSERT_TRUE(image);
  EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), Expected(frame, palette)));
}

TEST(GifAnimation, FramesMakeAStripWithTheirDisposals) {
  TGifLayout layout;
  layout.Width = 4;
  layout.Height = 3;
  layout.GlobalPalette = kPalette;
  layout.Loops = 0;
  // Frame 0: the whole screen in colour 1, kept.
  TGifFrameLayout f0 = Frame(0, 0, 4, 3, 0);
  std::fill(f0.Indexes.begin(), f0.Indexes.end(), 1);
  f0.Disposal = 1;
  f0.Delay = 0;
  // Frame 1: a 2 x 2 patch of colour 2 at (1, 1), transparent at its top
  // left; restored to background afterwards.
  TGifFrameLayout f1 = Frame(1, 1, 2, 2, 0);
  f1.Indexes = {7, 2, 2, 2};
  f1.Transparent = 7;
  f1.Disposal = 2;
  f1.Delay = 12;
  // Frame 2: one pixel of colour 3 at (0, 0); restore previous afterwards.
  TGifFrameLayout f2 = Frame(0, 0, 1, 1, 0);
  f2.Indexes = {3};
  f2.Disposal = 3;
  f2.Delay = 7;
  // Frame 3: one pixel of colour 4 at (3, 2), drawn over what frame 2's
  // disposal restored: the last kept frame (frame 0).
  TGifFrameLayout f3 = Frame(3, 2, 1, 1, 0);
  f3.Indexes = {4};
  layout.Frames = {f0, f1, f2, f3};

  auto image = Load(MakeGif(layout));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Width(), 16);
  EXPECT_EQ(image->Height(), 3);
  const uint32_t c1 = kPalette[1], c2 = kPalette[2], c3 = kPalette[3], c4 = kPalette[4];
  TTestImage expected(16, 3, c1);
  // Frame 1: frame 0 shows through its transparent pixel.
  expected.At(4 + 2, 1) = c2;
  expected.At(4 + 1, 2) = c2;
  expected.At(4 + 2, 2) = c2;
  // Frame 2: frame 1's rectangle was restored to transparent.
  for (int y = 1; y < 3; ++y)
    for (int x = 1; x < 3; ++x) expected.At(8 + x, y) = 0;
  expected.At(8, 0) = c3;
  // Frame 3: frame 0 again, plus its own pixel.
  expected.At(12 + 3, 2) = c4;
  EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), expected));

  const TTilesTag* tag = image->Store().FindAttached<TTilesTag>();
  ASSERT_NE(tag, nullptr);
  EXPECT_EQ(tag->FrameWidth, 4);
  EXPECT_EQ(tag->FrameHeight, 3);
  EXPECT_EQ(tag->Columns, 4);
  EXPECT_EQ(tag->Rows, 1);
  EXPECT_EQ(tag->Durations, u"50,120,70,50");  // a delay of 0 plays 50 ms
  EXPECT_EQ(tag->TotalDuration, 290);
  EXPECT_EQ(tag->AverageDuration, 72);
  EXPECT_EQ(tag->LoopCount, 0);
}

TEST(GifAnimation, LoopCounts) {
  for (int loops : {-1, 0, 3, 0xFFFF}) {
    TGifLayout layout;
    layout.Width = 2;
    layout.Height = 2;
    layout.GlobalPalette = kPalette;
    layout.Loops = loops;
    layout.Frames = {Frame(0, 0, 2, 2, 1), Frame(0, 0, 2, 2, 2)};
    auto image = Load(MakeGif(layout));
    ASSERT_TRUE(image);
    const TTilesTag* tag = image->Store().FindAttached<TTilesTag>();
    ASSERT_NE(tag, nullptr);
    EXPECT_EQ(tag->LoopCount, loops == -1 ? 1 : loops == 0xFFFF ? 0 : loops);
  }
}

TEST(GifAnimation, OneFrameWithTheLoopExtensionIsAStripOfOne) {
  TGifLayout layout;
  layout.Width = 5;
  layout.Height = 4;
  layout.GlobalPalette = kPalette;
  layout.Loops = 2;
  layout.Frames = {Frame(1, 1, 3, 2, 1)};
  auto image = Load(MakeGif(layout));
  ASSERT_TRUE(image);
  EXPECT_EQ(image->Width(), 5);  // the logical screen, not the frame
  TTestImage expected(5, 4, 0);
  const TTestImage frame = Expected(layout.Frames[0], kPalette);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 3; ++x) expected.At(1 + x, 1 + y) = frame.At(x, y);
  EXPECT_TRUE(SamePixels(*image->GetMipLevel(0), expected));
  ASSERT_NE(image->Store().FindAttached<TTilesTag>(), nullptr);
}

TEST(GifRefusals, DamagedFilesGiveNoPicture) {
  TGifLayout layout;
  layout.Width = 9;
  layout.Height = 6;
  layout.GlobalPalette = kPalette;
  layout.Loops = 0;
  layout.Frames = {Frame(0, 0, 9, 6, 1), Frame(2, 2, 4, 3, 2)};
  const auto file = MakeGif(layout);
  ASSERT_TRUE(Load(file));
  for (size_t cut = 0; cut < file.size(); cut += 3) {
    std::vector<uint8_t> part(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(cut));
    EXPECT_FALSE(Load(part)) << "cut at " << cut;
  }
  auto wrongVersion = file;
  wrongVersion[4] = '8';  // "GIF88a"
  EXPECT_FALSE(Load(wrongVersion));
  TFPReaderGif reader;
  EXPECT_THROW(reader.Read(wrongVersion), EGifError);
  auto badCodeSize = MakeGif([&] {
    TGifLayout s = layout;
    s.MinCodeSize = 12;
    return s;
  }());
  EXPECT_FALSE(Load(badCodeSize));
}

TEST(GifRefusals, HugeScreensAreRefused) {
  TGifLayout layout;
  layout.Width = 65535;
  layout.Height = 65535;
  layout.GlobalPalette = kPalette;
  layout.Loops = 0;
  layout.Frames = {Frame(0, 0, 2, 2, 1), Frame(0, 0, 2, 2, 2)};
  EXPECT_FALSE(Load(MakeGif(layout)));
}

}  // namespace
}  // namespace zel
