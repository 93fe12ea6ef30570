// Sounds played end to end: the music system, its channels and decoders,
// the device's mixer and the lockstep WAV device, in virtual time. What the
// device wrote is compared frame by frame with what the files hold.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "audio/channel.h"
#include "audio/channel_killer.h"
#include "audio/lockstep_playback.h"
#include "wav_files.h"

namespace zel {
namespace {

using testing::TBytes;

struct TFrame {
  int16_t Left = 0;
  int16_t Right = 0;
  bool operator==(const TFrame&) const = default;
};

// 44.1 kHz stereo 16-bit data of the frames.
TBytes StereoData(const std::vector<TFrame>& frames) {
  TBytes bytes;
  for (const TFrame& f : frames) {
    testing::Put16(bytes, static_cast<uint16_t>(f.Left));
    testing::Put16(bytes, static_cast<uint16_t>(f.Right));
  }
  return bytes;
}

TBytes StereoWav(const std::vector<TFrame>& frames) {
  return testing::PcmWav(Pcm16Format(44100, 2), StereoData(frames));
}

// Every frame carries its own number: the low 16 bits left, the high right.
TFrame TimeCode(int64_t frame) {
  return {static_cast<int16_t>(frame & 0xFFFF), static_cast<int16_t>(frame >> 16)};
}

int64_t FrameNumber(const TFrame& frame) {
  return static_cast<uint16_t>(frame.Left) | (static_cast<int64_t>(static_cast<uint16_t>(frame.Right)) << 16);
}

std::vector<TFrame> TimeCodeFrames(int64_t count) {
  std::vector<TFrame> frames;
  for (int64_t i = 0; i < count; ++i) frames.push_back(TimeCode(i));
  return frames;
}

// A session on memory files, written to a temporary WAV file and read back.
class PlaybackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    fPath = std::filesystem::temp_directory_path() /
            ("zel_playback_" + std::to_string(::getpid()) + "_" +
             ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".wav");
    fPlayback = std::make_unique<TLockstepPlayback>(Utf8ToString(fPath.string()));
    fPlayback->MusicSystem().SetStreamOpener([this](const TString& name) -> std::unique_ptr<TStream> {
      auto found = fFiles.find(StringToUtf8(name));
      if (found == fFiles.end()) throw EFileError(2, "no such sound");
      return testing::StreamOf(found->second);
    });
  }

  void TearDown() override {
    fPlayback.reset();
    std::filesystem::remove(fPath);
  }

  static void TearDownTestSuite() { ShutdownChannelKiller(); }

  TChannelMusic& Open(const std::string& name, const TBytes& file, double startMs = -1) {
    fFiles[name] = file;
    TChannelMusic* channel = fPlayback->Open(Utf8ToString(name), startMs);
    EXPECT_NE(channel, nullptr) << name;
    if (!channel) throw std::runtime_error("no channel");
    return *channel;
  }

  // Finishes the session and reads what the device wrote.
  std::vector<TFrame> Output() {
    fPlayback->Finish();
    std::ifstream in(fPath, std::ios::binary);
    std::vector<char> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_GE(bytes.size(), 44u);
    std::vector<TFrame> frames((bytes.size() - 44) / 4);
    if (!frames.empty()) std::memcpy(frames.data(), bytes.data() + 44, frames.size() * 4);
    return frames;
  }

  std::filesystem::path fPath;
  std::map<std::string, TBytes> fFiles;
  std::unique_ptr<TLockstepPlayback> fPlayback;
};

TEST_F(PlaybackTest, AFileInTheDevicesFormatAtFullVolumeComesOutBitExact) {
  std::vector<TFrame> frames;
  for (int i = 0; i < 44100; ++i) {
    frames.push_back({static_cast<int16_t>(std::lround(20000 * std::sin(i * 0.031))),
                      static_cast<int16_t>((i * 7919) % 65536 - 32768)});
  }
  Open("a.wav", StereoWav(frames)).Play(0);
  fPlayback->LimitLength(1000);
  fPlayback->AdvanceTo(1000);
  EXPECT_EQ(Output(), frames);
}

TEST_F(PlaybackTest, VolumeAttenuatesAndLoudSoundsSaturateInTheMix) {
  const std::vector<TFrame> loud(4410, TFrame{30000, -30000});
  const std::vector<TFrame> quiet(4410, TFrame{10000, -10000});
  Open("loud1.wav", StereoWav(loud)).Play(0);
  Open("loud2.wav", StereoWav(loud)).Play(0);
  TChannelMusic& half = Open("half.wav", StereoWav(quiet));
  half.SetVolume(0.5f);
  half.Play(0);
  fPlayback->LimitLength(100);
  fPlayback->AdvanceTo(100);
  const auto output = Output();
  ASSERT_EQ(output.size(), 4410u);
  // -6 dB for the half volume: 10000 x 10^(-600 / 2000) = 5011.9; on top of
  // the two loud ones the sum saturates.
  EXPECT_EQ(output[0], (TFrame{32767, -32768}));
  EXPECT_EQ(output[4409], (TFrame{32767, -32768}));
}

TEST_F(PlaybackTest, HalfVolumeGivesTheSixDecibelAttenuation) {
  TChannelMusic& channel = Open("c.wav", StereoWav(std::vector<TFrame>(4410, TFrame{10000, -8000})));
  channel.SetVolume(0.5f);
  channel.Play(0);
  fPlayback->LimitLength(100);
  fPlayback->AdvanceTo(100);
  const auto output = Output();
  ASSERT_EQ(output.size(), 4410u);
  const double gain = std::pow(10.0, -600.0 / 2000.0);
  for (const TFrame& f : output) {
    ASSERT_EQ(f, (TFrame{static_cast<int16_t>(std::lround(10000 * gain)),
                         static_cast<int16_t>(std::lround(-8000 * gain))}));
  }
}

TEST_F(PlaybackTest, LowRateMono8BitGivesTwoEqualStereoFramesPerInputFrame) {
  // Ramps of slope 1, on which the interpolation between neighbours is
  // exact (away from the jumps back).
  TBytes data;
  for (int i = 0; i < 2205; ++i) data.push_back(static_cast<uint8_t>(20 + i % 200));
  Open("mono.wav", testing::PcmWav(testing::MakeFormat(1, 1, 22050, 8), data)).Play(0);
  fPlayback->LimitLength(100);
  fPlayback->AdvanceTo(100);
  const auto output = Output();
  ASSERT_EQ(output.size(), 4410u);
  for (const TFrame& f : output) ASSERT_EQ(f.Left, f.Right);
  // Away from the start (the converter's one-frame delay), output frame
  // 2k + 2 is input frame k, and 2k + 3 lies halfway to the next one.
  for (int k = 100; k < 2000; ++k) {
    if (k % 200 < 2 || k % 200 > 197) continue;
    ASSERT_EQ(output[2 * k + 2].Left, (data[k] - 128) * 256) << k;
    ASSERT_EQ(output[2 * k + 3].Left, ((data[k] - 128) * 256 + (data[k + 1] - 128) * 256) / 2) << k;
  }
}

TEST_F(PlaybackTest, ATenMillisecondFadeInRampsOver441Frames) {
  Open("c.wav", StereoWav(std::vector<TFrame>(8820, TFrame{20000, -20000}))).Play(10);
  fPlayback->LimitLength(100);
  fPlayback->AdvanceTo(100);
  const auto output = Output();
  ASSERT_EQ(output.size(), 4410u);
  EXPECT_EQ(output[0], (TFrame{0, 0}));
  for (int i = 1; i < 441; ++i) {
    ASSERT_GT(output[i].Left, output[i - 1].Left) << i;
    ASSERT_NEAR(output[i].Left, 20000.0 * i / 441, 2.0) << i;
  }
  for (int i = 441; i < 4410; ++i) ASSERT_EQ(output[i], (TFrame{20000, -20000})) << i;
}

TEST_F(PlaybackTest, AStopAtOneSecondEndsWithinTheGuardAndTheFade) {
  TChannelMusic& channel = Open("c.wav", StereoWav(TimeCodeFrames(3 * 44100)));
  channel.Play(0);
  fPlayback->LimitLength(1500);
  fPlayback->AdvanceTo(1000);
  channel.Stop(10);
  fPlayback->AdvanceTo(1500);
  const auto output = Output();
  ASSERT_EQ(output.size(), 66150u);
  // Untouched up to 25 ms past the stop (1,102 frames), then 441 frames of
  // fade, then silence.
  const int64_t fadeFrom = 44100 + 1102;
  for (int64_t i = 0; i < fadeFrom; ++i) ASSERT_EQ(output[i], TimeCode(i)) << i;
  for (int64_t i = fadeFrom + 441; i < 66150; ++i) ASSERT_EQ(output[i], (TFrame{0, 0})) << i;
  EXPECT_NE(output[fadeFrom + 1], TimeCode(fadeFrom + 1));
}

TEST_F(PlaybackTest, ASoundStartedAt2500MsBeginsAtFrame110250) {
  Open("c.wav", StereoWav(TimeCodeFrames(4 * 44100)), 2500).Play(0);
  fPlayback->LimitLength(200);
  fPlayback->AdvanceTo(200);
  const auto output = Output();
  ASSERT_EQ(output.size(), 8820u);
  for (int64_t i = 0; i < 8820; ++i) ASSERT_EQ(FrameNumber(output[i]), 110250 + i) << i;
}

TEST_F(PlaybackTest, StopPlayStopPlayWithin300MsResumesWhereItStopped) {
  TChannelMusic& channel = Open("c.wav", StereoWav(TimeCodeFrames(5 * 44100)));
  channel.Play(0);
  fPlayback->LimitLength(2000);
  fPlayback->AdvanceTo(500);
  channel.Stop(10);
  fPlayback->AdvanceTo(600);
  channel.Play(0);
  fPlayback->AdvanceTo(700);
  channel.Stop(10);
  fPlayback->AdvanceTo(800);
  channel.Play(0);
  fPlayback->AdvanceTo(2000);
  // The last start resumes at 500 ms + the 100 ms played from 600 to 700.
  EXPECT_NEAR(channel.GetPosition(), 600 + 1200, 2.0);
  const auto output = Output();
  ASSERT_EQ(output.size(), 88200u);
  const int64_t lastStart = 800 * 441 / 10;
  // Once the second instance's fade has sounded, only the third plays,
  // continuing from the time code where the second stopped.
  const int64_t later = lastStart + 4410;
  EXPECT_NEAR(static_cast<double>(FrameNumber(output[later])), 600 * 44.1 + 4410, 50.0);
  EXPECT_EQ(FrameNumber(output[later + 1]), FrameNumber(output[later]) + 1);
}

TEST_F(PlaybackTest, TheMusicSystemsClockIsTheDevicesTime) {
  Open("c.wav", StereoWav(TimeCodeFrames(44100))).Play(0);
  double last = 0;
  for (uint64_t ms = 10; ms <= 3000; ms += 10) {
    fPlayback->AdvanceTo(ms);
    const double now = fPlayback->MusicSystem().GetTime();
    ASSERT_GE(now, last);
    ASSERT_NEAR(now, static_cast<double>(ms), 1.0) << ms;
    last = now;
  }
}

}  // namespace
}  // namespace zel
