#include "package/z_compress.h"

#include <zlib.h>

#include <vector>

#include "package/z_streams.h"

namespace zel {

int64_t DeflateRaw(TStream& in, TStream& out, int level) {
  z_stream z{};
  int rc = deflateInit2(&z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY);
  if (rc != Z_OK) throw EZLibError(ZLibErrorText(rc));
  std::vector<uint8_t> input(65536);
  std::vector<uint8_t> output(65536);
  int64_t written = 0;
  try {
    int flush = Z_NO_FLUSH;
    do {
      const int32_t got = in.Read(input);
      flush = got <= 0 ? Z_FINISH : Z_NO_FLUSH;
      z.next_in = input.data();
      z.avail_in = static_cast<uInt>(got > 0 ? got : 0);
      do {
        z.next_out = output.data();
        z.avail_out = static_cast<uInt>(output.size());
        rc = deflate(&z, flush);
        if (rc == Z_STREAM_ERROR) throw EZLibError(ZLibErrorText(rc));
        const auto produced = static_cast<int32_t>(output.size() - z.avail_out);
        if (produced > 0 && out.Write(output, produced) != produced) throw EStreamWriteError();
        written += produced;
      } while (z.avail_out == 0);
    } while (flush != Z_FINISH);
  } catch (...) {
    deflateEnd(&z);
    throw;
  }
  deflateEnd(&z);
  return written;
}

}  // namespace zel
