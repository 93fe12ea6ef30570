// Compressed test data made with zlib itself.
#pragma once

#include <zlib.h>

#include <cstdint>
#include <vector>

namespace zel::testing_support {

// windowBits 15: zlib format; -15: raw deflate.
inline std::vector<uint8_t> Deflate(const std::vector<uint8_t>& plain, int windowBits) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, windowBits, 8, Z_DEFAULT_STRATEGY);
  std::vector<uint8_t> out(deflateBound(&z, plain.size()) + 16);
  z.next_in = const_cast<Bytef*>(plain.data());
  z.avail_in = static_cast<uInt>(plain.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Bytes that compress but are not all alike.
inline std::vector<uint8_t> Sample(size_t n) {
  std::vector<uint8_t> bytes(n);
  uint32_t x = 12345;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    bytes[i] = static_cast<uint8_t>((i % 64 < 32) ? (x >> 24) & 0x0F : i & 0xFF);
  }
  return bytes;
}

}  // namespace zel::testing_support
