#include "audio/music_channel.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "audio/channel_killer.h"
#include "audio/decoder_factory.h"
#include "audio/music_system.h"
#include "core/clock.h"
#include "core/log.h"

namespace zel {

namespace {

bool IntegerPcm(const TWaveFormat& format) {
  return format.FormatTag == static_cast<uint16_t>(TWaveFormatTag::Pcm) &&
         (format.BitsPerSample == 8 || format.BitsPerSample == 16);
}

bool SameLayout(const TWaveFormat& a, const TWaveFormat& b) {
  return a.FormatTag == b.FormatTag && a.Channels == b.Channels && a.SamplesPerSec == b.SamplesPerSec &&
         a.BitsPerSample == b.BitsPerSample && a.BlockAlign == b.BlockAlign;
}

// Frames of a fade of ms at the rate; at least one.
int64_t FadeFrames(uint32_t ms, uint32_t rate) {
  return std::max<int64_t>(1, static_cast<int64_t>(ms) * rate / 1000);
}

}  // namespace

TWaveFormat InstanceOutputFormat(const TMediaInfo& info) {
  // Compressed kinds already describe 16-bit output; float, 24 and 32-bit
  // data is converted to 16 bits.
  if (IntegerPcm(info.Format)) return info.Format;
  return Pcm16Format(info.Format.SamplesPerSec, info.Format.Channels);
}

TMusicChannel::TMusicChannel(const TInstanceSetup& setup) : fOwner(setup.Owner), fCloser(setup.Closer) {}

std::unique_ptr<TMusicChannel> TMusicChannel::Make(const TInstanceSetup& setup) {
  std::unique_ptr<TMusicChannel> instance(new TMusicChannel(setup));
  try {
    if (instance->Open(setup)) return instance;
    Log().Write("Music channel not made: " + StringToUtf8(setup.Name));
  } catch (const std::exception& e) {
    Log().Write("Music channel not made: " + StringToUtf8(setup.Name) + ": " + e.what());
  }
  return nullptr;
}

TMusicChannel::~TMusicChannel() {
  try {
    fBuffer.reset();
    fDecoder.reset();
    if (fStream) StreamWrapper().Close(std::move(fStream), fCloser);
  } catch (const std::exception& e) {
    Log().Write(std::string("Music channel close: ") + e.what());
  }
}

bool TMusicChannel::Open(const TInstanceSetup& setup) {
  TMediaInfo info = setup.Info;
  fFormat = InstanceOutputFormat(info);
  if (setup.Composite) {
    const TCompositeSoundHooks hooks = CompositeSoundHooks();
    if (!hooks.MakeDecoder || !setup.MusicSystem) return false;
    fDecoder = hooks.MakeDecoder(*setup.MusicSystem, setup.Name, info);
  } else {
    if (info.Kind == TMediaKind::Mpeg && info.MpegInRiff) {
      // The MPEG data of a WAV file reads as a plain MPEG stream.
      fStream = StreamWrapper().OpenShifted(setup.Name, info.DataOffset, setup.Opener);
      info.DataOffset = 0;
    } else {
      fStream = StreamWrapper().Open(setup.Name, setup.Opener);
    }
    if (!fStream) return false;
    fDecoder = CreateDecoder(fStream.get(), setup.Name, info);
  }
  if (!fDecoder || !fDecoder->Open(info)) return false;
  MatchDecoderOutput();
  if (!setup.Device) return false;
  fBuffer = setup.Device->CreateBuffer(fFormat, *this);
  if (!fBuffer) return false;
  fBuffer->SetVolume(setup.DeviceVolume);
  return true;
}

void TMusicChannel::MatchDecoderOutput() {
  const TWaveFormat decoded = fDecoder->OutputFormat();
  if (SameLayout(decoded, fFormat)) return;
  // The converter makes one or two channels; other layouts play as they
  // are decoded.
  if (fFormat.Channels <= 2) {
    fDecoder->SetTargetFormat(fFormat);
  } else if (IntegerPcm(decoded)) {
    fFormat = decoded;
  }
}

void TMusicChannel::Prepare(double ms) {
  ZEL_ASSERT(State() == TInstanceState::Idle, "");
  fDecoder->Seek(ms);
  const int64_t size = fBuffer->FirstFillSize();
  std::vector<uint8_t> preload(static_cast<size_t>(std::max<int64_t>(0, size)), Silence());
  const bool more = Decode(preload.data(), static_cast<int64_t>(preload.size()));
  fEndOfData.store(!more, std::memory_order_release);
  std::lock_guard lock(fGainLock);
  fStartOffset = ms;
  fPreload = std::move(preload);
  fPrepared = true;
}

bool TMusicChannel::Decode(uint8_t* data, int64_t length) {
  try {
    const bool more = fDecoder->Fill(length);
    const int64_t available = std::min(length, fDecoder->Output.Length());
    std::memcpy(data, fDecoder->Output.Data(), static_cast<size_t>(std::max<int64_t>(0, available)));
    if (available < length) std::memset(data + available, Silence(), static_cast<size_t>(length - available));
    fDecoder->Output.Consume(available);
    return more;
  } catch (const std::exception& e) {
    if (!fDecodeFailureLogged) Log().Write(std::string("Music channel decode: ") + e.what());
    fDecodeFailureLogged = true;
    std::memset(data, Silence(), static_cast<size_t>(length));
    return false;
  }
}

bool TMusicChannel::Prepared() {
  std::lock_guard lock(fGainLock);
  return fPrepared;
}

void TMusicChannel::Play(uint32_t fadeMs) {
  if (!Prepared()) Prepare(0);
  {
    std::lock_guard lock(fGainLock);
    fState = TInstanceState::Playing;
    fFadeOutFrames = 0;
    // Without a fade the sound starts at full level: a one-frame ramp from
    // 0 would silence its first frame.
    fFadingIn = fadeMs > 0;
    fGainValue = fFadingIn ? 0.0f : 1.0f;
    fGainStep = 1.0f / static_cast<float>(FadeFrames(fadeMs, fFormat.SamplesPerSec));
  }
  fBuffer->Play();
}

void TMusicChannel::Stop(uint32_t fadeMs) {
  const double position = Position();
  {
    std::lock_guard lock(fGainLock);
    if (fState != TInstanceState::Stopping) fStopPosition = position;
    fFadeOutFrames = FadeFrames(fadeMs, fFormat.SamplesPerSec);
    fFadingIn = false;
    fGainStep = 1.0f / static_cast<float>(fFadeOutFrames);
    fState = TInstanceState::Stopping;
    fFadeOutPending = true;
    ++fStops;
  }
  if (fBuffer) fBuffer->Stop();
}

double TMusicChannel::Position() {
  double offset;
  {
    std::lock_guard lock(fGainLock);
    if (fState == TInstanceState::Stopping) return fStopPosition;
    offset = fStartOffset;
  }
  return fBuffer ? fBuffer->PlayedTime() + offset : offset;
}

void TMusicChannel::SetDeviceVolume(float volume) {
  if (fBuffer) fBuffer->SetVolume(volume);
}

TInstanceState TMusicChannel::State() {
  std::lock_guard lock(fGainLock);
  return fState;
}

float TMusicChannel::Gain() {
  std::lock_guard lock(fGainLock);
  return fGainValue;
}

int64_t TMusicChannel::KillAfter() {
  std::lock_guard lock(fGainLock);
  return fKillAfter;
}

bool TMusicChannel::DueToFree(uint64_t now) {
  std::lock_guard lock(fGainLock);
  return fKillAfter >= 0 && fKillAfter < static_cast<int64_t>(now - fKillFrom);
}

bool TMusicChannel::HandedToKiller() {
  std::lock_guard lock(fGainLock);
  return fHanded;
}

void TMusicChannel::CloseOutput() { fBuffer.reset(); }

bool TMusicChannel::ApplyGain(uint8_t* data, int64_t length, int64_t& handled, bool advance) {
  const bool fadingOut = fFadeOutFrames > 0;
  if (!fFadingIn && !fadingOut) return false;
  const int bits = fFormat.BitsPerSample;
  ZEL_ASSERT(bits == 8 || bits == 16, "");
  const int64_t frameBytes = fFormat.BlockAlign;
  const int64_t samples = frameBytes / (bits / 8);
  bool reached = false;
  for (int64_t frame = 0; frame + frameBytes <= length; frame += frameBytes) {
    const double gain = fGainValue;
    uint8_t* sample = data + frame;
    for (int64_t s = 0; s < samples; ++s) {
      if (bits == 16) {
        int16_t value;
        std::memcpy(&value, sample, 2);
        const long scaled = std::clamp(std::lround(value * gain), -32768L, 32767L);
        value = static_cast<int16_t>(scaled);
        std::memcpy(sample, &value, 2);
        sample += 2;
      } else {
        const long scaled = std::lround((static_cast<int>(*sample) - 128) * gain) + 128;
        *sample = static_cast<uint8_t>(std::clamp(scaled, 0L, 255L));
        sample += 1;
      }
    }
    if (!advance) continue;
    if (fFadingIn) {
      fGainValue += fGainStep;
      if (fGainValue >= 1.0f) {
        fGainValue = 1.0f;
        fFadingIn = false;
      }
    } else if (fadingOut) {
      fGainValue -= fGainStep;
      if (fGainValue <= 0.0f) {
        fGainValue = 0.0f;
        if (!reached) handled = frame + frameBytes;
        reached = true;
      }
    }
  }
  return reached;
}

void TMusicChannel::ScheduleEnd(int64_t handledBytes) {
  const int64_t queued = fBuffer ? fBuffer->QueuedBytes() : 0;
  bool hand = false;
  {
    std::lock_guard lock(fGainLock);
    if (fHanded && !fFadeOutPending) return;
    const double bytesPerSecond = std::max<uint32_t>(1, fFormat.AvgBytesPerSec);
    int64_t after = std::llround(static_cast<double>(queued + handledBytes) / bytesPerSecond * 1000.0);
    if (after <= 0) after += kEmptyQueueKillMs;
    fKillAfter = after + kKillMarginMs;
    fKillFrom = Clock().Milliseconds();
    fFadeOutPending = false;
    hand = !fHanded;
    fHanded = true;
  }
  if (hand) ChannelKiller().Add(this);
}

void TMusicChannel::FirstFill(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) {
  (void)buffer;
  bool reached;
  int64_t handled = 0;
  {
    std::lock_guard lock(fGainLock);
    const int64_t taken = std::min<int64_t>(length, static_cast<int64_t>(fPreload.size()));
    std::memcpy(data, fPreload.data(), static_cast<size_t>(std::max<int64_t>(0, taken)));
    if (taken < length) std::memset(data + taken, Silence(), static_cast<size_t>(length - taken));
    std::vector<uint8_t>().swap(fPreload);
    reached = ApplyGain(data, length, handled);
  }
  if (reached) ScheduleEnd(handled);
}

void TMusicChannel::FadeOutQueued(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) {
  (void)buffer;
  bool reached;
  int64_t handled = 0;
  {
    std::lock_guard lock(fGainLock);
    reached = ApplyGain(data, length, handled);
  }
  if (reached) ScheduleEnd(handled);
}

void TMusicChannel::Refill(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) {
  (void)buffer;
  uint64_t stopsBefore;
  {
    std::lock_guard lock(fGainLock);
    stopsBefore = fStops;
  }
  const bool more = Decode(data, length);
  fEndOfData.store(!more, std::memory_order_release);
  bool reached;
  int64_t handled = 0;
  {
    std::lock_guard lock(fGainLock);
    // A stop that came while this data was decoded is faded over the queue
    // from the device's guard on, this data included: ramping it here too
    // would reach silence early and cut the sound where the fade begins.
    reached = ApplyGain(data, length, handled, fStops == stopsBefore);
  }
  if (!more) {
    ScheduleEnd(length);
  } else if (reached) {
    ScheduleEnd(handled);
  }
}

}  // namespace zel
