// Fuzz entry point for the picture metadata reader: any bytes must read
// without crashing or hanging, the same values must come from the bytes in
// memory and through a stream, and no value may pass the length limit.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <span>

#include "core/streams.h"
#include "imaging/picture_metadata.h"

namespace {

void CheckValue(const zel::TString& value) {
  if (value.size() > zel::kMaxMetadataChars) std::abort();
  if (!value.empty() && (value.front() <= u' ' || value.back() <= u' ')) std::abort();  // not trimmed
}

void CheckLimits(const zel::TPictureMetadata& metadata) {
  CheckValue(metadata.ExifDateTime);
  CheckValue(metadata.ExifComment);
  CheckValue(metadata.ExifDescription);
  for (const auto& value : metadata.IptcValues) CheckValue(value);
  if (zel::MetadataMacroValues(metadata).size() != 4 + zel::kIptcFields.size()) std::abort();
}

bool Same(const zel::TPictureMetadata& a, const zel::TPictureMetadata& b) {
  return a.ExifDateTime == b.ExifDateTime && a.ExifComment == b.ExifComment &&
         a.ExifDescription == b.ExifDescription && a.IptcValues == b.IptcValues;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::span<const uint8_t> bytes(data, size);
  const zel::TPictureMetadata fromMemory = zel::ReadPictureMetadata(bytes);
  CheckLimits(fromMemory);
  zel::TMemoryStream stream;
  stream.Write(bytes);
  stream.SetPosition(0);
  if (!Same(fromMemory, zel::ReadPictureMetadata(stream))) std::abort();
  return 0;
}
