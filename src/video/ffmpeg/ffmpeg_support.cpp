#include "video/ffmpeg/ffmpeg_support.h"

extern "C" {
#include <libavutil/error.h>
#include <libavutil/log.h>
}

#include <mutex>

#include "core/log.h"

namespace zel {

namespace {

// Called from FFmpeg's C code, which no exception may cross: a message
// that cannot be written (out of memory, a failing log) is lost.
void ForwardToLog(void* object, int level, const char* format, va_list arguments) noexcept {
  if (level > AV_LOG_WARNING) return;
  try {
    char line[1024];
    // The prefix ("[libx264 @ 0x...]") is printed on every piece; FFmpeg's
    // own state for it would be shared between threads.
    int printPrefix = 1;
    av_log_format_line2(object, level, format, arguments, line, sizeof line, &printPrefix);
    std::string text(line);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    if (!text.empty()) Log().Write("ffmpeg: " + text);
  } catch (...) {
    // Nothing can be said about it: the log itself is what failed.
  }
}

}  // namespace

std::string AvErrorText(int code) {
  char text[AV_ERROR_MAX_STRING_SIZE] = {};
  if (av_strerror(code, text, sizeof text) < 0) return "error " + std::to_string(code);
  return text;
}

void RouteFFmpegLog() {
  static std::once_flag once;
  std::call_once(once, [] { av_log_set_callback(ForwardToLog); });
}

}  // namespace zel
