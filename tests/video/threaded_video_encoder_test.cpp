// The encoder that works on a thread of its own: frames reach the wrapped
// encoder complete and in order, its failures come back to the caller, and
// a real clip made through it reads back.
#include "video/threaded_video_encoder.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "imaging/bitmap.h"
#include "imaging/color.h"
#include "imaging/pixel_format.h"
#include "video/clip_reader.h"

namespace zel {
namespace {

// Keeps the first pixel of every frame; fails at a chosen frame.
class TRecordingEncoder : public TVideoEncoder {
 public:
  TRecordingEncoder(std::vector<TColor>& seen, int failAt, bool& finished)
      : fSeen(seen), fFailAt(failAt), fFinished(finished) {}
  bool Open(const TVideoSettings&, std::string&) override { return true; }
  bool AddFrame(const TBitmap& frame, std::string& error) override {
    if (static_cast<int>(fSeen.size()) == fFailAt) {
      error = "the disk is full";
      return false;
    }
    fSeen.push_back(frame.PixelColor(0, 0) & 0xFFFFFF);
    return true;
  }
  bool Finish(std::string&) override { return fFinished = true; }
  int64_t FramesAdded() const override { return static_cast<int64_t>(fSeen.size()); }

 private:
  std::vector<TColor>& fSeen;
  int fFailAt;
  bool& fFinished;
};

TVideoSettings Small() {
  TVideoSettings settings;
  settings.width = 8;
  settings.height = 6;
  return settings;
}

TEST(ThreadedVideoEncoder, FramesArriveCopiedAndInOrder) {
  std::vector<TColor> seen;
  bool finished = false;
  TThreadedVideoEncoder encoder(std::make_unique<TRecordingEncoder>(seen, -1, finished), 2);
  std::string error;
  ASSERT_TRUE(encoder.Open(Small(), error)) << error;
  // One bitmap, repainted after each call: the encoder must have taken a
  // copy, whatever it has got to.
  TDirectBitmap frame(8, 6, FormatA8R8G8B8());
  for (uint32_t i = 0; i < 20; ++i) {
    frame.Fill(frame.BoundsRect(), MakeColor(i, 255 - i, 7));
    ASSERT_TRUE(encoder.AddFrame(frame, error)) << error;
    frame.Fill(frame.BoundsRect(), MakeColor(0, 0, 0));
  }
  EXPECT_EQ(encoder.FramesAdded(), 20);
  ASSERT_TRUE(encoder.Finish(error)) << error;
  EXPECT_TRUE(finished);
  ASSERT_EQ(seen.size(), 20u);
  for (uint32_t i = 0; i < 20; ++i) EXPECT_EQ(seen[i], MakeColor(i, 255 - i, 7) & 0xFFFFFF) << i;
}

TEST(ThreadedVideoEncoder, TheEncodersFailureComesBack) {
  std::vector<TColor> seen;
  bool finished = false;
  TThreadedVideoEncoder encoder(std::make_unique<TRecordingEncoder>(seen, 3, finished), 2);
  std::string error;
  ASSERT_TRUE(encoder.Open(Small(), error)) << error;
  TDirectBitmap frame(8, 6, FormatA8R8G8B8());
  // The failure of the fourth frame surfaces at a later call at the latest.
  bool refused = false;
  for (int i = 0; i < 10 && !refused; ++i) refused = !encoder.AddFrame(frame, error);
  if (refused) {
    EXPECT_EQ(error, "the disk is full");
  }
  error.clear();
  EXPECT_FALSE(encoder.Finish(error));
  EXPECT_EQ(error, "the disk is full");
  EXPECT_FALSE(finished);
  EXPECT_EQ(seen.size(), 3u);
  // A frame of another size is refused at once.
  TThreadedVideoEncoder other(std::make_unique<TRecordingEncoder>(seen, -1, finished));
  ASSERT_TRUE(other.Open(Small(), error));
  EXPECT_FALSE(other.AddFrame(TDirectBitmap(4, 4, FormatA8R8G8B8()), error));
  EXPECT_NE(error.find("must be a 8x6 A8R8G8B8 bitmap"), std::string::npos) << error;
}

TEST(ThreadedVideoEncoder, ARealClipThroughTheThreadReadsBack) {
  namespace fs = std::filesystem;
  const fs::path root = fs::temp_directory_path() / ("zel_threaded_video_" + std::to_string(getpid()));
  fs::create_directories(root);
  TVideoSettings settings;
  settings.path = (root / "clip.mp4").string();
  settings.width = 32;
  settings.height = 32;
  settings.fps = 25;
  settings.preset = "ultrafast";
  {
    TThreadedVideoEncoder encoder(CreateVideoEncoder());
    std::string error;
    ASSERT_TRUE(encoder.Open(settings, error)) << error;
    TDirectBitmap frame(32, 32, FormatA8R8G8B8());
    for (int i = 0; i < 10; ++i) {
      frame.Fill(frame.BoundsRect(), i < 5 ? MakeColor(255, 255, 255) : MakeColor(0, 0, 0));
      ASSERT_TRUE(encoder.AddFrame(frame, error)) << error;
    }
    ASSERT_TRUE(encoder.Finish(error)) << error;
  }
  const auto clip = testing_support::DecodeClip(settings.path);
  ASSERT_EQ(clip.FrameCount(), 10u) << clip.error;
  EXPECT_TRUE(testing_support::ColorNear(clip.Rgb(4, 16, 16), 0xFFFFFF, 8)) << std::hex << clip.Rgb(4, 16, 16);
  EXPECT_TRUE(testing_support::ColorNear(clip.Rgb(5, 16, 16), 0x000000, 8)) << std::hex << clip.Rgb(5, 16, 16);
  fs::remove_all(root);
}

}  // namespace
}  // namespace zel
