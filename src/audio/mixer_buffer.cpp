#include "audio/mixer_buffer.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>
#include <span>
#include <string>

#include "audio/feeder_thread.h"
#include "audio/mixer_device.h"
#include "core/log.h"

namespace zel {

namespace {

bool IsOutputLayout(const TWaveFormat& format) {
  const TWaveFormat global = GlobalOutputFormat();
  return format.FormatTag == global.FormatTag && format.Channels == global.Channels &&
         format.SamplesPerSec == global.SamplesPerSec && format.BitsPerSample == global.BitsPerSample;
}

int16_t SampleAt(const uint8_t* bytes, int64_t index) {
  int16_t sample;
  std::memcpy(&sample, bytes + 2 * index, sizeof sample);
  return sample;
}

// Adds count 16-bit samples, scaled by gain and rounded to nearest; a gain
// of exactly 1 passes them unchanged and a gain of 0 adds nothing.
void AddSamples(int32_t* accumulator, const uint8_t* samples, int64_t count, double gain) {
  if (gain == 1.0) {
    for (int64_t i = 0; i < count; ++i) accumulator[i] += SampleAt(samples, i);
  } else if (gain > 0.0) {
    for (int64_t i = 0; i < count; ++i) {
      accumulator[i] += static_cast<int32_t>(std::lround(SampleAt(samples, i) * gain));
    }
  }
}

}  // namespace

bool TMixerWaveOutBuffer::Playable(const TWaveFormat& format) {
  if (format.FormatTag != static_cast<uint16_t>(TWaveFormatTag::Pcm)) return false;
  if (format.BitsPerSample != 8 && format.BitsPerSample != 16) return false;
  if (format.Channels != 1 && format.Channels != 2 && format.Channels != 6) return false;
  // A rate no sound card plays would make a ring of gigabytes.
  if (format.SamplesPerSec == 0 || format.SamplesPerSec > kMaxRate) return false;
  return format.BlockAlign == format.Channels * format.BitsPerSample / 8;
}

TMixerWaveOutBuffer::TMixerWaveOutBuffer(TMixerWaveOutDevice& device, const TWaveFormat& format,
                                         TWaveOutBufferClient& client, bool lockstep)
    : fDevice(&device), fFormat(format), fClient(client), fLockstep(lockstep) {
  ZEL_ASSERT(Playable(format), "TMixerWaveOutBuffer: unplayable format");
  fFrameBytes = format.BlockAlign;
  fHalfSize = static_cast<int64_t>(format.SamplesPerSec) * fFrameBytes;
  fSize = 2 * fHalfSize;
  fRing.resize(static_cast<size_t>(fSize));
  if (!IsOutputLayout(format)) fResampler = std::make_unique<TPcmResampler>(format, GlobalOutputFormat());
  if (!lockstep) fFeeder = std::make_unique<TDSEventThread>([this] { StartStep(); }, [this] { RefillStep(); });
}

TMixerWaveOutBuffer::~TMixerWaveOutBuffer() {
  // Out of the device's list first: after this neither the mixer nor a
  // lockstep pump picks the buffer up, and the fill lock below waits out a
  // refill step a pump had already begun.
  if (fDevice) fDevice->RemoveBuffer(this);
  bool resumed;
  {
    std::lock_guard fill(fFillLock);
    fClosed = true;
    resumed = fResumed;
  }
  if (resumed && !fFeeder->Quit()) {
    Log().Write("!!! TMixerWaveOutBuffer: the feeder thread did not end");
  }
  fFeeder.reset();
}

int64_t TMixerWaveOutBuffer::StopGuardBytes() const {
  return static_cast<int64_t>(fFormat.SamplesPerSec) * TWaveOutBuffer::kStopGuardMs / 1000 * fFrameBytes;
}

float TMixerWaveOutBuffer::GetVolume() {
  const float volume = fVolume.load(std::memory_order_relaxed);
  if (volume >= 0.0f) return volume;
  return AttenuationToVolume(Attenuation());
}

void TMixerWaveOutBuffer::SetVolume(float volume) {
  // NaN is kept as "unknown": the attenuation (silent) then answers.
  fVolume.store(std::isnan(volume) ? -1.0f : std::max(volume, 0.0f), std::memory_order_relaxed);
  fAttenuation.store(VolumeToAttenuation(volume), std::memory_order_relaxed);
}

void TMixerWaveOutBuffer::Play() {
  if (fLockstep) {
    StartStep();
    return;
  }
  std::lock_guard fill(fFillLock);
  if (fResumed || fClosed) return;
  fResumed = true;
  fFeeder->Resume();
}

void TMixerWaveOutBuffer::Stop() {
  fStopRequested.store(true, std::memory_order_release);
  if (fFeeder) fFeeder->Wake();
}

int64_t TMixerWaveOutBuffer::FirstFillSize() { return fSize * 3 / 4 / fFrameBytes * fFrameBytes; }

int64_t TMixerWaveOutBuffer::QueuedBytes() {
  const int64_t consumed = fConsumed.load(std::memory_order_acquire);
  return fWritten.load(std::memory_order_acquire) - consumed;
}

double TMixerWaveOutBuffer::PlayedTime() {
  const int64_t frames = fConsumed.load(std::memory_order_acquire) / fFrameBytes;
  return static_cast<double>(frames) * 1000.0 / fFormat.SamplesPerSec;
}

void TMixerWaveOutBuffer::StartStep() {
  std::lock_guard fill(fFillLock);
  if (fClosed || fStarted) return;
  fStarted = true;
  const int64_t length = FirstFillSize();
  fClient.FirstFill(*this, Ring(), length);
  fWritten.store(length, std::memory_order_release);
  fPlaying.store(true, std::memory_order_release);
}

void TMixerWaveOutBuffer::RefillStep() {
  std::lock_guard fill(fFillLock);
  if (fClosed || !fStarted) return;
  if (fStopRequested.exchange(false, std::memory_order_acq_rel)) FadeQueued();
  WriteFreeRoom();
}

void TMixerWaveOutBuffer::FadeQueued() {
  // The ring lock keeps the mixer out while the queued audio is rewritten,
  // and it freezes consumed, so the region cannot start being played.
  std::lock_guard ring(fRingLock);
  const int64_t written = fWritten.load(std::memory_order_acquire);
  const int64_t from = fConsumed.load(std::memory_order_acquire) + StopGuardBytes();
  if (from >= written) return;  // nothing beyond the guard: nothing fades
  const int64_t offset = from % fSize;
  const int64_t first = std::min(written - from, fSize - offset);
  fClient.FadeOutQueued(*this, Ring() + offset, first);
  if (first < written - from) fClient.FadeOutQueued(*this, Ring(), written - from - first);
}

void TMixerWaveOutBuffer::WriteFreeRoom() {
  const int64_t written = fWritten.load(std::memory_order_acquire);
  const int64_t queued = written - fConsumed.load(std::memory_order_acquire);
  const int64_t length = std::min(fHalfSize, fSize - queued) / fFrameBytes * fFrameBytes;
  if (length <= 0) return;
  // No ring lock: the mixer reads only below written, and this region lies
  // beyond it until written moves past each part.
  const int64_t offset = written % fSize;
  const int64_t first = std::min(length, fSize - offset);
  fClient.Refill(*this, Ring() + offset, first);
  fWritten.store(written + first, std::memory_order_release);
  if (first < length) {
    fClient.Refill(*this, Ring(), length - first);
    fWritten.store(written + length, std::memory_order_release);
  }
}

void TMixerWaveOutBuffer::MixInto(int32_t* accumulator, int64_t frames) {
  if (frames <= 0 || !Playing()) return;
  std::lock_guard ring(fRingLock);
  const double gain = AttenuationGain(Attenuation());
  const int64_t mixed = fResampler ? MixConverted(accumulator, frames, gain) : MixSameFormat(accumulator, frames, gain);
  NoteShortfall(frames - mixed);
}

int64_t TMixerWaveOutBuffer::MixSameFormat(int32_t* accumulator, int64_t frames, double gain) {
  const int64_t consumed = fConsumed.load(std::memory_order_acquire);
  const int64_t available = (fWritten.load(std::memory_order_acquire) - consumed) / fFrameBytes;
  const int64_t count = std::min(frames, available);
  const int64_t offset = consumed % fSize;
  // The ring holds whole frames, so a frame never straddles the wrap.
  const int64_t first = std::min(count, (fSize - offset) / fFrameBytes);
  AddSamples(accumulator, Ring() + offset, first * 2, gain);
  AddSamples(accumulator + first * 2, Ring(), (count - first) * 2, gain);
  fConsumed.store(consumed + count * fFrameBytes, std::memory_order_release);
  return count;
}

void TMixerWaveOutBuffer::StageConverted(int64_t frames) {
  constexpr int64_t kOutputFrameBytes = 4;
  const int64_t rate = fFormat.SamplesPerSec;
  const int64_t outputRate = GlobalOutputFormat().SamplesPerSec;
  while (fStaging.Length() < frames * kOutputFrameBytes) {
    const int64_t consumed = fConsumed.load(std::memory_order_acquire);
    const int64_t queuedFrames = (fWritten.load(std::memory_order_acquire) - consumed) / fFrameBytes;
    if (queuedFrames <= 0) return;
    // Just enough input for what is missing (one frame more for the
    // rounding), so that little waits in the staging area.
    const int64_t missing = frames - fStaging.Length() / kOutputFrameBytes;
    const int64_t wanted = std::min(queuedFrames, missing * rate / outputRate + 1);
    const int64_t offset = consumed % fSize;
    const int64_t bytes = std::min(wanted * fFrameBytes, fSize - offset);
    const int64_t used = fResampler->Convert(std::span<const uint8_t>(Ring() + offset, static_cast<size_t>(bytes)),
                                             fStaging);
    if (used <= 0) return;  // a format the resampler cannot convert
    fConsumed.store(consumed + used, std::memory_order_release);
  }
}

int64_t TMixerWaveOutBuffer::MixConverted(int32_t* accumulator, int64_t frames, double gain) {
  StageConverted(frames);
  const int64_t count = std::min(frames, fStaging.Length() / 4);
  AddSamples(accumulator, fStaging.Data(), count * 2, gain);
  fStaging.Consume(count * 4);
  return count;
}

void TMixerWaveOutBuffer::NoteShortfall(int64_t missingFrames) {
  if (missingFrames <= 0) {
    fShort = false;
    return;
  }
  if (fShort) return;
  fShort = true;
  Log().Write("TMixerWaveOutBuffer underrun: " + std::to_string(missingFrames) + " frames of silence, " +
              std::to_string(QueuedBytes()) + " bytes queued");
}

}  // namespace zel
