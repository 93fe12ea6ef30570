// Sound played in the program's virtual time: the music system on the
// lockstep WAV device, with a virtual clock installed for the session, so
// that output frame i is exactly time i / 44.1 ms. What comes out is what
// the device would have played, frame for frame, however fast the machine
// is. The tool's play command and the tests drive sounds through it.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "audio/channel.h"
#include "audio/music_system.h"
#include "audio/wav_file_device.h"
#include "core/clock.h"
#include "core/strings.h"

namespace zel {

class TLockstepPlayback {
 public:
  // Time moves in steps of this many ms at most (the device clock's poll).
  static constexpr uint64_t kStepMs = 10;
  // How long Finish lets stopped sounds fade and be freed, in virtual time,
  // and the steps it takes: nothing is written then, so they can be long.
  static constexpr uint64_t kDrainMs = 5000;
  static constexpr uint64_t kDrainStepMs = 100;

  // Writes to outPath; the virtual clock starts at 0. Raises when the file
  // cannot be written.
  explicit TLockstepPlayback(const TString& outPath);
  // Finishes (see Finish) and restores the clock.
  ~TLockstepPlayback();
  TLockstepPlayback(const TLockstepPlayback&) = delete;
  TLockstepPlayback& operator=(const TLockstepPlayback&) = delete;

  TMusicPlayerClass& MusicSystem() { return *fMusicSystem; }
  // A channel on the sound (its name goes to the stream opener), positioned
  // at startMs unless that is -1; null when it cannot be played.
  TChannelMusic* Open(TStringView name, double startMs = -1);

  // Writes at most lengthMs of sound; what plays later (Finish plays the
  // stopped sounds out) is not written.
  void LimitLength(uint64_t lengthMs);

  // The virtual time, in ms.
  uint64_t Now() { return fClock.Milliseconds(); }
  // Moves time forward to ms in steps, rendering the sound on the way.
  void AdvanceTo(uint64_t ms);

  // Stops every channel at once, plays on until the channel killer has freed
  // their instances (frames past the length are not written), frees the
  // channels and completes the file. Nothing happens a second time.
  void Finish();

 private:
  bool InstancesLeft();
  void WaitForKiller();

  // One clock for every session of the process, never freed: the channel
  // killer's thread reads the clock in use at any moment and must never
  // find a freed one (set back to 0 for each session).
  static TVirtualClock& SessionClock();

  TVirtualClock& fClock = SessionClock();
  TClockOverride fClockOverride{fClock};
  TWavFileWaveOutDevice* fDevice = nullptr;  // owned by the music system
  std::unique_ptr<TMusicPlayerClass> fMusicSystem;
  std::vector<TChannelMusic*> fChannels;
  bool fFinished = false;
};

}  // namespace zel
