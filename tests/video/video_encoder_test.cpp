// The video encoder through its interface: tiny clips written and read
// back, rows in unusual memory layouts, and the failures that must leave
// no file behind.
#include "video/video_encoder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "imaging/bitmap.h"
#include "imaging/color.h"
#include "imaging/pixel_format.h"
#include "video/clip_reader.h"

namespace zel {
namespace {

namespace fs = std::filesystem;
using testing_support::ColorNear;
using testing_support::DecodeClip;

constexpr int kWidth = 64, kHeight = 48;
constexpr TColor kRed = MakeColor(255, 0, 0), kBlue = MakeColor(0, 0, 255), kGreen = MakeColor(0, 200, 0);
// H.264 at the default quality on flat colours: a few steps per channel.
constexpr int kTolerance = 10;

class VideoEncoder : public testing::Test {
 protected:
  void SetUp() override {
    const std::string name = testing::UnitTest::GetInstance()->current_test_info()->name();
    fRoot = fs::temp_directory_path() / ("zel_video_" + std::to_string(getpid()) + "_" + name);
    fs::remove_all(fRoot);
    fs::create_directories(fRoot);
  }
  void TearDown() override { fs::remove_all(fRoot); }

  TVideoSettings Settings(int width = kWidth, int height = kHeight) const {
    TVideoSettings settings;
    settings.path = (fRoot / "clip.mp4").string();
    settings.width = width;
    settings.height = height;
    settings.fps = 10;
    settings.preset = "ultrafast";
    return settings;
  }
  static TDirectBitmap Solid(TColor color, int width = kWidth, int height = kHeight) {
    TDirectBitmap bitmap(width, height, FormatA8R8G8B8());
    bitmap.Fill(bitmap.BoundsRect(), color);
    return bitmap;
  }
  // Nothing under the name, nor under the temporary one.
  void ExpectNoFiles(const std::string& path) const {
    EXPECT_FALSE(fs::exists(path)) << path;
    EXPECT_FALSE(fs::exists(PartialVideoPath(path))) << path;
  }

  fs::path fRoot;
};

TEST_F(VideoEncoder, AClipReadsBackWithItsFramesSizeAndColours) {
  const TVideoSettings settings = Settings();
  auto encoder = CreateVideoEncoder();
  std::string error;
  ASSERT_TRUE(encoder->Open(settings, error)) << error;
  // While it is written the file bears only the temporary name.
  EXPECT_TRUE(fs::exists(PartialVideoPath(settings.path)));
  EXPECT_FALSE(fs::exists(settings.path));
  const TDirectBitmap red = Solid(kRed);
  TDirectBitmap split = Solid(kBlue);
  split.Fill({0, 0, kWidth / 2, kHeight}, kGreen);
  for (int i = 0; i < 12; ++i) ASSERT_TRUE(encoder->AddFrame(i < 6 ? red : split, error)) << error;
  EXPECT_EQ(encoder->FramesAdded(), 12);
  ASSERT_TRUE(encoder->Finish(error)) << error;
  EXPECT_FALSE(fs::exists(PartialVideoPath(settings.path)));

  const auto clip = DecodeClip(settings.path);
  ASSERT_EQ(clip.error, "");
  EXPECT_EQ(clip.codec, "h264");
  EXPECT_EQ(clip.pixelFormat, "yuv420p");
  EXPECT_EQ(clip.width, kWidth);
  EXPECT_EQ(clip.height, kHeight);
  EXPECT_EQ(clip.frameRate.num, 10 * clip.frameRate.den);
  ASSERT_EQ(clip.FrameCount(), 12u);
  EXPECT_TRUE(ColorNear(clip.Rgb(0, 32, 24), 0xFF0000, kTolerance)) << std::hex << clip.Rgb(0, 32, 24);
  EXPECT_TRUE(ColorNear(clip.Rgb(5, 2, 2), 0xFF0000, kTolerance)) << std::hex << clip.Rgb(5, 2, 2);
  EXPECT_TRUE(ColorNear(clip.Rgb(6, 8, 24), 0x00C800, kTolerance)) << std::hex << clip.Rgb(6, 8, 24);
  EXPECT_TRUE(ColorNear(clip.Rgb(11, 56, 24), 0x0000FF, kTolerance)) << std::hex << clip.Rgb(11, 56, 24);
}

TEST_F(VideoEncoder, TheStreamIsConvertedWithTheMatrixItIsTaggedWith) {
  const TVideoSettings settings = Settings();
  auto encoder = CreateVideoEncoder();
  std::string error;
  ASSERT_TRUE(encoder->Open(settings, error)) << error;
  ASSERT_TRUE(encoder->AddFrame(Solid(kRed), error)) << error;
  ASSERT_TRUE(encoder->AddFrame(Solid(kBlue), error)) << error;
  ASSERT_TRUE(encoder->Finish(error)) << error;
  const auto clip = DecodeClip(settings.path);
  ASSERT_EQ(clip.FrameCount(), 2u) << clip.error;
  EXPECT_EQ(clip.colorSpace, "bt709");
  EXPECT_EQ(clip.colorRange, "tv");
  // Limited-range BT.709 luma: 16 + 219 x 0.2126 for red, 16 + 219 x 0.0722
  // for blue (BT.601 would give 81 and 41).
  EXPECT_NEAR(clip.Luma(0, 32, 24), 63, 2);
  EXPECT_NEAR(clip.Luma(1, 32, 24), 32, 2);
}

TEST_F(VideoEncoder, RowsInAnyOrderInMemoryKeepTheirPlaces) {
  // Top half red, bottom half blue, with the rows stored bottom up (an even
  // but negative step), and once more at uneven distances in one block.
  TDirectBitmap source = Solid(kBlue);
  source.Fill({0, 0, kWidth, kHeight / 2}, kRed);
  const size_t rowBytes = kWidth * 4;
  TDirectBitmap flipped(kWidth, kHeight, FormatA8R8G8B8());
  std::vector<uint8_t> block(kHeight * (rowBytes + 16));
  std::vector<uint8_t*> bottomUp, uneven;
  for (int y = 0; y < kHeight; ++y) {
    std::copy_n(source.ScanLine(y), rowBytes, flipped.ScanLine(kHeight - 1 - y));
    bottomUp.push_back(flipped.ScanLine(kHeight - 1 - y));
    uint8_t* row = block.data() + y * (rowBytes + 16) + (y % 2) * 8;
    std::copy_n(source.ScanLine(y), rowBytes, row);
    uneven.push_back(row);
  }
  const TRefBitmap bottomUpView(kWidth, kHeight, FormatA8R8G8B8(), bottomUp);
  const TRefBitmap unevenView(kWidth, kHeight, FormatA8R8G8B8(), uneven);

  const TVideoSettings settings = Settings();
  auto encoder = CreateVideoEncoder();
  std::string error;
  ASSERT_TRUE(encoder->Open(settings, error)) << error;
  ASSERT_TRUE(encoder->AddFrame(bottomUpView, error)) << error;
  ASSERT_TRUE(encoder->AddFrame(unevenView, error)) << error;
  ASSERT_TRUE(encoder->Finish(error)) << error;
  const auto clip = DecodeClip(settings.path);
  ASSERT_EQ(clip.FrameCount(), 2u) << clip.error;
  for (size_t frame = 0; frame < 2; ++frame) {
    EXPECT_TRUE(ColorNear(clip.Rgb(frame, 32, 4), 0xFF0000, kTolerance)) << frame;
    EXPECT_TRUE(ColorNear(clip.Rgb(frame, 32, 44), 0x0000FF, kTolerance)) << frame;
  }
}

TEST_F(VideoEncoder, FailuresSayWhyAndLeaveNoFile) {
  std::string error;
  // A folder that cannot hold files, even for root.
  TVideoSettings settings = Settings();
  settings.path = "/proc/zel-no-such-folder/clip.mp4";
  EXPECT_FALSE(CreateVideoEncoder()->Open(settings, error));
  EXPECT_NE(error.find("cannot write /proc/zel-no-such-folder/clip.mp4.part"), std::string::npos) << error;
  ExpectNoFiles(settings.path);

  settings = Settings();
  settings.codec = "zel-no-such-encoder";
  EXPECT_FALSE(CreateVideoEncoder()->Open(settings, error));
  EXPECT_NE(error.find("the video encoder zel-no-such-encoder is missing"), std::string::npos) << error;
  ExpectNoFiles(settings.path);

  // 4:2:0 video has one colour sample for two pixels each way.
  settings = Settings(63, 47);
  EXPECT_FALSE(CreateVideoEncoder()->Open(settings, error));
  EXPECT_NE(error.find("refuses the frame 63x47"), std::string::npos) << error;
  ExpectNoFiles(settings.path);
}

TEST_F(VideoEncoder, AnUnfinishedVideoIsTakenAway) {
  const TVideoSettings settings = Settings();
  std::string error;
  {
    auto encoder = CreateVideoEncoder();
    ASSERT_TRUE(encoder->Open(settings, error)) << error;
    for (int i = 0; i < 5; ++i) ASSERT_TRUE(encoder->AddFrame(Solid(kRed), error)) << error;
    // A frame of another size is refused; the video goes on.
    EXPECT_FALSE(encoder->AddFrame(Solid(kRed, 32, 32), error));
    EXPECT_NE(error.find("must be a 64x48 A8R8G8B8 bitmap"), std::string::npos) << error;
    EXPECT_EQ(encoder->FramesAdded(), 5);
  }
  ExpectNoFiles(settings.path);
  // A video without frames is no video.
  auto empty = CreateVideoEncoder();
  ASSERT_TRUE(empty->Open(settings, error)) << error;
  EXPECT_FALSE(empty->Finish(error));
  EXPECT_EQ(error, "the video has no frames");
  empty.reset();
  ExpectNoFiles(settings.path);
}

}  // namespace
}  // namespace zel
