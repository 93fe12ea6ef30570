#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <optional>
#include <thread>
#include <vector>

#include "audio/mixer_buffer.h"
#include "audio/mixer_device.h"
#include "audio/null_wave_out_device.h"
#include "audio/wav_file_device.h"
#include "audio/wave_out.h"
#include "core/clock.h"
#include "log_capture.h"

namespace zel {
namespace {

using testing_support::TLogCapture;

// The value a pattern buffer gives channel c of frame i: never 0, so that
// a frame of silence is never mistaken for one of the pattern.
int16_t PatternSample(int64_t frame, int channel) {
  const auto value = static_cast<int16_t>(frame % 30000 + 1);
  return channel == 0 ? value : static_cast<int16_t>(-value);
}

// A client that writes 16-bit frames carrying their index (or a constant),
// or 8-bit frames of a slow ramp, and records every region it is handed as
// ring offsets.
class TRecordingClient : public TWaveOutBufferClient {
 public:
  struct TRegion {
    char Kind;  // 'F'irst fill, 'Q' fade-out of queued data, 'R'efill
    int64_t Offset;
    int64_t Length;
  };

  explicit TRecordingClient(const TWaveFormat& format) : fFormat(format) {}

  // With a constant every 16-bit sample is it (the right channel negated).
  std::optional<int16_t> Constant;
  int64_t FramesWritten = 0;
  std::vector<TRegion> Regions;

  void FirstFill(TWaveOutBuffer&, uint8_t* data, int64_t length) override {
    fRing = data;
    Write(data, length);
    Regions.push_back({'F', 0, length});
  }
  void FadeOutQueued(TWaveOutBuffer&, uint8_t* data, int64_t length) override {
    Regions.push_back({'Q', data - fRing, length});
  }
  void Refill(TWaveOutBuffer&, uint8_t* data, int64_t length) override {
    Regions.push_back({'R', data - fRing, length});
    Write(data, length);
  }

  std::vector<TRegion> Of(char kind) const {
    std::vector<TRegion> result;
    for (const TRegion& region : Regions) {
      if (region.Kind == kind) result.push_back(region);
    }
    return result;
  }

 private:
  void Write(uint8_t* data, int64_t length) {
    const int64_t frameBytes = fFormat.BlockAlign;
    ASSERT_EQ(length % frameBytes, 0);
    for (int64_t at = 0; at < length; at += frameBytes, ++FramesWritten) {
      if (fFormat.BitsPerSample == 8) {
        for (int c = 0; c < fFormat.Channels; ++c) data[at + c] = static_cast<uint8_t>(64 + FramesWritten / 8 % 128);
        continue;
      }
      for (int c = 0; c < fFormat.Channels; ++c) {
        int16_t sample = PatternSample(FramesWritten, c);
        if (Constant) sample = c == 0 ? *Constant : static_cast<int16_t>(-*Constant);
        std::memcpy(data + at + 2 * c, &sample, 2);
      }
    }
  }

  TWaveFormat fFormat;
  uint8_t* fRing = nullptr;
};

// A mixing device driven entirely by the test: no threads.
class TTestDevice : public TMixerWaveOutDevice {
 public:
  bool Ready = true;
  bool IsReady() override { return Ready; }
  using TMixerWaveOutDevice::RefillAll;

  std::vector<int16_t> MixFrames(int64_t frames) {
    std::vector<int16_t> out(static_cast<size_t>(2 * frames), 12345);
    Mix(out.data(), frames);
    return out;
  }

 protected:
  bool Lockstep() const override { return true; }
};

TWaveFormat Pcm8Format(uint32_t rate, uint16_t channels) {
  TWaveFormat format = Pcm16Format(rate, channels);
  format.BitsPerSample = 8;
  format.BlockAlign = channels;
  format.AvgBytesPerSec = rate * channels;
  return format;
}

struct TPlayingBuffer {
  TRecordingClient Client;
  std::unique_ptr<TWaveOutBuffer> Buffer;

  TPlayingBuffer(TMixerWaveOutDevice& device, const TWaveFormat& format, std::optional<int16_t> constant = {})
      : Client(format) {
    Client.Constant = constant;
    Buffer = device.CreateBuffer(format, Client);
  }
  TMixerWaveOutBuffer& Mixer() { return static_cast<TMixerWaveOutBuffer&>(*Buffer); }
};

// ---------------------------------------------------------------------------
// Volumes.

TEST(WaveOutVolume, AttenuationIsSixDecibelsPerHalvingAndClamped) {
  EXPECT_EQ(VolumeToAttenuation(1.0f), 0);
  EXPECT_EQ(VolumeToAttenuation(2.0f), 0);
  EXPECT_EQ(VolumeToAttenuation(0.5f), -600);
  EXPECT_EQ(VolumeToAttenuation(0.25f), -1200);
  EXPECT_EQ(VolumeToAttenuation(0.7f), static_cast<int32_t>(std::lround(-600 * std::log2(1 / 0.7))));
  EXPECT_EQ(VolumeToAttenuation(0.0f), kSilentAttenuation);
  EXPECT_EQ(VolumeToAttenuation(-0.5f), kSilentAttenuation);
  EXPECT_EQ(VolumeToAttenuation(1e-9f), kSilentAttenuation);
  EXPECT_EQ(VolumeToAttenuation(std::numeric_limits<float>::quiet_NaN()), kSilentAttenuation);

  EXPECT_EQ(AttenuationToVolume(0), 1.0f);
  EXPECT_EQ(AttenuationToVolume(kSilentAttenuation), 0.0f);
  EXPECT_FLOAT_EQ(AttenuationToVolume(-600), 0.5f);
  EXPECT_FLOAT_EQ(AttenuationToVolume(-1800), 0.125f);

  EXPECT_EQ(AttenuationGain(0), 1.0);
  EXPECT_EQ(AttenuationGain(kSilentAttenuation), 0.0);
  EXPECT_EQ(AttenuationGain(kSilentAttenuation - 5), 0.0);
  EXPECT_DOUBLE_EQ(AttenuationGain(-2000), 0.1);
  EXPECT_DOUBLE_EQ(AttenuationGain(-600), std::pow(10.0, -0.3));
}

TEST(WaveOutVolume, BufferStoresTheVolumeAndItsAttenuation) {
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat());
  ASSERT_TRUE(b.Buffer);
  EXPECT_EQ(b.Buffer->GetVolume(), 1.0f);  // never set: from attenuation 0
  b.Buffer->SetVolume(2.0f);
  EXPECT_EQ(b.Mixer().Attenuation(), 0);
  EXPECT_EQ(b.Buffer->GetVolume(), 2.0f);
  b.Buffer->SetVolume(0.5f);
  EXPECT_EQ(b.Mixer().Attenuation(), -600);
  EXPECT_EQ(b.Buffer->GetVolume(), 0.5f);
  b.Buffer->SetVolume(0.0f);
  EXPECT_EQ(b.Mixer().Attenuation(), kSilentAttenuation);
  b.Buffer->SetVolume(std::numeric_limits<float>::quiet_NaN());
  EXPECT_EQ(b.Mixer().Attenuation(), kSilentAttenuation);
  EXPECT_EQ(b.Buffer->GetVolume(), 0.0f);
}

// ---------------------------------------------------------------------------
// Buffer geometry and creation.

TEST(MixerBuffer, SizesAreWholeFramesOfTwoSeconds) {
  TTestDevice device;
  TPlayingBuffer stereo(device, GlobalOutputFormat());
  EXPECT_EQ(stereo.Mixer().Size(), 352800);
  EXPECT_EQ(stereo.Mixer().HalfSize(), 176400);
  EXPECT_EQ(stereo.Buffer->FirstFillSize(), 264600);
  EXPECT_EQ(stereo.Mixer().StopGuardBytes(), 1102 * 4);

  TPlayingBuffer odd(device, Pcm16Format(11025, 1));  // 3/4 of the ring is 16537.5 frames
  EXPECT_EQ(odd.Mixer().Size(), 44100);
  EXPECT_EQ(odd.Buffer->FirstFillSize(), 16537 * 2);

  TPlayingBuffer surround(device, Pcm16Format(48000, 6));
  EXPECT_EQ(surround.Mixer().Size(), 2 * 48000 * 12);
  EXPECT_EQ(surround.Buffer->FirstFillSize() % 12, 0);
  EXPECT_EQ(device.BufferCount(), 3);
}

TEST(MixerDevice, CreatesBuffersOnlyForPlayableFormatsWhenReady) {
  TTestDevice device;
  TRecordingClient client(GlobalOutputFormat());
  EXPECT_TRUE(device.CreateBuffer(Pcm8Format(22050, 1), client));
  EXPECT_TRUE(device.CreateBuffer(Pcm16Format(8000, 6), client));
  TWaveFormat wide = Pcm16Format(44100, 2);
  wide.BitsPerSample = 24;
  wide.BlockAlign = 6;
  EXPECT_FALSE(device.CreateBuffer(wide, client));
  EXPECT_FALSE(device.CreateBuffer(Pcm16Format(44100, 3), client));
  EXPECT_FALSE(device.CreateBuffer(Pcm16Format(0, 2), client));
  // A rate no card plays would make a ring of gigabytes.
  EXPECT_TRUE(device.CreateBuffer(Pcm16Format(TMixerWaveOutBuffer::kMaxRate, 1), client));
  EXPECT_FALSE(device.CreateBuffer(Pcm16Format(TMixerWaveOutBuffer::kMaxRate + 1, 1), client));
  TWaveFormat floating = GlobalOutputFormat();
  floating.FormatTag = static_cast<uint16_t>(TWaveFormatTag::IeeeFloat);
  EXPECT_FALSE(device.CreateBuffer(floating, client));
  EXPECT_EQ(device.BufferCount(), 0);  // the two made above are gone already

  device.Ready = false;
  EXPECT_FALSE(device.CreateBuffer(GlobalOutputFormat(), client));
  TLogCapture log;
  EXPECT_THROW(device.CreateTimer(), EAudioDevice);
  EXPECT_EQ(log.Starting("!!!").size(), 1u);
}

TEST(MixerDevice, NullDeviceIsNeverReady) {
  TNullWaveOutDevice device;
  TRecordingClient client(GlobalOutputFormat());
  EXPECT_FALSE(device.IsReady());
  EXPECT_FALSE(device.CreateBuffer(GlobalOutputFormat(), client));
  EXPECT_THROW(device.CreateTimer(), EAudioDevice);
}

// ---------------------------------------------------------------------------
// Mixing.

TEST(MixerBuffer, OutputFormatAtFullVolumeIsBitExact) {
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat());
  EXPECT_EQ(device.MixFrames(10), std::vector<int16_t>(20, 0));  // not playing yet
  b.Buffer->Play();
  const auto out = device.MixFrames(3000);
  for (int64_t i = 0; i < 3000; ++i) {
    ASSERT_EQ(out[2 * i], PatternSample(i, 0)) << i;
    ASSERT_EQ(out[2 * i + 1], PatternSample(i, 1)) << i;
  }
  EXPECT_EQ(device.ConsumedFrames(), 3010);
}

TEST(MixerBuffer, VolumeScalesAndRounds) {
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat(), int16_t{10000});
  b.Buffer->SetVolume(0.5f);
  b.Buffer->Play();
  const auto expected = static_cast<int16_t>(std::lround(10000 * std::pow(10.0, -600 / 2000.0)));
  const auto out = device.MixFrames(500);
  for (size_t i = 0; i < out.size(); i += 2) {
    ASSERT_EQ(out[i], expected);
    ASSERT_EQ(out[i + 1], -expected);
  }
  b.Buffer->SetVolume(0.0f);
  EXPECT_EQ(device.MixFrames(100), std::vector<int16_t>(200, 0));
}

TEST(MixerDevice, LoudBuffersSaturate) {
  TTestDevice device;
  TPlayingBuffer a(device, GlobalOutputFormat(), int16_t{30000});
  TPlayingBuffer b(device, GlobalOutputFormat(), int16_t{25000});
  TPlayingBuffer quiet(device, GlobalOutputFormat(), int16_t{-1000});
  a.Buffer->Play();
  b.Buffer->Play();
  auto out = device.MixFrames(100);
  for (size_t i = 0; i < out.size(); i += 2) {
    ASSERT_EQ(out[i], 32767);
    ASSERT_EQ(out[i + 1], -32768);
  }
  // The sum is clamped once, at the end, not per buffer.
  quiet.Buffer->Play();
  b.Buffer->SetVolume(0.0f);
  out = device.MixFrames(100);
  EXPECT_EQ(out[0], 29000);
  EXPECT_EQ(out[1], -29000);
}

TEST(MixerBuffer, ConvertsOtherFormats) {
  TTestDevice device;
  TPlayingBuffer b(device, Pcm8Format(22050, 1));
  b.Buffer->Play();
  const int64_t queued = b.Buffer->QueuedBytes();
  const auto out = device.MixFrames(4410);
  // Two output frames per input frame, both channels equal.
  EXPECT_NEAR(static_cast<double>(queued - b.Buffer->QueuedBytes()), 2205, 2);
  EXPECT_NEAR(b.Buffer->PlayedTime(), 100, 0.1);
  int nonZero = 0;
  for (size_t i = 0; i < out.size(); i += 2) {
    ASSERT_EQ(out[i], out[i + 1]) << i;
    nonZero += out[i] != 0;
  }
  EXPECT_GT(nonZero, 4000);
}

TEST(MixerBuffer, ConversionDoesNotDependOnTheMixBlocks) {
  // The same input mixed in odd small pieces and in whole blocks.
  for (const TWaveFormat& format : {Pcm8Format(22050, 1), Pcm16Format(48000, 6), Pcm16Format(32000, 2)}) {
    TTestDevice small, large;
    TPlayingBuffer a(small, format), b(large, format);
    a.Buffer->Play();
    b.Buffer->Play();
    std::vector<int16_t> pieces;
    while (pieces.size() < 2 * 5000) {
      const auto piece = small.MixFrames(7);
      pieces.insert(pieces.end(), piece.begin(), piece.end());
    }
    pieces.resize(2 * 5000);
    ASSERT_EQ(pieces, large.MixFrames(5000)) << format.SamplesPerSec;
  }
}

// ---------------------------------------------------------------------------
// The ring.

TEST(MixerBuffer, QueuedBytesAndPlayedTime) {
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat());
  EXPECT_EQ(b.Buffer->QueuedBytes(), 0);
  EXPECT_EQ(b.Buffer->PlayedTime(), 0);
  b.Mixer().RefillStep();  // before Play: nothing
  EXPECT_TRUE(b.Client.Regions.empty());
  b.Buffer->Play();
  EXPECT_EQ(b.Buffer->QueuedBytes(), 264600);
  device.MixFrames(4410);
  EXPECT_EQ(b.Buffer->PlayedTime(), 100);
  EXPECT_EQ(b.Buffer->QueuedBytes(), 264600 - 17640);
  b.Mixer().RefillStep();  // fills the free room (less than half the ring), in two parts
  const auto refills = b.Client.Of('R');
  ASSERT_EQ(refills.size(), 2u);
  EXPECT_EQ(refills[0].Offset, 264600);
  EXPECT_EQ(refills[0].Length, 352800 - 264600);
  EXPECT_EQ(refills[1].Offset, 0);
  EXPECT_EQ(refills[1].Length, 17640);
  EXPECT_EQ(b.Buffer->QueuedBytes(), 352800);
  b.Mixer().RefillStep();  // a full ring: nothing
  EXPECT_EQ(b.Client.Of('R').size(), 2u);
  device.MixFrames(44100);
  b.Mixer().RefillStep();  // at most half the ring
  EXPECT_EQ(b.Client.Of('R').back().Length, 176400);
  EXPECT_EQ(b.Buffer->PlayedTime(), 1100);
}

TEST(MixerBuffer, RefillsAcrossTheWrapKeepFrameOrder) {
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat());
  b.Buffer->Play();
  int64_t frame = 0;
  for (int step = 0; step < 60; ++step) {  // 6 seconds in 100 ms steps
    device.RefillAll();
    ASSERT_LE(b.Buffer->QueuedBytes(), b.Mixer().Size());
    const auto out = device.MixFrames(4410);
    for (int64_t i = 0; i < 4410; ++i, ++frame) {
      ASSERT_EQ(out[2 * i], PatternSample(frame, 0)) << frame;
      ASSERT_EQ(out[2 * i + 1], PatternSample(frame, 1)) << frame;
    }
  }
  // Some refill came in two parts: up to the ring's end, then from 0.
  const auto refills = b.Client.Of('R');
  bool split = false;
  for (size_t i = 1; i < refills.size(); ++i) {
    const auto& previous = refills[i - 1];
    if (refills[i].Offset == 0 && previous.Offset + previous.Length == b.Mixer().Size()) split = true;
  }
  EXPECT_TRUE(split);
}

TEST(MixerBuffer, UnderrunMixesSilenceNotStaleData) {
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat());
  b.Buffer->Play();
  // Go round the ring once, so that all of it holds sound.
  for (int step = 0; step < 30; ++step) {
    device.RefillAll();
    device.MixFrames(4410);
  }
  TLogCapture log;
  const int64_t queuedFrames = b.Buffer->QueuedBytes() / 4;
  ASSERT_GT(queuedFrames, 44100);
  const int64_t next = b.Client.FramesWritten - queuedFrames;
  auto out = device.MixFrames(queuedFrames + 1000);
  EXPECT_EQ(out[0], PatternSample(next, 0));
  EXPECT_EQ(out[2 * (queuedFrames - 1)], PatternSample(next + queuedFrames - 1, 0));
  for (int64_t i = queuedFrames; i < queuedFrames + 1000; ++i) {
    ASSERT_EQ(out[2 * i], 0) << i;
    ASSERT_EQ(out[2 * i + 1], 0) << i;
  }
  EXPECT_EQ(device.MixFrames(3000), std::vector<int16_t>(6000, 0));
  EXPECT_EQ(log.Containing("underrun"), 1);  // one episode, one line
  EXPECT_EQ(b.Buffer->QueuedBytes(), 0);

  // Fed again, it carries on where the data left off.
  device.RefillAll();
  out = device.MixFrames(10);
  EXPECT_EQ(out[0], PatternSample(next + queuedFrames, 0));
  EXPECT_EQ(log.Containing("underrun"), 1);
  device.MixFrames(44100 + 1);
  EXPECT_EQ(log.Containing("underrun"), 2);
}

// ---------------------------------------------------------------------------
// Stopping.

// Buffers come and go on one thread (as the channel killer frees them)
// while another pumps the device: a buffer is never refilled or mixed once
// its destruction began. Run under the sanitizers, a slip shows.
TEST(MixerDevice, BuffersFreedWhileTheDevicePumps) {
  TTestDevice device;
  std::atomic<bool> done{false};
  std::thread pump([&] {
    while (!done.load()) {
      device.RefillAll();
      device.MixFrames(64);
    }
  });
  for (int i = 0; i < 300; ++i) {
    TPlayingBuffer playing(device, i % 2 ? Pcm8Format(22050, 1) : GlobalOutputFormat());
    playing.Buffer->Play();
    std::this_thread::yield();
  }
  done = true;
  pump.join();
  EXPECT_EQ(device.BufferCount(), 0);
}

TEST(MixerBuffer, StopFadesFromTheGuardToWhatWasWritten) {
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat());
  b.Buffer->Play();
  device.MixFrames(1000);
  b.Buffer->Stop();
  EXPECT_TRUE(b.Client.Of('Q').empty());  // only on the feeder's next step
  b.Mixer().RefillStep();
  const auto fades = b.Client.Of('Q');
  ASSERT_EQ(fades.size(), 1u);
  const int64_t from = 1000 * 4 + b.Mixer().StopGuardBytes();
  EXPECT_EQ(fades[0].Offset, from);
  EXPECT_EQ(fades[0].Length, b.Buffer->FirstFillSize() - from);
  // The fade comes before the refill, and a stop is handled once.
  EXPECT_EQ(b.Client.Regions[1].Kind, 'Q');
  EXPECT_EQ(b.Client.Regions[2].Kind, 'R');
  b.Mixer().RefillStep();
  EXPECT_EQ(b.Client.Of('Q').size(), 1u);
}

TEST(MixerBuffer, StopFadeWrapsTheRing) {
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat());
  b.Buffer->Play();
  // Consumed just short of the ring's end, written well beyond it.
  device.MixFrames(44100);
  device.RefillAll();
  device.MixFrames(44100 - 2000);
  device.RefillAll();
  const int64_t consumed = 2 * 44100 * 4 - 2000 * 4;
  const int64_t written = consumed + b.Buffer->QueuedBytes();
  b.Buffer->Stop();
  b.Mixer().RefillStep();
  const auto fades = b.Client.Of('Q');
  ASSERT_EQ(fades.size(), 2u);
  const int64_t from = consumed + b.Mixer().StopGuardBytes();
  EXPECT_EQ(fades[0].Offset, from);
  EXPECT_EQ(fades[0].Offset + fades[0].Length, b.Mixer().Size());
  EXPECT_EQ(fades[1].Offset, 0);
  EXPECT_EQ(fades[0].Length + fades[1].Length, written - from);
}

TEST(MixerBuffer, StopWithLittleQueuedFadesNothing) {
  for (const int64_t extraFrames : {0, 1}) {
    TTestDevice device;
    TPlayingBuffer b(device, GlobalOutputFormat());
    b.Buffer->Play();
    const int64_t guardFrames = b.Mixer().StopGuardBytes() / 4;
    device.MixFrames(b.Buffer->FirstFillSize() / 4 - guardFrames - extraFrames);
    b.Buffer->Stop();
    b.Mixer().RefillStep();
    const auto fades = b.Client.Of('Q');
    if (extraFrames == 0) {
      EXPECT_TRUE(fades.empty());  // exactly 25 ms queued
    } else {
      ASSERT_EQ(fades.size(), 1u);
      EXPECT_EQ(fades[0].Length, 4);
    }
  }
  // Nothing queued at all.
  TTestDevice device;
  TPlayingBuffer b(device, GlobalOutputFormat());
  b.Buffer->Play();
  device.MixFrames(b.Buffer->FirstFillSize() / 4 + 100);
  b.Buffer->Stop();
  b.Mixer().RefillStep();
  EXPECT_TRUE(b.Client.Of('Q').empty());
}

// ---------------------------------------------------------------------------
// The WAV file device.

class WavFileDevice : public ::testing::Test {
 protected:
  std::filesystem::path Path = std::filesystem::temp_directory_path() /
                               ("zel_out_" + std::to_string(::getpid()) + "_" +
                                ::testing::UnitTest::GetInstance()->current_test_info()->name() + ".wav");
  TVirtualClock VirtualClock{5000};
  TClockOverride Override{VirtualClock};

  void TearDown() override { std::filesystem::remove(Path); }

  std::vector<uint8_t> ReadFile() {
    std::ifstream in(Path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  }
  static uint32_t Le32(const std::vector<uint8_t>& b, size_t at) {
    return b[at] | b[at + 1] << 8 | b[at + 2] << 16 | static_cast<uint32_t>(b[at + 3]) << 24;
  }
  static int16_t Sample(const std::vector<uint8_t>& b, int64_t index) {
    return static_cast<int16_t>(b[44 + 2 * index] | b[44 + 2 * index + 1] << 8);
  }
};

TEST_F(WavFileDevice, WritesTheFramesOfTheClocksTimeAndAValidHeader) {
  {
    TWavFileWaveOutDevice device(Utf8ToString(Path.string()));
    EXPECT_TRUE(device.IsReady());
    EXPECT_EQ(device.Origin(), 5000u);
    device.Pump();
    EXPECT_EQ(device.FramesWritten(), 0);
    VirtualClock.Advance(1234);
    device.Pump();
    EXPECT_EQ(device.FramesWritten(), 54419);  // floor(1234 x 44.1)
    device.Pump();
    EXPECT_EQ(device.FramesWritten(), 54419);
    VirtualClock.Advance(1);
    device.Pump();
    EXPECT_EQ(device.FramesWritten(), 54463);  // floor(1235 x 44.1)
    device.Finish();
    const auto bytes = ReadFile();
    ASSERT_EQ(bytes.size(), 44u + 54463 * 4);
    EXPECT_EQ(Le32(bytes, 40), 54463u * 4);
    device.RenderFrames(37);  // goes on after Finish
  }
  const auto bytes = ReadFile();
  const int64_t frames = 54463 + 37;
  ASSERT_EQ(bytes.size(), 44u + frames * 4);
  EXPECT_EQ(std::string(bytes.begin(), bytes.begin() + 4), "RIFF");
  EXPECT_EQ(Le32(bytes, 4), 36 + frames * 4);
  EXPECT_EQ(std::string(bytes.begin() + 8, bytes.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(Le32(bytes, 16), 16u);
  EXPECT_EQ(Le32(bytes, 20), 1u | 2u << 16);  // PCM, two channels
  EXPECT_EQ(Le32(bytes, 24), 44100u);
  EXPECT_EQ(Le32(bytes, 28), 176400u);
  EXPECT_EQ(Le32(bytes, 32), 4u | 16u << 16);  // block align, bits
  EXPECT_EQ(std::string(bytes.begin() + 36, bytes.begin() + 40), "data");
  EXPECT_EQ(Le32(bytes, 40), frames * 4);
}

TEST_F(WavFileDevice, PlaysBuffersRefilledInLockstep) {
  {
    TWavFileWaveOutDevice device(Utf8ToString(Path.string()));
    TPlayingBuffer b(device, GlobalOutputFormat());
    VirtualClock.Advance(100);
    device.Pump();  // 4410 frames of silence before Play
    b.Buffer->Play();
    for (int step = 0; step < 500; ++step) {  // 5 seconds: beyond the first fill and the ring
      VirtualClock.Advance(10);
      device.Pump();
    }
    EXPECT_EQ(device.FramesWritten(), 5100 * 441 / 10);
    EXPECT_GT(b.Client.Of('R').size(), 100u);
  }
  const auto bytes = ReadFile();
  for (int64_t i = 0; i < 4410; ++i) ASSERT_EQ(Sample(bytes, 2 * i), 0) << i;
  for (int64_t i = 0; i < 500 * 441; ++i) {
    ASSERT_EQ(Sample(bytes, 2 * (4410 + i)), PatternSample(i, 0)) << i;
    ASSERT_EQ(Sample(bytes, 2 * (4410 + i) + 1), PatternSample(i, 1)) << i;
  }
}

TEST_F(WavFileDevice, PollsItsClockAsItRenders) {
  TWavFileWaveOutDevice device(Utf8ToString(Path.string()));
  auto timer = device.CreateTimer();
  ASSERT_TRUE(dynamic_cast<TDeviceTimerChannel*>(timer.get()));
  timer->Start();
  for (int step = 0; step < 100; ++step) {
    VirtualClock.Advance(10);
    device.Pump();
  }
  // Without the polls the clock would still wait for the device's first
  // position and read 0.
  EXPECT_NEAR(timer->GetTime(), 1000, 20);
  timer.reset();
  VirtualClock.Advance(10);
  device.Pump();  // a destroyed clock is no longer polled
}

TEST_F(WavFileDevice, CreationFailsWhenTheFileCannotBeWritten) {
  TLogCapture log;
  const auto folder = std::filesystem::temp_directory_path() / "zel_no_such_folder_for_output" / "x.wav";
  EXPECT_THROW(TWavFileWaveOutDevice device(Utf8ToString(folder.string())), EAudioDevice);
  EXPECT_EQ(log.Starting("!!!").size(), 1u);
}

// ---------------------------------------------------------------------------
// The factory.

TEST_F(WavFileDevice, FactoryMakesTheChosenDeviceAndCanBeReplaced) {
  TWaveOutDeviceChoice choice;
  choice.Kind = TWaveOutDeviceKind::Null;
  EXPECT_FALSE(CreateWaveOutDevice(choice)->IsReady());
  choice.Kind = TWaveOutDeviceKind::WavFile;
  choice.Path = Utf8ToString(Path.string());
  auto device = CreateWaveOutDevice(choice);
  ASSERT_TRUE(dynamic_cast<TWavFileWaveOutDevice*>(device.get()));
  device.reset();
  EXPECT_EQ(ReadFile().size(), 44u);

  int calls = 0;
  auto previous = SetWaveOutDeviceFactory([&](const TWaveOutDeviceChoice& c) -> std::unique_ptr<TWaveOutDevice> {
    ++calls;
    EXPECT_EQ(c.Kind, TWaveOutDeviceKind::WavFile);
    return std::make_unique<TNullWaveOutDevice>();
  });
  EXPECT_TRUE(dynamic_cast<TNullWaveOutDevice*>(CreateWaveOutDevice(choice).get()));
  EXPECT_EQ(calls, 1);
  SetWaveOutDeviceFactory(previous);
  EXPECT_TRUE(dynamic_cast<TWavFileWaveOutDevice*>(CreateWaveOutDevice(choice).get()));
  EXPECT_EQ(calls, 1);
}

}  // namespace
}  // namespace zel
