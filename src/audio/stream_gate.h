// The one gate every sound stream access passes: opening and closing the
// streams of decoders, identification and plug-in libraries, and every
// read, seek, position and size request on them, all under one lock, so
// that the loader thread and the device feeder threads never meet inside a
// stream (a package entry shares its file with every other entry).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>

#include "core/streams.h"
#include "core/strings.h"
#include "core/sync.h"

namespace zel {

// Opens a sound by name (the music system's opener reads show package
// entries); the user data of the original callbacks is what the function
// captures.
using TStreamOpener = std::function<std::unique_ptr<TStream>(const TString& name)>;
using TStreamCloser = std::function<void(std::unique_ptr<TStream> stream)>;

// A sound name may end in "?" and a stream number that picks the audio
// stream for the media library. Returns the name without it; streamIndex
// (when given) gets the number, or -1 when there is none.
TString StripStreamSuffix(TStringView name, int32_t* streamIndex = nullptr);

class TStreamWrapperClass {
 public:
  // The largest count one 64-bit read request may ask for.
  static constexpr int64_t kMaxReadCount = 104857600;

  // The opener when given, else a read-only file stream on the name; the
  // stream-number suffix is removed first. Raises what the opener or the
  // file open raises.
  std::unique_ptr<TStream> Open(TStringView name, const TStreamOpener& opener = {});
  // As Open, then wrapped so that byte offset reads as position 0.
  std::unique_ptr<TStream> OpenShifted(TStringView name, int64_t offset, const TStreamOpener& opener = {});
  // The closer when given, else the stream is freed. A shifted stream is
  // unwrapped first, so the closer gets the stream its opener made.
  void Close(std::unique_ptr<TStream> stream, const TStreamCloser& closer = {});

  int64_t Position(TStream& stream);
  int64_t Size(TStream& stream);
  // Origin 0 from the start, 1 from the current position, 2 from the end;
  // another origin is a programming error ("Unknown seek origin").
  // Returns the new position.
  int64_t Seek(TStream& stream, int64_t offset, int32_t origin);
  // Returns the bytes read (0 for a count of 0 or less).
  int32_t Read(TStream& stream, void* buffer, int32_t count);
  // The 64-bit request of the plug-in interface: a count above
  // kMaxReadCount is a programming error ("Too many").
  int64_t ReadLarge(TStream& stream, void* buffer, int64_t count);

 private:
  TCriticalSection fLock;
};

// The process's gate.
TStreamWrapperClass& StreamWrapper();

// The stream function table handed to the plug-in decoders and the media
// library, in the order they expect it. The stream argument is a TStream*.
// Every entry goes through the gate; none raises into its C caller: a
// failure (an assertion included, which is reported) gives -1.
extern "C" {
struct TStreamFunctions {
  int64_t (*Read)(void* stream, void* buffer, int32_t count);
  int64_t (*Position)(void* stream);
  int64_t (*Seek)(void* stream, int32_t offset, int32_t origin);
  int64_t (*Size)(void* stream);
  int64_t (*Read64)(void* stream, void* buffer, int64_t count);
  int64_t (*Position64)(void* stream);
  int64_t (*Seek64)(void* stream, int64_t offset, int32_t origin);
  int64_t (*Size64)(void* stream);
};
}

const TStreamFunctions& StreamFunctions();

}  // namespace zel
