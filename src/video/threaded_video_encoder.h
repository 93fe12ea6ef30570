// A video encoder that encodes on a thread of its own, so that the next
// frame can be drawn while the last one is converted and encoded. The
// frames are copied into a few buffers; AddFrame waits only when all of
// them are still queued.
#pragma once

#include <condition_variable>
#include <deque>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "video/video_encoder.h"

namespace zel {

class TDirectBitmap;

class TThreadedVideoEncoder : public TVideoEncoder {
 public:
  // depth: how many frames may wait for the encoder.
  explicit TThreadedVideoEncoder(std::unique_ptr<TVideoEncoder> encoder, size_t depth = 3);
  ~TThreadedVideoEncoder() override;

  bool Open(const TVideoSettings& settings, std::string& error) override;
  // Fails with the encoder's own error of an earlier frame, if there was one.
  bool AddFrame(const TBitmap& frame, std::string& error) override;
  bool Finish(std::string& error) override;
  int64_t FramesAdded() const override { return fAdded; }

 private:
  void Work();
  // Ends the thread once the queue is empty.
  void Stop();

  std::unique_ptr<TVideoEncoder> fEncoder;
  size_t fDepth;
  TVideoSettings fSettings;
  std::vector<std::unique_ptr<TDirectBitmap>> fFree;  // buffers that no frame occupies
  std::deque<std::unique_ptr<TDirectBitmap>> fQueue;  // frames in order, for the encoder
  std::mutex fLock;
  std::condition_variable fChanged;
  std::thread fThread;
  std::string fError;  // the encoder's first failure
  bool fStopping = false;
  int64_t fAdded = 0;
};

}  // namespace zel
