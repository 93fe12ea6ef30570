// Our MPEG audio decoding, timed: the whole file through TMpegConverter::Fill
// into nothing (processor seconds and the real-time factor: seconds of
// sound per processor second), then seeks to random positions (the average
// time of one Seek with its lead-in, and of the first Fill after it). The
// file is read through the stream gate from disk, as the player reads it.
//
//   mpeg_decode_bench FILE [SEEKS]
//
// Prints "key value" lines for bench/mpeg_decode_bench.sh to read.
#include <time.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <exception>
#include <random>
#include <string>

#include "audio/media_info_extractor.h"
#include "audio/mpeg_converter.h"
#include "audio/stream_gate.h"
#include "core/strings.h"

namespace {

using namespace zel;

constexpr int64_t kFillBytes = 65536;

double ProcessorSeconds() {
  timespec now{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
  return static_cast<double>(now.tv_sec) + static_cast<double>(now.tv_nsec) * 1e-9;
}

double WallMs() {
  return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

int Run(const std::string& name, int seeks) {
  const TString file = Utf8ToString(name);
  auto stream = StreamWrapper().Open(file);
  TMediaInfoExtractor extractor;
  extractor.SetMpegParser(ParseMpeg);
  TMediaInfo info;
  if (!stream || !extractor.Identify(*stream, file, info) || info.Kind != TMediaKind::Mpeg) {
    std::fprintf(stderr, "mpeg_decode_bench: %s is not MPEG audio\n", name.c_str());
    return 1;
  }
  TMpegConverter decoder(stream.get());
  if (!decoder.Open(info)) {
    std::fprintf(stderr, "mpeg_decode_bench: cannot open a decoder for %s\n", name.c_str());
    return 1;
  }
  const double start = ProcessorSeconds();
  while (decoder.Fill(kFillBytes)) decoder.Output.Consume(kFillBytes);
  const double cpu = ProcessorSeconds() - start;
  const double audio = decoder.Position / 1000;
  std::printf("duration_ms %d\nvbr %d\naudio_s %.3f\ncpu_s %.3f\nrtf %.1f\n", info.Duration, info.ExtraFormat[1],
              audio, cpu, cpu > 0 ? audio / cpu : 0.0);

  std::mt19937 random(20240612);
  std::uniform_real_distribution<double> position(0, info.Duration);
  double seekMs = 0, fillMs = 0;
  for (int i = 0; i < seeks; ++i) {
    const double at = position(random);
    const double before = WallMs();
    decoder.Seek(at);
    const double sought = WallMs();
    decoder.Fill(kFillBytes);
    fillMs += WallMs() - sought;
    seekMs += sought - before;
    decoder.Output.Clear();
  }
  if (seeks > 0) std::printf("seeks %d\nseek_ms %.3f\nfirst_fill_ms %.3f\n", seeks, seekMs / seeks, fillMs / seeks);
  StreamWrapper().Close(std::move(stream));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: mpeg_decode_bench FILE [SEEKS]\n");
    return 2;
  }
  try {
    return Run(argv[1], argc > 2 ? std::atoi(argv[2]) : 20);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "mpeg_decode_bench: %s\n", e.what());
    return 1;
  }
}
