// The music system: the layer between the music player and the sound
// device. It opens sound files by name as file channels, each playing on
// device buffers of its own, and supplies the clock the show follows (the
// device's master clock).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "audio/media_info.h"
#include "audio/music_player.h"
#include "audio/stream_gate.h"
#include "audio/wav_converter.h"
#include "audio/wave_out.h"
#include "core/obj.h"
#include "core/strings.h"
#include "core/sync.h"

namespace zel {

class TChannelMusic;

class TMusicPlayer : public TObj, public TMusicSystemClock {
 public:
  // The device opened.
  virtual bool IsReady() = 0;
  // The master volume (1.0 leaves the sound unchanged).
  virtual float GetVolume() = 0;
  // Sets the master volume and hands it to every channel.
  virtual void SetVolume(float volume) = 0;
  virtual void SetStreamCloser(TStreamCloser closer) = 0;
  virtual void SetStreamOpener(TStreamOpener opener) = 0;
  virtual TStreamOpener GetStreamOpener() = 0;
  virtual TStreamCloser GetStreamCloser() = 0;
  // The clock in ms: the device's master clock, made on first use and
  // started when it is not running.
  virtual double GetTime() = 0;
  // A file channel on the sound named (through the stream opener), seeked
  // to startMs unless that is -1; none without a ready device or when the
  // file cannot be opened or identified. The music system keeps it in its
  // list: free it with FreeChannel (or delete it) before the music system
  // goes; the music system frees the channels that remain.
  virtual TChannelMusic* CreateChannel(TStringView name, double startMs) = 0;

  // Frees a channel made by CreateChannel (waits until the channel killer
  // has freed its instances, see TChannelMusic).
  void FreeChannel(TChannelMusic* channel);
  // A channel being freed leaves the list (nothing when it is not there).
  virtual void Unlist(TChannelMusic* channel) = 0;

  // The player's view.
  double ClockMs() override { return GetTime(); }
  float MasterVolume() override { return GetVolume(); }
  void SetMasterVolume(float volume) override { SetVolume(volume); }
};

// The music system over a device of its own.
class TMusicPlayerClass : public TMusicPlayer {
 public:
  explicit TMusicPlayerClass(std::unique_ptr<TWaveOutDevice> device);
  // Frees every channel first (each waits for its instances), then the
  // clock and the device.
  ~TMusicPlayerClass() override;

  bool IsReady() override;
  float GetVolume() override;
  void SetVolume(float volume) override;
  void SetStreamCloser(TStreamCloser closer) override;
  void SetStreamOpener(TStreamOpener opener) override;
  TStreamOpener GetStreamOpener() override;
  TStreamCloser GetStreamCloser() override;
  // 0 while the device has no clock (the failure is logged once).
  double GetTime() override;
  TChannelMusic* CreateChannel(TStringView name, double startMs) override;
  void Unlist(TChannelMusic* channel) override;

  // Makes and starts the clock now; raises what making it raises.
  void StartClock();
  int ChannelCount();

 private:
  // Under fLock.
  TTimerChannel& Timer();

  TCriticalSection fLock;
  std::unique_ptr<TWaveOutDevice> fDevice;
  std::unique_ptr<TTimerChannel> fTimer;
  std::vector<TChannelMusic*> fChannels;
  float fMasterVolume = 1.0f;
  TStreamOpener fOpener;
  TStreamCloser fCloser;
  bool fClockFailureLogged = false;
};

// The music system on the chosen device (made by CreateWaveOutDevice);
// none when there is no device, it is not ready, or its clock cannot be
// made (each logged once).
std::unique_ptr<TMusicPlayer> CreateMusicSystem(const TWaveOutDeviceChoice& choice);

// The composite sounds (descriptions that mix several files) plug in here:
// Recognise tells whether a name is one and fills its information (no file
// is opened for it); MakeDecoder makes its decoder. Absent by default.
struct TCompositeSoundHooks {
  std::function<bool(TStringView name, TMediaInfo& info)> Recognise;
  std::function<std::unique_ptr<TWavConverter>(TMusicPlayer& musicSystem, TStringView name, const TMediaInfo& info)>
      MakeDecoder;
};
// Installs the hooks (both empty removes them); returns the previous ones.
TCompositeSoundHooks SetCompositeSoundHooks(TCompositeSoundHooks hooks);
TCompositeSoundHooks CompositeSoundHooks();

}  // namespace zel
