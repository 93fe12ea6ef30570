// Small helpers shared by the FFmpeg backend: error texts and the route of
// FFmpeg's own messages into our log.
#pragma once

#include <string>

namespace zel {

// FFmpeg's text for an AVERROR code.
std::string AvErrorText(int code);

// FFmpeg's warnings and errors go to our log instead of stderr, where they
// would drown the one line a failing command prints. Safe to call again.
void RouteFFmpegLog();

}  // namespace zel
