#include "video/threaded_video_encoder.h"

#include <algorithm>
#include <cstring>

#include "imaging/bitmap.h"
#include "imaging/pixel_format.h"

namespace zel {

TThreadedVideoEncoder::TThreadedVideoEncoder(std::unique_ptr<TVideoEncoder> encoder, size_t depth)
    : fEncoder(std::move(encoder)), fDepth(std::max<size_t>(depth, 1)) {}

TThreadedVideoEncoder::~TThreadedVideoEncoder() { Stop(); }

bool TThreadedVideoEncoder::Open(const TVideoSettings& settings, std::string& error) {
  if (fThread.joinable()) {
    error = "the video encoder is open already";
    return false;
  }
  if (!fEncoder->Open(settings, error)) return false;
  fSettings = settings;
  for (size_t i = 0; i < fDepth; ++i)
    fFree.push_back(std::make_unique<TDirectBitmap>(settings.width, settings.height, FormatA8R8G8B8()));
  fStopping = false;
  fThread = std::thread([this] { Work(); });
  return true;
}

bool TThreadedVideoEncoder::AddFrame(const TBitmap& frame, std::string& error) {
  if (!fThread.joinable()) {
    error = "the video encoder is not open";
    return false;
  }
  if (frame.Format() != FormatA8R8G8B8() || frame.Width() != fSettings.width ||
      frame.Height() != fSettings.height) {
    error = "a video frame must be a " + std::to_string(fSettings.width) + "x" + std::to_string(fSettings.height) +
            " A8R8G8B8 bitmap";
    return false;
  }
  std::unique_ptr<TDirectBitmap> buffer;
  {
    std::unique_lock lock(fLock);
    fChanged.wait(lock, [this] { return !fFree.empty() || !fError.empty(); });
    if (!fError.empty()) {
      error = fError;
      return false;
    }
    buffer = std::move(fFree.back());
    fFree.pop_back();
  }
  // The copy is made outside the lock: the encoder goes on meanwhile.
  const size_t rowBytes = static_cast<size_t>(frame.Width()) * 4;
  for (int y = 0; y < frame.Height(); ++y) std::memcpy(buffer->ScanLine(y), frame.ScanLine(y), rowBytes);
  {
    const std::lock_guard lock(fLock);
    fQueue.push_back(std::move(buffer));
  }
  fChanged.notify_all();
  ++fAdded;
  return true;
}

void TThreadedVideoEncoder::Work() {
  std::unique_lock lock(fLock);
  for (;;) {
    fChanged.wait(lock, [this] { return !fQueue.empty() || fStopping; });
    if (fQueue.empty()) return;
    TDirectBitmap* frame = fQueue.front().get();
    lock.unlock();
    std::string error;
    const bool added = fEncoder->AddFrame(*frame, error);
    lock.lock();
    fFree.push_back(std::move(fQueue.front()));
    fQueue.pop_front();
    if (!added && fError.empty()) fError = error;
    fChanged.notify_all();
  }
}

void TThreadedVideoEncoder::Stop() {
  if (!fThread.joinable()) return;
  {
    const std::lock_guard lock(fLock);
    fStopping = true;
  }
  fChanged.notify_all();
  fThread.join();
}

bool TThreadedVideoEncoder::Finish(std::string& error) {
  if (!fThread.joinable()) {
    error = "the video encoder is not open";
    return false;
  }
  Stop();
  if (!fError.empty()) {
    error = fError;
    return false;
  }
  return fEncoder->Finish(error);
}

}  // namespace zel
