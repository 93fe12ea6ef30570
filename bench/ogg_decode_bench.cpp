// Decodes one Ogg Vorbis file through the built-in decoder the way the
// music system does (TDllConverter::Fill in device-sized pieces) and throws
// the PCM away. Prints the seconds of sound decoded, the processor seconds
// spent and their ratio; ogg_decode_bench.sh compares it with oggdec.
//
//   ogg_decode_bench FILE.ogg

#include <cstdio>
#include <ctime>
#include <memory>

#include "audio/dll_converter.h"
#include "audio/ogg_decoder.h"
#include "audio/stream_gate.h"
#include "core/strings.h"

int main(int argc, char** argv) {
  using namespace zel;
  if (argc != 2) {
    std::fprintf(stderr, "usage: ogg_decode_bench FILE.ogg\n");
    return 2;
  }
  const std::clock_t start = std::clock();
  auto stream = StreamWrapper().Open(Utf8ToString(argv[1]));
  auto library = std::make_shared<TOggDec>();
  TMediaInfo info;
  info.Kind = TMediaKind::Ogg;
  int32_t duration = 0;
  int64_t offset = 0;
  if (!library->GetMediaInfo(*stream, duration, offset, info.Format)) {
    std::fprintf(stderr, "ogg_decode_bench: %s is not Ogg Vorbis\n", argv[1]);
    return 1;
  }
  info.Duration = duration;
  TDllConverter converter(stream.get(), library);
  if (!converter.Open(info)) {
    std::fprintf(stderr, "ogg_decode_bench: no decoder for %s\n", argv[1]);
    return 1;
  }
  // A 20 ms piece of the device's buffer at a time.
  const int64_t piece = info.Format.AvgBytesPerSec / 50 / info.Format.BlockAlign * info.Format.BlockAlign;
  while (converter.Fill(piece)) converter.Output.Clear();
  const double cpu = static_cast<double>(std::clock() - start) / CLOCKS_PER_SEC;
  const double seconds = converter.Position / 1000;
  std::printf("audio %.3f s  cpu %.3f s  real-time factor %.1f\n", seconds, cpu, cpu > 0 ? seconds / cpu : 0.0);
  return 0;
}
