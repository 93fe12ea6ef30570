// The music system: making it on a device, making channels (or not) from
// files, volumes, the composite hook and freeing everything in order.
#include "audio/music_system.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>

#include "audio/decoder_factory.h"
#include "audio/fake_wave_out.h"
#include "audio/mpeg_frames.h"
#include "log_capture.h"

namespace zel {
namespace {

using testing::MusicSystemFixture;
using testing::PatternSample;
using testing::Sample16;
using testing::TBytes;
using testing::TFakeDevice;

// The killer's thread ends with the test program.
class KillerEnvironment : public ::testing::Environment {
 public:
  void TearDown() override { ShutdownChannelKiller(); }
};
[[maybe_unused]] ::testing::Environment* const gKillerEnvironment =
    ::testing::AddGlobalTestEnvironment(new KillerEnvironment);

// Installs a device factory for the life of a scope.
class FactoryOverride {
 public:
  explicit FactoryOverride(TWaveOutDeviceFactory factory) : fPrevious(SetWaveOutDeviceFactory(std::move(factory))) {}
  ~FactoryOverride() { SetWaveOutDeviceFactory(fPrevious); }

 private:
  TWaveOutDeviceFactory fPrevious;
};

TEST(CreateMusicSystem, GivesNoneWithoutAReadyDeviceOrClock) {
  testing_support::TLogCapture log;
  {
    FactoryOverride use([](const TWaveOutDeviceChoice&) { return std::unique_ptr<TWaveOutDevice>(); });
    EXPECT_EQ(CreateMusicSystem({}), nullptr);
  }
  {
    FactoryOverride use([](const TWaveOutDeviceChoice&) { return std::make_unique<TFakeDevice>(false); });
    EXPECT_EQ(CreateMusicSystem({}), nullptr);
  }
  {
    FactoryOverride use([](const TWaveOutDeviceChoice&) { return std::make_unique<TFakeDevice>(true, true); });
    EXPECT_EQ(CreateMusicSystem({}), nullptr);
  }
  // Each failure is logged once.
  EXPECT_EQ(log.Lines().size(), 3u);
}

TEST(CreateMusicSystem, StartsTheDeviceClockOnce) {
  std::shared_ptr<testing::TDeviceRecord> record;
  FactoryOverride use([&](const TWaveOutDeviceChoice&) {
    auto device = std::make_unique<TFakeDevice>();
    record = device->Record;
    return device;
  });
  auto musicSystem = CreateMusicSystem({});
  ASSERT_NE(musicSystem, nullptr);
  EXPECT_TRUE(musicSystem->IsReady());
  EXPECT_EQ(record->TimerStarts.load(), 1);
  EXPECT_EQ(musicSystem->GetTime(), 1234.5);
  EXPECT_EQ(musicSystem->ClockMs(), 1234.5);
  EXPECT_EQ(record->TimerStarts.load(), 1);
  EXPECT_EQ(musicSystem->GetVolume(), 1.0f);
}

TEST(MusicSystem, NotReadyDeviceGivesNoChannelsAndNoClock) {
  testing_support::TLogCapture log;
  TMusicPlayerClass musicSystem(std::make_unique<TFakeDevice>(false));
  int opens = 0;
  musicSystem.SetStreamOpener([&](const TString&) -> std::unique_ptr<TStream> {
    ++opens;
    return testing::StreamOf(testing::PcmWav(testing::MakeFormat(1, 1, 44100, 16), TBytes(100, 0)));
  });
  EXPECT_FALSE(musicSystem.IsReady());
  EXPECT_EQ(musicSystem.CreateChannel(u"a.wav", -1), nullptr);
  EXPECT_EQ(opens, 0);
  EXPECT_EQ(musicSystem.GetTime(), 0);
  EXPECT_EQ(musicSystem.GetTime(), 0);
  EXPECT_EQ(log.Containing("clock"), 1);
}

using MusicSystemTest = MusicSystemFixture;

TEST_F(MusicSystemTest, UnidentifiableOrMissingFilesGiveNoChannel) {
  AddFile("junk.wav", TBytes(500, 0x41));
  EXPECT_EQ(Open("junk.wav"), nullptr);
  EXPECT_EQ(Open("missing.wav"), nullptr);
  EXPECT_EQ(opens.load(), 2);
  EXPECT_EQ(closes.load(), 1);  // the missing one never opened
  EXPECT_EQ(BufferCount(), 0u);
  EXPECT_EQ(System().ChannelCount(), 0);
}

TEST_F(MusicSystemTest, ChannelVolumeTimesMasterVolumeReachesTheDevice) {
  AddPatternFile("p.wav", 100000);
  System().SetVolume(0.5f);
  TChannelMusic* channel = Open("p.wav");
  ASSERT_NE(channel, nullptr);
  EXPECT_FLOAT_EQ(Buffer(0).Volume.load(), 0.5f);
  channel->SetVolume(0.5f);
  EXPECT_FLOAT_EQ(Buffer(0).Volume.load(), 0.25f);
  System().SetVolume(0.8f);
  EXPECT_FLOAT_EQ(channel->GetMasterVolume(), 0.8f);
  EXPECT_FLOAT_EQ(System().MasterVolume(), 0.8f);
  EXPECT_FLOAT_EQ(Buffer(0).Volume.load(), 0.4f);
  // A new instance starts at the same level.
  channel->Play(10);
  channel->Stop(10);
  channel->Play(10);
  EXPECT_FLOAT_EQ(Buffer(1).Volume.load(), 0.4f);
  EXPECT_FLOAT_EQ(channel->GetVolume(), 0.5f);
}

TEST_F(MusicSystemTest, EightBitFilesPlayInTheirOwnFormatFloatAs16Bits) {
  AddFile("8.wav", testing::PcmWav(testing::MakeFormat(1, 2, 11025, 8), TBytes(44100, 128)));
  // A float ramp, mono at 22050 Hz.
  TBytes floats;
  for (int i = 0; i < 40000; ++i) testing::Put32(floats, std::bit_cast<uint32_t>(static_cast<float>(i) / 30000.0f));
  AddFile("f.wav", testing::PcmWav(testing::MakeFormat(3, 1, 22050, 32), floats));
  ASSERT_NE(Open("8.wav"), nullptr);
  TChannelMusic* floatChannel = Open("f.wav");
  ASSERT_NE(floatChannel, nullptr);
  {
    std::lock_guard lock(fRecord->Lock);
    EXPECT_EQ(fRecord->Formats[0], testing::MakeFormat(1, 2, 11025, 8));
    EXPECT_EQ(fRecord->Formats[1], Pcm16Format(22050, 1));
  }
  // The samples come in the buffer's own rate and layout.
  floatChannel->Play(10);
  const auto fill = Buffer(1).FirstFill();
  for (int64_t frame : {1000, 20000}) {
    EXPECT_NEAR(Sample16(fill, frame), 32767.0 * static_cast<double>(frame) / 30000.0, 10) << frame;
  }
}

TEST_F(MusicSystemTest, MpegInsideWavIsReadFromItsDataChunk) {
  const TBytes data = testing::CbrFrames(1000);
  TWaveFormat format = testing::MakeFormat(85, 2, 44100, 0, 1);
  format.AvgBytesPerSec = 16000;
  const TBytes file = testing::PcmWav(format, data);
  AddFile("m.wav", file);
  int64_t seenOffset = -1;
  int64_t seenSize = -1;
  int64_t seenPosition = -1;
  auto previous = SetDecoderMaker(TMediaKind::Mpeg, [&](TStream* stream, TStringView, const TMediaInfo& info) {
    seenOffset = info.DataOffset;
    seenSize = stream->GetSize();
    seenPosition = stream->GetPosition();
    return std::unique_ptr<TWavConverter>();
  });
  // The maker gives none, so the built-in MPEG decoder plays it.
  TChannelMusic* channel = Open("m.wav");
  EXPECT_NE(channel, nullptr);
  SetDecoderMaker(TMediaKind::Mpeg, previous);
  // The stream starts at the data: the decoder sees offset 0 and only the data.
  EXPECT_EQ(seenOffset, 0);
  EXPECT_EQ(seenPosition, 0);
  EXPECT_EQ(seenSize, 1000);
  EXPECT_EQ(opens.load(), 2);
  System().FreeChannel(channel);
  EXPECT_EQ(closes.load(), 2);
}

TEST_F(MusicSystemTest, CompositeNamesUseTheHookAndOpenNoFile) {
  const TBytes file = testing::PcmWav(testing::MakeFormat(1, 1, 44100, 16), testing::PatternData16(100000));
  auto stream = testing::StreamOf(file);
  TMusicPlayer* seenSystem = nullptr;
  TCompositeSoundHooks hooks;
  hooks.Recognise = [](TStringView name, TMediaInfo& info) {
    if (name.substr(0, 4) != u"mix:") return false;
    info.Kind = TMediaKind::Composite;
    info.Format = testing::MakeFormat(1, 1, 44100, 16);
    info.DataOffset = 44;
    info.DataSize = 200000;
    info.Duration = 3000;
    return true;
  };
  hooks.MakeDecoder = [&](TMusicPlayer& musicSystem, TStringView, const TMediaInfo&) {
    seenSystem = &musicSystem;
    return std::make_unique<TWavConverter>(stream.get());
  };
  auto previous = SetCompositeSoundHooks(hooks);
  TChannelMusic* channel = Open("mix:two files", 1000);
  SetCompositeSoundHooks(previous);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(opens.load(), 0);
  EXPECT_EQ(seenSystem, &System());
  EXPECT_EQ(channel->GetLength(), 3000);
  channel->Play(10);
  const auto fill = Buffer(0).FirstFill();
  EXPECT_EQ(Sample16(fill, 1000), PatternSample(44100 + 1000));
  FreeSystem();
  EXPECT_EQ(closes.load(), 0);
}

TEST_F(MusicSystemTest, FreeingTheMusicSystemFreesItsChannels) {
  AddPatternFile("a.wav", 100000);
  AddPatternFile("b.wav", 100000);
  TChannelMusic* a = Open("a.wav");
  ASSERT_NE(Open("b.wav"), nullptr);
  a->Play(10);
  Buffer(0).FirstFill();
  a->Stop(10);
  a->Play(10);
  EXPECT_EQ(System().ChannelCount(), 2);
  EXPECT_EQ(BufferCount(), 3u);
  FreeSystem();
  for (size_t i = 0; i < 3; ++i) EXPECT_FALSE(BufferAlive(i)) << i;
  EXPECT_EQ(closes.load(), opens.load());
  EXPECT_TRUE(WaitUntil([] { return ChannelKiller().WaitingCount() == 0; }));
}

}  // namespace
}  // namespace zel
