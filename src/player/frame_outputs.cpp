#include "player/frame_outputs.h"

#include <cstdio>
#include <filesystem>

#include "core/streams.h"
#include "imaging/bitmap.h"
#include "imaging/image_lib_store.h"
#include "video/threaded_video_encoder.h"

namespace zel {

namespace {

std::string CheckDirectory(const std::string& directory) {
  std::error_code error;
  std::filesystem::create_directories(directory, error);
  if (error || !std::filesystem::is_directory(directory)) return "cannot make the folder " + directory;
  const std::filesystem::path probe = std::filesystem::path(directory) / ".zel-export-probe";
  try {
    TFileStream::CreateWrite(probe.string());
  } catch (const std::exception&) {
    return "cannot write into " + directory;
  }
  std::filesystem::remove(probe, error);
  return {};
}

// Each frame is written under a temporary name and renamed when complete,
// so no half-written frame ever bears a frame name.
class TPngFrames : public TFrameOutput {
 public:
  explicit TPngFrames(std::filesystem::path directory) : fDirectory(std::move(directory)) {}

  bool Write(const TBitmap& frame, std::string& error) override {
    char name[32];
    std::snprintf(name, sizeof name, "frame-%06lld.png", static_cast<long long>(fIndex));
    const std::filesystem::path partial = fDirectory / (std::string(name) + ".part");
    try {
      {
        auto stream = TFileStream::CreateWrite(partial.string());
        SavePng(frame, *stream, TPngWriting::FastOpaque);
      }
      std::filesystem::rename(partial, fDirectory / name);
    } catch (const std::exception& e) {
      error = "cannot write " + partial.string() + ": " + e.what();
      return false;
    }
    ++fIndex;
    return true;
  }
  bool Finish(std::string&) override { return true; }

 private:
  std::filesystem::path fDirectory;
  int64_t fIndex = 0;
};

class TVideoFrames : public TFrameOutput {
 public:
  explicit TVideoFrames(std::unique_ptr<TVideoEncoder> encoder) : fEncoder(std::move(encoder)) {}
  bool Write(const TBitmap& frame, std::string& error) override { return fEncoder->AddFrame(frame, error); }
  bool Finish(std::string& error) override { return fEncoder->Finish(error); }

 private:
  std::unique_ptr<TVideoEncoder> fEncoder;
};

}  // namespace

std::unique_ptr<TFrameOutput> OpenPngFrames(const std::string& directory, std::string& error) {
  error = CheckDirectory(directory);
  if (!error.empty()) return nullptr;
  return std::make_unique<TPngFrames>(directory);
}

std::unique_ptr<TFrameOutput> OpenVideoFrames(const TVideoSettings& settings, std::string& error) {
  // The next frame is drawn while the encoder works on the last one.
  auto encoder = std::make_unique<TThreadedVideoEncoder>(CreateVideoEncoder());
  if (!encoder->Open(settings, error)) return nullptr;
  return std::make_unique<TVideoFrames>(std::move(encoder));
}

}  // namespace zel
