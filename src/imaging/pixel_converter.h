// Converters between pixel formats. Each converts runs of pixels from one
// format to another; one converter per format pair is made on first use and
// kept in a registry under the key "SOURCE->DESTINATION".
#pragma once

#include <cstdint>

#include "core/obj.h"
#include "imaging/pixel_format.h"

namespace zel {

class TPixelConverter : public TObj {
 public:
  TPixelConverter(TCommonPixelFormat* source, TCommonPixelFormat* destination)
      : fSource(source), fDestination(destination) {}
  TCommonPixelFormat* Source() const { return fSource; }
  TCommonPixelFormat* Destination() const { return fDestination; }

  // Converts count pixels from source memory into destination memory.
  virtual void ConvertRun(uint8_t* destination, const uint8_t* source, int count) const = 0;

 private:
  TCommonPixelFormat* fSource;
  TCommonPixelFormat* fDestination;
};

// Row entry points by destination pixel size; all end in ConvertRun.
class TConvertOperator : public TPixelConverter {
 public:
  using TPixelConverter::TPixelConverter;
  void ConvertRow8(uint8_t* destination, const uint8_t* source, int count) const {
    ConvertRun(destination, source, count);
  }
  void ConvertRow16(uint16_t* destination, const uint8_t* source, int count) const {
    ConvertRun(reinterpret_cast<uint8_t*>(destination), source, count);
  }
  void ConvertRow24(uint8_t* destination, const uint8_t* source, int count) const {
    ConvertRun(destination, source, count);
  }
  void ConvertRow32(uint32_t* destination, const uint8_t* source, int count) const {
    ConvertRun(reinterpret_cast<uint8_t*>(destination), source, count);
  }
};

// The registry's converter for a pair, made by the general rules when no
// specialised one is registered. Never null for valid formats.
const TConvertOperator* GetConverter(TCommonPixelFormat* source, TCommonPixelFormat* destination);

}  // namespace zel
