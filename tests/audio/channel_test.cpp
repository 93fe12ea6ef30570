// File channels and their playing instances on a fake device: fades, the
// saved position across stops, seeks and restarts, the end schedule and the
// channel killer.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <span>
#include <utility>

#include "assertion_capture.h"
#include "audio/fake_wave_out.h"

namespace zel {
namespace {

using testing::MusicSystemFixture;
using testing::PatternSample;
using testing::Sample16;
using testing::TBytes;

// A stereo 16-bit file at 44.1 kHz: left +8820, right -8820 (8820 = 441 x 20,
// so every step of a 441-frame fade is a whole number).
TBytes ConstantStereo(int64_t frames) {
  TBytes data;
  for (int64_t i = 0; i < frames; ++i) {
    testing::Put16(data, 8820);
    testing::Put16(data, static_cast<uint16_t>(-8820));
  }
  return testing::PcmWav(testing::MakeFormat(1, 2, 44100, 16), data);
}

class ChannelTest : public MusicSystemFixture {
 protected:
  // Frames whose pattern value the first fill holds once its fade-in is over.
  void ExpectStartsAt(const std::vector<uint8_t>& fill, int64_t firstFrame) {
    for (int64_t i : {500, 1000, 10000}) {
      ASSERT_EQ(Sample16(fill, i), PatternSample(firstFrame + i)) << "frame " << i;
    }
  }
};

TEST_F(ChannelTest, FadeInRampsOverTheFadeFramesExactly) {
  AddFile("a.wav", ConstantStereo(100000));
  TChannelMusic* channel = Open("a.wav");
  ASSERT_NE(channel, nullptr);
  channel->Play(10);
  EXPECT_TRUE(channel->IsPlaying());
  EXPECT_EQ(Buffer(0).Plays.load(), 1);
  const auto fill = Buffer(0).FirstFill();
  // 10 ms at 44.1 kHz: frame k has the gain k / 441.
  for (int64_t k = 0; k < 441; ++k) {
    ASSERT_EQ(Sample16(fill, 2 * k), 20 * k) << k;
    ASSERT_EQ(Sample16(fill, 2 * k + 1), -20 * k) << k;
  }
  for (int64_t k = 441; k < 2000; ++k) ASSERT_EQ(Sample16(fill, 2 * k), 8820) << k;
  // Later data passes unchanged.
  const auto more = Buffer(0).Refill(4000);
  for (int64_t i = 0; i < 2000; i += 2) ASSERT_EQ(Sample16(more, i), 8820);
}

TEST_F(ChannelTest, FadeLengthTruncatesToWholeFrames) {
  // 10 ms at 22050 Hz is 220.5 frames: 220 are used. 8-bit samples are
  // scaled around 128 and rounded.
  TBytes data;
  for (int i = 0; i < 30000; ++i) data.push_back(i % 2 ? 28 : 228);
  AddFile("b.wav", testing::PcmWav(testing::MakeFormat(1, 1, 22050, 8), data));
  TChannelMusic* channel = Open("b.wav");
  ASSERT_NE(channel, nullptr);
  channel->Play(10);
  const auto fill = Buffer(0).FirstFill();
  for (int k = 0; k < 240; ++k) {
    const double gain = std::min(1.0, k / 220.0);
    const int offset = k % 2 ? -100 : 100;
    ASSERT_EQ(fill[k], 128 + std::lround(offset * gain)) << k;
  }
}

TEST_F(ChannelTest, StopRewritesQueuedAudioWithAFallingGainAndSchedulesTheEnd) {
  AddFile("a.wav", ConstantStereo(200000));
  TChannelMusic* channel = Open("a.wav");
  channel->Play(10);
  auto& buffer = Buffer(0);
  buffer.FirstFill();
  buffer.PlayedMs = 250;
  channel->Stop(10);
  EXPECT_FALSE(channel->IsPlaying());
  EXPECT_EQ(channel->SavedPosition(), 250);
  EXPECT_EQ(buffer.Stops.load(), 1);

  std::vector<uint8_t> queued;
  for (int i = 0; i < 1000; ++i) {
    testing::Put16(queued, 8820);
    testing::Put16(queued, static_cast<uint16_t>(-8820));
  }
  const auto faded = buffer.FadeOut(queued);
  for (int64_t k = 0; k < 441; ++k) {
    ASSERT_EQ(Sample16(faded, 2 * k), 8820 - 20 * k) << k;
    ASSERT_EQ(Sample16(faded, 2 * k + 1), -(8820 - 20 * k)) << k;
  }
  for (int64_t k = 441; k < 1000; ++k) ASSERT_EQ(Sample16(faded, 2 * k), 0) << k;
  // The gain stays at 0: later data is silent.
  const auto after = buffer.Refill(4000);
  for (int64_t i = 0; i < 2000; ++i) ASSERT_EQ(Sample16(after, i), 0);
  EXPECT_EQ(channel->InstanceCount(), 1);
}

// A memory file that runs a hook once, in the middle of a read: a stop
// that comes while a refill is decoding.
class THookedStream : public TMemoryStream {
 public:
  std::function<void()> Hook;

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override {
    if (auto hook = std::exchange(Hook, nullptr)) hook();
    return TMemoryStream::DoRead(destination);
  }
};

TEST_F(ChannelTest, AStopDuringARefillLeavesTheFadeToTheQueue) {
  const TBytes file = ConstantStereo(200000);
  THookedStream* stream = nullptr;
  System().SetStreamOpener([&](const TString&) -> std::unique_ptr<TStream> {
    auto made = std::make_unique<THookedStream>();
    made->Write(file);
    made->SetPosition(0);
    stream = made.get();
    return made;
  });
  TChannelMusic* channel = Open("a.wav");
  ASSERT_NE(channel, nullptr);
  channel->Play(0);
  auto& buffer = Buffer(0);
  buffer.FirstFill();
  stream->Hook = [&] { channel->Stop(10); };
  // The refill decoding when the stop came keeps its level: the fade is
  // written over the queue from the guard on, this data included.
  const auto refilled = buffer.Refill(4000);
  for (int64_t i = 0; i < 2000; ++i) ASSERT_EQ(Sample16(refilled, i), i % 2 ? -8820 : 8820) << i;
  const auto faded = buffer.FadeOut(TBytes(refilled.begin(), refilled.end()));
  EXPECT_EQ(Sample16(faded, 0), 8820);
  EXPECT_EQ(Sample16(faded, 2 * 440), 8820 - 20 * 440);
  EXPECT_EQ(Sample16(faded, 2 * 441), 0);
}

TEST_F(ChannelTest, EndIsScheduledAfterTheQueuedAudio) {
  AddFile("a.wav", ConstantStereo(200000));
  TChannelMusic* channel = Open("a.wav");
  channel->Play(10);
  auto& buffer = Buffer(0);
  buffer.FirstFill();
  buffer.Queued = 176400;  // one second
  channel->Stop(10);
  buffer.FadeOut(441 * 4 * 3);
  // The fade reached 0 after 441 frames (1764 bytes = 10 ms): 1000 + 10 + 20.
  WaitUntil([&] { return ChannelKiller().WaitingCount() == 1; });
  Advance(1030);
  LetKillerRun();
  EXPECT_EQ(channel->InstanceCount(), 1);
  Advance(1);
  EXPECT_TRUE(WaitUntil([&] { return channel->InstanceCount() == 0; }));
  EXPECT_FALSE(BufferAlive(0));
}

TEST_F(ChannelTest, InstanceThatQueuedNothingIsFreedAfter2020Ms) {
  AddPatternFile("p.wav", 100000);
  TChannelMusic* channel = Open("p.wav");
  channel->Play(10);
  channel->Stop(10);
  // Nothing queued, and the gain (still 0 from the fade-in) ends at the
  // first frame: the end lies 2000 + 20 ms ahead.
  Buffer(0).Refill(2);
  EXPECT_TRUE(WaitUntil([&] { return ChannelKiller().WaitingCount() == 1; }));
  Advance(2020);
  LetKillerRun();
  EXPECT_EQ(channel->InstanceCount(), 1);
  Advance(1);
  EXPECT_TRUE(WaitUntil([&] { return channel->InstanceCount() == 0; }));
}

TEST_F(ChannelTest, StopThenPlayResumesInASecondInstanceWhileTheFirstFadesOut) {
  AddPatternFile("p.wav", 200000);
  TChannelMusic* channel = Open("p.wav");
  channel->Play(10);
  ExpectStartsAt(Buffer(0).FirstFill(), 0);
  Buffer(0).PlayedMs = 1000;
  channel->Stop(10);
  channel->Play(10);
  EXPECT_EQ(channel->InstanceCount(), 2);
  EXPECT_TRUE(channel->IsPlaying());
  EXPECT_EQ(Buffer(1).Plays.load(), 1);
  ExpectStartsAt(Buffer(1).FirstFill(), 44100);
  EXPECT_EQ(channel->GetPosition(), 1000);
  // The first one still fades out on its own buffer.
  Buffer(0).FadeOut(4000);
  EXPECT_TRUE(BufferAlive(0));
  // A second Play while playing changes nothing.
  channel->Play(10);
  EXPECT_EQ(channel->InstanceCount(), 2);
}

TEST_F(ChannelTest, LateFreedOldInstancesDoNotMoveTheSavedPosition) {
  AddPatternFile("p.wav", 200000);
  TChannelMusic* channel = Open("p.wav");
  channel->Play(10);
  Buffer(0).FirstFill();
  Buffer(0).PlayedMs = 1000;
  channel->Stop(10);
  channel->Play(10);
  Buffer(1).FirstFill();
  Buffer(1).PlayedMs = 200;
  channel->Stop(10);
  EXPECT_EQ(channel->SavedPosition(), 1200);
  channel->Play(10);
  ExpectStartsAt(Buffer(2).FirstFill(), 1200 * 441 / 10);
  EXPECT_EQ(channel->InstanceCount(), 3);

  // The first two end now (10 ms of fade, nothing queued: 10 + 20 ms).
  Buffer(0).FadeOut(4000);
  Buffer(1).FadeOut(4000);
  Buffer(2).PlayedMs = 300;
  EXPECT_TRUE(WaitUntil([&] { return ChannelKiller().WaitingCount() == 2; }));
  Advance(31);
  EXPECT_TRUE(WaitUntil([&] { return channel->InstanceCount() == 1; }));
  EXPECT_EQ(channel->SavedPosition(), 1200);
  EXPECT_EQ(channel->GetPosition(), 1500);
  // Stopped again, it resumes from there.
  channel->Stop(10);
  channel->Play(10);
  ExpectStartsAt(Buffer(3).FirstFill(), 1500 * 441 / 10);
}

TEST_F(ChannelTest, SeekWhilePlayingFadesOutAndStartsAtTheNewPlace) {
  AddPatternFile("p.wav", 200000);
  TChannelMusic* channel = Open("p.wav");
  channel->Play(10);
  Buffer(0).FirstFill();
  Buffer(0).PlayedMs = 500;
  channel->Seek(2000);
  EXPECT_EQ(channel->InstanceCount(), 2);
  EXPECT_EQ(Buffer(0).Stops.load(), 1);
  EXPECT_TRUE(channel->IsPlaying());
  EXPECT_EQ(Buffer(1).Plays.load(), 1);
  // The old one fades over 10 ms (441 frames).
  std::vector<uint8_t> queued;
  for (int i = 0; i < 600; ++i) testing::Put16(queued, 8820);
  const auto faded = Buffer(0).FadeOut(queued);
  EXPECT_EQ(Sample16(faded, 0), 8820);
  EXPECT_EQ(Sample16(faded, 220), 8820 - 20 * 220);
  EXPECT_EQ(Sample16(faded, 441), 0);
  // The new one fades in over 441 frames from 2000 ms.
  const auto fill = Buffer(1).FirstFill();
  EXPECT_EQ(Sample16(fill, 0), 0);
  EXPECT_LT(std::abs(Sample16(fill, 440)), std::abs(PatternSample(88200 + 440)));
  ExpectStartsAt(fill, 88200);
  EXPECT_EQ(channel->GetPosition(), 2000);
}

TEST_F(ChannelTest, SeekWhileIdleOrStoppedPreparesWithoutPlaying) {
  AddPatternFile("p.wav", 200000);
  TChannelMusic* channel = Open("p.wav", 500);
  ASSERT_NE(channel, nullptr);
  EXPECT_EQ(channel->GetPosition(), 500);
  channel->Seek(700);
  EXPECT_EQ(channel->InstanceCount(), 1);
  EXPECT_EQ(channel->GetPosition(), 700);
  channel->Play(10);
  ExpectStartsAt(Buffer(0).FirstFill(), 700 * 441 / 10);
  Buffer(0).PlayedMs = 100;
  channel->Stop(10);
  channel->Seek(300);
  EXPECT_EQ(channel->InstanceCount(), 2);
  EXPECT_FALSE(channel->IsPlaying());
  EXPECT_EQ(Buffer(1).Plays.load(), 0);
  channel->Play(10);
  ExpectStartsAt(Buffer(1).FirstFill(), 300 * 441 / 10);
}

TEST_F(ChannelTest, EndListenerFiresOnEndOfDataOnly) {
  // Half a second: all of it fits in the first fill.
  AddPatternFile("short.wav", 22050);
  AddPatternFile("long.wav", 200000);
  TChannelMusic* shortChannel = Open("short.wav");
  TChannelMusic* longChannel = Open("long.wav");
  std::atomic<int> shortEnds{0};
  std::atomic<int> longEnds{0};
  shortChannel->SetEndListener([&](TChannelMusic&) { shortEnds.fetch_add(1); });
  longChannel->SetEndListener([&](TChannelMusic&) { longEnds.fetch_add(1); });

  shortChannel->Play(10);
  longChannel->Play(10);
  Buffer(0).FirstFill();
  Buffer(1).FirstFill();
  Buffer(0).Refill(4410);  // no data left: 50 ms handled, nothing queued
  longChannel->Stop(10);
  Buffer(1).FadeOut(4000);
  EXPECT_TRUE(WaitUntil([&] { return ChannelKiller().WaitingCount() == 2; }));
  Advance(71);
  EXPECT_TRUE(WaitUntil([&] { return shortChannel->InstanceCount() == 0 && longChannel->InstanceCount() == 0; }));
  EXPECT_EQ(shortEnds.load(), 1);
  EXPECT_EQ(longEnds.load(), 0);
}

TEST_F(ChannelTest, AnInstanceIsHandedToTheKillerOnce) {
  testing_support::TAssertionCapture assertions;
  AddPatternFile("short.wav", 22050);
  TChannelMusic* channel = Open("short.wav");
  channel->Play(10);
  auto& buffer = Buffer(0);
  buffer.FirstFill();
  buffer.Refill(4410);  // end of data: 50 + 20 ms
  buffer.Refill(4410);  // still the end: nothing new
  EXPECT_TRUE(WaitUntil([&] { return ChannelKiller().WaitingCount() == 1; }));
  Advance(60);
  // Stopped now, its fade moves the end: 10 ms of fade + 20 ms from now,
  // past the 70 ms first scheduled.
  channel->Stop(10);
  buffer.FadeOut(4000);
  LetKillerRun();
  EXPECT_EQ(ChannelKiller().WaitingCount(), 1);
  Advance(20);
  LetKillerRun();
  EXPECT_EQ(channel->InstanceCount(), 1);
  Advance(11);
  EXPECT_TRUE(WaitUntil([&] { return channel->InstanceCount() == 0; }));
  LetKillerRun();
  EXPECT_EQ(ChannelKiller().WaitingCount(), 0);
  EXPECT_TRUE(assertions.reports.empty());
}

TEST_F(ChannelTest, GainStaysWithinZeroAndOne) {
  AddFile("a.wav", ConstantStereo(200000));
  TChannelMusic* channel = Open("a.wav");
  channel->Play(0);  // no fade: full level from the first frame
  auto& buffer = Buffer(0);
  const auto fill = buffer.FirstFill();
  for (int64_t i = 0; i < 2000; i += 2) ASSERT_EQ(Sample16(fill, i), 8820) << i;
  channel->Stop(0);
  std::vector<uint8_t> queued;
  for (int i = 0; i < 100; ++i) {
    testing::Put16(queued, 8820);
    testing::Put16(queued, static_cast<uint16_t>(-8820));
  }
  // Gain 1 for the first frame, then 0 for good (never below: no inverted
  // samples).
  const auto faded = buffer.FadeOut(queued);
  EXPECT_EQ(Sample16(faded, 0), 8820);
  EXPECT_EQ(Sample16(faded, 1), -8820);
  for (int64_t i = 2; i < 200; ++i) ASSERT_EQ(Sample16(faded, i), 0) << i;
  const auto after = buffer.Refill(400);
  for (int64_t i = 0; i < 200; ++i) ASSERT_EQ(Sample16(after, i), 0) << i;
}

TEST_F(ChannelTest, FreeingAChannelWhoseInstancesNeverEndGivesUp) {
  testing_support::TAssertionCapture assertions;
  AddPatternFile("p.wav", 200000);
  TChannelMusic* channel = Open("p.wav");
  channel->Play(10);
  Buffer(0).FirstFill();
  // The device never fades (no feeder): the instance is never handed over.
  System().FreeChannel(channel);
  EXPECT_EQ(assertions.reports.size(), 1u);
  EXPECT_FALSE(BufferAlive(0));
  EXPECT_EQ(System().ChannelCount(), 0);
  EXPECT_EQ(closes.load(), opens.load());
}

TEST_F(ChannelTest, AGivenUpInstanceIsFreedByTheKillerLater) {
  testing_support::TAssertionCapture assertions;
  AddPatternFile("p.wav", 200000);
  TChannelMusic* channel = Open("p.wav");
  channel->Play(10);
  Buffer(0).FirstFill();
  channel->Stop(10);
  Buffer(0).FadeOut(4000);  // handed over: due in 30 ms, but time stands still
  EXPECT_TRUE(WaitUntil([] { return ChannelKiller().WaitingCount() == 1; }));
  System().FreeChannel(channel);
  EXPECT_EQ(assertions.reports.size(), 1u);
  EXPECT_FALSE(BufferAlive(0));
  const int closesBefore = closes.load();
  Advance(31);
  EXPECT_TRUE(WaitUntil([] { return ChannelKiller().WaitingCount() == 0; }));
  EXPECT_TRUE(WaitUntil([&] { return closes.load() == closesBefore + 1; }));
}

}  // namespace
}  // namespace zel
