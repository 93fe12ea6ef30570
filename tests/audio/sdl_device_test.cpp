#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <thread>
#include <vector>

#include "audio/sdl/sdl_wave_out_device.h"
#include "log_capture.h"

namespace zel {
namespace {

using testing_support::TLogCapture;

// Frame i of the stream: left i + 1, right -(i + 1), never silence.
class TCountingClient : public TWaveOutBufferClient {
 public:
  int64_t Frames = 0;
  void FirstFill(TWaveOutBuffer&, uint8_t* data, int64_t length) override { Write(data, length); }
  void FadeOutQueued(TWaveOutBuffer&, uint8_t*, int64_t) override {}
  void Refill(TWaveOutBuffer&, uint8_t* data, int64_t length) override { Write(data, length); }

 private:
  void Write(uint8_t* data, int64_t length) {
    for (int64_t at = 0; at < length; at += 4, ++Frames) {
      const int16_t frame[2] = {static_cast<int16_t>(Frames % 30000 + 1), static_cast<int16_t>(-(Frames % 30000 + 1))};
      std::memcpy(data + at, frame, 4);
    }
  }
};

// Sets the SDL audio variables for one test and clears them after.
class SdlWaveOutDevice : public ::testing::Test {
 protected:
  std::filesystem::path Raw =
      std::filesystem::temp_directory_path() / ("zel_sdl_disk_" + std::to_string(::getpid()) + ".raw");

  void TearDown() override {
    ::unsetenv("SDL_AUDIODRIVER");
    ::unsetenv("SDL_DISKAUDIOFILE");
    ::unsetenv("SDL_DISKAUDIODELAY");
    std::filesystem::remove(Raw);
  }
};

TEST_F(SdlWaveOutDevice, UnknownDriverLeavesTheDeviceNotReady) {
  ::setenv("SDL_AUDIODRIVER", "nonexistent", 1);
  TLogCapture log;
  TSdlWaveOutDevice device;
  EXPECT_FALSE(device.IsReady());
  ASSERT_EQ(log.Starting("!!!").size(), 1u);
  // Each SDL call is written before and after.
  EXPECT_EQ(log.Count("> SDL_InitSubSystem(SDL_INIT_AUDIO)"), 1);
  EXPECT_EQ(log.Count("< SDL_InitSubSystem(SDL_INIT_AUDIO)"), 1);
  TCountingClient client;
  EXPECT_FALSE(device.CreateBuffer(GlobalOutputFormat(), client));
  EXPECT_THROW(device.CreateTimer(), EAudioDevice);
}

TEST_F(SdlWaveOutDevice, DiskDriverPlaysTheBuffersFrames) {
  ::setenv("SDL_AUDIODRIVER", "disk", 1);
  ::setenv("SDL_DISKAUDIOFILE", Raw.c_str(), 1);
  ::setenv("SDL_DISKAUDIODELAY", "0", 1);
  TCountingClient client;
  {
    TSdlWaveOutDevice device;
    if (!device.IsReady()) GTEST_SKIP() << "SDL's disk audio driver does not open here";
    // A buffer never played goes without its feeder ever having run.
    TCountingClient idleClient;
    auto idle = device.CreateBuffer(GlobalOutputFormat(), idleClient);
    ASSERT_TRUE(idle);
    idle.reset();
    EXPECT_EQ(idleClient.Frames, 0);
    auto buffer = device.CreateBuffer(GlobalOutputFormat(), client);
    ASSERT_TRUE(buffer);
    EXPECT_EQ(device.BufferCount(), 1);
    buffer->Play();
    // The disk driver runs far faster than real time; a second of sound
    // comes out of the first fill alone.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (buffer->PlayedTime() < 1000 && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    ASSERT_GE(buffer->PlayedTime(), 1000);
    EXPECT_GT(device.ConsumedFrames(), 44100);
    buffer.reset();
  }
  std::ifstream in(Raw, std::ios::binary);
  std::vector<int16_t> samples;
  int16_t pair[2];
  while (in.read(reinterpret_cast<char*>(pair), 4)) samples.insert(samples.end(), pair, pair + 2);
  size_t start = 0;
  while (start < samples.size() && samples[start] == 0 && samples[start + 1] == 0) start += 2;
  ASSERT_GE(samples.size() - start, 2u * 44100) << "the buffer's frames are not in the output";
  for (int64_t i = 0; i < 44100; ++i) {
    ASSERT_EQ(samples[start + 2 * i], i % 30000 + 1) << i;
    ASSERT_EQ(samples[start + 2 * i + 1], -(i % 30000 + 1)) << i;
  }
}

}  // namespace
}  // namespace zel
