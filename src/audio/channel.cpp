#include "audio/channel.h"

#include <algorithm>
#include <mutex>

#include "audio/channel_killer.h"
#include "audio/media_info_extractor.h"
#include "audio/music_channel.h"
#include "audio/music_system.h"
#include "core/clock.h"
#include "core/log.h"

namespace zel {

float TCustomChannel::GetMasterVolume() {
  std::lock_guard lock(fLock);
  return fMasterVolume;
}

TChannelMusic::TChannelMusic(TMusicPlayer& musicSystem, TWaveOutDevice& device, TStringView name,
                             TStreamOpener opener, TStreamCloser closer)
    : TCustomChannel(musicSystem, name), fDevice(device), fOpener(std::move(opener)), fCloser(std::move(closer)) {
  std::lock_guard lock(fLock);
  OpenFile();
  if (fInfo.Identified()) fCreated = AddInstance() != nullptr;
}

void TChannelMusic::OpenFile() {
  const TCompositeSoundHooks hooks = CompositeSoundHooks();
  TMediaInfo info;
  if (hooks.Recognise && hooks.Recognise(fName, info)) {
    // A description, not a file: nothing to open.
    fComposite = true;
    fInfo = info;
    return;
  }
  std::unique_ptr<TStream> stream;
  try {
    stream = StreamWrapper().Open(fName, fOpener);
    if (stream) TMediaInfoExtractor().Identify(*stream, fName, info);
  } catch (const std::exception& e) {
    Log().Write("Sound not opened: " + StringToUtf8(fName) + ": " + e.what());
    info = TMediaInfo();
  }
  try {
    if (stream) StreamWrapper().Close(std::move(stream), fCloser);
  } catch (const std::exception& e) {
    Log().Write("Sound not closed: " + StringToUtf8(fName) + ": " + e.what());
  }
  if (!info.Identified()) Log().Write("Sound not identified: " + StringToUtf8(fName));
  fInfo = info;
}

TChannelMusic::~TChannelMusic() {
  // Out of the music system's list first, so that nothing reaches the
  // channel through it while it goes.
  fMusicSystem.Unlist(this);
  {
    std::lock_guard lock(fLock);
    for (size_t i = fInstances.size(); i-- > 0;) {
      TMusicChannel* instance = fInstances[i].get();
      if (instance->State() == TInstanceState::Idle) {
        fInstances.erase(fInstances.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        try {
          instance->Stop(kQuickFadeMs);
        } catch (const std::exception& e) {
          Log().Write(std::string("Sound stop: ") + e.what());
        }
      }
    }
  }
  bool freed = false;
  for (int poll = 0; poll < kFreePolls && !freed; ++poll) {
    {
      std::lock_guard lock(fLock);
      freed = fInstances.empty();
    }
    if (!freed) SleepMs(kFreePollMs);
  }
  if (!freed) {
    std::lock_guard lock(fLock);
    freed = fInstances.empty();
  }
  if (!freed) {
    ReportAssertion("", __FILE__, __LINE__);
    AbandonInstances();
  }
}

void TChannelMusic::AbandonInstances() {
  ChannelKiller().WithoutFreeing([this] {
    std::lock_guard lock(fLock);
    for (auto& instance : fInstances) {
      // With its buffer gone no feeder can hand it over any more.
      instance->CloseOutput();
      if (instance->HandedToKiller()) {
        instance->SetOwner(nullptr);
        instance.release();  // the killer frees it
      }
    }
    fInstances.clear();
  });
}

TMusicChannel* TChannelMusic::Current() { return fInstances.empty() ? nullptr : fInstances.back().get(); }

TMusicChannel* TChannelMusic::AddInstance() {
  TInstanceSetup setup;
  setup.Owner = this;
  setup.MusicSystem = &fMusicSystem;
  setup.Device = &fDevice;
  setup.Name = fName;
  setup.Info = fInfo;
  setup.Composite = fComposite;
  setup.Opener = fOpener;
  setup.Closer = fCloser;
  setup.DeviceVolume = fVolume * fMasterVolume;
  auto instance = TMusicChannel::Make(setup);
  if (!instance) return nullptr;
  fInstances.push_back(std::move(instance));
  return fInstances.back().get();
}

float TChannelMusic::GetVolume() {
  std::lock_guard lock(fLock);
  return fVolume;
}

void TChannelMusic::SetVolume(float volume) {
  std::lock_guard lock(fLock);
  fVolume = volume;
  if (TMusicChannel* current = Current()) current->SetDeviceVolume(fVolume * fMasterVolume);
}

double TChannelMusic::GetLength() {
  std::lock_guard lock(fLock);
  return fInfo.Duration;
}

double TChannelMusic::GetPosition() {
  std::lock_guard lock(fLock);
  if (TMusicChannel* current = Current()) fSavedPosition = current->Position();
  return fSavedPosition;
}

void TChannelMusic::Seek(double ms) {
  std::lock_guard lock(fLock);
  fSavedPosition = ms;
  TMusicChannel* current = Current();
  if (current && current->State() == TInstanceState::Idle) {
    current->Prepare(ms);
    return;
  }
  const bool playing = current && current->State() == TInstanceState::Playing;
  if (playing) current->Stop(kQuickFadeMs);
  TMusicChannel* next = AddInstance();
  if (!next) return;
  next->Prepare(ms);
  if (playing) next->Play(kQuickFadeMs);
}

void TChannelMusic::SetMasterVolume(float volume) {
  std::lock_guard lock(fLock);
  fMasterVolume = volume;
  SetVolume(GetVolume());
}

void TChannelMusic::Play(uint32_t fadeMs) {
  std::lock_guard lock(fLock);
  TMusicChannel* current = Current();
  if (current && current->State() == TInstanceState::Playing) return;
  if (!current || current->State() == TInstanceState::Stopping) {
    current = AddInstance();
    if (!current) return;
    current->Prepare(fSavedPosition);
  }
  current->Play(fadeMs);
}

void TChannelMusic::Stop(uint32_t fadeMs) {
  std::lock_guard lock(fLock);
  TMusicChannel* current = Current();
  if (!current || current->State() != TInstanceState::Playing) return;
  fSavedPosition = current->Position();
  current->Stop(fadeMs);
}

bool TChannelMusic::IsPlaying() {
  std::lock_guard lock(fLock);
  TMusicChannel* current = Current();
  return current && current->State() == TInstanceState::Playing;
}

double TChannelMusic::SavedPosition() {
  std::lock_guard lock(fLock);
  return fSavedPosition;
}

int TChannelMusic::InstanceCount() {
  std::lock_guard lock(fLock);
  return static_cast<int>(fInstances.size());
}

int TChannelMusic::SoundingInstanceCount() {
  std::lock_guard lock(fLock);
  return static_cast<int>(std::count_if(fInstances.begin(), fInstances.end(), [](const auto& instance) {
    return instance->State() != TInstanceState::Idle;
  }));
}

void TChannelMusic::SetEndListener(TEndListener listener) {
  std::lock_guard lock(fLock);
  fEndListener = std::move(listener);
}

void TChannelMusic::FreeInstance(TMusicChannel* instance) {
  std::lock_guard lock(fLock);
  auto found = std::find_if(fInstances.begin(), fInstances.end(),
                            [instance](const auto& owned) { return owned.get() == instance; });
  ZEL_ASSERT(found != fInstances.end(), "");
  // Only the current instance (or the last one left) speaks for the
  // channel's position: an older one fading out is behind the times.
  if (std::next(found) == fInstances.end()) fSavedPosition = instance->Position();
  std::unique_ptr<TMusicChannel> owned = std::move(*found);
  fInstances.erase(found);
  if (owned->EndOfData() && fEndListener) {
    try {
      fEndListener(*this);
    } catch (const std::exception& e) {
      Log().Write(std::string("Sound end listener: ") + e.what());
    }
  }
  owned.reset();
}

}  // namespace zel
