// A sound device for the music system's tests: its buffers never play by
// themselves. The test runs their fill callbacks when it wants, on its own
// thread, and sets what they report as queued and played. Also the fixture
// that serves in-memory WAV files to a music system on that device, in
// virtual time.
#pragma once

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include "audio/channel.h"
#include "audio/channel_killer.h"
#include "audio/music_system.h"
#include "audio/wav_files.h"
#include "audio/wave_out.h"
#include "core/clock.h"

namespace zel::testing {

class TFakeBuffer;

// What the device saw, held outside it so that the test can look after
// the music system (and the device with it) is gone.
struct TDeviceRecord {
  std::mutex Lock;
  std::vector<TFakeBuffer*> Buffers;  // in the order made; null once freed
  std::vector<TWaveFormat> Formats;
  // On Stop, a buffer rewrites a stretch of its queued audio at once, as a
  // device's feeder would.
  std::atomic<bool> AutoFade{false};
  std::atomic<int> TimerStarts{0};
};

class TFakeBuffer : public TWaveOutBuffer {
 public:
  TFakeBuffer(std::shared_ptr<TDeviceRecord> record, size_t index, const TWaveFormat& format,
              TWaveOutBufferClient& client)
      : fRecord(std::move(record)), fIndex(index), fFormat(format), fClient(client) {}
  ~TFakeBuffer() override {
    std::lock_guard lock(fRecord->Lock);
    fRecord->Buffers[fIndex] = nullptr;
  }

  float GetVolume() override { return Volume.load(); }
  void SetVolume(float volume) override { Volume.store(volume); }
  void Play() override { Plays.fetch_add(1); }
  void Stop() override {
    Stops.fetch_add(1);
    if (fRecord->AutoFade.load()) FadeOut(fFormat.AvgBytesPerSec / 10);
  }
  int64_t FirstFillSize() override {
    const int64_t size = int64_t{fFormat.AvgBytesPerSec} * 2 * 3 / 4;
    return size / fFormat.BlockAlign * fFormat.BlockAlign;
  }
  int64_t QueuedBytes() override { return Queued.load(); }
  double PlayedTime() override { return PlayedMs.load(); }
  const TWaveFormat& Format() const override { return fFormat; }

  // The callbacks, run here. Each returns what the client wrote.
  std::vector<uint8_t> FirstFill() {
    std::vector<uint8_t> data(static_cast<size_t>(FirstFillSize()), 0xEE);
    fClient.FirstFill(*this, data.data(), static_cast<int64_t>(data.size()));
    return data;
  }
  std::vector<uint8_t> Refill(int64_t bytes) {
    std::vector<uint8_t> data(static_cast<size_t>(bytes), 0xEE);
    fClient.Refill(*this, data.data(), bytes);
    return data;
  }
  // Rewrites queued audio (given) with the fade-out.
  std::vector<uint8_t> FadeOut(std::vector<uint8_t> queued) {
    fClient.FadeOutQueued(*this, queued.data(), static_cast<int64_t>(queued.size()));
    return queued;
  }
  std::vector<uint8_t> FadeOut(int64_t bytes) { return FadeOut(std::vector<uint8_t>(static_cast<size_t>(bytes), 0)); }

  std::atomic<float> Volume{-1.0f};
  std::atomic<int> Plays{0};
  std::atomic<int> Stops{0};
  std::atomic<int64_t> Queued{0};
  std::atomic<double> PlayedMs{0};

 private:
  std::shared_ptr<TDeviceRecord> fRecord;
  size_t fIndex;
  TWaveFormat fFormat;
  TWaveOutBufferClient& fClient;
};

class TFakeTimer : public TTimerChannel {
 public:
  explicit TFakeTimer(std::shared_ptr<TDeviceRecord> record) : fRecord(std::move(record)) {}
  double GetTime() override { return Time; }
  void SetTime(double ms) override { Time = ms; }
  bool IsRunning() override { return fRunning; }
  void Start() override {
    fRunning = true;
    fRecord->TimerStarts.fetch_add(1);
  }
  void Stop() override { fRunning = false; }
  double Time = 1234.5;

 private:
  std::shared_ptr<TDeviceRecord> fRecord;
  bool fRunning = false;
};

class TFakeDevice : public TWaveOutDevice {
 public:
  explicit TFakeDevice(bool ready = true, bool timerRaises = false)
      : Record(std::make_shared<TDeviceRecord>()), fReady(ready), fTimerRaises(timerRaises) {}

  bool IsReady() override { return fReady; }
  std::unique_ptr<TWaveOutBuffer> CreateBuffer(const TWaveFormat& format, TWaveOutBufferClient& client) override {
    if (!fReady) return nullptr;
    std::lock_guard lock(Record->Lock);
    auto buffer = std::make_unique<TFakeBuffer>(Record, Record->Buffers.size(), format, client);
    Record->Buffers.push_back(buffer.get());
    Record->Formats.push_back(format);
    return buffer;
  }
  std::unique_ptr<TTimerChannel> CreateTimer() override {
    if (fTimerRaises || !fReady) throw std::runtime_error("no clock");
    return std::make_unique<TFakeTimer>(Record);
  }

  std::shared_ptr<TDeviceRecord> Record;

 private:
  bool fReady;
  bool fTimerRaises;
};

// The clock lives for the whole process: the channel killer's thread may be
// reading it when a test ends.
inline TVirtualClock& ManualClock() {
  static TVirtualClock clock(100000, false);
  return clock;
}
// Samples of a 16-bit mono test file: frame i holds a value that tells i.
inline int16_t PatternSample(int64_t frame) { return static_cast<int16_t>(frame % 30000); }

inline TBytes PatternData16(int64_t frames) {
  TBytes data;
  for (int64_t i = 0; i < frames; ++i) Put16(data, static_cast<uint16_t>(PatternSample(i)));
  return data;
}

inline int16_t Sample16(const std::vector<uint8_t>& data, int64_t index) {
  int16_t value;
  std::memcpy(&value, data.data() + index * 2, 2);
  return value;
}

// A music system on a fake device, files served from memory, time standing
// still until the test moves it.
class MusicSystemFixture : public ::testing::Test {
 protected:
  MusicSystemFixture() {
    ManualClock().Set(100000);
    fPreviousClock = SetClock(&ManualClock());
    auto device = std::make_unique<TFakeDevice>();
    fRecord = device->Record;
    fSystem = std::make_unique<TMusicPlayerClass>(std::move(device));
    fSystem->SetStreamOpener([this](const TString& name) -> std::unique_ptr<TStream> {
      opens.fetch_add(1);
      auto found = files.find(name);
      if (found == files.end()) throw std::runtime_error("no such file");
      return StreamOf(found->second);
    });
    fSystem->SetStreamCloser([this](std::unique_ptr<TStream> stream) {
      closes.fetch_add(1);
      stream.reset();
    });
  }
  ~MusicSystemFixture() override {
    FreeSystem();
    SetClock(fPreviousClock);
  }

  // Frees the music system the way a device would let it go: stops fade at
  // once, and time runs (fast) while the channels wait for the killer.
  void FreeSystem() {
    if (!fSystem) return;
    fRecord->AutoFade = true;
    std::atomic<bool> done{false};
    std::thread pump([&done] {
      while (!done.load()) {
        ManualClock().Advance(20);
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
    });
    fSystem.reset();
    done = true;
    pump.join();
  }

  TMusicPlayerClass& System() { return *fSystem; }
  TChannelMusic* Open(const char* name, double start = -1) { return fSystem->CreateChannel(AsciiToString(name), start); }
  void AddFile(const char* name, const TBytes& bytes) { files[AsciiToString(name)] = bytes; }
  // A mono 16-bit file at 44.1 kHz whose samples tell their frame.
  void AddPatternFile(const char* name, int64_t frames) {
    AddFile(name, PcmWav(MakeFormat(1, 1, 44100, 16), PatternData16(frames)));
  }

  TFakeBuffer& Buffer(size_t index) {
    std::lock_guard lock(fRecord->Lock);
    if (index >= fRecord->Buffers.size() || !fRecord->Buffers[index]) throw std::runtime_error("no such buffer");
    return *fRecord->Buffers[index];
  }
  bool BufferAlive(size_t index) {
    std::lock_guard lock(fRecord->Lock);
    return index < fRecord->Buffers.size() && fRecord->Buffers[index] != nullptr;
  }
  size_t BufferCount() {
    std::lock_guard lock(fRecord->Lock);
    return fRecord->Buffers.size();
  }
  void Advance(uint64_t ms) { ManualClock().Advance(ms); }

  // Waits (in real time, bounded) until the condition holds.
  static bool WaitUntil(const std::function<bool()>& condition) {
    for (int i = 0; i < 5000; ++i) {
      if (condition()) return true;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return condition();
  }
  // Gives the killer's thread time for several passes.
  static void LetKillerRun() { std::this_thread::sleep_for(std::chrono::milliseconds(50)); }

  std::map<TString, TBytes> files;
  std::atomic<int> opens{0};
  std::atomic<int> closes{0};
  std::shared_ptr<TDeviceRecord> fRecord;
  std::unique_ptr<TMusicPlayerClass> fSystem;

 private:
  TClock* fPreviousClock = nullptr;
};

}  // namespace zel::testing
