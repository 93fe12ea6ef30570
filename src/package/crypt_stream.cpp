#include "package/crypt_stream.h"

#include <vector>

namespace zel {

TCryptStream::TCryptStream(TStream& source, std::string key) : fSource(&source), fKey(std::move(key)) {
  ZEL_ASSERT(!fKey.empty(), "TCryptStream: empty key");
}

TCryptStream::TCryptStream(std::unique_ptr<TStream> source, std::string key)
    : fOwnedSource(std::move(source)), fSource(fOwnedSource.get()), fKey(std::move(key)) {
  ZEL_ASSERT(fSource != nullptr, "TCryptStream: no source");
  ZEL_ASSERT(!fKey.empty(), "TCryptStream: empty key");
}

void TCryptStream::Apply(std::span<uint8_t> bytes, int64_t sourcePosition) const {
  const auto length = static_cast<int64_t>(fKey.size());
  size_t k = static_cast<size_t>(((sourcePosition % length) + length) % length);
  for (uint8_t& b : bytes) {
    b ^= static_cast<uint8_t>(fKey[k]);
    if (++k == fKey.size()) k = 0;
  }
}

int32_t TCryptStream::DoRead(std::span<uint8_t> destination) {
  const int64_t position = fSource->GetPosition();
  const int32_t got = fSource->Read(destination);
  if (got > 0) Apply(destination.first(static_cast<size_t>(got)), position);
  return got;
}

int32_t TCryptStream::DoWrite(std::span<const uint8_t> source) {
  std::vector<uint8_t> scrambled(source.begin(), source.end());
  Apply(scrambled, fSource->GetPosition());
  return fSource->Write(scrambled);
}

}  // namespace zel
