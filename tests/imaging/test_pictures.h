// Writers of small pictures with known pixels, so that the decoders can be
// checked against what went in: BMP (every depth and coding), GIF (with a
// real LZW coder, frames, transparency and interlace), PNG and JPEG through
// their libraries, and the deflated picture container.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "imaging/bitmap.h"

namespace zel::testing {

// Pixels as 0xAARRGGBB, rows top first.
struct TTestImage {
  int Width = 0;
  int Height = 0;
  std::vector<uint32_t> Pixels;

  TTestImage() = default;
  TTestImage(int width, int height, uint32_t fill = 0)
      : Width(width), Height(height), Pixels(static_cast<size_t>(width) * height, fill) {}
  uint32_t& At(int x, int y) { return Pixels[static_cast<size_t>(y) * Width + x]; }
  uint32_t At(int x, int y) const { return Pixels[static_cast<size_t>(y) * Width + x]; }
};

// A picture with a different colour at nearly every pixel (opaque unless
// withAlpha), reproducible from the seed.
TTestImage PatternImage(int width, int height, uint32_t seed, bool withAlpha = false);

// Every pixel of the bitmap, read as a colour, against the expected image.
::testing::AssertionResult SamePixels(const TBitmap& bitmap, const TTestImage& expected, int tolerance = 0);

struct TBmpLayout {
  int Width = 0;
  int Height = 0;
  int Bits = 24;
  int Compression = 0;  // 0 none, 1 RLE8, 2 RLE4, 3 bit fields
  bool TopDown = false;
  std::vector<uint32_t> Palette;  // 1, 4 and 8 bits
  std::vector<uint8_t> Indexes;   // 1, 4 and 8 bits, rows top first
  std::vector<uint32_t> Pixels;   // 16, 24 and 32 bits, 0xAARRGGBB, rows top first
  uint32_t GreenMask = 0x03E0;    // 16-bit bit fields: 0x07E0 for 5-6-5
  uint32_t ColorsUsed = 0;
};
std::vector<uint8_t> MakeBmp(const TBmpLayout& layout);

struct TGifFrameLayout {
  int Left = 0, Top = 0, Width = 0, Height = 0;
  std::vector<uint8_t> Indexes;     // rows top first
  std::vector<uint32_t> LocalPalette;
  int Transparent = -1;
  int Disposal = 0;
  int Delay = 0;  // hundredths of a second
  bool Interlaced = false;
  bool GraphicControl = true;
};
struct TGifLayout {
  int Width = 0, Height = 0;
  std::vector<uint32_t> GlobalPalette;
  std::vector<TGifFrameLayout> Frames;
  int Loops = -1;  // -1: no NETSCAPE2.0 extension
  bool Version87 = false;
  int MinCodeSize = 0;  // 0: from the palette size
};
std::vector<uint8_t> MakeGif(const TGifLayout& layout);
// The GIF flavour of LZW, as the writer uses it.
std::vector<uint8_t> LzwEncode(const std::vector<uint8_t>& indexes, int minCodeSize);

// PNG of every pixel with or without its alpha (RGBA or RGB), 8 or 16 bits.
std::vector<uint8_t> MakePngColor(const TTestImage& image, bool alpha, bool interlaced = false, int bitDepth = 8);
// Paletted PNG; palette entries' alpha goes into a tRNS chunk when any is not opaque.
std::vector<uint8_t> MakePngPalette(int width, int height, const std::vector<uint8_t>& indexes,
                                    const std::vector<uint32_t>& palette, int bitDepth = 8);
std::vector<uint8_t> MakePngGrey(int width, int height, const std::vector<uint8_t>& greys, bool withAlpha = false);

std::vector<uint8_t> MakeJpeg(const TTestImage& image, int quality = 95, bool grey = false, bool progressive = false);

// Raw deflate, as the container holds its BMP.
std::vector<uint8_t> DeflateRawBytes(const std::vector<uint8_t>& data);
std::vector<uint8_t> MakeGfx(const std::vector<std::pair<std::string, std::string>>& fields,
                             const std::vector<uint8_t>& payload);
// A container with the required fields around a BMP.
std::vector<uint8_t> MakeGfxForBmp(const std::vector<uint8_t>& bmp, int width, int height);

}  // namespace zel::testing
