// File channels: one sound file of the music system, opened by name, with
// its volume, its position and the playing instances that sound it. A
// channel can hold several instances at once (one fading out while the next
// plays after a seek or a restart); the last one is the current instance.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/media_info.h"
#include "audio/stream_gate.h"
#include "audio/wave_out.h"
#include "core/obj.h"
#include "core/strings.h"
#include "core/sync.h"

namespace zel {

class TMusicPlayer;
class TMusicChannel;

// What the music player does with a file channel.
class TChannel : public TObj {
 public:
  virtual TMusicPlayer& GetMusicSystem() = 0;
  virtual TString GetName() = 0;
  virtual float GetVolume() = 0;
  virtual void SetVolume(float volume) = 0;
  // The file's playing time in ms.
  virtual double GetLength() = 0;
  virtual double GetPosition() = 0;
  virtual void Seek(double ms) = 0;
  virtual float GetMasterVolume() = 0;
  virtual void SetMasterVolume(float volume) = 0;
  // Starts (or resumes) with a fade-in of fadeMs.
  virtual void Play(uint32_t fadeMs) = 0;
  // Stops with a fade-out of fadeMs; a later Play resumes where it stopped.
  virtual void Stop(uint32_t fadeMs) = 0;
  virtual bool IsPlaying() = 0;
};

// What every file channel keeps: its file, its music system, the master
// volume and the lock that guards every operation on it.
class TCustomChannel : public TChannel {
 public:
  TCustomChannel(TMusicPlayer& musicSystem, TStringView name) : fMusicSystem(musicSystem), fName(name) {}

  TMusicPlayer& GetMusicSystem() override { return fMusicSystem; }
  TString GetName() override { return fName; }
  float GetMasterVolume() override;
  const TMediaInfo& Info() const { return fInfo; }

 protected:
  TMusicPlayer& fMusicSystem;
  const TString fName;
  TMediaInfo fInfo;
  float fMasterVolume = 1.0f;
  // Guards the channel's state and its list of instances. Never taken by the
  // device's fill callbacks: the channel killer holds it while it destroys
  // an instance, which waits for the instance's feeder.
  TCriticalSection fLock;
};

class TChannelMusic : public TCustomChannel {
 public:
  // Told on the channel killer's thread, under the channel's lock, when an
  // instance that ran out of data has been freed. It must not call into the
  // music system or free the channel (both take locks the killer's caller
  // may hold): post a message and act on it elsewhere.
  using TEndListener = std::function<void(TChannelMusic& channel)>;

  // Polls of the channel killer while the channel is freed.
  static constexpr int kFreePolls = 300;
  static constexpr uint32_t kFreePollMs = 10;
  // The fade of instances stopped by a seek or by freeing the channel.
  static constexpr uint32_t kQuickFadeMs = 10;

  // Opens the file (or the composite description) and makes the first
  // instance; Created tells whether that worked.
  TChannelMusic(TMusicPlayer& musicSystem, TWaveOutDevice& device, TStringView name, TStreamOpener opener,
                TStreamCloser closer);
  // Stops what plays with a quick fade, frees idle instances at once and
  // waits until the channel killer has freed the rest; a channel whose
  // instances are not freed within kFreePolls polls is reported and gives
  // them up to the killer.
  ~TChannelMusic() override;

  float GetVolume() override;
  void SetVolume(float volume) override;
  double GetLength() override;
  double GetPosition() override;
  void Seek(double ms) override;
  void SetMasterVolume(float volume) override;
  void Play(uint32_t fadeMs) override;
  void Stop(uint32_t fadeMs) override;
  bool IsPlaying() override;

  bool Created() const { return fCreated; }
  double SavedPosition();
  int InstanceCount();
  // The instances that sound or fade out (not the idle ones).
  int SoundingInstanceCount();
  void SetEndListener(TEndListener listener);

  // Called by the channel killer: takes the instance out of the list, keeps
  // its position when it is the current one, tells the end listener when
  // it ran out of data, and frees it. An instance that is not in the list
  // is a programming error.
  void FreeInstance(TMusicChannel* instance);

 private:
  // Under fLock. The current instance, or null.
  TMusicChannel* Current();
  // Makes an instance and appends it (it becomes the current one); null
  // when it cannot be made (logged).
  TMusicChannel* AddInstance();
  void OpenFile();
  // After the polls ran out: the instances the killer has are left to it,
  // the others are freed here.
  void AbandonInstances();

  TWaveOutDevice& fDevice;
  TStreamOpener fOpener;
  TStreamCloser fCloser;
  bool fComposite = false;
  bool fCreated = false;
  float fVolume = 1.0f;
  double fSavedPosition = 0;
  std::vector<std::unique_ptr<TMusicChannel>> fInstances;
  TEndListener fEndListener;
};

}  // namespace zel
