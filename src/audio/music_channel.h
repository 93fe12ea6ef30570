// One playing instance of a file channel: a device buffer of its own, the
// decoder and stream that feed it, and the gain stage that fades it in and
// out. The device's feeder calls its fill callbacks; the channel killer
// frees it once its last queued samples have sounded.
#pragma once

#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "audio/media_info.h"
#include "audio/stream_gate.h"
#include "audio/wav_converter.h"
#include "audio/wave_out.h"
#include "core/obj.h"
#include "core/streams.h"
#include "core/strings.h"

namespace zel {

class TChannelMusic;
class TMusicPlayer;

enum class TInstanceState : uint8_t { Idle = 0, Playing = 1, Stopping = 2 };

// What an instance is made from.
struct TInstanceSetup {
  TChannelMusic* Owner = nullptr;
  // For the composite decoder.
  TMusicPlayer* MusicSystem = nullptr;
  TWaveOutDevice* Device = nullptr;
  TString Name;
  TMediaInfo Info;
  // A composite description: no stream, its decoder from the composite hook.
  bool Composite = false;
  TStreamOpener Opener;
  TStreamCloser Closer;
  float DeviceVolume = 1.0f;
};

// The format an instance plays in: the file's own for 8 and 16-bit integer
// PCM, otherwise 16-bit PCM of the file's rate and channels.
TWaveFormat InstanceOutputFormat(const TMediaInfo& info);

class TMusicChannel : public TObj, public TWaveOutBufferClient {
 public:
  // KillAfter of an instance whose end is not scheduled.
  static constexpr int64_t kNotScheduled = -1;
  // Added when nothing is queued at the end, and to every end.
  static constexpr int64_t kEmptyQueueKillMs = 2000;
  static constexpr int64_t kKillMarginMs = 20;

  // None when the stream, the decoder or the device buffer cannot be made
  // (logged).
  static std::unique_ptr<TMusicChannel> Make(const TInstanceSetup& setup);
  // Destroys the buffer first (its feeder ends), then the decoder, and
  // closes the stream through the closer.
  ~TMusicChannel() override;

  // Decodes ahead at ms (the first fill's worth); the instance must be idle.
  void Prepare(double ms);
  bool Prepared();
  // Starts the buffer with a fade-in of fadeMs (prepared at 0 when it was
  // not prepared).
  void Play(uint32_t fadeMs);
  // Fades out over fadeMs from where the device is, rewriting what is
  // queued, and from then on reports the position it stopped at.
  void Stop(uint32_t fadeMs);
  // Where the instance plays (ms in the file): what the buffer has played
  // plus where it started.
  double Position();
  void SetDeviceVolume(float volume);
  TInstanceState State();
  bool EndOfData() const { return fEndOfData.load(std::memory_order_acquire); }
  const TWaveFormat& Format() const { return fFormat; }
  float Gain();
  int64_t KillAfter();

  // The channel killer's view. The owner changes only under the killer's
  // freeing lock (null once the file channel has given the instance up).
  TChannelMusic* Owner() const { return fOwner; }
  void SetOwner(TChannelMusic* owner) { fOwner = owner; }
  // The end is scheduled and its time has passed.
  bool DueToFree(uint64_t now);
  bool HandedToKiller();
  // Destroys the device buffer now (its feeder ends with it).
  void CloseOutput();

  void FirstFill(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) override;
  void FadeOutQueued(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) override;
  void Refill(TWaveOutBuffer& buffer, uint8_t* data, int64_t length) override;

 private:
  explicit TMusicChannel(const TInstanceSetup& setup);
  bool Open(const TInstanceSetup& setup);
  // Makes the decoder deliver the output format.
  void MatchDecoderOutput();
  uint8_t Silence() const { return fFormat.BitsPerSample == 8 ? 128 : 0; }
  // Under fGainLock. Multiplies frame by frame by the gain and moves the
  // gain along its fade (unless advance is false: then the gain holds).
  // True when a fade-out reached 0 here; handled then gets the bytes up to
  // and including that frame.
  bool ApplyGain(uint8_t* data, int64_t length, int64_t& handled, bool advance = true);
  // The end is due after the queued audio and handledBytes have sounded;
  // the first scheduling hands the instance to the channel killer, later
  // ones only move the time while a fade-out is pending.
  void ScheduleEnd(int64_t handledBytes);
  // Decodes length bytes into data; false at the end of the data.
  bool Decode(uint8_t* data, int64_t length);

  TChannelMusic* fOwner;
  TStreamCloser fCloser;
  TWaveFormat fFormat;
  std::unique_ptr<TStream> fStream;
  std::unique_ptr<TWavConverter> fDecoder;
  std::unique_ptr<TWaveOutBuffer> fBuffer;

  // The decoder is used by the channel's thread until the instance plays,
  // then only by the feeder.
  std::atomic<bool> fEndOfData{false};
  bool fDecodeFailureLogged = false;

  // The gain state and the end schedule, shared by the channel's thread,
  // the feeder and the killer. Never held while calling the buffer's Play
  // or Stop.
  std::mutex fGainLock;
  TInstanceState fState = TInstanceState::Idle;
  bool fPrepared = false;
  double fStartOffset = 0;
  double fStopPosition = 0;
  std::vector<uint8_t> fPreload;
  float fGainValue = 1.0f;
  float fGainStep = 0;
  bool fFadingIn = false;
  int64_t fFadeOutFrames = 0;
  bool fFadeOutPending = false;
  // Counts the stops: a refill that was decoding while one came holds the
  // gain (the fade is written over the queue, its data included).
  uint64_t fStops = 0;
  bool fHanded = false;
  int64_t fKillAfter = kNotScheduled;
  uint64_t fKillFrom = 0;
};

}  // namespace zel
