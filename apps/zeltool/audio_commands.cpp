// Sound subcommands: identification of a sound file as the music system
// does it, and playing sounds through the music system into a WAV file.
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <stdexcept>
#include <utility>
#include <optional>
#include <string>
#include <vector>

#include "audio/channel_killer.h"
#include "audio/decoder_factory.h"
#include "audio/lockstep_playback.h"
#include "audio/wav_header.h"

#include "audio/media_info_extractor.h"
#include "audio/stream_gate.h"
#include "core/strings.h"
#include "tool.h"

namespace zel::tool {

namespace {

// The file's stream and its identification; the stream stays open for a
// decoder. False when it is not a sound file this player reads.
bool OpenIdentified(const std::string& file, std::unique_ptr<TStream>& stream, TMediaInfo& info) {
  const TString name = Utf8ToString(file);
  stream = StreamWrapper().Open(name);
  return TMediaInfoExtractor().Identify(*stream, name, info);
}

}  // namespace

int RunAudioInfo(TArguments arguments) {
  if (arguments.size() != 1) return UsageError("audio-info");
  try {
    std::unique_ptr<TStream> stream;
    TMediaInfo info;
    const bool identified = OpenIdentified(arguments[0], stream, info);
    StreamWrapper().Close(std::move(stream));
    if (!identified) return Fail("audio-info", "not a sound file this player reads: " + arguments[0]);
    std::printf("%d %lld %lld %d %u %u %u\n", static_cast<int>(info.Kind), static_cast<long long>(info.DataOffset),
                static_cast<long long>(info.DataSize), info.Duration, info.Format.SamplesPerSec,
                static_cast<unsigned>(info.Format.Channels), static_cast<unsigned>(info.Format.BitsPerSample));
    return 0;
  } catch (const EFileError& e) {
    return Fail("audio-info", "cannot open " + arguments[0] + ": " + e.Message());
  } catch (const std::exception& e) {
    return Fail("audio-info", e.what());
  }
}

namespace {

// A WAV file written as the data comes, its sizes filled in at the end.
class TWavWriter {
 public:
  TWavWriter(const std::string& path, const TWaveFormat& format) : fFile(std::fopen(path.c_str(), "wb")), fFormat(format) {
    if (!fFile) throw std::runtime_error("cannot write " + path);
    WriteHeader();
  }
  ~TWavWriter() {
    if (fFile) std::fclose(fFile);
  }
  void Append(const uint8_t* bytes, int64_t count) {
    if (count > 0 && std::fwrite(bytes, 1, static_cast<size_t>(count), fFile) != static_cast<size_t>(count)) {
      throw std::runtime_error("writing the sound failed");
    }
    fDataBytes += count;
  }
  void Finish() {
    if (std::fseek(fFile, 0, SEEK_SET) != 0) throw std::runtime_error("writing the sound failed");
    WriteHeader();
    if (std::fclose(std::exchange(fFile, nullptr)) != 0) throw std::runtime_error("writing the sound failed");
  }

 private:
  void WriteHeader() {
    const auto header = WavHeader(fFormat, fDataBytes);
    if (std::fwrite(header.data(), 1, header.size(), fFile) != header.size()) {
      throw std::runtime_error("writing the sound failed");
    }
  }

  std::FILE* fFile;
  TWaveFormat fFormat;
  int64_t fDataBytes = 0;
};

// Decodes to the end: each round reads what comes and decodes it, until the
// decoder fails or neither step yields anything more.
void DecodeToEnd(TWavConverter& decoder, TWavWriter& out) {
  while (true) {
    const bool read = decoder.ReadMore();
    if (!decoder.Decode(decoder.Input)) break;
    const int64_t produced = decoder.Output.Length();
    out.Append(decoder.Output.Data(), produced);
    decoder.Output.Clear();
    if (!read && produced == 0) break;
  }
}

}  // namespace

int RunDecodeAudio(TArguments arguments) {
  double seek = -1;
  if (arguments.size() == 4 && arguments[2] == "--seek") {
    char* end = nullptr;
    seek = std::strtod(arguments[3].c_str(), &end);
    if (arguments[3].empty() || *end != '\0' || !(seek >= 0)) return Fail("decode-audio", "--seek needs a time in ms");
  } else if (arguments.size() != 2) {
    return UsageError("decode-audio");
  }
  try {
    std::unique_ptr<TStream> stream;
    TMediaInfo info;
    if (!OpenIdentified(arguments[0], stream, info)) {
      StreamWrapper().Close(std::move(stream));
      return Fail("decode-audio", "not a sound file this player reads: " + arguments[0]);
    }
    if (info.MpegInRiff) {
      StreamWrapper().Close(std::move(stream));
      stream = StreamWrapper().OpenShifted(Utf8ToString(arguments[0]), info.DataOffset);
      info.DataOffset = 0;
    }
    auto decoder = CreateDecoder(stream.get(), Utf8ToString(arguments[0]), info);
    if (!decoder || !decoder->Open(info)) return Fail("decode-audio", "no decoder for " + arguments[0]);
    if (seek >= 0) decoder->Seek(seek);
    const double position = decoder->Position;
    const TWaveFormat format = decoder->OutputFormat();
    TWavWriter out(arguments[1], format);
    DecodeToEnd(*decoder, out);
    out.Finish();
    decoder.reset();
    StreamWrapper().Close(std::move(stream));
    std::printf("%u %u %u %.3f\n", format.SamplesPerSec, static_cast<unsigned>(format.Channels),
                static_cast<unsigned>(format.BitsPerSample), position);
    return 0;
  } catch (const EFileError& e) {
    return Fail("decode-audio", "cannot open " + arguments[0] + ": " + e.Message());
  } catch (const std::exception& e) {
    return Fail("decode-audio", e.what());
  }
}

namespace {

// The options of the play command; times in ms, negative when not given.
struct TPlayOptions {
  std::vector<std::string> files;
  std::string out;
  double start = -1;
  double fadeIn = 0;
  double stopAt = -1;
  double fadeOut = 0;
  double volume = 1;
  double length = -1;
};

// Reads "--NAME VALUE" pairs and the files; an error message, or none.
std::optional<std::string> ParsePlayOptions(TArguments arguments, TPlayOptions& options) {
  for (size_t i = 0; i < arguments.size(); ++i) {
    const std::string& argument = arguments[i];
    if (argument.rfind("--", 0) != 0) {
      options.files.push_back(argument);
      continue;
    }
    if (i + 1 >= arguments.size()) return argument + " needs a value";
    const std::string& value = arguments[++i];
    if (argument == "--out") {
      options.out = value;
      continue;
    }
    char* end = nullptr;
    const double number = std::strtod(value.c_str(), &end);
    // Times beyond a year (and volumes beyond that many times) are typing
    // mistakes; they would overflow the frame arithmetic.
    constexpr double kLargest = 365.0 * 24 * 3600 * 1000;
    if (value.empty() || *end != '\0' || !std::isfinite(number) || number < 0 || number > kLargest) {
      return argument + " needs a number from 0 to " + std::to_string(static_cast<int64_t>(kLargest)) + ", not '" +
             value + "'";
    }
    if (argument == "--start") options.start = number;
    else if (argument == "--fade-in") options.fadeIn = number;
    else if (argument == "--stop-at") options.stopAt = number;
    else if (argument == "--fade-out") options.fadeOut = number;
    else if (argument == "--volume") options.volume = number;
    else if (argument == "--length") options.length = number;
    else return "unknown option " + argument;
  }
  if (options.files.empty()) return std::string("no sound file given");
  if (options.out.empty()) return std::string("--out OUT.wav is required");
  return std::nullopt;
}

// Without --length: up to the end of the stop's fade (and the device's
// 25 ms guard), else to the end of the longest sound.
double PlayLength(const TPlayOptions& options, const std::vector<TChannelMusic*>& channels) {
  if (options.length >= 0) return options.length;
  if (options.stopAt >= 0) return options.stopAt + TWaveOutBuffer::kStopGuardMs + options.fadeOut + 10;
  double longest = 0;
  for (TChannelMusic* channel : channels) {
    longest = std::max(longest, channel->GetLength() - std::max(options.start, 0.0));
  }
  return longest;
}

int PlayThrough(const TPlayOptions& options) {
  TLockstepPlayback playback(Utf8ToString(options.out));
  std::vector<TChannelMusic*> channels;
  for (const std::string& file : options.files) {
    TChannelMusic* channel = playback.Open(Utf8ToString(file), options.start);
    if (!channel) return Fail("play", "cannot play " + file + " (not a sound file this player reads)");
    channel->SetVolume(static_cast<float>(options.volume));
    channels.push_back(channel);
  }
  const auto length = static_cast<uint64_t>(std::llround(PlayLength(options, channels)));
  playback.LimitLength(length);
  for (TChannelMusic* channel : channels) channel->Play(static_cast<uint32_t>(std::lround(options.fadeIn)));
  if (options.stopAt >= 0 && options.stopAt < static_cast<double>(length)) {
    playback.AdvanceTo(static_cast<uint64_t>(std::llround(options.stopAt)));
    for (TChannelMusic* channel : channels) channel->Stop(static_cast<uint32_t>(std::lround(options.fadeOut)));
  }
  playback.AdvanceTo(length);
  const int64_t frames = static_cast<int64_t>(length) * 44100 / 1000;
  playback.Finish();
  std::printf("%lld\n", static_cast<long long>(frames));
  return 0;
}

}  // namespace

int RunPlay(TArguments arguments) {
  TPlayOptions options;
  if (auto error = ParsePlayOptions(arguments, options)) {
    std::fprintf(stderr, "zeltool play: %s\n", error->c_str());
    return UsageError("play");
  }
  int result;
  try {
    result = PlayThrough(options);
  } catch (const std::exception& e) {
    result = Fail("play", e.what());
  }
  // Its instances are all freed by now: the killer thread may go.
  ShutdownChannelKiller();
  return result;
}

}  // namespace zel::tool
