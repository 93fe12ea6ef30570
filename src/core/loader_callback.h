// The loader callback: one process-wide hook that every file window and
// picture decoder calls after each chunk it moves. The engine installs it
// while a show plays, to let loading threads yield the processor (or stop
// them by raising EAbort); without one the call returns at once.
#pragma once

#include "core/streams.h"

namespace zel {

void SetLoaderCallback(TProgressCallback callback);
bool LoaderCallbackInstalled();
// Calls the installed hook, if any.
void CallLoaderCallback();
// A progress callback that forwards to the hook (for TPartialStream and
// the decoders).
TProgressCallback LoaderProgress();

}  // namespace zel
