#include "audio/mp3_shift_stream.h"

#include <algorithm>

namespace zel {

TMp3ShiftStream::TMp3ShiftStream(std::unique_ptr<TStream> inner, int64_t shift)
    : fInner(std::move(inner)), fShift(std::max<int64_t>(shift, 0)) {
  fInner->SetPosition(fShift);
}

int64_t TMp3ShiftStream::GetPosition() { return fInner->GetPosition() - fShift; }

void TMp3ShiftStream::SetPosition(int64_t position) { fInner->SetPosition(position + fShift); }

int64_t TMp3ShiftStream::GetSize() { return std::max<int64_t>(fInner->GetSize() - fShift, 0); }

void TMp3ShiftStream::SetSize(int64_t) { ZEL_ASSERT(false, "TMp3ShiftStream cannot be resized"); }

int32_t TMp3ShiftStream::DoRead(std::span<uint8_t> destination) {
  return fInner->Read(destination, static_cast<int32_t>(destination.size()));
}

int32_t TMp3ShiftStream::DoWrite(std::span<const uint8_t>) { return 0; }

}  // namespace zel
