// The descrambling stream of scrambled package entries: every byte is
// combined by exclusive-or with the key byte of its position in the source,
// so any range read in any chunk sizes gives the same bytes.
#pragma once

#include <memory>
#include <string>

#include "core/streams.h"

namespace zel {

class TCryptStream : public TStream {
 public:
  // The key is 8-bit text and must not be empty.
  TCryptStream(TStream& source, std::string key);
  TCryptStream(std::unique_ptr<TStream> source, std::string key);

  int64_t GetPosition() override { return fSource->GetPosition(); }
  void SetPosition(int64_t position) override { fSource->SetPosition(position); }
  int64_t GetSize() override { return fSource->GetSize(); }
  void SetSize(int64_t size) override { fSource->SetSize(size); }

 protected:
  int32_t DoRead(std::span<uint8_t> destination) override;
  int32_t DoWrite(std::span<const uint8_t> source) override;

 private:
  void Apply(std::span<uint8_t> bytes, int64_t sourcePosition) const;

  std::unique_ptr<TStream> fOwnedSource;
  TStream* fSource;
  std::string fKey;
};

}  // namespace zel
