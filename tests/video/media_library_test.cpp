// The media library bridge: the rules it applies to what FFmpeg reports (on
// numbers), its names table, and clips made here with the ffmpeg program
// (frame rates, counts, seeking by frame, aspect and interlacing).
#include "video/ffmpeg/media_library.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavutil/pixfmt.h>
}

#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <span>
#include <stdexcept>

#include "log_capture.h"
#include "integration/run_program.h"

namespace zel {
namespace {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------
// The rules on numbers.

TRational Rate(TVideoCodec codec, TContainer container, TRational reported, TRational stream = {}, int ticks = 1) {
  return CorrectedFrameRate({codec, container, reported, stream, ticks});
}

TEST(MediaRules, RatesNearNtscBecomeExact) {
  EXPECT_EQ(Rate(TVideoCodec::Mpeg4, TContainer::Mov, {2997, 100}), (TRational{30000, 1001}));
  EXPECT_EQ(Rate(TVideoCodec::H264, TContainer::Matroska, {23976, 1000}), (TRational{24000, 1001}));
  EXPECT_EQ(Rate(TVideoCodec::H264, TContainer::Mov, {25, 1}), (TRational{25, 1}));
  // The stream's tick rate per frame, when the stated rate says nothing.
  EXPECT_EQ(Rate(TVideoCodec::H264, TContainer::Mov, {0, 0}, {60000, 1001}, 2), (TRational{30000, 1001}));
  EXPECT_EQ(Rate(TVideoCodec::None, TContainer::Other, {0, 0}), (TRational{0, 0}));
}

TEST(MediaRules, TrustedRatesAreKept) {
  for (const auto codec : {TVideoCodec::MsMpeg4V1, TVideoCodec::MsMpeg4V2, TVideoCodec::MsMpeg4V3,
                           TVideoCodec::MsVideo1}) {
    EXPECT_EQ(Rate(codec, TContainer::Mov, {2997, 100}), (TRational{2997, 100}));
  }
  EXPECT_EQ(Rate(TVideoCodec::Mpeg4, TContainer::Avi, {2997, 100}), (TRational{2997, 100}));
  EXPECT_EQ(Rate(TVideoCodec::H264, TContainer::MpegTs, {2997, 100}, {50, 1}), (TRational{2997, 100}));
  EXPECT_EQ(Rate(TVideoCodec::H264, TContainer::MpegTs, {2997, 100}, {48, 1}), (TRational{30000, 1001}));
  // Above 100 frames a second only MPEG-2 is corrected.
  EXPECT_EQ(Rate(TVideoCodec::H264, TContainer::Mpeg, {120, 1}, {50, 1}, 2), (TRational{120, 1}));
  EXPECT_EQ(Rate(TVideoCodec::Mpeg2Video, TContainer::Mpeg, {120, 1}, {50, 1}, 2), (TRational{25, 1}));
}

TEST(MediaRules, MpegContainersFallBackOnTheStreamRate) {
  for (const auto container : {TContainer::Mpeg, TContainer::Flv, TContainer::MpegTs}) {
    EXPECT_EQ(Rate(TVideoCodec::Mpeg2Video, container, {0, 0}, {50, 1}, 2), (TRational{25, 1}));
  }
  EXPECT_EQ(Rate(TVideoCodec::Mpeg2Video, TContainer::Mov, {0, 0}, {50, 1}, 2), (TRational{0, 0}));
  EXPECT_EQ(Rate(TVideoCodec::Mpeg2Video, TContainer::Mpeg, {7, 1}, {200, 1}), (TRational{7, 1}));
}

TEST(MediaRules, FrameCountsAndIndexesNeverDivideByZero) {
  EXPECT_EQ(FrameCountOf(2000000, {25, 1}), 50);
  EXPECT_EQ(FrameCountOf(10000000, {30000, 1001}), 300);
  EXPECT_EQ(FrameCountOf(10000000, {25, 0}), 0);
  EXPECT_EQ(FrameCountOf(kNoTimestamp, {25, 1}), 0);
  EXPECT_GT(FrameCountOf(INT64_MAX, {INT32_MAX, 1}), 0);

  EXPECT_EQ(FrameIndexOf(kNoTimestamp, {1, 90000}, 0, {25, 1}), -1);
  EXPECT_EQ(FrameIndexOf(100, {1, 0}, 0, {25, 1}), -1);
  EXPECT_EQ(FrameIndexOf(100, {1, 90000}, 0, {0, 0}), -1);
  EXPECT_EQ(FrameIndexOf(180000, {1, 90000}, 0, {25, 1}), 50);
  EXPECT_EQ(FrameIndexOf(180000, {1, 90000}, 1000000, {25, 1}), 25);
  EXPECT_EQ(FrameIndexOf(180000, {1, 90000}, kNoTimestamp, {25, 1}), 50);
  EXPECT_EQ(FrameIndexOf(-180000, {1, 90000}, 0, {25, 1}), 0);
  EXPECT_EQ(FrameIndexOf(INT64_MAX, {INT32_MAX, 1}, 0, {INT32_MAX, 1}), INT32_MAX);
}

TEST(MediaRules, FrameTimestampsRoundTrip) {
  EXPECT_EQ(FrameTimestamp(5, {0, 1}, {1, 90000}, 0, TContainer::Mov), kNoTimestamp);
  EXPECT_EQ(FrameTimestamp(5, {25, 1}, {0, 1}, 0, TContainer::Mov), kNoTimestamp);
  EXPECT_EQ(FrameTimestamp(50, {25, 1}, {1, 90000}, 1000000, TContainer::Mov), 270000);
  // Transport streams count from their start.
  EXPECT_EQ(FrameTimestamp(50, {25, 1}, {1, 90000}, 1000000, TContainer::MpegTs), 180000);
  for (const TRational rate : {TRational{30000, 1001}, TRational{24000, 1001}, TRational{25, 1}}) {
    for (int64_t index = 0; index < 2000; index += 7) {
      const int64_t pts = FrameTimestamp(index, rate, {1, 1000}, 40000, TContainer::Matroska);
      EXPECT_EQ(FrameIndexOf(pts, {1, 1000}, 40000, rate), index);
    }
  }
}

TEST(MediaRules, AudioTimestamps) {
  int64_t us = 0;
  EXPECT_EQ(AudioTimestamp(5000, 0, TContainer::Other, {1, 44100}, &us), 220500);
  EXPECT_EQ(us, 5000000);
  EXPECT_EQ(AudioTimestamp(5000, 500000, TContainer::Mov, {1, 1000}), 5500);
  EXPECT_EQ(AudioTimestamp(5000, 500000, TContainer::MpegTs, {1, 1000}), 5000);
  EXPECT_EQ(AudioTimestamp(5000, 0, TContainer::Other, {0, 0}, &us), kNoTimestamp);
  EXPECT_EQ(us, 5000000);
}

TEST(MediaRules, DisplayAspect) {
  EXPECT_EQ(DisplayAspectOf(1440, 1080, {0, 1}), TDisplayAspect::Wide);
  EXPECT_EQ(DisplayAspectOf(1440, 1080, {1, 1}), TDisplayAspect::Standard);
  EXPECT_EQ(DisplayAspectOf(1920, 1080, {1, 1}), TDisplayAspect::Wide);
  EXPECT_EQ(DisplayAspectOf(720, 576, {64, 45}), TDisplayAspect::Wide);
  // Not quite 4:3 or 16:9: the sample aspects of standard television.
  EXPECT_EQ(DisplayAspectOf(704, 576, {16, 15}), TDisplayAspect::Standard);
  EXPECT_EQ(DisplayAspectOf(704, 480, {40, 33}), TDisplayAspect::Wide);
  EXPECT_EQ(DisplayAspectOf(720, 480, {7, 5}), TDisplayAspect::Unknown);
  EXPECT_EQ(DisplayAspectOf(0, 0, {0, 1}), TDisplayAspect::Unknown);
  EXPECT_EQ(DisplayAspectOf(1280, 1080, {0, 1}), TDisplayAspect::Unknown);
}

TEST(MediaRules, InterlaceTags) {
  EXPECT_TRUE(InterlaceFromTag("Orvane_ITFA")->TopFieldFirst);
  EXPECT_TRUE(InterlaceFromTag("Orvane_ITFB")->BottomFieldFirst());
  EXPECT_FALSE(InterlaceFromTag("orvane_itfa").has_value());
  EXPECT_FALSE(InterlaceFromTag("").has_value());
}

TEST(MediaNames, ContainersCodecsAndPixelFormats) {
  EXPECT_EQ(ContainerFromFormatName("avi"), TContainer::Avi);
  EXPECT_EQ(ContainerFromFormatName("matroska,webm"), TContainer::Matroska);
  EXPECT_EQ(ContainerFromFormatName("mov,mp4,m4a,3gp,3g2,mj2"), TContainer::Mov);
  EXPECT_EQ(ContainerFromFormatName("mpeg"), TContainer::Mpeg);
  EXPECT_EQ(ContainerFromFormatName("mpegvideo"), TContainer::Mpeg);
  EXPECT_EQ(ContainerFromFormatName("flv"), TContainer::Flv);
  EXPECT_EQ(ContainerFromFormatName("mpegts"), TContainer::MpegTs);
  EXPECT_EQ(ContainerFromFormatName("asf"), TContainer::Asf);
  EXPECT_EQ(ContainerFromFormatName("matroska"), TContainer::Other);
  EXPECT_EQ(ContainerFromFormatName("ogg"), TContainer::Other);

  // The numbers the frame-rate rules test.
  EXPECT_EQ(static_cast<int>(VideoCodecFromFFmpeg(AV_CODEC_ID_MPEG2VIDEO)), 2);
  EXPECT_EQ(static_cast<int>(VideoCodecFromFFmpeg(AV_CODEC_ID_MPEG4)), 13);
  EXPECT_EQ(static_cast<int>(VideoCodecFromFFmpeg(AV_CODEC_ID_MSMPEG4V1)), 15);
  EXPECT_EQ(static_cast<int>(VideoCodecFromFFmpeg(AV_CODEC_ID_MSMPEG4V2)), 16);
  EXPECT_EQ(static_cast<int>(VideoCodecFromFFmpeg(AV_CODEC_ID_MSMPEG4V3)), 17);
  EXPECT_EQ(static_cast<int>(VideoCodecFromFFmpeg(AV_CODEC_ID_H264)), 28);
  EXPECT_EQ(static_cast<int>(VideoCodecFromFFmpeg(AV_CODEC_ID_MSVIDEO1)), 47);
  EXPECT_EQ(VideoCodecFromFFmpeg(AV_CODEC_ID_GIF), TVideoCodec::Gif);
  EXPECT_EQ(static_cast<int>(VideoCodecFromFFmpeg(AV_CODEC_ID_VP9)), kOtherCodecBase + AV_CODEC_ID_VP9);
  // Each known FFmpeg codec has a number of its own.
  std::vector<int> seen;
  for (int id = 1; id <= AV_CODEC_ID_GIF; ++id) {
    const int ours = static_cast<int>(VideoCodecFromFFmpeg(id));
    if (ours >= kOtherCodecBase) continue;
    EXPECT_EQ(std::count(seen.begin(), seen.end(), ours), 0) << avcodec_get_name(static_cast<AVCodecID>(id));
    seen.push_back(ours);
  }
  EXPECT_GE(seen.size(), 90u);

  EXPECT_EQ(PixelFormatFromFFmpeg(AV_PIX_FMT_YUV420P), TMediaPixelFormat::Yuv420P);
  EXPECT_EQ(PixelFormatFromFFmpeg(AV_PIX_FMT_RGB24), TMediaPixelFormat::Rgb24);
  EXPECT_TRUE(IsRgb32(PixelFormatFromFFmpeg(AV_PIX_FMT_BGRA)));
  EXPECT_EQ(FFmpegPixelFormat(TMediaPixelFormat::Rgb32), AV_PIX_FMT_BGRA);
  EXPECT_EQ(FFmpegPixelFormat(TMediaPixelFormat::Bgra), AV_PIX_FMT_BGRA);
  EXPECT_EQ(FFmpegPixelFormat(PixelFormatFromFFmpeg(AV_PIX_FMT_NV12)), AV_PIX_FMT_NV12);
  EXPECT_EQ(FFmpegPixelFormat(static_cast<TMediaPixelFormat>(5)), AV_PIX_FMT_NONE);
}

TEST(MediaBridge, ReferenceCounting) {
  testing_support::TLogCapture log;
  // The process's reference, when an earlier test made the bridge.
  TFFMpegDll::ReleaseProcessReference();
  ASSERT_EQ(TFFMpegDll::ReferenceCount(), 0);
  {
    TFFMpegDllRef first;
    EXPECT_EQ(TFFMpegDll::ReferenceCount(), 2);  // with the process's own
    TFFMpegDllRef second;
    EXPECT_EQ(&*first, &*second);
    EXPECT_EQ(TFFMpegDll::ReferenceCount(), 3);
  }
  EXPECT_EQ(TFFMpegDll::ReferenceCount(), 1);
  TFFMpegDll::ReleaseProcessReference();
  TFFMpegDll::ReleaseProcessReference();
  EXPECT_EQ(TFFMpegDll::ReferenceCount(), 0);
  TFFMpegDll::IgnoreLibraryFile(u"ffmpeg.dll");
  TFFMpegDll::IgnoreLibraryFile(u"..\\Common\\FFmpeg.dll");
  EXPECT_EQ(log.Lines().size(), 1u);
}

// ---------------------------------------------------------------------------
// Clips.

class MediaClips : public testing::Test {
 protected:
  static bool HaveFFmpeg() {
    static const bool have = testing_support::HaveProgram("ffmpeg");
    return have;
  }
  void SetUp() override {
    if (!HaveFFmpeg()) GTEST_SKIP() << "the ffmpeg program is not installed";
    const std::string test = testing::UnitTest::GetInstance()->current_test_info()->name();
    fRoot = fs::temp_directory_path() / ("zel_media_" + std::to_string(getpid()) + "_" + test);
    fs::create_directories(fRoot);
  }
  void TearDown() override {
    for (auto& handle : fHandles) fDll->CloseMediaFile(std::move(handle));
    if (!fRoot.empty()) fs::remove_all(fRoot);
  }

  // Makes a clip with the ffmpeg program.
  std::string Make(const std::string& file, const std::string& arguments) {
    const std::string path = (fRoot / file).string();
    const std::string command = "ffmpeg -v error -nostdin -y " + arguments + " '" + path + "'";
    if (std::system(command.c_str()) != 0) throw std::runtime_error("ffmpeg failed: " + command);
    return path;
  }
  // Makes a clip and opens it.
  TMediaHandle* Open(const std::string& file, const std::string& arguments) {
    fStreams.push_back(TBufferedFileStream::OpenRead(Make(file, arguments)));
    auto handle = fDll->OpenMediaFile(Utf8ToString(file), *fStreams.back());
    fHandles.push_back(std::move(handle));
    return fHandles.back().get();
  }
  static std::string Source(const std::string& size, const std::string& rate, int frames) {
    return "-f lavfi -i testsrc=s=" + size + ":r=" + rate + " -frames:v " + std::to_string(frames);
  }
  // Frames whose luma is flat at 16 + 5 x their number.
  static std::string Numbered(int frames) {
    return "-f lavfi -i color=c=black:s=64x48:r=25 -vf format=yuv420p,geq=lum='16+N*5':cb=128:cr=128 -frames:v " +
           std::to_string(frames);
  }
  static int NumberOf(const TMediaFrameBuffer& buffer) {
    double sum = 0;
    for (int y = 0; y < buffer.Height; ++y) {
      for (int x = 0; x < buffer.Width; ++x) sum += buffer.Planes[0][y * buffer.Strides[0] + x];
    }
    return static_cast<int>(std::lround((sum / (buffer.Width * buffer.Height) - 16) / 5));
  }

  TFFMpegDllRef fDll;
  fs::path fRoot;
  std::vector<std::unique_ptr<TStream>> fStreams;
  std::vector<std::unique_ptr<TMediaHandle>> fHandles;
};

TEST_F(MediaClips, TallPicturesAreShownAt1080Lines) {
  TMediaHandle* handle = Open("tall.mpg", Source("1920x1088", "25", 2) + " -c:v mpeg2video -q:v 20");
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(handle->Width, 1920);
  EXPECT_EQ(handle->Height, 1080);
  EXPECT_EQ(handle->Data->Container, TContainer::Mpeg);
  EXPECT_EQ(handle->Codec, TVideoCodec::Mpeg2Video);
  auto decoded = fDll->AllocBuffer(*handle, handle->PixelFormat);
  ASSERT_GE(fDll->GetNextVideoFrame(*handle, *decoded), 0);
  EXPECT_EQ(decoded->Height, 1088);
  for (const auto format : {TMediaPixelFormat::Yuv420P, TMediaPixelFormat::Rgb24, TMediaPixelFormat::Bgra}) {
    auto converted = fDll->AllocBufferWithData(*handle, format);
    ASSERT_NE(converted, nullptr);
    EXPECT_EQ(converted->Height, 1080);
    EXPECT_TRUE(fDll->ConvertFrame(*handle, *decoded, *converted));
  }
}

TEST_F(MediaClips, FrameRatesAndCounts) {
  TMediaHandle* mp4 = Open("ntsc.mp4", Source("64x48", "2997/100", 30) + " -c:v mpeg4");
  ASSERT_NE(mp4, nullptr);
  EXPECT_EQ(mp4->FrameRate, (TRational{30000, 1001}));
  EXPECT_EQ(mp4->FrameCount, 30);
  TMediaHandle* ts = Open("ntsc.ts", Source("64x48", "30000/1001", 10) + " -c:v mpeg2video");
  ASSERT_NE(ts, nullptr);
  EXPECT_EQ(ts->FrameRate, (TRational{30000, 1001}));
  EXPECT_EQ(ts->Data->Container, TContainer::MpegTs);
  EXPECT_EQ(ts->StartTime, 0);
  for (const std::string file : {"count.mp4", "count.mkv", "count.avi"}) {
    const std::string codec = file == "count.avi" ? " -c:v mpeg4" : " -c:v libx264 -preset ultrafast";
    TMediaHandle* handle = Open(file, Source("64x48", "25", 50) + codec);
    ASSERT_NE(handle, nullptr) << file;
    EXPECT_EQ(handle->FrameRate, (TRational{25, 1})) << file;
    EXPECT_EQ(handle->FrameCount, 50) << file;
    EXPECT_EQ(handle->StartTime, 0) << file;
  }
}

TEST_F(MediaClips, SeekingToAFrameThenDecodingGivesThatFrame) {
  const std::string h264 = " -c:v libx264 -preset ultrafast -qp 0 -g 8 -keyint_min 8 -sc_threshold 0";
  for (const std::string file : {"seek.mp4", "seek.mkv", "seek.avi", "seek.ts"}) {
    const std::string codec = file == "seek.avi"  ? " -c:v mpeg4 -q:v 1 -g 8"
                              : file == "seek.ts" ? " -c:v mpeg2video -q:v 2 -g 8"
                                                  : h264;
    TMediaHandle* handle = Open(file, Numbered(40) + codec);
    ASSERT_NE(handle, nullptr) << file;
    auto buffer = fDll->AllocBuffer(*handle, handle->PixelFormat);
    for (int expected = 0; expected < 40; ++expected) {
      ASSERT_EQ(fDll->GetNextVideoFrame(*handle, *buffer), expected) << file;
      ASSERT_EQ(NumberOf(*buffer), expected) << file;
    }
    EXPECT_EQ(fDll->GetNextVideoFrame(*handle, *buffer), -1) << file;
    for (const int wanted : {13, 0, 39, 22, 5, 17}) {
      ASSERT_TRUE(fDll->SeekFrame(*handle, wanted)) << file;
      if (file == "seek.mp4" || file == "seek.mkv") {
        EXPECT_EQ(fDll->CurrentFrameIndex(*handle), wanted / 8 * 8) << file;
      }
      int32_t index = -1;
      while ((index = fDll->GetNextVideoFrame(*handle, *buffer)) >= 0 && index < wanted) {
      }
      EXPECT_EQ(index, wanted) << file;
      EXPECT_EQ(NumberOf(*buffer), wanted) << file;
    }
  }
}

TEST_F(MediaClips, DisplayAspect) {
  const std::string h264 = " -c:v libx264 -preset ultrafast";
  EXPECT_EQ(fDll->DisplayAspect(*Open("43.mp4", Source("320x240", "25", 1) + " -aspect 4:3" + h264)),
            TDisplayAspect::Standard);
  EXPECT_EQ(fDll->DisplayAspect(*Open("169.mp4", Source("320x240", "25", 1) + " -aspect 16:9" + h264)),
            TDisplayAspect::Wide);
  TMediaHandle* hdv = Open("hdv.mp4", Source("1440x1080", "25", 1) + " -vf setsar=0" + h264);
  EXPECT_EQ(hdv->SampleAspect, (TRational{0, 1}));
  EXPECT_EQ(fDll->DisplayAspect(*hdv), TDisplayAspect::Wide);
}

TEST_F(MediaClips, InterlacingFromTheCommentTagNeedsNoDecoding) {
  TMediaHandle* bottom = Open("b.mkv", Source("64x48", "25", 3) + " -c:v libx264 -metadata comment=Orvane_ITFB");
  const TInterlace b = fDll->Interlacing(*bottom);
  EXPECT_TRUE(b.Interlaced);
  EXPECT_TRUE(b.BottomFieldFirst());
  EXPECT_EQ(bottom->Data->FirstFrameIndex, -1);
  TMediaHandle* top = Open("t.mp4", Source("64x48", "25", 3) + " -c:v libx264 -metadata comment=Orvane_ITFA");
  const TInterlace t = fDll->Interlacing(*top);
  EXPECT_TRUE(t.Interlaced && t.TopFieldFirst);
}

TEST_F(MediaClips, InterlacingFromDecodedFrames) {
  const std::string mpeg2 = " -c:v mpeg2video -flags +ilme+ildct";
  TMediaHandle* top = Open("top.mpg", Source("64x48", "25", 5) + mpeg2 + " -top 1");
  TInterlace found = fDll->Interlacing(*top);
  EXPECT_TRUE(found.Interlaced && found.TopFieldFirst);
  EXPECT_GE(top->Data->FirstFrameIndex, 0);
  // The decoder is back at the first frame.
  auto buffer = fDll->AllocBuffer(*top, top->PixelFormat);
  EXPECT_EQ(fDll->GetNextVideoFrame(*top, *buffer), top->Data->FirstFrameIndex);

  found = fDll->Interlacing(*Open("bottom.ts", Source("64x48", "25", 5) + mpeg2 + " -top 0"));
  EXPECT_TRUE(found.BottomFieldFirst());
  EXPECT_FALSE(fDll->Interlacing(*Open("progressive.mpg", Source("64x48", "25", 5) + " -c:v mpeg2video")).Interlaced);
  // Matroska counts as progressive whatever its frames say.
  EXPECT_FALSE(fDll->Interlacing(*Open("fields.mkv", Source("64x48", "25", 5) + mpeg2 + " -top 1")).Interlaced);
}

// A stream whose reads fail after its first bytes.
class TFailingStream : public TMemoryStream {
 protected:
  int32_t DoRead(std::span<uint8_t> destination) override {
    constexpr int64_t kReadable = 64;
    if (GetPosition() >= kReadable) throw std::runtime_error("disk gone");
    return TMemoryStream::DoRead(destination.first(std::min<size_t>(destination.size(), kReadable - GetPosition())));
  }
};

// Pictures are the player's own decoders' work: the media library opens
// none, not even a malformed JPEG XL that crashes FFmpeg's external
// decoder (found by fuzzing).
TEST_F(MediaClips, SinglePicturesAreNotOpened) {
  EXPECT_EQ(Open("still.png", "-f lavfi -i testsrc=s=64x48:d=0.1 -frames:v 1"), nullptr);
  EXPECT_EQ(Open("still.jpg", "-f lavfi -i testsrc=s=64x48:d=0.1 -frames:v 1"), nullptr);
  const uint8_t jpegXl[] = {0xff, 0x0a, 0x0a, 0x06, 0x6f, 0x22, 0x74, 0x2d, 0x74, 0x4f, 0xff, 0xfa, 0x00, 0x4f, 0x00,
                            0x00, 0x00, 0x06, 0x00, 0x00, 0x00, 0x00, 0x60, 0xf0, 0x00, 0x02, 0x56, 0x1a, 0x00, 0x00,
                            0x08, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x4f, 0x00, 0x00};
  TMemoryStream stream;
  stream.Write(std::span<const uint8_t>(jpegXl));
  EXPECT_EQ(fDll->OpenMediaFile(u"picture.jxl", stream), nullptr);
}

TEST_F(MediaClips, FilesWithoutSoundOrPictureAreRefused) {
  const std::string subtitles = (fRoot / "text.srt").string();
  std::ofstream(subtitles) << "1\n00:00:00,000 --> 00:00:01,000\nhello\n";
  EXPECT_EQ(Open("text.mkv", "-i '" + subtitles + "'"), nullptr);

  TMemoryStream noise;
  std::vector<uint8_t> bytes(5000);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i * 7919 >> 3);
  noise.Write(bytes);
  EXPECT_EQ(fDll->OpenMediaFile(u"noise.bin", noise), nullptr);

  // The stream's failure reaches FFmpeg as an error and the log once.
  testing_support::TLogCapture log;
  TFailingStream failing;
  auto clip = TBufferedFileStream::OpenRead(Make("video.mp4", Source("64x48", "25", 5) + " -c:v mpeg4"));
  failing.LoadFrom(*clip);
  EXPECT_EQ(fDll->OpenMediaFile(u"failing.mp4", failing), nullptr);
  const auto lines = log.Lines();
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& line) { return line.find("disk gone") != std::string::npos; }),
            1);
  clip->SetPosition(0);
  TMemoryStream whole;
  whole.LoadFrom(*clip);
  EXPECT_NE(fDll->OpenMediaFile(u"whole.mp4", whole), nullptr);
}

// The picture limit holds while the file is being opened too: FFmpeg
// decodes a first frame there to learn the stream's pixel format.
TEST_F(MediaClips, PicturesBeyondTheLimitAreNeverDecoded) {
  const std::string path = Make("big.mkv", "-f lavfi -i color=c=red:s=1200x1200 -frames:v 1 -c:v png");
  struct TDefaultLimits {
    ~TDefaultLimits() { TFFMpegDll::SetLimits({}); }
  } restore;
  auto stream = TBufferedFileStream::OpenRead(path);
  {
    TFFMpegDll::SetLimits({0, 0, 1000 * 1000});
    testing_support::TLogCapture log;
    EXPECT_EQ(fDll->OpenMediaFile(u"big.mkv", *stream), nullptr);
    // FFmpeg's decoder refused the picture instead of decoding it.
    EXPECT_GE(log.Containing("max pixel"), 1);
  }
  // Within the limit the same file has its picture.
  TFFMpegDll::SetLimits({0, 0, 2000 * 2000});
  auto handle = fDll->OpenMediaFile(u"big.mkv", *stream);
  ASSERT_NE(handle, nullptr);
  EXPECT_GE(handle->VideoStream, 0);
  EXPECT_EQ(handle->Width, 1200);
  auto buffer = fDll->AllocBuffer(*handle, handle->PixelFormat);
  EXPECT_EQ(fDll->GetNextVideoFrame(*handle, *buffer), 0);
  EXPECT_EQ(buffer->Width, 1200);
  fHandles.push_back(std::move(handle));
}

}  // namespace
}  // namespace zel
