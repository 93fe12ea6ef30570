// Runs one picture decoder's fuzz entry point in every test run, without
// libFuzzer: a seed corpus of small pictures made here, then random
// mutations of them. With ZEL_FUZZ_SEEDS set to a folder, the seeds are
// also written there, to start a libFuzzer run from.
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <vector>

#include "imaging/test_pictures.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

namespace zel {
namespace {

using namespace zel::testing;
using TBytes = std::vector<uint8_t>;

TBmpLayout Paletted(int bits, int compression) {
  TBmpLayout layout;
  layout.Width = 13;
  layout.Height = 7;
  layout.Bits = bits;
  layout.Compression = compression;
  for (int i = 0; i < (1 << bits); ++i) layout.Palette.push_back(0xFF000000u | static_cast<uint32_t>(i * 0x030507));
  for (int i = 0; i < 13 * 7; ++i) layout.Indexes.push_back(static_cast<uint8_t>((i / 4) % (1 << bits)));
  return layout;
}

TBmpLayout TrueColour(int bits, int compression, uint32_t green = 0x03E0) {
  TBmpLayout layout;
  layout.Width = 9;
  layout.Height = 5;
  layout.Bits = bits;
  layout.Compression = compression;
  layout.GreenMask = green;
  layout.Pixels = PatternImage(9, 5, static_cast<uint32_t>(bits), true).Pixels;
  return layout;
}

std::vector<TBytes> BmpSeeds() {
  return {MakeBmp(Paletted(1, 0)),         MakeBmp(Paletted(4, 0)),          MakeBmp(Paletted(8, 0)),
          MakeBmp(Paletted(8, 1)),         MakeBmp(Paletted(4, 2)),          MakeBmp(TrueColour(16, 0)),
          MakeBmp(TrueColour(16, 3, 0x07E0)), MakeBmp(TrueColour(24, 0)),    MakeBmp(TrueColour(32, 0))};
}

std::vector<TBytes> GifSeeds() {
  TGifLayout still;
  still.Width = 10;
  still.Height = 6;
  still.GlobalPalette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  TGifFrameLayout frame;
  frame.Width = 10;
  frame.Height = 6;
  for (int i = 0; i < 60; ++i) frame.Indexes.push_back(static_cast<uint8_t>((i * 3 + i / 7) % 4));
  frame.Transparent = 2;
  still.Frames = {frame};
  TGifLayout interlaced = still;
  interlaced.Frames[0].Interlaced = true;
  TGifLayout animated = still;
  animated.Loops = 0;
  TGifFrameLayout patch;
  patch.Left = 2;
  patch.Top = 1;
  patch.Width = 3;
  patch.Height = 3;
  patch.Indexes = {1, 2, 3, 3, 2, 1, 0, 0, 1};
  patch.LocalPalette = {0xFF101010, 0xFF202020, 0xFF303030, 0xFF404040};
  patch.Disposal = 2;
  patch.Delay = 5;
  TGifFrameLayout previous = patch;
  previous.Disposal = 3;
  animated.Frames = {frame, patch, previous, frame};
  return {MakeGif(still), MakeGif(interlaced), MakeGif(animated)};
}

std::vector<TBytes> PngSeeds() {
  std::vector<uint8_t> indexes;
  for (int i = 0; i < 8 * 6; ++i) indexes.push_back(static_cast<uint8_t>(i % 3));
  std::vector<uint8_t> greys(8 * 6, 0x80);
  return {MakePngColor(PatternImage(8, 6, 1, true), true), MakePngColor(PatternImage(8, 6, 2), false, true),
          MakePngPalette(8, 6, indexes, {0xFF102030, 0x80405060, 0x00708090}, 2), MakePngGrey(8, 6, greys, true)};
}

std::vector<TBytes> JpegSeeds() {
  return {MakeJpeg(PatternImage(24, 16, 1), 80), MakeJpeg(PatternImage(17, 9, 2), 60, true),
          MakeJpeg(PatternImage(20, 20, 3), 70, false, true)};
}

std::vector<TBytes> GfxSeeds() {
  TBmpLayout layout = TrueColour(32, 0);
  const TBytes bmp = MakeBmp(layout);
  return {MakeGfxForBmp(bmp, layout.Width, layout.Height), MakeGfxForBmp(MakeBmp(Paletted(8, 1)), 13, 7)};
}

std::vector<TBytes> Seeds() {
  const std::string kind = ZEL_IMAGE_FUZZ_KIND;
  if (kind == "bmp") return BmpSeeds();
  if (kind == "gif") return GifSeeds();
  if (kind == "png") return PngSeeds();
  if (kind == "jpeg") return JpegSeeds();
  return GfxSeeds();
}

int Feed(const TBytes& input) { return LLVMFuzzerTestOneInput(input.data(), input.size()); }

TEST(ImageFuzz, SeedCorpus) {
  const auto seeds = Seeds();
  ASSERT_GE(seeds.size(), 2u);
  const char* folder = std::getenv("ZEL_FUZZ_SEEDS");
  for (size_t i = 0; i < seeds.size(); ++i) {
    EXPECT_EQ(Feed(seeds[i]), 0);
    if (folder)
      std::ofstream(std::string(folder) + "/" + ZEL_IMAGE_FUZZ_KIND + "_" + std::to_string(i), std::ios::binary)
          .write(reinterpret_cast<const char*>(seeds[i].data()), static_cast<std::streamsize>(seeds[i].size()));
  }
}

TEST(ImageFuzz, RandomMutations) {
  const auto seeds = Seeds();
  std::mt19937 random(20261209);
  for (int round = 0; round < 3000; ++round) {
    TBytes input = seeds[random() % seeds.size()];
    const int edits = 1 + static_cast<int>(random() % 6);
    for (int e = 0; e < edits; ++e) {
      const size_t at = input.empty() ? 0 : random() % input.size();
      switch (random() % 6) {
        case 0: if (!input.empty()) input[at] = static_cast<uint8_t>(random()); break;
        case 1: if (!input.empty()) input[at] ^= static_cast<uint8_t>(1u << (random() % 8)); break;
        case 2: input.resize(at); break;  // cut off
        case 3: if (at < input.size()) input.erase(input.begin() + static_cast<std::ptrdiff_t>(at)); break;
        case 4: input.insert(input.begin() + static_cast<std::ptrdiff_t>(at), static_cast<uint8_t>(random())); break;
        default:  // a header field set to an extreme value
          if (at + 1 < input.size()) input[at] = input[at + 1] = (random() & 1) ? 0xFF : 0x00;
          break;
      }
    }
    if (const char* dump = std::getenv("ZEL_FUZZ_DUMP")) std::ofstream(dump, std::ios::binary).write(
        reinterpret_cast<const char*>(input.data()), static_cast<std::streamsize>(input.size()));
    ASSERT_EQ(Feed(input), 0);
  }
}

}  // namespace
}  // namespace zel
