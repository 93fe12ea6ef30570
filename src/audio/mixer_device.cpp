#include "audio/mixer_device.h"

#include <algorithm>
#include <limits>
#include <mutex>

#include "audio/mixer_buffer.h"
#include "core/log.h"

namespace zel {

// The clock of a lockstep device: polled by the device as it renders, and
// out of the device's reach once destroyed.
class TMixerWaveOutDevice::TPolledTimer : public TDeviceTimerChannel {
 public:
  explicit TPolledTimer(TMixerWaveOutDevice& device) : TDeviceTimerChannel(device, false), fDevice(&device) {}
  ~TPolledTimer() override {
    if (fDevice) fDevice->RemoveTimer(this);
  }

 private:
  friend class TMixerWaveOutDevice;
  TMixerWaveOutDevice* fDevice;
};

TMixerWaveOutDevice::~TMixerWaveOutDevice() {
  {
    std::lock_guard guard(fBuffersLock);
    if (!fBuffers.empty()) Log().Write("!!! TMixerWaveOutDevice: buffers left at the device's end");
    for (TMixerWaveOutBuffer* buffer : fBuffers) buffer->fDevice = nullptr;
    fBuffers.clear();
  }
  std::lock_guard guard(fTimersLock);
  for (TPolledTimer* timer : fTimers) timer->fDevice = nullptr;
  fTimers.clear();
}

std::unique_ptr<TWaveOutBuffer> TMixerWaveOutDevice::CreateBuffer(const TWaveFormat& format,
                                                                  TWaveOutBufferClient& client) {
  if (!IsReady() || !TMixerWaveOutBuffer::Playable(format)) return nullptr;
  auto buffer = std::make_unique<TMixerWaveOutBuffer>(*this, format, client, Lockstep());
  std::lock_guard guard(fBuffersLock);
  fBuffers.push_back(buffer.get());
  return buffer;
}

std::unique_ptr<TTimerChannel> TMixerWaveOutDevice::CreateTimer() {
  if (!IsReady()) {
    Log().Write("!!! " + ClassName() + ": no clock, the device is not ready");
    throw EAudioDevice("The sound device is not ready");
  }
  if (!Lockstep()) return std::make_unique<TDeviceTimerChannel>(*this, true);
  auto timer = std::make_unique<TPolledTimer>(*this);
  std::lock_guard guard(fTimersLock);
  fTimers.push_back(timer.get());
  return timer;
}

void TMixerWaveOutDevice::Mix(int16_t* out, int64_t frames) {
  std::lock_guard guard(fBuffersLock);
  for (int64_t done = 0; done < frames;) {
    const int64_t block = std::min(kMixBlockFrames, frames - done);
    int32_t* sums = fAccumulator.data();
    std::fill_n(sums, 2 * block, 0);
    for (TMixerWaveOutBuffer* buffer : fBuffers) buffer->MixInto(sums, block);
    int16_t* target = out + 2 * done;
    for (int64_t i = 0; i < 2 * block; ++i) {
      target[i] = static_cast<int16_t>(std::clamp<int32_t>(sums[i], std::numeric_limits<int16_t>::min(),
                                                           std::numeric_limits<int16_t>::max()));
    }
    done += block;
  }
  fConsumedFrames.fetch_add(frames, std::memory_order_acq_rel);
}

int32_t TMixerWaveOutDevice::BufferCount() {
  std::lock_guard guard(fBuffersLock);
  return static_cast<int32_t>(fBuffers.size());
}

void TMixerWaveOutDevice::RefillAll() {
  // The list lock is held only while a buffer's fill lock is being taken
  // (without waiting), so a buffer cannot be freed in between, and no
  // client callback ever runs under the list lock.
  std::unique_lock guard(fBuffersLock);
  size_t i = 0;
  while (i < fBuffers.size()) {
    TMixerWaveOutBuffer* buffer = fBuffers[i];
    if (!buffer->fFillLock.TryEnter()) {
      ++i;
      continue;
    }
    guard.unlock();
    {
      std::lock_guard fill(buffer->fFillLock, std::adopt_lock);
      buffer->RefillStep();
    }
    guard.lock();
    // The list may have changed meanwhile: carry on after this buffer, or
    // at its place when it has left.
    const auto at = std::find(fBuffers.begin(), fBuffers.end(), buffer);
    if (at != fBuffers.end()) i = static_cast<size_t>(at - fBuffers.begin()) + 1;
  }
}

void TMixerWaveOutDevice::PollTimers() {
  std::lock_guard guard(fTimersLock);
  for (TPolledTimer* timer : fTimers) timer->Poll();
}

void TMixerWaveOutDevice::RemoveBuffer(TMixerWaveOutBuffer* buffer) {
  std::lock_guard guard(fBuffersLock);
  std::erase(fBuffers, buffer);
}

void TMixerWaveOutDevice::RemoveTimer(TPolledTimer* timer) {
  std::lock_guard guard(fTimersLock);
  std::erase(fTimers, timer);
}

}  // namespace zel
