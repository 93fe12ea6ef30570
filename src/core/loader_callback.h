// The loader callback: one process-wide hook that every file window and
// picture decoder calls after each chunk it moves. The engine installs it
// while a show plays, to let loading threads yield the processor (or stop
// them by raising EAbort); without one the call returns at once.
#pragma once

#include <atomic>

#include "core/streams.h"

namespace zel {

void SetLoaderCallback(TProgressCallback callback);
bool LoaderCallbackInstalled();
// Calls the installed hook, if any.
void CallLoaderCallback();
// A progress callback that forwards to the hook (for TPartialStream and
// the decoders).
TProgressCallback LoaderProgress();

// A loading thread's stop flag: while one is set for the calling thread,
// the loader callback raises EAbort there as soon as the flag is up, so a
// thread that is told to stop leaves the file or picture it is reading
// within one chunk. None clears it.
void SetThreadStopFlag(const std::atomic<bool>* flag);
// Whether the calling thread was told to stop.
bool ThreadStopRequested();

}  // namespace zel
