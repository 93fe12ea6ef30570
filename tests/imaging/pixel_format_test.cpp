#include <gtest/gtest.h>

#include <cstring>

#include "core/obj.h"
#include "imaging/color.h"
#include "imaging/pixel_converter.h"
#include "imaging/pixel_format.h"

namespace zel {
namespace {

// Converts one pixel given as little-endian bytes.
std::vector<uint8_t> Convert(const char* from, const char* to, std::vector<uint8_t> source) {
  TCommonPixelFormat* f = PixelFormat(std::string_view(from));
  TCommonPixelFormat* t = PixelFormat(std::string_view(to));
  std::vector<uint8_t> out(static_cast<size_t>(t->BytesPerPixel()), 0xEE);
  GetConverter(f, t)->ConvertRun(out.data(), source.data(), 1);
  return out;
}

TEST(PixelFormatNames, DerivedPropertiesFollowTheLayout) {
  struct {
    const char* name;
    int bits, bytes;
    bool packed, alpha;
  } cases[] = {{"Y8", 8, 1, false, true},          {"A8", 8, 1, false, true},
               {"R8G8B8", 24, 3, false, false},    {"B8G8R8", 24, 3, false, false},
               {"A8R8G8B8", 32, 4, false, true},   {"A8B8G8R8", 32, 4, false, true},
               {"A8r8g8b8", 32, 4, false, true},   {"A8b8g8r8", 32, 4, false, true},
               {"X8B8G8R8", 32, 4, false, false},  {"B5G6R5", 16, 2, true, false},
               {"B5G5R5X1", 16, 2, true, false},   {"R5G6B5", 16, 2, true, false},
               {"X1R5G5B5", 16, 2, true, false},   {"R3G3B2", 8, 1, true, false}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    TCommonPixelFormat* format = PixelFormat(std::string_view(c.name));
    EXPECT_EQ(format->BitsPerPixel(), c.bits);
    EXPECT_EQ(format->BytesPerPixel(), c.bytes);
    EXPECT_EQ(format->BitPacked(), c.packed);
    EXPECT_EQ(format->HasAlpha(), c.alpha);
    EXPECT_EQ(format->NameUtf8(), c.name);
  }
}

TEST(PixelFormatNames, EqualNamesGiveTheSameObject) {
  EXPECT_EQ(PixelFormat(std::string_view("A8R8G8B8")), FormatA8R8G8B8());
  EXPECT_EQ(PixelFormat(TStringView(u"R8G8B8")), PixelFormat(std::string_view("R8G8B8")));
  EXPECT_NE(FormatR8G8B8(), FormatB8G8R8());
}

TEST(PixelFormatNames, InvalidNamesAreRefused) {
  for (const char16_t* name : {u"", u"Q8", u"R", u"R0G8", u"8R8", u"R8G8B8Z1", u"A100"})
    EXPECT_EQ(TCommonPixelFormat::Find(name), nullptr) << StringToUtf8(name);
  auto previous = SetAssertionHook([](const std::string&) {});
  EXPECT_THROW(PixelFormat(std::string_view("Nonsense")), EAssertionFailed);
  SetAssertionHook(previous);
}

TEST(PixelFormatNames, PremultipliedLettersAreMarked) {
  const auto& channels = FormatA8r8g8b8()->Channels();
  ASSERT_EQ(channels.size(), 4u);
  EXPECT_FALSE(channels[0].Premultiplied);
  EXPECT_TRUE(channels[1].Premultiplied);
  EXPECT_EQ(channels[1].Key(), u'R');
}

TEST(PixelConverters, R5G6B5WhiteWidensByShifting) {
  EXPECT_EQ(Convert("R5G6B5", "R8G8B8", {0xFF, 0xFF}), (std::vector<uint8_t>{0xF8, 0xFC, 0xF8}));
  // Pure red (bits 11-15) lands in the red byte, the last in memory.
  EXPECT_EQ(Convert("R5G6B5", "R8G8B8", {0x00, 0xF8}), (std::vector<uint8_t>{0, 0, 0xF8}));
}

TEST(PixelConverters, X1R5G5B5ChannelsLandInTheirBytes) {
  // red 31, green 1, blue 2
  const uint16_t v = (31 << 10) | (1 << 5) | 2;
  EXPECT_EQ(Convert("X1R5G5B5", "R8G8B8", {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)}),
            (std::vector<uint8_t>{16, 8, 248}));
}

TEST(PixelConverters, BitConverterWidensWithOnesAndKeepsZero) {
  // "B5G6R5" keeps blue in the low bits, as BMP files and Fill do.
  const uint16_t v = (31 << 11) | (0 << 5) | 1;  // red 31, green 0, blue 1
  const auto out = Convert("B5G6R5", "A8R8G8B8", {static_cast<uint8_t>(v), static_cast<uint8_t>(v >> 8)});
  EXPECT_EQ(out, (std::vector<uint8_t>{15, 0, 255, 255}));  // blue, green, red, alpha filled with its maximum
}

TEST(PixelConverters, BitConverterNarrowsByDroppingLowBits) {
  const auto out = Convert("A8R8G8B8", "B5G5R5X1", {0x0F, 0x80, 0xFF, 0x12});
  const uint16_t v = static_cast<uint16_t>(out[0] | (out[1] << 8));
  EXPECT_EQ(v & 0x1F, 0x0F >> 3);
  EXPECT_EQ((v >> 5) & 0x1F, 0x80 >> 3);
  EXPECT_EQ((v >> 10) & 0x1F, 0xFF >> 3);
  EXPECT_EQ(v >> 15, 0);  // the unused bit stays clear
}

TEST(PixelConverters, ByteConverterFillsMissingChannels) {
  // No alpha in the source: alpha 255. No colour in an "A8" source: zero.
  EXPECT_EQ(Convert("X8B8G8R8", "A8R8G8B8", {1, 2, 3, 4}), (std::vector<uint8_t>{3, 2, 1, 255}));
  EXPECT_EQ(Convert("A8", "A8R8G8B8", {0x42}), (std::vector<uint8_t>{0, 0, 0, 0x42}));
  // B8G8R8 holds red first in memory.
  EXPECT_EQ(Convert("B8G8R8", "R8G8B8", {10, 20, 30}), (std::vector<uint8_t>{30, 20, 10}));
}

TEST(PixelConverters, GreyBecomesThreeEqualBytes) {
  EXPECT_EQ(Convert("Y8", "R8G8B8", {0x5A}), (std::vector<uint8_t>{0x5A, 0x5A, 0x5A}));
  EXPECT_EQ(Convert("A8", "B8G8R8", {0x07}), (std::vector<uint8_t>{7, 7, 7}));
  // A grey packed into 16 bits reads back as the same grey.
  const auto packed = Convert("Y8", "B5G6R5", {0xFF});
  EXPECT_EQ(Convert("B5G6R5", "R8G8B8", packed), (std::vector<uint8_t>{0xFF, 0xFF, 0xFF}));
}

TEST(PixelConverters, RgbAndRgbaConvertBothWays) {
  EXPECT_EQ(Convert("R8G8B8", "A8R8G8B8", {1, 2, 3}), (std::vector<uint8_t>{1, 2, 3, 255}));
  EXPECT_EQ(Convert("R8G8B8", "A8r8g8b8", {1, 2, 3}), (std::vector<uint8_t>{1, 2, 3, 255}));
  EXPECT_EQ(Convert("A8R8G8B8", "R8G8B8", {1, 2, 3, 4}), (std::vector<uint8_t>{1, 2, 3}));
  EXPECT_EQ(Convert("A8B8G8R8", "B8G8R8", {1, 2, 3, 4}), (std::vector<uint8_t>{1, 2, 3}));
}

TEST(PixelConverters, PremultiplyingConverter) {
  EXPECT_EQ(Convert("A8R8G8B8", "A8r8g8b8", {0xFF, 0xFF, 0xFF, 0x80}), (std::vector<uint8_t>{0x7F, 0x7F, 0x7F, 0x80}));
  EXPECT_EQ(Convert("A8R8G8B8", "A8r8g8b8", {0x56, 0x34, 0x12, 0x00}), (std::vector<uint8_t>{0, 0, 0, 0}));
  EXPECT_EQ(Convert("A8R8G8B8", "A8r8g8b8", {0x56, 0x34, 0x12, 0xFF}), (std::vector<uint8_t>{0x56, 0x34, 0x12, 0xFF}));
}

TEST(PixelConverters, OneConverterPerPairIsKept) {
  const TConvertOperator* first = GetConverter(PixelFormat(std::string_view("R3G3B2")), FormatA8R8G8B8());
  EXPECT_EQ(GetConverter(PixelFormat(std::string_view("R3G3B2")), FormatA8R8G8B8()), first);
  EXPECT_EQ(first->Source()->NameUtf8(), "R3G3B2");
}

TEST(PixelConverters, RunsConvertEveryPixel) {
  std::vector<uint8_t> source(3 * 100), out(4 * 100);
  for (size_t i = 0; i < source.size(); ++i) source[i] = static_cast<uint8_t>(i * 7);
  GetConverter(FormatR8G8B8(), FormatA8R8G8B8())->ConvertRow32(reinterpret_cast<uint32_t*>(out.data()), source.data(), 100);
  for (size_t i = 0; i < 100; ++i) {
    EXPECT_EQ(out[i * 4], source[i * 3]);
    EXPECT_EQ(out[i * 4 + 2], source[i * 3 + 2]);
    EXPECT_EQ(out[i * 4 + 3], 255);
  }
}

TEST(ColorHelpers, MakeAndTakeApart) {
  EXPECT_EQ(MakeColor(0x12, 0x34, 0x56, 0x78), 0x78123456u);
  EXPECT_EQ(SetAlpha(0x11223344, 0xAB), 0xAB223344u);
  EXPECT_EQ(NoAlpha(0xFF123456), 0x00123456u);
  EXPECT_EQ(SwapRB(0xFF123456), 0x00563412u);
  EXPECT_TRUE(SameRGB(0x00123456, 0xFF123456));
  EXPECT_FALSE(SameRGB(0x00123456, 0x00123457));
}

TEST(ColorHelpers, AverageAndMix) {
  EXPECT_EQ(AverageColor(0xFF000000, 0x01FFFFFF), 0x807F7F7Fu);
  EXPECT_EQ(MixColor(0x00000000, 0xFFFFFFFF, 0), 0x00000000u);
  EXPECT_EQ(MixColor(0x00000000, 0xFFFFFFFF, 256), 0xFFFFFFFFu);
  EXPECT_EQ(MixColor(0x00000000, 0xFFFFFFFF, 128), 0x7F7F7F7Fu);
  // Toward a darker colour the division truncates toward zero: 255 - 127.
  EXPECT_EQ(MixColor(0x000000FF, 0x00000000, 128), 0x00000080u);
}

TEST(ColorHelpers, BlendOverCases) {
  EXPECT_EQ(BlendOver(0xFF000000, 0x80FF0000), 0xFF7F0000u);
  EXPECT_EQ(BlendOver(0x12345678, 0x00FFFFFF), 0x12345678u);  // transparent colour
  EXPECT_EQ(BlendOver(0x12345678, 0xFFABCDEF), 0xFFABCDEFu);  // opaque colour
  EXPECT_EQ(BlendOver(0x00345678, 0x40ABCDEF), 0x40ABCDEFu);  // onto nothing
  // A darker half-transparent colour onto opaque white pulls it down.
  EXPECT_EQ(BlendOver(0xFFFFFFFF, 0x80000000), 0xFF7F7F7Fu);
  // Half over half: alpha 128 + 128 - 64 = 192; the colour keeps its hue.
  const TColor mixed = BlendOver(0x80FF0000, 0x800000FF);
  EXPECT_EQ(AlphaOf(mixed), 192u);
  EXPECT_GT(BlueOf(mixed), 0u);
  EXPECT_GT(RedOf(mixed), 0u);
  EXPECT_EQ(GreenOf(mixed), 0u);
}

TEST(ColorHelpers, PremultiplyRowLeavesOpaquePixels) {
  std::vector<uint32_t> row = {0x80FFFFFF, 0x00123456, 0xFF123456};
  PremultiplyRow(row);
  EXPECT_EQ(row[0], 0x807F7F7Fu);
  EXPECT_EQ(row[1], 0x00000000u);
  EXPECT_EQ(row[2], 0xFF123456u);
}

}  // namespace
}  // namespace zel
