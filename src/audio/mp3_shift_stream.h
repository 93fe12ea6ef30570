// A stream that hides the first N bytes of another, so that MPEG audio
// stored inside a WAV file reads as a plain MPEG stream starting at 0.
#pragma once

#include <cstdint>
#include <memory>

#include "core/streams.h"

namespace zel {

class TMp3ShiftStream : public TStream {
 public:
  // Takes the inner stream and positions it at shift (this stream's 0).
  TMp3ShiftStream(std::unique_ptr<TStream> inner, int64_t shift);

  // Position and size are the inner stream's minus the shift; a size
  // smaller than the shift reads as 0.
  int64_t GetPosition() override;
  void SetPosition(int64_t position) override;
  int64_t GetSize() override;
  // The window is read-only: resizing is a programming error.
  void SetSize(int64_t size) override;

  int64_t Shift() const noexcept { return fShift; }
  TStream& Inner() noexcept { return *fInner; }
  // Gives the inner stream back (the wrapper is then unusable).
  std::unique_ptr<TStream> ReleaseInner() noexcept { return std::move(fInner); }

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;
  int32_t DoWrite(std::span<const uint8_t> source) override;

 private:
  std::unique_ptr<TStream> fInner;
  int64_t fShift;
};

}  // namespace zel
