#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

#include "imaging/image_loader.h"
#include "imaging/metadata_pictures.h"
#include "imaging/test_pictures.h"
#include "integration/run_program.h"

namespace zel {
namespace {

using testing::PatternImage;
using testing::SamePixels;
using testing::TTestImage;
using testing_support::RunProgram;

class ImageCommands : public ::testing::Test {
 protected:
  void SetUp() override {
    char folder[] = "/tmp/zel_image_tool_XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    fFolder = folder;
  }
  void TearDown() override {
    for (const auto& file : fFiles) std::remove(file.c_str());
    rmdir(fFolder.c_str());
  }
  std::string Write(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = Path(name);
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
  }
  std::string Path(const std::string& name) {
    fFiles.push_back(fFolder + "/" + name);
    return fFiles.back();
  }
  static std::string Tool(const std::string& arguments) { return std::string(ZELTOOL_PATH) + " " + arguments; }

  std::string fFolder;
  std::vector<std::string> fFiles;
};

std::vector<uint8_t> AnimatedGif() {
  testing::TGifLayout layout;
  layout.Width = 3;
  layout.Height = 2;
  layout.GlobalPalette = {0xFF000000, 0xFFFF0000, 0xFF00FF00, 0xFF0000FF};
  layout.Loops = 0;
  for (int i = 0; i < 3; ++i) {
    testing::TGifFrameLayout frame;
    frame.Width = 3;
    frame.Height = 2;
    frame.Indexes = {static_cast<uint8_t>(i), 1, 2, 3, 3, static_cast<uint8_t>(i)};
    frame.Transparent = 3;
    layout.Frames.push_back(frame);
  }
  return MakeGif(layout);
}

TEST_F(ImageCommands, InfoPrintsSizeFormatAndFrames) {
  testing::TBmpLayout bmp;
  bmp.Width = 5;
  bmp.Height = 3;
  bmp.Pixels = PatternImage(5, 3, 1).Pixels;
  auto result = RunProgram(Tool("image-info " + Write("a.bmp", MakeBmp(bmp))));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "5 3 R8G8B8 1\n");
  result = RunProgram(Tool("image-info " + Write("b.gif", AnimatedGif())));
  EXPECT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "9 2 A8R8G8B8 3\n");
  result = RunProgram(Tool("image-info " + Write("c.jpg", testing::MakeJpeg(PatternImage(17, 9, 2)))));
  EXPECT_EQ(result.output, "17 9 B8G8R8 1\n");
}

TEST_F(ImageCommands, InfoFailsClearly) {
  auto result = RunProgram(Tool("image-info " + Path("missing.png")));
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.output.find("zeltool image-info:"), std::string::npos);
  result = RunProgram(Tool("image-info " + Write("text.bmp", {'h', 'e', 'l', 'l', 'o'})));
  EXPECT_NE(result.exitCode, 0);
  EXPECT_EQ(RunProgram(Tool("image-info")).exitCode, 2);
}

TEST_F(ImageCommands, DecodeWritesThePictureWithItsAlpha) {
  const std::string out = Path("strip.png");
  auto result = RunProgram(Tool("decode-image " + Write("anim.gif", AnimatedGif()) + " " + out));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  auto written = LoadImageFile(out);
  ASSERT_TRUE(written);
  auto original = LoadImageFile(fFolder + "/anim.gif");
  ASSERT_TRUE(original);
  TTestImage expected(9, 2);
  for (int y = 0; y < 2; ++y)
    for (int x = 0; x < 9; ++x) expected.At(x, y) = original->GetMipLevel(0)->PixelColor(x, y);
  EXPECT_TRUE(SamePixels(*written->GetMipLevel(0), expected));
  EXPECT_EQ(written->GetMipLevel(0)->PixelColor(3, 1) >> 24, 0u);  // a transparent pixel stays so
}

TEST_F(ImageCommands, DecodeAtAReducedLevel) {
  const std::string in = Write("photo.jpg", testing::MakeJpeg(PatternImage(64, 40, 3)));
  const std::string out = Path("small.png");
  auto result = RunProgram(Tool("decode-image " + in + " " + out + " --level 2"));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output, "16 10\n");
  auto written = LoadImageFile(out);
  ASSERT_TRUE(written);
  EXPECT_EQ(written->Width(), 16);
  EXPECT_EQ(written->Height(), 10);
  EXPECT_NE(RunProgram(Tool("decode-image " + in + " " + out + " --level x")).exitCode, 0);
  EXPECT_EQ(RunProgram(Tool("decode-image " + in)).exitCode, 2);
}

TEST_F(ImageCommands, MetaPrintsEveryMacroValueInOrder) {
  testing::TTiffLayout exif;
  exif.BigEndian = true;
  exif.Ifd0 = {testing::AsciiEntry(0x010E, "Line one\nand 100%"), testing::AsciiEntry(0x0132, "2009:07:14 18:22:05")};
  exif.Exif = {testing::UndefinedEntry(0x9286, testing::UserComment("UNICODE", testing::Utf16Bytes(u"Grüße", true)))};
  const auto iptc = testing::MakeIptc({{2, 80, "  First Author "}, {2, 80, "Second"}, {2, 101, "Norway"}});
  const auto photo = testing::WithSegments(testing::SmallJpeg(),
                                           {testing::ExifSegment(testing::MakeTiff(exif)),
                                            testing::PhotoshopSegment(testing::PhotoshopResource(0x0404, iptc))});
  auto result = RunProgram(Tool("image-meta " + Write("tagged.jpg", photo)));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output,
            "Exif.Date 2009:07:14\n"
            "Exif.Time 18:22:05\n"
            "Exif.Comment Grüße\n"
            "Exif.Description Line one%0Aand 100%25\n"
            "IPTC.DocumentTitle\nIPTC.SpecialInstructions\n"
            "IPTC.AuthorByline First Author\n"
            "IPTC.AuthorTitle\nIPTC.City\nIPTC.Sublocation\nIPTC.ProvinceState\n"
            "IPTC.Country Norway\n"
            "IPTC.OTR\nIPTC.Headline\nIPTC.Credits\nIPTC.Source\nIPTC.Copyright\nIPTC.CaptionDescription\n"
            "IPTC.CaptionWriter\n");
}

TEST_F(ImageCommands, MetaOfAPictureWithoutMetadataAndFailures) {
  auto result = RunProgram(Tool("image-meta " + Write("plain.jpg", testing::SmallJpeg())));
  ASSERT_EQ(result.exitCode, 0) << result.output;
  EXPECT_EQ(result.output.substr(0, 20), "Exif.Date\nExif.Time\n");
  EXPECT_EQ(std::count(result.output.begin(), result.output.end(), '\n'), 19);
  EXPECT_EQ(result.output.find(' '), std::string::npos);
  result = RunProgram(Tool("image-meta " + Path("missing.jpg")));
  EXPECT_NE(result.exitCode, 0);
  EXPECT_NE(result.output.find("zeltool image-meta:"), std::string::npos);
  EXPECT_EQ(RunProgram(Tool("image-meta")).exitCode, 2);
}

}  // namespace
}  // namespace zel
